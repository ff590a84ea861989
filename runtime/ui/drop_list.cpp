// drop_list.cpp: reading the names of a dropped file list (see drop_list.h).
//
// Every read goes through the block size: a byte at or past the end reads as
// zero. Fields and code units are assembled from single bytes, so neither the
// block's alignment nor the host's byte order matters.
#include "drop_list.h"

#include <cstring>

namespace {

constexpr int64_t LIST_OFFSET_FIELD = 0;
constexpr int64_t WIDE_FLAG_FIELD = 16;

struct Block {
    const unsigned char* bytes;
    int64_t size;

    unsigned byte_at(int64_t offset) const { return offset >= 0 && offset < size ? bytes[offset] : 0u; }

    // A little-endian 32-bit field of the header (which the caller has checked
    // lies inside the block).
    uint32_t field(int64_t offset) const
    {
        unsigned char raw[4];
        std::memcpy(raw, bytes + offset, sizeof raw);
        return static_cast<uint32_t>(raw[0]) | static_cast<uint32_t>(raw[1]) << 8 |
               static_cast<uint32_t>(raw[2]) << 16 | static_cast<uint32_t>(raw[3]) << 24;
    }

    // The UTF-16LE code unit at any byte offset; a unit cut by the block's
    // end keeps its low byte.
    char16_t unit_at(int64_t offset) const
    {
        return static_cast<char16_t>(byte_at(offset) | byte_at(offset + 1) << 8);
    }
};

// Collects the text: counts every byte, stores those that fit.
struct Output {
    char* out;
    int64_t room;
    int64_t length = 0;

    void put(const char* text, int64_t count)
    {
        if (length < room) {
            int64_t stored = count < room - length ? count : room - length;
            std::memcpy(out + length, text, static_cast<size_t>(stored));
        }
        length += count;
    }
};

bool is_high_surrogate(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low_surrogate(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

void read_narrow(const Block& block, int64_t at, Output& output)
{
    for (bool first = true;; first = false) {
        int64_t end = at;
        while (end < block.size && block.bytes[end] != 0) ++end;
        if (end == at) return;  // an empty name (or the block's end) ends the list
        if (!first) output.put("\n", 1);
        output.put(reinterpret_cast<const char*>(block.bytes + at), end - at);
        at = end + 1;
    }
}

void read_wide(const Block& block, int64_t at, WideToNarrow convert, Output& output)
{
    for (bool first = true;; first = false) {
        char16_t unit = block.unit_at(at);
        if (unit == 0) return;
        if (!first) output.put("\n", 1);
        for (; unit != 0; unit = block.unit_at(at)) {
            // A surrogate pair is one character and is converted as one.
            char16_t units[2] = {unit, block.unit_at(at + 2)};
            int32_t count = is_high_surrogate(units[0]) && is_low_surrogate(units[1]) ? 2 : 1;
            char narrow[DROP_CHARACTER_BYTES];
            int32_t written = convert ? convert(units, count, narrow) : 0;
            if (written > 0 && written <= DROP_CHARACTER_BYTES) output.put(narrow, written);
            at += 2 * count;
        }
        at += 2;  // the terminating zero unit
    }
}

}  // namespace

int64_t read_drop_list(const void* block, int64_t size, WideToNarrow convert, char* out, int64_t room)
{
    Output output{out, out && room > 0 ? room : 0};
    if (!block || size < DROP_HEADER_SIZE) return 0;
    const Block data{static_cast<const unsigned char*>(block), size};
    const int64_t list_offset = data.field(LIST_OFFSET_FIELD);
    if (list_offset > size) return 0;
    if (data.field(WIDE_FLAG_FIELD) != 0)
        read_wide(data, list_offset, convert, output);
    else
        read_narrow(data, list_offset, output);
    return output.length;
}
