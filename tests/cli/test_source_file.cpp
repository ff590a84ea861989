// Reading through SourceFile's windows: every byte where it belongs across
// window edges and remaps, in both directions, and a file that shrinks while
// mapped ending the program with a message instead of a crash.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "source_file.h"
#include "system.h"

#ifndef _WIN32
#include <unistd.h>
#endif

namespace {

constexpr int64_t W = SourceFile::WINDOW_BYTES;

// The byte a test file holds at `offset`: different for neighbouring bytes
// and for positions a window apart.
uint8_t mark(int64_t offset) { return uint8_t(offset * 7 + offset / W * 13 + 1); }

// Each test has a file of its own: CTest runs them at the same time, and one
// of them shortens its file.
std::string make_file(int64_t size)
{
    const std::string path = testing::TempDir() + "source_file_" +
                             testing::UnitTest::GetInstance()->current_test_info()->name() + ".bin";
    FILE* f = std::fopen(path.c_str(), "wb");
    std::vector<uint8_t> bytes(size_t(1) << 20);
    for (int64_t at = 0; at < size; at += int64_t(bytes.size())) {
        const int64_t n = std::min<int64_t>(size - at, int64_t(bytes.size()));
        for (int64_t i = 0; i < n; ++i) bytes[size_t(i)] = mark(at + i);
        std::fwrite(bytes.data(), 1, size_t(n), f);
    }
    std::fclose(f);
    return path;
}

}  // namespace

TEST(SourceFile, EveryByteWhereItBelongsAcrossWindows)
{
    const int64_t size = 2 * W + 12345;
    const std::string path = make_file(size);
    SourceFile source;
    std::string why;
    ASSERT_TRUE(source.open(path, why)) << why;
    EXPECT_EQ(source.size(), size);
    // Forward, backward, straddling a window's end, a whole window, the last byte.
    const int64_t reads[][2] = {{0, 1}, {W - 3, 6}, {W - 1, W}, {2 * W, 12345}, {5, W}, {size - 1, 1},
                                {W + 100, 4096}, {0, W}, {size - W, W}, {3, 0}};
    for (const auto& r : reads) {
        const uint8_t* bytes = source.bytes(r[0], r[1], why);
        ASSERT_NE(bytes, nullptr) << r[0] << " " << r[1] << ": " << why;
        for (int64_t i = 0; i < r[1]; ++i) ASSERT_EQ(bytes[i], mark(r[0] + i)) << "at " << r[0] + i;
    }
    EXPECT_EQ(source.bytes(size - 1, 2, why), nullptr);
    EXPECT_EQ(source.bytes(-1, 1, why), nullptr);
    EXPECT_EQ(source.bytes(0, W + 1, why), nullptr);

    SourceFile folder;
    EXPECT_FALSE(folder.open(testing::TempDir(), why));
    EXPECT_EQ(why, "is a folder");
    std::remove(path.c_str());
}

#ifndef _WIN32
// Windows refuses to shorten a file while a view of it is mapped.
TEST(SourceFileDeathTest, AFileThatShrinksEndsTheProgramWithAMessage)
{
    const std::string path = make_file(1 << 20);
    EXPECT_EXIT(
        {
            SourceFile source;
            std::string why;
            if (!source.open(path, why)) std::_Exit(3);
            arm_read_fault_report("shrinking.bin");
            const uint8_t* bytes = source.bytes(0, 1 << 20, why);
            if (!bytes || truncate(path.c_str(), 0) != 0) std::_Exit(4);
            std::printf("%d\n", bytes[600000]);
            std::_Exit(0);
        },
        testing::ExitedWithCode(1), "bitloupe-cli: shrinking.bin: the file shrank while it was read");
    std::remove(path.c_str());
}
#endif
