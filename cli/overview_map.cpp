// overview_map.cpp: the overview of a file, block by block, on every core.
#include "overview_map.h"

#include <algorithm>

#include "chunks.h"

namespace {
// Blocks are classified a chunk of about this many bytes at a time per thread.
constexpr int64_t CHUNK_BYTES = int64_t{4} << 20;
}  // namespace

bool make_overview(SourceFile& source, int64_t block_bytes, OverviewMap& map, std::string& why)
{
    const int64_t blocks = (source.size() + block_bytes - 1) / block_bytes;
    map.block = block_bytes;
    map.classes.assign(static_cast<size_t>(blocks), BlockClass::none);
    map.columns = std::min<int64_t>(OVERVIEW_COLUMNS, std::max<int64_t>(blocks, 1));
    map.rows = std::max<int64_t>(1, (blocks + map.columns - 1) / map.columns);
    // Chunks hold whole blocks, so that every block is read by one thread.
    const int64_t chunk = std::max<int64_t>(1, CHUNK_BYTES / block_bytes) * block_bytes;
    const ChunkWork classify = [&](int64_t, int64_t offset, const uint8_t* bytes, int64_t length) {
        for (int64_t at = 0; at < length; at += block_bytes)
            map.classes[static_cast<size_t>((offset + at) / block_bytes)] =
                classify_block(bytes + at, std::min(block_bytes, length - at));
    };
    return for_each_chunk(source, chunk, 0, classify, why);
}

void mark_graphics(OverviewMap& map, int64_t start, int64_t end)
{
    if (map.block <= 0 || end <= start) return;
    const int64_t blocks = static_cast<int64_t>(map.classes.size());
    for (int64_t n = std::max<int64_t>(0, start / map.block); n < blocks && n * map.block < end; ++n) {
        const int64_t inside = std::min(end, (n + 1) * map.block) - std::max(start, n * map.block);
        if (2 * inside >= map.block) map.classes[static_cast<size_t>(n)] = BlockClass::graphics;
    }
}

RowSource overview_rows(const OverviewMap& map)
{
    return [&map](int64_t y, uint8_t* row) {
        const int64_t blocks = static_cast<int64_t>(map.classes.size());
        for (int64_t x = 0; x < map.columns; ++x) {
            const int64_t n = y * map.columns + x;
            const uint32_t colour = class_colour(n < blocks ? map.classes[static_cast<size_t>(n)] : BlockClass::none);
            row[x * 3] = static_cast<uint8_t>(colour >> 16);
            row[x * 3 + 1] = static_cast<uint8_t>(colour >> 8);
            row[x * 3 + 2] = static_cast<uint8_t>(colour);
        }
        return true;
    };
}
