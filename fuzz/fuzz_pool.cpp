// Fuzzes block pools with random sequences of allocations, frees and clears on
// pools of different shapes, checking after every step that no element was
// overwritten and that the chunk lists agree with the counts.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "heap.h"
#include "pool.h"

namespace {

struct Held {
    unsigned char* element;
    unsigned char tag;
};

struct Subject {
    BlockPool* pool;
    int32_t element_size;
    std::vector<Held> held;
};

void check(bool condition)
{
    if (!condition) std::abort();
}

int32_t check_list(PoolChunk* chunk, bool full)
{
    int32_t slots = 0;
    PoolChunk* previous = nullptr;
    for (; chunk; previous = chunk, chunk = chunk->next) {
        check(chunk->previous == previous);
        check(chunk->used >= 1 && chunk->used <= chunk->slot_count);
        check(chunk->free_count >= 0 && chunk->free_count < chunk->used);
        bool is_full = chunk->free_count == 0 && chunk->used >= chunk->slot_count;
        check(is_full == full);
        slots += chunk->slot_count;
    }
    return slots;
}

void check_pool(const Subject& s)
{
    int32_t slots = check_list(s.pool->full_chunks, true) + check_list(s.pool->partial_chunks, false);
    check(slots == s.pool->total_slots);
    for (const Held& h : s.held)
        for (int32_t i = 0; i < s.element_size; ++i) check(h.element[i] == h.tag);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = init_main_heap();
    if (!ready) return 0;

    Subject subjects[3] = {
        {create_block_pool(28, 16, 1024, 0), 28, {}},
        {create_block_pool(12, 2, 5, 2), 12, {}},
        {create_block_pool(1, 1, 3, POOL_LOCKED), 1, {}},
    };
    unsigned char tag = 0;
    for (size_t i = 0; i + 1 < size; i += 2) {
        Subject& s = subjects[data[i] % 3];
        unsigned op = data[i] >> 2;
        unsigned argument = data[i + 1];
        if (op < 40) {
            // Allocate, sometimes a burst, so that chunks fill and grow.
            unsigned count = op < 8 ? argument : 1;
            for (unsigned k = 0; k < count; ++k) {
                auto* element = static_cast<unsigned char*>(pool_allocate(s.pool));
                check(element != nullptr);
                std::memset(element, ++tag, static_cast<size_t>(s.element_size));
                s.held.push_back({element, tag});
            }
        } else if (op < 62) {
            if (s.held.empty()) continue;
            size_t index = argument % s.held.size();
            pool_free(s.pool, s.held[index].element);
            s.held[index] = s.held.back();
            s.held.pop_back();
        } else {
            pool_clear(s.pool);
            s.held.clear();
        }
        check_pool(s);
    }
    for (Subject& s : subjects) {
        for (const Held& h : s.held) pool_free(s.pool, h.element);
        check(s.pool->total_slots == 0);
        destroy_block_pool(s.pool);
    }
    return 0;
}
