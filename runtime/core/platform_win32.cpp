// platform_win32.cpp: the platform services on Win32 (private heaps, critical
// sections, interlocked operations, InitOnceExecuteOnce found at run time).
#include "platform.h"

#include <windows.h>

static_assert(sizeof(CRITICAL_SECTION) <= sizeof(SysLock), "SysLock too small");
static_assert(sizeof(INIT_ONCE) == sizeof(OnceFlag), "OnceFlag must match INIT_ONCE");

SysHeap sys_heap_create(size_t initial_size)
{
    return HeapCreate(0, initial_size, 0);
}

void* sys_heap_alloc(SysHeap heap, size_t size, bool zero)
{
    return HeapAlloc(static_cast<HANDLE>(heap), zero ? HEAP_ZERO_MEMORY : 0, size ? size : 1);
}

void* sys_heap_realloc(SysHeap heap, void* block, size_t size)
{
    if (!block) return sys_heap_alloc(heap, size, false);
    return HeapReAlloc(static_cast<HANDLE>(heap), 0, block, size ? size : 1);
}

void sys_heap_free(SysHeap heap, void* block)
{
    if (block) HeapFree(static_cast<HANDLE>(heap), 0, block);
}

void sys_heap_destroy(SysHeap heap)
{
    if (heap) HeapDestroy(static_cast<HANDLE>(heap));
}

void sys_lock_init(SysLock* lock)
{
    InitializeCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

void sys_lock_enter(SysLock* lock)
{
    EnterCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

void sys_lock_leave(SysLock* lock)
{
    LeaveCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

void sys_lock_delete(SysLock* lock)
{
    DeleteCriticalSection(reinterpret_cast<CRITICAL_SECTION*>(lock->storage));
}

namespace {

using InitOnceExecuteOnceFn = BOOL(WINAPI*)(PINIT_ONCE, PINIT_ONCE_FN, PVOID, LPVOID*);

BOOL CALLBACK call_once_routine(PINIT_ONCE, PVOID parameter, PVOID*)
{
    void (*routine)() = nullptr;
    static_assert(sizeof(routine) == sizeof(parameter), "function pointer size");
    __builtin_memcpy(&routine, &parameter, sizeof(routine));
    routine();
    return TRUE;
}

}  // namespace

bool sys_native_once(volatile OnceFlag* flag, void (*routine)())
{
    // Looked up at the call: older systems do not have it.
    HMODULE kernel = GetModuleHandleA("Kernel32.dll");
    if (!kernel) return false;
    auto execute_once = reinterpret_cast<InitOnceExecuteOnceFn>(
        reinterpret_cast<void*>(GetProcAddress(kernel, "InitOnceExecuteOnce")));
    if (!execute_once) return false;
    void* parameter = nullptr;
    __builtin_memcpy(&parameter, &routine, sizeof(parameter));
    execute_once(reinterpret_cast<PINIT_ONCE>(const_cast<OnceFlag*>(flag)), call_once_routine,
                 parameter, nullptr);
    return true;
}

intptr_t sys_compare_exchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand)
{
    return reinterpret_cast<intptr_t>(InterlockedCompareExchangePointer(
        reinterpret_cast<PVOID volatile*>(target), reinterpret_cast<PVOID>(exchange),
        reinterpret_cast<PVOID>(comparand)));
}

intptr_t sys_atomic_load(volatile intptr_t* target)
{
    return sys_compare_exchange(target, 0, 0);
}

void sys_atomic_store(volatile intptr_t* target, intptr_t value)
{
    InterlockedExchangePointer(reinterpret_cast<PVOID volatile*>(target),
                               reinterpret_cast<PVOID>(value));
}

void sys_yield()
{
    Sleep(0);
}
