// chunks.h: a file read in chunks on every core, for the subcommands that
// look at every byte (overview, scan, find).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "source_file.h"

// The work on one chunk: its number (0, 1, ...), its file position, and its
// bytes: the chunk itself and up to `overlap` bytes after it where the file
// has them. Called on several threads at once, the chunks taken in file
// order. False: no more chunks are needed.
using ChunkWork = std::function<bool(int64_t number, int64_t offset, const uint8_t* bytes, int64_t length)>;

// The most the chunk buffers of all threads together may hold, with what
// each thread's work holds besides its chunk.
constexpr int64_t CHUNK_BUFFERS_BUDGET = int64_t{32} << 20;

// The threads the file is read on: as many as the machine has cores
// (BITLOUPE_CORES=N makes it N, as if the machine had N), at most as many
// buffers of `buffer_bytes` as fit in CHUNK_BUFFERS_BUDGET.
int64_t chunk_threads(int64_t buffer_bytes);

// Reads the whole file in chunks of `chunk` bytes on chunk_threads() threads
// (each holding one chunk and its overlap at a time, and up to `held` bytes
// more that its work keeps), and hands each to `work`, until the file ends
// or the work says it needs no more.
// `progress`, when given, is told the bytes done so far now and then, on the
// calling thread. `stopping`, when given, is called once if the reading ends
// early through a failure (a read, or the work itself throwing), so that
// work waiting on other chunks may give up. False, with `why`, when a read
// fails.
bool for_each_chunk(SourceFile& source, int64_t chunk, int64_t overlap, const ChunkWork& work, std::string& why,
                    const std::function<void(int64_t done)>& progress = {},
                    const std::function<void()>& stopping = {}, int64_t held = 0);
