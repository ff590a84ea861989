// The search for a picture given by example: real console-font glyphs planted
// in random bytes at every bit alignment, in both bit orders, inverted or not,
// at several strides, must all be found, and every match reported must hold
// pixel for pixel (glyph_reference.h); on small random inputs the search,
// cut into blocks as the command line cuts a file, lists exactly what the
// brute-force reference lists.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "engine/glyph_reference.h"
#include "cpu_levels.h"
#include "glyph_search.h"

#ifdef BITLOUPE_HAVE_ZLIB
#include <zlib.h>
#endif

namespace {

// The seed of every generator here: GLYPH_SEED, or a fixed one.
uint32_t test_seed()
{
    const char* given = std::getenv("GLYPH_SEED");
    const uint32_t seed = given ? static_cast<uint32_t>(std::strtoul(given, nullptr, 0)) : 20240611u;
    std::printf("glyph search seed %u (GLYPH_SEED=%u repeats it)\n", seed, seed);
    return seed;
}

// The 8-pixel-wide glyphs of a PSF1 console font (magic 0x36 0x04, byte 3
// the height, glyphs after the 4-byte header, a byte a row); none if the
// file cannot be read.
std::vector<GlyphPattern> psf1_glyphs([[maybe_unused]] const std::string& path)
{
    std::vector<GlyphPattern> glyphs;
#ifdef BITLOUPE_HAVE_ZLIB
    gzFile file = gzopen(path.c_str(), "rb");
    if (!file) return glyphs;
    std::vector<uint8_t> bytes;
    uint8_t buffer[4096];
    for (int n; (n = gzread(file, buffer, sizeof buffer)) > 0;) bytes.insert(bytes.end(), buffer, buffer + n);
    gzclose(file);
    if (bytes.size() < 4 || bytes[0] != 0x36 || bytes[1] != 0x04 || bytes[3] == 0) return glyphs;
    const size_t height = bytes[3], count = bytes[2] & 1 ? 512 : 256;
    for (size_t g = 0; g < count && 4 + (g + 1) * height <= bytes.size(); ++g) {
        GlyphPattern glyph{8, static_cast<int32_t>(height), {}};
        for (size_t r = 0; r < height; ++r)
            for (int x = 0; x < 8; ++x) glyph.pixels.push_back(bytes[4 + g * height + r] >> (7 - x) & 1);
        glyphs.push_back(glyph);
    }
#endif
    return glyphs;
}

// The search run as the command line runs it: blocks of `block` starts, each
// with the bytes the search reaches past it, copied to a buffer of exactly
// that size (a sanitizer catches a read outside it).
std::vector<GlyphMatch> search_in_blocks(const GlyphSearch& search, const std::vector<uint8_t>& data, int64_t block)
{
    std::vector<GlyphMatch> all, found;
    const int64_t size = static_cast<int64_t>(data.size());
    for (int64_t first = 0; first < size; first += block) {
        const int64_t end = std::min(first + block, size), stop = std::min(end + search.reach(), size);
        const std::vector<uint8_t> bytes(data.begin() + first, data.begin() + stop);
        EXPECT_FALSE(search.search(bytes.data(), stop - first, first, first, end, SIZE_MAX, found));
        all.insert(all.end(), found.begin(), found.end());
    }
    return all;
}

bool same_place(const GlyphMatch& a, const GlyphMatch& b)
{
    return a.start_bit == b.start_bit && a.stride_bytes == b.stride_bytes && a.lsb == b.lsb &&
           a.inverted == b.inverted;
}

TEST(GlyphSearch, FindsPlantedFontGlyphsAndNothingThatIsNotThere)
{
    std::vector<GlyphPattern> glyphs = psf1_glyphs("/usr/share/consolefonts/Lat15-Fixed16.psf.gz");
    if (glyphs.empty()) GTEST_SKIP() << "no console font to take glyphs from";
    // Glyphs with enough ink to stand out of random bytes.
    std::erase_if(glyphs, [](const GlyphPattern& g) { return std::count(g.pixels.begin(), g.pixels.end(), 1) < 16; });
    ASSERT_GE(glyphs.size(), 20u);
    std::mt19937 random(test_seed());
    const int32_t strides[] = {1, 2, 5, 16, 80};

    // With max_errors K, each planted glyph has up to K pixels flipped.
    for (const int32_t k : {0, 3}) {
        struct Plant {
            GlyphMatch at;
            size_t glyph;
        };
        std::vector<Plant> plants;
        const int64_t slot = 16 * 80 + 16;
        for (int32_t a = 0; a < 8; ++a)
            for (const bool lsb : {false, true})
                for (const bool inverted : {false, true})
                    for (const int32_t stride : strides) {
                        const int64_t room = slot - 15 * stride - 2;
                        const int64_t byte = static_cast<int64_t>(plants.size()) * slot + random() % room;
                        plants.push_back({{byte * 8 + a, stride, lsb, inverted, 0}, random() % glyphs.size()});
                    }
        std::vector<uint8_t> data(plants.size() * slot);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        for (Plant& p : plants) {
            GlyphPattern flipped = glyphs[p.glyph];
            std::vector<size_t> order(flipped.pixels.size());
            for (size_t i = 0; i < order.size(); ++i) order[i] = i;
            std::shuffle(order.begin(), order.end(), random);
            p.at.errors = k ? static_cast<int32_t>(random() % (k + 1)) : 0;
            for (int32_t i = 0; i < p.at.errors; ++i) flipped.pixels[order[i]] ^= 1;
            plant_glyph(flipped, data.data(), p.at.start_bit, p.at.stride_bytes, p.at.lsb, p.at.inverted);
        }

        int64_t found = 0, reported = 0, false_matches = 0;
        for (const Plant& p : plants) {
            // Without errors every stride from 1 to 80 is tried; with them
            // (a weaker filter, far slower under the sanitizers) the stride
            // is given.
            const GlyphSearch search(glyphs[p.glyph], k ? p.at.stride_bytes : 0, k);
            std::string why;
            ASSERT_TRUE(search.valid(why)) << why;
            const int64_t first = p.at.start_bit / 8 / slot * slot;
            const std::vector<uint8_t> part(data.begin() + first, data.begin() + first + slot);
            const std::vector<GlyphMatch> matches = search_in_blocks(search, part, 97);
            const GlyphMatch planted{p.at.start_bit - first * 8, p.at.stride_bytes, p.at.lsb, p.at.inverted,
                                     p.at.errors};
            found += std::count(matches.begin(), matches.end(), planted);
            EXPECT_EQ(std::count_if(matches.begin(), matches.end(),
                                    [&](const GlyphMatch& m) { return same_place(m, planted); }),
                      1)
                << "planted at " << p.at.start_bit << " stride " << p.at.stride_bytes << " lsb " << p.at.lsb
                << " inverted " << p.at.inverted << " with " << p.at.errors << " pixels flipped";
            EXPECT_TRUE(std::is_sorted(matches.begin(), matches.end(), glyph_match_before));
            for (const GlyphMatch& m : matches) {
                ++reported;
                const int64_t e = reference_glyph_errors(glyphs[p.glyph], part.data(), slot, m.start_bit,
                                                         m.stride_bytes, m.lsb, m.inverted);
                if (e != m.errors || e > k) ++false_matches;
            }
        }
        std::printf("max errors %d: %zu glyphs planted, %lld found, %lld matches reported, %lld false\n", k,
                    plants.size(), static_cast<long long>(found), static_cast<long long>(reported),
                    static_cast<long long>(false_matches));
        EXPECT_EQ(found, static_cast<int64_t>(plants.size()));
        EXPECT_EQ(false_matches, 0);
    }
}

// Small patterns in small data full of runs (so that they match often),
// against every place tried one by one: all matches, cut into blocks of any
// size, and the first n of them when only n are asked for.
TEST(GlyphSearch, ListsExactlyWhatBruteForceFinds)
{
    std::mt19937 random(test_seed());
    int64_t compared = 0;
    for (int round = 0; round < 90; ++round) {
        // Every other round taller, with more pixels that may differ: sets
        // of rows and of pieces of rows.
        const bool tall = round % 2 == 0;
        GlyphPattern pattern{static_cast<int32_t>(random() % 12 + 1), static_cast<int32_t>(random() % (tall ? 10 : 4) + 1), {}};
        for (int32_t i = 0; i < pattern.width * pattern.height; ++i) pattern.pixels.push_back(random() % 3 == 0);
        const int32_t pixels = pattern.width * pattern.height;
        const int32_t k = static_cast<int32_t>(random() % std::min(tall ? 5 : 3, (pixels + 1) / 2));
        const int32_t least = (pattern.width + 7) / 8;
        const int32_t stride = random() % 2 ? 0 : static_cast<int32_t>(least + random() % 6);
        std::vector<uint8_t> data(random() % 160 + 1);
        for (uint8_t& b : data) b = random() % 2 ? 0 : static_cast<uint8_t>(random());
        if (tall) {
            // Copies of the pattern with k pixels flipped, so that the sets
            // of a tall or wide pattern are what lets each through (often
            // one set alone).
            const int32_t apart = stride ? stride : least + static_cast<int32_t>(random() % 3);
            const int64_t reach = int64_t{pattern.height} * apart + 2;
            for (int copy = 0; copy < 8; ++copy) {
                GlyphPattern flipped = pattern;
                std::vector<size_t> order(flipped.pixels.size());
                for (size_t i = 0; i < order.size(); ++i) order[i] = i;
                std::shuffle(order.begin(), order.end(), random);
                for (int32_t i = 0; i < k; ++i) flipped.pixels[order[static_cast<size_t>(i)]] ^= 1;
                const int64_t start = static_cast<int64_t>(data.size()) * 8 + random() % 8;
                data.resize(data.size() + static_cast<size_t>(reach), 0);
                plant_glyph(flipped, data.data(), start, apart, random() % 2, random() % 2);
            }
        }
        const GlyphSearch search(pattern, stride, k);
        std::string why;
        ASSERT_TRUE(search.valid(why)) << why;
        const std::vector<GlyphMatch> expected =
            reference_glyph_matches(pattern, data.data(), static_cast<int64_t>(data.size()), stride, k);
        const int64_t block = random() % 40 + 1;
        EXPECT_EQ(search_in_blocks(search, data, block), expected)
            << "round " << round << ", " << pattern.width << " x " << pattern.height << ", stride " << stride
            << ", errors " << k << ", blocks of " << block;
        compared += static_cast<int64_t>(expected.size());

        for (const size_t n : {size_t{0}, size_t{1}, expected.size() / 2, expected.size()}) {
            std::vector<GlyphMatch> first;
            const bool more = search.search(data.data(), static_cast<int64_t>(data.size()), 0, 0,
                                            static_cast<int64_t>(data.size()), n, first);
            EXPECT_EQ(more, expected.size() > n) << "round " << round << ", limit " << n;
            EXPECT_EQ(first, std::vector<GlyphMatch>(expected.begin(), expected.begin() + std::min(n, expected.size())))
                << "round " << round << ", limit " << n;
        }
    }
    std::printf("%lld matches compared with the brute-force search\n", static_cast<long long>(compared));
}

// Every stride with pixels that may differ, on data long enough that most
// places have every stride's rows inside the block (the search then lists the
// strides its sets let through and compares rows a pair at a time): the
// letters A of 8 x 16 and e of 8 x 8 pixels (blank rows make every set one
// row and a blank piece) and a wider pattern, copies planted with up to K
// pixels flipped among zeros and bytes that repeat the glyph's rows.
TEST(GlyphSearch, EveryStrideWithPixelsThatDifferListsWhatBruteForceFinds)
{
    std::mt19937 random(test_seed());
    GlyphPattern tall, small, wide{12, 6, {}};
    std::string why;
    ASSERT_TRUE(parse_glyph_pattern("......../......../...##.../..####../.##..##./##....##/##....##/########/"
                                    "##....##/##....##/##....##/##....##/......../......../......../........",
                                    tall, why));
    ASSERT_TRUE(parse_glyph_pattern("......../......../.####.../##..##../######../##....../.####.../........",
                                    small, why));
    for (int32_t i = 0; i < 72; ++i) wide.pixels.push_back(random() % 3 == 0);
    const GlyphPattern cases[] = {tall, small, wide};
    for (const GlyphPattern& pattern : cases) {
        for (const int32_t k : {2, 4}) {
            std::vector<uint8_t> data(3000);
            for (size_t i = 0; i < data.size(); ++i) {
                const uint32_t kind = random() % 3;
                data[i] = kind == 0 ? 0 : kind == 1 ? static_cast<uint8_t>(random()) : data[i / 2];
            }
            // Narrow glyphs planted all over list places enough to check
            // them in several batches. The last copy lies one stride past
            // those tried: not a match.
            const int copies = pattern.width <= 8 ? 40 : 7;
            for (int copy = 0; copy < copies; ++copy) {
                GlyphPattern flipped = pattern;
                for (uint32_t i = random() % (k + 1); i > 0; --i) flipped.pixels[random() % flipped.pixels.size()] ^= 1;
                const int32_t stride = copy == copies - 1 ? GLYPH_TRIED_STRIDES + 1
                                                 : static_cast<int32_t>((pattern.width + 7) / 8 + random() % 40);
                const int64_t room = static_cast<int64_t>(data.size()) - int64_t{pattern.height} * stride - 2;
                plant_glyph(flipped, data.data(), static_cast<int64_t>(random() % room) * 8 + random() % 8, stride,
                            random() % 2, random() % 2);
            }
            const GlyphSearch search(pattern, 0, k);
            const std::vector<GlyphMatch> expected =
                reference_glyph_matches(pattern, data.data(), static_cast<int64_t>(data.size()), 0, k);
            EXPECT_GE(expected.size(), 3u);
            // The 32-byte loops where the processor has them, and the plain ones.
            for (const cpu_levels::Level level : {cpu_levels::best_level(), cpu_levels::Level::plain}) {
                cpu_levels::cap_processor_level(level);
                for (const int64_t block : {int64_t{3000}, int64_t{333}})
                    EXPECT_EQ(search_in_blocks(search, data, block), expected)
                        << pattern.width << " x " << pattern.height << ", errors " << k << ", blocks of " << block
                        << ", level " << static_cast<int>(level);
            }
            cpu_levels::cap_processor_level(cpu_levels::Level::avx512);
        }
    }
}

// With the stride given and no pixel allowed to differ, the filter runs 16
// or 32 places at a time and the scalar scan finishes each stretch: longer
// data in blocks of any size puts matches at every place of a vector, at the
// end of a stretch and just past it (the pattern is planted all over).
TEST(GlyphSearch, ScansInVectorsWithoutMissingAPlace)
{
    std::mt19937 random(test_seed() + 1);
    for (int round = 0; round < 24; ++round) {
        GlyphPattern pattern{static_cast<int32_t>(random() % 12 + 1), static_cast<int32_t>(random() % 3 + 1), {}};
        for (int32_t i = 0; i < pattern.width * pattern.height; ++i) pattern.pixels.push_back(random() % 3 == 0);
        const int32_t stride = static_cast<int32_t>((pattern.width + 7) / 8 + random() % 6);
        std::vector<uint8_t> data(random() % 400 + 300);
        for (uint8_t& b : data) b = static_cast<uint8_t>(random());
        // Planted every 1 to 64 bytes (later ones may spoil earlier ones).
        const int64_t span = int64_t{pattern.height - 1} * stride + (pattern.width + 7) / 8 + 1;
        for (int64_t at = static_cast<int64_t>(random() % 8); at + span <= static_cast<int64_t>(data.size());
             at += static_cast<int64_t>(random() % 64 + 1))
            plant_glyph(pattern, data.data(), at * 8 + random() % 8, stride, random() % 2, random() % 2);

        const GlyphSearch search(pattern, stride, 0);
        const std::vector<GlyphMatch> expected =
            reference_glyph_matches(pattern, data.data(), static_cast<int64_t>(data.size()), stride, 0);
        const int64_t block = random() % 160 + 1;
        EXPECT_EQ(search_in_blocks(search, data, block), expected)
            << "round " << round << ", " << pattern.width << " x " << pattern.height << ", stride " << stride
            << ", blocks of " << block;
    }
}

TEST(GlyphSearch, ReadsPatternsAndRefusesWhatCannotBeSearched)
{
    struct Case {
        const char* text;
        int32_t width, height;  // 0 x 0: refused
    };
    const Case cases[] = {
        {"#./.#", 2, 2},        {"#.\n.#\n", 2, 2},   {"#.\r\n.#\r\n", 2, 2}, {"#/", 1, 1},
        {"", 0, 0},             {"/", 0, 0},          {"#.//.#", 0, 0},       {"#./#", 0, 0},
        {"#x", 0, 0},           {"# .", 0, 0},        {"1.0", 0, 0},
    };
    for (const Case& c : cases) {
        GlyphPattern pattern;
        std::string why;
        EXPECT_EQ(parse_glyph_pattern(c.text, pattern, why), c.width > 0) << '"' << c.text << "\": " << why;
        EXPECT_EQ(pattern.width, c.width) << c.text;
        EXPECT_EQ(pattern.height, c.height) << c.text;
        if (c.width == 0) {
            EXPECT_FALSE(why.empty()) << c.text;
        }
    }
    GlyphPattern pattern;
    std::string why;
    ASSERT_TRUE(parse_glyph_pattern("#.#./.#.#", pattern, why));
    EXPECT_EQ(pattern.pixels, (std::vector<uint8_t>{1, 0, 1, 0, 0, 1, 0, 1}));
    EXPECT_TRUE(parse_glyph_pattern(std::string(56, '#'), pattern, why));
    EXPECT_FALSE(parse_glyph_pattern(std::string(57, '#'), pattern, why));

    // 8 pixels: at most 3 may differ; a row of 9 pixels needs a stride of 2.
    ASSERT_TRUE(parse_glyph_pattern("#.#./.#.#", pattern, why));
    EXPECT_TRUE(GlyphSearch(pattern, 0, 3).valid(why));
    EXPECT_FALSE(GlyphSearch(pattern, 0, 4).valid(why));
    ASSERT_TRUE(parse_glyph_pattern("#########/.........", pattern, why));
    EXPECT_FALSE(GlyphSearch(pattern, 1, 0).valid(why));
    EXPECT_TRUE(GlyphSearch(pattern, 2, 0).valid(why));
    EXPECT_FALSE(GlyphSearch(pattern, GLYPH_MAX_STRIDE + 1, 0).valid(why));
}

}  // namespace
