// Tests of finding graphics: widths that are not whole bytes, data with
// nothing to find, the chunked scan of a file against the scan of the same
// bytes in memory, and the quality figures on a corpus of real data.
//
// The corpus test runs a small corpus by default (20 files of 1 MiB per
// filler kind: about 750 pictures, so that one miss moves a share by less
// than a seventh of a percent). The full corpus, 100 files per kind:
//   BITLOUPE_CORPUS_FILES=100 build/host/tests/finding/finding_tests --gtest_filter='*Corpus*'
// (files per filler kind, 1 MiB each). BITLOUPE_CORPUS_SEED
// sets the seed (printed); corpus.h names the variables that choose the data.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "corpus.h"
#include "cpu_levels.h"
#include "finding.h"

namespace {

int64_t environment_number(const char* name, int64_t fallback)
{
    const char* value = std::getenv(name);
    return value && *value ? std::strtoll(value, nullptr, 0) : fallback;
}

// Frames of sprites `width` bits wide packed with no padding, which only a
// bit-level guess can find.
std::vector<uint8_t> packed_sprites(int32_t width, int32_t rows, Random& random)
{
    std::vector<uint8_t> bytes(static_cast<size_t>((int64_t{width} * rows + 7) / 8), 0);
    for (int32_t y = 0; y < rows; ++y) {
        const int32_t frame = y / 16, r = y % 16;
        const int32_t left = frame * 7 % 4, right = width - 1 - frame % 3, cut = static_cast<int32_t>(random() % 3);
        for (int32_t x = left; x <= right; ++x)
            if (r == 0 || r == 15 || x <= left + cut || x == right || (r > 4 && r < 9 && x > width / 3)) {
                const int64_t bit = int64_t{y} * width + x;
                bytes[static_cast<size_t>(bit / 8)] |= static_cast<uint8_t>(0x80 >> bit % 8);
            }
    }
    return bytes;
}

TEST(GuessWidths, FindsWidthsThatAreNotWholeBytes)
{
    Random random(7);
    for (int32_t width : {5, 13, 21, 37, 100}) {
        const std::vector<uint8_t> bytes = packed_sprites(width, 512, random);
        WidthGuess guess[GUESS_MAX_CANDIDATES];
        const int32_t n = guess_widths(bytes.data(), static_cast<int64_t>(bytes.size()), guess, 5);
        ASSERT_GE(n, 1) << width;
        EXPECT_EQ(guess[0].width_bits, width);
        for (int32_t i = 1; i < n; ++i) EXPECT_LE(guess[i].score, guess[0].score + 1e-9) << width;
    }
}

TEST(GuessWidths, FlatTinyAndRandomDataGiveNothingWorthReporting)
{
    WidthGuess guess[GUESS_MAX_CANDIDATES];
    const std::vector<uint8_t> zeros(4096, 0), ones(4096, 0xFF);
    EXPECT_EQ(guess_widths(zeros.data(), 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(nullptr, 4096, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 0, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 1, guess, 5), 0);
    EXPECT_EQ(guess_widths(ones.data(), 4096, guess, 0), 0);

    Random random(11);
    std::vector<uint8_t> noise(65536);
    for (uint8_t& b : noise) b = static_cast<uint8_t>(random());
    const int32_t n = guess_widths(noise.data(), 65536, guess, 5);
    for (int32_t i = 0; i < n; ++i) EXPECT_LT(guess[i].score, 0.05) << guess[i].width_bits;
    EXPECT_TRUE(scan_bytes(noise.data(), 65536, 0, SCAN_MIN_BYTES).empty());
    EXPECT_TRUE(scan_bytes(zeros.data(), 4096, 0, SCAN_MIN_BYTES).empty());
}

// Text laid out in columns (lists of names indented by runs of spaces,
// boxes drawn with bars and dashes) repeats rows of whole bytes as pictures
// do, but holds no blank (00) or solid (FF) bytes: it is not graphics.
TEST(ScanBytes, TextInColumnsIsNotGraphics)
{
    Random random(5);
    std::string text;
    const char* words[] = {"Alice", "Bartosz", "Claus", "Dmitri", "Eve", "Fatima", "Gunnar", "Hiroshi"};
    while (text.size() < 64 * 1024) {
        const std::string name = std::string(words[random() % 8]) + " " + words[random() % 8];
        text += std::string(21, ' ') + name + " <" + words[random() % 8] + "@example.org>\n";
        if (random() % 8 == 0)
            text += "   |" + std::string(40 + random() % 3, ' ') + "|\n   +" + std::string(40, '-') + "+\n";
    }
    const std::vector<FoundRegion> regions =
        scan_bytes(reinterpret_cast<const uint8_t*>(text.data()), static_cast<int64_t>(text.size()), 0, SCAN_MIN_BYTES);
    for (const FoundRegion& r : regions)
        ADD_FAILURE() << "text found as graphics: " << r.start << ".." << r.end << " width " << r.width_bits;
}

// A file of several chunks with pictures across the chunk edges, scanned
// through scan_source on two threads and as one block: the same regions.
TEST(ScanSource, ChunksGiveTheRegionsOfTheWholeFile)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_FALSE(sources.fillers.empty());
    Random random(3);
    const int64_t size = 3 * SCAN_CHUNK_BYTES + 5000;
    CorpusFile file = make_corpus_file(sources, 0, random, size, 12, 2048, 8192);
    for (int64_t edge = SCAN_CHUNK_BYTES; edge < size; edge += SCAN_CHUNK_BYTES) {
        const Picture p = sources.pictures[0].make(random, 6000);
        std::memcpy(file.bytes.data() + edge - 3000, p.bytes.data(), p.bytes.size());
    }
    const std::vector<FoundRegion> whole = scan_bytes(file.bytes.data(), size, 0, SCAN_MIN_BYTES);
    ASSERT_GE(whole.size(), 3u);

    int64_t last_progress = 0;
    const ScanRead read = [&](int64_t offset, int64_t count, uint8_t* into) {
        EXPECT_TRUE(offset >= 0 && count <= 2 * SCAN_CHUNK_BYTES && offset + count <= size);
        std::memcpy(into, file.bytes.data() + offset, static_cast<size_t>(count));
        return true;
    };
    std::vector<FoundRegion> chunked;
    ASSERT_TRUE(scan_source(size, read, 2, SCAN_MIN_BYTES, [&](int64_t done) { last_progress = done; }, chunked));
    EXPECT_EQ(last_progress, size);
    ASSERT_EQ(chunked.size(), whole.size());
    for (size_t i = 0; i < whole.size(); ++i) {
        EXPECT_EQ(chunked[i].start, whole[i].start);
        EXPECT_EQ(chunked[i].end, whole[i].end);
        EXPECT_EQ(chunked[i].width_bits, whole[i].width_bits);
    }
    // A read that fails fails the scan.
    int64_t reads = 0;
    const ScanRead failing = [&](int64_t offset, int64_t count, uint8_t* into) { return ++reads < 3 && read(offset, count, into); };
    EXPECT_FALSE(scan_source(size, failing, 2, SCAN_MIN_BYTES, nullptr, chunked));
    EXPECT_TRUE(chunked.empty());
}

// The loops built for each processor level (plain, popcount, AVX2, AVX-512)
// find the same regions and guess the same widths, to the last bit of the
// scores, on every kind of filler; the levels this processor lacks are
// left out.
TEST(ScanLevels, EveryProcessorLevelFindsTheSame)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_FALSE(sources.fillers.empty());
    using cpu_levels::Level;
    const Level levels[] = {Level::plain, Level::popcnt, Level::avx2, Level::avx512};
    std::printf("best processor level here: %d of 3\n", static_cast<int>(cpu_levels::best_level()));
    Random random(11);
    std::vector<CorpusFile> files;
    for (size_t kind = 0; kind < sources.fillers.size(); ++kind)
        files.push_back(make_corpus_file(sources, kind, random, 1 << 20, 8, 256, 16384));
    // Real programs hold the windows nearest the thresholds.
    for (const char* program : {"/usr/bin/bash", "/usr/bin/Xvfb"}) {
        std::FILE* in = std::fopen(program, "rb");
        if (!in) continue;
        CorpusFile whole{std::vector<uint8_t>(4 << 20), {}, program};
        whole.bytes.resize(std::fread(whole.bytes.data(), 1, whole.bytes.size(), in));
        std::fclose(in);
        files.push_back(std::move(whole));
    }
    for (const CorpusFile& file : files) {
        const int64_t size = static_cast<int64_t>(file.bytes.size());
        std::vector<FoundRegion> first;
        std::vector<WidthGuess> first_guesses;
        for (const Level level : levels) {
            if (level > cpu_levels::best_level()) break;
            cpu_levels::cap_processor_level(level);
            const std::vector<FoundRegion> regions = scan_bytes(file.bytes.data(), size, 0, SCAN_MIN_BYTES);
            std::vector<WidthGuess> guesses;
            for (const Placement& p : file.placed) {
                WidthGuess guess[GUESS_MAX_CANDIDATES];
                const int32_t n = guess_widths(file.bytes.data() + p.start, p.end - p.start, guess, GUESS_MAX_CANDIDATES);
                guesses.insert(guesses.end(), guess, guess + n);
            }
            if (level == Level::plain) {
                first = regions, first_guesses = guesses;
                EXPECT_FALSE(first.empty()) << file.filler;
                std::printf("%s: %zu regions\n", file.filler.c_str(), first.size());
                continue;
            }
            ASSERT_EQ(regions.size(), first.size()) << file.filler << " at level " << static_cast<int>(level);
            for (size_t i = 0; i < regions.size(); ++i)
                EXPECT_TRUE(regions[i].start == first[i].start && regions[i].end == first[i].end &&
                            regions[i].width_bits == first[i].width_bits && regions[i].score == first[i].score)
                    << file.filler << " region " << i << " at level " << static_cast<int>(level);
            ASSERT_EQ(guesses.size(), first_guesses.size());
            for (size_t i = 0; i < guesses.size(); ++i)
                EXPECT_TRUE(guesses[i].width_bits == first_guesses[i].width_bits &&
                            guesses[i].score == first_guesses[i].score);
        }
    }
    cpu_levels::cap_processor_level(Level::avx512);
}

struct Tally {
    int64_t total = 0, hits = 0, near = 0;
};

void print_tallies(const char* title, const std::map<std::string, Tally>& tallies)
{
    for (const auto& [name, t] : tallies)
        std::printf("  %-14s %-18s %5lld of %5lld  %6.2f%%\n", title, name.c_str(), static_cast<long long>(t.hits),
                    static_cast<long long>(t.total), t.total ? 100.0 * t.hits / t.total : 0.0);
}

// The quality bars: the first guessed width right for >= 95% of the
// pictures of at least 1 KiB and among the first three for >= 99%; the scan
// finding >= 85% of the pictures (half of each covered, its width right)
// with at most one false region per 16 MiB of filler.
TEST(FindingQuality, CorpusOfRealData)
{
    std::string why;
    const CorpusSources sources = corpus_sources(why);
    ASSERT_TRUE(why.empty()) << why;
    const uint64_t seed = static_cast<uint64_t>(environment_number("BITLOUPE_CORPUS_SEED", 20261207));
    const int64_t files = environment_number("BITLOUPE_CORPUS_FILES", 20);
    constexpr int64_t FILE_BYTES = int64_t{1} << 20;
    std::printf("corpus: seed %llu, %lld files of %lld bytes per filler kind, %zu kinds, %zu picture makers\n",
                static_cast<unsigned long long>(seed), static_cast<long long>(files),
                static_cast<long long>(FILE_BYTES), sources.fillers.size(), sources.pictures.size());
    Random random(seed);

    Tally first, top3, found;
    std::map<std::string, Tally> guess_by_kind, found_by_kind, found_by_filler;
    std::map<std::string, int64_t> false_by_filler;
    int64_t filler_bytes = 0, false_regions = 0;
    for (int64_t f = 0; f < files; ++f)
        for (size_t kind = 0; kind < sources.fillers.size(); ++kind) {
            const CorpusFile file = make_corpus_file(sources, kind, random, FILE_BYTES, 8, 256, 16384);
            filler_bytes += FILE_BYTES;
            for (const Placement& p : file.placed) {
                filler_bytes -= p.end - p.start;
                if (p.end - p.start < 1024) continue;
                WidthGuess guess[GUESS_MAX_CANDIDATES];
                const int32_t n = guess_widths(file.bytes.data() + p.start, p.end - p.start, guess, 3);
                const bool right = n > 0 && guess[0].width_bits == p.width_bits;
                bool near = right;
                for (int32_t i = 1; i < n; ++i) near |= guess[i].width_bits == p.width_bits;
                first.total++, top3.total++, guess_by_kind[p.what].total++;
                first.hits += right, top3.hits += near, guess_by_kind[p.what].hits += right;
                if (!right && std::getenv("BITLOUPE_CORPUS_VERBOSE"))
                    std::printf("  guess: %s width %d at %lld (%lld bytes) in %s: got %d %d %d\n", p.what.c_str(),
                                p.width_bits, static_cast<long long>(p.start), static_cast<long long>(p.end - p.start),
                                file.filler.c_str(), n > 0 ? guess[0].width_bits : 0, n > 1 ? guess[1].width_bits : 0,
                                n > 2 ? guess[2].width_bits : 0);
            }
            const std::vector<FoundRegion> regions =
                scan_bytes(file.bytes.data(), static_cast<int64_t>(file.bytes.size()), 0, SCAN_MIN_BYTES);
            for (const Placement& p : file.placed) {
                bool hit = false;
                for (const FoundRegion& r : regions) {
                    const int64_t covered = std::min(r.end, p.end) - std::max(r.start, p.start);
                    hit |= r.width_bits == p.width_bits && 2 * covered >= p.end - p.start;
                }
                if (!hit && std::getenv("BITLOUPE_CORPUS_VERBOSE"))
                    std::printf("  missed: %s width %d at %lld (%lld bytes) in %s\n", p.what.c_str(), p.width_bits,
                                static_cast<long long>(p.start), static_cast<long long>(p.end - p.start),
                                file.filler.c_str());
                found.total++, found_by_kind[p.what].total++, found_by_filler[file.filler].total++;
                found.hits += hit, found_by_kind[p.what].hits += hit, found_by_filler[file.filler].hits += hit;
            }
            for (const FoundRegion& r : regions) {
                bool placed = false;
                for (const Placement& p : file.placed) placed |= r.start < p.end && p.start < r.end;
                if (!placed) {
                    ++false_regions;
                    ++false_by_filler[file.filler];
                    std::printf("  false region in %s: %lld..%lld width %d score %.3f\n", file.filler.c_str(),
                                static_cast<long long>(r.start), static_cast<long long>(r.end), r.width_bits, r.score);
                }
            }
        }
    const double first_share = 100.0 * first.hits / std::max<int64_t>(first.total, 1);
    const double top3_share = 100.0 * top3.hits / std::max<int64_t>(top3.total, 1);
    const double found_share = 100.0 * found.hits / std::max<int64_t>(found.total, 1);
    const double false_rate = false_regions * 16.0 * (1 << 20) / static_cast<double>(filler_bytes);
    std::printf("guess-width on %lld pictures of 1 KiB or more: first %.2f%%, among the first three %.2f%%\n",
                static_cast<long long>(first.total), first_share, top3_share);
    print_tallies("first right", guess_by_kind);
    std::printf("scan: found %lld of %lld pictures (%.2f%%); %lld false regions in %.1f MiB of filler (%.2f per 16 MiB)\n",
                static_cast<long long>(found.hits), static_cast<long long>(found.total), found_share,
                static_cast<long long>(false_regions), filler_bytes / 1048576.0, false_rate);
    print_tallies("found", found_by_kind);
    print_tallies("found in", found_by_filler);
    EXPECT_GE(first_share, 95.0);
    EXPECT_GE(top3_share, 99.0);
    EXPECT_GE(found_share, 85.0);
    EXPECT_LE(false_rate, 1.0);
}

}  // namespace
