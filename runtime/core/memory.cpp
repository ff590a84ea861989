// memory.cpp: memory blocks on a private heap of their own, kept apart from the
// main heap so that a large file's bytes do not fragment the small records.
#include "memory.h"

#include <cstddef>

#include "heap.h"

namespace {

SysHeap g_memory_heap = nullptr;

}  // namespace

void init_memory_blocks()
{
    // A second call keeps the heap and the blocks already on it.
    if (!g_memory_heap) g_memory_heap = sys_heap_create(4096);
}

void* allocate_memory(int64_t size)
{
    if (size <= 0) return nullptr;
    // On a 32-bit system a 64-bit size may not fit the allocator's size type.
    if constexpr (sizeof(size_t) < sizeof(int64_t)) {
        if (static_cast<uint64_t>(size) > SIZE_MAX) return nullptr;
    }
    return heap_alloc(g_memory_heap, static_cast<size_t>(size), true);
}

void free_memory(void* address)
{
    heap_free(g_memory_heap, address);
}

int32_t peek_byte(const void* address)
{
    // A null address reads as a zero byte rather than faulting.
    if (!address) return 0;
    return static_cast<signed char>(*static_cast<const unsigned char*>(address));
}

void end_memory_blocks()
{
}
