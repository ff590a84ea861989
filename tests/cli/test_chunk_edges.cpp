// The command line reads files in chunks on several threads: a file of many
// chunks with pictures and glyphs across every chunk edge gives, through
// bitloupe-cli scan and find, what the engine gives for the whole file held
// at once, and the scan the same when its judged regions go through a
// temporary file.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <zlib.h>

#include <cstdio>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "finding.h"
#include "glyph_search.h"

namespace {

std::string run(const std::string& command)
{
    FILE* pipe = popen(command.c_str(), "r");
    std::string out;
    if (!pipe) return out;
    char buffer[4096];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) out.append(buffer, n);
    pclose(pipe);
    return out;
}

// Every "KEY": NUMBER of a JSON text, in order.
std::vector<double> numbers_of(const std::string& json, const std::string& key)
{
    std::vector<double> out;
    const std::string mark = "\"" + key + "\": ";
    for (size_t at = json.find(mark); at != std::string::npos; at = json.find(mark, at + 1))
        out.push_back(std::strtod(json.c_str() + at + mark.size() + (json[at + mark.size()] == '"'), nullptr));
    return out;
}

std::vector<uint8_t> console_font()
{
    std::vector<uint8_t> font(1 << 16);
    gzFile in = gzopen("/usr/share/consolefonts/Lat15-VGA16.psf.gz", "rb");
    if (!in) return {};
    const int n = gzread(in, font.data(), static_cast<unsigned>(font.size()));
    gzclose(in);
    font.resize(n > 4 ? static_cast<size_t>(n) : 0);
    return font;
}

TEST(CliChunks, EveryChunkEdgeGivesWhatTheWholeFileGives)
{
    const std::vector<uint8_t> font = console_font();
    ASSERT_GE(font.size(), 4100u) << "no console font";
    // 18 MiB of random bytes: 18 chunks of the scan and of find. Across
    // every MiB boundary, 3 KiB of the font's glyphs, and a letter A of it a
    // few bytes before it, its rows across the edge.
    constexpr int64_t MIB = int64_t{1} << 20, SIZE = 18 * MIB;
    std::mt19937_64 random(20261210);
    std::vector<uint8_t> file(static_cast<size_t>(SIZE));
    for (uint8_t& b : file) b = static_cast<uint8_t>(random());
    for (int64_t edge = MIB; edge < SIZE; edge += MIB) {
        const int64_t start = edge - 1024 - static_cast<int64_t>(random() % 1024);
        std::copy(font.begin() + 4 + 0x400, font.begin() + 4 + 0x400 + 3072, file.begin() + start);
    }
    const uint8_t* letter_a = font.data() + 4 + 0x41 * 16;
    for (int64_t edge = MIB; edge < SIZE; edge += MIB) std::copy(letter_a, letter_a + 16, file.begin() + edge - 5);
    char folder[] = "/tmp/bitloupe-chunks.XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string path = std::string(folder) + "/file.bin";
    std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(file.data()), SIZE);

    // scan: every candidate, in file order; the same when the judged
    // regions are kept in runs of three in a temporary file.
    const std::string scanned = run(std::string(BITLOUPE_CLI) + " scan '" + path + "' --json --order file --min-score 0");
    EXPECT_EQ(run("BITLOUPE_SCAN_HELD=3 " + std::string(BITLOUPE_CLI) + " scan '" + path + "' --json --order file --min-score 0"),
              scanned);
    const std::vector<FoundRegion> whole = scan_bytes(file.data(), SIZE, 0, SCAN_MIN_BYTES);
    const std::vector<double> starts = numbers_of(scanned, "start"), ends = numbers_of(scanned, "end"),
                              widths = numbers_of(scanned, "width_bits");
    ASSERT_EQ(starts.size(), whole.size()) << scanned;
    ASSERT_GE(whole.size(), 17u);  // a region at least at every edge
    for (size_t i = 0; i < whole.size(); ++i)
        EXPECT_TRUE(starts[i] == whole[i].start && ends[i] == whole[i].end && widths[i] == whole[i].width_bits)
            << "region " << i << ": " << starts[i] << ".." << ends[i] << " against " << whole[i].start << ".."
            << whole[i].end;

    // find: the letter A at every stride and bit, as the engine finds it in
    // the whole file.
    std::string glyph, why;
    for (int y = 0; y < 16; ++y) {
        for (int x = 0; x < 8; ++x) glyph += letter_a[y] >> (7 - x) & 1 ? '#' : '.';
        glyph += y < 15 ? "/" : "";
    }
    GlyphPattern pattern;
    ASSERT_TRUE(parse_glyph_pattern(glyph, pattern, why)) << why;
    const std::string found = run(std::string(BITLOUPE_CLI) + " find '" + path + "' --glyph '" + glyph + "' --json");
    const GlyphSearch search(pattern, 0, 0);
    std::vector<GlyphMatch> expected;
    search.search(file.data(), SIZE, 0, 0, SIZE, 1000000, expected);
    // Each "start": "BYTE.BIT", in order.
    std::vector<int64_t> at;
    for (size_t p = found.find("\"start\": \""); p != std::string::npos; p = found.find("\"start\": \"", p + 1)) {
        char* dot = nullptr;
        const int64_t byte = std::strtoll(found.c_str() + p + 10, &dot, 10);
        at.push_back(byte * 8 + (dot[1] - '0'));
    }
    ASSERT_EQ(at.size(), expected.size()) << found;
    ASSERT_GE(expected.size(), 17u);
    for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(at[i], expected[i].start_bit) << "match " << i;
    std::system(("rm -rf '" + std::string(folder) + "'").c_str());
}

}  // namespace
