// layout.h: pictures of raw bits in the layouts real data uses.
//
// A file is read as a stream of bits: bit p of the stream is bit 7 - p % 8 of
// byte p / 8 (most significant bit first), or bit p % 8 with `lsb`. A picture
// of width W takes its rows from that stream:
//   horizontal: pixel x of row r is stream bit start + r * stride + x;
//   vertical:   a byte is 8 pixels on top of one another, W bytes make a band
//               of W columns and 8 rows, and pixel x of row r is stream bit
//               start + (r / 8) * stride + 8 * x + r % 8.
// `bottom_up` reverses the order of the rows, `invert` complements the bits.
// A set bit is a white pixel, as the viewer shows it; bits past the end of the
// file are black whatever else is chosen.
//
// Tiles: cells of TW x TH pixels stored one after another, each a picture of
// its own in the layout above (its rows `stride` apart, or its bands of 8
// rows), laid N to a row of the picture. Cell c begins at stream bit start +
// c * cell bits (TH * stride, or ceil(TH / 8) * stride for vertical bytes)
// and lies at cell row c / N, cell column c % N; `bottom_up` reverses the
// rows inside a cell.
#pragma once

#include <cstdint>

#include "position_limit.h"

constexpr int64_t LAYOUT_MAX_WIDTH = int64_t{1} << 20;       // pixels a row
constexpr int64_t LAYOUT_MAX_ROWS = 2147483647;               // what PNG allows

struct BitLayout {
    int64_t start_bit;    // byte * 8 + bit, the bit counted in the chosen order
    int64_t width_bits;   // pixels a row, 1 to LAYOUT_MAX_WIDTH
    int64_t stride_bits;  // from one row (or band) to the next: default width (or 8 x width)
    int64_t rows;         // 1 to LAYOUT_MAX_ROWS
    bool lsb;
    bool vertical;
    bool bottom_up;
    bool invert;
    // Tiles (all three set) or none (all 0); width_bits is then
    // tile_width x tiles_per_row.
    int64_t tile_width = 0;
    int64_t tile_height = 0;
    int64_t tiles_per_row = 0;
};

constexpr int64_t LAYOUT_MAX_TILE = 4096;  // pixels a side of a cell

// The stride a layout gets when none is given.
int64_t default_stride(int64_t width_bits, bool vertical);

// Whether every field is within range, so that no bit position overflows.
bool layout_valid(const BitLayout& layout);

// The bits from one cell of a tiled layout to the next.
int64_t layout_cell_bits(const BitLayout& layout);

// The bytes that row `y` of the picture reads, from `first` on (a layout
// without tiles).
struct ByteSpan {
    int64_t first;
    int64_t count;
};
ByteSpan layout_row_bytes(const BitLayout& layout, int64_t y);

// A row of the picture is read in pieces: the whole row, or with tiles a
// piece for each cell it crosses (tiles_per_row). The bytes piece `piece` of
// row `y` reads, as layout_row_bytes.
int64_t layout_pieces(const BitLayout& layout);
ByteSpan layout_piece_bytes(const BitLayout& layout, int64_t y, int64_t piece);

// Bytes a packed row of the picture takes: one bit a pixel, eight to a byte.
int64_t packed_row_bytes(const BitLayout& layout);

// Decodes row `y` into `out` (packed_row_bytes bytes; the first pixel in the
// most significant bit, 1 for white, the padding bits 0). `bytes` holds the
// row's span (layout_row_bytes); only its first `available` bytes exist, the
// rest lie past the end of the file and are not read. Returns how many pixels
// of the row lay past the end.
int64_t decode_layout_row(const BitLayout& layout, int64_t y, const uint8_t* bytes, int64_t available, uint8_t* out);

// Decodes piece `piece` of row `y` into its pixels of the packed row `out`,
// from the bytes of its span (layout_piece_bytes), as decode_layout_row. The
// pieces of a row are decoded in order: piece 0 also clears the row, padding
// bits included. Returns how many of its pixels lay past the end.
int64_t decode_layout_piece(const BitLayout& layout, int64_t y, int64_t piece, const uint8_t* bytes,
                            int64_t available, uint8_t* out);
