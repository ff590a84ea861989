// Tests of finding graphics: widths that are not whole bytes, data with
// nothing to find, the chunked scan of a file against the scan of the same
// bytes in memory, and the quality figures on a corpus of real data.
//
// The quality test runs the held-out half of the corpus, 12 files of 1 MiB
// per filler kind by default (BITLOUPE_CORPUS_FILES sets how many,
// BITLOUPE_CORPUS_SEED the seed; corpus.h names the variables that choose
// the data). finding_quality prints both halves side by side.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <string>

#include "corpus.h"
#include "quality.h"
#include "cpu_levels.h"
#include "finding.h"

namespace {

int64_t environment_number(const char* name, int64_t fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtoll(value, nullptr, 0) : fallback;
}

// Frames of sprites `width` bits wide packed with no padding, which only a
// bit-level guess can find.
// The quality measure's file `index` of the tuning half (finding_quality's
// default seed).
CorpusFile tuning_file(int64_t index)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why, TUNING_HALF);
    EXPECT_TRUE(why.empty()) << why;
    Random random(uint64_t{20261210} * 1000003 + static_cast<uint64_t>(index));
    return make_corpus_file(sources, static_cast<size_t>(index) % sources.fillers.size(), random, int64_t{1} << 20, 8, 256,
                            16384);
}

// Whether a region listed at `p`'s width covers at least half of it, as the
// quality measure counts a picture found.
bool listed_at_its_width(const CorpusFile& file, const Placement& p)
{
    for (const FoundRegion& r : listed_regions(file.bytes))
        if (r.width_bits == p.width_bits && 2 * (std::min(r.end, p.end) - std::max(r.start, p.start)) >= p.end - p.start)
            return true;
    return false;
}

// The console fonts' maker of the held-out half.
Named<PictureMaker> held_out_font()
{
    std::string why;
    const CorpusSources sources = corpus_sources(why, HELD_OUT_HALF);
    for (const Named<PictureMaker>& m : sources.pictures)
        if (m.name == "font") return m;
    ADD_FAILURE() << "no font maker: " << why;
    return {};
}

std::vector<uint8_t> packed_sprites(int32_t width, int32_t rows, Random& random)
{
    std::vector<uint8_t> bytes(static_cast<size_t>((int64_t{width} * rows + 7) / 8), 0);
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t frame = y / 16, r = y % 16;
        const int32_t left = frame * 7 % 4, right = width - 1 - frame % 3, cut = static_cast<int32_t>(random() % 3);
        for (int32_t x = left; x <= right; ++x)
            if (r == 0 || r == 15 || x <= left + cut || x == right || (r > 4 && r < 9 && x > width / 3)) {
                const int64_t bit = int64_t{y} * width + x;
                bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80 >> bit % 8);
            }
    }
    return bytes;
}

TEST(GuessWidths, FindsWidthsThatAreNotWholeBytes)
{
    Random random(7);
    for (int32_t width : {5, 13, 21, 37, 100}) {
        const std::vector<uint8_t> bytes = packed_sprites(width, 512, random);
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        const int32_t n = guess_widths(bytes.data(), static_cast<int64_t>(bytes.size()), guess, 5);
        ASSERT_GE(n, 1) << width;
        EXPECT_EQ(guess[0].width_bits, width);
        for (int32_t i = 1; i < n; ++i) EXPECT_LE(guess[i].score, guess[0].score + 1e-9) << width;
    }
}

// Stars of long strokes slanted both ways and a short upright one: the lags
// a pixel either side of the width match best, the width itself less well.
// The width between such a pair is the guess.
TEST(GuessWidths, StrokesSlantedBothWaysGiveTheWidthBetweenTheirLags)
{
    Random random(5);
    for (const int32_t width : {32, 64, 128}) {
        std::vector<uint8_t> bytes(static_cast<size_t>(width / 8 * 256), 0);
        for (int32_t k = 0; k < width / 2; ++k) {
            const int32_t x = static_cast<int32_t>(random() % static_cast<uint64_t>(width - 12)), y = static_cast<int32_t>(random() % 244);
            auto set = [&](int32_t column, int32_t row) {
                const int64_t bit = int64_t{y + row} * width + x + column;
                bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80 >> bit % 8);
            };
            for (int32_t i = 0; i < 12; ++i) set(i, i), set(11 - i, i);
            for (int32_t i = 4; i < 8; ++i) set(6, i);
        }
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        ASSERT_GE(guess_widths(bytes.data(), static_cast<int64_t>(bytes.size()), guess, 3), 1) << width;
        EXPECT_EQ(guess[0].width_bits, width);
    }
}

// Glyphs of 16 x 16 made of a few parts, as the syllables of a script are,
// and stored in the order of their parts: a glyph shares most rows with the
// next one, so its rows line up better with the next glyph's (256 bits on)
// than with the row below. They are still rows of 16 bits.
TEST(GuessWidths, GlyphsThatMatchTheNextGlyphBetterThanTheRowBelowAreRowsOfTheirOwn)
{
    constexpr int32_t GLYPHS = 256;
    std::vector<uint8_t> glyphs(GLYPHS * 32, 0);
    for (int32_t g = 0; g < GLYPHS; ++g) {
        const int32_t first = g / 32 % 4, middle = g / 8 % 4, last = g % 8;
        auto set = [&](int32_t x, int32_t y) { glyphs[static_cast<size_t>(g * 32 + y * 2 + x / 8)] |= static_cast<uint8_t>(0x80 >> x % 8); };
        for (int32_t x = 2; x <= 8; ++x) set(x, 2 + first);  // a stroke across, at a height of its own
        for (int32_t y = 2; y <= 7; ++y) set(2 + first % 2 * 5, y);
        for (int32_t y = 1; y <= 12; ++y) set(11 + middle, y);  // a stroke down
        if (middle % 2) set(13 + middle / 2, 6), set(13 + middle / 2, 7);
        for (int32_t x = 3 + last % 3; x <= 12 - last / 3; ++x) set(x, 10 + last % 2 * 2), set(x, 13 + last / 4);
        set(3 + last % 3, 11 + last % 2 * 2);
    }
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    ASSERT_GE(guess_widths(glyphs.data(), static_cast<int64_t>(glyphs.size()), guess, 3), 1);
    EXPECT_EQ(guess[0].width_bits, 16);
}

// Glyphs of 16 x 16 pixels as CJK fonts draw them: horizontal strokes on
// every other row (now and then two rows apart), so that the row below a
// stroke is mostly blank where two rows below is another stroke. Rows of 16 bits, not 32 (two rows side by side)
// or 256 (the glyph).
TEST(GuessWidths, GlyphsWithStrokesEveryOtherRowAreRowsOfTheirOwn)
{
    Random random(11);
    constexpr int32_t GLYPHS = 256;
    std::vector<uint8_t> glyphs(GLYPHS * 32, 0);
    for (int32_t g = 0; g < GLYPHS; ++g) {
        auto set = [&](int32_t x, int32_t y) { glyphs[static_cast<size_t>(g * 32 + y * 2 + x / 8)] |= static_cast<uint8_t>(0x80 >> x % 8); };
        for (int32_t y = 1 + static_cast<int32_t>(random() % 2); y < 15; y += random() % 4 ? 2 : 3) {
            const int32_t from = static_cast<int32_t>(random() % 6), to = 9 + static_cast<int32_t>(random() % 6);
            for (int32_t x = from; x <= to; ++x) set(x, y);
        }
        for (int32_t k = 0; k < 3; ++k) {  // strokes down
            const int32_t x = 1 + static_cast<int32_t>(random() % 14), top = 1 + static_cast<int32_t>(random() % 6);
            for (int32_t y = top; y < top + 8; ++y) set(x, y);
        }
    }
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    ASSERT_GE(guess_widths(glyphs.data(), static_cast<int64_t>(glyphs.size()), guess, 3), 1);
    EXPECT_EQ(guess[0].width_bits, 16) << "then " << guess[1].width_bits << ", " << guess[2].width_bits;
}

// A stack of glyphs of 16 x 16 of thin strokes, each glyph the one before
// with a stroke moved: the next glyph matches far better than the row
// below, and two rows side by side (32 bits) or the whole glyph (256) may
// come first. The places after it then hold its divisors (the rows), not
// more of its multiples.
TEST(GuessWidths, AGlyphReadWholeIsFollowedByItsRows)
{
    Random random(3);
    constexpr int32_t GLYPHS = 256;
    std::vector<uint8_t> glyphs(GLYPHS * 32, 0);
    int32_t strokes[7][2] = {};
    for (int32_t g = 0; g < GLYPHS; ++g) {
        auto set = [&](int32_t x, int32_t y) { glyphs[static_cast<size_t>(g * 32 + y * 2 + x / 8)] |= static_cast<uint8_t>(0x80 >> x % 8); };
        const int32_t moved = static_cast<int32_t>(random() % 7);
        for (int32_t k = 0; k < 7; ++k) {
            if (g == 0 || k == moved) strokes[k][0] = static_cast<int32_t>(random() % 6), strokes[k][1] = 9 + static_cast<int32_t>(random() % 6);
            for (int32_t x = strokes[k][0]; x <= strokes[k][1]; ++x) set(x, 1 + 2 * k);
        }
    }
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    ASSERT_EQ(guess_widths(glyphs.data(), static_cast<int64_t>(glyphs.size()), guess, 3), 3);
    std::vector<int32_t> widths;
    for (const WidthGuess& g : guess) widths.push_back(g.width_bits);
    widths.resize(3);
    EXPECT_NE(std::find(widths.begin(), widths.end(), 16), widths.end()) << widths[0] << " " << widths[1] << " " << widths[2];
    for (const int32_t w : widths) EXPECT_FALSE(w != widths[0] && w % widths[0] == 0) << w << " is a multiple of " << widths[0];
}

TEST(GuessWidths, FlatTinyAndRandomDataGiveNothingWorthReporting)
{
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    const std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    EXPECT_EQ(guess_widths(zeros.data(), 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(nullptr, 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 0, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 1, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 4096, guess, 0), 0);

    Random random(11);
    std::vector<uint8_t> noise(65536);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    const int32_t n = guess_widths(noise.data(), 65536, guess, 5);
    for (int32_t i = 0; i < n; ++i) EXPECT_LT(guess[i].score, 0.05) << guess[i].width_bits;
    EXPECT_TRUE(scan_bytes(noise.data(), 65536, 0, SCAN_MIN_BYTES).empty());
    EXPECT_TRUE(scan_bytes(zeros.data(), 4096, 0, SCAN_MIN_BYTES).empty());
}

// Row statistics against a count written from their definition, a pixel at
// a time, for rows a byte wide (counted eight at a time), of two and four
// bytes (several rows a word), of 12 bits (columns counted from byte
// values) and wider or not whole bytes (a word at a time), on glyph-like
// and random bytes.
TEST(RowStatistics, CountsMatchTheDefinition)
{
    Random random(21);
    std::vector<uint8_t> bytes = packed_sprites(24, 200, random);
    for (int32_t i = 0; i < 600; ++i) bytes.push_back(static_cast<uint8_t>(i % 7 == 0 ? random() : 0));
    // The last bytes one value, neither blank nor solid: the same as the
    // byte a row on up to the last row, and past it.
    bytes.insert(bytes.end(), 62, 0x5A);
    auto bit = [&](int64_t i) { return bytes[static_cast<size_t>(i / 8)] >> (7 - i % 8) & 1; };
    // All the bytes, and as many as make 66 and 130 rows: a block of 64 rows
    // and two more, of which the last has no row below.
    for (const int64_t cut : {int64_t{0}, int64_t{66}, int64_t{130}})
    for (const int32_t width : {8, 12, 16, 24, 32, 40, 72}) {
        const int64_t n = cut ? (cut * width + 7) / 8 : static_cast<int64_t>(bytes.size()), rows = n * 8 / width;
        const RowStatistics st = row_statistics(bytes.data(), n, width);
        ASSERT_EQ(st.rows, rows);
        auto px = [&](int64_t r, int64_t c) { return bit(r * width + c); };
        int64_t below = 0, beside = 0, blank = 0, repeated = 0, isolated = 0, set = 0;
        std::vector<int64_t> ones(static_cast<size_t>(width), 0), by_block((rows + 62) / 64, 0);  // rows 1.., 64 a block
        for (int64_t r = 0; r < rows; ++r) {
            int64_t count = 0;
            bool same = r > 0;
            for (int32_t c = 0; c < width; ++c) {
                count += px(r, c), ones[static_cast<size_t>(c)] += px(r, c);
                if (c + 1 < width) beside += px(r, c) != px(r, c + 1);
                if (r + 1 < rows) below += px(r, c) != px(r + 1, c);
                if (r > 0) same &= px(r, c) == px(r - 1, c);
                if (r == 0 || r + 1 == rows || c == 0 || c + 1 == width) continue;
                bool any = false, all = true;
                for (int32_t dr = -1; dr <= 1; ++dr)
                    for (int32_t dc = -1; dc <= 1; ++dc)
                        if (dr != 0 || dc != 0) any |= px(r + dr, c + dc) == 1, all &= px(r + dr, c + dc) == 1;
                isolated += px(r, c) ? !any : all;
                by_block[static_cast<size_t>((r - 1) / 64)] += px(r, c) ? !any : all;
                set += px(r, c);
            }
            const bool plain = count == 0 || count == width;
            blank += plain, repeated += same && !plain;
        }
        double expected_below = 0, expected_beside = 0;
        for (int32_t c = 0; c < width; ++c) {
            EXPECT_EQ(st.density[static_cast<size_t>(c)], static_cast<double>(ones[static_cast<size_t>(c)]) / rows) << width;
            const double p = st.density[static_cast<size_t>(c)];
            expected_below += 2 * p * (1 - p);
            if (c > 0) expected_beside += p * (1 - st.density[static_cast<size_t>(c - 1)]) + st.density[static_cast<size_t>(c - 1)] * (1 - p);
        }
        EXPECT_NEAR(st.vertical * expected_below * (rows - 1), static_cast<double>(below), 1e-6) << width;
        EXPECT_NEAR(st.horizontal * expected_beside * rows, static_cast<double>(beside), 1e-6) << width;
        EXPECT_EQ(st.blank, static_cast<double>(blank) / rows) << width;
        EXPECT_EQ(st.repeated, static_cast<double>(repeated) / rows) << width;
        const double inside = static_cast<double>((rows - 2) * (width - 2)), p = set / inside;
        const double expected = inside * (p * std::pow(1 - p, 8) + (1 - p) * std::pow(p, 8));
        EXPECT_NEAR(st.isolated * expected, static_cast<double>(isolated), 1e-6) << width;
        // The typical count: the median of the whole blocks of 64 rows, for
        // all the rows (the count itself with fewer than three blocks).
        const size_t full = static_cast<size_t>((rows - 2) / 64);
        double typical = static_cast<double>(isolated);
        if (full >= 3) {
            std::vector<int64_t> whole(by_block.begin(), by_block.begin() + static_cast<long>(full));
            std::sort(whole.begin(), whole.end());
            typical = static_cast<double>(whole[full / 2]) * static_cast<double>(rows - 2) / 64;
        }
        EXPECT_NEAR(st.isolated_typical * expected, typical, 1e-6) << width;

        // A byte at a time: blank or solid bytes, and bytes (neither) the
        // same as the byte a row below, for rows of whole bytes.
        const int64_t used = rows * width / 8;
        int64_t plain_bytes = 0, same_bytes = 0;
        for (int64_t i = 0; i < used; ++i) {
            const uint8_t b = bytes[static_cast<size_t>(i)];
            plain_bytes += b == 0 || b == 0xFF;
            same_bytes += width % 8 == 0 && b != 0 && b != 0xFF && i + width / 8 < used && b == bytes[static_cast<size_t>(i + width / 8)];
        }
        EXPECT_EQ(st.plain_bytes, static_cast<double>(plain_bytes) / used) << width;
        EXPECT_EQ(st.same_bytes, static_cast<double>(same_bytes) / used) << width;
        // How evenly the columns vary, and the bands: of the first 512
        // rows' set bits, by place in bands of 4 to 32 rows, the largest
        // spread (standard deviation over mean).
        double sum = 0, squares = 0;
        for (const double p : st.density) sum += p * (1 - p), squares += p * (1 - p) * p * (1 - p);
        EXPECT_NEAR(st.spread, sum * sum / (squares * width), 1e-9) << width;
        double bands = 0;
        const int64_t band_rows = std::min<int64_t>(rows, 512);
        for (int64_t h = 4; h <= 32 && 3 * h <= band_rows; ++h) {
            std::vector<double> mean(static_cast<size_t>(h), 0.0), in(static_cast<size_t>(h), 0.0);
            for (int64_t r = 0; r < band_rows; ++r) {
                for (int32_t c = 0; c < width; ++c) mean[static_cast<size_t>(r % h)] += px(r, c);
                in[static_cast<size_t>(r % h)] += 1;
            }
            double total = 0, deviation = 0;
            for (int64_t i = 0; i < h; ++i) total += mean[static_cast<size_t>(i)] /= in[static_cast<size_t>(i)];
            for (int64_t i = 0; i < h; ++i) deviation += std::pow(mean[static_cast<size_t>(i)] - total / h, 2);
            bands = std::max(bands, total > 0 ? std::sqrt(deviation / h) / (total / h) : 0.0);
        }
        EXPECT_NEAR(st.bands, bands, 1e-9) << width;
    }
}

// Text laid out in columns (lists of names indented by runs of spaces,
// boxes drawn with bars and dashes) repeats rows of whole bytes as pictures
// do, but holds no blank (00) or solid (FF) bytes: it is not graphics.
TEST(ScanBytes, TextInColumnsIsNotGraphics)
{
    Random random(5);
    std::string text;
    const char* words[] = {"Alice", "Bartosz", "Claus", "Dmitri", "Eve", "Fatima", "Gunnar", "Hiroshi"};
    while (text.size() < 64 * 1024) {
        const std::string name = std::string(words[random() % 8]) + " " + words[random() % 8];
        text += std::string(21, ' ') + name + " <" + words[random() % 8] + "@example.org>\n";
        if (random() % 8 == 0)
            text += "   |" + std::string(40 + random() % 3, ' ') + "|\n   +" + std::string(40, '-') + "+\n";
    }
    const std::vector<FoundRegion> regions =
        scan_bytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()), 0, SCAN_MIN_BYTES);
    for (const FoundRegion& r : regions)
        if (r.score >= SCAN_DEFAULT_MIN_SCORE)
            ADD_FAILURE() << "text found as graphics: " << r.start << ".." << r.end << " width " << r.width_bits
                          << " score " << r.score;
}

// Bytes that show next to nothing as rows (one record over and over, a
// fill with a stray bit now and then, a stripe that never changes) between
// random bytes give no candidate region at all, whatever its score.
TEST(ScanBytes, FillsAndOneRecordOverAndOverAreNoRegions)
{
    Random random(13);
    std::vector<uint8_t> file;
    auto noise = [&] {
        for (int32_t i = 0; i < 4096; ++i) file.push_back(static_cast<uint8_t>(random()));
    };
    noise();
    const uint8_t record[12] = {0x10, 0x00, 0x00, 0x00, 0x40, 0x1f, 0x00, 0x00, 0x01, 0x00, 0xff, 0xff};
    for (int32_t i = 0; i < 700; ++i) file.insert(file.end(), record, record + 12);
    noise();
    for (int32_t i = 0; i < 8192; ++i) file.push_back(i % 97 == 0 ? 0x08 : 0x00);
    noise();
    for (int32_t i = 0; i < 8192; ++i) file.push_back(i % 4 == 1 ? 0x3c : 0x00);
    noise();
    for (const FoundRegion& r : scan_bytes(file.data(), static_cast<int64_t>(file.size()), 0, SCAN_MIN_BYTES))
        ADD_FAILURE() << "candidate " << r.start << ".." << r.end << " width " << r.width_bits << " score " << r.score;
}

// The trees that score regions: every node a leaf or a split on one of the
// features whose children come after it in the table (so that every walk
// ends), every tree's root in the table.
TEST(ScanModel, EveryTreeIsWellFormed)
{
    const int32_t nodes = static_cast<int32_t>(std::size(FINDING_NODES));
    ASSERT_GT(std::size(FINDING_TREES), 0u);
    for (const int root : FINDING_TREES) EXPECT_TRUE(root >= 0 && root < nodes) << root;
    for (int32_t k = 0; k < nodes; ++k) {
        const FindingNode& node = FINDING_NODES[k];
        if (node.feature < 0) continue;
        EXPECT_LT(node.feature, FINDING_FEATURES) << k;
        EXPECT_TRUE(node.below > k && node.below < nodes && node.above > k && node.above < nodes) << k;
    }
    EXPECT_TRUE(FINDING_LEAST_SCORE > SCAN_LEAST_SCORE && FINDING_LEAST_SCORE < 1);
}

// A console font after a long run of UTF-16 text (whose windows look a
// little like rows and lead up to it) and before random bytes: a candidate
// region of its width over it, its edges within four rows of the font's
// (random bytes may pass for a row or two; how its score ranks is the
// quality measure's matter).
TEST(ScanBytes, AFontAfterUtf16TextIsFoundToTheRow)
{
    const Named<PictureMaker> font = held_out_font();
    ASSERT_TRUE(font.make);
    Random random(11);
    std::vector<uint8_t> bytes;
    const char* words[] = {"Licence ", "terms ", "and ", "conditions ", "for ", "copying, ", "distribution\n"};
    while (bytes.size() < 48 * 1024)
        for (const char* c = words[random() % 7]; *c; ++c) bytes.insert(bytes.end(), {static_cast<uint8_t>(*c), 0});
    for (int32_t tries = 0; tries < 4; ++tries) {
        const Picture picture = font.make(random, 4096);
        const Placement placed{static_cast<int64_t>(bytes.size()), static_cast<int64_t>(bytes.size() + picture.bytes.size()),
                               picture.width_bits, font.name};
        std::vector<uint8_t> file = bytes;
        file.insert(file.end(), picture.bytes.begin(), picture.bytes.end());
        for (int32_t i = 0; i < 8192; ++i) file.push_back(static_cast<uint8_t>(random()));
        const FoundRegion* hit = nullptr;
        const std::vector<FoundRegion> regions = scan_bytes(file.data(), static_cast<int64_t>(file.size()), 0, SCAN_MIN_BYTES);
        for (const FoundRegion& r : regions)
            if (r.width_bits == placed.width_bits && r.start < placed.end && placed.start < r.end) hit = &r;
        ASSERT_NE(hit, nullptr) << "font of width " << placed.width_bits << " at " << placed.start << ".." << placed.end;
        EXPECT_LE(edge_distance(file.data(), placed, hit->start, hit->end), 4 * placed.width_bits / 8)
            << hit->start << ".." << hit->end << " for " << placed.start << ".." << placed.end;
    }
}

// A font between text: before it in UTF-16, after it in ASCII to the end
// of the file. The text's bytes never count for an edge, so the region
// ends within a row of the font's ends.
TEST(ScanBytes, EdgesStopAtTextAboutAFont)
{
    const Named<PictureMaker> font = held_out_font();
    ASSERT_TRUE(font.make);
    Random random(5);
    const std::string words = "Licence terms and conditions for copying, distribution and modification.\n";
    for (int32_t tries = 0; tries < 4; ++tries) {
        std::vector<uint8_t> file;
        for (int32_t i = 0; i < 64; ++i)
            for (const char c : words) file.insert(file.end(), {static_cast<uint8_t>(c), 0});
        const Picture picture = font.make(random, 4096);
        const Placement placed{static_cast<int64_t>(file.size()), static_cast<int64_t>(file.size() + picture.bytes.size()),
                               picture.width_bits, font.name};
        file.insert(file.end(), picture.bytes.begin(), picture.bytes.end());
        for (int32_t i = 0; i < 24; ++i) file.insert(file.end(), words.begin(), words.end());
        const std::vector<FoundRegion> regions = scan_bytes(file.data(), static_cast<int64_t>(file.size()), 0, SCAN_MIN_BYTES);
        const auto hit = std::find_if(regions.begin(), regions.end(), [&](const FoundRegion& r) {
            return r.width_bits == placed.width_bits && r.start < placed.end && placed.start < r.end;
        });
        ASSERT_NE(hit, regions.end()) << "font of width " << placed.width_bits;
        EXPECT_LE(edge_distance(file.data(), placed, hit->start, hit->end), placed.width_bits / 8)
            << hit->start << ".." << hit->end << " for " << placed.start << ".." << placed.end;
    }
}

// Text marks against their definition, a run at a time: runs of printable
// bytes and of UTF-16 characters of either byte order, of lengths around
// the least run of 16; and tables of strings whose
// count, gaps, length and bytes between are each just inside or outside
// what makes one.
TEST(TextMarks, MarkRunsOfTextAndTablesOfStrings)
{
    auto printable = [](uint8_t c) { return (c >= 0x20 && c < 0x7F) || c == 9 || c == 10 || c == 13; };
    Random random(17);
    for (int32_t t = 0; t < 2000; ++t) {
        // Runs of 12 to 20 letters, in ASCII or UTF-16 of either order,
        // and zeros, each run ended by a byte of neither.
        std::vector<uint8_t> b;
        while (b.size() < 400) {
            const uint32_t kind = static_cast<uint32_t>(random() % 4), length = 12 + static_cast<uint32_t>(random() % 9);
            for (uint32_t i = 0; i < length; ++i) {
                const uint8_t letter = static_cast<uint8_t>(0x41 + random() % 26);
                if (kind == 0) b.push_back(letter);
                if (kind == 1) b.push_back(letter), b.push_back(0);
                if (kind == 2) b.push_back(0), b.push_back(letter);
                if (kind == 3) b.push_back(0);
            }
            b.push_back(static_cast<uint8_t>(0x80 + random() % 0x80));
        }
        b.resize(static_cast<size_t>(random() % 400));
        const int64_t n = static_cast<int64_t>(b.size());
        std::vector<uint8_t> expected(b.size(), 0);
        // Maximal runs of characters `step` bytes apart that start at
        // places where `valid` holds, each `width` bytes.
        auto runs = [&](auto valid, int64_t step, int64_t width) {
            for (int64_t first = 0; first < step; ++first)
                for (int64_t j = first, run = 0;; j += step) {
                    const bool ok = j + width <= n && valid(j);
                    if (ok) {
                        ++run;
                        continue;
                    }
                    if (run >= 16) std::fill(expected.begin() + (j - step * run), expected.begin() + (j - step + width), 1);
                    run = 0;
                    if (j + width > n) break;
                }
        };
        runs([&](int64_t j) { return printable(b[static_cast<size_t>(j)]); }, 1, 1);
        runs([&](int64_t j) { return printable(b[static_cast<size_t>(j)]) && b[static_cast<size_t>(j + 1)] == 0; }, 2, 2);
        runs([&](int64_t j) { return b[static_cast<size_t>(j)] == 0 && printable(b[static_cast<size_t>(j + 1)]); }, 2, 2);
        // (A run cut by the end of the bytes may end in a string: those
        // buffers are left to the tables below.)
        std::vector<uint8_t> text;
        mark_text(b.data(), n, text);
        bool table = false;
        for (int64_t j = 1; j + 1 < n; ++j) table |= printable(b[static_cast<size_t>(j - 1)]) && printable(b[static_cast<size_t>(j)]) && b[static_cast<size_t>(j + 1)] == 0;
        if (!table) ASSERT_EQ(text, expected) << "buffer " << t;
    }
    // Tables: strings of 5 letters and a NUL (6 bytes), `gap` NULs between.
    auto marked = [](int32_t strings, int32_t gap, uint8_t between) {
        std::vector<uint8_t> b(40, 0x90);
        for (int32_t k = 0; k < strings; ++k) {
            for (const char c : std::string("hello")) b.push_back(static_cast<uint8_t>(c));
            b.push_back(0);
            if (k + 1 < strings) b.insert(b.end(), static_cast<size_t>(gap), 0);
            if (k + 1 < strings && between) b.back() = between;
        }
        b.insert(b.end(), 40, 0x90);
        std::vector<uint8_t> text;
        mark_text(b.data(), static_cast<int64_t>(b.size()), text);
        const int64_t count = std::count(text.begin(), text.end(), 1);
        return count;
    };
    EXPECT_EQ(marked(4, 20, 0), 4 * 6 + 3 * 20);   // 84 bytes from the first letter to the last NUL
    EXPECT_EQ(marked(3, 32, 0), 3 * 6 + 2 * 32);   // gaps of 32 bytes: one table
    EXPECT_EQ(marked(3, 33, 0), 0);                // of 33: none
    EXPECT_EQ(marked(2, 60, 0), 0);                // two strings are no table
    EXPECT_EQ(marked(6, 6, 0), 6 * 6 + 5 * 6);     // 66 bytes: a table
    EXPECT_EQ(marked(5, 6, 0), 0);                 // 54 bytes: too short
    EXPECT_EQ(marked(4, 20, 0x1B), 4 * 6 + 3 * 20);  // escape between strings is text
    EXPECT_EQ(marked(4, 20, 0x90), 0);             // another byte between ends the table
}

// A font sheet of the corpus (glyphs side by side, rows of 128 bits) whose
// windows find rows of 8, 2 and 16 bytes in turn: the region of its own
// width covers it, and the shorter ones read at divisors of its width,
// which overlap it, do not cut it away; its width is the first guessed.
// Text in UTF-16 lines up with itself at every even lag, so its windows
// once made spans of tens of KiB, and a small picture inside one was
// judged with the text around it. Small fonts between runs of such text
// are each found at their width, and the text gives no region.
TEST(ScanBytes, SmallPicturesInUtf16TextAreFound)
{
    const Named<PictureMaker> font = held_out_font();
    ASSERT_TRUE(font.make);
    Random random(12);
    const char* words[] = {"Licence ", "terms ", "and ", "conditions ", "for ", "copying, ", "distribution\n"};
    CorpusFile file{{}, {}, "UTF-16 text"};
    for (int32_t k = 0; k <= 6; ++k) {
        for (const size_t end = file.bytes.size() + 8192; file.bytes.size() < end;)
            for (const char* c = words[random() % 7]; *c; ++c) file.bytes.insert(file.bytes.end(), {static_cast<uint8_t>(*c), 0});
        if (k == 6) break;
        const Picture picture = font.make(random, 640);
        file.placed.push_back({static_cast<int64_t>(file.bytes.size()), static_cast<int64_t>(file.bytes.size() + picture.bytes.size()), picture.width_bits, font.name});
        file.bytes.insert(file.bytes.end(), picture.bytes.begin(), picture.bytes.end());
    }
    for (const Placement& p : file.placed) EXPECT_TRUE(listed_at_its_width(file, p)) << "font at " << p.start << ".." << p.end;
    for (const FoundRegion& r : scan_bytes(file.bytes.data(), static_cast<int64_t>(file.bytes.size()), 0, SCAN_MIN_BYTES))
        EXPECT_TRUE(std::any_of(file.placed.begin(), file.placed.end(), [&](const Placement& p) { return r.start < p.end && p.start < r.end; }))
            << "region " << r.start << ".." << r.end << " in the text";
}

TEST(ScanBytes, AFontSheetKeepsItsOwnWidth)
{
    const CorpusFile file = tuning_file(22);
    const auto sheet = std::find_if(file.placed.begin(), file.placed.end(),
                                    [](const Placement& p) { return p.what == "font sheet" && p.end - p.start > 8192; });
    ASSERT_NE(sheet, file.placed.end());
    const std::vector<FoundRegion> regions =
        scan_bytes(file.bytes.data(), static_cast<int64_t>(file.bytes.size()), 0, SCAN_MIN_BYTES);
    int64_t covered = 0;
    for (const FoundRegion& r : regions)
        if (r.width_bits == sheet->width_bits) {
            covered += std::max<int64_t>(0, std::min(r.end, sheet->end) - std::max(r.start, sheet->start));
            // On the sheet's rows, told by its blank rows: its cells' seams
            // look alike.
            EXPECT_TRUE((r.start - sheet->start) % (sheet->width_bits / 8) == 0 && (r.end - sheet->start) % (sheet->width_bits / 8) == 0)
                << r.start << ".." << r.end << " for " << sheet->start << ".." << sheet->end;
        }
    EXPECT_GE(covered, (sheet->end - sheet->start) * 9 / 10) << sheet->start << ".." << sheet->end;
    // Its rows are different glyphs' rows side by side, not rows of glyphs
    // a glyph wide.
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    ASSERT_GE(guess_widths(file.bytes.data() + sheet->start, sheet->end - sheet->start, guess, 3), 1);
    EXPECT_EQ(guess[0].width_bits, sheet->width_bits);
}

// Sprites 16 bytes wide whose windows reach back over some 300 bytes of
// licence text, which dip at a byte (their top bit is always clear): the
// span's first bytes give no width worth a region, its middle gives the
// sprites' own, and the scan lists them at it.
TEST(ScanBytes, SpritesAfterTextAreListedAtTheirWidth)
{
    const CorpusFile file = tuning_file(9);
    const auto sprites = std::find_if(file.placed.begin(), file.placed.end(),
                                      [](const Placement& p) { return p.what == "sprites" && p.width_bits == 128; });
    ASSERT_NE(sprites, file.placed.end());
    ASSERT_EQ(file.filler, "text");
    EXPECT_TRUE(listed_at_its_width(file, *sprites)) << sprites->start << ".." << sprites->end;
}

// CJK glyphs of 16 x 16 fill their cells with strokes a pixel thin: their
// pixels beside one another agree about as often as independent bits do,
// and their rows of two bytes use many values. The windows that fail those
// tests still count, on how well their rows match (the quality measure's
// Unifont page in random bytes, 9 of whose 10 windows fail them).
TEST(ScanBytes, DenseGlyphsOfThinStrokesAreListed)
{
    const CorpusFile file = tuning_file(7);
    const auto page = std::find_if(file.placed.begin(), file.placed.end(),
                                   [](const Placement& p) { return p.what == "unifont" && p.end - p.start > 2048; });
    ASSERT_NE(page, file.placed.end());
    int64_t covered = 0;
    for (const FoundRegion& r : listed_regions(file.bytes))
        if (r.width_bits == page->width_bits)
            covered += std::max<int64_t>(0, std::min(r.end, page->end) - std::max(r.start, page->start));
    EXPECT_GE(covered, (page->end - page->start) * 9 / 10) << page->start << ".." << page->end;
}

// A small font of 616 bytes whose windows run on over a program around
// it: the span's first bytes score low as a whole and in their middle;
// the half of them that holds the font is judged on its own.
TEST(ScanBytes, APictureHalfOfItsSpanIsJudgedOnItsOwn)
{
    const CorpusFile file = tuning_file(54);
    const auto sheet = std::find_if(file.placed.begin(), file.placed.end(),
                                    [](const Placement& p) { return p.what == "pcf as stored" && p.start == 175478; });
    ASSERT_NE(sheet, file.placed.end());
    ASSERT_EQ(file.filler, "programs");
    EXPECT_TRUE(listed_at_its_width(file, *sheet)) << sheet->start << ".." << sheet->end << " at " << sheet->width_bits;
}

// Pictures of the corpus the scan passed over, listed at their width now:
// 133: a sheet of glyphs 8 pixels wide, eight side by side, whose first
// windows match best at the next glyph (a byte on) and nearly as well at
// the row below (8 bytes on): its width is guessed up to twice the latter.
// 0: glyphs a little over a window long in random bytes, the one window
// mostly on them starting 36 bytes before them: its second half is no noise.
// 136: glyphs of 768 bytes inside 150 KiB of UTF-16 text whose windows make
// one long span with theirs: every piece of the span is looked at.
TEST(ScanBytes, PicturesOncePassedOverAreListedAtTheirWidth)
{
    for (const auto& at : {std::pair<int64_t, int64_t>{133, 441083}, {0, 1007396}, {136, 973447}}) {
        const CorpusFile file = tuning_file(at.first);
        const auto p = std::find_if(file.placed.begin(), file.placed.end(), [&](const Placement& q) { return q.start == at.second; });
        ASSERT_NE(p, file.placed.end()) << at.first;
        EXPECT_TRUE(listed_at_its_width(file, *p)) << "file " << at.first << ": " << p->what << " at " << at.second << ", width " << p->width_bits;
    }
}

// Pictures whose regions start and end on their rows, within a row of
// their edges: between runs of 00 and FF, with first or last rows that show
// little (8, 1: sparse glyphs, a font padded to 32 bits), the regions reach
// the padding; in tables of records and random bytes (83, 112), the rows of
// filler the edges took in hold byte values the fonts never use; in random
// bytes (0), the walk from the middle of a long font crossed its first rows
// and would run on into the random bytes, had they not been fitted anew;
// rows of 16 and 32 bytes with no blank row across to tell where rows
// start (59: sprites after UTF-16 text, 161: a sheet of glyphs in random
// bytes), whose edges, one a byte off, are made a whole number of rows
// apart; a sheet of glyphs a byte wide, eight across (250), whose blank
// rows tell where its rows start where the seams between glyphs do not;
// a font padded to 32 bits (82), its region starting a byte early on a
// byte of code whose bits would make the padding look inked.
TEST(ScanBytes, EdgesLieOnThePicturesRows)
{
    for (const auto& at : {std::pair<int64_t, int64_t>{8, 165012}, {1, 839622}, {83, 813603}, {112, 889203}, {0, 427019},
                           {59, 615857}, {161, 992166}, {250, 990119}, {82, 1022212}}) {
        const CorpusFile file = tuning_file(at.first);
        const auto p = std::find_if(file.placed.begin(), file.placed.end(), [&](const Placement& q) { return q.start == at.second; });
        ASSERT_NE(p, file.placed.end()) << at.first;
        const int64_t row = p->width_bits / 8;
        const std::vector<FoundRegion> regions = listed_regions(file.bytes);
        const auto r = std::find_if(regions.begin(), regions.end(), [&](const FoundRegion& q) {
            return q.width_bits == p->width_bits && q.start < p->end && p->start < q.end;
        });
        ASSERT_NE(r, regions.end()) << p->what << " at " << p->start;
        EXPECT_LE(edge_distance(file.bytes.data(), *p, r->start, r->end), row) << r->start << ".." << r->end << " for " << p->start << ".." << p->end;
        EXPECT_TRUE((r->start - p->start) % row == 0 && (r->end - p->end) % row == 0) << r->start << ".." << r->end << " for " << p->start << ".." << p->end;
    }
}

// Two listed parts of one picture, 64 bits wide, with a weak candidate read
// a pixel off between them: one region, on the first part's rows; a weak
// candidate after the last part stays as it is.
TEST(ResolveRegions, AWeakCandidateBetweenPartsOfOnePictureGivesWay)
{
    const std::vector<FoundRegion> in{{0, 1000, 64, 0.94, {}}, {1100, 1500, 63, 0.6, {}}, {1600, 3005, 64, 0.93, {}},
                                      {3100, 3600, 63, 0.6, {}}};
    size_t at = 0;
    std::vector<FoundRegion> out;
    resolve_regions([&](JudgedRegion& j) { return at < in.size() ? (j = JudgedRegion{in[at], in[at].start, 0}, ++at, true) : false; },
                    SCAN_MIN_BYTES, [&](const FoundRegion& r) { out.push_back(r); });
    ASSERT_EQ(out.size(), 2u);
    EXPECT_TRUE(out[0].start == 0 && out[0].end == 3000 && out[0].width_bits == 64) << out[0].start << ".." << out[0].end;
    EXPECT_TRUE(out[1].start == 3100 && out[1].width_bits == 63);
    // Overlapping regions of two widths: the one cut keeps whole rows, its
    // end back (the stronger after it) or its start on (the weaker after it).
    for (const double second : {0.99, 0.85}) {
        const std::vector<FoundRegion> two{{0, 1000, 64, 0.94, {}}, {995, 3000, 16, second, {}}};
        at = 0, out.clear();
        resolve_regions([&](JudgedRegion& j) { return at < two.size() ? (j = JudgedRegion{two[at], two[at].start, 0}, ++at, true) : false; },
                        SCAN_MIN_BYTES, [&](const FoundRegion& r) { out.push_back(r); });
        ASSERT_EQ(out.size(), 2u);
        if (second > 0.9)
            EXPECT_TRUE(out[0].end == 992 && out[1].start == 995) << out[0].end << " " << out[1].start;
        else
            EXPECT_TRUE(out[0].end == 1000 && out[1].start == 1001) << out[0].end << " " << out[1].start;
    }
    // A region of another width cut by both parts of one picture around it,
    // down to less than can be listed: the parts join.
    const std::vector<FoundRegion> cut{{0, 7832, 32, 0.898, {}}, {7404, 9132, 64, 0.934, {}}, {7920, 9312, 32, 0.931, {}}};
    at = 0, out.clear();
    resolve_regions([&](JudgedRegion& j) { return at < cut.size() ? (j = JudgedRegion{cut[at], cut[at].start, 0}, ++at, true) : false; },
                    SCAN_MIN_BYTES, [&](const FoundRegion& r) { out.push_back(r); });
    ASSERT_EQ(out.size(), 1u);
    EXPECT_TRUE(out[0].start == 0 && out[0].end == 9312 && out[0].width_bits == 32) << out[0].start << ".." << out[0].end;
}

// Sprites of solid shapes between runs of 00 and FF, whose rows match about
// as well a pixel aside as at their width: listed at their width.
TEST(ScanBytes, SmoothSpritesAreListed)
{
    for (const auto& at : {std::pair<int64_t, int64_t>{29, 908271}, {113, 293003}}) {
        const CorpusFile file = tuning_file(at.first);
        const auto p = std::find_if(file.placed.begin(), file.placed.end(), [&](const Placement& q) { return q.start == at.second; });
        ASSERT_NE(p, file.placed.end()) << at.first;
        EXPECT_TRUE(listed_at_its_width(file, *p)) << "file " << at.first << ": " << p->what << " at " << at.second;
    }
}

// Tables in programs read as rows of 4 or 6 bits can score like pictures
// (here a region of nearly 5 KiB at 4 bits, listed); rows narrower than a
// byte are no region at all.
TEST(ScanBytes, NoRegionIsNarrowerThanAByte)
{
    const CorpusFile file = tuning_file(201);
    ASSERT_EQ(file.filler, "programs");
    for (const FoundRegion& r : scan_bytes(file.bytes.data(), static_cast<int64_t>(file.bytes.size()), 0, SCAN_MIN_BYTES))
        EXPECT_GE(r.width_bits, 8) << r.start << ".." << r.end << " score " << r.score;
}

// A file of several chunks with pictures across the chunk edges, scanned
// through scan_source on two threads and as one block: the same regions.
TEST(ScanSource, ChunksGiveTheRegionsOfTheWholeFile)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_FALSE(sources.fillers.empty());
    Random random(3);
    const int64_t size = 3 * SCAN_CHUNK_BYTES + 5000;
    CorpusFile file = make_corpus_file(sources, 0, random, size, 12, 2048, 8192);
    // Pictures across the edges, long ones and short ones that leave a
    // window or two on each side, whose spans are joined across chunks.
    const int64_t lengths[] = {6000, 1000, 800};
    for (int64_t edge = SCAN_CHUNK_BYTES, i = 0; edge < size; edge += SCAN_CHUNK_BYTES, ++i) {
        const Picture p = sources.pictures[0].make(random, lengths[i % 3]);
        std::memcpy(file.bytes.data() + edge - static_cast<int64_t>(p.bytes.size()) / 2, p.bytes.data(), p.bytes.size());
    }
    const std::vector<FoundRegion> whole = scan_bytes(file.bytes.data(), size, 0, SCAN_MIN_BYTES);
    ASSERT_GE(whole.size(), 3u);

    int64_t last_progress = 0;
    const ScanRead read = [&](int64_t offset, int64_t count, uint8_t* into) {
        EXPECT_TRUE(offset >= 0 && count <= 2 * SCAN_CHUNK_BYTES && offset + count <= size);
        std::memcpy(into, file.bytes.data() + offset, static_cast<size_t>(count));
        return true;
    };
    auto expect_whole = [&](const std::vector<FoundRegion>& chunked, const char* how) {
        ASSERT_EQ(chunked.size(), whole.size()) << how;
        for (size_t i = 0; i < whole.size(); ++i) {
            EXPECT_EQ(chunked[i].start, whole[i].start) << how;
            EXPECT_EQ(chunked[i].end, whole[i].end) << how;
            EXPECT_EQ(chunked[i].width_bits, whole[i].width_bits) << how;
            EXPECT_EQ(chunked[i].score, whole[i].score) << how;
        }
    };
    std::vector<FoundRegion> chunked;
    for (const int32_t threads : {1, 2, 3}) {
        ASSERT_TRUE(scan_source(size, read, threads, SCAN_MIN_BYTES, [&](int64_t done) { last_progress = done; }, chunked));
        EXPECT_EQ(last_progress, size);
        expect_whole(chunked, "scan_source");
    }
    // The same chunk by chunk as the command line does it: each chunk's
    // inner spans judged with it, the chunks taken in another order, the
    // spans at their edges judged at the end.
    std::vector<ScanSpan> edges;
    std::vector<JudgedRegion> judged;
    for (int64_t first = (size - 1) / SCAN_CHUNK_BYTES * SCAN_CHUNK_BYTES; first >= 0; first -= SCAN_CHUNK_BYTES) {
        const int64_t own = std::min(SCAN_CHUNK_BYTES, size - first);
        std::vector<ScanSpan> spans =
            scan_spans(file.bytes.data() + first, std::min(own + SCAN_OVERLAP, size - first), first, own);
        const size_t found = spans.size();
        ASSERT_TRUE(judge_inner_spans(spans, first, own, read, size, SCAN_MIN_BYTES, judged));
        EXPECT_LE(spans.size(), found);
        for (const ScanSpan& s : spans)  // only those near the chunk's edges wait
            EXPECT_TRUE(s.start <= first + 2048 || s.end >= first + own - 1024) << s.start << ".." << s.end;
        edges.insert(edges.end(), spans.begin(), spans.end());
    }
    ASSERT_TRUE(judge_spans(edges, judged, read, size, 2, SCAN_MIN_BYTES, chunked));
    expect_whole(chunked, "judge_inner_spans");
    // A read that fails fails the scan.
    int64_t reads = 0;
    const ScanRead failing = [&](int64_t offset, int64_t count, uint8_t* into) { return ++reads < 3 && read(offset, count, into); };
    EXPECT_FALSE(scan_source(size, failing, 2, SCAN_MIN_BYTES, nullptr, chunked));
    EXPECT_TRUE(chunked.empty());
}

// The loops built for each processor level (plain, popcount, AVX2, AVX-512)
// find the same regions and guess the same widths, to the last bit of the
// scores, on every kind of filler; the levels this processor lacks are
// left out.
TEST(ScanLevels, EveryProcessorLevelFindsTheSame)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_FALSE(sources.fillers.empty());
    using cpu_levels::Level;
    const Level levels[] = {Level::plain, Level::popcnt, Level::avx2, Level::avx512};
    std::printf("best processor level here: %d of 3\n", static_cast<int>(cpu_levels::best_level()));
    Random random(11);
    std::vector<CorpusFile> files;
    for (size_t kind = 0; kind < sources.fillers.size(); ++kind)
        files.push_back(make_corpus_file(sources, kind, random, 1 << 20, 8, 256, 16384));
    // Real programs hold the windows nearest the thresholds.
    for (const char* program : {"/usr/bin/bash", "/usr/bin/Xvfb"}) {
        std::FILE* in = std::fopen(program, "rb");
        if (!in) continue;
        CorpusFile whole{std::vector<uint8_t>(4 << 20), {}, program};
        whole.bytes.resize(std::fread(whole.bytes.data(), 1, whole.bytes.size(), in));
        std::fclose(in);
        files.push_back(std::move(whole));
    }
    for (const CorpusFile& file : files) {
        const int64_t size = static_cast<int64_t>(file.bytes.size());
        std::vector<FoundRegion> first;
        std::vector<ScanSpan> first_spans;
        std::vector<WidthGuess> first_guesses;
        for (const Level level : levels) {
            if (level > cpu_levels::best_level()) break;
            cpu_levels::cap_processor_level(level);
            const std::vector<FoundRegion> regions = scan_bytes(file.bytes.data(), size, 0, SCAN_MIN_BYTES);
            // The windows' spans too: a program may give no region at all.
            const std::vector<ScanSpan> spans = scan_spans(file.bytes.data(), size, 0, size);
            std::vector<WidthGuess> guesses;
            for (const Placement& p : file.placed) {
                WidthGuess guess[GUESS_MAX_CANDIDATES];
                const int32_t n = guess_widths(file.bytes.data() + p.start, p.end - p.start, guess, GUESS_MAX_CANDIDATES);
                guesses.insert(guesses.end(), guess, guess + n);
            }
            if (level == Level::plain) {
                first = regions, first_guesses = guesses, first_spans = spans;
                EXPECT_FALSE(file.placed.empty() ? first_spans.empty() : first.empty()) << file.filler;
                std::printf("%s: %zu regions, %zu spans\n", file.filler.c_str(), first.size(), first_spans.size());
                continue;
            }
            ASSERT_EQ(spans.size(), first_spans.size()) << file.filler << " at level " << static_cast<int>(level);
            for (size_t i = 0; i < spans.size(); ++i)
                EXPECT_TRUE(spans[i].start == first_spans[i].start && spans[i].end == first_spans[i].end &&
                            spans[i].windows == first_spans[i].windows && spans[i].lag == first_spans[i].lag)
                    << file.filler << " span " << i << " at level " << static_cast<int>(level);
            ASSERT_EQ(regions.size(), first.size()) << file.filler << " at level " << static_cast<int>(level);
            for (size_t i = 0; i < regions.size(); ++i)
                EXPECT_TRUE(regions[i].start == first[i].start && regions[i].end == first[i].end &&
                            regions[i].width_bits == first[i].width_bits && regions[i].score == first[i].score)
                    << file.filler << " region " << i << " at level " << static_cast<int>(level);
            ASSERT_EQ(guesses.size(), first_guesses.size());
            for (size_t i = 0; i < guesses.size(); ++i)
                EXPECT_TRUE(guesses[i].width_bits == first_guesses[i].width_bits &&
                            guesses[i].score == first_guesses[i].score);
        }
    }
    cpu_levels::cap_processor_level(Level::avx512);
}

// Quality on the held-out half of every source. The aims: the scan finds at
// least 90% of the pictures of 1 KiB or more and 75% of those from 512
// bytes to 1 KiB (half of each covered, its width right), with at most one
// false region per 16 MiB of filler and its edges on the picture's rows,
// within a row of its edges; the first guessed width right for 97% of the pictures of 1 KiB
// or more and among the first three for 99.5%. The method is not there
// yet: the checks below are floors under what it holds today (some 5
// points under its figures; 1 false region per 16 MiB), so that a change
// that makes it worse fails; finding_quality prints the figures of both
// halves.
TEST(FindingQuality, HeldOutHalfOfRealData)
{
    const uint64_t seed = static_cast<uint64_t>(environment_number("BITLOUPE_CORPUS_SEED", 20261210));
    const int64_t files = environment_number("BITLOUPE_CORPUS_FILES", 12);
    std::string why;
    const Quality q = measure_corpus(HELD_OUT_HALF, files, int64_t{1} << 20, seed, why);
    ASSERT_TRUE(why.empty()) << why;
    std::printf("held-out half: seed %llu, %lld files of 1 MiB per filler kind\n",
                static_cast<unsigned long long>(seed), static_cast<long long>(files));
    std::fputs(quality_table(q, q).c_str(), stdout);
    if (std::getenv("BITLOUPE_CORPUS_VERBOSE"))
        for (const std::string& note : q.notes) std::printf("  %s\n", note.c_str());
    const auto all = [](const std::map<std::string, Tally>& t) { return t.at(""); };
    EXPECT_GE(all(q.found[LARGE_PICTURES]).share(), 88.0);
    EXPECT_GE(all(q.found[SMALL_PICTURES]).share(), 70.0);
    EXPECT_LE(q.false_per_16_mib(""), 1.0);
    EXPECT_GE(q.exact_edges.share(), 71.0);
    EXPECT_GE(all(q.guess_first).share(), 95.0);
    EXPECT_GE(all(q.guess_top3).share(), 97.0);
}

}  // namespace
