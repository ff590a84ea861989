// overview.cpp: telling blocks apart by their bytes alone. A uniform block is
// one value throughout; text is nearly all printable ASCII; dense data has
// nearly the byte entropy of random bytes. The thresholds leave a block
// "other" when in doubt: the overview is a map, not a verdict.
#include "overview.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "cpu_levels.h"

namespace {

// Share of printable bytes (with tab, line feed, carriage return) that
// makes a block text.
constexpr double TEXT_SHARE = 0.95;

// Entropy in bits a byte above which a block is dense. Random blocks of 64
// bytes reach only about 5.5 bits (too few bytes to show all 256 values),
// so the threshold follows the block size: nearly the most that many bytes
// can show.
double dense_threshold(int64_t length)
{
    const double most = std::log2(static_cast<double>(length < 256 ? length : 256));
    // Random data falls short of the most by the chance repeats of values.
    return length >= 4096 ? 7.5 : most * 0.86;
}

// Bytes of a block that its entropy is measured on, at most about.
constexpr int64_t SAMPLES = 512;

// c log2 c for the counts of the samples of a block, worked out once.
constexpr uint32_t TABLED_COUNTS = 2 * SAMPLES + 1;  // the most samples a block gives

const double* count_terms()
{
    static const double* table = [] {
        static double terms[TABLED_COUNTS];
        for (uint32_t k = 2; k < TABLED_COUNTS; ++k) terms[k] = k * std::log2(static_cast<double>(k));
        return terms;
    }();
    return table;
}

}  // namespace

int64_t overview_block_size(int64_t file_size)
{
    int64_t block = OVERVIEW_MIN_BLOCK;
    const int64_t pixels = int64_t{OVERVIEW_COLUMNS} * OVERVIEW_MAX_ROWS;
    while (block < (int64_t{1} << 40) && (file_size + block - 1) / block > pixels) block *= 2;
    return block;
}

namespace {

// Of every byte value, 1 when it is not printable (ASCII, tab, line feed,
// carriage return), else 0.
constexpr std::array<uint8_t, 256> UNPRINTABLE = [] {
    std::array<uint8_t, 256> flags{};
    for (int32_t v = 0; v < 256; ++v)
        flags[static_cast<size_t>(v)] = !((v >= 0x20 && v < 0x7F) || v == '\t' || v == '\n' || v == '\r');
    return flags;
}();

// The class from the sampled bytes' counts and, where they leave uniform or
// text open, from every byte: whether all are one value and how many are
// printable (`whole` says how to know those, when asked).
template <typename Count, typename Whole>
BITLOUPE_INLINE BlockClass class_of(const Count* counts, int64_t samples, int64_t length, Whole whole)
{
    int64_t seen = 0, unprintable = 0;
    for (int32_t v = 0; v < 256; ++v) {
        seen += counts[v] != 0;
        unprintable += static_cast<int64_t>(counts[v]) * UNPRINTABLE[static_cast<size_t>(v)];
    }
    const double most_unprintable = (1 - TEXT_SHARE) * static_cast<double>(length);
    if (seen == 1 || static_cast<double>(unprintable) <= most_unprintable) {
        bool one_value = false;
        int64_t printable = 0;
        whole(one_value, printable);
        if (one_value) return BlockClass::uniform;
        if (static_cast<double>(printable) >= TEXT_SHARE * static_cast<double>(length)) return BlockClass::text;
    }
    // Entropy = log2(n) - sum(c log2 c) / n, summed four ways at once.
    const double* terms = count_terms();
    double part[4] = {};
    for (int32_t v = 0; v < 256; v += 4)
        for (int32_t k = 0; k < 4; ++k) part[k] += terms[counts[v + k]];
    const double sum = (part[0] + part[1]) + (part[2] + part[3]);
    const double n = static_cast<double>(samples);
    const double entropy = std::log2(n) - sum / n;
    if (entropy >= dense_threshold(samples)) return BlockClass::dense;
    return BlockClass::other;
}

// Whether bytes[0 .. length - 1] are all `first`, and how many are
// printable: in loops the compiler runs a vector at a time. Printable bytes
// are counted in byte-wide sums of 128 bytes (a whole number of vectors,
// under 256), so that the counting stays one byte a lane.
BITLOUPE_INLINE void every_byte(const uint8_t* bytes, int64_t length, uint8_t first, bool& one_value, int64_t& printable)
{
    uint8_t differs = 0;
    printable = 0;
    for (int64_t at = 0; at < length; at += 128) {
        const int64_t end = std::min<int64_t>(length, at + 128);
        uint8_t part = 0;
        for (int64_t i = at; i < end; ++i) {
            const uint8_t b = bytes[i];
            differs |= static_cast<uint8_t>(b ^ first);
            part += static_cast<uint8_t>((static_cast<uint8_t>(b - 0x20) < 0x5F) | (b == '\t') | (b == '\n') |
                                         (b == '\r'));
        }
        printable += part;
    }
    one_value = differs == 0;
}

BITLOUPE_INLINE BlockClass classify_at_level_body(const uint8_t* bytes, int64_t length)
{
    // Evenly spread samples first: five hundred or so bytes tell dense data
    // from the rest as well as all of them do, and they settle most blocks
    // without a look at every byte (two values seen: not uniform; more
    // unprintable bytes seen than text allows: not text).
    const int64_t step = std::max<int64_t>(1, length / SAMPLES);
    // (Counted in two tables, a sample each in turn, so that one count does
    // not wait on the last.)
    uint16_t twice[2][256] = {};
    int64_t samples = 0;
    for (int64_t i = 0; i < length; i += step, ++samples) ++twice[samples & 1][bytes[i]];
    // At most TABLED_COUNTS - 1 samples: the sums fit 16 bits.
    uint16_t counts[256];
    for (int32_t v = 0; v < 256; ++v) counts[v] = static_cast<uint16_t>(twice[0][v] + twice[1][v]);
    return class_of(counts, samples, length, [&](bool& one_value, int64_t& printable) {
        every_byte(bytes, length, bytes[0], one_value, printable);
    });
}

BITLOUPE_INLINE void every_byte_at_level_body(const uint8_t* bytes, int64_t length, uint8_t first, bool& one_value,
                                              int64_t& printable)
{
    every_byte(bytes, length, first, one_value, printable);
}

// The byte loops run wider vectors where the processor has them.
BITLOUPE_LEVELS(BlockClass, classify_at_level, (const uint8_t* bytes, int64_t length), (bytes, length))
BITLOUPE_LEVELS(void, every_byte_at_level,
                (const uint8_t* bytes, int64_t length, uint8_t first, bool& one_value, int64_t& printable),
                (bytes, length, first, one_value, printable))

}  // namespace

BlockClass classify_block(const uint8_t* bytes, int64_t length)
{
    if (!bytes || length <= 0) return BlockClass::none;
    return classify_at_level(bytes, length);
}

BlockTally::BlockTally(int64_t length) : length_(length), step_(std::max<int64_t>(1, length / SAMPLES)) {}

void BlockTally::add(int64_t offset, const uint8_t* bytes, int64_t count)
{
    if (count <= 0) return;
    // The sampled places are every step_ bytes from the block's start.
    for (int64_t i = (offset + step_ - 1) / step_ * step_ - offset; i < count; i += step_, ++samples_) ++counts_[bytes[i]];
    bool one_value = false;
    int64_t printable = 0;
    every_byte_at_level(bytes, count, bytes[0], one_value, printable);
    if (!one_value || (valued_ && bytes[0] != value_)) one_value_ = false;
    valued_ = true;
    value_ = bytes[0];
    printable_ += printable;
    added_ += count;
}

void BlockTally::merge(const BlockTally& other)
{
    for (int32_t v = 0; v < 256; ++v) counts_[v] += other.counts_[v];
    samples_ += other.samples_;
    printable_ += other.printable_;
    added_ += other.added_;
    if (other.valued_) {
        if (!other.one_value_ || (valued_ && other.value_ != value_)) one_value_ = false;
        valued_ = true;
        value_ = other.value_;
    }
}

BlockClass BlockTally::result() const
{
    if (length_ <= 0) return BlockClass::none;
    return class_of(counts_, samples_, length_, [&](bool& one_value, int64_t& printable) {
        one_value = one_value_;
        printable = printable_;
    });
}

uint32_t class_colour(BlockClass block_class)
{
    switch (block_class) {
    case BlockClass::uniform: return 0x404040;   // dark grey
    case BlockClass::text: return 0x3CB44B;      // green
    case BlockClass::dense: return 0xC83232;     // red
    case BlockClass::graphics: return 0xFFE119;  // yellow
    case BlockClass::other: return 0x4363D8;     // blue
    case BlockClass::none: break;
    }
    return 0x000000;
}

char class_letter(BlockClass block_class)
{
    switch (block_class) {
    case BlockClass::uniform: return 'u';
    case BlockClass::text: return 't';
    case BlockClass::dense: return 'd';
    case BlockClass::graphics: return 'g';
    case BlockClass::other: return 'o';
    case BlockClass::none: break;
    }
    return '-';
}

const char* class_name(BlockClass block_class)
{
    switch (block_class) {
    case BlockClass::uniform: return "uniform";
    case BlockClass::text: return "text";
    case BlockClass::dense: return "dense";
    case BlockClass::graphics: return "graphics";
    case BlockClass::other: return "other";
    case BlockClass::none: break;
    }
    return "none";
}
