// fuzz_glyph_search.cpp: the search for a picture given by example against
// the brute-force reference (tests/engine/glyph_reference.h). The first bytes
// choose a small pattern, its stride (one, or every one), the pixels that may
// differ, a block size and a limit; the rest is the data. The search, run in
// blocks as the command line runs it (each copied into a buffer of exactly
// its size), must list exactly the reference's matches, and with a limit
// exactly the first of them. Any difference aborts.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/glyph_reference.h"
#include "glyph_search.h"

namespace {
constexpr size_t HEADER = 6;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size)
{
    if (size < HEADER) return 0;
    GlyphPattern pattern{input[0] % 16 + 1, input[1] % 4 + 1, {}};
    const size_t pixels = static_cast<size_t>(pattern.width * pattern.height);
    if (size < HEADER + (pixels + 7) / 8) return 0;
    for (size_t i = 0; i < pixels; ++i) pattern.pixels.push_back(input[HEADER + i / 8] >> (i % 8) & 1);
    const int32_t least = (pattern.width + 7) / 8;
    const int32_t stride = input[2] & 0x80 ? 0 : least + input[2] % 8;
    const int32_t max_errors = static_cast<int32_t>(input[3] % 3) % static_cast<int32_t>((pixels + 1) / 2);
    const int64_t block = input[4] % 64 + 1;
    const size_t limit = input[5] % 8;
    const uint8_t* data = input + HEADER + (pixels + 7) / 8;
    const int64_t length = static_cast<int64_t>(size - HEADER - (pixels + 7) / 8);
    if (length > 160) return 0;  // the reference tries every place: keep it quick

    const GlyphSearch search(pattern, stride, max_errors);
    std::string why;
    if (!search.valid(why)) std::abort();
    const std::vector<GlyphMatch> expected = reference_glyph_matches(pattern, data, length, stride, max_errors);

    std::vector<GlyphMatch> all, found;
    for (int64_t first = 0; first < length; first += block) {
        const int64_t end = std::min(first + block, length), stop = std::min(end + search.reach(), length);
        uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(stop - first)));
        std::memcpy(bytes, data + first, static_cast<size_t>(stop - first));
        if (search.search(bytes, stop - first, first, first, end, SIZE_MAX, found)) std::abort();
        std::free(bytes);
        all.insert(all.end(), found.begin(), found.end());
    }
    if (all != expected) std::abort();

    if (length > 0) {
        uint8_t* bytes = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(length)));
        std::memcpy(bytes, data, static_cast<size_t>(length));
        const bool more = search.search(bytes, length, 0, 0, length, limit, found);
        std::free(bytes);
        if (more != (expected.size() > limit)) std::abort();
        if (!std::equal(found.begin(), found.end(), expected.begin(), expected.begin() + std::min(limit, expected.size())) ||
            found.size() != std::min(limit, expected.size()))
            std::abort();
    }
    return 0;
}
