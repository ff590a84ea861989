// The overview's classes of blocks too large to hold at once: a block tallied
// from pieces, in any order, gets the class the whole block gets.
#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "overview.h"

namespace {

std::vector<uint8_t> block_of(int kind, int64_t length, std::mt19937_64& random)
{
    std::vector<uint8_t> b(static_cast<size_t>(length));
    for (int64_t i = 0; i < length; ++i) {
        const uint8_t noise = static_cast<uint8_t>(random());
        switch (kind) {
        case 0: b[i] = 0xA5; break;                                                // one value
        case 1: b[i] = static_cast<uint8_t>("plain text, line\n"[i % 17]); break;  // text
        case 2: b[i] = noise; break;                                               // dense
        case 3: b[i] = static_cast<uint8_t>(i % 4 ? 0 : noise & 0x1F); break;      // other
        case 4: b[i] = static_cast<uint8_t>(i % 17 == 0 && i > length / 2 ? 1 : 'x'); break;  // text but for a few
        default: b[i] = i % std::max<int64_t>(1, length / 512) == 0 ? 'A' : noise;  // its class in where it is sampled
        }
    }
    // One byte off at the very end: uniform no more.
    if (kind == 0 && random() % 2) b.back() = 0xA4;
    return b;
}

TEST(BlockTally, PiecesInAnyOrderGiveTheClassOfTheWholeBlock)
{
    std::mt19937_64 random(20261210);
    for (const int64_t length : {int64_t{64}, int64_t{1000}, int64_t{4096}, int64_t{1} << 20, (int64_t{1} << 20) + 77})
        for (int kind = 0; kind < 6; ++kind) {
            const std::vector<uint8_t> block = block_of(kind, length, random);
            // Cut at random places, tallied in a random order, each piece on its own.
            std::vector<int64_t> cuts = {0, length};
            for (int k = 0; k < 6; ++k) cuts.push_back(static_cast<int64_t>(random() % static_cast<uint64_t>(length)));
            std::sort(cuts.begin(), cuts.end());
            cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
            std::vector<size_t> order(cuts.size() - 1);
            std::iota(order.begin(), order.end(), 0);
            std::shuffle(order.begin(), order.end(), random);
            BlockTally whole(length);
            for (const size_t p : order) {
                BlockTally piece(length);
                piece.add(cuts[p], block.data() + cuts[p], cuts[p + 1] - cuts[p]);
                EXPECT_FALSE(piece.complete() && cuts.size() > 2);
                whole.merge(piece);
            }
            ASSERT_TRUE(whole.complete());
            EXPECT_EQ(whole.result(), classify_block(block.data(), length)) << "kind " << kind << ", " << length << " bytes";
        }
}

}  // namespace
