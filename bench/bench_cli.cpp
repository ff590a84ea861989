// bench_cli.cpp: bitloupe-cli as a user runs it, whole processes, each figure
// the median of several runs taken in turns with its floor, the operating
// system's own way of doing the same reading:
//   - view of the last row of a 16 GiB sparse file, against the same view of
//     a 1 KiB file ending in the same bytes (the pictures are the same);
//   - export of a 64 MiB region at 8 bits a row as PBM and as PNG, against
//     cat of the same 64 MiB to /dev/null, the page cache warm; the PNG also
//     against gzip -6 of the same bytes, for the share deflate takes;
//   - the process start, bitloupe-cli --version, for scale;
//   - with --find: find of an 8 x 16 glyph at a given stride in a 1 GiB
//     file, against cat of the same file, the page cache warm;
// bench/run_cli_bench.sh makes the files and runs this.
//
//   bench_cli CLI FOLDER SHORT_RUNS PBM_RUNS PNG_RUNS   (runs of each kind)
//   bench_cli --find CLI FILE RUNS
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench.h"

extern char** environ;

namespace {

using Command = std::vector<std::string>;

// Runs `command` with its standard output on /dev/null; the wall time in
// nanoseconds, or exits the benchmark if the command fails.
double timed_run(const Command& command)
{
    std::vector<char*> argv;
    for (const std::string& a : command) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    const auto start = std::chrono::steady_clock::now();
    pid_t pid = 0;
    int status = -1;
    if (posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
    const auto stop = std::chrono::steady_clock::now();
    posix_spawn_file_actions_destroy(&actions);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        std::fprintf(stderr, "bench_cli: failed: %s\n", command[0].c_str());
        std::exit(1);
    }
    return std::chrono::duration<double, std::nano>(stop - start).count();
}

double median(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    return samples[samples.size() / 2];
}

// Medians of `body` and of each floor, run in turns; `before` runs untimed
// ahead of each body (it removes the previous output, so that every body
// writes a new file rather than also freeing the last one).
std::vector<double> in_turns(int runs, const std::string& before, const Command& body, const std::vector<Command>& floors)
{
    std::vector<std::vector<double>> samples(1 + floors.size());
    for (int i = 0; i < runs; ++i) {
        if (!before.empty()) unlink(before.c_str());
        samples[0].push_back(timed_run(body));
        for (size_t f = 0; f < floors.size(); ++f) samples[1 + f].push_back(timed_run(floors[f]));
    }
    std::vector<double> medians;
    for (auto& s : samples) medians.push_back(median(s));
    return medians;
}

}  // namespace

// A command that reads a whole file of 1 GiB, against cat of the same file,
// in turns, the page cache warm.
int whole_file_bench(const Command& command, const std::string& file, int runs, const std::string& section,
                     const std::string& label, const std::string& turns)
{
    const Command cat{"cat", file};
    timed_run(cat);  // the page cache warm from the first run on
    const auto times = in_turns(runs, "", command, {cat});
    std::printf("== %s\n", section.c_str());
    bench::report(label.c_str(), times[0] / 1e6, "ms");
    bench::report(("  floor: cat of the 1 GiB (" + turns + " turns)").c_str(), times[1] / 1e6, "ms");
    bench::report(("ratio " + turns + " / cat").c_str(), times[0] / times[1], "x");
    return 0;
}

// find with the stride given over a file of 1 GiB: every bit alignment,
// both bit orders, inverted or not, on every core.
int find_bench(const std::string& cli, const std::string& file, int runs)
{
    const Command find{cli, "find", file, "--stride", "16", "--glyph",
                       "......../......../..####../.##..##./##....##/##....##/##....##/########/"
                       "##....##/##....##/##....##/##....##/......../......../......../........"};
    return whole_file_bench(find, file, runs, "host command line, find (bitloupe-cli, whole processes)",
                            "find 8x16 glyph, stride 16, 1 GiB", "find");
}

int main(int argc, char** argv)
{
    if (argc == 5 && std::string(argv[1]) == "--find") return find_bench(argv[2], argv[3], std::max(1, std::atoi(argv[4])));
    if (argc != 6) {
        std::fprintf(stderr, "usage: bench_cli CLI FOLDER SHORT_RUNS PBM_RUNS PNG_RUNS\n"
                             "       bench_cli --find CLI FILE RUNS\n");
        return 2;
    }
    const std::string cli = argv[1], folder = argv[2];
    const int short_runs = std::max(1, std::atoi(argv[3])), pbm_runs = std::max(1, std::atoi(argv[4]));
    const int png_runs = std::max(1, std::atoi(argv[5]));
    const std::string big = folder + "/sparse-16g.bin", small = folder + "/last-1k.bin";
    const std::string region = folder + "/region-64m.bin", pbm = folder + "/out.pbm", png = folder + "/out.png";
    constexpr int64_t BIG = int64_t{16} << 30, SMALL = 1024;

    const Command version{cli, "--version"};
    const Command view_big{cli, "view", big, "-o", folder + "/big.png", "--start", std::to_string(BIG - 1)};
    const Command view_small{cli, "view", small, "-o", folder + "/small.png", "--start", std::to_string(SMALL - 1)};
    const auto views = in_turns(short_runs, "", view_big, {view_small, version});

    auto exporter = [&](const std::string& output) {
        return Command{cli, "export", region, "-o", output, "--start", "0", "--width-bits", "8", "--rows", "67108864"};
    };
    const Command cat{"cat", region};
    timed_run(cat);  // the page cache warm from the first run on
    const auto pbm_times = in_turns(pbm_runs, pbm, exporter(pbm), {cat});
    const auto png_times = in_turns(png_runs, png, exporter(png), {cat, Command{"gzip", "-6", "-c", region}});

    std::printf("== host command line (bitloupe-cli, whole processes)\n");
    bench::report("view, last row of a 16 GiB sparse file", views[0] / 1e6, "ms");
    bench::report("  floor: view, last row of a 1 KiB file", views[1] / 1e6, "ms");
    bench::report("  process start: bitloupe-cli --version", views[2] / 1e6, "ms");
    bench::report("export 64 MiB, 8 bits a row, as PBM", pbm_times[0] / 1e6, "ms");
    bench::report("  floor: cat of the 64 MiB (PBM turns)", pbm_times[1] / 1e6, "ms");
    bench::report("export 64 MiB, 8 bits a row, as PNG", png_times[0] / 1e6, "ms");
    bench::report("  floor: cat of the 64 MiB (PNG turns)", png_times[1] / 1e6, "ms");
    bench::report("  gzip -6 of the 64 MiB (PNG turns)", png_times[2] / 1e6, "ms");
    bench::report("ratio view 16 GiB / view 1 KiB", views[0] / views[1], "x");
    bench::report("ratio export PBM / cat", pbm_times[0] / pbm_times[1], "x");
    bench::report("ratio export PNG / cat", png_times[0] / png_times[1], "x");
    bench::report("ratio export PNG / gzip -6", png_times[0] / png_times[2], "x");
    return 0;
}
