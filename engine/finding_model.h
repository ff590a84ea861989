// finding_model.h: the weights of the model that scores a region's rows
// (finding.cpp, picture_score). Written by tools/train_finding.py from the
// tuning half of the corpus; do not edit by hand.
#pragma once

constexpr int FINDING_FEATURES = 6;  // vertical, horizontal, blank, repeated, isolated, active
constexpr double FINDING_WEIGHTS[FINDING_FEATURES] = {1.3481, -1.7690, 2.7944, 2.5771, -2.5755, 0.9118};
constexpr double FINDING_BIAS = 0.5905;
// The least score scan lists by default.
constexpr double FINDING_LEAST_SCORE = 0.76;
