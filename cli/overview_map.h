// overview_map.h: the classes of every block of a file, as the overview
// picture and the scan report show them.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "finding.h"
#include "overview.h"
#include "pictures.h"
#include "source_file.h"

struct OverviewMap {
    int64_t block = 0;                // bytes a block (a pixel)
    int64_t columns = 0;              // pixels a row of the picture
    int64_t rows = 0;
    std::vector<BlockClass> classes;  // one per block, in file order
};

// Classifies every block of the file, on every core. False, with `why`,
// when the file cannot be read.
bool make_overview(SourceFile& source, int64_t block_bytes, OverviewMap& map, std::string& why);

// The map sized for a file of `size` bytes in blocks of `block_bytes`, every
// block of no class yet.
void size_map(OverviewMap& map, int64_t size, int64_t block_bytes);

// Classifies the blocks of a chunk that starts on a block: the chunk's own
// `length` bytes (the last block may end with the file).
void classify_chunk(OverviewMap& map, int64_t offset, const uint8_t* bytes, int64_t length);

// Marks the blocks that lie mostly inside a region [start, end) as graphics.
void mark_graphics(OverviewMap& map, int64_t start, int64_t end);

// The picture's rows (RGB), top row first; blocks past the end are black.
RowSource overview_rows(const OverviewMap& map);
