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

// The bits as 64-bit words, first bit in the most significant place.
std::vector<uint64_t> bit_words(const uint8_t* bytes, int64_t n)
{
    std::vector<uint64_t> words(static_cast<size_t>(n / 8 + 2), 0);
    for (int64_t i = 0; i < n; ++i) words[static_cast<size_t>(i / 8)] |= uint64_t{bytes[i]} << (56 - 8 * (i % 8));
    return words;
}

// Mismatch ratio (mismatch / shuffled mismatch) at every lag 1 .. max_lag,
// over the same first `compared` words of bit positions for every lag.
std::vector<double> mismatch_ratios(const std::vector<uint64_t>& words, int64_t compared, int32_t max_lag,
                                    const double* density)
{
    std::vector<double> ratio(static_cast<size_t>(max_lag) + 1, 1.0);
    for (int32_t lag = 1; lag <= max_lag; ++lag) {
        const int64_t q = lag / 64;
        const int32_t r = lag % 64;
        int64_t differ = 0;
        if (r == 0) {
            for (int64_t j = 0; j < compared; ++j) differ += std::popcount(words[j] ^ words[j + q]);
        } else {
            for (int64_t j = 0; j < compared; ++j) {
                const uint64_t shifted = (words[j + q] << r) | (words[j + q + 1] >> (64 - r));
                differ += std::popcount(words[j] ^ shifted);
            }
        }
        const double expected = shuffled_mismatch(density, lag);
        if (expected > 1e-9)
            ratio[lag] = static_cast<double>(differ) / (static_cast<double>(compared) * 64.0 * expected);
    }
    return ratio;
}

}  // namespace

namespace {

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
    const std::vector<uint64_t> words = bit_words(bytes, n);
    const std::vector<double> ratio = mismatch_ratios(words, compared, max_lag, density);

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
    for (int32_t w = 4; w <= widest; ++w)
        for (int32_t k = 2; k <= w / 2; ++k)
            if (w % k == 0 && contrast[w / k] >= DIVISOR_SHARE * contrast[w] && score[w / k] > 0) {
                ranked[w] = std::min(ranked[w], score[w / k] * 0.99);
                break;
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
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
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
constexpr int64_t STEP = WINDOW / 2;  // from one window to the next
constexpr int64_t ROW_LAGS = 64;     // rows up to 64 bytes wide are looked for
constexpr int64_t WINDOW_NEED = WINDOW + ROW_LAGS + 8;
constexpr int32_t MOST_DISTINCT = 160;
constexpr int64_t GLANCE = 64;          // the bytes a window is first judged on
constexpr int32_t MOST_AT_A_GLANCE = 48; // random bytes give 57 values in 64   // more byte values in a window: noise or compressed
constexpr double WINDOW_DIP = 0.1;     // how far the best row lag dips below its neighbours
constexpr double REGION_SCORE = 0.08;    // the score a region's width must reach
constexpr int64_t JOIN_GAP = 768;        // spans this close are one region
constexpr double FLAGGED_SHARE = 0.4;    // of a region's windows that must look like rows
constexpr int64_t LEAST_FLAGGED = 3;     // windows that look like rows in the least region
constexpr double MOST_HORIZONTAL = 0.95; // pixels beside one another differ less than this
constexpr double MOST_BESIDE = 0.92;     // the same in a window
constexpr int32_t MOST_VALUES = 88;      // byte values in the middle 1 KiB of a region

uint64_t load_word(const uint8_t* p)
{
    uint64_t v;
    std::memcpy(&v, p, 8);
    return v;
}

// Differing bits between bytes[i] and bytes[i + lag] for i < pairs.
int64_t byte_lag_differences(const uint8_t* bytes, int64_t pairs, int64_t lag)
{
    int64_t differ = 0, i = 0;
    for (; i + 8 <= pairs; i += 8) differ += std::popcount(load_word(bytes + i) ^ load_word(bytes + i + lag));
    for (; i < pairs; ++i) differ += std::popcount(static_cast<uint32_t>(bytes[i] ^ bytes[i + lag]));
    return differ;
}

// Differing bits between bit i and bit i + 8 * lag + shift (shift -7 to 7)
// for the bits of bytes[0 .. pairs - 1], read a byte at a time.
int64_t bit_lag_differences(const uint8_t* bytes, int64_t pairs, int64_t available, int64_t lag, int32_t shift)
{
    int64_t differ = 0;
    const int64_t from = lag + (shift < 0 ? -1 : 0);
    const int32_t down = shift < 0 ? -shift : 8 - shift;  // the other byte's bits within two bytes
    for (int64_t i = 0; i < pairs && from + i + 1 < available; ++i) {
        const uint32_t two = (uint32_t{bytes[from + i]} << 8) | bytes[from + i + 1];
        differ += std::popcount(static_cast<uint32_t>(bytes[i] ^ ((two >> down) & 0xFF)));
    }
    return differ;
}

// How much the window at `bytes` (with `available` bytes from there on)
// looks like rows of whole bytes: 0 not at all.
double window_score(const uint8_t* bytes, int64_t available)
{
    // Byte values used: first in the window's first bytes, which turn away
    // random and compressed data (most windows of most files) at a glance.
    auto distinct_values = [bytes](int64_t count) {
        uint8_t seen[256] = {};
        for (int64_t i = 0; i < count; ++i) seen[bytes[i]] = 1;
        int32_t values = 0;
        for (uint8_t s : seen) values += s;
        return values;
    };
    if (distinct_values(GLANCE) > MOST_AT_A_GLANCE) return 0;
    const int32_t distinct = distinct_values(WINDOW);
    if (distinct < 3 || distinct > MOST_DISTINCT) return 0;
    double density[8];
    bit_densities(bytes, WINDOW, density);
    const double expected_same = shuffled_mismatch(density, 0);
    if (expected_same < 1e-9) return 0;

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
    // Pixels beside one another in a row are alike too; in text they are not.
    const double beside = static_cast<double>(bit_lag_differences(bytes, WINDOW, available, 0, 1)) /
                          (static_cast<double>(WINDOW) * 8 * std::max(1e-9, shuffled_mismatch(density, 1)));
    if (beside > MOST_BESIDE) return 0;
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

}  // namespace

std::vector<ScanSpan> scan_spans(const uint8_t* bytes, int64_t length, int64_t base, int64_t windows_end)
{
    std::vector<ScanSpan> spans;
    if (!bytes) return spans;
    for (int64_t at = 0; at + WINDOW <= length && at < windows_end; at += STEP) {
        if (window_score(bytes + at, std::min(length - at, WINDOW_NEED)) < WINDOW_DIP) continue;
        if (!spans.empty() && spans.back().end >= base + at) {
            spans.back().end = base + at + WINDOW;
            spans.back().windows++;
        } else {
            spans.push_back(ScanSpan{base + at, base + at + WINDOW, 1});
        }
    }
    return spans;
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
    const int64_t middle = std::min<int64_t>(length, 1024);
    bool seen[256] = {};
    int32_t values = 0;
    for (int64_t i = (length - middle) / 2, end = i + middle; i < end; ++i)
        if (!seen[bytes[i]]) seen[bytes[i]] = true, ++values;
    if (values > MOST_VALUES) return false;
    WidthGuess guess[1];
    // The windows looked for rows up to ROW_LAGS bytes; the region's width
    // is looked for up to twice that.
    if (guess_widths_up_to(bytes, length, guess, 1, 2 * ROW_LAGS * 8) < 1 || guess[0].score < REGION_SCORE)
        return false;
    // Text and much else that repeats in whole bytes has no runs of pixels
    // along a row.
    const int64_t n = std::min(length, GUESS_SAMPLE_BYTES);
    double density[8];
    bit_densities(bytes, n, density);
    const int64_t compared = (n * 8 - 2) / 64;
    if (compared < 1 || mismatch_ratios(bit_words(bytes, n), compared, 1, density)[1] > MOST_HORIZONTAL) return false;
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

    // The spans are judged on every thread too, then joined in file order.
    const std::vector<ScanSpan> merged = merge_spans(std::move(spans));
    std::vector<FoundRegion> judged(merged.size());
    std::vector<char> accepted(merged.size(), 0);
    std::atomic<size_t> next_span{0};
    auto judge = [&] {
        std::vector<uint8_t> sample;
        for (size_t i; !failed && (i = next_span++) < merged.size();) {
            const ScanSpan& s = merged[i];
            const int64_t n = std::min(s.end - s.start, SCAN_JUDGE_BYTES);
            sample.resize(static_cast<size_t>(n));
            {
                std::lock_guard<std::mutex> hold(lock);
                if (!read(s.start, n, sample.data())) {
                    failed = true;
                    return;
                }
            }
            accepted[i] = judge_span(sample.data(), n, s, min_bytes, judged[i]);
        }
    };
    pool.clear();
    for (int32_t t = 1; t < threads; ++t) pool.emplace_back(judge);
    judge();
    for (std::thread& t : pool) t.join();
    if (failed) return false;
    for (size_t i = 0; i < merged.size(); ++i)
        if (accepted[i]) add_region(regions, judged[i]);
    return true;
}
