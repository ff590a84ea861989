// fuzz_drop_list.cpp: the dropped-file-list reader against a plain model.
//
// The first two input bytes choose how the block is made and how much room
// the output gets; the rest is the block. Either it is taken as it is, or a
// header with a chosen list offset and wide flag is written over its front,
// so that most runs reach the names. The block sits in a heap buffer of
// exactly its size and the output in one of exactly the room, so the address
// sanitizer catches a read past the block or a write past the room.
//
// The model reads a copy of the block followed by zero bytes with no bounds
// care at all, which is what the reader must be equivalent to.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "drop_list.h"

namespace {

void check(bool condition)
{
    if (!condition) std::abort();
}

bool is_high(char16_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }
bool is_low(char16_t unit) { return unit >= 0xDC00 && unit <= 0xDFFF; }

// Host stand-in for the code page: ASCII stays, a surrogate pair becomes '*',
// a lone surrogate '?', and any other character two bytes, so that the
// reader's grouping of units and its multi-byte output both show.
std::string narrow_form(char16_t first, int32_t count)
{
    if (count == 2) return "*";
    if (first < 0x80) return std::string(1, static_cast<char>(first));
    if (is_high(first) || is_low(first)) return "?";
    return std::string{'~', static_cast<char>('A' + first % 26)};
}

int32_t stand_in(const char16_t* units, int32_t count, char* out)
{
    check(count == 1 || (count == 2 && is_high(units[0]) && is_low(units[1])));
    std::string text = narrow_form(units[0], count);
    std::memcpy(out, text.data(), text.size());
    return static_cast<int32_t>(text.size());
}

uint32_t field(const std::string& bytes, size_t at)
{
    uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<size_t>(i)]);
    return value;
}

std::string model(const std::string& block)
{
    if (block.size() < DROP_HEADER_SIZE) return "";
    const uint64_t offset = field(block, 0);
    if (offset > block.size()) return "";
    const bool wide = field(block, 16) != 0;
    const std::string padded = block + std::string(8, '\0');
    std::vector<std::string> names;
    size_t at = static_cast<size_t>(offset);
    for (;;) {
        if (!wide) {
            std::string name(padded.c_str() + at);
            if (name.empty()) break;
            names.push_back(name);
            at += name.size() + 1;
            continue;
        }
        std::u16string name;
        for (;; at += 2) {
            auto unit = static_cast<char16_t>(static_cast<unsigned char>(padded[at]) |
                                              static_cast<unsigned char>(padded[at + 1]) << 8);
            if (unit == 0) break;
            name += unit;
        }
        at += 2;
        if (name.empty()) break;
        std::string text;
        for (size_t i = 0; i < name.size(); ++i) {
            bool pair = is_high(name[i]) && i + 1 < name.size() && is_low(name[i + 1]);
            text += narrow_form(name[i], pair ? 2 : 1);
            if (pair) ++i;
        }
        names.push_back(text);
    }
    std::string joined;
    for (size_t i = 0; i < names.size(); ++i) joined += (i ? "\n" : "") + names[i];
    return joined;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 2) return 0;
    const uint8_t shape = data[0];
    const uint8_t room_choice = data[1];
    std::string block(reinterpret_cast<const char*>(data) + 2, size - 2);

    // Shapes 1 to 3 write a header: the list offset at the start of the names,
    // at odd places, exactly at the end, just past it, or anywhere.
    if (shape % 4 != 0 && block.size() >= 2) {
        const uint8_t offset_choice = static_cast<uint8_t>(block[0]);
        if (block.size() < DROP_HEADER_SIZE) block.resize(DROP_HEADER_SIZE + offset_choice % 8, '\0');
        uint32_t offset;
        switch (offset_choice % 6) {
        case 0: offset = DROP_HEADER_SIZE; break;
        case 1: offset = DROP_HEADER_SIZE + 1; break;
        case 2: offset = static_cast<uint32_t>(block.size()); break;
        case 3: offset = static_cast<uint32_t>(block.size()) + 1; break;
        case 4: offset = 0xFFFFFFFFu - offset_choice % 3; break;
        default: offset = static_cast<uint32_t>(offset_choice % (block.size() + 1)); break;
        }
        const uint32_t wide = shape & 4 ? (shape & 8 ? 0x80000000u : 1u) : 0u;
        for (int i = 0; i < 4; ++i) {
            block[static_cast<size_t>(i)] = static_cast<char>(offset >> (8 * i));
            block[static_cast<size_t>(16 + i)] = static_cast<char>(wide >> (8 * i));
        }
    }

    const std::string expected = model(block);
    std::unique_ptr<char[]> copy(new char[block.size() ? block.size() : 1]);
    if (!block.empty()) std::memcpy(copy.get(), block.data(), block.size());
    const auto block_size = static_cast<int64_t>(block.size());

    const int64_t length = read_drop_list(copy.get(), block_size, stand_in, nullptr, 0);
    check(length == static_cast<int64_t>(expected.size()));

    // Room for all of it, a little more, or a cut anywhere.
    int64_t room = length;
    if (room_choice % 4 == 1) room = length + room_choice % 3;
    if (room_choice % 4 >= 2 && length > 0) room = room_choice % (length + 1);
    std::unique_ptr<char[]> out(room > 0 ? new char[static_cast<size_t>(room)] : nullptr);
    check(read_drop_list(copy.get(), block_size, stand_in, out.get(), room) == length);
    const size_t stored = static_cast<size_t>(room < length ? room : length);
    check(stored == 0 || std::memcmp(out.get(), expected.data(), stored) == 0);
    return 0;
}
