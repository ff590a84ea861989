// scan_file.h: the scan of a whole file as the command line runs it: one
// pass of the chunked reader (chunks.h), the classes of the overview's
// blocks in the same pass, and the regions judged kept in memory up to a
// bound and beyond it in sorted runs in a temporary file, so that a file of
// any size takes the same memory to judge.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "finding.h"
#include "overview_map.h"
#include "source_file.h"

enum class RegionOrder {
    score,  // best first; equal scores in file order
    file,
};

constexpr int64_t SCAN_DEFAULT_MAX_REGIONS = 10000;  // listed by default
constexpr int64_t SCAN_MAX_REGIONS = 50000;          // the most that may be asked for

// The regions shown of those a scan judged: the ones that score at least
// the least score asked for, at most `limit` of them (the first in `order`,
// so that the memory they take is bounded whatever the file), how many more
// there were, and how many scored less (weaker candidates).
struct RegionList {
    int64_t limit = SCAN_DEFAULT_MAX_REGIONS;
    RegionOrder order = RegionOrder::file;
    std::vector<FoundRegion> regions;
    int64_t left_out = 0;
    int64_t cut = 0;  // beyond the limit, not listed

    // Takes a region (they come in file order): kept while it may be among
    // the first `limit` in `order`, else counted in `cut`.
    void keep(const FoundRegion& region);
    // Puts the regions kept in `order`, `limit` at most.
    void finish();
};

// Scans the whole file for graphics (finding.h) on every core, in one pass
// with the classes of its blocks when `map` is given (whose block size is
// set), the blocks of every region that scores at least `min_score` then
// marked as graphics. `list` (its limit and order set) gets those regions,
// in its order, and the counts of the others. `progress`, when given, is told the
// bytes read so far. False, with `why`, when the file cannot be read (or
// the judged regions cannot be kept).
bool scan_file(SourceFile& source, int64_t min_bytes, double min_score, OverviewMap* map,
               const std::function<void(int64_t)>& progress, RegionList& list, std::string& why);
