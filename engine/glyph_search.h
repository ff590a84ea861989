// glyph_search.h: finding a small picture, given by example, in raw bytes.
//
// A picture W x H occurs at stream bit `start` with a stride of S bytes when
// pixel x of row r is stream bit start + r * 8 * S + x (layout.h's horizontal
// layout), in either bit order, with the bits complemented or not, and at
// most `max_errors` pixels differ. Every bit alignment is tried: the start
// is any bit, reported as BYTE.BIT in the chosen bit order.
//
// The search is exhaustive over that space and reports only real matches:
// a filter on eight pixels of two rows (small tables over the bytes they lie
// in) picks the candidates, and each is then compared pixel by pixel.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

constexpr int32_t GLYPH_MAX_WIDTH = 56;       // pixels a row
constexpr int32_t GLYPH_MAX_HEIGHT = 256;     // rows
constexpr int32_t GLYPH_TRIED_STRIDES = 80;   // strides 1 .. 80 bytes when none is given
constexpr int32_t GLYPH_MAX_STRIDE = 65536;   // bytes, when one is given

// A picture: one byte a pixel, 1 set, 0 unset, top row first.
struct GlyphPattern {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> pixels;
};

// Reads rows of '#' (set) and '.' (unset) separated by '/' or line breaks
// (a trailing separator is allowed). False, with `why`, when the text is
// empty, holds another character, or its rows differ in length or are too
// many or too long.
bool parse_glyph_pattern(const std::string& text, GlyphPattern& pattern, std::string& why);

struct GlyphMatch {
    int64_t start_bit;     // BYTE * 8 + BIT, the bit counted in the chosen order
    int32_t stride_bytes;
    bool lsb;
    bool inverted;
    int32_t errors;        // pixels that differ
    bool operator==(const GlyphMatch&) const = default;
};

// File order: by start, then stride, bit order and inversion.
bool glyph_match_before(const GlyphMatch& a, const GlyphMatch& b);

// A search prepared for one pattern, then run over any number of blocks
// (from several threads at once: searching changes nothing in it).
class GlyphSearch {
public:
    // `stride_bytes` 0 tries every stride from the least a row needs
    // (ceil(W / 8)) to GLYPH_TRIED_STRIDES (only the least for a single row,
    // which is the same picture at every stride). `max_errors` must be below half
    // the pixels (else every place matches one way or the other): check
    // with valid() first.
    GlyphSearch(const GlyphPattern& pattern, int32_t stride_bytes, int32_t max_errors);

    // Whether the pattern, stride and error count can be searched for; if
    // not, `why` says which is wrong.
    bool valid(std::string& why) const;
    int32_t width() const { return width_; }

    // The bytes beyond a match's first byte its picture may reach: a block
    // must hold this many more bytes than the starts it is asked about.
    int64_t reach() const;

    // Searches `bytes` (`count` bytes, the file's from `base` on) for the
    // matches whose first pixel lies in a byte from `first` to `end` - 1
    // (file positions) and whose picture lies wholly inside the block. Puts
    // into `found` (emptied first) the first `limit` of them in file order;
    // returns true if there were more than `limit`.
    bool search(const uint8_t* bytes, int64_t count, int64_t base, int64_t first, int64_t end, size_t limit,
                std::vector<GlyphMatch>& found) const;

private:
    // A filter: the first pixels (up to 8) of two rows, each tested by two
    // tables of 256 (the pixels in the row's first byte, those in the next)
    // whose bit lsb * 16 + inverted * 8 + alignment says whether at most
    // `errors` of them differ. The second row is the first row again for
    // a single row.
    // A piece of a row: `m` pixels (1 to 8) from pixel x0 (a multiple of 4;
    // of 8 where m > 4).
    struct Piece {
        int32_t row = 0, x0 = 0, m = 0;
    };
    // A piece tested exactly at each stride, after the filter's two rows:
    // two tables of 256 over the bytes it lies in (from the row's byte
    // x0 / 8 on), by combination as the filter's.
    struct Check {
        Piece piece;
        uint64_t mask = 0;             // its pixels in a row's word
        std::vector<uint32_t> tables;  // 2 x 256
    };
    struct Filter {
        int32_t rows[2] = {0, 0};
        int32_t offsets[2] = {0, 0};   // the byte of its row each piece begins in (x0 / 8)
        uint64_t masks[2] = {0, 0};    // each piece's pixels in a row's word
        std::vector<uint32_t> tables;  // 4 x 256: first row's two, second row's two
        std::vector<Check> checks;     // the rest of the set's pixels tested exactly
        // The same four tables split into a low-nibble and a high-nibble
        // half, for the vector scan (16 or 32 places at once): for each group
        // of 8 combinations (the table bits 8g .. 8g + 7), the 8 half tables
        // of 16 bytes. Empty where a table is not exactly the AND of its two
        // halves (pixels may differ): then only the scalar scan runs.
        std::vector<uint8_t> nibbles;  // 4 groups x 8 halves x 16
        bool both_nibbles = false;     // exact for the second piece too, not only the first
        // The rows a place it lets through is compared on, in order, and
        // for rows of at most 8 pixels each row in a byte, as drawn and
        // complemented, pixel 0 the top bit, then the same with pixel 0 the
        // bottom bit (least significant bit first).
        std::vector<int32_t> compare;
        std::vector<uint8_t> narrow[4];
    };
    // How well a piece's pixels tell places apart.
    int32_t piece_score(const Piece& piece) const;
    // A filter over the pieces: the two best that begin a row tested first
    // (at most `errors` pixels of each wrong), then, with `checks`, the
    // others exactly.
    Filter make_filter(const std::vector<Piece>& pieces, int32_t errors, bool checks) const;
    // Sets `first` and `next` (256 each) to the combinations under which a
    // piece's pixels lie in the two bytes from its row's byte x0 / 8 on with
    // at most `errors` of them wrong, those in each byte counted apart.
    void piece_tables(const Piece& piece, int32_t errors, uint32_t* first, uint32_t* next) const;

    int32_t width_, height_, max_errors_;
    std::vector<int32_t> strides_;
    std::vector<uint64_t> rows_;     // each row's pixels from the top bit down
    uint64_t row_mask_ = 0;          // the top `width_` bits
    // One filter over every row, the errors allowed in its tables (and, where
    // none are, the other rows' first pixels checked exactly); or, where
    // pixels may differ and the pattern has rows enough, one exact filter
    // for each of max_errors + 1 sets of rows: a place with at most that
    // many pixels wrong has one set with none.
    std::vector<Filter> filters_;
    // The rows in the order a place is compared pixel by pixel: those that
    // tell places apart best first, so that a place that is no match is
    // told after few rows.
    std::vector<int32_t> compare_order_;
};
