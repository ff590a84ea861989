// registry.h: numbered objects. Each runtime library that hands out objects
// (windows, gadgets, images, files, menus) keeps them in an ObjectTable and
// reaches a record only through the operations here.
//
// Convention shared by every kind: the first field of a record is pointer-sized
// and holds the object's native handle; the object exists exactly while that
// field is non-zero. A kind's free operation ends with release_object.
#pragma once

#include <cstddef>
#include <cstdint>

constexpr int32_t ANY_NUMBER = -1;

// Static numbers run from 0 to MAX_STATIC_NUMBER. Dynamic numbers are handed out
// from FIRST_DYNAMIC_NUMBER upward, above any capacity a table can reach, so a
// lookup never mistakes one kind of number for the other.
constexpr int32_t MAX_STATIC_NUMBER = 0x00FFFFFF;
constexpr int32_t FIRST_DYNAMIC_NUMBER = 0x40000000;

using FreeOperation = void (*)(int32_t number);

// Node of a dynamically numbered record: two links, then the record.
struct DynamicNode {
    DynamicNode* next;      // the node created before this one
    DynamicNode* previous;  // the node created after this one
    int32_t number;         // the dynamic number handed out for this record
    alignas(16) unsigned char record[1];  // record_size bytes in fact
};

struct ObjectTable {
    int32_t record_size;            // size of one record; records are created zero-filled
    int32_t growth_step;            // initial capacity and the head-room added on growth
    int32_t capacity;               // slots in the slot array
    void** slots;                   // slot n: record of static number n, or null
    DynamicNode* dynamic_list;      // newest dynamic node, or null
    FreeOperation free_operation;   // the kind's own free operation, or null
    int32_t iteration_index;        // next static slot an enumeration visits
    DynamicNode* iteration_cursor;  // next dynamic node an enumeration visits
    int32_t last_dynamic_number;    // the dynamic number handed out last
};

ObjectTable* create_object_table(int32_t record_size, int32_t growth_step, FreeOperation free_operation);

// Creates or reuses the record for `number` (see registry.cpp). For ANY_NUMBER the
// new dynamic number is stored in *dynamic_number when that is not null.
// Returns none (null) when memory runs out or the number cannot name an object.
void* obtain_object(ObjectTable* table, int32_t number, int32_t* dynamic_number = nullptr);
void* find_object(ObjectTable* table, int32_t number);
void release_object(ObjectTable* table, int32_t number);

void begin_object_iteration(ObjectTable* table);
void* next_object(ObjectTable* table, int32_t* number);
void release_all_objects(ObjectTable* table);

using LibraryRoutine = void (*)(void* state);
// A zero-filled record on the main heap on which `initialiser` has already run.
// The finaliser is accepted and never called.
void* create_library_state(size_t size, LibraryRoutine initialiser, LibraryRoutine finaliser);
