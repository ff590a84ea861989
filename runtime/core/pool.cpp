// pool.cpp: block pools, the shared-pool registry and run_once.
//
// A slot is a pointer-sized header followed by the element. While the element
// is handed out the header points to its chunk; while the slot is free it links
// to the next free slot of the chunk.
#include "pool.h"

#include "heap.h"

struct SharedPoolEntry {
    SharedPoolEntry* next;
    SharedPoolEntry* previous;
    BlockPool* pool;
    int32_t slot_size;
    uint32_t flags;
    int32_t references;
};

namespace {

constexpr size_t SLOT_HEADER = sizeof(void*);
// The chunk header rounded up so that every slot is pointer-aligned.
constexpr size_t CHUNK_HEADER = (sizeof(PoolChunk) + alignof(void*) - 1) & ~(alignof(void*) - 1);

struct SharedRegistry {
    SysLock lock;
    SharedPoolEntry* head;
};

SharedRegistry g_shared;
volatile OnceFlag g_shared_once = 0;

void init_shared_registry()
{
    sys_lock_init(&g_shared.lock);
    g_shared.head = nullptr;
}

void link_chunk(PoolChunk** list, PoolChunk* chunk)
{
    chunk->previous = nullptr;
    chunk->next = *list;
    if (*list) (*list)->previous = chunk;
    *list = chunk;
}

void unlink_chunk(PoolChunk** list, PoolChunk* chunk)
{
    if (chunk->previous)
        chunk->previous->next = chunk->next;
    else
        *list = chunk->next;
    if (chunk->next) chunk->next->previous = chunk->previous;
}

unsigned char* slot_at(PoolChunk* chunk, int32_t slot_size, int32_t index)
{
    return reinterpret_cast<unsigned char*>(chunk) + CHUNK_HEADER +
           static_cast<size_t>(slot_size) * static_cast<size_t>(index);
}

// A new chunk holds about one sixteenth of the slots the pool already owns, in
// multiples of 16, within the pool's bounds.
int32_t new_chunk_slots(const BlockPool* pool)
{
    int32_t slots = (pool->total_slots / 16) & ~15;
    if (slots < pool->minimum_chunk_slots) slots = pool->minimum_chunk_slots;
    if (slots > pool->maximum_chunk_slots) slots = pool->maximum_chunk_slots;
    return slots;
}

void* allocate_unlocked(BlockPool* pool)
{
    PoolChunk* chunk = pool->partial_chunks;
    unsigned char* slot;
    if (chunk) {
        if (chunk->free_count > 0) {
            slot = static_cast<unsigned char*>(chunk->free_list);
            chunk->free_list = *reinterpret_cast<void**>(slot);
            --chunk->free_count;
        } else {
            slot = slot_at(chunk, pool->slot_size, chunk->used++);
        }
        if (chunk->free_count == 0 && chunk->used >= chunk->slot_count) {
            unlink_chunk(&pool->partial_chunks, chunk);
            link_chunk(&pool->full_chunks, chunk);
        }
    } else {
        int32_t slots = new_chunk_slots(pool);
        chunk = static_cast<PoolChunk*>(heap_alloc(
            main_heap(), CHUNK_HEADER + static_cast<size_t>(pool->slot_size) * slots, false));
        if (!chunk) {
            slots = 1;
            chunk = static_cast<PoolChunk*>(
                heap_alloc(main_heap(), CHUNK_HEADER + static_cast<size_t>(pool->slot_size), false));
            if (!chunk) return nullptr;
        }
        chunk->slot_count = slots;
        chunk->used = 1;
        chunk->free_count = 0;
        chunk->free_list = nullptr;
        pool->total_slots += slots;
        link_chunk(slots > 1 ? &pool->partial_chunks : &pool->full_chunks, chunk);
        slot = slot_at(chunk, pool->slot_size, 0);
    }
    *reinterpret_cast<PoolChunk**>(slot) = chunk;
    return slot + SLOT_HEADER;
}

void free_unlocked(BlockPool* pool, void* element)
{
    unsigned char* slot = static_cast<unsigned char*>(element) - SLOT_HEADER;
    PoolChunk* chunk = *reinterpret_cast<PoolChunk**>(slot);
    bool was_full = chunk->free_count == 0 && chunk->used >= chunk->slot_count;
    *reinterpret_cast<void**>(slot) = chunk->free_list;
    chunk->free_list = slot;
    ++chunk->free_count;
    if (chunk->free_count == chunk->used) {
        // Nothing of this chunk is handed out any more: give it back.
        unlink_chunk(was_full ? &pool->full_chunks : &pool->partial_chunks, chunk);
        pool->total_slots -= chunk->slot_count;
        heap_free(main_heap(), chunk);
    } else if (was_full) {
        unlink_chunk(&pool->full_chunks, chunk);
        link_chunk(&pool->partial_chunks, chunk);
    }
}

void free_chunk_list(PoolChunk* chunk)
{
    while (chunk) {
        PoolChunk* next = chunk->next;
        heap_free(main_heap(), chunk);
        chunk = next;
    }
}

BlockPool* create_private_pool(int32_t slot_size, int32_t minimum, int32_t maximum, uint32_t flags)
{
    auto* pool = static_cast<BlockPool*>(main_alloc(sizeof(BlockPool)));
    if (!pool) return nullptr;
    pool->slot_size = slot_size;
    pool->minimum_chunk_slots = minimum;
    pool->maximum_chunk_slots = maximum;
    if ((flags & POOL_LOCKING_BITS) == POOL_LOCKED) {
        sys_lock_init(&pool->lock);
        pool->locked = 1;
    }
    return pool;
}

void destroy_private_pool(BlockPool* pool)
{
    pool_clear(pool);
    if (pool->locked) sys_lock_delete(&pool->lock);
    main_free(pool);
}

}  // namespace

BlockPool* create_block_pool(int32_t element_size, int32_t minimum_chunk_slots,
                             int32_t maximum_chunk_slots, uint32_t flags)
{
    if (element_size < 0 || element_size > (1 << 24)) return nullptr;
    // Bounds that make no sense are brought into a usable order.
    if (minimum_chunk_slots < 1) minimum_chunk_slots = 1;
    if (maximum_chunk_slots < minimum_chunk_slots) maximum_chunk_slots = minimum_chunk_slots;
    int32_t slot_size = static_cast<int32_t>(
        (static_cast<size_t>(element_size) + SLOT_HEADER + alignof(void*) - 1) & ~(alignof(void*) - 1));

    if (!(flags & POOL_SHARED))
        return create_private_pool(slot_size, minimum_chunk_slots, maximum_chunk_slots, flags);

    run_once(&g_shared_once, init_shared_registry);
    uint32_t private_flags = flags & ~POOL_SHARED;
    sys_lock_enter(&g_shared.lock);
    BlockPool* pool = nullptr;
    for (SharedPoolEntry* entry = g_shared.head; entry; entry = entry->next) {
        if (entry->slot_size == slot_size && entry->flags == flags && entry->pool) {
            ++entry->references;
            pool = entry->pool;
            break;
        }
    }
    if (!pool) {
        auto* entry = static_cast<SharedPoolEntry*>(main_alloc(sizeof(SharedPoolEntry)));
        if (entry) {
            pool = create_private_pool(slot_size, minimum_chunk_slots, maximum_chunk_slots, private_flags);
            if (pool) {
                entry->pool = pool;
                entry->slot_size = slot_size;
                entry->flags = flags;
                entry->references = 1;
                entry->next = g_shared.head;
                if (g_shared.head) g_shared.head->previous = entry;
                g_shared.head = entry;
                pool->shared_entry = entry;
            } else {
                main_free(entry);
            }
        }
    }
    sys_lock_leave(&g_shared.lock);
    return pool;
}

void* pool_allocate(BlockPool* pool)
{
    if (!pool) return nullptr;
    if (!pool->locked) return allocate_unlocked(pool);
    sys_lock_enter(&pool->lock);
    void* element = allocate_unlocked(pool);
    sys_lock_leave(&pool->lock);
    return element;
}

void pool_free(BlockPool* pool, void* element)
{
    if (!pool || !element) return;
    if (!pool->locked) return free_unlocked(pool, element);
    sys_lock_enter(&pool->lock);
    free_unlocked(pool, element);
    sys_lock_leave(&pool->lock);
}

void pool_clear(BlockPool* pool)
{
    if (!pool) return;
    if (pool->locked) sys_lock_enter(&pool->lock);
    free_chunk_list(pool->full_chunks);
    free_chunk_list(pool->partial_chunks);
    pool->full_chunks = pool->partial_chunks = nullptr;
    pool->total_slots = 0;
    if (pool->locked) sys_lock_leave(&pool->lock);
}

void destroy_block_pool(BlockPool* pool)
{
    if (!pool) return;
    SharedPoolEntry* entry = pool->shared_entry;
    if (!entry) return destroy_private_pool(pool);
    sys_lock_enter(&g_shared.lock);
    if (--entry->references == 0) {
        destroy_private_pool(pool);
        if (entry->previous)
            entry->previous->next = entry->next;
        else
            g_shared.head = entry->next;
        if (entry->next) entry->next->previous = entry->previous;
        main_free(entry);
    }
    sys_lock_leave(&g_shared.lock);
}

void run_once_portable(volatile OnceFlag* flag, void (*routine)())
{
    // The flag as a three-state word: 0 not run, 1 running, 2 done.
    intptr_t seen = sys_compare_exchange(flag, 1, 0);
    if (seen == 0) {
        routine();
        sys_atomic_store(flag, 2);
        return;
    }
    while (sys_atomic_load(flag) != 2) sys_yield();
}

void run_once(volatile OnceFlag* flag, void (*routine)())
{
    if (!sys_native_once(flag, routine)) run_once_portable(flag, routine);
}
