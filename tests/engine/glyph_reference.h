// glyph_reference.h: where a pattern occurs, worked out pixel by pixel from
// the definition in glyph_search.h (each pixel's stream bit read on its own,
// every start, stride, bit order and inversion tried), written apart from
// engine/glyph_search.cpp so that the two can be held against each other
// (tests and fuzz_glyph_search).
#pragma once

#include <cstdint>
#include <vector>

#include "engine/layout_reference.h"
#include "glyph_search.h"

// The pixels of `pattern` that differ from the bits at `start` with rows
// `stride_bytes` apart, or -1 if a pixel lies past the end of the data;
// counting stops past `enough`.
inline int64_t reference_glyph_errors(const GlyphPattern& pattern, const uint8_t* data, int64_t size, int64_t start,
                                      int64_t stride_bytes, bool lsb, bool inverted, int64_t enough = INT64_MAX)
{
    if (reference_stream_bit(data, size, lsb, start + (pattern.height - 1) * stride_bytes * 8 + pattern.width - 1) < 0)
        return -1;
    int64_t errors = 0;
    for (int64_t r = 0; r < pattern.height; ++r)
        for (int64_t x = 0; x < pattern.width; ++x) {
            const int bit = reference_stream_bit(data, size, lsb, start + r * stride_bytes * 8 + x);
            if (bit < 0) return -1;
            errors += (bit ^ (inverted ? 1 : 0)) != pattern.pixels[r * pattern.width + x];
            if (errors > enough) return errors;
        }
    return errors;
}

// The strides searched: the one given, or every one a row fits in up to 80
// (just the least for a single row, the same picture at every stride).
inline std::vector<int32_t> reference_glyph_strides(const GlyphPattern& pattern, int32_t stride_bytes)
{
    if (stride_bytes) return {stride_bytes};
    std::vector<int32_t> strides;
    for (int32_t s = (pattern.width + 7) / 8; s <= 80; ++s)
        if (pattern.height > 1 || strides.empty()) strides.push_back(s);
    return strides;
}

// Every match in the data, in file order.
inline std::vector<GlyphMatch> reference_glyph_matches(const GlyphPattern& pattern, const uint8_t* data, int64_t size,
                                                       int32_t stride_bytes, int32_t max_errors)
{
    std::vector<GlyphMatch> matches;
    for (int64_t start = 0; start < size * 8; ++start)
        for (const int32_t stride : reference_glyph_strides(pattern, stride_bytes))
            for (const bool lsb : {false, true})
                for (const bool inverted : {false, true}) {
                    const int64_t e = reference_glyph_errors(pattern, data, size, start, stride, lsb, inverted, max_errors);
                    if (e >= 0 && e <= max_errors)
                        matches.push_back({start, stride, lsb, inverted, static_cast<int32_t>(e)});
                }
    return matches;
}

// Sets the stream bits of `pattern` at `start` (complemented with `inverted`).
inline void plant_glyph(const GlyphPattern& pattern, uint8_t* data, int64_t start, int64_t stride_bytes, bool lsb,
                        bool inverted)
{
    for (int64_t r = 0; r < pattern.height; ++r)
        for (int64_t x = 0; x < pattern.width; ++x) {
            const int64_t p = start + r * stride_bytes * 8 + x;
            const int bit = lsb ? static_cast<int>(p % 8) : 7 - static_cast<int>(p % 8);
            const bool set = pattern.pixels[r * pattern.width + x] != inverted;
            data[p / 8] = static_cast<uint8_t>(set ? data[p / 8] | 1 << bit : data[p / 8] & ~(1 << bit));
        }
}
