// finding_model.h: the weights of the model that scores a region's rows
// (finding.cpp, picture_score). Written by tools/train_finding.py from the
// tuning half of the corpus; do not edit by hand.
#pragma once

constexpr int FINDING_FEATURES = 6;  // vertical, horizontal, blank, repeated, isolated, active
constexpr double FINDING_WEIGHTS[FINDING_FEATURES] = {2.6988, -2.6653, 1.5708, 3.8450, -4.7252, 2.1618};
constexpr double FINDING_BIAS = -0.3368;
// The least score scan lists by default.
constexpr double FINDING_LEAST_SCORE = 0.55;
