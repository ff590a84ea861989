// layout_reference.h: pictures of bit layouts worked out one pixel at a time
// from the definition in layout.h, written apart from engine/layout.cpp so
// that the two can be held against each other (tests and fuzz_layout).
//
// reference_picture() knows nothing of spans, shifts or packing: it finds
// each pixel's stream bit and reads it. engine_picture() decodes the same
// picture row by row with decode_layout_row, fetching the bytes as the
// command line does, each row's bytes copied into a block of exactly their
// size so that a sanitizer catches a read outside them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "layout.h"

// A picture, one byte a pixel (1 white, 0 black), top row first.
struct LayoutPicture {
    std::vector<uint8_t> pixels;
    int64_t past_end = 0;         // pixels whose bit lies past the end of the data
    bool padding_clear = true;    // every padding bit of the packed rows was 0
    bool operator==(const LayoutPicture&) const = default;
};

// Bit p of the stream of `data`: 0 or 1, or -1 past its end.
inline int reference_stream_bit(const uint8_t* data, int64_t size, bool lsb, int64_t p)
{
    if (p / 8 >= size) return -1;
    const int bit = lsb ? static_cast<int>(p % 8) : 7 - static_cast<int>(p % 8);
    return data[p / 8] >> bit & 1;
}

// The stream position of pixel x of picture row y. With tiles, the pixel's
// cell is a picture of its own: its place in the cell found as above, from
// the cell's first bit.
inline int64_t reference_position(const BitLayout& layout, int64_t y, int64_t x)
{
    int64_t start = layout.start_bit, rows = layout.rows;
    if (layout.tiles_per_row > 0) {
        const int64_t cell = y / layout.tile_height * layout.tiles_per_row + x / layout.tile_width;
        const int64_t bands = layout.vertical ? (layout.tile_height + 7) / 8 : layout.tile_height;
        start += cell * bands * layout.stride_bits;
        rows = layout.tile_height;
        y %= layout.tile_height;
        x %= layout.tile_width;
    }
    const int64_t r = layout.bottom_up ? rows - 1 - y : y;
    if (layout.vertical) return start + (r / 8) * layout.stride_bits + 8 * x + r % 8;
    return start + r * layout.stride_bits + x;
}

inline LayoutPicture reference_picture(const BitLayout& layout, const uint8_t* data, int64_t size)
{
    LayoutPicture picture;
    for (int64_t y = 0; y < layout.rows; ++y) {
        for (int64_t x = 0; x < layout.width_bits; ++x) {
            const int bit = reference_stream_bit(data, size, layout.lsb, reference_position(layout, y, x));
            if (bit < 0) ++picture.past_end;
            picture.pixels.push_back(bit < 0 ? 0 : layout.invert ? !bit : bit);
        }
    }
    return picture;
}

inline LayoutPicture engine_picture(const BitLayout& layout, const uint8_t* data, int64_t size)
{
    LayoutPicture picture;
    const int64_t packed = packed_row_bytes(layout);
    for (int64_t y = 0; y < layout.rows; ++y) {
        std::vector<uint8_t> out(static_cast<size_t>(packed), 0xA5);
        for (int64_t piece = 0; piece < layout_pieces(layout); ++piece) {
            const ByteSpan span = layout_piece_bytes(layout, y, piece);
            const int64_t available = std::clamp<int64_t>(size - span.first, 0, span.count);
            std::vector<uint8_t> bytes(data + std::min(span.first, size),
                                       data + std::min(span.first, size) + available);
            picture.past_end += decode_layout_piece(layout, y, piece, available > 0 ? bytes.data() : nullptr,
                                                    available, out.data());
        }
        for (int64_t x = 0; x < packed * 8; ++x) {
            const int bit = out[x / 8] >> (7 - x % 8) & 1;
            if (x < layout.width_bits) picture.pixels.push_back(static_cast<uint8_t>(bit));
            else if (bit) picture.padding_clear = false;
        }
    }
    return picture;
}
