// scan_file.cpp: the command line's scan driver (scan_file.h).
#include "scan_file.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <queue>

#include "chunks.h"
#include "system.h"

namespace {

bool seek(std::FILE* file, int64_t at)
{
#ifdef _WIN32
    return _fseeki64(file, at, SEEK_SET) == 0;
#else
    return fseeko(file, static_cast<off_t>(at), SEEK_SET) == 0;
#endif
}

// A judged region as the temporary file holds it (the column shares, which
// the regions no longer keep, left out).
struct Record {
    int64_t start, end, rows, span_start;
    uint64_t place;
    int32_t width_bits, unused;
    double score, vertical, horizontal, active, blank, repeated, isolated, isolated_typical;
};

Record to_record(const JudgedRegion& j)
{
    const FoundRegion& r = j.region;
    const RowStatistics& s = r.statistics;
    return Record{r.start,      r.end,          s.rows,   j.span_start, j.place,    r.width_bits, 0,
                  r.score,      s.vertical,     s.horizontal, s.active, s.blank,    s.repeated,   s.isolated,
                  s.isolated_typical};
}

JudgedRegion from_record(const Record& k)
{
    JudgedRegion j{};
    FoundRegion& r = j.region;
    r.start = k.start, r.end = k.end, r.width_bits = k.width_bits, r.score = k.score;
    RowStatistics& s = r.statistics;
    s.rows = k.rows, s.vertical = k.vertical, s.horizontal = k.horizontal, s.active = k.active, s.blank = k.blank;
    s.repeated = k.repeated, s.isolated = k.isolated, s.isolated_typical = k.isolated_typical;
    j.span_start = k.span_start;
    j.place = static_cast<size_t>(k.place);
    return j;
}

// The regions judged: up to `held` in memory; beyond, each `held` sorted and
// written to a temporary file as a run, the runs merged at the end.
class JudgedStore {
public:
    JudgedStore()
    {
        // BITLOUPE_SCAN_HELD=N keeps fewer, so that a test can make runs of
        // a small file.
        const char* given = std::getenv("BITLOUPE_SCAN_HELD");
        held_ = given && *given ? std::max<size_t>(1, std::strtoull(given, nullptr, 10)) : size_t{1} << 16;
    }
    ~JudgedStore()
    {
        if (file_) std::fclose(file_);
    }

    bool add(const std::vector<JudgedRegion>& more, std::string& why)
    {
        memory_.insert(memory_.end(), more.begin(), more.end());
        return memory_.size() < held_ || spill(why);
    }

    // Every region judged, in judged_before order, made into the file's
    // regions (resolve_regions).
    bool resolve(int64_t min_bytes, const std::function<void(const FoundRegion&)>& region, std::string& why)
    {
        std::sort(memory_.begin(), memory_.end(), judged_before);
        if (runs_.empty()) {
            size_t at = 0;
            resolve_regions([&](JudgedRegion& j) { return at < memory_.size() ? (j = memory_[at++], true) : false; },
                            min_bytes, region);
            return true;
        }
        if (!spill(why)) return false;
        // A few records of each run at a time, the least first.
        struct Reader {
            int64_t next, end;
            std::vector<Record> buffer;
            size_t at = 0;
        };
        std::vector<Reader> readers;
        for (const auto& [first, count] : runs_) readers.push_back(Reader{first, first + count, {}, 0});
        bool failed = false;
        const auto fill = [&](Reader& r) {
            r.buffer.resize(static_cast<size_t>(std::min<int64_t>(512, r.end - r.next)));
            r.at = 0;
            if (r.buffer.empty()) return;
            if (!seek(file_, r.next * static_cast<int64_t>(sizeof(Record))) ||
                std::fread(r.buffer.data(), sizeof(Record), r.buffer.size(), file_) != r.buffer.size())
                failed = true, r.buffer.clear();
            r.next += static_cast<int64_t>(r.buffer.size());
        };
        using Head = std::pair<JudgedRegion, size_t>;
        const auto later = [](const Head& a, const Head& b) { return judged_before(b.first, a.first); };
        std::priority_queue<Head, std::vector<Head>, decltype(later)> heads(later);
        for (size_t i = 0; i < readers.size(); ++i) {
            fill(readers[i]);
            if (!readers[i].buffer.empty()) heads.emplace(from_record(readers[i].buffer[readers[i].at++]), i);
        }
        resolve_regions(
            [&](JudgedRegion& j) {
                if (heads.empty() || failed) return false;
                const size_t i = heads.top().second;
                j = heads.top().first;
                heads.pop();
                Reader& r = readers[i];
                if (r.at == r.buffer.size()) fill(r);
                if (r.at < r.buffer.size()) heads.emplace(from_record(r.buffer[r.at++]), i);
                return true;
            },
            min_bytes, region);
        if (failed) why = "the scan's temporary file could not be read back";
        return !failed;
    }

private:
    bool spill(std::string& why)
    {
        if (memory_.empty()) return true;
        if (!file_ && !(file_ = temporary_file(why))) return false;
        std::sort(memory_.begin(), memory_.end(), judged_before);
        std::vector<Record> records;
        records.reserve(memory_.size());
        for (const JudgedRegion& j : memory_) records.push_back(to_record(j));
        if (!seek(file_, written_ * static_cast<int64_t>(sizeof(Record))) ||
            std::fwrite(records.data(), sizeof(Record), records.size(), file_) != records.size() || std::fflush(file_) != 0) {
            why = "the scan's temporary file could not be written";
            return false;
        }
        runs_.emplace_back(written_, static_cast<int64_t>(records.size()));
        written_ += static_cast<int64_t>(records.size());
        memory_.clear();
        memory_.shrink_to_fit();
        return true;
    }

    size_t held_;
    std::vector<JudgedRegion> memory_;
    std::FILE* file_ = nullptr;
    std::vector<std::pair<int64_t, int64_t>> runs_;  // first record, records
    int64_t written_ = 0;
};

}  // namespace

bool scan_file(SourceFile& source, int64_t min_bytes, double min_score, OverviewMap* map,
               const std::function<void(int64_t)>& progress, RegionList& list, std::string& why)
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
    JudgedStore judged;
    std::string failure;  // the first read that failed while judging
    const ChunkWork work = [&](int64_t, int64_t offset, const uint8_t* bytes, int64_t length) {
        const int64_t own = std::min(SCAN_CHUNK_BYTES, size - offset);
        if (together) classify_chunk(*map, offset, bytes, own);
        std::vector<ScanSpan> found = scan_spans(bytes, length, offset, own);
        std::vector<JudgedRegion> here;
        std::string reason;
        // What the chunk holds is copied from it; the rest is read.
        const ScanRead read_here = [&](int64_t at, int64_t count, uint8_t* into) {
            if (at >= offset && count >= 0 && at - offset <= length - count) {
                std::memcpy(into, bytes + (at - offset), static_cast<size_t>(count));
                return true;
            }
            return source.read(at, count, into, reason);
        };
        const bool read_all = judge_inner_spans(found, offset, own, read_here, size, min_bytes, here);
        std::lock_guard<std::mutex> hold(lock);
        if (!read_all && failure.empty()) failure = reason.empty() ? "a read failed" : reason;
        spans.insert(spans.end(), found.begin(), found.end());
        std::string kept;
        if (!judged.add(here, kept) && failure.empty()) failure = kept;
        return failure.empty();
    };
    if (!for_each_chunk(source, SCAN_CHUNK_BYTES, SCAN_OVERLAP, work, why, progress)) return false;
    if (!failure.empty()) {
        why = failure;
        return false;
    }
    const ScanRead read = [&](int64_t offset, int64_t count, uint8_t* into) {
        return source.read(offset, count, into, why);
    };
    std::vector<JudgedRegion> edges;
    if (!judge_edge_spans(std::move(spans), read, size, static_cast<int32_t>(chunk_threads(1)), min_bytes, edges) ||
        !judged.add(edges, why))
        return false;
    list.regions.clear();
    list.left_out = list.cut = 0;
    const bool resolved = judged.resolve(min_bytes, [&](const FoundRegion& r) {
        if (r.score < min_score) {
            ++list.left_out;
            return;
        }
        // The scan's table, its report and the overview all show the same
        // regions.
        if (map) mark_graphics(*map, r.start, r.end);
        list.keep(r);
    }, why);
    list.finish();
    return resolved;
}

namespace {

// Best first; equal scores in file order.
bool scores_before(const FoundRegion& a, const FoundRegion& b)
{
    return a.score != b.score ? a.score > b.score : a.start < b.start;
}

}  // namespace

void RegionList::keep(const FoundRegion& region)
{
    const size_t most = static_cast<size_t>(std::max<int64_t>(limit, 0));
    if (order == RegionOrder::file) {
        if (regions.size() < most)
            regions.push_back(region);
        else
            ++cut;
        return;
    }
    regions.push_back(region);
    // The best `limit` so far, once as many again have come.
    if (regions.size() >= 2 * most + 1) {
        std::nth_element(regions.begin(), regions.begin() + static_cast<std::ptrdiff_t>(most), regions.end(),
                         scores_before);
        cut += static_cast<int64_t>(regions.size() - most);
        regions.resize(most);
    }
}

void RegionList::finish()
{
    if (order == RegionOrder::score) std::sort(regions.begin(), regions.end(), scores_before);
    const size_t most = static_cast<size_t>(std::max<int64_t>(limit, 0));
    if (regions.size() > most) {
        cut += static_cast<int64_t>(regions.size() - most);
        regions.resize(most);
    }
}
