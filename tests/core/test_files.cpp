// Tests of the numbered files on real files in a fresh temporary folder.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

#include "fault_switch.h"
#include "faults.h"
#include "files.h"
#include "heap.h"
#include "registry.h"
#include "strings.h"

namespace {

std::string g_folder;  // ends in a backslash

std::string at(const std::string& name) { return g_folder + name; }

void put(const std::string& name, const std::string& content)
{
    std::ofstream(at(name), std::ios::binary) << content;
}

std::string get(const std::string& name)
{
    std::ifstream in(at(name), std::ios::binary);
    return {std::istreambuf_iterator<char>(in), {}};
}

std::string pattern(size_t length)
{
    std::string text(length, '\0');
    for (size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 7 + i / 251);
    return text;
}

size_t busy_blocks()
{
    PROCESS_HEAP_ENTRY entry{};
    size_t count = 0;
    while (HeapWalk(main_heap(), &entry))
        if (entry.wFlags & PROCESS_HEAP_ENTRY_BUSY) ++count;
    return count;
}

// Deleting needs the file closed: we open with FILE_SHARE_READ only.
bool closed(const std::string& name) { return DeleteFileA(at(name).c_str()) != 0; }

class FileFolder : public testing::Environment {
    void SetUp() override
    {
        init_files();
        char temp[MAX_PATH];
        GetTempPathA(MAX_PATH, temp);
        g_folder = std::string(temp) + "bitloupe-files-" + std::to_string(GetCurrentProcessId()) + "\\";
        CreateDirectoryA(g_folder.c_str(), nullptr);
    }
    void TearDown() override
    {
        end_files();
        WIN32_FIND_DATAA found;
        HANDLE search = FindFirstFileA(at("*").c_str(), &found);
        if (search != INVALID_HANDLE_VALUE) {
            do DeleteFileA(at(found.cFileName).c_str());
            while (FindNextFileA(search, &found));
            FindClose(search);
        }
        RemoveDirectoryA(g_folder.c_str());
    }
};
const auto* const g_environment = testing::AddGlobalTestEnvironment(new FileFolder);

}  // namespace

TEST(Files, WriterPassesOnFullBuffersOf4095Bytes)
{
    const std::string expected = pattern(10000);
    ASSERT_NE(create_file(1, at("w.bin").c_str()), 0);
    for (int i = 0; i < 4095; ++i) ASSERT_EQ(write_byte(1, static_cast<uint8_t>(expected[i]) | 0x700), 1);
    EXPECT_EQ(file_size(at("w.bin").c_str()), 0);
    write_byte(1, expected[4095]);
    EXPECT_EQ(file_size(at("w.bin").c_str()), 4095);
    for (size_t i = 4096; i < expected.size(); ++i) write_byte(1, expected[i]);
    EXPECT_EQ(close_file(1), 1);
    EXPECT_EQ(get("w.bin"), expected);
    EXPECT_EQ(write_byte(1, 0), 0);
}

TEST(Files, ReadsRefillTheBufferOrGoStraightIntoTheBlock)
{
    const std::string content = pattern(10000);
    put("ten.bin", content.substr(0, 10));
    put("five.bin", content.substr(0, 5000));
    put("r.bin", content);
    std::string block(10000, '#');

    ASSERT_NE(open_file_for_reading(1, at("ten.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data(), 10), 10);
    EXPECT_EQ(block.substr(0, 10), content.substr(0, 10));
    EXPECT_EQ(read_data(1, block.data(), 10), 0);

    block.assign(10001, '#');
    ASSERT_NE(open_file_for_reading(1, at("five.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data(), 10000), 5000);
    EXPECT_EQ(block, content.substr(0, 5000) + std::string(5001, '#'));

    // Pieces of every kind: inside the buffer, across its end, longer than it.
    ASSERT_NE(open_file_for_reading(1, at("r.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data(), 0), 0);
    EXPECT_EQ(read_data(1, nullptr, 5), 0);
    std::string delivered;
    for (int32_t length : {1, 4094, 2, 4, 4097, 13, 1500, 4096, 10}) {
        int32_t got = read_data(1, block.data(), length);
        delivered.append(block.data(), static_cast<size_t>(got));
    }
    EXPECT_EQ(delivered, content);
    EXPECT_EQ(close_file(1), 1);
}


// A read longer than FILE_READ_PIECE goes to the system in pieces; the caller
// sees what one read of the whole length would give.
TEST(Files, LongReadsGiveWhatOneReadWould)
{
    constexpr size_t piece = FILE_READ_PIECE;
    const std::string content = pattern(3 * piece);
    put("odd.bin", content.substr(0, 2 * piece + 1234));
    put("even.bin", content.substr(0, 2 * piece));
    put("three.bin", content);

    // Up to the end of the file, into memory that starts inside a page; the
    // bytes after the last one read stay as they were.
    std::string block(3 * piece + 8, '#');
    ASSERT_NE(open_file_for_reading(1, at("odd.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data() + 3, 3 * piece), static_cast<int32_t>(2 * piece + 1234));
    EXPECT_EQ(block, std::string(3, '#') + content.substr(0, 2 * piece + 1234) + std::string(piece - 1234 + 5, '#'));

    // A file that ends where a piece ends: its last native read gives nothing,
    // which is the end, not a failure.
    block.assign(3 * piece, '#');
    ASSERT_NE(open_file_for_reading(1, at("even.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data(), 3 * piece), static_cast<int32_t>(2 * piece));
    EXPECT_EQ(block.substr(0, 2 * piece), content.substr(0, 2 * piece));
    EXPECT_EQ(read_data(1, block.data(), 3 * piece), 0);

    // Reads of whole pieces leave the position at the next byte.
    ASSERT_NE(open_file_for_reading(1, at("three.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, block.data(), 2 * piece), static_cast<int32_t>(2 * piece));
    EXPECT_EQ(read_data(1, block.data() + 2 * piece, piece + 10), static_cast<int32_t>(piece));
    EXPECT_EQ(block, content);

    // A native read that fails after others succeeded fails the whole read.
    ASSERT_NE(open_file_for_reading(1, at("odd.bin").c_str()), 0);
    fail_after(Fault::read_file, 1);
    EXPECT_EQ(read_data(1, block.data(), 3 * piece), 0);
    clear_faults();

    // Memory that cannot be written fails the read, and is as it was: the
    // read is refused, and nothing faults.
    auto* fixed = static_cast<uint8_t*>(VirtualAlloc(nullptr, 2 * piece, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
    ASSERT_NE(fixed, nullptr);
    fixed[piece] = '#';
    DWORD previous = 0;
    ASSERT_TRUE(VirtualProtect(fixed, 2 * piece, PAGE_READONLY, &previous));
    ASSERT_NE(open_file_for_reading(1, at("odd.bin").c_str()), 0);
    EXPECT_EQ(read_data(1, fixed, 2 * piece), 0);
    EXPECT_EQ(fixed[0], 0);
    EXPECT_EQ(fixed[piece], '#');
    VirtualFree(fixed, 0, MEM_RELEASE);
    EXPECT_EQ(close_file(1), 1);
}
TEST(Files, SwitchingBetweenReadingAndWritingKeepsThePosition)
{
    std::string expected = pattern(6000);
    put("u.bin", expected);
    for (int32_t buffer_size : {FILE_BUFFER_SIZE, 0}) {
        set_file_buffer_size(buffer_size);
        ASSERT_NE(open_file_for_update(3, at("u.bin").c_str()), 0);
        char piece[8];
        ASSERT_EQ(read_data(3, piece, 8), 8);
        const char mark = buffer_size ? 'X' : 'x';  // the second round must change the file too
        EXPECT_EQ(write_byte(3, mark), 1);
        ASSERT_EQ(read_data(3, piece, 5), 5);
        EXPECT_EQ(std::string(piece, 5), expected.substr(9, 5));
        EXPECT_EQ(write_byte(3, mark + 1), 1);
        EXPECT_EQ(close_file(3), 1);
        expected[8] = mark;
        expected[14] = static_cast<char>(mark + 1);
        EXPECT_EQ(get("u.bin"), expected) << "buffer size " << buffer_size;
    }
    set_file_buffer_size(FILE_BUFFER_SIZE);
}

TEST(Files, ReopeningANumberClosesItsFileAndFailuresLeaveNothing)
{
    ASSERT_NE(create_file(2, at("old.bin").c_str()), 0);
    write_byte(2, 'a');
    ASSERT_NE(create_file(2, at("new.bin").c_str()), 0);
    EXPECT_EQ(get("old.bin"), "a");
    EXPECT_TRUE(closed("old.bin"));
    EXPECT_EQ(open_file_for_reading(2, at("missing.bin").c_str()), 0);
    EXPECT_TRUE(closed("new.bin"));
    EXPECT_EQ(close_file(2), 0);

    put("d.bin", "dynamic");
    intptr_t number = open_file_for_reading(ANY_NUMBER, at("d.bin").c_str());
    ASSERT_GE(number, FIRST_DYNAMIC_NUMBER);
    char text[8] = {};
    EXPECT_EQ(read_data(static_cast<int32_t>(number), text, 8), 7);
    EXPECT_STREQ(text, "dynamic");
    EXPECT_EQ(close_file(static_cast<int32_t>(number)), 1);
    EXPECT_EQ(close_file(static_cast<int32_t>(number)), 0);

    // A failed open keeps no record and no handle. The buffer's allocation
    // comes right after the dynamic record's.
    const size_t blocks = busy_blocks();
    fail_allocation_after(1);
    EXPECT_EQ(open_file_for_reading(ANY_NUMBER, at("d.bin").c_str()), 0);
    fail_allocation_after(-1);
    EXPECT_EQ(open_file_for_reading(ANY_NUMBER, at("missing.bin").c_str()), 0);
    EXPECT_EQ(busy_blocks(), blocks);
    EXPECT_TRUE(closed("d.bin"));
    EXPECT_EQ(read_data(ANY_NUMBER, text, 8), 0);
}

TEST(Files, CloseReportsAFailedWrite)
{
    // A handle opened for reading refuses every native write.
    put("ro.bin", "x");
    ASSERT_NE(open_file_for_reading(4, at("ro.bin").c_str()), 0);
    write_byte(4, 1);
    EXPECT_EQ(close_file(4), 0);

    ASSERT_NE(open_file_for_reading(4, at("ro.bin").c_str()), 0);
    for (int i = 0; i < 4095; ++i) ASSERT_EQ(write_byte(4, 1), 1);
    EXPECT_EQ(write_byte(4, 1), 0);
    EXPECT_EQ(write_byte(4, 1), 1);
    EXPECT_EQ(close_file(4), 0);
    EXPECT_EQ(get("ro.bin"), "x");
}

TEST(Files, SizesOfFilesFoldersAndDrives)
{
    put("empty.bin", "");
    EXPECT_EQ(file_size(nullptr), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size(""), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size("C:"), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(file_size("C:\\"), FILE_SIZE_DIRECTORY);
    char absent[] = "?:";
    for (char drive = 'A'; drive <= 'Z' && absent[0] == '?'; ++drive)
        if (!(GetLogicalDrives() & (1u << (drive - 'A')))) absent[0] = drive;
    EXPECT_EQ(file_size(absent), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size(g_folder.c_str()), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(file_size((g_folder + "\\").c_str()), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(file_size(g_folder.substr(0, g_folder.size() - 1).c_str()), FILE_SIZE_DIRECTORY);
    EXPECT_EQ(file_size(at("missing.bin").c_str()), FILE_SIZE_MISSING);
    EXPECT_EQ(file_size(at("empty.bin").c_str()), 0);

    // A path too long for MAX_PATH buffers is refused, not cut down to the
    // name of another file.
    std::string longest = at(std::string(MAX_PATH - 1 - g_folder.size(), 'n'));
    ASSERT_EQ(longest.size(), MAX_PATH - 1u);
    put(longest.substr(g_folder.size()), "12");
    EXPECT_EQ(file_size(longest.c_str()), 2);
    EXPECT_EQ(file_size((longest + "x").c_str()), FILE_SIZE_MISSING);
    EXPECT_EQ(create_file(5, (longest + "x").c_str()), 0);
    EXPECT_EQ(open_file_for_reading(5, (longest + std::string(40, 'x')).c_str()), 0);
    EXPECT_EQ(get(longest.substr(g_folder.size())), "12");
}

TEST(Files, CurrentDirectoryEndsInABackslash)
{
    char saved[MAX_PATH];
    ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
    for (const std::string& folder : {std::string("C:\\"), g_folder}) {
        ASSERT_EQ(set_current_directory(folder.c_str()), 1);
        int32_t position = string_position();
        current_directory(position);
        EXPECT_STREQ(string_at(position), folder.c_str());
        EXPECT_EQ(string_position(), position + static_cast<int32_t>(folder.size()));
        set_string_position(position);
    }
    EXPECT_EQ(set_current_directory(nullptr), 0);
    SetCurrentDirectoryA(saved);
}

TEST(Files, ValidFileNames)
{
    EXPECT_EQ(is_valid_file_name("name.bin"), 1);
    EXPECT_EQ(is_valid_file_name("caf\xe9 (1).bin"), 1);
    const char* invalid[] = {"dir\\name", "a:b", "", nullptr, "a\tb", "x\x1f", "a?", "<", "|", "\"q\"", "a/b", "*"};
    for (const char* name : invalid)
        EXPECT_EQ(is_valid_file_name(name), 0) << (name ? name : "(null)");
}

TEST(Files, ReplacementKeepsTheOldFileUntilTheNewOneIsComplete)
{
    put("target.bin", "old");
    char temporary[MAX_PATH];
    ASSERT_EQ(begin_replacement(at("target.bin").c_str(), temporary), 1);
    // The temporary file lies beside the target and starts empty.
    EXPECT_EQ(std::string(temporary).rfind(g_folder, 0), 0u);
    EXPECT_EQ(file_size(temporary), 0);
    FILE* file = std::fopen(temporary, "wb");
    ASSERT_NE(file, nullptr);
    std::fputs("new", file);
    std::fclose(file);
    // Not complete: the target keeps its content and the temporary file goes.
    EXPECT_EQ(end_replacement(temporary, at("target.bin").c_str(), 0), 0);
    EXPECT_EQ(get("target.bin"), "old");
    EXPECT_EQ(file_size(temporary), FILE_SIZE_MISSING);

    ASSERT_EQ(begin_replacement(at("target.bin").c_str(), temporary), 1);
    put(std::string(temporary).substr(g_folder.size()), "new");
    EXPECT_EQ(end_replacement(temporary, at("target.bin").c_str(), 1), 1);
    EXPECT_EQ(get("target.bin"), "new");
    EXPECT_EQ(file_size(temporary), FILE_SIZE_MISSING);

    // Read-only files, folders and folders that do not exist are never replaced.
    SetFileAttributesA(at("target.bin").c_str(), FILE_ATTRIBUTE_READONLY);
    EXPECT_EQ(begin_replacement(at("target.bin").c_str(), temporary), 0);
    SetFileAttributesA(at("target.bin").c_str(), FILE_ATTRIBUTE_NORMAL);
    EXPECT_EQ(begin_replacement(g_folder.substr(0, g_folder.size() - 1).c_str(), temporary), 0);
    EXPECT_EQ(begin_replacement(at("missing\\x.bin").c_str(), temporary), 0);
    DeleteFileA(at("target.bin").c_str());
}

namespace {

// The files in `folder` (ending in a backslash), by name.
std::vector<std::string> files_in(const std::string& folder)
{
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE search = FindFirstFileA((folder + "*").c_str(), &found);
    if (search == INVALID_HANDLE_VALUE) return names;
    do
        if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) names.push_back(found.cFileName);
    while (FindNextFileA(search, &found));
    FindClose(search);
    return names;
}

// Replaces `path` with a file holding `content`; the result of end_replacement,
// or -1 when no temporary file could be made.
int32_t replace_with(const std::string& path, const std::string& content)
{
    char temporary[MAX_PATH];
    if (!begin_replacement(path.c_str(), temporary)) return -1;
    std::ofstream(temporary, std::ios::binary) << content;
    return end_replacement(temporary, path.c_str(), 1);
}

FILETIME creation_time(const std::string& path)
{
    FILETIME created{};
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    GetFileTime(file, &created, nullptr, nullptr);
    CloseHandle(file);
    return created;
}

}  // namespace

TEST(Files, ReplacementKeepsTheTargetsAttributesAndCreationTime)
{
    const std::string target = at("kept.bin");
    put("kept.bin", "old");
    // A creation time well in the past, which a new file cannot have by chance.
    FILETIME long_ago{0x2A3B4C00, 0x01C00000};
    HANDLE file = CreateFileA(target.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(file, INVALID_HANDLE_VALUE);
    SetFileTime(file, &long_ago, nullptr, nullptr);
    CloseHandle(file);
    const FILETIME before = creation_time(target);
    ASSERT_TRUE(SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_HIDDEN));

    ASSERT_EQ(replace_with(target, "new"), 1);
    EXPECT_EQ(get("kept.bin"), "new");
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    // Only where the file system took the old creation time (not under
    // Wine, whose files on Linux have no settable creation time) can it be
    // seen to stay.
    if (before.dwLowDateTime == long_ago.dwLowDateTime && before.dwHighDateTime == long_ago.dwHighDateTime) {
        const FILETIME after = creation_time(target);
        EXPECT_EQ(after.dwLowDateTime, before.dwLowDateTime);
        EXPECT_EQ(after.dwHighDateTime, before.dwHighDateTime);
    }
    EXPECT_EQ(files_in(g_folder), std::vector<std::string>{"kept.bin"});

    // Where ReplaceFileA does not exist, the file is moved into place.
    fail_after(Fault::replace_file, 0);
    EXPECT_EQ(replace_with(target, "moved"), 1);
    clear_faults();
    EXPECT_EQ(get("kept.bin"), "moved");
    EXPECT_NE(GetFileAttributesA(target.c_str()) & FILE_ATTRIBUTE_HIDDEN, 0u);
    EXPECT_EQ(files_in(g_folder), std::vector<std::string>{"kept.bin"});

    // A target in use is a real failure: it keeps its bytes, with or without
    // ReplaceFileA, and the temporary file goes.
    HANDLE in_use = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(in_use, INVALID_HANDLE_VALUE);
    EXPECT_EQ(replace_with(target, "refused"), 0);
    fail_after(Fault::replace_file, 0);
    EXPECT_EQ(replace_with(target, "refused"), 0);
    clear_faults();
    CloseHandle(in_use);
    EXPECT_EQ(get("kept.bin"), "moved");
    EXPECT_EQ(files_in(g_folder), std::vector<std::string>{"kept.bin"});

    // A temporary file that cannot be made leaves nothing behind.
    fail_after(Fault::create_file, 0);
    EXPECT_EQ(replace_with(target, "never"), -1);
    clear_faults();
    EXPECT_EQ(get("kept.bin"), "moved");
    EXPECT_EQ(files_in(g_folder), std::vector<std::string>{"kept.bin"});
    SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
    DeleteFileA(target.c_str());
}

// Saving over a hidden or a system file keeps it hidden or system, whether
// ReplaceFileA or the move puts the new file in place; a plain file stays
// plain.
TEST(Files, ReplacementKeepsHiddenAndSystemAttributes)
{
    const std::string target = at("marked.bin");
    constexpr DWORD MARKS = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
    for (const bool replace_works : {true, false}) {
        for (const DWORD marks : {DWORD(FILE_ATTRIBUTE_SYSTEM), MARKS, DWORD(FILE_ATTRIBUTE_HIDDEN), DWORD(0)}) {
            SCOPED_TRACE(testing::Message() << "attributes " << marks << (replace_works ? "" : ", moved"));
            put("marked.bin", "old");
            ASSERT_TRUE(SetFileAttributesA(target.c_str(), marks ? marks : FILE_ATTRIBUTE_NORMAL));
            ASSERT_EQ(GetFileAttributesA(target.c_str()) & MARKS, marks) << "the file system keeps no such marks";
            if (!replace_works) fail_after(Fault::replace_file, 0);
            EXPECT_EQ(replace_with(target, "new"), 1);
            clear_faults();
            EXPECT_EQ(get("marked.bin"), "new");
            EXPECT_EQ(GetFileAttributesA(target.c_str()) & MARKS, marks);
            EXPECT_EQ(files_in(g_folder), std::vector<std::string>{"marked.bin"});
            SetFileAttributesA(target.c_str(), FILE_ATTRIBUTE_NORMAL);
            DeleteFileA(target.c_str());
        }
    }
}

// Sizes of 4 GiB and more need the high half of the size (sparse files, where
// the file system has them, so that no disk space is taken).
TEST(Files, SizesBeyondFourGigabytes)
{
    const std::string path = at("large.bin");
    for (const int64_t size : {int64_t{1} << 32, (int64_t{5} << 30) + 3}) {
        HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
        ASSERT_NE(file, INVALID_HANDLE_VALUE);
        DWORD returned = 0;
        DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr);
        LARGE_INTEGER end;
        end.QuadPart = size;
        const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
        CloseHandle(file);
        ASSERT_TRUE(sized) << size;
        EXPECT_EQ(file_size(path.c_str()), size);
    }
    DeleteFileA(path.c_str());
}

// The file dialogs allow paths of up to 259 characters, so folders that long
// take a temporary file too: its name shrinks to the room left, down to two
// characters; with less room the save fails and touches nothing.
TEST(Files, ReplacementWorksInFoldersUpToThePathLimit)
{
    std::vector<std::string> made;  // folders, outermost first
    auto make_folder = [&](const std::string& path) {
        made.push_back(path);
        return CreateDirectoryA(path.c_str(), nullptr) != 0;
    };
    std::string folder = g_folder;
    while (folder.size() < 250) {
        folder += std::string(std::min<size_t>(60, 250 - folder.size()), 'f');
        ASSERT_TRUE(make_folder(folder)) << folder.size();
        folder += '\\';
    }
    ASSERT_EQ(folder.size(), 251u);  // 250 characters and the backslash

    // Eight characters of room: "~" and seven digits.
    for (const std::string& name : {std::string("t.bin"), std::string(8, 'n')}) {
        SCOPED_TRACE(name);
        const std::string target = folder + name;
        EXPECT_EQ(replace_with(target, "first"), 1);   // a new file
        EXPECT_EQ(replace_with(target, "second"), 1);  // an existing one
        std::ifstream in(target, std::ios::binary);
        EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "second");
        in.close();
        EXPECT_EQ(files_in(folder), std::vector<std::string>{name});
        DeleteFileA(target.c_str());
    }

    // Two characters of room (a 256-character folder): "~X".
    const std::string two_left = folder + "ddddd";
    ASSERT_TRUE(make_folder(two_left));
    const std::string two = two_left + "\\ab";
    ASSERT_EQ(two.size(), 259u);
    EXPECT_EQ(replace_with(two, "two"), 1);
    EXPECT_EQ(replace_with(two, "again"), 1);
    EXPECT_EQ(files_in(two_left + "\\"), std::vector<std::string>{"ab"});
    DeleteFileA(two.c_str());

    // One character of room (a 257-character folder): no name fits.
    const std::string one_left = folder + "eeeeee";
    ASSERT_TRUE(make_folder(one_left));
    EXPECT_EQ(replace_with(one_left + "\\a", "none"), -1);
    EXPECT_TRUE(files_in(one_left + "\\").empty());

    for (auto path = made.rbegin(); path != made.rend(); ++path) RemoveDirectoryA(path->c_str());
}
