// bench_files.cpp: throughput of the numbered files.
//
//   bench_files.exe BIG_FILE [RUNS]
//
// (1) 100 MB written one write_byte at a time, in turns with its floor, the
// same bytes written with WriteFile in 64 KiB pieces to a fresh file in the
// same folder; (2) BIG_FILE (1 GiB, created
// when missing) read into one memory block with a single read_data. The
// second figure is compared with dd by bench/run_file_bench.sh, which parses
// the "read_median_ns" line.
#include <windows.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench.h"
#include "files.h"
#include "heap.h"
#include "memory.h"

namespace {

constexpr int64_t kWriteBytes = 100'000'000;
constexpr int32_t kBigBytes = 1 << 30;
constexpr DWORD kNativePiece = 64 << 10;

// The floor of write_byte: the same bytes (the low byte of the index) written
// natively in 64 KiB pieces.
bool write_natively(const std::string& path, std::vector<unsigned char>& piece)
{
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    bool ok = true;
    for (int64_t done = 0; ok && done < kWriteBytes;) {
        const DWORD size = static_cast<DWORD>(std::min<int64_t>(kNativePiece, kWriteBytes - done));
        for (DWORD i = 0; i < size; ++i) piece[i] = static_cast<unsigned char>(done + i);
        DWORD written = 0;
        ok = WriteFile(h, piece.data(), size, &written, nullptr) && written == size;
        done += size;
    }
    return CloseHandle(h) && ok;
}

// Written natively in large pieces so that creating the file costs little.
bool create_big_file(const char* path)
{
    HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE) return false;
    std::vector<unsigned char> piece(8 << 20);
    for (size_t i = 0; i < piece.size(); ++i) piece[i] = static_cast<unsigned char>(i * 31 + 7);
    bool ok = true;
    for (int64_t done = 0; ok && done < kBigBytes; done += static_cast<int64_t>(piece.size())) {
        DWORD written = 0;
        ok = WriteFile(h, piece.data(), static_cast<DWORD>(piece.size()), &written, nullptr) &&
             written == piece.size();
    }
    CloseHandle(h);
    return ok;
}

}  // namespace

int main(int argc, char** argv)
{
    if (argc < 2) {
        std::fprintf(stderr, "usage: bench_files BIG_FILE [RUNS]\n");
        return 2;
    }
    const char* big = argv[1];
    const int runs = argc > 2 ? std::atoi(argv[2]) : 5;
    if (!init_main_heap()) return 1;
    init_memory_blocks();
    init_files();

    // A fresh file each run: rewriting a truncated file makes some Linux file
    // systems start writeback at close, which would be timed here.
    const std::string scratch = std::string(big) + ".write";
    const std::string native_scratch = std::string(big) + ".native";
    std::vector<unsigned char> piece(kNativePiece);
    bool wrote_all = true;
    int run = 0;
    int native_run = 0;
    const bench::PairMedians write = bench::measure_pair(
        runs,
        [&] {
            const std::string path = scratch + std::to_string(run++);
            if (!create_file(1, path.c_str())) {
                wrote_all = false;
                return;
            }
            for (int64_t i = 0; i < kWriteBytes; ++i) write_byte(1, static_cast<int32_t>(i));
            wrote_all = close_file(1) && wrote_all;
        },
        [&] { wrote_all = write_natively(native_scratch + std::to_string(native_run++), piece) && wrote_all; });
    const double write_ns = write.body;
    for (int i = 0; i < run; ++i) DeleteFileA((scratch + std::to_string(i)).c_str());
    for (int i = 0; i < native_run; ++i) DeleteFileA((native_scratch + std::to_string(i)).c_str());
    if (!wrote_all) {
        std::fprintf(stderr, "bench_files: writing %s* failed\n", scratch.c_str());
        return 1;
    }
    bench::report("write 100 MB with write_byte (median)", write_ns / 1e6, "ms");
    bench::report("WriteFile of the same bytes, 64 KiB pieces (median)", write.floor / 1e6, "ms");
    bench::report("write_byte throughput", kWriteBytes / 1e6 / (write_ns / 1e9), "MB/s");

    if (file_size(big) != kBigBytes && !create_big_file(big)) {
        std::fprintf(stderr, "bench_files: cannot create %s\n", big);
        return 1;
    }
    void* block = allocate_memory(kBigBytes);
    if (!block) {
        std::fprintf(stderr, "bench_files: no 1 GiB block\n");
        return 1;
    }
    bool read_all = true;
    double read_ns = bench::measure(runs, [&] {
        if (!open_file_for_reading(1, big)) {
            read_all = false;
            return;
        }
        read_all = read_data(1, block, kBigBytes) == kBigBytes && read_all;
        close_file(1);
    });
    bench::keep(static_cast<unsigned char*>(block)[kBigBytes - 1]);
    free_memory(block);
    if (!read_all) {
        std::fprintf(stderr, "bench_files: reading %s fell short\n", big);
        return 1;
    }
    bench::report("read 1 GiB with one read_data (median)", read_ns / 1e6, "ms");
    bench::report("read_data throughput", kBigBytes / 1e6 / (read_ns / 1e9), "MB/s");
    std::printf("read_median_ns %.0f\n", read_ns);
    end_files();
    return 0;
}
