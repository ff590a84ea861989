// platform_posix.cpp: the platform services on POSIX, for the host checks only.
//
// A heap keeps its blocks on a doubly linked list so that destroying the heap
// frees every block, as a Win32 private heap does. There is no native
// one-time-initialisation service here, so run_once uses its portable path.
#include "platform.h"

#include <pthread.h>
#include <sched.h>

#include <cstdlib>
#include <cstring>
#include <new>

namespace {

struct alignas(16) BlockHeader {
    BlockHeader* next;
    BlockHeader* previous;
};

struct PosixHeap {
    BlockHeader list;  // sentinel of a circular list
    pthread_mutex_t mutex;
};

void link_block(PosixHeap* heap, BlockHeader* block)
{
    block->next = heap->list.next;
    block->previous = &heap->list;
    heap->list.next->previous = block;
    heap->list.next = block;
}

void unlink_block(BlockHeader* block)
{
    block->previous->next = block->next;
    block->next->previous = block->previous;
}

}  // namespace

static_assert(sizeof(pthread_mutex_t) <= sizeof(SysLock), "SysLock too small");

SysHeap sys_heap_create(size_t)
{
    auto* heap = static_cast<PosixHeap*>(std::malloc(sizeof(PosixHeap)));
    if (!heap) return nullptr;
    heap->list.next = heap->list.previous = &heap->list;
    pthread_mutex_init(&heap->mutex, nullptr);
    return heap;
}

void* sys_heap_alloc(SysHeap heap_handle, size_t size, bool zero)
{
    auto* heap = static_cast<PosixHeap*>(heap_handle);
    if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    size_t total = sizeof(BlockHeader) + (size ? size : 1);
    auto* block = static_cast<BlockHeader*>(zero ? std::calloc(1, total) : std::malloc(total));
    if (!block) return nullptr;
    pthread_mutex_lock(&heap->mutex);
    link_block(heap, block);
    pthread_mutex_unlock(&heap->mutex);
    return block + 1;
}

void* sys_heap_realloc(SysHeap heap_handle, void* data, size_t size)
{
    if (!data) return sys_heap_alloc(heap_handle, size, false);
    auto* heap = static_cast<PosixHeap*>(heap_handle);
    if (size > SIZE_MAX - sizeof(BlockHeader)) return nullptr;
    auto* block = static_cast<BlockHeader*>(data) - 1;
    pthread_mutex_lock(&heap->mutex);
    unlink_block(block);
    auto* moved = static_cast<BlockHeader*>(std::realloc(block, sizeof(BlockHeader) + (size ? size : 1)));
    link_block(heap, moved ? moved : block);
    pthread_mutex_unlock(&heap->mutex);
    return moved ? moved + 1 : nullptr;
}

void sys_heap_free(SysHeap heap_handle, void* data)
{
    if (!data) return;
    auto* heap = static_cast<PosixHeap*>(heap_handle);
    auto* block = static_cast<BlockHeader*>(data) - 1;
    pthread_mutex_lock(&heap->mutex);
    unlink_block(block);
    pthread_mutex_unlock(&heap->mutex);
    std::free(block);
}

void sys_heap_destroy(SysHeap heap_handle)
{
    auto* heap = static_cast<PosixHeap*>(heap_handle);
    if (!heap) return;
    BlockHeader* block = heap->list.next;
    while (block != &heap->list) {
        BlockHeader* next = block->next;
        std::free(block);
        block = next;
    }
    pthread_mutex_destroy(&heap->mutex);
    std::free(heap);
}

void sys_lock_init(SysLock* lock)
{
    new (lock->storage) pthread_mutex_t;
    pthread_mutex_init(reinterpret_cast<pthread_mutex_t*>(lock->storage), nullptr);
}

void sys_lock_enter(SysLock* lock)
{
    pthread_mutex_lock(reinterpret_cast<pthread_mutex_t*>(lock->storage));
}

void sys_lock_leave(SysLock* lock)
{
    pthread_mutex_unlock(reinterpret_cast<pthread_mutex_t*>(lock->storage));
}

void sys_lock_delete(SysLock* lock)
{
    pthread_mutex_destroy(reinterpret_cast<pthread_mutex_t*>(lock->storage));
}

bool sys_native_once(volatile OnceFlag*, void (*)())
{
    return false;
}

intptr_t sys_compare_exchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand)
{
    intptr_t expected = comparand;
    __atomic_compare_exchange_n(target, &expected, exchange, false, __ATOMIC_SEQ_CST,
                                __ATOMIC_SEQ_CST);
    return expected;
}

intptr_t sys_atomic_load(volatile intptr_t* target)
{
    return __atomic_load_n(target, __ATOMIC_SEQ_CST);
}

void sys_atomic_store(volatile intptr_t* target, intptr_t value)
{
    __atomic_store_n(target, value, __ATOMIC_SEQ_CST);
}

void sys_yield()
{
    sched_yield();
}
