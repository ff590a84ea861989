// Tests of the bit layouts: decode_layout_row against the pixel-by-pixel
// reference in every combination of the options, a few pictures worked out
// by hand, and the range checks that keep bit positions from overflowing.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "engine/layout_reference.h"
#include "layout.h"

namespace {

std::vector<uint8_t> random_bytes(size_t size, uint32_t seed)
{
    std::mt19937 random(seed);
    std::vector<uint8_t> bytes(size);
    for (uint8_t& b : bytes) b = static_cast<uint8_t>(random());
    return bytes;
}

std::string describe(const BitLayout& l, int64_t size)
{
    return "start " + std::to_string(l.start_bit) + " width " + std::to_string(l.width_bits) + " stride " +
           std::to_string(l.stride_bits) + " rows " + std::to_string(l.rows) + (l.lsb ? " lsb" : "") +
           (l.vertical ? " vertical" : "") + (l.bottom_up ? " bottom-up" : "") + (l.invert ? " invert" : "") +
           ", " + std::to_string(size) + " bytes";
}

TEST(DecodeLayoutRow, MatchesTheReferenceInEveryLayout)
{
    int cases = 0, with_past_end = 0, all_past_end = 0, failures = 0;
    for (int64_t width : {1, 7, 8, 12, 16, 33}) {
        for (int flags = 0; flags < 16; ++flags) {
            const bool vertical = flags & 2;
            const int64_t natural = default_stride(width, vertical);
            // The default stride, larger ones (one not a multiple of 8), a smaller one.
            std::vector<int64_t> strides{natural, natural + 5, (natural + 23) / 8 * 8};
            if (natural > 1) strides.push_back(natural / 2 + 1);
            for (int64_t stride : strides) {
                for (int64_t start : {0, 3, 16, 21}) {
                    BitLayout layout{start, width, stride, 19, bool(flags & 1), vertical, bool(flags & 4),
                                     bool(flags & 8)};
                    // The data ends beyond the picture, in its last rows, half way, or before it.
                    const int64_t last = std::max(reference_position(layout, 0, width - 1),
                                                  reference_position(layout, layout.rows - 1, width - 1));
                    for (int64_t size : {last / 8 + 2, last / 8, last / 16, start / 8}) {
                        const std::vector<uint8_t> data = random_bytes(static_cast<size_t>(size), ++cases);
                        const LayoutPicture expected = reference_picture(layout, data.data(), size);
                        const LayoutPicture actual = engine_picture(layout, data.data(), size);
                        with_past_end += expected.past_end > 0;
                        all_past_end += expected.past_end == width * layout.rows;
                        if (actual != expected && ++failures <= 5)
                            ADD_FAILURE() << describe(layout, size) << ": past end " << actual.past_end
                                          << " (expected " << expected.past_end << "), padding clear "
                                          << actual.padding_clear;
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0) << "of " << cases << " layouts";
    // The loop reaches every kind of ending: none, part of the picture, all of it.
    EXPECT_GT(with_past_end - all_past_end, cases / 3);
    EXPECT_GT(all_past_end, cases / 8);
}

// Tiles: cells of several sizes, one to three to a row, in every combination
// of the options inside a cell, the data ending anywhere.
TEST(DecodeLayoutPiece, TilesMatchTheReferenceInEveryLayout)
{
    int cases = 0, failures = 0;
    const int64_t tiles[][2] = {{8, 8}, {3, 5}, {12, 2}, {8, 16}, {1, 9}};
    for (const auto& tile : tiles) {
        for (int64_t per_row : {1, 3}) {
            for (int flags = 0; flags < 16; ++flags) {
                const bool vertical = flags & 2;
                const int64_t natural = default_stride(tile[0], vertical);
                for (int64_t stride : {natural, natural + 3}) {
                    for (int64_t start : {0, 5}) {
                        BitLayout layout{start, tile[0] * per_row, stride, tile[1] * 2 + 1, bool(flags & 1),
                                         vertical, bool(flags & 4), bool(flags & 8), tile[0], tile[1], per_row};
                        EXPECT_TRUE(layout_valid(layout)) << describe(layout, 0);
                        int64_t last = 0;
                        for (int64_t y = 0; y < layout.rows; ++y)
                            last = std::max(last, reference_position(layout, y, layout.width_bits - 1));
                        for (int64_t size : {last / 8 + 2, last / 16, int64_t{0}}) {
                            const std::vector<uint8_t> data = random_bytes(static_cast<size_t>(size), ++cases);
                            const LayoutPicture expected = reference_picture(layout, data.data(), size);
                            const LayoutPicture actual = engine_picture(layout, data.data(), size);
                            if (actual != expected && ++failures <= 5)
                                ADD_FAILURE() << describe(layout, size) << ", tiles " << tile[0] << "x" << tile[1]
                                              << " x " << per_row << ": past end " << actual.past_end << " (expected "
                                              << expected.past_end << "), padding clear " << actual.padding_clear;
                        }
                    }
                }
            }
        }
    }
    EXPECT_EQ(failures, 0) << "of " << cases << " layouts";
}

// Pictures worked out by hand from the definition, so that a mistake the
// reference shared with the engine would show.
TEST(DecodeLayoutRow, HandWorkedPictures)
{
    const std::vector<uint8_t> data{0x80, 0x01, 0xF0};
    struct Case {
        BitLayout layout;
        const char* picture;  // rows of '#' (white) and '.', '|' between rows
        int64_t past_end;
    };
    const Case cases[] = {
        {{0, 4, 4, 2, false, false, false, false}, "#...|....", 0},
        {{0, 4, 4, 2, true, false, false, false}, "....|...#", 0},
        {{5, 6, 6, 4, false, false, false, false}, "......|....##|###...|......", 5},  // the data ends at bit 24
        {{1, 2, 16, 2, false, false, true, true}, "..|##", 0},
        // Vertical: bytes 0 and 1 are two columns of 8 rows, byte 2 starts the next band.
        {{0, 2, 16, 9, false, true, false, false}, "#.|..|..|..|..|..|..|.#|#.", 1},
        {{0, 2, 16, 9, true, true, false, true}, "#.|##|##|##|##|##|##|.#|#.", 1},
        {{0, 2, 16, 9, false, true, true, false}, "#.|.#|..|..|..|..|..|..|#.", 1},
        // Tiles of 4 x 2, two to a row: a byte a cell, cells left to right,
        // then the next row of cells; the last cell lies past the end.
        {{0, 8, 4, 6, false, false, false, false, 4, 2, 2}, "#.......|.......#|####....|........|........|........", 24},
        {{0, 8, 4, 4, false, false, true, false, 4, 2, 2}, ".......#|#.......|........|####....", 8},
        // Vertical cells of 2 x 8: two bytes a cell, a column each.
        {{0, 4, 16, 8, false, true, false, false, 2, 8, 2}, "#.#.|..#.|..#.|..#.|....|....|....|.#..", 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.layout, 3));
        std::string expected = c.picture, got;
        for (const LayoutPicture& p : {reference_picture(c.layout, data.data(), 3),
                                       engine_picture(c.layout, data.data(), 3)}) {
            got.clear();
            for (size_t i = 0; i < p.pixels.size(); ++i)
                got += std::string(i && i % c.layout.width_bits == 0 ? "|" : "") + (p.pixels[i] ? "#" : ".");
            EXPECT_EQ(got, expected);
            EXPECT_EQ(p.past_end, c.past_end);
        }
    }
}

TEST(LayoutValid, KeepsEveryBitPositionInRange)
{
    constexpr int64_t MAX = POSITION_LIMIT;
    struct Case {
        BitLayout layout;
        bool valid;
    };
    const Case cases[] = {
        {{0, 0, 1, 1, false, false, false, false}, false},
        {{0, LAYOUT_MAX_WIDTH + 1, 1, 1, false, false, false, false}, false},
        {{0, 8, 8, 0, false, false, false, false}, false},
        {{0, 8, 8, LAYOUT_MAX_ROWS + 1, false, false, false, false}, false},
        {{-1, 8, 8, 1, false, false, false, false}, false},
        {{MAX + 1, 8, 8, 1, false, false, false, false}, false},
        {{0, 8, 0, 1, false, false, false, false}, false},
        {{0, 8, MAX + 1, 1, false, false, false, false}, false},
        {{0, 8, MAX / 2 + 1, 3, false, false, false, false}, false},
        {{0, 8, MAX, 17, false, true, false, false}, false},  // three bands
        {{0, 8, MAX / (LAYOUT_MAX_ROWS - 1) + 1, LAYOUT_MAX_ROWS, false, false, false, false}, false},
        // The largest layouts that pass: their last row's bytes are still right.
        {{MAX, LAYOUT_MAX_WIDTH, MAX / 2, 3, true, false, true, false}, true},
        {{MAX, LAYOUT_MAX_WIDTH, MAX, 16, false, true, false, true}, true},  // two bands
        {{MAX, 1, MAX / (LAYOUT_MAX_ROWS - 1), LAYOUT_MAX_ROWS, false, false, false, false}, true},
        // Tiles: the width is the cells', every size at least 1, the last
        // cell's last band in range.
        {{0, 16, 8, 8, false, false, false, false, 8, 8, 2}, true},
        {{0, 12, 8, 8, false, false, false, false, 8, 8, 2}, false},
        {{0, 0, 8, 8, false, false, false, false, 0, 8, 2}, false},
        {{0, 16, 8, 8, false, false, false, false, 8, 0, 2}, false},
        {{0, 8, 8, 8, false, false, false, false, 8, 8, 1}, true},
        {{0, 8, 8, 8, false, false, false, false, LAYOUT_MAX_TILE + 1, 8, 1}, false},
        {{0, 8, MAX / 4, 8, false, false, false, false, 8, 8, 1}, false},   // a cell of twice MAX bits
        {{0, 8, MAX / 8, 24, false, false, false, false, 8, 8, 1}, false},  // the third cell MAX x 2 on
        {{0, 8, MAX / 8, 16, false, false, false, false, 8, 8, 1}, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(describe(c.layout, 0));
        EXPECT_EQ(layout_valid(c.layout), c.valid);
        if (!c.valid || c.layout.tiles_per_row) continue;
        const BitLayout& l = c.layout;
        const int64_t y = l.bottom_up ? 0 : l.rows - 1;  // the row furthest into the file
        const ByteSpan span = layout_row_bytes(l, y);
        const int64_t first = reference_position(l, y, 0);
        EXPECT_EQ(span.first, first / 8);
        EXPECT_EQ(span.first + span.count - 1, reference_position(l, y, l.width_bits - 1) / 8);
        std::vector<uint8_t> out(static_cast<size_t>(packed_row_bytes(l)));
        EXPECT_EQ(decode_layout_row(l, y, nullptr, 0, out.data()), l.width_bits);
    }
}

}  // namespace
