// pool.h: block pools, fixed-size records served from chunks of slots so that a
// steady stream of allocations and frees (queued events, canvas event data, the
// area fill's work stack) does not touch the heap.
#pragma once

#include <cstdint>

#include "platform.h"

// Bits 0-1 choose the locking: POOL_LOCKED gives the pool a lock of its own;
// POOL_UNLOCKED (or 0) leaves it without one, for a pool that one thread uses.
constexpr uint32_t POOL_LOCKED = 1;
constexpr uint32_t POOL_UNLOCKED = 2;
constexpr uint32_t POOL_LOCKING_BITS = 3;
constexpr uint32_t POOL_SHARED = 4;  // one pool for all users of the same slot size and flags

struct PoolChunk;
struct SharedPoolEntry;

struct BlockPool {
    PoolChunk* full_chunks;        // chunks with no free slot
    PoolChunk* partial_chunks;     // chunks with a free slot; allocation takes from the head
    SharedPoolEntry* shared_entry; // registry entry owning this pool, or null when private
    int32_t total_slots;           // slots of all chunks
    int32_t slot_size;             // element size + slot header, rounded up to pointer alignment
    int32_t minimum_chunk_slots;   // lower bound of a new chunk's slot count
    int32_t maximum_chunk_slots;   // upper bound of a new chunk's slot count
    int32_t locked;                // 1 when `lock` guards the pool
    SysLock lock;
};

// Chunk header; the slots follow it in the same heap block.
struct PoolChunk {
    PoolChunk* next;      // next chunk in the same list
    PoolChunk* previous;  // previous chunk in the same list
    void* free_list;      // most recently freed slot, or null
    int32_t slot_count;   // slots in the chunk
    int32_t used;         // slots handed out at least once; those beyond have never been used
    int32_t free_count;   // slots on the free list
};

BlockPool* create_block_pool(int32_t element_size, int32_t minimum_chunk_slots,
                             int32_t maximum_chunk_slots, uint32_t flags);
void* pool_allocate(BlockPool* pool);  // not zero-filled; null when memory runs out
void pool_free(BlockPool* pool, void* element);
void pool_clear(BlockPool* pool);      // every element handed out becomes invalid
void destroy_block_pool(BlockPool* pool);

// Runs `routine` exactly once per process, even when threads race to it.
void run_once(volatile OnceFlag* flag, void (*routine)());
// The portable path of run_once, used where the platform has no native service.
void run_once_portable(volatile OnceFlag* flag, void (*routine)());
