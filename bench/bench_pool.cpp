// Measures one allocate and free pair on a pool shaped like the event queue's
// (the pool's first chunk kept alive by one element held for the whole run,
// as the event queue does).
#include "bench.h"
#include "heap.h"
#include "pool.h"

int main()
{
    if (!init_main_heap()) return 1;
    BlockPool* pool = create_block_pool(28, 16, 256, 2);
    void* kept = pool_allocate(pool);

    constexpr int PAIRS = 1000000;
    double pair_ns = bench::measure(21, [&] {
        for (int i = 0; i < PAIRS; ++i) {
            void* element = pool_allocate(pool);
            bench::keep(element);
            pool_free(pool, element);
        }
    }) / PAIRS;

    // Baseline from the same run: a pair of main-heap calls of the same size.
    constexpr int HEAP_PAIRS = 200000;
    double heap_ns = bench::measure(21, [&] {
        for (int i = 0; i < HEAP_PAIRS; ++i) {
            void* block = heap_alloc(main_heap(), 28, false);
            bench::keep(block);
            heap_free(main_heap(), block);
        }
    }) / HEAP_PAIRS;

    bench::report("pool allocate+free pair (median)", pair_ns, "ns");
    bench::report("heap alloc+free pair, same size (median)", heap_ns, "ns");
    bench::report("ratio pool / heap", pair_ns / heap_ns, "x");
    pool_free(pool, kept);
    destroy_block_pool(pool);
    return 0;
}
