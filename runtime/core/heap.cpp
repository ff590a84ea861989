// heap.cpp: the main heap and the allocation wrappers with their failure hook.
#include "heap.h"

namespace {

SysHeap g_main_heap = nullptr;
int g_allocations_before_failure = -1;  // -1: the hook is off
int g_failures_left = 0;

// True when the hook says this allocation must fail.
bool injected_failure()
{
    if (g_allocations_before_failure < 0) return false;
    if (g_allocations_before_failure == 0) {
        if (--g_failures_left <= 0) g_allocations_before_failure = -1;
        return true;
    }
    --g_allocations_before_failure;
    return false;
}

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
    if (!heap || injected_failure()) return nullptr;
    return sys_heap_alloc(heap, size, zero);
}

void* heap_realloc(SysHeap heap, void* block, size_t size)
{
    if (!heap || injected_failure()) return nullptr;
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

void fail_allocation_after(int count, int failures)
{
    g_allocations_before_failure = count < 0 || failures < 1 ? -1 : count;
    g_failures_left = failures;
}
