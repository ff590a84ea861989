// heap.h: the program's main private heap and the allocation calls every runtime
// library uses on its heaps.
//
// Records, tables, library state records and pools live on the main heap,
// which start-up creates (4096 bytes, growable) and the end sequence destroys.
// All allocations of the runtime pass through heap_alloc and heap_realloc,
// which are a fault point (faults.h): tests can make the n-th next one fail.
#pragma once

#include "platform.h"

// Creates the main heap (once; later calls keep it). Returns false on failure.
bool init_main_heap();
// Destroys the main heap and everything on it.
void end_main_heap();
SysHeap main_heap();

void* heap_alloc(SysHeap heap, size_t size, bool zero);
void* heap_realloc(SysHeap heap, void* block, size_t size);
void heap_free(SysHeap heap, void* block);

// Zero-filled block on the main heap, and its release.
void* main_alloc(size_t size);
void main_free(void* block);
