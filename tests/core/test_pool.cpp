// Tests of block pools: chunk sizing, reuse and release of chunks, shared
// pools, locked pools under contention, and run_once.
#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

#include "fault_switch.h"
#include "heap.h"
#include "pool.h"

namespace {

// The slot count of the chunk made by the next allocation that needs one.
int32_t chunk_slots_made(BlockPool* pool, std::vector<void*>& held)
{
    int32_t before = pool->total_slots;
    held.push_back(pool_allocate(pool));
    return pool->total_slots - before;
}

int count_chunks(PoolChunk* chunk)
{
    int n = 0;
    for (; chunk; chunk = chunk->next) ++n;
    return n;
}

}  // namespace

TEST(BlockPool, ChunksGrowWithThePoolWithinItsBounds)
{
    BlockPool* pool = create_block_pool(28, 16, 1024, 0);
    ASSERT_NE(pool, nullptr);
    std::vector<void*> held;
    EXPECT_EQ(chunk_slots_made(pool, held), 16);  // total 0 gives 0, raised to 16
    for (int i = 1; i < 16; ++i) EXPECT_EQ(chunk_slots_made(pool, held), 0);
    EXPECT_EQ(chunk_slots_made(pool, held), 16);  // the 17th element needs a second chunk
    while (pool->total_slots < 512 || static_cast<int32_t>(held.size()) < pool->total_slots)
        held.push_back(pool_allocate(pool));
    EXPECT_EQ(pool->total_slots, 512);
    EXPECT_EQ(chunk_slots_made(pool, held), 32);  // 512 / 16

    // Keep allocating: every new chunk is a multiple of 16 and never above 1024.
    int32_t largest = 0;
    while (held.size() < 60000) {
        int32_t made = chunk_slots_made(pool, held);
        ASSERT_NE(held.back(), nullptr);
        if (made == 0) continue;
        EXPECT_EQ(made % 16, 0);
        EXPECT_LE(made, 1024);
        largest = std::max(largest, made);
    }
    EXPECT_EQ(largest, 1024);
    destroy_block_pool(pool);
}

TEST(BlockPool, ElementsDoNotOverlap)
{
    // Odd element sizes check that the slot size keeps elements apart.
    for (int32_t size : {1, 12, 28, 29, 100}) {
        BlockPool* pool = create_block_pool(size, 16, 64, 0);
        std::vector<unsigned char*> held;
        for (int i = 0; i < 500; ++i) {
            auto* element = static_cast<unsigned char*>(pool_allocate(pool));
            ASSERT_NE(element, nullptr);
            EXPECT_EQ(reinterpret_cast<uintptr_t>(element) % alignof(void*), 0u);
            std::memset(element, i & 0xFF, static_cast<size_t>(size));
            held.push_back(element);
        }
        for (int i = 0; i < 500; i += 3) pool_free(pool, held[static_cast<size_t>(i)]);
        for (int i = 0; i < 500; ++i) {
            if (i % 3 == 0) continue;
            for (int32_t b = 0; b < size; ++b)
                ASSERT_EQ(held[static_cast<size_t>(i)][b], i & 0xFF) << "size " << size << " element " << i;
        }
        destroy_block_pool(pool);
    }
}

TEST(BlockPool, FreeingReleasesEmptyChunksAndReusesTheFreedSlot)
{
    BlockPool* pool = create_block_pool(28, 16, 256, 2);
    std::vector<void*> held;
    for (int i = 0; i < 32; ++i) held.push_back(pool_allocate(pool));
    EXPECT_EQ(pool->total_slots, 32);
    EXPECT_EQ(count_chunks(pool->full_chunks), 2);
    EXPECT_EQ(pool->partial_chunks, nullptr);

    // One element of the older full chunk: that chunk heads the partial list
    // and the next allocation reuses exactly that slot.
    void* freed = held[3];
    pool_free(pool, freed);
    ASSERT_NE(pool->partial_chunks, nullptr);
    EXPECT_EQ(count_chunks(pool->partial_chunks), 1);
    void* again = pool_allocate(pool);
    EXPECT_EQ(again, freed);
    EXPECT_EQ(pool->partial_chunks, nullptr);

    // Every element of the newer chunk: the chunk goes back to the heap.
    for (int i = 16; i < 32; ++i) pool_free(pool, held[static_cast<size_t>(i)]);
    EXPECT_EQ(pool->total_slots, 16);
    EXPECT_EQ(count_chunks(pool->full_chunks), 1);
    for (int i = 0; i < 16; ++i) pool_free(pool, held[static_cast<size_t>(i)]);
    EXPECT_EQ(pool->total_slots, 0);
    EXPECT_EQ(pool->full_chunks, nullptr);
    EXPECT_EQ(pool->partial_chunks, nullptr);
    destroy_block_pool(pool);
}

TEST(BlockPool, ClearDropsEverythingAndThePoolStaysUsable)
{
    BlockPool* pool = create_block_pool(12, 128, 1024, 2);
    for (int i = 0; i < 300; ++i) ASSERT_NE(pool_allocate(pool), nullptr);
    pool_clear(pool);
    EXPECT_EQ(pool->total_slots, 0);
    EXPECT_EQ(pool->full_chunks, nullptr);
    EXPECT_EQ(pool->partial_chunks, nullptr);
    void* element = pool_allocate(pool);
    EXPECT_NE(element, nullptr);
    EXPECT_EQ(pool->total_slots, 128);
    pool_free(pool, element);
    destroy_block_pool(pool);
}

TEST(BlockPool, OutOfMemoryFallsBackToOneSlotThenFails)
{
    BlockPool* pool = create_block_pool(28, 16, 256, 0);
    fail_allocation_after(0, 1);  // the 16-slot chunk fails, one slot does not
    void* single = pool_allocate(pool);
    ASSERT_NE(single, nullptr);
    EXPECT_EQ(pool->total_slots, 1);
    EXPECT_EQ(count_chunks(pool->full_chunks), 1);

    fail_allocation_after(0, 2);  // both attempts fail
    EXPECT_EQ(pool_allocate(pool), nullptr);
    fail_allocation_after(-1);
    EXPECT_EQ(pool->total_slots, 1);

    pool_free(pool, single);  // the single-slot chunk is released at once
    EXPECT_EQ(pool->total_slots, 0);
    EXPECT_EQ(pool->full_chunks, nullptr);
    destroy_block_pool(pool);
}

TEST(BlockPool, SharedPoolsAreOnePoolPerSizeAndFlags)
{
    BlockPool* a = create_block_pool(28, 16, 256, POOL_SHARED);
    BlockPool* b = create_block_pool(28, 16, 256, POOL_SHARED);
    BlockPool* locked = create_block_pool(28, 16, 256, POOL_SHARED | POOL_LOCKED);
    BlockPool* other = create_block_pool(100, 16, 256, POOL_SHARED);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(a, b);
    EXPECT_NE(locked, a);
    EXPECT_EQ(locked->locked, 1);
    EXPECT_NE(other, a);

    void* element = pool_allocate(a);
    destroy_block_pool(a);
    // Still alive for its other user.
    EXPECT_EQ(b->total_slots, 16);
    pool_free(b, element);
    void* next = pool_allocate(b);
    EXPECT_NE(next, nullptr);
    pool_free(b, next);
    destroy_block_pool(b);

    BlockPool* fresh = create_block_pool(28, 16, 256, POOL_SHARED);
    EXPECT_EQ(fresh->total_slots, 0);
    destroy_block_pool(fresh);
    destroy_block_pool(locked);
    destroy_block_pool(other);
}

TEST(BlockPool, LockedPoolSurvivesConcurrentUse)
{
    BlockPool* pool = create_block_pool(16, 16, 256, POOL_LOCKED);
    ASSERT_EQ(pool->locked, 1);
    std::atomic<int> corrupted{0};
    auto worker = [&](int id) {
        std::vector<int*> mine;
        for (int round = 0; round < 200; ++round) {
            for (int i = 0; i < 50; ++i) {
                auto* element = static_cast<int*>(pool_allocate(pool));
                element[0] = id;
                element[1] = i;
                mine.push_back(element);
            }
            for (size_t i = 0; i < mine.size(); ++i)
                if (mine[i][0] != id || mine[i][1] != static_cast<int>(i)) ++corrupted;
            for (int* element : mine) pool_free(pool, element);
            mine.clear();
        }
    };
    std::vector<std::thread> threads;
    for (int id = 0; id < 4; ++id) threads.emplace_back(worker, id);
    for (auto& t : threads) t.join();
    EXPECT_EQ(corrupted.load(), 0);
    EXPECT_EQ(pool->total_slots, 0);
    destroy_block_pool(pool);
}

namespace {
std::atomic<int> g_once_runs{0};
void count_run()
{
    // Slow enough that the other threads arrive while it runs.
    std::this_thread::yield();
    ++g_once_runs;
}
}  // namespace

TEST(RunOnce, RunsTheRoutineExactlyOnceWhenThreadsRace)
{
    for (auto once : {&run_once, &run_once_portable}) {
        g_once_runs = 0;
        volatile OnceFlag flag = 0;
        std::atomic<bool> go{false};
        std::atomic<int> finished_after_run{0};
        std::vector<std::thread> threads;
        for (int i = 0; i < 6; ++i)
            threads.emplace_back([&] {
                while (!go) std::this_thread::yield();
                once(&flag, count_run);
                // Nobody returns before the routine has finished.
                if (g_once_runs == 1) ++finished_after_run;
            });
        go = true;
        for (auto& t : threads) t.join();
        once(&flag, count_run);
        EXPECT_EQ(g_once_runs.load(), 1);
        EXPECT_EQ(finished_after_run.load(), 6);
    }
}
