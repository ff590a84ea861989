// finding.cpp: row widths and graphics regions from the bits alone.
//
// The measure behind both is how often a bit differs from the bit W places
// further on (the mismatch at lag W), divided by what it would be if the
// bytes were shuffled: the chance that two bits differ, given how often each
// of the eight bit positions of a byte is set (text and machine code have
// positions nearly always 0 or 1, which a plain mismatch mistakes for rows).
// In a picture W bits wide the bit below each pixel lies W bits on, so that
// ratio dips at W, and dips less or not at all at W - 1 or W + 1, which put
// pixels beside one another. Random bytes, compressed data, text and code
// stay near 1 everywhere.
#include "finding.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <atomic>
#include <bit>
#include <cmath>
#include <cstring>
#include <mutex>
#include <numeric>
#include <thread>

#include "cpu_levels.h"
#include "thread_group.h"

namespace {

// --- guess_widths -----------------------------------------------------------

constexpr int64_t GUESS_SAMPLE_BYTES = 8 * 1024;
constexpr int32_t NEIGHBOURS = 3;      // lags each side that a width is compared with
constexpr int32_t COMB = 4;            // multiples of a width that vote for it
constexpr double DIVISOR_SHARE = 0.9;  // a divisor whose own dip is this deep is the width
constexpr int32_t LEAST_DIVISOR = 8;   // the narrowest rows offered as a divisor of the first width

// How often bits of byte positions a and b differ when the bytes are
// independent, from the share of bytes with each position set.
double shuffled_mismatch(const double* density, int32_t lag)
{
    double sum = 0;
    for (int32_t c = 0; c < 8; ++c) {
        const double p = density[c], q = density[(c + lag) % 8];
        sum += p * (1 - q) + (1 - p) * q;
    }
    return sum / 8;
}

void bit_densities(const uint8_t* bytes, int64_t n, double* density)
{
    // Eight bytes at a time: bit position c of every byte of a word under
    // one mask.
    constexpr uint64_t LOW = 0x0101010101010101;
    int64_t counts[8] = {}, i = 0;
    for (; i + 8 <= n; i += 8) {
        uint64_t w;
        std::memcpy(&w, bytes + i, 8);
        for (int32_t c = 0; c < 8; ++c) counts[c] += std::popcount(w & (LOW << (7 - c)));
    }
    for (; i < n; ++i)
        for (int32_t c = 0; c < 8; ++c) counts[c] += (bytes[i] >> (7 - c)) & 1;
    for (int32_t c = 0; c < 8; ++c) density[c] = n > 0 ? static_cast<double>(counts[c]) / static_cast<double>(n) : 0;
}

// The bytes of the stream read from bit r of each byte on, for r = 0 .. 7:
// byte k of shift r holds stream bits 8k + r .. 8k + r + 7 (past the end,
// 0). Comparing bit t with bit t + 8m + r for 64 bits at a time is then one
// unaligned load of shift r at m bytes on.
struct ShiftedBytes {
    std::vector<uint8_t> shift[8];
};

BITLOUPE_INLINE uint64_t load_word(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// The top bit of each byte of x that is 0, exactly for every byte (unlike
// the usual test for whether any is), a byte of memory a byte of the word.
BITLOUPE_INLINE uint64_t zero_bytes(uint64_t x)
{
    constexpr uint64_t LOW7 = 0x7F7F7F7F7F7F7F7F;
    return ~(((x & LOW7) + LOW7) | x | LOW7);
}

ShiftedBytes shifted_bytes(const uint8_t* bytes, int64_t n)
{
    ShiftedBytes s;
    const size_t size = static_cast<size_t>(n) + 16;
    s.shift[0].assign(size + 8, 0);
    std::memcpy(s.shift[0].data(), bytes, static_cast<size_t>(n));
    const uint8_t* from = s.shift[0].data();
    for (int32_t r = 1; r < 8; ++r) {
        s.shift[r].assign(size + 8, 0);
        // Eight bytes at a time: a big-endian word shifted up by r, filled
        // from the byte after it.
        for (size_t k = 0; k < size; k += 8) {
            const uint64_t shifted = (__builtin_bswap64(load_word(from + k)) << r) | (from[k + 8] >> (8 - r));
            const uint64_t out = __builtin_bswap64(shifted);
            std::memcpy(s.shift[r].data() + k, &out, 8);
        }
    }
    return s;
}

// Differing bits between the first `compared` x 64 bits and the bits `lag`
// on, for every lag 1 .. max_lag, into differ[lag].
BITLOUPE_INLINE void lag_differences_body(const ShiftedBytes& s, int64_t compared, int32_t max_lag, int64_t* differ)
{
    const uint8_t* bits = s.shift[0].data();
    int32_t lag = 1;
    // Four lags at a time, each word of the bits loaded once for them.
    for (; lag + 3 <= max_lag; lag += 4) {
        const uint8_t* on0 = s.shift[lag % 8].data() + lag / 8;
        const uint8_t* on1 = s.shift[(lag + 1) % 8].data() + (lag + 1) / 8;
        const uint8_t* on2 = s.shift[(lag + 2) % 8].data() + (lag + 2) / 8;
        const uint8_t* on3 = s.shift[(lag + 3) % 8].data() + (lag + 3) / 8;
        int64_t c0 = 0, c1 = 0, c2 = 0, c3 = 0;
        for (int64_t j = 0; j < compared * 8; j += 8) {
            const uint64_t w = load_word(bits + j);
            c0 += std::popcount(w ^ load_word(on0 + j));
            c1 += std::popcount(w ^ load_word(on1 + j));
            c2 += std::popcount(w ^ load_word(on2 + j));
            c3 += std::popcount(w ^ load_word(on3 + j));
        }
        differ[lag] = c0, differ[lag + 1] = c1, differ[lag + 2] = c2, differ[lag + 3] = c3;
    }
    for (; lag <= max_lag; ++lag) {
        const uint8_t* on = s.shift[lag % 8].data() + lag / 8;
        int64_t count = 0;
        for (int64_t j = 0; j < compared * 8; j += 8) count += std::popcount(load_word(bits + j) ^ load_word(on + j));
        differ[lag] = count;
    }
}

BITLOUPE_LEVELS(void, lag_differences, (const ShiftedBytes& s, int64_t compared, int32_t max_lag, int64_t* differ),
                (s, compared, max_lag, differ))

// Mismatch ratio (mismatch / shuffled mismatch) at every lag 1 .. max_lag,
// over the same first `compared` x 64 bits for every lag.
std::vector<double> mismatch_ratios(const ShiftedBytes& words, int64_t compared, int32_t max_lag,
                                    const double* density)
{
    std::vector<double> ratio(static_cast<size_t>(max_lag) + 1, 1.0);
    std::vector<int64_t> differ(static_cast<size_t>(max_lag) + 1, 0);
    lag_differences(words, compared, max_lag, differ.data());
    // What independent bits give depends on the lag only through its place
    // in a byte.
    double by_place[8];
    for (int32_t r = 0; r < 8; ++r) by_place[r] = shuffled_mismatch(density, r);
    for (int32_t lag = 1; lag <= max_lag; ++lag) {
        const double expected = by_place[lag % 8];
        if (expected > 1e-9)
            ratio[lag] = static_cast<double>(differ[static_cast<size_t>(lag)]) /
                         (static_cast<double>(compared) * 64.0 * expected);
    }
    return ratio;
}

}  // namespace

namespace {

std::vector<uint64_t> row_words(const uint8_t* bytes, int64_t n, int32_t width, int64_t rows, int32_t words);

constexpr int32_t GLYPH_LEAST_WIDTH = 8;      // the narrowest glyph rows told inside wider ones
constexpr int32_t GLYPH_MOST_ROWS = 16;       // and the most of them in one wider row
constexpr double GLYPH_SHARE = 0.25;          // how deeply their own lag dips, against the wider one
constexpr double GLYPH_SPREAD = 0.25;         // how unevenly the glyph's rows are set, against their mean
constexpr double GLYPH_OVER_BANDS = 0.8;      // ... and against how unevenly bands of wide rows are
constexpr double HALF_ROW_SHARE = 0.2;        // a width of two such rows: the lag of one dips this much
constexpr double HALF_ROW_THREE = 0.5;        // and the lag of three this much, against the wider one's
constexpr double GLYPH_ROWS_SHARE = 0.6;      // a glyph's rows below one another against the glyph after
constexpr double REPEATED_SHARE = 0.6;        // rows two or three at a time: the lags between w and 2w against 2w

// The spread of values as a share of their mean (0 for a mean of 0).
double spread(const std::vector<double>& values)
{
    double mean = 0, square = 0;
    for (double v : values) mean += v / static_cast<double>(values.size());
    for (double v : values) square += (v - mean) * (v - mean) / static_cast<double>(values.size());
    return mean > 0 ? std::sqrt(square) / mean : 0;
}

// How unevenly rows are set by their place in bands of h rows, band after
// band, for h from 4 to 32 (at least three bands): the spread of the rows'
// mean set bits by place, at the height where it is largest. `set[r]` is
// the bits set in row r, of `rows`.
template <typename Count>
double band_spread(const std::vector<Count>& set, int64_t rows)
{
    double bands = 0;
    if (rows < 12) return bands;
    // The counts (each at most a row's bits) with 8 zeros after them, so
    // that a band is added 8 places at a time, whatever its height: the
    // places past it take what follows and are never read. The sums fit 32
    // bits: all of them together are the bits set in a sample of bytes.
    std::vector<int32_t> counts(static_cast<size_t>(rows) + 8, 0);
    for (int64_t r = 0; r < rows; ++r) counts[static_cast<size_t>(r)] = static_cast<int32_t>(set[static_cast<size_t>(r)]);
    for (int64_t h = 4; h <= 32 && 3 * h <= rows; ++h) {
        int32_t sums[40] = {};
        for (int64_t r = 0; r < rows; r += h)
            for (int64_t i = 0; i < h && r + i < rows; i += 8)
                for (int64_t k = 0; k < 8; ++k) sums[i + k] += counts[static_cast<size_t>(r + i + k)];
        // spread() of the places' means, without a vector of them.
        double folded[32], mean = 0, square = 0;
        const double places = static_cast<double>(h);
        for (int64_t i = 0; i < h; ++i) {
            folded[i] = static_cast<double>(sums[i]) / static_cast<double>((rows - i + h - 1) / h);
            mean += folded[i] / places;
        }
        for (int64_t i = 0; i < h; ++i) square += (folded[i] - mean) * (folded[i] - mean) / places;
        bands = std::max(bands, mean > 0 ? std::sqrt(square) / mean : 0);
    }
    return bands;
}

// What glyph_rows reads of rows of w bits, made once for all the divisors
// of w it tries: the rows, the bits set in each, and how unevenly bands of
// rows 4 to 32 high are set.
struct WideRows {
    int32_t width = 0;
    int64_t rows = 0;
    int32_t words = 0;
    std::vector<uint64_t> bits;
    double bands = 0;

    void make(const uint8_t* bytes, int64_t n, int32_t w)
    {
        width = w, rows = n * 8 / w, words = (w + 63) / 64;
        bits = row_words(bytes, n, w, rows, words);
        std::vector<int64_t> by_row(static_cast<size_t>(rows), 0);
        for (int64_t r = 0; r < rows; ++r)
            for (int32_t q = 0; q < words; ++q) by_row[static_cast<size_t>(r)] += std::popcount(bits[static_cast<size_t>(r * words + q)]);
        bands = band_spread(by_row, rows);
    }
};

// The bits set from bit `from` to bit `to` - 1 of a row of words.
int64_t bits_set(const uint64_t* row, int32_t from, int32_t to)
{
    int64_t set = 0;
    for (int32_t b = from; b < to;) {
        const int32_t offset = b % 64, take = std::min(64 - offset, to - b);
        const uint64_t top = take == 64 ? ~uint64_t{0} : ~(~uint64_t{0} >> take);  // the first `take` bits
        set += std::popcount((row[b / 64] << offset) & top);
        b += take;
    }
    return set;
}

// Whether rows of w bits are better read as glyphs of w / d rows of d bits
// (Unifont's 16 x 16 glyphs, whose next glyph's rows match better than the
// row below does) than as rows of their own. Both readings put related bits
// at lags d and w. A glyph's rows are set unevenly (blank above and below,
// strokes in between), the same in every glyph; in a sheet of glyphs side
// by side, whose rows of w bits are the truth, the d-bit parts of a row are
// different glyphs' rows, set about as much as one another, and the rows
// of w bits themselves are set unevenly in bands as tall as a glyph.
// `wide` holds the rows of w bits once made.
bool glyph_rows(const uint8_t* bytes, int64_t n, const std::vector<double>& contrast, int32_t w, int32_t d,
                WideRows& wide)
{
    const int32_t k = w / d;
    if (d < GLYPH_LEAST_WIDTH || contrast[static_cast<size_t>(d)] <= 0) return false;
    if (k == 2)  // rows of d bits put the bits three rows on below one another; rows of w bits do not
        return contrast[static_cast<size_t>(d)] >= HALF_ROW_SHARE * contrast[static_cast<size_t>(w)] &&
               contrast[static_cast<size_t>(3 * d)] >= HALF_ROW_THREE * contrast[static_cast<size_t>(w)];
    if (k < 4 || k > GLYPH_MOST_ROWS || contrast[static_cast<size_t>(d)] < GLYPH_SHARE * contrast[static_cast<size_t>(w)] ||
        contrast[static_cast<size_t>(2 * d)] <= 0 || contrast[static_cast<size_t>(3 * d)] <= 0)
        return false;
    // The rows below, two and three below all dip nearly as deeply as the
    // glyph after: rows of d bits, however evenly set.
    if (std::min({contrast[static_cast<size_t>(d)], contrast[static_cast<size_t>(2 * d)], contrast[static_cast<size_t>(3 * d)]}) >=
        GLYPH_ROWS_SHARE * contrast[static_cast<size_t>(w)])
        return true;
    if (wide.width != w) wide.make(bytes, n, w);
    // The bits set in each d-bit part of the rows.
    std::vector<double> parts(static_cast<size_t>(k), 0.0);
    for (int64_t r = 0; r < wide.rows; ++r) {
        const uint64_t* row = wide.bits.data() + r * wide.words;
        for (int32_t j = 0; j < k; ++j) parts[static_cast<size_t>(j)] += static_cast<double>(bits_set(row, j * d, (j + 1) * d));
    }
    const double uneven = spread(parts);
    return uneven >= GLYPH_SPREAD && uneven >= GLYPH_OVER_BANDS * wide.bands;
}

// Whether rows of w bits are rows of d bits (w = 2d or 3d) two or three at a
// time: then the lags that are multiples of d but not of w dip too, about
// as deeply as the multiples of w near them, where rows of w bits put
// unrelated pixels there (half a row or a third of one aside).
bool repeated_rows(const std::vector<double>& contrast, int32_t w, int32_t d)
{
    if (d < GLYPH_LEAST_WIDTH) return false;
    const double whole = contrast[static_cast<size_t>(2 * w)];
    double between = 0;
    int32_t count = 0;
    for (int32_t m = w + d; m < 2 * w; m += d, ++count) between += contrast[static_cast<size_t>(m)];
    return whole > 0 && count > 0 && between / count >= REPEATED_SHARE * whole;
}

// For every width w up to GUESS_MAX_WIDTH, the widths w / k that it is a
// whole number k >= 2 of, k from the least up: width[first[w] .. first[w + 1] - 1].
struct Divisors {
    std::vector<int32_t> first, width;
};

const Divisors& width_divisors()
{
    static const Divisors divisors = [] {
        std::vector<std::vector<int32_t>> lists(GUESS_MAX_WIDTH + 1);
        for (int32_t k = 2; k <= GUESS_MAX_WIDTH / 2; ++k)
            for (int32_t w = 2 * k; w <= GUESS_MAX_WIDTH; w += k) lists[static_cast<size_t>(w)].push_back(w / k);
        Divisors d;
        d.first.push_back(0);
        for (const std::vector<int32_t>& list : lists) {
            d.width.insert(d.width.end(), list.begin(), list.end());
            d.first.push_back(static_cast<int32_t>(d.width.size()));
        }
        return d;
    }();
    return divisors;
}

// guess_widths for widths up to `cap`; `glyph_divisors` as guess_widths
// lists the places after the first.
int32_t guess_widths_up_to(const uint8_t* bytes, int64_t length, WidthGuess* out, int32_t most, int32_t cap,
                           bool glyph_divisors = false)
{
    most = std::clamp(most, 0, GUESS_MAX_CANDIDATES);
    if (!bytes || length <= 0 || most == 0) return 0;
    const int64_t n = std::min(length, GUESS_SAMPLE_BYTES);
    const int32_t widest = static_cast<int32_t>(std::min<int64_t>(cap, n * 8 / 8));
    if (widest < 2) return 0;
    // Every width is judged at its first two multiples at least.
    const int32_t max_lag = 2 * widest + NEIGHBOURS;
    const int64_t compared = (n * 8 - max_lag) / 64;
    if (compared < 1) return 0;

    double density[8];
    bit_densities(bytes, n, density);
    const std::vector<double> ratio = mismatch_ratios(shifted_bytes(bytes, n), compared, max_lag, density);

    // Contrast: how far a lag dips below its neighbours (capped at the
    // shuffled level, so that neighbours that are anti-correlated add nothing).
    std::vector<double> contrast(static_cast<size_t>(max_lag) + 1, 0.0);
    for (int32_t w = 1; w <= 2 * widest; ++w) {
        double sum = 0;
        int32_t count = 0;
        for (int32_t d = -NEIGHBOURS; d <= NEIGHBOURS; ++d)
            if (d != 0 && w + d >= 1) {
                sum += std::min(ratio[w + d], 1.0);
                ++count;
            }
        contrast[w] = std::max(0.0, sum / count - ratio[w]);
    }
    // A width is voted for by its first multiples, nearer ones weighing more:
    // a divisor of the true width scores only at the multiples that are
    // multiples of the true width.
    std::vector<double> score(static_cast<size_t>(widest) + 1, 0.0);
    for (int32_t w = 2; w <= widest; ++w) {
        double sum = 0, weights = 0;
        for (int32_t k = 1; k <= COMB && (k <= 2 || int64_t{k} * w <= 2 * widest); ++k) {
            sum += contrast[k * w] / k;
            weights += 1.0 / k;
        }
        score[w] = std::min(1.0, sum / weights);
    }
    // A multiple of a width that dips nearly as deeply itself is that width
    // repeated (the same row of the next glyph): it ranks below it, and so
    // does a multiple that is whole glyphs of narrower rows (glyph_rows),
    // the smallest such width first.
    const Divisors& divisors = width_divisors();
    // A width's rank: its score, lowered below a width it repeats (a
    // divisor that dips nearly as deeply, rows two or three at a time, or
    // glyph rows). Worked out only for the widths asked for: a rank is never
    // above its score, so the widths are looked at from the best score down
    // only while one of them may still rank among the first.
    std::vector<double> first_ranks(static_cast<size_t>(widest) + 1), ranks(static_cast<size_t>(widest) + 1);
    std::vector<uint8_t> first_known(static_cast<size_t>(widest) + 1, 0), known(static_cast<size_t>(widest) + 1, 0);
    WideRows wide;
    // The widths w / k a width repeats, the rank of the first of them.
    const auto first_rank_of = [&](const auto& self, int32_t w) -> double {
        if (first_known[w]) return first_ranks[w];
        double r = score[w];
        if (w >= 4 && score[w] > 0) {
            int32_t below = 0;
            for (int32_t i = divisors.first[w]; i < divisors.first[w + 1] && !below; ++i) {
                const int32_t d = divisors.width[i];
                if (contrast[d] >= DIVISOR_SHARE * contrast[w] && score[d] > 0 && contrast[w] > 0) below = d;
            }
            for (int32_t k = 2; k <= 3 && !below; ++k)
                if (w % k == 0 && repeated_rows(contrast, w, w / k)) below = w / k;
            for (int32_t i = divisors.first[w + 1] - 1; i >= divisors.first[w] && !below; --i)
                if (glyph_rows(bytes, n, contrast, w, divisors.width[i], wide)) below = divisors.width[i];
            if (below) r = std::min(r, self(self, below) * 0.99);
        }
        first_known[w] = 1;
        return first_ranks[w] = r;
    };
    const auto first_rank = [&](int32_t w) { return first_rank_of(first_rank_of, w); };
    // Rows are mostly whole bytes: a width a pixel or two from a multiple of
    // 8 that scores half as well or better (slanted strokes dip beside the
    // true width) ranks below it.
    auto rank = [&](int32_t w) -> double {
        if (known[w]) return ranks[w];
        double r = first_rank(w);
        const int32_t m = (w + 4) / 8 * 8;
        if (w % 8 != 0 && m >= 8 && m <= widest && std::abs(w - m) <= 2 && first_rank(m) >= 0.5 * r)
            r = std::min(r, first_rank(m) * 0.99);
        known[w] = 1;
        return ranks[w] = r;
    };
    auto order = [&](WidthGuess* guesses, int32_t most_guesses) {
        // Below 4 the neighbours to compare with run out.
        std::vector<int32_t> widths;
        for (int32_t w = 4; w <= widest; ++w)
            if (score[w] > 0) widths.push_back(w);
        // Two at least, for the pair of widths either side of the true one.
        const size_t wanted = std::min<size_t>(widths.size(), static_cast<size_t>(std::max(most_guesses, 2)));
        const auto ranks_before = [&](int32_t a, int32_t b) { return rank(a) != rank(b) ? rank(a) > rank(b) : a < b; };
        const auto scores_after = [&](int32_t a, int32_t b) { return score[a] != score[b] ? score[a] < score[b] : a > b; };
        std::make_heap(widths.begin(), widths.end(), scores_after);
        std::vector<int32_t> chosen;
        for (auto end = widths.end(); end != widths.begin(); --end) {
            const int32_t w = widths.front();
            if (chosen.size() == wanted && score[w] < rank(chosen.back())) break;
            std::pop_heap(widths.begin(), end, scores_after);
            chosen.insert(std::upper_bound(chosen.begin(), chosen.end(), w, ranks_before), w);
            if (chosen.size() > wanted) chosen.pop_back();
        }
        // Strokes slanted both ways dip a pixel either side of the true
        // width, which itself may not dip at all: when the first two are two
        // apart, the width between them comes first, as strong as the
        // weaker of them.
        if (chosen.size() >= 2 && std::abs(chosen[0] - chosen[1]) == 2) {
            const int32_t middle = (chosen[0] + chosen[1]) / 2;
            ranks[middle] = std::max(rank(middle), std::min(rank(chosen[0]), rank(chosen[1])));
            std::erase(chosen, middle);
            chosen.insert(chosen.begin(), middle);
        }
        if (chosen.size() > static_cast<size_t>(most_guesses)) chosen.resize(static_cast<size_t>(most_guesses));
        // Two more readings of the first candidates: the largest width the
        // first three are all multiples of (the row of which they are whole
        // numbers of rows), and for a first width a pixel or two off a whole
        // byte, that byte width (the rows of slanted strokes line up a pixel
        // aside).
        auto offer = [&](int32_t w) {
            if (w >= 4 && w <= widest && score[w] > 0 && most_guesses >= 3 &&
                std::find(chosen.begin(), chosen.end(), w) == chosen.end()) {
                chosen.insert(chosen.begin() + std::min<size_t>(2, chosen.size()), w);
                if (chosen.size() > static_cast<size_t>(most_guesses)) chosen.pop_back();
            }
        };
        if (chosen.size() >= 3) offer(std::gcd(std::gcd(chosen[0], chosen[1]), chosen[2]));
        if (!chosen.empty() && chosen[0] % 8 != 0 && std::abs(chosen[0] - (chosen[0] + 4) / 8 * 8) <= 2)
            offer((chosen[0] + 4) / 8 * 8);
        // Whole multiples of the first width in the other places say
        // nothing new (its rows two or three at a time): when both are,
        // they give way to divisors of it, which read it as glyphs of
        // narrower rows (a glyph of 16 x 16 read whole is 256 bits, and the
        // next glyph may match better than the row below). First the
        // narrowest divisor that makes it 4 to 16 rows, then the divisor
        // that scores best, and the multiples after them.
        if (glyph_divisors && chosen.size() >= 3 && chosen[1] % chosen[0] == 0 && chosen[2] % chosen[0] == 0) {
            int32_t glyph = 0, best = 0;
            for (int32_t i = divisors.first[chosen[0]]; i < divisors.first[chosen[0] + 1]; ++i) {
                const int32_t d = divisors.width[i], rows = chosen[0] / d;
                if (d >= LEAST_DIVISOR && score[d] > 0 && rows >= 4 && rows <= 16 && (!glyph || d < glyph)) glyph = d;
            }
            for (int32_t i = divisors.first[chosen[0]]; i < divisors.first[chosen[0] + 1]; ++i) {
                const int32_t d = divisors.width[i];
                if (d >= LEAST_DIVISOR && score[d] > 0 && d != glyph && (!best || rank(d) > rank(best))) best = d;
            }
            std::vector<int32_t> reordered{chosen[0]};
            for (const int32_t d : {glyph, best})
                if (d) reordered.push_back(d);
            for (const int32_t w : chosen)
                if (std::find(reordered.begin(), reordered.end(), w) == reordered.end()) reordered.push_back(w);
            reordered.resize(chosen.size());
            chosen = std::move(reordered);
        }
        // Scores stay in order, so that a later candidate never outscores an
        // earlier one.
        const int32_t count = static_cast<int32_t>(chosen.size());
        for (int32_t i = 0; i < count; ++i)
            guesses[i] = WidthGuess{chosen[i], std::min(rank(chosen[i]), i > 0 ? guesses[i - 1].score : 1.0)};
        return count;
    };
    return order(out, most);
}

}  // namespace

// --- scanning ---------------------------------------------------------------

namespace {

constexpr int64_t WINDOW = 512;      // bytes judged at a time
constexpr int64_t STEP = SCAN_STEP;  // from one window to the next, half a window
static_assert(STEP * 2 == WINDOW && SCAN_CHUNK_BYTES % STEP == 0);
constexpr int64_t ROW_LAGS = 64;     // rows up to 64 bytes wide are looked for
constexpr int64_t WINDOW_NEED = WINDOW + ROW_LAGS + 8;
constexpr int64_t GLANCE = 64;           // the bytes a window is first judged on
constexpr int32_t MOST_AT_A_GLANCE = 48; // more values there: noise or compressed (random bytes give 57 in 64)
constexpr int32_t MOST_AT_A_SHORT_GLANCE = 28;  // the same in its first half (random bytes give 30 in 32)
constexpr int32_t MOST_DISTINCT = 96;    // byte values in a window
constexpr int32_t MANY_VALUES = 64;      // a window with more values must have pixels beside one
constexpr double MOST_BESIDE_VARIED = 0.8; // another alike more often than MOST_BESIDE asks
// A window whose pixels beside one another are not alike (dense glyphs of
// thin strokes, such as CJK ideographs) still looks like rows when its best
// row lag matches this well against independent bits.
constexpr double DOUBTFUL_MOST_RATIO = 0.75;
constexpr double WINDOW_DIP = 0.1;     // how far the best row lag dips below its neighbours
// Smooth pictures (sprites of solid shapes) match about as well a pixel or
// two aside as at their rows, so their rows dip little; a window whose rows
// match this closely against independent bits, with pixels beside one
// another as alike, looks like rows all the same.
constexpr double SMOOTH_RATIO = 0.2;
constexpr double SMOOTH_BESIDE = 0.2;
// A multiple of the best row lag whose match is this close to it may be the
// rows' own lag: in a sheet of glyphs side by side, the same row of the
// next glyph may match better than the row below.
constexpr double WIDE_SLACK = 0.05;
constexpr double REGION_SCORE = 0.04;    // the score a region's width must reach
// Rows narrower than a byte (which the viewer's narrowest row is) are
// nibbles of tables and code, not pictures users look for.
constexpr int32_t LEAST_REGION_WIDTH = 8;
// Rows that show next to nothing: a fill, or a few rows over and over (the
// zeros and padding of programs, a table of one record repeated), with too
// few changing columns, too many blank rows or too many repeated ones.
constexpr double LEAST_ACTIVE = 0.05;
constexpr double MOST_BLANK = 0.85;
constexpr double MOST_REPEATED = 0.6;
// A span is judged by pieces of GLIMPSE bytes, end to end over all of it
// (a small picture inside a long span of text in UTF-16 lies between
// pieces taken further apart), each at the width it gives: a piece that scores under
// GLIMPSE_LEAST_SCORE is no part of a picture. When every candidate is kept
// for training, a piece is told by how well its rows agree with the rows
// below instead (under PIECE_MOST_VERTICAL of what independent bits give),
// which the model does not set. A run of pieces whose first 8 KiB, filler
// and all, score under ROUGH_LEAST_SCORE at the width guessed on them is
// no region, and its edges are not looked for.
constexpr int64_t GLIMPSE = 2048;
constexpr double GLIMPSE_LEAST_SCORE = 0.3;
constexpr double PIECE_MOST_VERTICAL = 0.85;
constexpr double ROUGH_LEAST_SCORE = 0.5;
constexpr int64_t LEAST_HALF = 512;  // the least half of a span's first bytes judged on its own
constexpr int32_t OTHER_WIDTHS = 2;  // widths after the first guessed tried on a span that fails at it
constexpr double OTHER_WIDTH_SHARE = 0.5;  // when they score this share of the first or more
constexpr int64_t JOIN_GAP = 768;        // spans this close are one region
constexpr double FLAGGED_SHARE = 0.4;    // of a region's windows that must look like rows
constexpr int64_t LEAST_FLAGGED = 1;     // windows that look like rows in the least region
constexpr double SPAN_MOST_MATCH = 0.8;  // the best row match of one of them, at most
constexpr double MOST_BESIDE = 0.92;     // the same in a window
constexpr int64_t JUDGED_FIRST_BYTES = GUESS_SAMPLE_BYTES;  // and its first ones

// Differing bits between bytes[i] and bytes[i + lag] for i < pairs.
BITLOUPE_INLINE int64_t byte_lag_differences(const uint8_t* bytes, int64_t pairs, int64_t lag)
{
    int64_t differ = 0, i = 0;
    for (; i + 8 <= pairs; i += 8) differ += std::popcount(load_word(bytes + i) ^ load_word(bytes + i + lag));
    for (; i < pairs; ++i) differ += std::popcount(static_cast<uint32_t>(bytes[i] ^ bytes[i + lag]));
    return differ;
}

// Differing bits between bit i and bit i + 8 * lag + shift (shift -7 to 7)
// for the bits of bytes[0 .. pairs - 1], reading no byte at or past
// `available`: eight bytes at a time (as big-endian words, so that the
// stream's bits run from the top down), then the rest a byte at a time.
BITLOUPE_INLINE int64_t bit_lag_differences(const uint8_t* bytes, int64_t pairs, int64_t available, int64_t lag,
                                            int32_t shift)
{
    int64_t differ = 0;
    const int64_t from = lag + (shift < 0 ? -1 : 0);
    const int32_t down = shift < 0 ? -shift : 8 - shift;  // the other byte's bits within two bytes
    int64_t i = 0;
    if (down < 8) {
        for (; i + 8 <= pairs && from + i + 8 < available; i += 8) {
            const uint64_t here = __builtin_bswap64(load_word(bytes + i));
            const uint64_t there = (__builtin_bswap64(load_word(bytes + from + i)) << (8 - down)) |
                                   (bytes[from + i + 8] >> down);
            differ += std::popcount(here ^ there);
        }
    }
    for (; i < pairs && from + i + 1 < available; ++i) {
        const uint32_t two = (uint32_t{bytes[from + i]} << 8) | bytes[from + i + 1];
        differ += std::popcount(static_cast<uint32_t>(bytes[i] ^ ((two >> down) & 0xFF)));
    }
    return differ;
}

// What a window's first tests need of each half of it (STEP bytes, shared
// by the two windows that hold it): how many bytes have each bit position
// set, and how many bits differ from the bit after them in the stream (the
// pixel beside them in a row).
struct HalfCounts {
    int32_t ones[8];  // by position, most significant first
    int32_t beside;
    // The byte values used, one bit each, made only when asked for.
    bool valued;
    uint64_t values[4];
    // Differing bits between each of its bytes and the byte `lag` on, for
    // every lag 1 .. ROW_LAGS, made only when asked for.
    bool lagged;
    int32_t lags[ROW_LAGS + 1];
};

// The counts of bytes[0 .. STEP - 1]; `next` says whether the byte after
// them may be read (its first bit is beside the last byte's last one).
BITLOUPE_INLINE HalfCounts half_counts(const uint8_t* bytes, bool next)
{
    constexpr uint64_t LOW = 0x0101010101010101;
    constexpr uint64_t TOPS = 0x8080808080808080;
    HalfCounts c{};
    for (int64_t i = 0; i < STEP; i += 8) {
        const uint64_t w = load_word(bytes + i);  // bytes in lanes, byte i + k in lane k
        for (int32_t b = 0; b < 8; ++b) c.ones[b] += std::popcount(w & (LOW << (7 - b)));
        // Within each byte, bit k against bit k + 1; across bytes, the last
        // bit against the next byte's first.
        uint64_t after = 0;
        if (i + 8 < STEP || next) {
            after = load_word(bytes + i + 1);
        } else {
            std::memcpy(&after, bytes + i + 1, 7);
        }
        uint64_t cross = ((w << 7) ^ after) & TOPS;
        if (i + 8 >= STEP && !next) cross &= ~(uint64_t{0x80} << 56);
        c.beside += std::popcount(((w ^ (w >> 1)) & ~TOPS) | cross);
    }
    return c;
}

// The byte values bytes[0 .. count - 1] use, one bit each. The bytes are
// spread over four sets in turn, so that a run of one value does not wait
// on its own last update.
BITLOUPE_INLINE void used_values(const uint8_t* bytes, int64_t count, uint64_t* values)
{
    uint64_t sets[4][4] = {};
    for (int64_t i = 0; i < count; ++i) sets[i & 3][bytes[i] >> 6] |= uint64_t{1} << (bytes[i] & 63);
    for (int32_t w = 0; w < 4; ++w) values[w] = sets[0][w] | sets[1][w] | sets[2][w] | sets[3][w];
}

// Whether the window at `bytes` is text of the Latin letters in UTF-16 or
// UTF-32 (programs keep wide strings in either): of every four bytes, the
// two of one parity, or three of them, nearly all 0, the others nearly
// never 0 or a control character (a few characters past U+00FF give a
// few of each).
constexpr int32_t WIDE_TEXT_CONTROLS = 4;  // control values the text's bytes may hold
BITLOUPE_INLINE bool wide_text(const uint8_t* bytes)
{
    // Eight bytes at a time: byte i of the window is byte i % 8 of a word,
    // its place of four that byte's and the one four on.
    constexpr uint64_t EVERY = 0x0101010101010101;
    int32_t zeros[4] = {}, controls[4] = {};
    for (int64_t i = 0; i < WINDOW; i += 8) {
        const uint64_t x = load_word(bytes + i), zero = zero_bytes(x);
        const uint64_t control = zero_bytes(x & (0xE0 * EVERY)) & ~zero & ~zero_bytes(x ^ ('\t' * EVERY)) &
                                 ~zero_bytes(x ^ ('\n' * EVERY)) & ~zero_bytes(x ^ ('\r' * EVERY));
        for (int32_t k = 0; k < 4; ++k) {
            const uint64_t place = uint64_t{0x80} << (8 * k) | uint64_t{0x80} << (8 * (k + 4));
            zeros[k] += std::popcount(zero & place);
            controls[k] += std::popcount(control & place);
        }
    }
    constexpr int32_t QUARTER = WINDOW / 4, SLACK = QUARTER / 16;
    int32_t text = 0, zero = 0, first_text = 0;
    for (int32_t k = 0; k < 4; ++k) {
        if (zeros[k] >= QUARTER - SLACK) {
            ++zero;
        } else if (zeros[k] <= SLACK && controls[k] <= SLACK) {
            if (text++ == 0) first_text = k;
        }
    }
    // UTF-32: one place of four is text; UTF-16: every other place.
    return zero + text == 4 && (text == 1 || (text == 2 && zeros[(first_text + 2) & 3] <= SLACK));
}

// How much the window at `bytes` (with `available` bytes from there on)
// looks like rows of whole bytes: 0 not at all. `first` and `second` are
// the counts of its halves. The tests go from the cheapest to the dearest,
// so that most windows of most files are turned away early; the first of
// them, a glance at the values of the first bytes, is the caller's.
// How far rows `lag` bytes apart match better than the same rows shifted a
// pixel or two sideways: 0 when they do not.
BITLOUPE_INLINE double lag_contrast(const uint8_t* bytes, int64_t available, const double* density,
                                    double expected_same, int64_t lag, double& ratio)
{
    const int64_t pairs = std::min(WINDOW, available - lag);
    if (pairs < WINDOW / 2) return ratio = 2.0, 0.0;
    ratio = static_cast<double>(byte_lag_differences(bytes, pairs, lag)) / (static_cast<double>(pairs) * 8 * expected_same);
    double side = 0;
    for (int32_t shift : {-2, -1, 1, 2}) {
        const double expected = shuffled_mismatch(density, (shift + 8) % 8);
        if (expected < 1e-9) return 0;
        side += std::min(1.0, static_cast<double>(bit_lag_differences(bytes, pairs, available, lag, shift)) /
                                  (static_cast<double>(pairs) * 8 * expected));
    }
    return std::max(0.0, side / 4 - ratio);
}

// How much the window at `bytes` (with `available` bytes from there on)
// looks like rows of whole bytes: 0 not at all; the row in `lag`. `first`
// and `second` are the counts of its halves. The tests go from the
// cheapest to the dearest, so that most windows of most files are turned
// away early; the first of them, a glance at the values of the first
// bytes, is the caller's. A window that continues rows of `last_lag` bytes
// is tried at that row first.
BITLOUPE_INLINE double window_score_body(const uint8_t* bytes, int64_t available, HalfCounts& first,
                                         HalfCounts& second, int64_t last_lag, int64_t& lag, int64_t& wide,
                                         double& match)
{
    double density[8];
    for (int32_t b = 0; b < 8; ++b) density[b] = (first.ones[b] + second.ones[b]) / static_cast<double>(WINDOW);
    const double expected_same = shuffled_mismatch(density, 0);
    if (expected_same < 1e-9) return 0;
    // Pixels beside one another in a row are alike; in text and most code
    // they are not. A window that fails that test or uses many values for
    // it must show its rows all the more clearly.
    const double beside = static_cast<double>(first.beside + second.beside) /
                          (static_cast<double>(WINDOW) * 8 * std::max(1e-9, shuffled_mismatch(density, 1)));
    bool doubtful = beside > MOST_BESIDE;
    // Pictures repeat a small stock of byte values; code uses many.
    int32_t distinct = 0;
    for (HalfCounts* half : {&first, &second})
        if (!half->valued) {
            used_values(bytes + (half == &first ? 0 : STEP), STEP, half->values);
            half->valued = true;
        }
    for (int32_t w = 0; w < 4; ++w) distinct += std::popcount(first.values[w] | second.values[w]);
    if (distinct < 3 || distinct > MOST_DISTINCT) return 0;
    doubtful |= distinct > MANY_VALUES && beside > MOST_BESIDE_VARIED;
    // Text in columns matches row to row too; it never gets that chance.
    constexpr uint64_t TEXT_BELOW_64 = ~uint64_t{0xFFFFFFFF} | uint64_t{1} << '\t' | uint64_t{1} << '\n' | uint64_t{1} << '\r';
    if (doubtful && ((first.values[0] | second.values[0]) & ~TEXT_BELOW_64) == 0 &&
        ((first.values[1] | second.values[1]) >> 63) == 0 && (first.values[2] | second.values[2] | first.values[3] | second.values[3]) == 0)
        return 0;
    // Nor does text in UTF-16 or UTF-32, whose zero bytes line up at every
    // even lag.
    const uint64_t low = first.values[0] | second.values[0];
    if ((low & 1) && std::popcount(low & ~TEXT_BELOW_64 & ~uint64_t{1}) <= WIDE_TEXT_CONTROLS && wide_text(bytes)) return 0;

    double ratio = 0;
    if (last_lag > 0 && !doubtful) {
        const double contrast = lag_contrast(bytes, available, density, expected_same, last_lag, ratio);
        if (contrast >= WINDOW_DIP && 1.0 - ratio >= WINDOW_DIP) return lag = last_lag, match = ratio, contrast;
    }
    double best = 2.0;
    int64_t best_lag = 0;
    if (available >= WINDOW + ROW_LAGS) {
        // Every lag compares the whole window: the sums of its halves,
        // each half's shared with the window that overlaps it.
        for (HalfCounts* half : {&first, &second})
            if (!half->lagged) {
                const uint8_t* from = bytes + (half == &first ? 0 : STEP);
                for (int64_t l = 1; l <= ROW_LAGS; ++l) half->lags[l] = static_cast<int32_t>(byte_lag_differences(from, STEP, l));
                half->lagged = true;
            }
        double ratio_at[ROW_LAGS + 1];
        for (int64_t l = 1; l <= ROW_LAGS; ++l) {
            const double r = static_cast<double>(first.lags[l] + second.lags[l]) /
                             (static_cast<double>(WINDOW) * 8 * expected_same);
            ratio_at[l] = r;
            if (r < best) best = r, best_lag = l;
        }
        for (int64_t l = 2 * best_lag; best_lag > 0 && l <= ROW_LAGS; l += best_lag)
            if (ratio_at[l] <= best + WIDE_SLACK) wide = l;
    } else {
        for (int64_t l = 1; l <= ROW_LAGS; ++l) {
            const int64_t pairs = std::min(WINDOW, available - l);
            if (pairs < WINDOW / 2) break;
            const double r = static_cast<double>(byte_lag_differences(bytes, pairs, l)) /
                             (static_cast<double>(pairs) * 8 * expected_same);
            if (r < best) best = r, best_lag = l;
        }
    }
    if (best_lag == 0 || 1.0 - best < WINDOW_DIP) return 0;
    if (doubtful && best > DOUBTFUL_MOST_RATIO) return 0;
    lag = best_lag, match = best;
    const double contrast = lag_contrast(bytes, available, density, expected_same, best_lag, ratio);
    if (contrast < WINDOW_DIP && best <= SMOOTH_RATIO && beside <= SMOOTH_BESIDE) return WINDOW_DIP;
    return contrast;
}

BITLOUPE_INLINE std::vector<ScanSpan> scan_spans_at_level_body(const uint8_t* bytes, int64_t length, int64_t base,
                                                      int64_t windows_end)
{
    std::vector<ScanSpan> spans;
    if (!bytes) return spans;
    // The counts of the halves at `counted` and the one after it, made when
    // a window first needs them.
    HalfCounts halves[2]{};
    int64_t counted = -1;
    // Random and compressed data (most windows of most files) at a glance:
    // the first bytes of each half, a window's second half being the next
    // one's first. A window passes when either of its halves does, so that
    // a picture of a window or a little more whose window starts in such
    // filler is not passed over.
    // The values seen, a bit each, in two sets of four words held in
    // registers (a byte's word chosen without a branch or a store), the
    // bytes taken into the sets in turn; the first half's values are kept
    // for the whole glance.
    auto noise = [&](int64_t from) __attribute__((always_inline)) {
        uint64_t sets[2][4] = {};
        auto add = [&](int64_t first, int64_t end) __attribute__((always_inline)) {
            for (int64_t i = first; i < end; i += 2)
                for (int32_t k = 0; k < 2; ++k) {
                    const uint8_t b = bytes[from + i + k];
                    const uint64_t bit = uint64_t{1} << (b & 63);
                    for (uint32_t w = 0; w < 4; ++w) sets[k][w] |= (b >> 6) == w ? bit : 0;
                }
        };
        auto distinct = [&] {
            int32_t count = 0;
            for (int32_t w = 0; w < 4; ++w) count += std::popcount(sets[0][w] | sets[1][w]);
            return count;
        };
        add(0, GLANCE / 2);
        if (distinct() > MOST_AT_A_SHORT_GLANCE) return true;
        add(GLANCE / 2, GLANCE);
        return distinct() > MOST_AT_A_GLANCE;
    };
    bool half_noise = length >= GLANCE && noise(0);
    for (int64_t at = 0; at + WINDOW <= length && at < windows_end; at += STEP) {
        const int64_t available = std::min(length - at, WINDOW_NEED);
        const bool first_noise = half_noise;
        half_noise = noise(at + STEP);
        if (first_noise && half_noise) continue;
        if (counted != at) {
            if (counted == at - STEP) {
                halves[0] = halves[1];
            } else {
                halves[0] = half_counts(bytes + at, true);
            }
            halves[1] = half_counts(bytes + at + STEP, at + WINDOW < length);
            counted = at;
        }
        const bool going = !spans.empty() && spans.back().end >= base + at;
        int64_t lag = 0, wide = 0;
        double match = 1;
        if (window_score_body(bytes + at, available, halves[0], halves[1], going ? spans.back().lag : 0, lag, wide, match) <
            WINDOW_DIP)
            continue;
        // Rows of another width start a span of their own.
        if (going && spans.back().lag == lag) {
            spans.back().end = base + at + WINDOW;
            spans.back().windows++;
            spans.back().wide = std::max(spans.back().wide, wide);
            spans.back().match = std::min(spans.back().match, match);
        } else {
            spans.push_back(ScanSpan{base + at, base + at + WINDOW, 1, lag, wide, match});
        }
    }
    return spans;
}

BITLOUPE_LEVELS(std::vector<ScanSpan>, scan_spans_at_level,
                (const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end),
                (bytes, length, base, windows_end))

}  // namespace

namespace {

// Whether a span (merged) has windows enough to be a region, and one of
// them whose rows match clearly: the spans in code and tables whose windows
// all match barely better than WINDOW_DIP asks are many and seldom give a
// region worth listing.
bool may_be_region(const ScanSpan& span)
{
    // Windows overlap: a span of n windows in a row is (n + 1) steps long.
    return span.windows >= LEAST_FLAGGED && span.match <= SPAN_MOST_MATCH &&
           static_cast<double>((span.windows + 1) * STEP) >= FLAGGED_SHARE * static_cast<double>(span.end - span.start);
}

}  // namespace

namespace {

// Whether a span of the chunk whose windows start from `base` up to `base +
// windows_end` lies too far from the windows of other chunks to join their
// spans (the windows before `base` end by base + WINDOW).
bool inner_span(const ScanSpan& s, int64_t base, int64_t windows_end)
{
    return s.start > base + WINDOW + JOIN_GAP && s.end + JOIN_GAP < base + windows_end;
}

}  // namespace

std::vector<ScanSpan> scan_spans(const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end)
{
    // Spans too far from the edges of the windows judged here to join the
    // spans of other chunks, and too thin to be regions, are dropped now:
    // a large file's thousands of them are not held until the end.
    std::vector<ScanSpan> spans = merge_spans(scan_spans_at_level(bytes, length, base, windows_end));
    std::erase_if(spans, [&](const ScanSpan& s) { return inner_span(s, base, windows_end) && !may_be_region(s); });
    return spans;
}

bool judge_inner_spans(std::vector<ScanSpan>& spans, int64_t base, int64_t windows_end, const ScanRead& read,
                       int64_t size, int64_t min_bytes, std::vector<JudgedRegion>& judged)
{
    std::vector<FoundRegion> found;
    bool failed = false;
    std::erase_if(spans, [&](const ScanSpan& s) {
        if (failed || !inner_span(s, base, windows_end)) return false;
        found.clear();
        judge_span(read, size, s, min_bytes, found, failed);
        for (size_t k = 0; k < found.size(); ++k) judged.push_back(JudgedRegion{found[k], s.start, k});
        return true;
    });
    return !failed;
}

std::vector<ScanSpan> merge_spans(std::vector<ScanSpan> spans)
{
    std::sort(spans.begin(), spans.end(), [](const ScanSpan& a, const ScanSpan& b) { return a.start < b.start; });
    std::vector<ScanSpan> merged;
    for (const ScanSpan& s : spans) {
        if (!merged.empty() && s.lag == merged.back().lag && s.start <= merged.back().end + JOIN_GAP) {
            merged.back().end = std::max(merged.back().end, s.end);
            merged.back().windows += s.windows;
            merged.back().wide = std::max(merged.back().wide, s.wide);
            merged.back().match = std::min(merged.back().match, s.match);
        } else
            merged.push_back(s);
    }
    return merged;
}

namespace {


}  // namespace

namespace {

// The rows of bytes[0 .. n - 1], `width` bits each from the first bit, as
// words of 64 bits, the row's first bit the top bit of its first word and
// the bits past the row's end 0: `words` to a row.
std::vector<uint64_t> row_words(const uint8_t* bytes, int64_t n, int32_t width, int64_t rows, int32_t words)
{
    std::vector<uint64_t> out(static_cast<size_t>(rows * words), 0);
    const uint64_t last = width % 64 == 0 ? ~uint64_t{0} : ~uint64_t{0} << (64 - width % 64);
    for (int64_t r = 0; r < rows; ++r)
        for (int32_t k = 0; k < words; ++k) {
            const int64_t bit = r * width + int64_t{64} * k, at = bit >> 3;
            if ((bit & 7) == 0 && at + 8 <= n) {
                // Whole bytes, all there: one load.
                const uint64_t v = __builtin_bswap64(load_word(bytes + at));
                out[static_cast<size_t>(r * words + k)] = k + 1 == words ? v & last : v;
                continue;
            }
            uint8_t nine[9] = {};
            std::memcpy(nine, bytes + at, static_cast<size_t>(std::min<int64_t>(9, n - at)));
            uint64_t v = __builtin_bswap64(load_word(nine));
            if (bit & 7) v = v << (bit & 7) | nine[8] >> (8 - (bit & 7));
            out[static_cast<size_t>(r * words + k)] = k + 1 == words ? v & last : v;
        }
    return out;
}

}  // namespace

namespace {

// What row_statistics counts: of every column, the rows it is set in; of
// the rows, the bits that differ from the bit below and from the bit
// beside, the blank and repeated rows, and of the pixels with a neighbour
// on every side, the isolated and the set ones.
struct RowCounts {
    std::vector<int64_t> ones;
    int64_t below = 0, beside = 0, blank = 0, repeated = 0, isolated = 0, set = 0;
    // The isolated pixels of each ISOLATED_BLOCK rows in turn.
    std::vector<int64_t> isolated_by_block;
    std::vector<int32_t> row_set;  // the bits set in each row
    int64_t plain_bytes = -1;      // 00 and FF bytes, when counted with the rows (rows of a byte)
};

// Rows counted together for the isolated pixels: a few glyphs of shading
// (every pixel isolated) in a font weigh as a few blocks, not as the whole.
constexpr int64_t ISOLATED_BLOCK = 64;
// Rows looked at for bands of rows set alike.
constexpr int64_t BAND_ROWS = 512;

// The counts of rows a byte wide: the common case, and the same counts as
// the general way below. Rows with a row above and below them go eight at
// a time, a row a byte of a word (every operation kept within its byte);
// the first and the last rows, and those left over, one at a time.
void count_byte_rows(const uint8_t* bytes, int64_t rows, RowCounts& c)
{
    c.row_set.resize(static_cast<size_t>(std::min(rows, BAND_ROWS)));
    for (size_t r = 0; r < c.row_set.size(); ++r) c.row_set[r] = std::popcount(static_cast<uint32_t>(bytes[r]));
    int64_t ones[8] = {};
    auto one_row = [&](int64_t r) {
        const uint32_t x = bytes[r];
        for (int32_t col = 0; col < 8; ++col) ones[col] += x >> (7 - col) & 1;
        c.beside += std::popcount((x ^ (x >> 1)) & 0x7Fu);
        const bool plain = x == 0 || x == 0xFF;
        c.blank += plain;
        if (r > 0) c.repeated += !plain && x == bytes[r - 1];
        if (r + 1 < rows) c.below += std::popcount(x ^ bytes[r + 1]);
        if (r == 0 || r + 1 == rows) return;
        const uint32_t up = bytes[r - 1], down = bytes[r + 1];
        // Column c is bit 7 - c: a byte shifted right holds each pixel's
        // left neighbour, shifted left (within the byte) its right one.
        const uint32_t any = up | up >> 1 | (up << 1 & 0xFF) | x >> 1 | (x << 1 & 0xFF) | down | down >> 1 | (down << 1 & 0xFF);
        const uint32_t all = up & up >> 1 & (up << 1 & 0xFF) & x >> 1 & (x << 1 & 0xFF) & down & down >> 1 & (down << 1 & 0xFF);
        const int64_t alone = std::popcount(((x & ~any) | (~x & all)) & 0x7Eu);
        c.isolated += alone;
        if ((r - 1) % ISOLATED_BLOCK == 0) c.isolated_by_block.push_back(0);
        c.isolated_by_block.back() += alone;
        c.set += std::popcount(x & 0x7Eu);
    };
    constexpr uint64_t LOW = 0x0101010101010101u, BELOW_TOP = 0x7F7F7F7F7F7F7F7Fu, ABOVE_BOTTOM = 0xFEFEFEFEFEFEFEFEu,
                       INNER = 0x7E7E7E7E7E7E7E7Eu;
    // Each byte shifted within itself: its left and right neighbours.
    auto left = [](uint64_t v) { return v >> 1 & BELOW_TOP; };
    auto right = [](uint64_t v) { return v << 1 & ABOVE_BOTTOM; };
    if (rows > 0) one_row(0);
    int64_t r = 1;
    // Rows r .. r + 7 all inside (r + 8 < rows); groups start one past a
    // multiple of 8, so that a group never straddles two blocks.
    for (; r + 8 < rows; r += 8) {
        const uint64_t x = load_word(bytes + r), up = load_word(bytes + r - 1), down = load_word(bytes + r + 1);
        for (int32_t col = 0; col < 8; ++col) ones[col] += std::popcount(x & LOW << (7 - col));
        c.beside += std::popcount((x ^ x >> 1) & BELOW_TOP);
        const uint64_t plain = zero_bytes(x) | zero_bytes(~x);
        c.blank += std::popcount(plain);
        c.repeated += std::popcount(zero_bytes(x ^ up) & ~plain);
        c.below += std::popcount(x ^ down);
        const uint64_t any = up | left(up) | right(up) | left(x) | right(x) | down | left(down) | right(down);
        const uint64_t all = up & left(up) & right(up) & left(x) & right(x) & down & left(down) & right(down);
        const int64_t alone = std::popcount(((x & ~any) | (~x & all)) & INNER);
        c.isolated += alone;
        if ((r - 1) % ISOLATED_BLOCK == 0) c.isolated_by_block.push_back(0);
        c.isolated_by_block.back() += alone;
        c.set += std::popcount(x & INNER);
    }
    for (; r < rows; ++r) one_row(r);
    c.plain_bytes = c.blank;
    c.ones.assign(ones, ones + 8);
}

// The counts of rows of W = 16 or 32 bits (two or four bytes), the same
// counts as the general way below: 64 / W rows at a time, a row a lane of
// a word read big-endian (the first row in the top lane, a row's first
// column the lane's top bit), every operation kept within its lane. Lanes
// past the last row, and those without a row above or below where a count
// needs one, are masked off.
template <int32_t W>
void count_lane_rows(const uint8_t* bytes, int64_t n, int64_t rows, RowCounts& c)
{
    static_assert(W == 16 || W == 32);
    constexpr int32_t LANES = 64 / W, B = W / 8;
    constexpr uint64_t LANE = (uint64_t{1} << W) - 1;
    constexpr uint64_t BOTTOMS = ~uint64_t{0} / LANE;  // each lane's last column
    constexpr uint64_t TOPS = BOTTOMS << (W - 1);      // and its first
    constexpr uint64_t FIRST_LANE = LANE << (64 - W);
    // The word of bytes[at .. at + 7], big-endian; bytes past the sample 0.
    auto word = [&](int64_t at) {
        if (at + 8 <= n) return __builtin_bswap64(load_word(bytes + at));
        uint8_t eight[8] = {};
        if (at < n) std::memcpy(eight, bytes + at, static_cast<size_t>(n - at));
        return __builtin_bswap64(load_word(eight));
    };
    // The top bit of each lane that is all 0.
    auto zero_lanes = [](uint64_t x) { return ~(((x & ~TOPS) + ~TOPS) | x | ~TOPS); };
    auto lanes = [](int64_t count) { return count <= 0 ? 0 : count >= LANES ? ~uint64_t{0} : ~(~uint64_t{0} >> (W * count)); };
    auto left = [](uint64_t v) { return v >> 1 & ~TOPS; };
    auto right = [](uint64_t v) { return v << 1 & ~BOTTOMS; };
    const int64_t groups = (rows + LANES - 1) / LANES;
    // The columns' counts as binary numbers, a bit plane a word.
    const size_t depth = static_cast<size_t>(std::bit_width(static_cast<uint64_t>(groups)));
    std::vector<uint64_t> planes(depth, 0);
    c.isolated_by_block.assign(static_cast<size_t>(rows > 2 ? (rows - 2 + ISOLATED_BLOCK - 1) / ISOLATED_BLOCK : 0), 0);
    c.row_set.reserve(static_cast<size_t>(std::min(rows, BAND_ROWS)));
    for (int64_t r = 0; r < rows; r += LANES) {
        const uint64_t x = word(r * B), down = word((r + 1) * B);
        const uint64_t up = r > 0 ? word((r - 1) * B) : x >> W;
        const uint64_t valid = lanes(rows - r), below_rows = lanes(rows - 1 - r);
        const uint64_t above_rows = r > 0 ? valid : valid & ~FIRST_LANE, inside = above_rows & below_rows;
        const uint64_t v = x & valid;
        for (uint64_t carry = v, p = 0; carry; ++p) {
            const uint64_t next = planes[p] & carry;
            planes[p] ^= carry;
            carry = next;
        }
        for (int32_t i = 0; i < LANES && r + i < std::min(rows, BAND_ROWS); ++i)
            c.row_set.push_back(std::popcount(v >> (64 - W * (i + 1)) & LANE));
        c.beside += std::popcount((x ^ x << 1) & ~BOTTOMS & valid);
        const uint64_t plain = (zero_lanes(x) | zero_lanes(~x)) & valid;
        c.blank += std::popcount(plain);
        c.repeated += std::popcount(zero_lanes(x ^ up) & ~plain & above_rows);
        c.below += std::popcount((x ^ down) & below_rows);
        const uint64_t any = up | left(up) | right(up) | left(x) | right(x) | down | left(down) | right(down);
        const uint64_t all = up & left(up) & right(up) & left(x) & right(x) & down & left(down) & right(down);
        const uint64_t inner = inside & ~TOPS & ~BOTTOMS;
        const uint64_t alone = ((x & ~any) | (~x & all)) & inner;
        c.set += std::popcount(x & inner);
        const int64_t count = std::popcount(alone);
        c.isolated += count;
        if (count == 0) continue;
        // Blocks hold rows 1 .. 64, 65 .. 128, ...: a group that starts a
        // multiple of 64 rows in has its first row in the block before.
        // (The next block has a row here only when the group holds pixels
        // past its first row: the last rows of all have none.)
        if (r > 0 && r % ISOLATED_BLOCK == 0) {
            const int64_t first = std::popcount(alone & FIRST_LANE);
            c.isolated_by_block[static_cast<size_t>((r - 1) / ISOLATED_BLOCK)] += first;
            if (count > first) c.isolated_by_block[static_cast<size_t>(r / ISOLATED_BLOCK)] += count - first;
        } else {
            c.isolated_by_block[static_cast<size_t>(r / ISOLATED_BLOCK)] += count;
        }
    }
    c.ones.assign(static_cast<size_t>(W), 0);
    for (int32_t bit = 0; bit < 64; ++bit) {
        int64_t total = 0;
        for (size_t p = 0; p < depth; ++p) total += static_cast<int64_t>(planes[p] >> (63 - bit) & 1) << p;
        c.ones[static_cast<size_t>(bit % W)] += total;
    }
}

// The counts of rows of any width, a word of 64 bits at a time.
void count_rows(const uint8_t* bytes, int64_t n, int32_t width, int64_t rows, RowCounts& c)
{
    const int32_t words = (width + 63) / 64;
    const std::vector<uint64_t> bits = row_words(bytes, n, width, rows, words);
    auto row = [&](int64_t r) { return bits.data() + r * words; };
    // Masks by word: the columns with a column after them in the row, and
    // the columns with one on each side.
    std::vector<uint64_t> paired(static_cast<size_t>(words)), inner(static_cast<size_t>(words));
    for (int32_t k = 0; k < words; ++k) {
        const int32_t first = width - 1 - 64 * k;  // the word's columns 0 .. first - 1 have one after them
        paired[static_cast<size_t>(k)] = first >= 64 ? ~uint64_t{0} : first <= 0 ? 0 : ~uint64_t{0} << (64 - first);
        inner[static_cast<size_t>(k)] = paired[static_cast<size_t>(k)] & (k == 0 ? ~(uint64_t{1} << 63) : ~uint64_t{0});
    }

    // The columns' counts: for rows of one or two bytes, from how often each
    // byte of a row holds each value (far fewer steps than a step a set bit).
    std::vector<int64_t> ones(static_cast<size_t>(width), 0);
    const int32_t row_bytes = width <= 16 ? (width + 7) / 8 : 0;
    std::vector<int64_t> values(static_cast<size_t>(row_bytes) * 256, 0);
    // For wider rows, each column's count as a binary number, its bits in
    // `depth` words (bit p of every column of a word in one), so that a row
    // is added a word at a time.
    const size_t depth = static_cast<size_t>(std::bit_width(static_cast<uint64_t>(rows)));
    std::vector<uint64_t> planes(row_bytes > 0 ? 0 : static_cast<size_t>(words) * depth, 0);
    int64_t below = 0, beside = 0, blank = 0, repeated = 0, isolated = 0, set = 0;
    for (int64_t r = 0; r < rows; ++r) {
        const uint64_t* here = row(r);
        int64_t count = 0;
        bool same_as_above = r > 0;
        for (int32_t k = 0; k < words; ++k) {
            const uint64_t x = here[k];
            count += std::popcount(x);
            if (row_bytes > 0) {
                for (int32_t j = 0; j < row_bytes; ++j) ++values[static_cast<size_t>(j * 256 + (x >> (56 - 8 * j) & 0xFF))];
            } else {
                // A binary counter a bit plane a word: x added to it.
                uint64_t* plane = planes.data() + static_cast<size_t>(k) * depth;
                for (uint64_t carry = x, p = 0; carry; ++p) {
                    const uint64_t next = plane[p] & carry;
                    plane[p] ^= carry;
                    carry = next;
                }
            }
            const uint64_t next = (x << 1) | (k + 1 < words ? here[k + 1] >> 63 : 0);
            beside += std::popcount((x ^ next) & paired[static_cast<size_t>(k)]);
            if (r + 1 < rows) below += std::popcount(x ^ row(r + 1)[k]);
            if (r > 0) same_as_above &= x == row(r - 1)[k];
        }
        const bool plain = count == 0 || count == width;
        if (r < BAND_ROWS) c.row_set.push_back(static_cast<int32_t>(count));
        blank += plain;
        repeated += same_as_above && !plain;
        if (r == 0 || r + 1 == rows) continue;
        // Isolated pixels: strokes and blank space have next to none. A
        // pixel is isolated when none of its eight neighbours is alike.
        const uint64_t *up = row(r - 1), *down = row(r + 1);
        if ((r - 1) % ISOLATED_BLOCK == 0) c.isolated_by_block.push_back(0);
        for (int32_t k = 0; k < words; ++k) {
            auto left = [&](const uint64_t* w) { return w[k] >> 1 | (k > 0 ? w[k - 1] << 63 : 0); };
            auto right = [&](const uint64_t* w) { return w[k] << 1 | (k + 1 < words ? w[k + 1] >> 63 : 0); };
            const uint64_t any = up[k] | left(up) | right(up) | left(here) | right(here) | down[k] | left(down) | right(down);
            const uint64_t all = up[k] & left(up) & right(up) & left(here) & right(here) & down[k] & left(down) & right(down);
            const uint64_t mask = inner[static_cast<size_t>(k)], x = here[k];
            const int64_t alone = std::popcount(((x & ~any) | (~x & all)) & mask);
            isolated += alone;
            c.isolated_by_block.back() += alone;
            set += std::popcount(x & mask);
        }
    }
    // Each value adds its count to the columns of its set bits (all eight
    // at once, without a branch on the bits).
    for (int32_t j = 0; j < row_bytes; ++j) {
        int64_t by_bit[8] = {};
        for (int32_t v = 1; v < 256; ++v)
            for (int32_t b = 0; b < 8; ++b) by_bit[b] += (v >> (7 - b) & 1) * values[static_cast<size_t>(j * 256 + v)];
        for (int32_t b = 0; b < 8 && 8 * j + b < width; ++b) ones[static_cast<size_t>(8 * j + b)] = by_bit[b];
    }
    if (row_bytes == 0)
        for (int32_t c = 0; c < width; ++c) {
            const uint64_t* plane = planes.data() + static_cast<size_t>(c / 64) * depth;
            for (size_t p = 0; p < depth; ++p) ones[static_cast<size_t>(c)] += static_cast<int64_t>(plane[p] >> (63 - c % 64) & 1) << p;
        }
    c.ones = std::move(ones);
    c.below = below, c.beside = beside, c.blank = blank, c.repeated = repeated, c.isolated = isolated, c.set = set;
}

}  // namespace

RowStatistics row_statistics(const uint8_t* bytes, int64_t n, int32_t width)
{
    RowStatistics st;
    st.rows = n * 8 / width;
    if (st.rows < 2 || width < 2) return st;
    RowCounts counts;
    if (width == 8)
        count_byte_rows(bytes, st.rows, counts);
    else if (width == 16)
        count_lane_rows<16>(bytes, n, st.rows, counts);
    else if (width == 32)
        count_lane_rows<32>(bytes, n, st.rows, counts);
    else
        count_rows(bytes, n, width, st.rows, counts);
    const std::vector<int64_t>& ones = counts.ones;
    const int64_t below = counts.below, beside = counts.beside, blank = counts.blank, repeated = counts.repeated,
                  isolated = counts.isolated, set = counts.set;
    st.density.resize(static_cast<size_t>(width));
    double expected_below = 0, expected_beside = 0;
    int64_t active = 0;
    for (int32_t c = 0; c < width; ++c) {
        const double p = static_cast<double>(ones[static_cast<size_t>(c)]) / static_cast<double>(st.rows);
        st.density[static_cast<size_t>(c)] = p;
        active += ones[static_cast<size_t>(c)] > 0 && ones[static_cast<size_t>(c)] < st.rows;
        expected_below += 2 * p * (1 - p);
        if (c > 0) {
            const double q = st.density[static_cast<size_t>(c - 1)];
            expected_beside += p * (1 - q) + q * (1 - p);
        }
    }
    expected_below *= static_cast<double>(st.rows - 1);
    expected_beside *= static_cast<double>(st.rows);
    st.vertical = expected_below > 0 ? static_cast<double>(below) / expected_below : 1;
    // Seen a byte at a time, whatever the width: glyphs and line art are
    // mostly blank (00) or solid (FF) bytes, and a byte of a stroke often
    // continues in the byte below it.
    const int64_t used = st.rows * width / 8, row_bytes = width % 8 == 0 ? width / 8 : 0;
    int64_t plain = counts.plain_bytes, same = counts.repeated;  // rows of a byte: as counted with them
    if (plain < 0) {
        plain = same = 0;
        // Eight bytes at a time.
        int64_t i = 0;
        for (; i + 8 + row_bytes <= used && row_bytes > 0; i += 8) {
            const uint64_t x = load_word(bytes + i), plain_bytes = zero_bytes(x) | zero_bytes(~x);
            plain += std::popcount(plain_bytes);
            same += std::popcount(zero_bytes(x ^ load_word(bytes + i + row_bytes)) & ~plain_bytes);
        }
        for (; i < used; ++i) {
            const bool blank_or_solid = bytes[i] == 0 || bytes[i] == 0xFF;
            plain += blank_or_solid;
            same += !blank_or_solid && row_bytes > 0 && i + row_bytes < used && bytes[i] == bytes[i + row_bytes];
        }
    }
    // Rows set unevenly in bands (glyphs a band high, side by side or one
    // after the other), as the first BAND_ROWS rows show it.
    st.bands = band_spread(counts.row_set, std::min<int64_t>(BAND_ROWS, static_cast<int64_t>(counts.row_set.size())));
    if (used > 0) {
        st.plain_bytes = static_cast<double>(plain) / static_cast<double>(used);
        st.same_bytes = static_cast<double>(same) / static_cast<double>(used);
    }
    st.horizontal = expected_beside > 0 ? static_cast<double>(beside) / expected_beside : 1;
    st.active = static_cast<double>(active) / width;
    {
        // How evenly the changes spread over the columns: 1 when every
        // column varies alike, 1 / width when one column holds them all.
        double sum = 0, squares = 0;
        for (const double p : st.density) sum += p * (1 - p), squares += p * (1 - p) * p * (1 - p);
        st.spread = squares > 0 ? sum * sum / (squares * width) : 0;
    }
    const double inside = static_cast<double>((st.rows - 2) * (width - 2));
    if (inside > 0) {
        const double p = static_cast<double>(set) / inside;
        // Eighth powers by squaring, the same bits on every platform.
        auto eighth = [](double x) { return x * x * (x * x) * (x * x * (x * x)); };
        const double expected = inside * (p * eighth(1 - p) + (1 - p) * eighth(p));
        st.isolated = expected > 0 ? static_cast<double>(isolated) / expected : 0;
        // The same as the median block of rows has them: a few blocks of
        // noise in a picture (the shading glyphs of a font) do not count.
        std::vector<int64_t> blocks = counts.isolated_by_block;
        const int64_t full = (st.rows - 2) / ISOLATED_BLOCK;
        if (full >= 3 && expected > 0) {
            blocks.resize(static_cast<size_t>(full));  // the last, partial one left out
            std::nth_element(blocks.begin(), blocks.begin() + full / 2, blocks.end());
            const double per_row = static_cast<double>(blocks[static_cast<size_t>(full / 2)]) / ISOLATED_BLOCK;
            st.isolated_typical = per_row * static_cast<double>(st.rows - 2) / expected;
        } else {
            st.isolated_typical = st.isolated;
        }
    }
    st.blank = static_cast<double>(blank) / static_cast<double>(st.rows);
    st.repeated = static_cast<double>(repeated) / static_cast<double>(st.rows);
    return st;
}

namespace {

constexpr int64_t EDGE_MARGIN = WINDOW + STEP;  // a picture starts at most this far before its first window
constexpr int64_t EDGE_INSIDE = 1024;  // bytes inside a span from which its edges are looked for
constexpr int64_t EDGE_MOST = int64_t{1} << 20;  // the farthest an edge is looked for past its span
// How far (in 64ths of a bit) the sum of the bytes' scores from inside out
// may fall below its best before the edge is taken as found: 512 bits, a
// few hundred bytes of filler, more than the noisy rows inside a picture
// cost.
constexpr int64_t EDGE_GIVE_UP = 512 * 64;
// A byte past a span counts for it only by what it scores above this share
// (in 256ths) of the average score of the span's own bytes.
constexpr int64_t EDGE_TOLL_SHARE = 64;
// A run of this many bytes of 00 or of FF at most BLANK_REACH bytes past an
// edge may be where the picture ends (a font's blank glyph is 8 to 32 bytes).
constexpr int64_t BLANK_RUN = 128;
constexpr int64_t BLANK_REACH = 2048;
constexpr int64_t EDGE_STRANGE_ROWS = 4;   // rows at most taken off each end for values the middle never uses
constexpr int64_t EDGE_STOCK_BYTES = 1024; // the least middle whose values tell

// Printable ASCII this many bytes in a row is text: rows of 8 pixels may
// look like it (letters in order share their top bits), but no edge is
// pulled out over it.
constexpr int64_t TEXT_RUN = 16;
constexpr int64_t STRING_TABLE = 64;   // the least table of strings ended by NULs
constexpr int64_t STRINGS_LEAST = 3;   // strings in it
constexpr int64_t STRING_GAP = 32;     // bytes between two of its strings

// Bit arrays of a bit a byte (bit i of word i / 64 for byte i), with a
// word of zeros past the end, so that a shift reads nothing past it.
using ByteBits = std::vector<uint64_t>;

// The bits of `bits` that lie in runs of at least TEXT_RUN set bits
// `stride` apart (1: bytes in a row; 2: characters of two bytes, of one
// parity), in place: first where a whole run starts (a bit and the next
// one, and so on doubling), then every bit from there up to the run.
void keep_runs(ByteBits& bits, int32_t stride)
{
    static_assert(TEXT_RUN == 16);
    const size_t words = bits.size();
    for (int32_t s = stride; s < TEXT_RUN * stride; s *= 2)
        for (size_t k = 0; k + 1 < words; ++k) bits[k] &= bits[k] >> s | bits[k + 1] << (64 - s);
    for (int32_t s = stride; s < TEXT_RUN * stride; s *= 2)
        for (size_t k = words; k-- > 0;) bits[k] |= bits[k] << s | (k > 0 ? bits[k - 1] >> (64 - s) : 0);
}

}  // namespace

void mark_text(const uint8_t* bytes, int64_t n, std::vector<uint8_t>& text)
{
    text.assign(static_cast<size_t>(n), 0);
    // Printable ASCII TEXT_RUN bytes in a row, and as many characters in a
    // row in UTF-16, either byte order: the character's byte printable,
    // the other 0 (each run of one parity), both bytes of each character.
    const size_t words = static_cast<size_t>((n + 63) / 64 + 1);
    // And the bytes that strings hold (printable, backspace, escape).
    ByteBits printable(words, 0), zero(words, 0), in_strings(words, 0);
    // Eight bytes at a time, a byte's answer in its top bit, then the eight
    // top bits gathered into eight bits in the bytes' order.
    constexpr uint64_t ONES = 0x0101010101010101u, TOPS = 0x8080808080808080u;
    auto gather = [](uint64_t tops) { return static_cast<uint64_t>(((tops >> 7) * 0x0102040810204080u) >> 56); };
    auto equal = [&](uint64_t x, uint8_t v) { return zero_bytes(x ^ (ONES * v)); };
    for (int64_t at = 0; at < n; at += 8) {
        uint8_t eight[8] = {};
        std::memcpy(eight, bytes + at, static_cast<size_t>(std::min<int64_t>(8, n - at)));
        uint64_t x;
        std::memcpy(&x, eight, 8);
        if constexpr (std::endian::native == std::endian::big) x = __builtin_bswap64(x);
        // 0x20 to 0x7E: the top bit clear, the low seven bits at least 0x20
        // and not 0x7F.
        const uint64_t low = x & ~TOPS;
        const uint64_t shown = (~x & (low + ONES * 0x60) & ~(low + ONES * 0x01) & TOPS) | equal(x, 9) | equal(x, 10) | equal(x, 13);
        const uint64_t strings = shown | equal(x, 8) | equal(x, 0x1B);
        // Past the end, nothing (zero_bytes finds the padding's zeros).
        const uint64_t valid = n - at >= 8 ? 0xFF : (uint64_t{1} << (n - at)) - 1;
        const int32_t shift = static_cast<int32_t>(at & 63);
        const size_t k = static_cast<size_t>(at >> 6);
        printable[k] |= (gather(shown) & valid) << shift;
        zero[k] |= (gather(zero_bytes(x)) & valid) << shift;
        in_strings[k] |= (gather(strings) & valid) << shift;
    }
    // Characters in UTF-16 start where the byte and the one after it are
    // the two (the word past the end holds zeros).
    ByteBits little(words, 0), big(words, 0);
    for (size_t k = 0; k + 1 < words; ++k) {
        little[k] = printable[k] & (zero[k] >> 1 | zero[k + 1] << 63);
        big[k] = zero[k] & (printable[k] >> 1 | printable[k + 1] << 63);
    }
    keep_runs(printable, 1);
    keep_runs(little, 2);
    keep_runs(big, 2);
    ByteBits& marked = printable;
    for (size_t k = 0; k + 1 < words; ++k) {
        const uint64_t starts = little[k] | big[k], before = k > 0 ? little[k - 1] | big[k - 1] : 0;
        marked[k] |= starts | starts << 1 | before >> 63;
    }
    for (size_t k = 0; k + 1 < words; ++k)
        for (uint64_t m = marked[k]; m; m &= m - 1) {
            const size_t at = k * 64 + static_cast<size_t>(std::countr_zero(m));
            if (at < text.size()) text[at] = 1;
        }
    // Tables of strings ended by NULs (messages, keyboard maps: two or more
    // characters of text, backspace and escape among them, then a NUL), at
    // least STRINGS_LEAST one after another with at most STRING_GAP NULs
    // or other short text between, are text too, from the first string's
    // start to the last one's NUL: their NULs would read as blank rows.
    int64_t first = -1, last = -1, count = 0;
    auto flush = [&] {
        if (count >= STRINGS_LEAST && last - first >= STRING_TABLE)
            std::fill(text.begin() + first, text.begin() + last, 1);
        first = -1, count = 0;
    };
    // The first byte from `from` on whose bit in `bits` is `set` (n when
    // there is none).
    auto next = [&](const ByteBits& bits, int64_t from, bool set) {
        for (int64_t k = from >> 6; k * 64 < n; ++k) {
            uint64_t word = set ? bits[static_cast<size_t>(k)] : ~bits[static_cast<size_t>(k)];
            if (k == from >> 6) word &= ~uint64_t{0} << (from & 63);
            if (word) return std::min(n, k * 64 + std::countr_zero(word));
        }
        return n;
    };
    // Runs of bytes that strings hold, and the bytes between them: a byte
    // between that is not 0 ends a table.
    for (int64_t j = 0; j < n;) {
        const int64_t run = next(in_strings, j, true);
        if (first >= 0 && next(zero, j, false) < run) flush();
        if (run == n) break;
        const int64_t k = next(in_strings, run, false);
        if (k - run >= 2 && k < n && bytes[k] == 0) {
            if (first >= 0 && run - last > STRING_GAP) flush();
            if (first < 0) first = run;
            last = k + 1, ++count;
            j = k + 1;
        } else {
            j = k;
            if (first >= 0 && j - last > STRING_GAP) flush();
        }
    }
    flush();
}

namespace {

// --- the rows' phase ---------------------------------------------------------

// Rows of whole bytes start at one byte of every row's worth; an edge found
// byte by byte may fall inside a row, and a picture cut from there shows
// each row's end beside the next one's start. Where rows meet, the last
// pixel of one and the first of the next lie apart in the picture and are
// as alike as chance makes them; at every other byte boundary the two bits
// are neighbours in a row, and pictures' neighbours are alike.
constexpr int32_t PHASE_MOST_BYTES = 8;   // rows wider than this hold cells side by side, whose seams look the same
constexpr int64_t PHASE_LEAST_ROWS = 16;  // rows needed to tell
constexpr double PHASE_LEAST_EXPECTED = 4;  // differing pairs chance gives, for a seam's figure to count
constexpr double PHASE_SHARE = 0.9;       // a seam this close to the least alike one may be where rows meet
constexpr int64_t CELL_LEAST_BLANK = 2;   // blank rows that tell where wider rows start
constexpr int64_t PHASE_BLANK_SHARE = 32;  // a place in the row with 1 / 32 of the most bits set at one, or fewer, is blank

// The byte of each row, counted from bytes[0], that rows of `row` bytes
// holding cells side by side (the glyphs of a sheet) start at; -1 when the
// bytes do not tell. A row wholly blank (00 or FF) is the cells' blank rows
// all at once; read from another byte, a row is blank only where two rows
// one after the other are, so the byte that gives the most blank rows is
// where rows start.
int64_t cell_row_phase(const uint8_t* bytes, int64_t n, int64_t row)
{
    std::vector<int64_t> blank(static_cast<size_t>(row), 0);
    for (int64_t b = 0; b < row; ++b)
        for (int64_t at = b; at + row <= n; at += row) {
            const uint8_t v = bytes[at];
            if (v != 0 && v != 0xFF) continue;
            int64_t i = 1;
            while (i < row && bytes[at + i] == v) ++i;
            blank[static_cast<size_t>(b)] += i == row;
        }
    int64_t best = -1, count = 0;
    bool tie = false;
    for (int64_t b = 0; b < row; ++b) {
        if (blank[static_cast<size_t>(b)] > count) best = b, count = blank[static_cast<size_t>(b)], tie = false;
        else if (blank[static_cast<size_t>(b)] == count) tie = true;
    }
    return count >= CELL_LEAST_BLANK && !tie ? best : -1;
}

// How alike the two bits at seam b of rows `row` bytes wide (the last bit
// of the byte before b and the first of byte b, of every row's worth of
// bytes[0 .. n - 1]) are, against chance: 1 as chance has them, or when
// too few differing pairs are expected to tell; where rows meet, the two
// bits lie apart in the picture, at every other seam of a row beside
// each other.
double seam_apart(const uint8_t* bytes, int64_t n, int64_t row, int64_t b)
{
    int64_t pairs = 0, ends = 0, starts = 0, differ = 0;
    for (int64_t i = b == 0 ? row : b; i < n; i += row) {
        const uint32_t end = bytes[i - 1] & 1u, start = bytes[i] >> 7;
        ++pairs, ends += end, starts += start, differ += end != start;
    }
    if (pairs == 0) return 1.0;
    const double p = static_cast<double>(ends) / static_cast<double>(pairs);
    const double q = static_cast<double>(starts) / static_cast<double>(pairs);
    const double expected = (p * (1 - q) + q * (1 - p)) * static_cast<double>(pairs);
    return expected < PHASE_LEAST_EXPECTED ? 1.0 : static_cast<double>(differ) / expected;
}

// The byte of each row, counted from bytes[0] (0 .. width / 8 - 1), that
// rows of `width` bits start at, of those that may be, the nearest to byte
// `near` (an edge found, from bytes[0]); -1 when the bytes do not tell.
// Rows wider than PHASE_MOST_BYTES go by their blank rows, and so do rows
// of cells side by side, whose seams look alike.
int64_t row_phase(const uint8_t* bytes, int64_t n, int32_t width, int64_t near)
{
    const int64_t row = width / 8;
    if (width % 8 == 0 && row > PHASE_MOST_BYTES && n >= PHASE_LEAST_ROWS * row) return cell_row_phase(bytes, n, row);
    if (width % 8 != 0 || row < 2 || row > PHASE_MOST_BYTES || n < PHASE_LEAST_ROWS * row) return -1;
    // How alike each seam's two bits are against chance, and the bits set
    // of the bytes at each place.
    double apart[PHASE_MOST_BYTES], most = 0;
    int64_t ink[PHASE_MOST_BYTES] = {};
    for (int64_t i = 0; i < n; ++i) ink[i % row] += std::popcount(uint32_t{bytes[i]});
    for (int64_t b = 0; b < row; ++b) {
        apart[b] = seam_apart(bytes, n, row, b);
        most = std::max(most, apart[b]);
    }
    // Of the seams that may be where rows meet, those after a blank byte
    // and before one with pixels, when there are any: rows padded to whole
    // bytes hold their pixels first and the padding last.
    // A place is blank when next to none of the bits set lie there (the
    // bytes judged may begin or end with a few bytes of what lies about
    // the picture).
    auto may = [&](int64_t b) { return apart[b] >= PHASE_SHARE * most; };
    const int64_t most_ink = *std::max_element(ink, ink + row);
    auto blank = [&](int64_t b) { return ink[b] * PHASE_BLANK_SHARE <= most_ink; };
    auto padded = [&](int64_t b) { return blank((b + row - 1) % row) && !blank(b); };
    bool any_padded = false;
    int64_t seams = 0;
    for (int64_t b = 0; b < row; ++b) any_padded |= may(b) && padded(b), seams += may(b);
    // Cells side by side (the glyphs of a sheet) make most seams look
    // alike: blank rows across, when there are any, tell.
    if (!any_padded && 2 * seams > row) {
        const int64_t cells = cell_row_phase(bytes, n, row);
        if (cells >= 0) return cells;
    }
    int64_t phase = -1, distance = 0;
    for (int64_t b = 0; b < row; ++b) {
        if (!may(b) || (any_padded && !padded(b))) continue;
        const int64_t past = ((near - b) % row + row) % row, d = std::min(past, row - past);
        if (phase < 0 || d < distance) phase = b, distance = d;
    }
    return phase;
}

// --- edges by what the rows predict ----------------------------------------

// Fixed-point base-2 logarithms of k / LOG_STEPS for k = 1 .. LOG_STEPS, in
// 64ths of a bit: sums of them are integers, so the same bytes give the
// same edges on every platform.
constexpr int32_t LOG_STEPS = 1024;
const std::vector<int32_t>& log_steps()
{
    static const std::vector<int32_t> table = [] {
        std::vector<int32_t> t(LOG_STEPS + 1, 0);
        for (int32_t k = 1; k <= LOG_STEPS; ++k)
            t[static_cast<size_t>(k)] = static_cast<int32_t>(std::lround(64.0 * std::log2(static_cast<double>(k) / LOG_STEPS)));
        t[0] = t[1];
        return t;
    }();
    return table;
}

// The chance `ones` of `all` as a step of LOG_STEPS, kept off 0 and 1.
int32_t chance_step(int64_t ones, int64_t all)
{
    const int64_t k = ((2 * ones + 1) * LOG_STEPS + (all + 1)) / (2 * all + 2);
    return static_cast<int32_t>(std::clamp<int64_t>(k, 1, LOG_STEPS - 1));
}

// The 8 bits from bit `bit` of bytes[0 .. n - 1] on (0 past the end).
BITLOUPE_INLINE uint32_t bits_at(const uint8_t* bytes, int64_t n, int64_t bit)
{
    const int64_t k = bit >> 3;
    const uint32_t two = (uint32_t{bytes[k]} << 8) | (k + 1 < n ? bytes[k + 1] : 0u);
    return (two >> (8 - (bit & 7))) & 0xFF;
}

// A bit's context in rows: the bit above it (or below), and, unless it
// starts a row, the bit before it and the one above (or below) that.
constexpr int32_t ROW_CONTEXTS = 10;
BITLOUPE_INLINE int32_t row_context(uint32_t up, uint32_t before, uint32_t up_before, uint32_t row_start)
{
    return row_start ? static_cast<int32_t>(8 + up) : static_cast<int32_t>(up * 4 + before * 2 + up_before);
}

// The bits of a byte (0 the most significant) that start a row, as a mask
// in the byte's bit order, when its first bit is column `column` of rows
// `width` bits wide.
BITLOUPE_INLINE uint32_t row_starts(int64_t column, int32_t width)
{
    uint32_t mask = 0;
    for (int64_t b = column == 0 ? 0 : width - column; b < 8; b += width) mask |= 0x80u >> b;
    return mask;
}

BITLOUPE_INLINE uint32_t bit_of(uint32_t v, int32_t b)
{
    return (v >> (7 - b)) & 1;
}

// How a bit of rows follows from its context: ones and all, by context,
// counted on bytes[0 .. n - 1] whose first bit starts a row.
struct RowModel {
    int64_t ones[ROW_CONTEXTS] = {}, all[ROW_CONTEXTS] = {};
};

// The 64 bits of the stream from bit p on, the first the top one; reads
// the 8 bytes from bit p's and, unless p starts a byte, the one after them.
BITLOUPE_INLINE uint64_t stream_word(const uint8_t* bytes, int64_t p)
{
    const int64_t k = p >> 3;
    const int32_t s = static_cast<int32_t>(p & 7);
    const uint64_t v = __builtin_bswap64(load_word(bytes + k));
    return s == 0 ? v : v << s | bytes[k + 8] >> (8 - s);
}

RowModel row_model(const uint8_t* bytes, int64_t n, int32_t width)
{
    RowModel m;
    int64_t j = (width + 8) / 8;
    // Eight bytes at a time: every context's bits as a mask of 64, counted.
    for (; j + 8 <= n; j += 8) {
        const int64_t first = j * 8;
        const uint64_t x = stream_word(bytes, first), before = stream_word(bytes, first - 1);
        const uint64_t up = stream_word(bytes, first - width), up_before = stream_word(bytes, first - width - 1);
        uint64_t starts = 0;
        for (int64_t b = (width - first % width) % width; b < 64; b += width) starts |= uint64_t{1} << (63 - b);
        const auto count = [&](int32_t c, uint64_t mask) {
            m.all[c] += std::popcount(mask);
            m.ones[c] += std::popcount(mask & x);
        };
        count(8, starts & ~up);
        count(9, starts & up);
        for (int32_t c = 0; c < 8; ++c)
            count(c, ~starts & (c & 4 ? up : ~up) & (c & 2 ? before : ~before) & (c & 1 ? up_before : ~up_before));
    }
    for (; j < n; ++j) {
        const int64_t first = j * 8;
        const uint32_t x = bytes[j], before = bits_at(bytes, n, first - 1);
        const uint32_t up = bits_at(bytes, n, first - width), up_before = bits_at(bytes, n, first - width - 1);
        const uint32_t starts = row_starts(first % width, width);
        for (int32_t b = 0; b < 8; ++b) {
            const int32_t c = row_context(bit_of(up, b), bit_of(before, b), bit_of(up_before, b), bit_of(starts, b));
            m.ones[c] += bit_of(x, b);
            ++m.all[c];
        }
    }
    return m;
}

// The log chances of a byte's bits, a half of the byte (bits 0 to 3, the
// most significant, or 4 to 7) at a time, by a key that holds the half and
// every bit its bits depend on; in 64ths of a bit.
//
// Under the rows' model the key holds the half, the bits before its bits,
// the same half of the row above (or below) and the bits before that. A
// bit that starts a row depends on the bit above alone: the sums leave
// such bits as if they did not, and `start_mend` mends them one by one.
struct RowLogs {
    int32_t high[1024], low[1024];
    int32_t start_mend[2][4][2];  // by the bit above, [bit before, bit above that], value

    static uint32_t high_key(uint32_t x, uint32_t last, uint32_t other, uint32_t other_before)
    {
        return (x >> 4) << 6 | (last & 1) << 5 | (other >> 4) << 1 | other_before;
    }
    static uint32_t low_key(uint32_t x, uint32_t other) { return (x & 0x1F) << 5 | (other & 0x1F); }

    explicit RowLogs(const RowModel& rows)
    {
        const std::vector<int32_t>& logs = log_steps();
        int32_t log[ROW_CONTEXTS][2];
        for (int32_t r = 0; r < ROW_CONTEXTS; ++r) {
            const int32_t p = chance_step(rows.ones[r], rows.all[r]);
            log[r][1] = logs[static_cast<size_t>(p)], log[r][0] = logs[static_cast<size_t>(LOG_STEPS - p)];
        }
        for (uint32_t key = 0; key < 1024; ++key) {
            high[key] = low[key] = 0;
            const uint32_t half = key >> 6, other = key >> 1 & 0xF;
            for (int32_t b = 0; b < 4; ++b) {
                const uint32_t before = b == 0 ? key >> 5 & 1 : half >> (4 - b) & 1;
                const uint32_t up_before = b == 0 ? key & 1 : other >> (4 - b) & 1;
                high[key] += log[row_context(other >> (3 - b) & 1, before, up_before, 0)][half >> (3 - b) & 1];
            }
            const uint32_t x = key >> 5, up = key & 0x1F;  // bits 3 to 7 of each
            for (int32_t b = 4; b < 8; ++b)
                low[key] += log[row_context(up >> (7 - b) & 1, x >> (8 - b) & 1, up >> (8 - b) & 1, 0)][x >> (7 - b) & 1];
        }
        for (uint32_t up = 0; up < 2; ++up)
            for (uint32_t context = 0; context < 4; ++context)
                for (uint32_t v = 0; v < 2; ++v)
                    start_mend[up][context][v] =
                        log[row_context(up, 0, 0, 1)][v] - log[row_context(up, context >> 1, context & 1, 0)][v];
    }
};

// The model of the bytes around rows: each bit by its place in its byte,
// the bit before it and the bit a byte before it, fit on bytes[from .. to -
// 1]; its log chances by keys as above, which hold the half, the bits
// before its bits and the same half of the byte before.
struct AroundLogs {
    int32_t high[512], low[512];

    static uint32_t high_key(uint32_t x, uint32_t last) { return (x >> 4) << 5 | (last & 1) << 4 | last >> 4; }
    static uint32_t low_key(uint32_t x, uint32_t last) { return (x & 0x1F) << 4 | (last & 0xF); }

    // How often each key of each half (0 high, 1 low) comes up.
    using KeyCounts = std::array<std::array<int64_t, 512>, 2>;

    // The key counts of bytes[from .. to - 1], of all of them and of those
    // that are not 00 or FF.
    static void count_keys(const uint8_t* bytes, int64_t from, int64_t to, KeyCounts& all, KeyCounts& marked)
    {
        all = {}, marked = {};
        for (int64_t j = std::max<int64_t>(1, from); j < to; ++j) {
            const uint32_t high = high_key(bytes[j], bytes[j - 1]), low = low_key(bytes[j], bytes[j - 1]);
            ++all[0][high], ++all[1][low];
            if (bytes[j] != 0 && bytes[j] != 0xFF) ++marked[0][high], ++marked[1][low];
        }
    }

    explicit AroundLogs(const KeyCounts& keys)
    {
        const Decoded& decoded = decoded_keys();
        int64_t ones[32] = {}, all[32] = {};  // by place * 4 + bit before * 2 + bit a byte before
        for (int32_t half = 0; half < 2; ++half)
            for (uint32_t key = 0; key < 512; ++key) {
                const int64_t count = keys[static_cast<size_t>(half)][key];
                if (count == 0) continue;
                for (int32_t i = 0; i < 4; ++i) {
                    ones[decoded.context[half][key][i]] += count * decoded.value[half][key][i];
                    all[decoded.context[half][key][i]] += count;
                }
            }
        const std::vector<int32_t>& logs = log_steps();
        int32_t log[32][2];
        for (int32_t f = 0; f < 32; ++f) {
            const int32_t p = chance_step(ones[f], all[f]);
            log[f][1] = logs[static_cast<size_t>(p)], log[f][0] = logs[static_cast<size_t>(LOG_STEPS - p)];
        }
        for (int32_t half = 0; half < 2; ++half)
            for (uint32_t key = 0; key < 512; ++key) {
                int32_t sum = 0;
                for (int32_t i = 0; i < 4; ++i) sum += log[decoded.context[half][key][i]][decoded.value[half][key][i]];
                (half == 0 ? high : low)[key] = sum;
            }
    }

private:
    // Each key's four bits: their contexts (place * 4 + bit before * 2 +
    // bit a byte before) and values.
    struct Decoded {
        uint8_t context[2][512][4], value[2][512][4];
    };
    static const Decoded& decoded_keys()
    {
        static const Decoded decoded = [] {
            Decoded d{};
            for (uint32_t key = 0; key < 512; ++key)
                for (int32_t b = 0; b < 8; ++b) {
                    uint32_t x, before, last;
                    if (b < 4) {
                        const uint32_t half = key >> 5;
                        x = half >> (3 - b) & 1, before = b == 0 ? key >> 4 & 1 : half >> (4 - b) & 1, last = key >> (3 - b) & 1;
                    } else {
                        const uint32_t low = key >> 4;  // bits 3 to 7
                        x = low >> (7 - b) & 1, before = low >> (8 - b) & 1, last = key >> (7 - b) & 1;
                    }
                    d.context[b / 4][key][b % 4] = static_cast<uint8_t>(b * 4 + before * 2 + last);
                    d.value[b / 4][key][b % 4] = static_cast<uint8_t>(x);
                }
            return d;
        }();
        return decoded;
    }
};

// The score of bytes[j] of bytes[0 .. n - 1] as a part of rows `width`
// bits wide, its first bit in column `column`: how much
// better the rows' model predicts its bits from the bits above (or below,
// whichever predicts better) and before them than the models of the bytes
// around the rows do: the better of one fit on all of them and one fit on
// those that are not 00 or FF (where zeros make most of the bytes around,
// code between them would otherwise pass for rows). In 64ths of a bit: filler scores below 0, rows
// above, so that the edges lie where the sum from inside the rows out is
// largest.
BITLOUPE_INLINE int32_t edge_score(const RowLogs& rows, const AroundLogs& around, const AroundLogs& marked, const uint8_t* bytes, int64_t n,
                                   int64_t column, int32_t width, int64_t j)
{
    const int64_t first = j * 8;
    const bool up = first - width - 1 >= 0, down = first + 8 + width <= n * 8;
    if (j < 1 || (!up && !down)) return 0;
    const uint32_t x = bytes[j], last = bytes[j - 1];
    const uint32_t starts = row_starts(column, width);
    auto by_rows = [&](int64_t row_first) {
        // The 8 bits of the row above (or below) and the bit before them.
        const uint32_t other = bits_at(bytes, n, row_first), other_before = bits_at(bytes, n, row_first - 1) >> 7;
        int32_t sum = rows.high[RowLogs::high_key(x, last, other, other_before)] + rows.low[RowLogs::low_key(x, other)];
        for (uint32_t left = starts; left; left &= left - 1) {
            const int32_t b = 7 - std::countr_zero(left);
            const uint32_t before = b == 0 ? (last & 1) : bit_of(x, b - 1);
            const uint32_t up_before = b == 0 ? other_before : bit_of(other, b - 1);
            sum += rows.start_mend[bit_of(other, b)][before * 2 + up_before][bit_of(x, b)];
        }
        return sum;
    };
    const uint32_t high = AroundLogs::high_key(x, last), low = AroundLogs::low_key(x, last);
    const int32_t by_around = std::max(around.high[high] + around.low[low], marked.high[high] + marked.low[low]);
    const int32_t from_above = up ? by_rows(first - width) : 0, from_below = down ? by_rows(first + width) : 0;
    return (!up ? from_below : !down ? from_above : std::max(from_above, from_below)) - by_around;
}

}  // namespace

namespace {

std::atomic<bool> every_candidate{false};

}  // namespace

void scan_every_candidate(bool every)
{
    every_candidate = every;
}

namespace {

// How much rows of these statistics look like a picture: the logit of
// boosted trees trained on the tuning half of the corpus
// (tools/train_finding.py writes finding_model.h), their leaves added in
// order, turned into a score from 0 to 1 with no function that may round
// differently from one library to another.
double picture_score(const RowStatistics& st)
{
    const double features[FINDING_FEATURES] = {st.vertical, st.horizontal, st.blank, st.repeated,
                                               st.isolated / (st.isolated + 0.05), st.active,
                                               st.isolated_typical / (st.isolated_typical + 0.05),
                                               st.plain_bytes, st.same_bytes, st.spread, st.bands};
    double z = 0;
    for (const int root : FINDING_TREES) {
        const FindingNode* node = &FINDING_NODES[root];
        while (node->feature >= 0)
            node = &FINDING_NODES[features[node->feature] < node->threshold ? node->below : node->above];
        z += node->value;
    }
    return 0.5 + 0.5 * z / (1.0 + std::fabs(z));
}

}  // namespace

namespace {

// How much better than the first width's rows another candidate's must
// look to the picture model to come first.
constexpr double BETTER_PICTURE = 0.07;
constexpr int32_t PICTURE_CANDIDATES = 3;  // the candidates it looks at

}  // namespace

int32_t guess_widths(const uint8_t* bytes, int64_t length, WidthGuess* out, int32_t most)
{
    const int32_t count = guess_widths_up_to(bytes, length, out, most, GUESS_MAX_WIDTH, true);
    // The lags alone cannot tell a glyph read whole (the next glyph lined
    // up below) or a sheet read a glyph wide from rows of their own; the
    // rows themselves can: of the first candidates, the one whose rows look
    // most like a picture comes first. Twice the first width is left where
    // it is: its rows are the first's two at a time, which thin strokes on
    // every other row make look better than they are, and which the lags
    // have already weighed. A first width narrower than a byte stays first.
    const int64_t n = std::min(length, GUESS_SAMPLE_BYTES);
    double looks[PICTURE_CANDIDATES] = {};
    int32_t best = 0;
    for (int32_t i = 0; i < std::min(count, PICTURE_CANDIDATES) && count > 1 && out[0].width_bits >= LEAST_REGION_WIDTH; ++i) {
        if (i > 0 && (out[i].width_bits == 2 * out[0].width_bits || out[i].width_bits < LEAST_REGION_WIDTH)) continue;
        const RowStatistics st = row_statistics(bytes, n, out[i].width_bits);
        looks[i] = st.rows >= 2 ? picture_score(st) : -1;
        if (looks[i] > looks[best] + BETTER_PICTURE) best = i;
    }
    if (best > 0) {
        // It takes the first place's score; the others keep their order.
        const WidthGuess chosen{out[best].width_bits, out[0].score};
        for (int32_t i = best; i > 0; --i) out[i] = out[i - 1];
        out[0] = chosen;
    }
    return count;
}

namespace {

// The widest rows bytes are guessed to be whose windows' rows match at
// `lag` bytes: twice that, which is a whole number of the rows' own (a row,
// two rows, a glyph), and at most what the windows looked for.
int32_t widest_rows(int64_t lag)
{
    return static_cast<int32_t>(std::clamp<int64_t>(2 * lag * 8, 16, ROW_LAGS * 8));
}

// A span's widest rows: from the widest multiple of its windows' row lag
// that matched about as well as it (the row below, in a sheet of glyphs
// whose next glyph matched best).
int32_t widest_rows(const ScanSpan& span)
{
    return widest_rows(std::max(span.lag, span.wide));
}

// judge_span for a part of a span that looks like a picture from its start.
bool judge_part(const ScanRead& read, int64_t size, const ScanSpan& span, int64_t min_bytes,
                std::vector<FoundRegion>& found, bool& failed, bool halves = true)
{
    const int64_t span_bytes = span.end - span.start;
    int64_t n = std::min(span_bytes, JUDGED_FIRST_BYTES);
    std::vector<uint8_t> bytes(static_cast<size_t>(n));
    if (!read(span.start, n, bytes.data())) return failed = true, false;
    WidthGuess guess[OTHER_WIDTHS + 1];
    // The windows looked for rows up to ROW_LAGS bytes, and so does the
    // region's width.
    int32_t guesses = guess_widths_up_to(bytes.data(), n, guess, OTHER_WIDTHS + 1, widest_rows(span));
    if (guesses < 1 || guess[0].score < REGION_SCORE) {
        // Filler that the windows reach past the picture may hide its
        // width (text, whose bytes all dip at 8 bits, ranks every width of
        // whole bytes below 8): the middle half of the first bytes is
        // guessed too.
        guesses = guess_widths_up_to(bytes.data() + n / 4, n / 2, guess, OTHER_WIDTHS + 1, widest_rows(span));
        if (guesses < 1 || guess[0].score < REGION_SCORE) return false;
    }
    int32_t width = guess[0].width_bits;
    if (width < LEAST_REGION_WIDTH) return false;
    const int64_t sample = n;  // the bytes from span.start the width and `rough` come from
    RowStatistics rough = row_statistics(bytes.data(), n, width);
    if (rough.rows < 2) return false;
    if (!every_candidate && picture_score(rough) < ROUGH_LEAST_SCORE) {
        // A span's windows may reach most of a window past its picture at
        // either end, which weighs most in a short one (a picture of 512
        // bytes to 1 KiB is one to three windows): it gets a second look
        // on the middle half of its first bytes, on whole rows.
        const int64_t row_bytes = std::max<int64_t>(1, width / 8), quarter = n / 4 / row_bytes * row_bytes;
        const RowStatistics middle = row_statistics(bytes.data() + quarter, n / 2, width);
        bool looks = middle.rows >= 2 && picture_score(middle) >= ROUGH_LEAST_SCORE;
        // Or another width guessed nearly as well reads them as a picture:
        // filler before dense glyphs may tip the guess to a whole glyph.
        for (int32_t k = 1; k < guesses && !looks; ++k) {
            if (guess[k].score < std::max(REGION_SCORE, OTHER_WIDTH_SHARE * guess[0].score) || guess[k].width_bits < LEAST_REGION_WIDTH)
                continue;
            const RowStatistics other = row_statistics(bytes.data(), n, guess[k].width_bits);
            if (other.rows >= 2 && picture_score(other) >= ROUGH_LEAST_SCORE) width = guess[k].width_bits, rough = other, looks = true;
        }
        if (!looks) {
            // Or the picture is one half of them, the windows having run on
            // over as much filler: a half that scores is judged on its own.
            const int64_t half = n / 2 / row_bytes * row_bytes;
            if (!halves || half < LEAST_HALF) return false;
            for (const int64_t at : {int64_t{0}, half}) {
                const RowStatistics part = row_statistics(bytes.data() + at, at ? n - at : half, width);
                if (part.rows >= 2 && picture_score(part) >= ROUGH_LEAST_SCORE)
                    return judge_part(read, size, ScanSpan{span.start + at, at ? span.end : span.start + half, span.windows, span.lag, span.wide, span.match},
                                      min_bytes, found, failed, false);
            }
            return false;
        }
    }

    // The edges, to the byte: from a point inside the span out, where the
    // sum of the bytes' scores is largest. Windows may have missed the
    // picture's ends: while the best edge lies at the end of the bytes
    // looked at, twice as many are looked at.
    const int64_t inside_start = span.start + std::min(EDGE_INSIDE, span_bytes / 2);
    const int64_t inside_end = std::max(inside_start, span.end - std::min(EDGE_INSIDE, span_bytes / 2));
    std::vector<uint8_t> part, text;
    std::vector<int32_t> own_gains;
    const RowLogs rows(row_model(bytes.data(), n, width));
    auto edge = [&](bool start, int64_t& at) {
        // The filler is fitted on the bytes beyond this place: the span's
        // edge, then where a walk that ran far past it stopped.
        int64_t fit_edge = start ? span.start : span.end;
        // The walk goes out from `walk_from`; the bytes between it and
        // `own_edge` are the rows its toll comes from: the span's own at
        // first, then those the first walk took in last.
        int64_t walk_from = start ? inside_start : inside_end, own_edge = fit_edge;
        bool refitted = false;
        for (int64_t margin = EDGE_MARGIN;; margin *= 2) {
            const int64_t from = start ? std::max<int64_t>(0, std::min(span.start - margin, fit_edge - EDGE_MARGIN))
                                       : std::max<int64_t>(0, walk_from - ROW_LAGS - 8);
            const int64_t to = start ? std::min(size, walk_from + ROW_LAGS + 8)
                                     : std::min(size, std::max(span.end + margin, fit_edge + EDGE_MARGIN));
            part.resize(static_cast<size_t>(to - from));
            if (!read(from, to - from, part.data())) return false;
            // The bytes around are those looked at outside the span (all of
            // them when those are too few).
            int64_t fit_from = start ? 0 : fit_edge - from, fit_to = start ? fit_edge - from : to - from;
            if (fit_to - fit_from < 64) fit_from = 0, fit_to = to - from;
            AroundLogs::KeyCounts all_keys, marked_keys;
            AroundLogs::count_keys(part.data(), fit_from, fit_to, all_keys, marked_keys);
            const AroundLogs around(all_keys), marked(marked_keys);
            // Bytes in a run of text score no more than 0.
            mark_text(part.data(), to - from, text);
            const int64_t origin = ((from - span.start) * 8 % width + width) % width;  // the column of part[0]
            const int64_t inside = walk_from - from;
            // The column of byte j's first bit, kept from one byte to the next.
            const int64_t first_column = (origin + 8 * (start ? inside - 1 : inside)) % width;
            auto step = [&](int64_t& column) {
                column += start ? -8 : 8;
                while (column < 0) column += width;
                while (column >= width) column -= width;
            };
            // A byte is taken in where it scores more than a share of what
            // the span's own bytes score on average, from the point inside
            // to its edge: filler that the rows' model happens to predict
            // (zeros, text, tables of small numbers) scores less than rows.
            // The scores of the span's own bytes are kept for the walk.
            const int64_t own_bytes = start ? walk_from - own_edge : own_edge - walk_from;
            int64_t toll = 0;
            {
                own_gains.resize(static_cast<size_t>(own_bytes));
                int64_t own = 0, column = first_column;
                for (int64_t k = 0; k < own_bytes; ++k) {
                    if (k > 0) step(column);
                    own_gains[static_cast<size_t>(k)] =
                        edge_score(rows, around, marked, part.data(), to - from, column, width, start ? inside - 1 - k : inside + k);
                    own += own_gains[static_cast<size_t>(k)];
                }
                if (own_bytes > 0 && own > 0) toll = own * EDGE_TOLL_SHARE / (own_bytes * 256);
            }
            int64_t sum = 0, best = 0;
            bool settled = false;  // the sum fell so far below its best that the edge is found
            at = walk_from;
            int64_t column = first_column;
            for (int64_t k = 0; start ? k < inside : inside + k < to - from; ++k) {
                const int64_t j = start ? inside - 1 - k : inside + k;
                if (k > 0) step(column);
                const int32_t gain = k < own_bytes ? own_gains[static_cast<size_t>(k)]
                                                   : edge_score(rows, around, marked, part.data(), to - from, column, width, j);
                sum += (text[static_cast<size_t>(j)] ? std::min(gain, 0) : gain) - toll;
                if (sum > best) {
                    best = sum, at = from + (start ? j : j + 1);
                } else if (best - sum > EDGE_GIVE_UP) {
                    settled = true;
                    break;
                }
            }
            const bool at_the_end =
                !settled && (start ? from > 0 && at - from < EDGE_INSIDE / 4 : to < size && to - at < EDGE_INSIDE / 4);
            // A span's rows reach at most about as far again as the span.
            if (at_the_end && margin < std::min(EDGE_MOST, 2 * span_bytes)) continue;
            // A walk that ran far past the span crossed rows the windows
            // missed, and the bytes the filler was fitted on held them: the
            // filler that lies past where it stopped may look like rows to
            // it. Once, the filler is fitted on the bytes past that place
            // and the walk taken again, from a little inside it.
            if (!refitted && (start ? span.start - at : at - span.end) > EDGE_MARGIN) {
                refitted = true, fit_edge = own_edge = at, margin /= 2;
                walk_from = start ? std::min(inside_start, at + EDGE_INSIDE) : std::max(inside_end, at - EDGE_INSIDE);
                continue;
            }
            // Rows that show little (a font's sparse glyphs, a sprite's
            // blank border) score little, and the walk may stop short of
            // them; where a run of one blank byte lies a little further on
            // (zeros or 0xFF padding about the picture) and the bytes up to
            // it score no less than filler, the edge is where the run ends.
            // The run first, a byte at a time; then, only when there is
            // one, what the bytes up to it score.
            const int64_t edge_at = at - from;
            int64_t run = 0, value = -1, run_from = -1;  // run_from: the run's first byte, counted from the edge
            for (int64_t k = 0; k < BLANK_REACH; ++k) {
                const int64_t j = start ? edge_at - 1 - k : edge_at + k;
                if (j < 0 || j >= to - from || text[static_cast<size_t>(j)]) break;
                const uint8_t b = part[static_cast<size_t>(j)];
                if (b != 0 && b != 0xFF) {
                    run = 0, value = -1;
                    continue;
                }
                run = b == value ? run + 1 : 1, value = b;
                if (run >= BLANK_RUN) {
                    run_from = k - run + 1;
                    break;
                }
            }
            if (run_from >= 0) {
                int64_t gain = 0;
                for (int64_t k = 0; k < run_from; ++k) {
                    const int64_t j = start ? edge_at - 1 - k : edge_at + k;
                    gain += edge_score(rows, around, marked, part.data(), to - from, ((origin + 8 * j) % width + width) % width, width, j);
                }
                if (gain >= 0) at = from + (start ? edge_at - run_from : edge_at + run_from);
            }
            return true;
        }
    };
    int64_t first = 0, last = 0;
    if (!edge(true, first) || !edge(false, last)) return failed = true, false;
    std::vector<std::pair<int64_t, int64_t>> runs;
    if (last > first) runs.emplace_back(first, last);

    // Each run judged again on its own rows, without the bytes around it:
    // on the middle of the part the windows found too (an edge may take in
    // some filler that looks a little like the rows).
    bool any = false;
    for (const auto& [start, end] : runs) {
        if (end - start < std::max<int64_t>(min_bytes, 1)) continue;
        int64_t from = std::max(start, span.start), to = std::min(end, span.end);
        if (to - from < std::min<int64_t>(EDGE_INSIDE, end - start)) from = start, to = end;
        n = std::min(to - from, JUDGED_FIRST_BYTES);
        from += (to - from - n) / 2;
        // Its width guessed again without the bytes around it (the same
        // bytes as the span's first ones give what they gave).
        FoundRegion region{start, end, width, 0, rough};
        if (from != span.start || n != sample) {
            bytes.resize(static_cast<size_t>(n));
            if (!read(from, n, bytes.data())) return failed = true, false;
            WidthGuess own[1];
            if (guess_widths_up_to(bytes.data(), n, own, 1, widest_rows(span)) == 1 && own[0].width_bits >= LEAST_REGION_WIDTH)
                region.width_bits = own[0].width_bits;
            region.statistics = row_statistics(bytes.data(), n, region.width_bits);
        }
        // Its edges on its rows: each moved to the nearest byte a row starts
        // at (less than half a row), the end a whole number of rows on.
        int64_t phase = row_phase(bytes.data(), n, region.width_bits, start - from);
        if (phase < 0 && region.width_bits % 8 == 0 && region.width_bits >= 16) {
            // The bytes do not tell where rows start (cells side by side
            // without blank rows across): the edges found do, one of them
            // a byte or two off, and the end is a whole number of rows
            // from the start. Of the two, the place whose seam parts the
            // less alike bits; the start's when neither does more.
            const int64_t row = region.width_bits / 8;
            const int64_t at_start = ((start - from) % row + row) % row, at_end = ((end - from) % row + row) % row;
            phase = seam_apart(bytes.data(), n, row, at_end) > seam_apart(bytes.data(), n, row, at_start) ? at_end : at_start;
        }
        if (phase >= 0) {
            const int64_t row = region.width_bits / 8;
            const int64_t past = ((start - from - phase) % row + row) % row;
            region.start = past * 2 <= row ? start - past : start + (row - past);
            if (region.start < 0) region.start += row;
            const int64_t rows = (end - region.start + row / 2) / row;
            region.end = region.start + rows * row;
            if (region.end > size) region.end -= row;
            if (region.end - region.start < std::max<int64_t>(min_bytes, 1)) continue;
        }
        // Rows at either end holding a byte value that the region's middle
        // never uses are filler the edge took in (up to EDGE_STRANGE_ROWS
        // at each end): a picture's rows repeat a small stock of values.
        if (region.width_bits % 8 == 0 && region.width_bits / 8 <= ROW_LAGS && n >= EDGE_STOCK_BYTES) {
            const int64_t row = region.width_bits / 8;
            uint64_t values[4];
            used_values(bytes.data(), n, values);
            uint8_t at_end[ROW_LAGS];
            bool unread = false;
            auto stranger = [&](int64_t at) {
                if (!read(at, row, at_end)) return unread = true, false;
                for (int64_t i = 0; i < row; ++i)
                    if (!(values[at_end[i] >> 6] >> (at_end[i] & 63) & 1)) return true;
                return false;
            };
            for (int64_t k = 0; k < EDGE_STRANGE_ROWS && region.end - region.start > 2 * row && stranger(region.start); ++k) region.start += row;
            for (int64_t k = 0; k < EDGE_STRANGE_ROWS && region.end - region.start > 2 * row && stranger(region.end - row); ++k) region.end -= row;
            if (unread) return failed = true, false;
            if (region.end - region.start < std::max<int64_t>(min_bytes, 1)) continue;
        }
        const RowStatistics& st = region.statistics;
        if (st.active < LEAST_ACTIVE || st.blank >= MOST_BLANK || st.repeated >= MOST_REPEATED) continue;
        region.score = picture_score(region.statistics);
        // The column shares served the score; a file's thousands of
        // candidates do not keep them.
        region.statistics.density = {};
        if (region.score < SCAN_LEAST_SCORE && !every_candidate) continue;
        found.push_back(std::move(region));
        any = true;
    }
    return any;
}

}  // namespace

bool judge_span(const ScanRead& read, int64_t size, const ScanSpan& whole, int64_t min_bytes,
                std::vector<FoundRegion>& found, bool& failed)
{
    if (!may_be_region(whole)) return false;
    // A long span is judged by pieces: windows of filler that looks a
    // little like rows (text in UTF-16, tables) may lead up to a picture,
    // or lie between two. Each run of pieces that look like a picture is
    // judged on its own; a span with none ends here, before the dearer
    // width guess on more of it.
    if (whole.end - whole.start <= GLIMPSE) return judge_part(read, size, whole, min_bytes, found, failed);
    const int64_t room = whole.end - whole.start - GLIMPSE;
    // Pieces reach from the span's first byte to its last, evenly apart (in
    // 128 bits: a span of a terabyte has half a billion of them).
    const int64_t pieces = (room + GLIMPSE - 1) / GLIMPSE + 1;
    auto piece_at = [&](int64_t k) {
        return whole.start + (pieces > 1 ? static_cast<int64_t>(static_cast<__int128>(room) * k / (pieces - 1)) : 0);
    };
    std::vector<uint8_t> bytes(static_cast<size_t>(GLIMPSE));
    WidthGuess guess[1];
    bool any = false;
    // Each run of good pieces is judged as soon as it ends, so that no more
    // than one piece's bytes are held however long the span.
    int64_t run = -1;  // the first piece of the run going on, if any
    auto judge_run = [&](int64_t last) {
        const ScanSpan part{piece_at(run), std::min(whole.end, piece_at(last) + GLIMPSE), whole.windows, whole.lag, whole.wide, whole.match};
        any |= judge_part(read, size, part, min_bytes, found, failed);
        run = -1;
        return !failed;
    };
    for (int64_t k = 0; k < pieces; ++k) {
        if (!read(piece_at(k), GLIMPSE, bytes.data())) return failed = true, false;
        bool good = false;
        // Up to twice the windows' own row lag only: a sheet read a glyph
        // wide looks like a picture too, and the wider guess is dear.
        if (guess_widths_up_to(bytes.data(), GLIMPSE, guess, 1, widest_rows(whole.lag)) >= 1) {
            const RowStatistics st = row_statistics(bytes.data(), GLIMPSE, guess[0].width_bits);
            good = every_candidate ? st.vertical < PIECE_MOST_VERTICAL : picture_score(st) >= GLIMPSE_LEAST_SCORE;
        }
        if (good && run < 0) run = k;
        if (!good && run >= 0 && !judge_run(k - 1)) return false;
    }
    if (run >= 0 && !judge_run(pieces - 1)) return false;
    return any;
}

namespace {

// Parts of one picture that a run of faint windows or a piece unlike the
// rest split (a font's box-drawing glyphs, say): neighbours of the same
// width, no further apart than a piece, are one region. Neighbours apart of
// which one is listed and the other not are two things (a table of records
// before a font) unless they touch.
constexpr int64_t JOIN_REGIONS_GAP = GLIMPSE;

void add_region(std::vector<FoundRegion>& regions, const FoundRegion& found)
{
    auto listed = [](const FoundRegion& r) { return r.score >= FINDING_LEAST_SCORE; };
    // A region's rows, in bytes (1 for rows that are not whole bytes).
    auto row = [](const FoundRegion& r) { return r.width_bits % 8 == 0 ? int64_t{r.width_bits / 8} : int64_t{1}; };
    // A weak candidate of another width between two listed parts of one
    // width (a stretch of slanted strokes read a pixel off the picture's
    // width, say) is part of them: it gives way and the parts join.
    if (!every_candidate && regions.size() >= 2 && !listed(regions.back()) && listed(found) &&
        regions.back().width_bits != found.width_bits) {
        const FoundRegion& before = regions[regions.size() - 2];
        if (before.width_bits == found.width_bits && listed(before) && found.start - before.end <= JOIN_REGIONS_GAP)
            regions.pop_back();
    }
    if (!regions.empty() && regions.back().width_bits == found.width_bits &&
        found.start - regions.back().end <= JOIN_REGIONS_GAP &&
        (every_candidate || found.start <= regions.back().end || listed(found) == listed(regions.back()))) {
        FoundRegion& last = regions.back();
        const double a = static_cast<double>(last.end - last.start), b = static_cast<double>(found.end - found.start);
        last.score = (last.score * a + found.score * b) / (a + b);
        // On the first part's rows (rows of whole bytes): the parts' own
        // may disagree, a short part's rows telling less.
        const int64_t end = std::max(last.end, found.end), whole = last.start + (end - last.start) / row(last) * row(last);
        last.end = whole > last.start ? whole : end;
        return;
    }
    FoundRegion next = found;
    if (!regions.empty() && next.start < regions.back().end) {
        // Rows of two widths that overlap: the stronger keeps the bytes both
        // claim (the first, when every candidate is kept for training, so
        // that which regions there are does not depend on the model). Of
        // regions that score over the least listed, the stronger is the one
        // with more bytes the more it scores over it: a font sheet read at
        // its own width outweighs the pieces of it that read best at a
        // divisor of it. Of others, the one that scores more.
        FoundRegion& last = regions.back();
        auto strength = [](const FoundRegion& r) {
            return std::max(0.0, r.score - FINDING_LEAST_SCORE) * static_cast<double>(r.end - r.start);
        };
        const double a = strength(next), b = strength(last);
        // The one cut keeps whole rows (of whole bytes): its end moves back,
        // or its start on, to the first of them clear of the other.
        if ((a > 0 || b > 0 ? a > b : next.score > last.score) && !every_candidate) {
            last.end = last.start + (next.start - last.start) / row(last) * row(last);
            // What is left of it, too short to list, between a part of the
            // new region's width and the new one, gives way: the parts join.
            if (last.end - last.start < SCAN_MIN_BYTES && regions.size() >= 2 &&
                regions[regions.size() - 2].width_bits == next.width_bits) {
                regions.pop_back();
                add_region(regions, found);
                return;
            }
            if (last.end <= last.start) regions.pop_back();
        } else {
            next.start += (last.end - next.start + row(next) - 1) / row(next) * row(next);
        }
    }
    if (next.end > next.start) regions.push_back(next);
}

}  // namespace

std::vector<FoundRegion> scan_bytes(const uint8_t* bytes, int64_t length, int64_t base, int64_t min_bytes)
{
    std::vector<FoundRegion> regions;
    if (!bytes || length <= 0) return regions;
    const ScanRead read = [&](int64_t offset, int64_t count, uint8_t* into) {
        if (offset < base || count < 0 || offset - base + count > length) return false;
        std::memcpy(into, bytes + (offset - base), static_cast<size_t>(count));
        return true;
    };
    std::vector<FoundRegion> found;
    judge_spans(scan_spans(bytes, length, base, length), {}, read, base + length, 1, min_bytes, found);
    return found;
}

bool scan_source(int64_t size, const ScanRead& read, int32_t threads, int64_t min_bytes,
                 const ScanProgress& progress, std::vector<FoundRegion>& regions)
{
    regions.clear();
    if (size <= 0) return true;
    const int64_t chunks = (size + SCAN_CHUNK_BYTES - 1) / SCAN_CHUNK_BYTES;
    threads = static_cast<int32_t>(std::clamp<int64_t>(threads, 1, chunks));
    std::mutex lock;  // the reads, the progress, the spans and regions found
    std::atomic<int64_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<ScanSpan> spans;
    std::vector<JudgedRegion> judged;
    int64_t done = 0;
    const ScanRead locked = [&](int64_t offset, int64_t count, uint8_t* into) {
        std::lock_guard<std::mutex> hold(lock);
        return read(offset, count, into);
    };

    auto work = [&] {
        std::vector<uint8_t> buffer;
        for (int64_t k; !failed && (k = next++) < chunks;) {
            const int64_t first = k * SCAN_CHUNK_BYTES;
            // Each chunk reaches SCAN_OVERLAP into the next, so that its last
            // windows see the bytes a whole-file scan would give them; the
            // windows that start in the overlap belong to the next chunk.
            const int64_t own = std::min(SCAN_CHUNK_BYTES, size - first);
            const int64_t count = std::min(own + SCAN_OVERLAP, size - first);
            buffer.resize(static_cast<size_t>(count));
            if (!locked(first, count, buffer.data())) {
                failed = true;
                return;
            }
            // Windows start every STEP bytes; SCAN_CHUNK_BYTES is a multiple
            // of STEP. The spans inside the chunk are judged now, those at
            // its edges once every chunk is done.
            std::vector<ScanSpan> found = scan_spans(buffer.data(), count, first, own);
            std::vector<JudgedRegion> regions_here;
            if (!judge_inner_spans(found, first, own, locked, size, min_bytes, regions_here)) {
                failed = true;
                return;
            }
            std::lock_guard<std::mutex> hold(lock);
            spans.insert(spans.end(), found.begin(), found.end());
            judged.insert(judged.end(), regions_here.begin(), regions_here.end());
            done += own;
            if (progress) progress(done);
        }
    };
    run_on_threads(threads, work);
    if (failed) return false;

    return judge_spans(std::move(spans), std::move(judged), read, size, threads, min_bytes, regions);
}

bool judge_edge_spans(std::vector<ScanSpan> spans, const ScanRead& read, int64_t size, int32_t threads,
                      int64_t min_bytes, std::vector<JudgedRegion>& judged)
{
    const std::vector<ScanSpan> merged = merge_spans(std::move(spans));
    std::mutex lock;  // the reads, the regions judged
    std::atomic<bool> failed{false};
    std::atomic<size_t> next_span{0};
    const ScanRead locked = [&](int64_t offset, int64_t count, uint8_t* into) {
        std::lock_guard<std::mutex> hold(lock);
        return read(offset, count, into);
    };
    auto judge = [&] {
        std::vector<FoundRegion> found;
        for (size_t i; !failed && (i = next_span++) < merged.size();) {
            bool failure = false;
            found.clear();
            if (judge_span(locked, size, merged[i], min_bytes, found, failure)) {
                std::lock_guard<std::mutex> hold(lock);
                for (size_t k = 0; k < found.size(); ++k) judged.push_back(JudgedRegion{found[k], merged[i].start, k});
            }
            if (failure) failed = true;
        }
    };
    run_on_threads(std::clamp<int64_t>(threads, 1, std::max<int64_t>(1, static_cast<int64_t>(merged.size()))), judge);
    return !failed;
}

// In file order, ties by the span each came from and its place among that
// span's regions, so that the order depends on no thread.
bool judged_before(const JudgedRegion& a, const JudgedRegion& b)
{
    return a.region.start != b.region.start ? a.region.start < b.region.start
           : a.span_start != b.span_start  ? a.span_start < b.span_start
                                           : a.place < b.place;
}

void resolve_regions(const std::function<bool(JudgedRegion&)>& next, int64_t min_bytes,
                     const std::function<void(const FoundRegion&)>& region)
{
    // add_region changes only the last two regions: those before them are
    // final.
    std::vector<FoundRegion> open;
    const auto hand_on = [&](const FoundRegion& r) {
        if (r.end - r.start >= std::max<int64_t>(min_bytes, 1)) region(r);
    };
    for (JudgedRegion j; next(j);) {
        add_region(open, j.region);
        constexpr size_t keep = 2;
        if (open.size() > keep) {
            for (size_t i = 0; i + keep < open.size(); ++i) hand_on(open[i]);
            open.erase(open.begin(), open.end() - static_cast<std::ptrdiff_t>(keep));
        }
    }
    for (const FoundRegion& r : open) hand_on(r);
}

bool judge_spans(std::vector<ScanSpan> spans, std::vector<JudgedRegion> judged, const ScanRead& read, int64_t size,
                 int32_t threads, int64_t min_bytes, std::vector<FoundRegion>& regions)
{
    regions.clear();
    if (!judge_edge_spans(std::move(spans), read, size, threads, min_bytes, judged)) return false;
    std::sort(judged.begin(), judged.end(), judged_before);
    size_t at = 0;
    resolve_regions([&](JudgedRegion& j) { return at < judged.size() ? (j = judged[at++], true) : false; }, min_bytes,
                    [&](const FoundRegion& r) { regions.push_back(r); });
    return true;
}
