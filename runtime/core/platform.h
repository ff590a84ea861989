// platform.h: the few operating-system services that the platform-neutral parts
// of the runtime (registry, strings and memory blocks, block pools) rely on.
//
// There are two implementations: platform_win32.cpp, used by the program, and
// platform_posix.cpp, used only by the host checks (sanitizers, fuzzers,
// benchmarks). Nothing in this header pulls in <windows.h>.
#pragma once

#include <cstddef>
#include <cstdint>

// A private heap. Blocks come back aligned for any scalar type.
using SysHeap = void*;

SysHeap sys_heap_create(size_t initial_size);               // growable; null on failure
void* sys_heap_alloc(SysHeap heap, size_t size, bool zero);  // null on failure
void* sys_heap_realloc(SysHeap heap, void* block, size_t size);  // content kept; null on failure, block untouched
void sys_heap_free(SysHeap heap, void* block);               // null is ignored
void sys_heap_destroy(SysHeap heap);                         // frees every block of the heap

// A non-recursive-use lock (a critical section on Windows). The storage is
// large enough for either platform's native object.
struct SysLock {
    alignas(16) unsigned char storage[64];
};
void sys_lock_init(SysLock* lock);
void sys_lock_enter(SysLock* lock);
void sys_lock_leave(SysLock* lock);
void sys_lock_delete(SysLock* lock);

// A pointer-sized word used for one-time initialisation. It must start as 0.
using OnceFlag = intptr_t;

// Runs routine once through the platform's own one-time-initialisation service.
// Returns false, without running anything, when the platform has none.
bool sys_native_once(volatile OnceFlag* flag, void (*routine)());

// Atomically: if *target == comparand then *target = exchange. Returns the old value.
intptr_t sys_compare_exchange(volatile intptr_t* target, intptr_t exchange, intptr_t comparand);

// An atomic read and an atomic store of such a word (full barriers).
intptr_t sys_atomic_load(volatile intptr_t* target);
void sys_atomic_store(volatile intptr_t* target, intptr_t value);

// Gives up the rest of the time slice.
void sys_yield();
