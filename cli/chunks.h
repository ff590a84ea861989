// chunks.h: a file read in chunks on every core, for the subcommands that
// look at every byte (overview, scan, find).
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "source_file.h"

// The work on one chunk: its number (0, 1, ...), its file position, and its
// bytes: the chunk itself and up to `overlap` bytes after it where the file
// has them. Called on several threads at once; chunk n's work must not
// depend on chunk m's.
using ChunkWork = std::function<void(int64_t number, int64_t offset, const uint8_t* bytes, int64_t length)>;

// Reads the whole file in chunks of `chunk` bytes on as many threads as the
// machine has cores (each holding one chunk and its overlap at a time), and
// hands each to `work`. `progress`, when given, is told the bytes done so far
// now and then, on the calling thread. False, with `why`, when a read fails.
bool for_each_chunk(SourceFile& source, int64_t chunk, int64_t overlap, const ChunkWork& work, std::string& why,
                    const std::function<void(int64_t done)>& progress = {});
