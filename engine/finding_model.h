// finding_model.h: the weights of the model that scores a region's rows
// (finding.cpp, picture_score). Written by tools/train_finding.py from the
// tuning half of the corpus; do not edit by hand.
#pragma once

constexpr int FINDING_FEATURES = 6;  // vertical, horizontal, blank, repeated, isolated, active
constexpr double FINDING_WEIGHTS[FINDING_FEATURES] = {2.2811, -6.4980, 3.0809, 5.0910, -5.1060, 1.6481};
constexpr double FINDING_BIAS = 3.4798;
// The least score scan lists by default.
constexpr double FINDING_LEAST_SCORE = 0.82;
