// pictures.h: writing pictures row by row as PNG (through libpng), binary
// PPM and PBM.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "output_file.h"

enum class PictureFormat { png, ppm, pbm, unknown };

// The format a file name asks for, from its extension (any case).
PictureFormat picture_format(const std::string& path);

// Fills row y (top row first) of the picture into `out`; false stops the
// writing as a failure (the source then sets its own message).
using RowSource = std::function<bool(int64_t y, uint8_t* out)>;

// A colour picture, rows of width x 3 bytes (red, green, blue), as a 24-bit
// PNG or a PPM. False, with `why`, when the encoder fails.
bool write_colour_picture(OutputFile& out, PictureFormat format, int64_t width, int64_t height,
                          const RowSource& rows, std::string& why);

// Fills rows y .. y + count - 1 of a 1-bit picture into `out`, one after
// another, each packed_row_bytes long, with 1 for white, or with every bit
// complemented when `complemented` (1 for black, as PBM stores it; padding
// bits are cleared by the writer); false stops the writing as a failure.
using RowBlockSource = std::function<bool(int64_t y, int64_t count, bool complemented, uint8_t* out)>;

// A 1-bit picture, rows packed eight pixels to a byte, the first in the most
// significant bit, 1 for white: a 1-bit grayscale PNG, or a PBM (where 1 is
// black, so the bits are stored complemented).
bool write_bit_picture(OutputFile& out, PictureFormat format, int64_t width, int64_t height,
                       const RowBlockSource& rows, std::string& why);

// The same PNG pictures encoded into memory (for pages that embed them):
// 24-bit colour rows as write_colour_picture takes them, or packed 1-bit rows
// (1 for white).
bool encode_colour_png(int64_t width, int64_t height, const RowSource& rows, std::vector<uint8_t>& png,
                       std::string& why);
bool encode_bit_png(int64_t width, int64_t height, const RowSource& rows, std::vector<uint8_t>& png,
                    std::string& why);
