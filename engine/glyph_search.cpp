// glyph_search.cpp: the table filter and the pixel-by-pixel check.
//
// Rows of a match lie a whole number of bytes apart, so every row of a match
// has the same bit alignment as its first: a row is the top W bits of the
// 64-bit big-endian word at its byte, shifted left by the alignment (W + 7 <=
// 64). Least significant bit first is the same stream over mirrored bytes.
#include "glyph_search.h"

#include "cpu_levels.h"

#include <algorithm>
#include <bit>
#include <cstring>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

uint64_t mirror_bytes(uint64_t v)
{
    v = (v >> 1 & 0x5555555555555555ULL) | (v & 0x5555555555555555ULL) << 1;
    v = (v >> 2 & 0x3333333333333333ULL) | (v & 0x3333333333333333ULL) << 2;
    return (v >> 4 & 0x0F0F0F0F0F0F0F0FULL) | (v & 0x0F0F0F0F0F0F0F0FULL) << 4;
}

// The eight bytes from `at` as a big-endian word, zeros past `count`.
inline uint64_t word_at(const uint8_t* bytes, int64_t count, int64_t at)
{
    uint64_t v = 0;
    if (at + 8 <= count) [[likely]] {
        std::memcpy(&v, bytes + at, 8);
        return std::endian::native == std::endian::little ? __builtin_bswap64(v) : v;
    }
    for (int64_t k = 0; k < 8; ++k) v = v << 8 | (at + k < count ? bytes[at + k] : 0);
    return v;
}

int32_t row_bytes_needed(int32_t width) { return (width + 7) / 8; }

// The bytes whose second-piece combinations are made at a time.
constexpr int64_t SECONDS_STRETCH = 32 * 1024;

// Each byte with its bits in the other order, and the bits set in each
// (the programs are built for processors without a population count).
struct ByteTables {
    uint8_t mirrored[256];
    uint8_t ones[256];
    constexpr ByteTables() : mirrored(), ones()
    {
        for (int v = 0; v < 256; ++v) {
            int m = 0;
            for (int k = 0; k < 8; ++k) m |= (v >> k & 1) << (7 - k);
            mirrored[v] = static_cast<uint8_t>(m);
            ones[v] = static_cast<uint8_t>(std::popcount(static_cast<unsigned>(v)));
        }
    }
};
constexpr ByteTables BYTE_TABLES;

// The vector scan: the first place from `b` on, in whole vectors before
// `stop`, whose filter lets a combination through, or the place where the
// vectors end (the caller finishes with the scalar scan). A filter table
// over a byte is the AND of a table over its low nibble and one over its
// high nibble, each a byte shuffle of 16 entries. The combinations go in
// 4 groups of 8, one bit order and half the alignments each (nibble_group_bit):
// then a group's pixels never touch one of the four nibbles of a row's two
// bytes, and a row takes 3 shuffles a group, not 4 (USED_HALVES; the halves
// are b's low and high nibble, then b + 1's). Every byte read, up to
// b + apart + 1 for the last place before `stop`, is one the scalar scan
// reads too.
constexpr int USED_HALVES[4][3] = {{0, 1, 3}, {0, 2, 3}, {0, 1, 2}, {1, 2, 3}};

// The table bit (lsb * 16 + inverted * 8 + alignment) of bit j of group g:
// most significant bit first with alignments 0-3 (whose pixels leave b + 1's
// low nibble alone) and 4-7 (b's high nibble), then least significant bit
// first with 0-3 (b + 1's high nibble) and 4-7 (b's low nibble).
int nibble_group_bit(int g, int j) { return (g >> 1) * 16 + (j >> 2) * 8 + (g & 1) * 4 + (j & 3); }

using VectorScan = int64_t (*)(const uint8_t* nibbles, const uint8_t* bytes, int64_t b, int64_t stop, int64_t apart);

#if defined(__x86_64__) || defined(__i386__)

template <bool TWO>
__attribute__((target("ssse3"))) int64_t scan_ssse3(const uint8_t* nibbles, const uint8_t* bytes, int64_t b,
                                                    int64_t stop, int64_t apart)
{
    constexpr int HALVES = TWO ? 8 : 4;
    __m128i t[4][HALVES];
    for (int g = 0; g < 4; ++g)
        for (int h = 0; h < HALVES; ++h)
            t[g][h] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(nibbles + (g * 8 + h) * 16));
    const __m128i low = _mm_set1_epi8(0x0F), zero = _mm_setzero_si128();
    for (; b + 16 <= stop; b += 16) {
        __m128i n[HALVES];
        for (int i = 0; i < HALVES / 2; ++i) {
            const int64_t at = b + (i >> 1) * apart + (i & 1);
            const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(bytes + at));
            n[2 * i] = _mm_and_si128(v, low);
            n[2 * i + 1] = _mm_and_si128(_mm_srli_epi16(v, 4), low);
        }
        __m128i any = zero;
        for (int g = 0; g < 4; ++g) {
            const int* used = USED_HALVES[g];
            __m128i r = _mm_and_si128(_mm_shuffle_epi8(t[g][used[0]], n[used[0]]),
                                        _mm_shuffle_epi8(t[g][used[1]], n[used[1]]));
            r = _mm_and_si128(r, _mm_shuffle_epi8(t[g][used[2]], n[used[2]]));
            if (TWO)
                for (int h = 0; h < 3; ++h)
                    r = _mm_and_si128(r, _mm_shuffle_epi8(t[g][4 + used[h]], n[4 + used[h]]));
            any = _mm_or_si128(any, r);
        }
        const uint32_t through = ~static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(any, zero))) & 0xFFFF;
        if (through) return b + std::countr_zero(through);
    }
    return b;
}

// Windows x64 keeps its stack aligned to 16 bytes only, where GCC may spill
// 32-byte vectors with aligned moves: the Windows build assembles aligned
// moves as unaligned ones (see CMakeLists.txt); a build without that leaves
// the 32-byte loops out.
#if !defined(_WIN32) || defined(BITLOUPE_UNALIGNED_VECTOR_MOVES)
#define GLYPH_SCAN_AVX2 1
template <bool TWO>
__attribute__((target("avx2"))) int64_t scan_avx2(const uint8_t* nibbles, const uint8_t* bytes, int64_t b,
                                                  int64_t stop, int64_t apart)
{
    constexpr int HALVES = TWO ? 8 : 4;
    __m256i t[4][HALVES];
    for (int g = 0; g < 4; ++g)
        for (int h = 0; h < HALVES; ++h)
            t[g][h] = _mm256_broadcastsi128_si256(
                _mm_loadu_si128(reinterpret_cast<const __m128i*>(nibbles + (g * 8 + h) * 16)));
    const __m256i low = _mm256_set1_epi8(0x0F), zero = _mm256_setzero_si256();
    for (; b + 32 <= stop; b += 32) {
        __m256i n[HALVES];
        for (int i = 0; i < HALVES / 2; ++i) {
            const int64_t at = b + (i >> 1) * apart + (i & 1);
            const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(bytes + at));
            n[2 * i] = _mm256_and_si256(v, low);
            n[2 * i + 1] = _mm256_and_si256(_mm256_srli_epi16(v, 4), low);
        }
        __m256i any = zero;
        for (int g = 0; g < 4; ++g) {
            const int* used = USED_HALVES[g];
            __m256i r = _mm256_and_si256(_mm256_shuffle_epi8(t[g][used[0]], n[used[0]]),
                                        _mm256_shuffle_epi8(t[g][used[1]], n[used[1]]));
            r = _mm256_and_si256(r, _mm256_shuffle_epi8(t[g][used[2]], n[used[2]]));
            if (TWO)
                for (int h = 0; h < 3; ++h)
                    r = _mm256_and_si256(r, _mm256_shuffle_epi8(t[g][4 + used[h]], n[4 + used[h]]));
            any = _mm256_or_si256(any, r);
        }
        const uint32_t through = ~static_cast<uint32_t>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(any, zero)));
        if (through) return b + std::countr_zero(through);
    }
    return b;
}
#endif

#endif

// The strides s0 + dir * j (j < n) whose entry (entries[j]) shares a
// combination with `candidates`, in that order, and the combinations they
// share: into strides[] and passes[], which have room for n + 8; returns how
// many. entries[] may be read up to n + 7.
using StrideListing = size_t (*)(const uint32_t* entries, int64_t n, uint32_t candidates, int32_t s0, int32_t dir,
                                 uint32_t* strides, uint32_t* passes);

size_t list_strides(const uint32_t* entries, int64_t n, uint32_t candidates, int32_t s0, int32_t dir,
                    uint32_t* strides, uint32_t* passes)
{
    size_t listed = 0;
    for (int64_t j = 0; j < n; ++j) {
        const uint32_t pass = candidates & entries[j];
        strides[listed] = static_cast<uint32_t>(s0 + dir * j);
        passes[listed] = pass;
        listed += pass != 0;
    }
    return listed;
}

#ifdef GLYPH_SCAN_AVX2
// For each set of 8 lanes, the lanes set, lowest first (the rest 0).
struct LaneOrders {
    uint8_t lanes[256][8];
    constexpr LaneOrders() : lanes()
    {
        for (int m = 0; m < 256; ++m)
            for (int j = 0, k = 0; j < 8; ++j)
                if (m >> j & 1) lanes[m][k++] = static_cast<uint8_t>(j);
    }
};
constexpr LaneOrders LANE_ORDERS;

__attribute__((target("avx2,popcnt"))) size_t list_strides_avx2(const uint32_t* entries, int64_t n,
                                                                 uint32_t candidates, int32_t s0, int32_t dir,
                                                                 uint32_t* strides, uint32_t* passes)
{
    const __m256i wanted = _mm256_set1_epi32(static_cast<int32_t>(candidates)), zero = _mm256_setzero_si256();
    __m256i stride = _mm256_add_epi32(_mm256_set1_epi32(s0),
                                      _mm256_mullo_epi32(_mm256_set1_epi32(dir), _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7)));
    const __m256i next = _mm256_set1_epi32(8 * dir);
    size_t listed = 0;
    for (int64_t j = 0; j < n; j += 8) {
        const __m256i pass =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(entries + j)), wanted);
        uint32_t keep = ~static_cast<uint32_t>(_mm256_movemask_ps(_mm256_castsi256_ps(_mm256_cmpeq_epi32(pass, zero)))) & 0xFF;
        if (n - j < 8) keep &= (1u << (n - j)) - 1;
        const __m256i order =
            _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(LANE_ORDERS.lanes[keep])));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(passes + listed), _mm256_permutevar8x32_epi32(pass, order));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(strides + listed), _mm256_permutevar8x32_epi32(stride, order));
        listed += static_cast<size_t>(__builtin_popcount(keep));
        stride = _mm256_add_epi32(stride, next);
    }
    return listed;
}
#endif

// Of the places listed (firsts[], strides[], passes[], errors[], `listed`:
// the byte of the first piece's row, the stride, the combinations and the
// pixels found wrong so far) of a glyph of rows of at most 8 pixels in
// `bytes`, copies in order into out[] (room for listed + 8 each) those whose
// lowest combination the two rows apart[0] and apart[1] strides from the
// first put at most `most` pixels wrong, with that combination and those
// pixels; returns how many. The places' other combinations go back into
// places[] (from the start, in order, their pixels as they came) for
// another round, their number into `rest`. Row r's two bytes read as a
// little-endian number hold it from bit a up (least significant bit first)
// or, swapped, from bit 8 - a (most significant first); `want` is each
// row's pixels by the combination's bit order and inversion (which / 8),
// `masks` the pixels of a row in either bit order. The two bytes after each
// row's are read.
struct Listed {
    uint32_t* firsts;
    uint32_t* strides;
    uint32_t* passes;
    uint32_t* errors;
};
using NarrowPairs = size_t (*)(const uint8_t* bytes, const int32_t* apart, Listed places, size_t listed,
                               const uint8_t (*want)[4], const uint32_t* masks, int32_t most, Listed out,
                               size_t& rest);

size_t narrow_pairs(const uint8_t* bytes, const int32_t* apart, Listed places, size_t listed,
                    const uint8_t (*want)[4], const uint32_t* masks, int32_t most, Listed out, size_t& rest)
{
    size_t kept = 0, others = 0;
    for (size_t i = 0; i < listed; ++i) {
        const uint32_t first = places.firsts[i], stride = places.strides[i], pass = places.passes[i];
        const uint32_t low = pass & (0u - pass), before = places.errors[i];
        const uint8_t* at = bytes + first;
        const uint32_t which = static_cast<uint32_t>(std::countr_zero(pass));
        const uint32_t a = which & 7, lsb = which >> 4, order = 0u - lsb;
        uint32_t errors = before;
        for (int row = 0; row < 2; ++row) {
            const uint8_t* q = at + int64_t{apart[row]} * stride;
            const uint32_t little = uint32_t{q[1]} << 8 | q[0], big = uint32_t{q[0]} << 8 | q[1];
            const uint32_t got = ((little >> a) & order) | ((big << a >> 8) & ~order);
            errors += BYTE_TABLES.ones[(got ^ want[row][which >> 3]) & masks[lsb] & 0xFF];
        }
        out.firsts[kept] = first;
        out.strides[kept] = stride;
        out.passes[kept] = low;
        out.errors[kept] = errors;
        kept += static_cast<size_t>(errors <= static_cast<uint32_t>(most));
        places.firsts[others] = first;
        places.strides[others] = stride;
        places.passes[others] = pass ^ low;
        places.errors[others] = before;
        others += static_cast<size_t>(pass != low);
    }
    rest = others;
    return kept;
}

#ifdef GLYPH_SCAN_AVX2
// The lanes of the places picked (`picked`, a bit a lane) stored from
// place `at` of `to` on, in order; returns how many.
__attribute__((target("avx2,popcnt"), always_inline)) inline size_t store_places(Listed to, size_t at, uint32_t picked,
                                                                               __m256i first, __m256i stride,
                                                                               __m256i pass, __m256i errors)
{
    const __m256i order =
        _mm256_cvtepu8_epi32(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(LANE_ORDERS.lanes[picked])));
    uint32_t* const into[4] = {to.firsts, to.strides, to.passes, to.errors};
    const __m256i values[4] = {first, stride, pass, errors};
    for (int k = 0; k < 4; ++k)
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(into[k] + at), _mm256_permutevar8x32_epi32(values[k], order));
    return static_cast<size_t>(__builtin_popcount(picked));
}

// The kept places go to other arrays than the listed ones: a load of
// listed places just stored over would wait on the store (the other
// combinations, rarer, go back over the listed ones).
__attribute__((target("avx2,popcnt"))) size_t narrow_pairs_avx2(const uint8_t* bytes, const int32_t* apart,
                                                                Listed places, size_t listed,
                                                                const uint8_t (*want)[4], const uint32_t* masks,
                                                                int32_t most, Listed out, size_t& rest)
{
    const __m256i zero = _mm256_setzero_si256(), byte = _mm256_set1_epi32(0xFF), seven = _mm256_set1_epi32(7);
    const __m256i lanes = _mm256_setr_epi32(0, 1, 2, 3, 4, 5, 6, 7);
    const __m256i mask0 = _mm256_set1_epi32(static_cast<int32_t>(masks[0]));
    const __m256i mask1 = _mm256_set1_epi32(static_cast<int32_t>(masks[1]));
    const __m256i allowed = _mm256_set1_epi32(most);
    const __m256i ones = _mm256_setr_epi8(0, 1, 1, 2, 1, 2, 2, 3, 1, 2, 2, 3, 2, 3, 3, 4, 0, 1, 1, 2, 1, 2, 2, 3, 1, 2,
                                          2, 3, 2, 3, 3, 4);
    const __m256i nibble = _mm256_set1_epi8(0x0F);
    __m256i wanted[2], step[2];
    for (int row = 0; row < 2; ++row) {
        wanted[row] = _mm256_setr_epi32(want[row][0], want[row][1], want[row][2], want[row][3], 0, 0, 0, 0);
        step[row] = _mm256_set1_epi32(apart[row]);
    }
    size_t kept = 0, others = 0;
    for (size_t i = 0; i < listed; i += 8) {
        const __m256i active = _mm256_cmpgt_epi32(_mm256_set1_epi32(static_cast<int32_t>(listed - i)), lanes);
        const __m256i stride =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(places.strides + i)), active);
        const __m256i first =
            _mm256_and_si256(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(places.firsts + i)), active);
        const __m256i pass = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(places.passes + i));
        const __m256i before = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(places.errors + i));
        // The lowest combination: the exponent of its bit as a float.
        const __m256i low = _mm256_and_si256(pass, _mm256_sub_epi32(zero, pass));
        const __m256i which = _mm256_sub_epi32(
            _mm256_and_si256(_mm256_srli_epi32(_mm256_castps_si256(_mm256_cvtepi32_ps(low)), 23), byte),
            _mm256_set1_epi32(127));
        const __m256i a = _mm256_and_si256(which, seven);
        const __m256i lsb = _mm256_cmpgt_epi32(which, _mm256_set1_epi32(15));
        const __m256i form = _mm256_srli_epi32(which, 3);
        const __m256i mask = _mm256_blendv_epi8(mask0, mask1, lsb);
        __m256i errors = before;
        for (int row = 0; row < 2; ++row) {
            const __m256i pair = _mm256_i32gather_epi32(
                reinterpret_cast<const int*>(bytes), _mm256_add_epi32(first, _mm256_mullo_epi32(stride, step[row])), 1);
            const __m256i little = _mm256_and_si256(pair, _mm256_set1_epi32(0xFFFF));
            const __m256i big = _mm256_or_si256(_mm256_slli_epi32(_mm256_and_si256(pair, byte), 8),
                                                _mm256_and_si256(_mm256_srli_epi32(pair, 8), byte));
            const __m256i got = _mm256_blendv_epi8(_mm256_srli_epi32(_mm256_sllv_epi32(big, a), 8),
                                                   _mm256_srlv_epi32(little, a), lsb);
            const __m256i wrong = _mm256_and_si256(
                _mm256_and_si256(_mm256_xor_si256(got, _mm256_permutevar8x32_epi32(wanted[row], form)), mask), byte);
            const __m256i count = _mm256_add_epi8(_mm256_shuffle_epi8(ones, _mm256_and_si256(wrong, nibble)),
                                                  _mm256_shuffle_epi8(ones, _mm256_srli_epi32(wrong, 4)));
            errors = _mm256_add_epi32(errors, count);
        }
        const uint32_t keep = static_cast<uint32_t>(
            _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(_mm256_cmpgt_epi32(errors, allowed), active))));
        kept += store_places(out, kept, keep, first, stride, low, errors);
        const __m256i higher = _mm256_xor_si256(pass, low);
        const uint32_t again = static_cast<uint32_t>(
            _mm256_movemask_ps(_mm256_castsi256_ps(_mm256_andnot_si256(_mm256_cmpeq_epi32(higher, zero), active))));
        if (again) others += store_places(places, others, again, first, stride, higher, before);
    }
    rest = others;
    return kept;
}
#endif

// The listing and the check of the processor level the loops run at (the
// 32-byte ones where they are built, as above).
struct PlaceLoops {
    StrideListing listing = list_strides;
    NarrowPairs pairs = narrow_pairs;
};

PlaceLoops place_loops()
{
#ifdef GLYPH_SCAN_AVX2
    if (cpu_levels::processor_level() >= cpu_levels::Level::avx2) return {list_strides_avx2, narrow_pairs_avx2};
#endif
    return {};
}

// The widest scan this processor runs, for two rows or one; none without
// SSSE3 (or off x86): the scalar scan does all.
struct VectorScans {
    VectorScan two = nullptr, one = nullptr;
};

VectorScans pick_vector_scans()
{
    VectorScans scans;
#if defined(__x86_64__) || defined(__i386__)
    __builtin_cpu_init();
#ifdef GLYPH_SCAN_AVX2
    if (__builtin_cpu_supports("avx2")) return {scan_avx2<true>, scan_avx2<false>};
#endif
    if (__builtin_cpu_supports("ssse3")) return {scan_ssse3<true>, scan_ssse3<false>};
#endif
    return scans;
}

const VectorScans& vector_scans()
{
    static const VectorScans scans = pick_vector_scans();
    return scans;
}

}  // namespace

bool parse_glyph_pattern(const std::string& text, GlyphPattern& pattern, std::string& why)
{
    pattern = GlyphPattern{};
    std::vector<std::string> rows(1);
    for (const char c : text) {
        if (c == '/' || c == '\n')
            rows.emplace_back();
        else if (c != '\r')
            rows.back() += c;
    }
    if (rows.size() > 1 && rows.back().empty()) rows.pop_back();
    if (rows.size() == 1 && rows[0].empty()) {
        why = "the pattern is empty";
        return false;
    }
    if (rows.size() > static_cast<size_t>(GLYPH_MAX_HEIGHT)) {
        why = std::to_string(rows.size()) + " rows, at most " + std::to_string(GLYPH_MAX_HEIGHT) + " allowed";
        return false;
    }
    for (size_t r = 0; r < rows.size(); ++r) {
        const std::string& row = rows[r];
        const std::string which = "row " + std::to_string(r + 1);
        if (row.empty()) {
            why = which + " is empty";
            return false;
        }
        if (row.size() != rows[0].size()) {
            why = which + " is " + std::to_string(row.size()) + " pixels long, row 1 " +
                  std::to_string(rows[0].size()) + ": all rows must be the same length";
            return false;
        }
        if (row.size() > static_cast<size_t>(GLYPH_MAX_WIDTH)) {
            why = "rows of " + std::to_string(row.size()) + " pixels, at most " +
                  std::to_string(GLYPH_MAX_WIDTH) + " allowed";
            return false;
        }
        for (const char c : row) {
            if (c != '#' && c != '.') {
                why = which + " holds '" + std::string(1, c) + "': only '#' (set) and '.' (unset) draw a pattern";
                return false;
            }
            pattern.pixels.push_back(c == '#');
        }
    }
    pattern.width = static_cast<int32_t>(rows[0].size());
    pattern.height = static_cast<int32_t>(rows.size());
    return true;
}

bool glyph_match_before(const GlyphMatch& a, const GlyphMatch& b)
{
    if (a.start_bit != b.start_bit) return a.start_bit < b.start_bit;
    if (a.stride_bytes != b.stride_bytes) return a.stride_bytes < b.stride_bytes;
    if (a.lsb != b.lsb) return !a.lsb;
    return !a.inverted && b.inverted;
}

GlyphSearch::GlyphSearch(const GlyphPattern& pattern, int32_t stride_bytes, int32_t max_errors)
    : width_(pattern.width), height_(pattern.height), max_errors_(max_errors)
{
    const bool shape = width_ >= 1 && width_ <= GLYPH_MAX_WIDTH && height_ >= 1 && height_ <= GLYPH_MAX_HEIGHT &&
                       pattern.pixels.size() == static_cast<size_t>(width_) * static_cast<size_t>(height_);
    if (!shape) return;
    const int32_t least = row_bytes_needed(width_);
    if (stride_bytes == 0) {
        // A single row is the same picture at every stride: one is tried.
        const int32_t last = height_ == 1 ? least : GLYPH_TRIED_STRIDES;
        for (int32_t s = least; s <= last; ++s) strides_.push_back(s);
    } else if (stride_bytes >= least && stride_bytes <= GLYPH_MAX_STRIDE) {
        strides_.push_back(stride_bytes);
    }
    if (strides_.empty() || max_errors_ < 0 || 2 * int64_t{max_errors_} >= int64_t{width_} * height_) return;

    row_mask_ = ~uint64_t{0} << (64 - width_);
    for (int32_t r = 0; r < height_; ++r) {
        uint64_t row = 0;
        for (int32_t x = 0; x < width_; ++x)
            if (pattern.pixels[static_cast<size_t>(r) * width_ + x]) row |= uint64_t{1} << (63 - x);
        rows_.push_back(row);
    }

    compare_order_.resize(static_cast<size_t>(height_));
    for (int32_t r = 0; r < height_; ++r) compare_order_[static_cast<size_t>(r)] = r;
    std::stable_sort(compare_order_.begin(), compare_order_.end(), [&](int32_t x, int32_t y) {
        return piece_score(Piece{x, 0, std::min(width_, 8)}) > piece_score(Piece{y, 0, std::min(width_, 8)});
    });

    // Sets of pixels, each searched exactly, where pixels may differ: the
    // search then costs about max_errors + 1 exact ones, where one filter
    // that lets the differences through would let nearly every place
    // through (a place with at most that many pixels wrong has a set with
    // none). Each set begins with one of the rows that tell places apart
    // best, so that blank rows (which would let every run of zeros through)
    // are no set's first; the other pieces of rows go each to the set with
    // the fewest pixels, halved first where there would not be one for
    // every set (so that no set is a single row of 8 pixels, which lets
    // one place in 8 through).
    const int32_t head = std::min(width_, 8);
    if (max_errors_ > 0 && height_ > max_errors_) {
        std::vector<int32_t> order(static_cast<size_t>(height_));
        for (int32_t r = 0; r < height_; ++r) order[static_cast<size_t>(r)] = r;
        std::stable_sort(order.begin(), order.end(), [&](int32_t x, int32_t y) {
            return piece_score(Piece{x, 0, head}) > piece_score(Piece{y, 0, head});
        });
        const size_t sets = static_cast<size_t>(max_errors_) + 1;
        std::vector<std::vector<Piece>> pieces(sets);
        std::vector<int32_t> pixels(sets, head);
        for (size_t s = 0; s < sets; ++s) pieces[s].push_back(Piece{order[s], 0, head});
        std::vector<Piece> rest;
        for (size_t i = sets; i < order.size(); ++i) rest.push_back(Piece{order[i], 0, head});
        for (const int32_t r : order)
            for (int32_t x0 = 8; x0 < width_; x0 += 8) rest.push_back(Piece{r, x0, std::min(8, width_ - x0)});
        if (rest.size() < sets) {
            std::vector<Piece> halves;
            for (const Piece& piece : rest) {
                if (piece.m == 8) {
                    halves.push_back(Piece{piece.row, piece.x0, 4});
                    halves.push_back(Piece{piece.row, piece.x0 + 4, 4});
                } else {
                    halves.push_back(piece);
                }
            }
            rest = halves;
        }
        for (const Piece& piece : rest) {
            const size_t s = static_cast<size_t>(std::min_element(pixels.begin(), pixels.end()) - pixels.begin());
            pieces[s].push_back(piece);
            pixels[s] += piece.m;
        }
        for (const std::vector<Piece>& set : pieces) filters_.push_back(make_filter(set, 0, true));

    } else {
        // Where no pixel may differ, every row's first pixels are tested by
        // tables before a place is compared: glyphs whose rows repeat a
        // pattern common in the data (0x66 is an x86 prefix) let many
        // places through their two filter rows.
        std::vector<Piece> all;
        for (int32_t r = 0; r < height_; ++r) all.push_back(Piece{r, 0, head});
        filters_.push_back(make_filter(all, max_errors_, max_errors_ == 0));
    }
}

int32_t GlyphSearch::piece_score(const Piece& piece) const
{
    // As many set as unset pixels, then as many changes as possible.
    const int32_t m = piece.m;
    const uint32_t bits = static_cast<uint32_t>(rows_[static_cast<size_t>(piece.row)] << piece.x0 >> (64 - m));
    const int32_t ones = std::popcount(bits);
    const int32_t changes = m > 1 ? std::popcount((bits ^ bits >> 1) & ((1u << (m - 1)) - 1)) : 0;
    return std::min(ones, m - ones) * 16 + changes;
}

void GlyphSearch::piece_tables(const Piece& piece, int32_t errors, uint32_t* first, uint32_t* next) const
{
    const int32_t m = piece.m;
    const uint32_t mask = (1u << m) - 1;
    const uint32_t bits = static_cast<uint32_t>(rows_[static_cast<size_t>(piece.row)] << piece.x0 >> (64 - m));
    for (uint32_t v = 0; v < 256; ++v) {
        first[v] = next[v] = 0;
        for (int lsb = 0; lsb < 2; ++lsb) {
            const uint32_t u = lsb ? static_cast<uint32_t>(mirror_bytes(v)) : v;
            for (int32_t a = 0; a < 8; ++a) {
                // The piece's first pixel is bit `at` of its first byte; the
                // pixels in that byte are the top n of the m.
                const int32_t at = a + piece.x0 % 8;
                const int32_t n = std::clamp(8 - at, 0, m);
                const uint32_t in_first = ((1u << n) - 1) << (m - n);
                const uint32_t as_first = (u << 8) >> (16 - at - m) & mask;
                const uint32_t as_next = u >> (16 - at - m) & mask;
                for (int inv = 0; inv < 2; ++inv) {
                    const uint32_t want = inv ? ~bits & mask : bits;
                    const uint32_t bit = 1u << (lsb * 16 + inv * 8 + a);
                    if (std::popcount((as_first ^ want) & in_first) <= errors) first[v] |= bit;
                    if (std::popcount((as_next ^ want) & mask & ~in_first) <= errors) next[v] |= bit;
                }
            }
        }
    }
}

GlyphSearch::Filter GlyphSearch::make_filter(const std::vector<Piece>& pieces, int32_t errors, bool checks) const
{
    Filter filter;
    // The filter tests first the piece that begins a row and tells most
    // places apart (a blank row would let every run of zeros through), then
    // the best of the others. A set of one piece tests it twice.
    size_t chosen[2] = {pieces.size(), pieces.size()};
    for (size_t i = 0; i < pieces.size(); ++i)
        if (pieces[i].x0 == 0 && (chosen[0] == pieces.size() || piece_score(pieces[i]) > piece_score(pieces[chosen[0]])))
            chosen[0] = i;
    for (size_t i = 0; i < pieces.size(); ++i)
        if (i != chosen[0] && (chosen[1] == pieces.size() || piece_score(pieces[i]) > piece_score(pieces[chosen[1]])))
            chosen[1] = i;
    if (chosen[1] == pieces.size()) chosen[1] = chosen[0];
    filter.tables.assign(4 * 256, 0);
    for (int which = 0; which < 2; ++which) {
        const Piece& piece = pieces[chosen[which]];
        filter.rows[which] = piece.row;
        filter.offsets[which] = piece.x0 / 8;
        filter.masks[which] = (~uint64_t{0} << (64 - piece.m)) >> piece.x0;
        piece_tables(piece, errors, &filter.tables[static_cast<size_t>(which) * 512],
                     &filter.tables[static_cast<size_t>(which) * 512 + 256]);
    }
    for (size_t i = 0; i < pieces.size() && checks; ++i) {
        if (i == chosen[0] || i == chosen[1]) continue;
        Check check{pieces[i], (~uint64_t{0} << (64 - pieces[i].m)) >> pieces[i].x0, std::vector<uint32_t>(512)};
        piece_tables(pieces[i], 0, &check.tables[0], &check.tables[256]);
        filter.checks.push_back(std::move(check));
    }

    // Each table halved: a nibble's entry lets through what some byte with
    // that nibble lets through (its bits in nibble_group_bit order). Kept only if the halves ANDed give back the
    // table for every byte, which they do when no pixel may differ (each
    // combination then asks for fixed bits under a fixed mask).
    std::vector<uint8_t> nibbles(4 * 8 * 16, 0);
    bool exact = true, first_exact = true;
    for (int table = 0; table < 4; ++table) {
        if (table == 2) first_exact = exact;
        uint32_t low[16] = {}, high[16] = {};
        for (uint32_t v = 0; v < 256; ++v) {
            low[v & 15] |= filter.tables[table * 256 + v];
            high[v >> 4] |= filter.tables[table * 256 + v];
        }
        for (uint32_t v = 0; v < 256; ++v) exact = exact && (low[v & 15] & high[v >> 4]) == filter.tables[table * 256 + v];
        for (int g = 0; g < 4; ++g)
            for (int n = 0; n < 16; ++n)
                for (int j = 0; j < 8; ++j) {
                    const int bit = nibble_group_bit(g, j);
                    nibbles[(g * 8 + table * 2) * 16 + n] |= static_cast<uint8_t>((low[n] >> bit & 1) << j);
                    nibbles[(g * 8 + table * 2 + 1) * 16 + n] |= static_cast<uint8_t>((high[n] >> bit & 1) << j);
                }
    }
    // The half a group skips must let all of it through.
    for (int g = 0; g < 4; ++g)
        for (int h = 0; h < 8; ++h) {
            const int* used = USED_HALVES[g];
            if (h % 4 == used[0] || h % 4 == used[1] || h % 4 == used[2]) continue;
            for (int n = 0; n < 16; ++n) {
                const bool whole = nibbles[(g * 8 + h) * 16 + n] == 0xFF;
                exact = exact && whole;
                if (h < 4) first_exact = first_exact && whole;
            }
        }
    // The scan of the first piece alone needs its own halves exact; that of
    // both pieces (one stride), all four.
    if (first_exact) filter.nibbles = std::move(nibbles);
    filter.both_nibbles = first_exact && exact;

    // The rows a place is compared on: a row whose every pixel the filter
    // tests exactly has none wrong where it lets a place through.
    std::vector<int32_t> covered(static_cast<size_t>(height_), 0);
    for (size_t i = 0; i < pieces.size() && errors == 0; ++i)
        if (i == chosen[0] || i == chosen[1] || checks) covered[static_cast<size_t>(pieces[i].row)] += pieces[i].m;
    for (const int32_t r : compare_order_) {
        if (covered[static_cast<size_t>(r)] >= width_) continue;
        filter.compare.push_back(r);
        if (width_ > 8) continue;
        const uint8_t drawn = static_cast<uint8_t>(rows_[static_cast<size_t>(r)] >> 56);
        const uint8_t mask = static_cast<uint8_t>(row_mask_ >> 56);
        filter.narrow[0].push_back(drawn);
        filter.narrow[1].push_back(static_cast<uint8_t>(~drawn & mask));
        filter.narrow[2].push_back(BYTE_TABLES.mirrored[drawn]);
        filter.narrow[3].push_back(BYTE_TABLES.mirrored[~drawn & mask]);
    }
    return filter;
}

bool GlyphSearch::valid(std::string& why) const
{
    if (width_ < 1 || width_ > GLYPH_MAX_WIDTH || height_ < 1 || height_ > GLYPH_MAX_HEIGHT) {
        why = "the pattern must be 1 to " + std::to_string(GLYPH_MAX_WIDTH) + " pixels wide and 1 to " +
              std::to_string(GLYPH_MAX_HEIGHT) + " rows high";
        return false;
    }
    if (strides_.empty()) {
        why = "the stride must be " + std::to_string(row_bytes_needed(width_)) + " to " +
              std::to_string(GLYPH_MAX_STRIDE) + " bytes (at least the bytes a row of " + std::to_string(width_) +
              " pixels spans)";
        return false;
    }
    if (filters_.empty()) {
        why = "at most " + std::to_string((int64_t{width_} * height_ - 1) / 2) +
              " pixels may differ (fewer than half of the " + std::to_string(int64_t{width_} * height_) + ")";
        return false;
    }
    return true;
}

int64_t GlyphSearch::reach() const
{
    if (strides_.empty()) return 0;
    return int64_t{height_ - 1} * strides_.back() + row_bytes_needed(width_ + 7);
}

bool GlyphSearch::search(const uint8_t* bytes, int64_t count, int64_t base, int64_t first, int64_t end,
                         size_t limit, std::vector<GlyphMatch>& found) const
{
    found.clear();
    if (filters_.empty() || count <= 0) return false;
    // The starts asked about, as block positions.
    const int64_t low = std::max<int64_t>(first - base, 0);
    const int64_t high = std::min<int64_t>(end - base, count);
    if (low >= high) return false;
    bool more = false;
    // The second piece's combinations at each byte of a stretch of the
    // block (seconds[q - seconds_from]), made once for every stride and
    // first row that reads them.
    std::vector<uint32_t> seconds;
    const PlaceLoops loops = place_loops();
    // The places of narrow glyphs listed over many first rows, checked
    // together: checked a first row's few at a time, the check would wait
    // on its loads. Byte positions fit 32 bits in the blocks searched.
    constexpr size_t BATCH = 2048, ROOM = BATCH + GLYPH_TRIED_STRIDES + 8;
    const bool batching = width_ <= 8 && count < (int64_t{1} << 31) - GLYPH_MAX_STRIDE;
    std::vector<uint32_t> batch(batching ? 12 * ROOM : 0);
    const auto lists = [&](size_t k) {
        if (!batching) return Listed{};
        uint32_t* const at = batch.data() + 4 * k * ROOM;
        return Listed{at, at + ROOM, at + 2 * ROOM, at + 3 * ROOM};
    };
    const Listed waiting = lists(0), kept = lists(1), checked = lists(2);
    for (size_t band = 0; band < filters_.size(); ++band) {
        const Filter& filter = filters_[band];
        const int64_t f = filter.rows[0], g = filter.rows[1], g_offset = filter.offsets[1];
        int64_t seconds_from = 0, seconds_to = 0, seconds_row = 0;
        const int64_t least = strides_.front(), most = strides_.back();
        const uint32_t *f_first = &filter.tables[0], *f_next = f_first + 256, *g_first = f_next + 256,
                       *g_next = g_first + 256;
        const auto byte = [&](int64_t at) -> uint32_t { return at >= 0 && at < count ? bytes[at] : 0; };
        // Whether the second filter row can be at `at`: a row outside the
        // block cannot belong to a match reported here.
        const auto second = [&](int64_t at) -> uint32_t {
            return at >= 0 && at < count ? g_first[bytes[at]] & g_next[byte(at + 1)] : 0;
        };
        // With one stride the second row's bytes lie at a fixed distance:
        // both rows are tested before anything else.
        const int64_t apart = strides_.size() == 1 ? (g - f) * least + g_offset : 0;
        const int64_t scan_end = std::min<int64_t>(high + f * most, count);
        // Where every byte the filter reads lies inside the block, it reads
        // them without checks.
        const int64_t safe_from = std::max<int64_t>(0, -apart), safe_to = count - 1 - std::max<int64_t>(0, apart);
        const VectorScan vector = filter.nibbles.empty()          ? nullptr
                                  : !apart                        ? vector_scans().one
                                  : filter.both_nibbles           ? vector_scans().two
                                                                  : nullptr;
        // The pixels of row r that differ from the pattern's at `at`,
        // `stride` and the combination `which`.
        const auto wrong = [&](int64_t at, int32_t stride, int which, int32_t r, uint64_t mask)
                               __attribute__((always_inline)) {
            uint64_t word = word_at(bytes, count, at + int64_t{r} * stride);
            if (which >= 16) word = mirror_bytes(word);
            const uint64_t want = which & 8 ? ~rows_[r] & row_mask_ : rows_[r];
            return std::popcount(((word << (which & 7) & row_mask_) ^ want) & mask);
        };
        // A place with at most max_errors_ pixels wrong: kept unless an
        // earlier band's filter lets it through (that band reports it).
        const auto report = [&](int64_t at, int32_t stride, int which, int32_t errors) __attribute__((noinline)) {
            const auto lets_through = [&](const Filter& earlier) {
                for (int h = 0; h < 2; ++h)
                    if (wrong(at, stride, which, earlier.rows[h], earlier.masks[h]) != 0) return false;
                for (const Check& check : earlier.checks)
                    if (wrong(at, stride, which, check.piece.row, check.mask) != 0) return false;
                return true;
            };
            for (size_t q = 0; q < band; ++q)
                if (lets_through(filters_[q])) return;
            const GlyphMatch match{(base + at) * 8 + (which & 7), stride, which >= 16, (which & 8) != 0, errors};
            if (found.size() < limit) {
                found.push_back(match);
                std::push_heap(found.begin(), found.end(), glyph_match_before);
            } else {
                more = true;
                if (!found.empty() && glyph_match_before(match, found.front())) {
                    std::pop_heap(found.begin(), found.end(), glyph_match_before);
                    found.back() = match;
                    std::push_heap(found.begin(), found.end(), glyph_match_before);
                }
            }
        };
        // The place at `at` and `stride` for the combinations `through`
        // whose second piece is there: the set's other pieces for all of
        // them at once, then each combination left pixel by pixel.
        const int32_t compared = static_cast<int32_t>(filter.compare.size());
        const auto try_place = [&](int64_t at, int32_t stride, uint32_t through) __attribute__((always_inline)) {
            for (size_t c = 0; c < filter.checks.size() && through; ++c) {
                const Check& check = filter.checks[c];
                const int64_t q = at + check.piece.row * stride + check.piece.x0 / 8;
                through &= check.tables[byte(q)] & check.tables[256 + byte(q + 1)];
            }
            for (; through; through &= through - 1) {
                const int which = std::countr_zero(through);
                const int32_t a = which & 7;
                const int64_t last = at + int64_t{height_ - 1} * stride;
                if (last + (a + width_ + 7) / 8 > count) continue;
                int32_t errors = 0;
                if (width_ <= 8 && last + 2 <= count) {
                    // Rows of at most 8 pixels lie in the two bytes at
                    // their start: pixel x is bit a + x from the top of
                    // the first (most significant bit first), or from
                    // the bottom of the two as a little-endian number.
                    // Two rows are counted between tests.
                    const bool lsb = which >= 16;
                    const uint8_t* want = filter.narrow[which >> 3].data();
                    const uint32_t top = static_cast<uint32_t>(row_mask_ >> 56);
                    const uint32_t mask = lsb ? BYTE_TABLES.mirrored[top] : top;
                    for (int32_t i = 0; i < compared && errors <= max_errors_; i += 2) {
                        const int32_t group = std::min(2, compared - i);
                        for (int32_t j = i; j < i + group; ++j) {
                            const uint8_t* q = bytes + at + int64_t{filter.compare[j]} * stride;
                            const uint32_t first = q[0], next = q[1];
                            const uint32_t got = lsb ? (next << 8 | first) >> a : (first << 8 | next) << a >> 8;
                            errors += BYTE_TABLES.ones[(got ^ want[j]) & mask];
                        }
                    }
                } else {
                    for (int32_t i = 0; i < compared && errors <= max_errors_; ++i)
                        errors += wrong(at, stride, which, filter.compare[i], row_mask_);
                }
                if (errors <= max_errors_) report(at, stride, which, errors);
            }
        };
        // The first two or four rows compared of the places in the batch,
        // two at a time: their distance from the first piece's row, each
        // row's pixels by the combination's bit order and inversion, the
        // pixels of a row.
        const bool batched_rows = batching && compared >= 2;
        const int32_t batched_pairs = compared >= 4 ? 2 : 1;
        size_t batched = 0;
        int32_t rows_apart[2][2] = {};
        uint8_t want[2][2][4] = {};
        uint32_t masks[2] = {0, 0};
        if (batched_rows) {
            const uint32_t top = static_cast<uint32_t>(row_mask_ >> 56);
            masks[0] = top;
            masks[1] = BYTE_TABLES.mirrored[top];
            for (int32_t pair = 0; pair < batched_pairs; ++pair)
                for (int row = 0; row < 2; ++row) {
                    const size_t c = static_cast<size_t>(2 * pair + row);
                    rows_apart[pair][row] = filter.compare[c] - static_cast<int32_t>(f);
                    for (int form = 0; form < 4; ++form) want[pair][row][form] = filter.narrow[form][c];
                }
        }
        const auto check_batch = [&] {
            // A round for each combination of a place, the lowest first.
            std::fill(waiting.errors, waiting.errors + batched, 0u);
            for (size_t pending = batched; pending > 0;) {
                size_t rest = 0, unused = 0;
                size_t left = loops.pairs(bytes, rows_apart[0], waiting, pending, want[0], masks, max_errors_, kept, rest);
                const Listed* tried = &kept;
                if (batched_pairs == 2) {
                    left = loops.pairs(bytes, rows_apart[1], kept, left, want[1], masks, max_errors_, checked, unused);
                    tried = &checked;
                }
                for (size_t i = 0; i < left; ++i) {
                    const int32_t stride = static_cast<int32_t>(tried->strides[i]);
                    try_place(int64_t{tried->firsts[i]} - f * stride, stride, tried->passes[i]);
                }
                pending = rest;
            }
            batched = 0;
        };
        // The candidates of byte b have their filter row at b: their first
        // rows lie from b - f * most to b - f * least.
        for (int64_t b = low + f * least; b < scan_end; ++b) {
            if (more && (found.empty() || (base + b - f * most) * 8 > found.front().start_bit)) break;
            if (b >= safe_from) {
                const int64_t stop = std::min(scan_end, safe_to);
                const uint8_t* g_bytes = bytes + apart;
                if (vector) b = vector(filter.nibbles.data(), bytes, b, stop, apart);
                if (apart)
                    while (b < stop && !(f_first[bytes[b]] & f_next[bytes[b + 1]] & g_first[g_bytes[b]] &
                                         g_next[g_bytes[b + 1]]))
                        ++b;
                else
                    while (b < stop && !(f_first[bytes[b]] & f_next[bytes[b + 1]])) ++b;
                if (b >= scan_end) break;
            }
            uint32_t candidates = f_first[bytes[b]] & f_next[byte(b + 1)];
            if (candidates && apart) candidates &= second(b + apart);
            if (!candidates) continue;
            // Every stride: where all of them lie inside the starts asked
            // about and the block, the second row's bytes one step apart
            // after another, without checks.
            const int64_t step = g - f, from = b + g_offset;
            const bool inside = strides_.size() > 1 && b - f * most >= low && b - f * least < high &&
                                std::min(from + step * least, from + step * most) >= 0 &&
                                std::max(from + step * least, from + step * most) + 1 < count;
            if (inside) {
                // The strides the second piece lets through are listed
                // first without a branch (about one in five goes on where
                // that piece is blank or solid), then tried. The second
                // piece of stride s lies at from + step * s: the entries of
                // the stretch are kept by their place modulo |step|, so
                // that those of successive strides lie side by side.
                const int64_t lowest = std::min(from + step * least, from + step * most);
                const int64_t highest = std::max(from + step * least, from + step * most);
                const int64_t spacing = std::max<int64_t>(1, std::abs(step));
                if (lowest < seconds_from || highest >= seconds_to) {
                    // The next stretch, from the lowest byte this first row
                    // needs; the byte after each is inside the block.
                    seconds_row = std::max<int64_t>(SECONDS_STRETCH / spacing, most - least + 1);
                    seconds_from = lowest;
                    seconds_to = std::min(lowest + spacing * seconds_row, count - 1);
                    seconds.assign(static_cast<size_t>(spacing * seconds_row + 8), 0);
                    for (int64_t r = 0; r < spacing; ++r)
                        for (int64_t q = seconds_from + r, k = r * seconds_row; q < seconds_to; q += spacing, ++k)
                            seconds[static_cast<size_t>(k)] = g_first[bytes[q]] & g_next[bytes[q + 1]];
                }
                // Narrow glyphs' places wait in the batch.
                const bool narrow = batched_rows && b + int64_t{height_ - 1 - f} * most + 4 <= count;
                uint32_t own_passes[GLYPH_TRIED_STRIDES + 8], own_strides[GLYPH_TRIED_STRIDES + 8];
                uint32_t* const passes = narrow ? waiting.passes + batched : own_passes;
                uint32_t* const stride_of = narrow ? waiting.strides + batched : own_strides;
                const int64_t n = most - least + 1;
                size_t listed = 0;
                if (step == 0) {
                    const uint32_t pass = candidates & seconds[static_cast<size_t>(from - seconds_from)];
                    for (int64_t j = 0; j < n && pass; ++j, ++listed) {
                        passes[listed] = pass;
                        stride_of[listed] = static_cast<uint32_t>(least + j);
                    }
                } else {
                    const int64_t k = lowest - seconds_from;
                    const uint32_t* entries = seconds.data() + (k % spacing) * seconds_row + k / spacing;
                    listed = loops.listing(entries, n, candidates, static_cast<int32_t>(step > 0 ? least : most),
                                           step > 0 ? 1 : -1, stride_of, passes);
                }
                if (narrow) {
                    std::fill(waiting.firsts + batched, waiting.firsts + batched + listed, static_cast<uint32_t>(b));
                    batched += listed;
                    if (batched >= BATCH) check_batch();
                } else {
                    for (size_t i = 0; i < listed; ++i) {
                        const int32_t stride = static_cast<int32_t>(stride_of[i]);
                        try_place(b - f * stride, stride, passes[i]);
                    }
                }
                continue;
            }
            for (const int32_t stride : strides_) {
                const int64_t at = b - f * stride;
                if (at < low) break;  // and so for every larger stride
                if (at >= high) continue;
                const uint32_t through = candidates & second(at + g * stride + g_offset);
                if (through) try_place(at, stride, through);
            }
        }
        if (batched) check_batch();
    }
    std::sort_heap(found.begin(), found.end(), glyph_match_before);
    return more;
}
