// The regions a scan lists: at most the limit, the best or the first in the
// file, whatever number come, and the rest counted.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "scan_file.h"

namespace {

TEST(RegionList, KeepsTheBestOrTheFirstUpToItsLimit)
{
    std::mt19937 random(7);
    std::vector<FoundRegion> all;
    for (int64_t i = 0; i < 1000; ++i)
        all.push_back(FoundRegion{i * 512, i * 512 + 300, 8, static_cast<double>(random() % 50) / 50, {}});
    std::vector<FoundRegion> best = all;
    std::stable_sort(best.begin(), best.end(), [](const FoundRegion& a, const FoundRegion& b) { return a.score > b.score; });
    for (const int64_t limit : {1, 7, 999, 1000, 5000}) {
        for (const RegionOrder order : {RegionOrder::score, RegionOrder::file}) {
            RegionList list;
            list.limit = limit;
            list.order = order;
            for (const FoundRegion& r : all) list.keep(r);
            list.finish();
            const std::vector<FoundRegion>& want = order == RegionOrder::score ? best : all;
            const size_t n = static_cast<size_t>(std::min<int64_t>(limit, 1000));
            ASSERT_EQ(list.regions.size(), n) << limit;
            for (size_t i = 0; i < n; ++i) {
                EXPECT_EQ(list.regions[i].start, want[i].start) << "limit " << limit << ", place " << i;
                EXPECT_EQ(list.regions[i].score, want[i].score);
            }
            EXPECT_EQ(list.cut, 1000 - static_cast<int64_t>(n));
        }
    }
}

}  // namespace
