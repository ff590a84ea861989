// finding_model.h: the weights of the model that scores a region's rows
// (finding.cpp, picture_score). Written by tools/train_finding.py from the
// tuning half of the corpus; do not edit by hand.
#pragma once

constexpr int FINDING_FEATURES = 6;  // vertical, horizontal, blank, repeated, isolated, active
constexpr double FINDING_WEIGHTS[FINDING_FEATURES] = {1.398, -2.85, 2.198, 2.11, -4.41, 2.385};
constexpr double FINDING_BIAS = 0.712;
