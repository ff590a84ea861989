// overview.cpp: telling blocks apart by their bytes alone. A uniform block is
// one value throughout; text is nearly all printable ASCII; dense data has
// nearly the byte entropy of random bytes. The thresholds leave a block
// "other" when in doubt: the overview is a map, not a verdict.
#include "overview.h"

#include <cmath>

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

}  // namespace

int64_t overview_block_size(int64_t file_size)
{
    int64_t block = OVERVIEW_MIN_BLOCK;
    const int64_t pixels = int64_t{OVERVIEW_COLUMNS} * OVERVIEW_MAX_ROWS;
    while (block < (int64_t{1} << 40) && (file_size + block - 1) / block > pixels) block *= 2;
    return block;
}

BlockClass classify_block(const uint8_t* bytes, int64_t length)
{
    if (!bytes || length <= 0) return BlockClass::none;
    uint32_t counts[256] = {};
    int64_t printable = 0;
    for (int64_t i = 0; i < length; ++i) {
        const uint8_t b = bytes[i];
        ++counts[b];
        printable += (b >= 0x20 && b < 0x7F) || b == '\t' || b == '\n' || b == '\r';
    }
    if (counts[bytes[0]] == length) return BlockClass::uniform;
    if (static_cast<double>(printable) >= TEXT_SHARE * static_cast<double>(length)) return BlockClass::text;
    double entropy = 0;
    for (uint32_t c : counts) {
        if (!c) continue;
        const double p = static_cast<double>(c) / static_cast<double>(length);
        entropy -= p * std::log2(p);
    }
    if (entropy >= dense_threshold(length)) return BlockClass::dense;
    return BlockClass::other;
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
