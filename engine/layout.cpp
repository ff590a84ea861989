// layout.cpp: one row of a bit picture at a time, from the bytes it reads.
//
// A horizontal row is a run of consecutive stream bits, so whole output bytes
// are put together from two neighbouring source bytes; with `lsb` each source
// byte is first mirrored. A vertical row takes one bit from each of W
// consecutive bytes.
#include <algorithm>
#include <cstring>

#include "layout.h"

namespace {

struct Mirror {
    uint8_t value[256];
    Mirror()
    {
        for (int b = 0; b < 256; ++b) {
            int m = 0;
            for (int i = 0; i < 8; ++i)
                if (b & (1 << i)) m |= 0x80 >> i;
            value[b] = static_cast<uint8_t>(m);
        }
    }
};

const Mirror& mirror()
{
    static const Mirror table;
    return table;
}

// The row of the data that picture row y shows.
int64_t data_row(const BitLayout& layout, int64_t y)
{
    return layout.bottom_up ? layout.rows - 1 - y : y;
}

// The stream position of the row's first pixel.
int64_t first_bit(const BitLayout& layout, int64_t y)
{
    const int64_t r = data_row(layout, y);
    if (layout.vertical) return layout.start_bit + (r / 8) * layout.stride_bits + r % 8;
    return layout.start_bit + r * layout.stride_bits;
}

// Sets the first `count` pixels of a packed row to their complement.
void invert_pixels(uint8_t* out, int64_t count)
{
    const int64_t whole = count / 8;
    for (int64_t i = 0; i < whole; ++i) out[i] = static_cast<uint8_t>(~out[i]);
    if (count % 8) out[whole] ^= static_cast<uint8_t>(0xFF00 >> (count % 8));
}

}  // namespace

int64_t default_stride(int64_t width_bits, bool vertical)
{
    return vertical ? 8 * width_bits : width_bits;
}

bool layout_valid(const BitLayout& layout)
{
    if (layout.width_bits < 1 || layout.width_bits > LAYOUT_MAX_WIDTH) return false;
    if (layout.rows < 1 || layout.rows > LAYOUT_MAX_ROWS) return false;
    if (layout.start_bit < 0 || layout.start_bit > POSITION_LIMIT) return false;
    if (layout.stride_bits < 1 || layout.stride_bits > POSITION_LIMIT) return false;
    const bool tiled = layout.tile_width || layout.tile_height || layout.tiles_per_row;
    if (!tiled) {
        // The last row's position must stay in range too.
        const int64_t steps = layout.vertical ? (layout.rows - 1) / 8 : layout.rows - 1;
        return steps == 0 || layout.stride_bits <= POSITION_LIMIT / steps;
    }
    if (layout.tile_width < 1 || layout.tile_width > LAYOUT_MAX_TILE || layout.tile_height < 1 ||
        layout.tile_height > LAYOUT_MAX_TILE || layout.tiles_per_row < 1 ||
        layout.tiles_per_row > LAYOUT_MAX_WIDTH / layout.tile_width ||
        layout.width_bits != layout.tile_width * layout.tiles_per_row)
        return false;
    // A cell's last band, and the last cell, within range.
    const int64_t bands = layout.vertical ? (layout.tile_height + 7) / 8 : layout.tile_height;
    if (layout.stride_bits > POSITION_LIMIT / bands) return false;
    const int64_t cells = (layout.rows + layout.tile_height - 1) / layout.tile_height * layout.tiles_per_row;
    return cells - 1 <= POSITION_LIMIT / layout_cell_bits(layout);
}

int64_t layout_cell_bits(const BitLayout& layout)
{
    const int64_t bands = layout.vertical ? (layout.tile_height + 7) / 8 : layout.tile_height;
    return bands * layout.stride_bits;
}

int64_t layout_pieces(const BitLayout& layout)
{
    return layout.tiles_per_row > 0 ? layout.tiles_per_row : 1;
}

ByteSpan layout_row_bytes(const BitLayout& layout, int64_t y)
{
    const int64_t first = first_bit(layout, y);
    const int64_t last = first + (layout.vertical ? 8 * (layout.width_bits - 1) : layout.width_bits - 1);
    return ByteSpan{first / 8, last / 8 - first / 8 + 1};
}

namespace {

// Cell `piece` of the cell row that row `y` crosses, as a layout of its own,
// and the row of it that row `y` is.
BitLayout cell_layout(const BitLayout& layout, int64_t y, int64_t piece, int64_t& row)
{
    BitLayout cell = layout;
    const int64_t index = y / layout.tile_height * layout.tiles_per_row + piece;
    cell.start_bit = layout.start_bit + index * layout_cell_bits(layout);
    cell.width_bits = layout.tile_width;
    cell.rows = layout.tile_height;
    cell.tile_width = cell.tile_height = cell.tiles_per_row = 0;
    row = y % layout.tile_height;
    return cell;
}

}  // namespace

ByteSpan layout_piece_bytes(const BitLayout& layout, int64_t y, int64_t piece)
{
    if (layout.tiles_per_row <= 0) return layout_row_bytes(layout, y);
    int64_t row = 0;
    const BitLayout cell = cell_layout(layout, y, piece, row);
    return layout_row_bytes(cell, row);
}

int64_t decode_layout_piece(const BitLayout& layout, int64_t y, int64_t piece, const uint8_t* bytes,
                            int64_t available, uint8_t* out)
{
    if (layout.tiles_per_row <= 0) return decode_layout_row(layout, y, bytes, available, out);
    if (piece == 0) std::memset(out, 0, static_cast<size_t>(packed_row_bytes(layout)));
    int64_t row = 0;
    const BitLayout cell = cell_layout(layout, y, piece, row);
    uint8_t pixels[(LAYOUT_MAX_TILE + 7) / 8];
    const int64_t past = decode_layout_row(cell, row, bytes, available, pixels);
    // The cell's pixels into the row, from pixel piece x tile width on.
    const int64_t at = piece * layout.tile_width;
    if (at % 8 == 0 && layout.tile_width % 8 == 0) {
        std::memcpy(out + at / 8, pixels, static_cast<size_t>(layout.tile_width / 8));
        return past;
    }
    for (int64_t x = 0; x < layout.tile_width; ++x)
        if (pixels[x >> 3] & (0x80u >> (x & 7))) out[(at + x) >> 3] |= static_cast<uint8_t>(0x80u >> ((at + x) & 7));
    return past;
}

int64_t packed_row_bytes(const BitLayout& layout)
{
    return (layout.width_bits + 7) / 8;
}

int64_t decode_layout_row(const BitLayout& layout, int64_t y, const uint8_t* bytes, int64_t available, uint8_t* out)
{
    const int64_t width = layout.width_bits;
    const int64_t out_bytes = packed_row_bytes(layout);
    const ByteSpan span = layout_row_bytes(layout, y);
    available = std::clamp<int64_t>(available, 0, span.count);
    const int shift = static_cast<int>(first_bit(layout, y) % 8);
    const uint8_t* flip = layout.lsb ? mirror().value : nullptr;
    auto source = [&](int64_t i) -> unsigned {
        if (i >= available) return 0;
        return flip ? flip[bytes[i]] : bytes[i];
    };

    int64_t inside = 0;  // pixels that lie before the end of the file
    if (layout.vertical) {
        // Pixel x reads byte x of the span, at the same bit of each byte.
        std::memset(out, 0, static_cast<size_t>(out_bytes));
        const unsigned mask = 0x80u >> shift;
        inside = std::min(width, available);
        for (int64_t x = 0; x < inside; ++x)
            if (source(x) & mask) out[x >> 3] |= static_cast<uint8_t>(0x80u >> (x & 7));
    } else {
        // Output byte j is the 8 stream bits from bit `shift` of byte j on.
        if (shift == 0) {
            for (int64_t j = 0; j < out_bytes; ++j) out[j] = static_cast<uint8_t>(source(j));
        } else {
            for (int64_t j = 0; j < out_bytes; ++j)
                out[j] = static_cast<uint8_t>((source(j) << shift) | (source(j + 1) >> (8 - shift)));
        }
        if (width % 8) out[out_bytes - 1] &= static_cast<uint8_t>(0xFF00 >> (width % 8));
        inside = std::clamp<int64_t>(available * 8 - shift, 0, width);
    }
    if (layout.invert) invert_pixels(out, inside);
    return width - inside;
}
