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
#include <cstdlib>
#include <atomic>
#include <bit>
#include <cstring>
#include <mutex>
#include <numeric>
#include <thread>

#include "cpu_levels.h"

namespace {

// --- guess_widths -----------------------------------------------------------

constexpr int64_t GUESS_SAMPLE_BYTES = 8 * 1024;
constexpr int32_t NEIGHBOURS = 3;      // lags each side that a width is compared with
constexpr int32_t COMB = 4;            // multiples of a width that vote for it
constexpr double DIVISOR_SHARE = 0.9;  // a divisor whose own dip is this deep is the width

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
    int64_t counts[8] = {};
    for (int64_t i = 0; i < n; ++i)
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
    for (int32_t lag = 1; lag <= max_lag; ++lag) {
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
    for (int32_t lag = 1; lag <= max_lag; ++lag) {
        const double expected = shuffled_mismatch(density, lag);
        if (expected > 1e-9)
            ratio[lag] = static_cast<double>(differ[static_cast<size_t>(lag)]) /
                         (static_cast<double>(compared) * 64.0 * expected);
    }
    return ratio;
}

}  // namespace

namespace {

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

// guess_widths for widths up to `cap`.
int32_t guess_widths_up_to(const uint8_t* bytes, int64_t length, WidthGuess* out, int32_t most, int32_t cap)
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
    // repeated (the same row of the next glyph): it ranks below it.
    std::vector<double> ranked = score;
    const Divisors& divisors = width_divisors();
    for (int32_t w = 4; w <= widest; ++w) {
        if (score[w] <= 0) continue;  // nothing to rank below
        for (int32_t i = divisors.first[w]; i < divisors.first[w + 1]; ++i) {
            const int32_t d = divisors.width[i];
            if (contrast[d] >= DIVISOR_SHARE * contrast[w] && score[d] > 0) {
                ranked[w] = std::min(ranked[w], score[d] * 0.99);
                break;
            }
        }
    }

    // Rows are mostly whole bytes: a width a pixel or two from a multiple of
    // 8 that scores half as well or better (slanted strokes dip beside the
    // true width) ranks below it.
    for (int32_t w = 2; w <= widest; ++w) {
        const int32_t m = (w + 4) / 8 * 8;
        if (w % 8 != 0 && m >= 8 && m <= widest && std::abs(w - m) <= 2 && ranked[m] >= 0.5 * ranked[w])
            ranked[w] = std::min(ranked[w], ranked[m] * 0.99);
    }
    std::vector<int32_t> order;
    // Below 4 the neighbours to compare with run out.
    for (int32_t w = 4; w <= widest; ++w)
        if (score[w] > 0) order.push_back(w);
    const auto first = order.begin() + std::min<size_t>(order.size(), static_cast<size_t>(most));
    std::partial_sort(order.begin(), first, order.end(), [&](int32_t a, int32_t b) {
        return ranked[a] != ranked[b] ? ranked[a] > ranked[b] : a < b;
    });
    // Two more readings of the first candidates: the largest width the first
    // three are all multiples of (the row of which they are whole numbers
    // of rows), and for a first width a pixel or two off a whole byte, that
    // byte width (the rows of slanted strokes line up a pixel aside).
    std::vector<int32_t> chosen(order.begin(), order.begin() + std::min<size_t>(order.size(), static_cast<size_t>(most)));
    auto offer = [&](int32_t w) {
        if (w >= 4 && w <= widest && score[w] > 0 && most >= 3 &&
            std::find(chosen.begin(), chosen.end(), w) == chosen.end()) {
            chosen.insert(chosen.begin() + std::min<size_t>(2, chosen.size()), w);
            if (chosen.size() > static_cast<size_t>(most)) chosen.pop_back();
        }
    };
    if (chosen.size() >= 3) offer(std::gcd(std::gcd(chosen[0], chosen[1]), chosen[2]));
    if (!chosen.empty() && chosen[0] % 8 != 0 && std::abs(chosen[0] - (chosen[0] + 4) / 8 * 8) <= 2)
        offer((chosen[0] + 4) / 8 * 8);
    // Scores stay in order, so that a later candidate never outscores an
    // earlier one.
    const int32_t count = static_cast<int32_t>(chosen.size());
    for (int32_t i = 0; i < count; ++i)
        out[i] = WidthGuess{chosen[i], std::min(ranked[chosen[i]], i > 0 ? out[i - 1].score : 1.0)};
    return count;
}

}  // namespace

int32_t guess_widths(const uint8_t* bytes, int64_t length, WidthGuess* out, int32_t most)
{
    return guess_widths_up_to(bytes, length, out, most, GUESS_MAX_WIDTH);
}

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
constexpr double WINDOW_DIP = 0.1;     // how far the best row lag dips below its neighbours
constexpr double REGION_SCORE = 0.08;    // the score a region's width must reach
constexpr int64_t JOIN_GAP = 768;        // spans this close are one region
constexpr double FLAGGED_SHARE = 0.4;    // of a region's windows that must look like rows
constexpr int64_t LEAST_FLAGGED = 2;     // windows that look like rows in the least region
constexpr int64_t FEW_FLAGGED = 2;       // a region this short (under 1 KiB) must score higher:
constexpr double SHORT_REGION_SCORE = 0.12;
constexpr double MOST_HORIZONTAL = 0.95; // pixels beside one another differ less than this
constexpr double MOST_BESIDE = 0.92;     // the same in a window
constexpr int32_t MOST_VALUES = 88;      // byte values in the middle 1 KiB of a region
constexpr double LEAST_PLAIN = 0.3;      // share of bytes 00 and FF there
constexpr int64_t JUDGED_MIDDLE_BYTES = 1024;  // a span's bytes judged: its middle ones
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

BITLOUPE_INLINE int32_t distinct_values(const uint8_t* bytes, int64_t count)
{
    uint64_t values[4];
    used_values(bytes, count, values);
    return std::popcount(values[0]) + std::popcount(values[1]) + std::popcount(values[2]) + std::popcount(values[3]);
}

// How much the window at `bytes` (with `available` bytes from there on)
// looks like rows of whole bytes: 0 not at all. `first` and `second` are
// the counts of its halves. The tests go from the cheapest to the dearest,
// so that most windows of most files are turned away early; the first of
// them, a glance at the values of the first bytes, is the caller's.
BITLOUPE_INLINE double window_score_body(const uint8_t* bytes, int64_t available, HalfCounts& first,
                                         HalfCounts& second)
{
    double density[8];
    for (int32_t b = 0; b < 8; ++b) density[b] = (first.ones[b] + second.ones[b]) / static_cast<double>(WINDOW);
    const double expected_same = shuffled_mismatch(density, 0);
    if (expected_same < 1e-9) return 0;
    // Pixels beside one another in a row are alike; in text and most code
    // they are not.
    const double beside = static_cast<double>(first.beside + second.beside) /
                          (static_cast<double>(WINDOW) * 8 * std::max(1e-9, shuffled_mismatch(density, 1)));
    if (beside > MOST_BESIDE) return 0;
    // Pictures repeat a small stock of byte values; code uses many.
    int32_t distinct = 0;
    for (HalfCounts* half : {&first, &second})
        if (!half->valued) {
            used_values(bytes + (half == &first ? 0 : STEP), STEP, half->values);
            half->valued = true;
        }
    for (int32_t w = 0; w < 4; ++w) distinct += std::popcount(first.values[w] | second.values[w]);
    if (distinct < 3 || distinct > MOST_DISTINCT || (distinct > MANY_VALUES && beside > MOST_BESIDE_VARIED)) return 0;

    double best = 2.0;
    int64_t best_lag = 0, best_pairs = 0;
    for (int64_t lag = 1; lag <= ROW_LAGS; ++lag) {
        const int64_t pairs = std::min(WINDOW, available - lag);
        if (pairs < WINDOW / 2) break;
        const double ratio = static_cast<double>(byte_lag_differences(bytes, pairs, lag)) /
                             (static_cast<double>(pairs) * 8 * expected_same);
        if (ratio < best) {
            best = ratio;
            best_lag = lag;
            best_pairs = pairs;
        }
    }
    if (best_lag == 0 || 1.0 - best < WINDOW_DIP) return 0;
    // The same rows shifted a pixel sideways must match worse.
    double side = 0;
    for (int32_t shift : {-2, -1, 1, 2}) {
        const double expected = shuffled_mismatch(density, (shift + 8) % 8);
        if (expected < 1e-9) return 0;
        side += std::min(1.0, static_cast<double>(bit_lag_differences(bytes, best_pairs, available, best_lag, shift)) /
                                  (static_cast<double>(best_pairs) * 8 * expected));
    }
    return std::max(0.0, side / 4 - best);
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
    for (int64_t at = 0; at + WINDOW <= length && at < windows_end; at += STEP) {
        const int64_t available = std::min(length - at, WINDOW_NEED);
        // Random and compressed data (most windows of most files) at a glance.
        if (distinct_values(bytes + at, GLANCE / 2) > MOST_AT_A_SHORT_GLANCE ||
            distinct_values(bytes + at, GLANCE) > MOST_AT_A_GLANCE)
            continue;
        if (counted != at) {
            if (counted == at - STEP) {
                halves[0] = halves[1];
            } else {
                halves[0] = half_counts(bytes + at, true);
            }
            halves[1] = half_counts(bytes + at + STEP, at + WINDOW < length);
            counted = at;
        }
        if (window_score_body(bytes + at, available, halves[0], halves[1]) < WINDOW_DIP) continue;
        if (!spans.empty() && spans.back().end >= base + at) {
            spans.back().end = base + at + WINDOW;
            spans.back().windows++;
        } else {
            spans.push_back(ScanSpan{base + at, base + at + WINDOW, 1});
        }
    }
    return spans;
}

BITLOUPE_LEVELS(std::vector<ScanSpan>, scan_spans_at_level,
                (const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end),
                (bytes, length, base, windows_end))

}  // namespace

std::vector<ScanSpan> scan_spans(const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end)
{
    return scan_spans_at_level(bytes, length, base, windows_end);
}

std::vector<ScanSpan> merge_spans(std::vector<ScanSpan> spans)
{
    std::sort(spans.begin(), spans.end(), [](const ScanSpan& a, const ScanSpan& b) { return a.start < b.start; });
    std::vector<ScanSpan> merged;
    for (const ScanSpan& s : spans) {
        if (!merged.empty() && s.start <= merged.back().end + JOIN_GAP) {
            merged.back().end = std::max(merged.back().end, s.end);
            merged.back().windows += s.windows;
        } else
            merged.push_back(s);
    }
    return merged;
}

bool judge_span(const uint8_t* bytes, int64_t length, const ScanSpan& span, int64_t min_bytes, FoundRegion& found)
{
    const int64_t span_bytes = span.end - span.start;
    if (span_bytes < std::max<int64_t>(min_bytes, 1) || length <= 0 || span.windows < LEAST_FLAGGED) return false;
    // Windows overlap: a span of n windows in a row is (n + 1) steps long.
    if (static_cast<double>((span.windows + 1) * STEP) < FLAGGED_SHARE * static_cast<double>(span_bytes)) return false;
    // Pictures repeat a small stock of byte values (blank, edges, strokes);
    // code, tables and compressed data use most of them. Counted in the
    // middle, away from the filler a span's edges may hold.
    const int64_t middle = std::min<int64_t>(length, JUDGED_MIDDLE_BYTES);
    bool seen[256] = {};
    int32_t values = 0;
    for (int64_t i = (length - middle) / 2, end = i + middle; i < end; ++i)
        if (!seen[bytes[i]]) seen[bytes[i]] = true, ++values;
    if (values > MOST_VALUES) return false;
    // Line art and glyphs leave blank bytes (0) and solid ones (FF) between
    // and inside their strokes; text (lines of one length, boxes drawn with
    // dashes and bars) and code that repeats itself do not.
    int64_t plain = 0;
    for (int64_t i = (length - middle) / 2, end = i + middle; i < end; ++i) plain += bytes[i] == 0 || bytes[i] == 0xFF;
    if (static_cast<double>(plain) < LEAST_PLAIN * static_cast<double>(middle)) return false;
    // Text and much else that repeats in whole bytes has no runs of pixels
    // along a row: each bit against the next, over the bytes the width is
    // guessed on, against the same for shuffled bytes.
    const int64_t n = std::min(length, GUESS_SAMPLE_BYTES);
    const int64_t compared = (n * 8 - 2) / 64;
    if (compared < 1) return false;
    double density[8];
    bit_densities(bytes, n, density);
    int64_t beside = 0;
    for (int64_t j = 0; j < compared; ++j) {
        const uint64_t w = __builtin_bswap64(load_word(bytes + 8 * j));
        beside += std::popcount(w ^ ((w << 1) | (bytes[8 * j + 8] >> 7)));
    }
    const double expected = shuffled_mismatch(density, 1);
    if (expected > 1e-9 && static_cast<double>(beside) / (static_cast<double>(compared) * 64.0 * expected) > MOST_HORIZONTAL)
        return false;
    WidthGuess guess[1];
    // The windows looked for rows up to ROW_LAGS bytes, and so does the
    // region's width (a wider guess would cost twice as much and only find
    // more tables that repeat).
    if (guess_widths_up_to(bytes, length, guess, 1, ROW_LAGS * 8) < 1 || guess[0].score < REGION_SCORE ||
        (span.windows <= FEW_FLAGGED && guess[0].score < SHORT_REGION_SCORE))
        return false;
    found = FoundRegion{span.start, span.end, guess[0].width_bits, guess[0].score};
    return true;
}

namespace {

// Parts of one picture that a run of faint windows split: neighbours of the
// same width, this close, are one region.
constexpr int64_t JOIN_REGIONS_GAP = 4096;

void add_region(std::vector<FoundRegion>& regions, const FoundRegion& found)
{
    if (!regions.empty() && regions.back().width_bits == found.width_bits &&
        found.start - regions.back().end <= JOIN_REGIONS_GAP) {
        FoundRegion& last = regions.back();
        const double a = static_cast<double>(last.end - last.start), b = static_cast<double>(found.end - found.start);
        last.score = (last.score * a + found.score * b) / (a + b);
        last.end = found.end;
        return;
    }
    regions.push_back(found);
}

}  // namespace

std::vector<FoundRegion> scan_bytes(const uint8_t* bytes, int64_t length, int64_t base, int64_t min_bytes)
{
    std::vector<FoundRegion> regions;
    if (!bytes || length <= 0) return regions;
    for (const ScanSpan& s : merge_spans(scan_spans(bytes, length, base, length))) {
        FoundRegion found{};
        const int64_t first = s.start - base;
        if (judge_span(bytes + first, std::min(s.end - s.start, SCAN_JUDGE_BYTES), s, min_bytes, found))
            add_region(regions, found);
    }
    return regions;
}

bool scan_source(int64_t size, const ScanRead& read, int32_t threads, int64_t min_bytes,
                 const ScanProgress& progress, std::vector<FoundRegion>& regions)
{
    regions.clear();
    if (size <= 0) return true;
    const int64_t chunks = (size + SCAN_CHUNK_BYTES - 1) / SCAN_CHUNK_BYTES;
    threads = static_cast<int32_t>(std::clamp<int64_t>(threads, 1, chunks));
    std::mutex lock;  // the reads, the progress, the spans found
    std::atomic<int64_t> next{0};
    std::atomic<bool> failed{false};
    std::vector<ScanSpan> spans;
    int64_t done = 0;

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
            {
                std::lock_guard<std::mutex> hold(lock);
                if (!read(first, count, buffer.data())) {
                    failed = true;
                    return;
                }
            }
            // Windows start every STEP bytes; SCAN_CHUNK_BYTES is a multiple of STEP.
            std::vector<ScanSpan> found = scan_spans(buffer.data(), count, first, own);
            std::lock_guard<std::mutex> hold(lock);
            spans.insert(spans.end(), found.begin(), found.end());
            done += own;
            if (progress) progress(done);
        }
    };
    std::vector<std::thread> pool;
    for (int32_t t = 1; t < threads; ++t) pool.emplace_back(work);
    work();
    for (std::thread& t : pool) t.join();
    if (failed) return false;

    return judge_spans(std::move(spans), read, threads, min_bytes, regions);
}

bool judge_spans(std::vector<ScanSpan> spans, const ScanRead& read, int32_t threads, int64_t min_bytes,
                 std::vector<FoundRegion>& regions)
{
    regions.clear();
    const std::vector<ScanSpan> merged = merge_spans(std::move(spans));
    std::vector<FoundRegion> judged(merged.size());
    std::vector<char> accepted(merged.size(), 0);
    std::mutex lock;  // the reads
    std::atomic<bool> failed{false};
    std::atomic<size_t> next_span{0};
    auto judge = [&] {
        std::vector<uint8_t> sample;
        for (size_t i; !failed && (i = next_span++) < merged.size();) {
            const ScanSpan& s = merged[i];
            const int64_t n = std::min(s.end - s.start, SCAN_JUDGE_BYTES);
            sample.resize(static_cast<size_t>(n));
            {
                // judge_span looks at the first bytes and the middle ones
                // only: the rest is not read.
                const int64_t first = std::min(n, JUDGED_FIRST_BYTES);
                const int64_t middle = std::min<int64_t>(n, JUDGED_MIDDLE_BYTES), from = (n - middle) / 2;
                std::lock_guard<std::mutex> hold(lock);
                if (!read(s.start, first, sample.data()) ||
                    (from + middle > first &&
                     !read(s.start + std::max(from, first), from + middle - std::max(from, first),
                           sample.data() + std::max(from, first)))) {
                    failed = true;
                    return;
                }
            }
            accepted[i] = judge_span(sample.data(), n, s, min_bytes, judged[i]);
        }
    };
    std::vector<std::thread> pool;
    threads = static_cast<int32_t>(std::clamp<int64_t>(threads, 1, std::max<int64_t>(1, static_cast<int64_t>(merged.size()))));
    for (int32_t t = 1; t < threads; ++t) pool.emplace_back(judge);
    judge();
    for (std::thread& t : pool) t.join();
    if (failed) return false;
    for (size_t i = 0; i < merged.size(); ++i)
        if (accepted[i]) add_region(regions, judged[i]);
    return true;
}
