// The search for a picture given by example (engine/glyph_search.h) in the
// corpus's five kinds of filler: whole console-font glyphs planted at every
// bit alignment, in both bit orders, inverted or not, must all be found,
// with their stride given and with every stride tried, the buffer searched
// in blocks as the command line cuts a file; every match reported must hold
// pixel for pixel (glyph_reference.h). Prints, per filler kind, the glyphs
// planted and found and the real matches nobody planted.
//   BITLOUPE_FIND_SEED  the seed (printed)
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "corpus.h"
#include "engine/glyph_reference.h"
#include "glyph_search.h"

namespace {

// One whole glyph of a random font: the corpus's "font" maker, asked for a
// single byte, draws one glyph in rows of whole bytes. Glyphs whose ink (or
// blank) is too little to rule out a match by chance, or whose rows are too
// alike (a run edge in 00/FF filler would match), are drawn again.
GlyphPattern font_glyph(const PictureMaker& font, Random& random)
{
    for (;;) {
        const Picture p = font(random, 1);
        GlyphPattern g{p.width_bits, static_cast<int32_t>(p.bytes.size() * 8 / static_cast<size_t>(p.width_bits)), {}};
        for (int32_t i = 0; i < g.width * g.height; ++i) g.pixels.push_back(p.bytes[i / 8] >> (7 - i % 8) & 1);
        std::set<std::vector<uint8_t>> rows;
        for (int32_t r = 0; r < g.height; ++r)
            rows.emplace(g.pixels.begin() + r * g.width, g.pixels.begin() + (r + 1) * g.width);
        const auto ink = std::count(g.pixels.begin(), g.pixels.end(), 1);
        if (ink >= 20 && static_cast<int64_t>(g.pixels.size()) - ink >= 20 && rows.size() >= 4) return g;
    }
}

TEST(FindOnCorpus, FindsEveryPlantedGlyphInEveryFillerAndOnlyRealMatches)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_TRUE(why.empty()) << why;
    ASSERT_EQ(sources.fillers.size(), 7u);
    const auto font = std::find_if(sources.pictures.begin(), sources.pictures.end(),
                                   [](const Named<PictureMaker>& m) { return m.name == "font"; });
    ASSERT_NE(font, sources.pictures.end());
    const char* given = std::getenv("BITLOUPE_FIND_SEED");
    const uint64_t seed = given && *given ? std::strtoull(given, nullptr, 0) : 20261208;
    std::printf("find on the corpus: seed %llu (BITLOUPE_FIND_SEED repeats it)\n", static_cast<unsigned long long>(seed));

    const int64_t size = int64_t{2} << 20, slot = size / 32;  // a slot for each of the 32 ways to plant
    for (size_t kind = 0; kind < sources.fillers.size(); ++kind) {
        Random random(seed + kind);
        int64_t planted = 0, found = 0, unplanted = 0, wrong = 0;
        std::string sizes;  // the glyphs' width x height, run by run
        const auto began = std::chrono::steady_clock::now();
        // Twice every stride tried (the glyphs planted at four of them), then a
        // small and a large stride given.
        for (const int32_t run : {0, 0, 1, 2}) {
            const GlyphPattern glyph = font_glyph(font->make, random);
            const int32_t least = (glyph.width + 7) / 8;
            sizes += (sizes.empty() ? "" : " ") + std::to_string(glyph.width) + "x" + std::to_string(glyph.height);
            const int32_t tried[] = {least, least + 1, 13, GLYPH_TRIED_STRIDES};
            const int32_t stride = run == 0 ? 0
                                 : run == 1 ? least + static_cast<int32_t>(random() % 40)
                                            : 200 + static_cast<int32_t>(random() % 1200);
            std::vector<uint8_t> data(static_cast<size_t>(size));
            sources.fillers[kind].make(random, data.data(), size);

            // The blocks are cut at each glyph's first byte, just after it
            // or one byte later, so that every glyph lies across two blocks.
            std::vector<GlyphMatch> plants;
            std::vector<int64_t> cuts;
            for (int32_t a = 0; a < 8; ++a)
                for (const bool lsb : {false, true})
                    for (const bool inverted : {false, true}) {
                        const int32_t s = stride ? stride : tried[plants.size() % 4];
                        const int64_t span = int64_t{glyph.height - 1} * s + least + 1;
                        const int64_t byte = static_cast<int64_t>(plants.size()) * slot +
                                             static_cast<int64_t>(random() % static_cast<uint64_t>(slot - span));
                        cuts.push_back(byte + static_cast<int64_t>(plants.size() % 3));
                        plants.push_back({byte * 8 + a, s, lsb, inverted, 0});
                        plant_glyph(glyph, data.data(), byte * 8 + a, s, lsb, inverted);
                    }
            cuts.push_back(size);

            const GlyphSearch search(glyph, stride, 0);
            ASSERT_TRUE(search.valid(why)) << why;
            std::vector<GlyphMatch> matches, block;
            for (int64_t first = 0; const int64_t end : cuts) {
                const int64_t stop = std::min(end + search.reach(), size);
                const std::vector<uint8_t> bytes(data.begin() + first, data.begin() + stop);  // exactly what is read
                EXPECT_FALSE(search.search(bytes.data(), stop - first, first, first, end, SIZE_MAX, block));
                matches.insert(matches.end(), block.begin(), block.end());
                first = end;
            }
            EXPECT_TRUE(std::adjacent_find(matches.begin(), matches.end(), [](const GlyphMatch& a, const GlyphMatch& b) {
                            return !glyph_match_before(a, b);
                        }) == matches.end())
                << "the matches are not in file order, or one is listed twice";

            for (const GlyphMatch& m : matches) {
                const bool searched = stride ? m.stride_bytes == stride : m.stride_bytes >= least && m.stride_bytes <= 80;
                if (searched && m.errors == 0 &&
                    reference_glyph_errors(glyph, data.data(), size, m.start_bit, m.stride_bytes, m.lsb, m.inverted) == 0) {
                    unplanted += std::find(plants.begin(), plants.end(), m) == plants.end();
                } else if (++wrong <= 5) {
                    ADD_FAILURE() << sources.fillers[kind].name << ": no such picture at " << m.start_bit << " stride "
                                  << m.stride_bytes << " lsb " << m.lsb << " inverted " << m.inverted;
                }
            }
            for (const GlyphMatch& p : plants) {
                ++planted;
                if (std::count(matches.begin(), matches.end(), p) == 1)
                    ++found;
                else
                    ADD_FAILURE() << sources.fillers[kind].name << ": " << glyph.width << " x " << glyph.height
                                  << " glyph not found at " << p.start_bit << " stride " << p.stride_bytes << " lsb "
                                  << p.lsb << " inverted " << p.inverted << " (search stride " << stride << ")";
            }
        }
        const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - began).count();
        std::printf("  %-14s %3lld planted, %3lld found, %lld real matches not planted, %lld not real; glyphs %s (%.1f s)\n",
                    sources.fillers[kind].name.c_str(), static_cast<long long>(planted), static_cast<long long>(found),
                    static_cast<long long>(unplanted), static_cast<long long>(wrong), sizes.c_str(), seconds);
        EXPECT_EQ(found, planted) << sources.fillers[kind].name;
        EXPECT_EQ(wrong, 0) << sources.fillers[kind].name;
    }
}

}  // namespace
