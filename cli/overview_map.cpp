// overview_map.cpp: the overview of a file, block by block, on every core.
#include "overview_map.h"

#include <algorithm>
#include <map>
#include <mutex>
#include <thread>

#include "chunks.h"

namespace {
// Blocks are classified a chunk of about this many bytes at a time per thread.
constexpr int64_t CHUNK_BYTES = int64_t{4} << 20;
}  // namespace

void size_map(OverviewMap& map, int64_t size, int64_t block_bytes)
{
    const int64_t blocks = (size + block_bytes - 1) / block_bytes;
    map.block = block_bytes;
    map.classes.assign(static_cast<size_t>(blocks), BlockClass::none);
    map.columns = std::min<int64_t>(OVERVIEW_COLUMNS, std::max<int64_t>(blocks, 1));
    map.rows = std::max<int64_t>(1, (blocks + map.columns - 1) / map.columns);
}

// Classifies the blocks of a chunk that starts on a block: the chunk's own
// `length` bytes (the last block may end with the file).
void classify_chunk(OverviewMap& map, int64_t offset, const uint8_t* bytes, int64_t length)
{
    for (int64_t at = 0; at < length; at += map.block)
        map.classes[static_cast<size_t>((offset + at) / map.block)] =
            classify_block(bytes + at, std::min(map.block, length - at));
}


bool make_overview(SourceFile& source, int64_t block_bytes, OverviewMap& map, std::string& why)
{
    size_map(map, source.size(), block_bytes);
    if (block_bytes > CHUNK_BYTES) {
        // Blocks larger than a chunk: each is tallied from the chunks that
        // hold its bytes, so that no more than a chunk a thread is held.
        const int64_t size = source.size();
        std::mutex lock;
        std::map<int64_t, BlockTally> open;  // the blocks some of whose bytes are tallied
        const ChunkWork tally = [&](int64_t, int64_t offset, const uint8_t* bytes, int64_t length) {
            for (int64_t at = offset; at < offset + length;) {
                const int64_t n = at / block_bytes, start = n * block_bytes;
                const int64_t end = std::min({start + block_bytes, size, offset + length});
                BlockTally piece(std::min(block_bytes, size - start));
                piece.add(at - start, bytes + (at - offset), end - at);
                std::lock_guard<std::mutex> hold(lock);
                BlockTally& block = open.try_emplace(n, std::min(block_bytes, size - start)).first->second;
                block.merge(piece);
                if (block.complete()) {
                    map.classes[static_cast<size_t>(n)] = block.result();
                    open.erase(n);
                }
                at = end;
            }
            return true;
        };
        return for_each_chunk(source, CHUNK_BYTES, 0, tally, why);
    }
    // Chunks hold whole blocks, so that every block is read by one thread.
    const int64_t chunk = std::max<int64_t>(1, CHUNK_BYTES / block_bytes) * block_bytes;
    const ChunkWork classify = [&](int64_t, int64_t offset, const uint8_t* bytes, int64_t length) {
        classify_chunk(map, offset, bytes, length);
        return true;
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
