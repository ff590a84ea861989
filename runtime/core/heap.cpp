// heap.cpp: the main heap and the allocation wrappers, a fault point of their own.
#include "heap.h"

#include "faults.h"

namespace {

SysHeap g_main_heap = nullptr;

}  // namespace

bool init_main_heap()
{
    if (!g_main_heap) g_main_heap = sys_heap_create(4096);
    return g_main_heap != nullptr;
}

void end_main_heap()
{
    sys_heap_destroy(g_main_heap);
    g_main_heap = nullptr;
}

SysHeap main_heap()
{
    return g_main_heap;
}

void* heap_alloc(SysHeap heap, size_t size, bool zero)
{
    if (!heap || fault_injected(Fault::heap)) return nullptr;
    return sys_heap_alloc(heap, size, zero);
}

void* heap_realloc(SysHeap heap, void* block, size_t size)
{
    if (!heap || fault_injected(Fault::heap)) return nullptr;
    return sys_heap_realloc(heap, block, size);
}

void heap_free(SysHeap heap, void* block)
{
    if (heap && block) sys_heap_free(heap, block);
}

void* main_alloc(size_t size)
{
    return heap_alloc(g_main_heap, size, true);
}

void main_free(void* block)
{
    heap_free(g_main_heap, block);
}
