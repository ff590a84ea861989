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

namespace {

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

}  // namespace

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

bool scan_file(SourceFile& source, int64_t min_bytes, OverviewMap* map, const std::function<void(int64_t)>& progress,
               std::vector<FoundRegion>& regions, std::string& why)
{
    const int64_t size = source.size();
    // The blocks are classified in the scan's pass when its chunks hold
    // whole blocks (every power of two up to the chunk); other block sizes
    // take a pass of their own.
    const bool together = map && SCAN_CHUNK_BYTES % map->block == 0;
    if (map && !together && !make_overview(source, map->block, *map, why)) return false;
    if (together) size_map(*map, size, map->block);
    std::mutex lock;
    std::vector<ScanSpan> spans;  // at the chunks' edges, judged at the end
    std::vector<JudgedRegion> judged;
    std::string failure;  // the first read that failed while judging
    const ChunkWork work = [&](int64_t, int64_t offset, const uint8_t* bytes, int64_t length) {
        const int64_t own = std::min(SCAN_CHUNK_BYTES, size - offset);
        if (together) classify_chunk(*map, offset, bytes, own);
        std::vector<ScanSpan> found = scan_spans(bytes, length, offset, own);
        std::vector<JudgedRegion> here;
        std::string reason;
        const ScanRead read_here = [&](int64_t at, int64_t count, uint8_t* into) {
            return source.read(at, count, into, reason);
        };
        const bool read_all = judge_inner_spans(found, offset, own, read_here, size, min_bytes, here);
        std::lock_guard<std::mutex> hold(lock);
        if (!read_all && failure.empty()) failure = reason.empty() ? "a read failed" : reason;
        spans.insert(spans.end(), found.begin(), found.end());
        judged.insert(judged.end(), here.begin(), here.end());
        return true;
    };
    if (!for_each_chunk(source, SCAN_CHUNK_BYTES, SCAN_OVERLAP, work, why, progress)) return false;
    if (!failure.empty()) {
        why = failure;
        return false;
    }
    const ScanRead read = [&](int64_t offset, int64_t count, uint8_t* into) {
        return source.read(offset, count, into, why);
    };
    const int32_t threads = static_cast<int32_t>(chunk_threads(1));
    return judge_spans(std::move(spans), std::move(judged), read, size, threads, min_bytes, regions);
}

RegionList list_regions(const std::vector<FoundRegion>& judged, double min_score, RegionOrder order,
                        OverviewMap* map)
{
    RegionList list;
    for (const FoundRegion& r : judged) {
        if (r.score >= min_score)
            list.regions.push_back(r);
        else
            ++list.left_out;
    }
    if (order == RegionOrder::score)
        std::sort(list.regions.begin(), list.regions.end(), [](const FoundRegion& a, const FoundRegion& b) {
            return a.score != b.score ? a.score > b.score : a.start < b.start;
        });
    else
        std::sort(list.regions.begin(), list.regions.end(),
                  [](const FoundRegion& a, const FoundRegion& b) { return a.start < b.start; });
    if (map)
        for (const FoundRegion& r : list.regions) mark_graphics(*map, r.start, r.end);
    return list;
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
