// test_drop_list.cpp: reading dropped file lists, well-formed and damaged.
//
// Every block is copied so that it ends where a page that cannot be read
// begins: any read past its end faults, in every build (the Windows build and
// the host build without the sanitizers too).
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/mman.h>
#include <unistd.h>
#endif

#include <cstring>
#include <string>
#include <vector>

#include "drop_list.h"

namespace {

using Bytes = std::vector<unsigned char>;

// A literal with its embedded zeros (but not the final one).
template <size_t N>
std::string text(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}
template <size_t N>
std::u16string text(const char16_t (&literal)[N])
{
    return std::u16string(literal, N - 1);
}

// Host stand-in for the code-page conversion: ASCII stays, a surrogate pair
// becomes '*' and any other character '?', so tests can see how the reader
// grouped the code units.
int32_t stand_in(const char16_t* units, int32_t count, char* out)
{
    out[0] = count == 2 ? '*' : units[0] < 0x80 ? static_cast<char>(units[0]) : '?';
    return 1;
}

void put32(Bytes& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<unsigned char>(value >> (8 * i));
}

Bytes header(uint32_t list_offset, bool wide)
{
    Bytes bytes(DROP_HEADER_SIZE, 0);
    put32(bytes, 0, list_offset);
    put32(bytes, 4, 123);  // drop point and non-client flag: never read
    put32(bytes, 8, 456);
    put32(bytes, 12, 1);
    put32(bytes, 16, wide ? 1 : 0);
    return bytes;
}

void add_narrow(Bytes& bytes, const std::string& text)
{
    bytes.insert(bytes.end(), text.begin(), text.end());
}

void add_wide(Bytes& bytes, const std::u16string& text)
{
    for (char16_t unit : text) {
        bytes.push_back(static_cast<unsigned char>(unit & 0xFF));
        bytes.push_back(static_cast<unsigned char>(unit >> 8));
    }
}

// A copy of `bytes` in the last bytes of a readable page that a page which
// cannot be read follows (one pair of pages, made once, serves every read).
const unsigned char* guarded_copy(const Bytes& bytes)
{
    static unsigned char* page = nullptr;
    static size_t page_size = 0;
    if (!page) {
#ifdef _WIN32
        SYSTEM_INFO system;
        GetSystemInfo(&system);
        page_size = system.dwPageSize;
        void* pages = VirtualAlloc(nullptr, 2 * page_size, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
        DWORD old = 0;
        if (pages && VirtualProtect(static_cast<char*>(pages) + page_size, page_size, PAGE_NOACCESS, &old))
            page = static_cast<unsigned char*>(pages);
#else
        page_size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        void* pages = mmap(nullptr, 2 * page_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (pages != MAP_FAILED && mprotect(static_cast<char*>(pages) + page_size, page_size, PROT_NONE) == 0)
            page = static_cast<unsigned char*>(pages);
#endif
    }
    if (!page || bytes.size() > page_size) return nullptr;
    unsigned char* start = page + page_size - bytes.size();
    if (!bytes.empty()) std::memcpy(start, bytes.data(), bytes.size());
    return start;
}

// Reads the list with the given room (-1: exactly the measured length) and
// checks that nothing beyond the room was written.
std::string read(const Bytes& bytes, int64_t room = -1, int64_t* length = nullptr)
{
    const unsigned char* block = guarded_copy(bytes);
    EXPECT_NE(block, nullptr);
    if (!block) return "(no guarded copy)";
    const auto size = static_cast<int64_t>(bytes.size());
    const int64_t measured = read_drop_list(block, size, stand_in, nullptr, 0);
    if (room < 0) room = measured;
    std::string out(static_cast<size_t>(room) + 4, '#');
    const int64_t total = read_drop_list(block, size, stand_in, out.data(), room);
    EXPECT_EQ(total, measured);
    EXPECT_EQ(out.substr(static_cast<size_t>(room)), "####");
    if (length) *length = total;
    return out.substr(0, static_cast<size_t>(room < total ? room : total));
}

}  // namespace

TEST(DropList, NarrowAndWideNamesInOrder)
{
    Bytes narrow = header(DROP_HEADER_SIZE, false);
    add_narrow(narrow, text("C:\\a.bin\0D:\\dir\\b c.rom\0\xE9t\xE9.txt\0\0"));
    EXPECT_EQ(read(narrow), "C:\\a.bin\nD:\\dir\\b c.rom\n\xE9t\xE9.txt");

    // Non-ASCII characters go through the conversion; a surrogate pair is
    // one character, a lone surrogate or a reversed pair is not.
    Bytes wide = header(DROP_HEADER_SIZE, true);
    add_wide(wide, text(u"C:\\x\u00E9.bin\0D:\\\U0001F600\0"));
    add_wide(wide, {0xD800, u'a', 0xDC00, 0xD800, 0});
    add_wide(wide, {0});
    EXPECT_EQ(read(wide), "C:\\x?.bin\nD:\\*\n?a??");

    // Names after the empty one are not part of the list; the list may also
    // start inside the header, as the offset says.
    add_wide(wide, u"ignored");
    EXPECT_EQ(read(wide), "C:\\x?.bin\nD:\\*\n?a??");
    Bytes inside = header(4, false);
    put32(inside, 4, 0x00434241);
    put32(inside, 8, 0);
    EXPECT_EQ(read(inside), "ABC");
}

TEST(DropList, WideNamesAtAnOddOffset)
{
    Bytes wide = header(DROP_HEADER_SIZE + 1, true);
    wide.push_back(0x55);
    add_wide(wide, text(u"one\0t\u00FFo\0\0"));
    EXPECT_EQ(read(wide), "one\nt?o");
}

TEST(DropList, TheBlockEndEndsTheLastNameAndTheList)
{
    Bytes narrow = header(DROP_HEADER_SIZE, false);
    add_narrow(narrow, text("first\0last"));
    EXPECT_EQ(read(narrow), "first\nlast");
    narrow.push_back(0);  // the name ends, the list does not
    EXPECT_EQ(read(narrow), "first\nlast");

    Bytes wide = header(DROP_HEADER_SIZE, true);
    add_wide(wide, text(u"ab\0cd"));
    EXPECT_EQ(read(wide), "ab\ncd");
    // Half a code unit at the end reads as if a zero byte followed it.
    wide.push_back('e');
    EXPECT_EQ(read(wide), "ab\ncde");
    Bytes half = header(DROP_HEADER_SIZE, true);
    half.push_back('z');
    EXPECT_EQ(read(half), "z");
}

TEST(DropList, RefusedBlocksGiveNoNames)
{
    Bytes valid = header(DROP_HEADER_SIZE, false);
    add_narrow(valid, text("a\0\0"));
    EXPECT_EQ(read(valid), "a");

    EXPECT_EQ(read(Bytes(valid.begin(), valid.begin() + DROP_HEADER_SIZE - 1)), "");
    // Also when the list offset lies inside the short block.
    Bytes short_inside = header(4, false);
    put32(short_inside, 4, 0x00004241);
    short_inside.resize(DROP_HEADER_SIZE - 1);
    EXPECT_EQ(read(short_inside), "");
    EXPECT_EQ(read(Bytes{}), "");
    EXPECT_EQ(read_drop_list(nullptr, 100, stand_in, nullptr, 0), 0);

    Bytes at_end = valid;
    put32(at_end, 0, static_cast<uint32_t>(at_end.size()));
    EXPECT_EQ(read(at_end), "");
    put32(at_end, 16, 1);
    EXPECT_EQ(read(at_end), "");
    Bytes beyond = valid;
    put32(beyond, 0, static_cast<uint32_t>(beyond.size() + 1));
    EXPECT_EQ(read(beyond), "");
    put32(beyond, 0, 0xFFFFFFFFu);
    EXPECT_EQ(read(beyond), "");
    put32(beyond, 16, 1);
    EXPECT_EQ(read(beyond), "");

    Bytes empty_first = header(DROP_HEADER_SIZE, true);
    add_wide(empty_first, text(u"\0x\0"));
    EXPECT_EQ(read(empty_first), "");
}

TEST(DropList, OutputStopsAtTheRoom)
{
    Bytes wide = header(DROP_HEADER_SIZE, true);
    add_wide(wide, text(u"abc\0def\0\0"));
    Bytes narrow = header(DROP_HEADER_SIZE, false);
    add_narrow(narrow, text("abc\0def\0\0"));
    const std::string whole = "abc\ndef";
    // Every room, including ones that cut a name or fall on the separator:
    // the text's front, and the whole length reported all the same.
    for (const Bytes& list : {wide, narrow}) {
        for (int64_t room = 0; room <= 9; ++room) {
            int64_t length = 0;
            EXPECT_EQ(read(list, room, &length), whole.substr(0, static_cast<size_t>(room))) << room;
            EXPECT_EQ(length, 7);
        }
    }
}

TEST(DropList, ConversionResultsOutOfRangeAddNothing)
{
    Bytes list = header(DROP_HEADER_SIZE, true);
    add_wide(list, text(u"a\u0100b\u0101c\0\0"));
    // Two bytes for the first non-ASCII character, an invalid count for the
    // second: the text holds the two bytes and nothing for the other.
    auto convert = [](const char16_t* units, int32_t, char* out) -> int32_t {
        if (units[0] == 0x100) {
            out[0] = 'X';
            out[1] = 'Y';
            return 2;
        }
        if (units[0] == 0x101) return DROP_CHARACTER_BYTES + 1;
        out[0] = static_cast<char>(units[0]);
        return 1;
    };
    const unsigned char* block = guarded_copy(list);
    ASSERT_NE(block, nullptr);
    char out[16] = {};
    EXPECT_EQ(read_drop_list(block, static_cast<int64_t>(list.size()), convert, out, sizeof out), 5);
    EXPECT_STREQ(out, "aXYbc");
}
