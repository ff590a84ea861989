// position_limit.h: the furthest place the engine is asked to reach.
#pragma once

#include <cstdint>

// A view's first byte, a layout's first bit, and a layout's stride times its
// rows (in bits) lie no further out than this: far beyond any file, and far
// from overflowing the arithmetic done on positions (times 8 for bits, plus
// a width, times a zoom).
constexpr int64_t POSITION_LIMIT = int64_t{1} << 60;
