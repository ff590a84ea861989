// registry.cpp: object tables with static slots and a list of dynamic records.
#include "registry.h"

#include <cstring>

#include "heap.h"

namespace {

size_t node_size(const ObjectTable* table)
{
    return offsetof(DynamicNode, record) + static_cast<size_t>(table->record_size);
}

DynamicNode* find_dynamic_node(const ObjectTable* table, int32_t number)
{
    for (DynamicNode* node = table->dynamic_list; node; node = node->next)
        if (node->number == number) return node;
    return nullptr;
}

bool record_exists(const void* record)
{
    void* handle;
    std::memcpy(&handle, record, sizeof(handle));
    return handle != nullptr;
}

// The next dynamic number not held by a live record. Numbers wrap within the
// dynamic range; with about a billion of them, a free one is always near.
int32_t next_dynamic_number(ObjectTable* table)
{
    int32_t number = table->last_dynamic_number;
    do {
        number = (number < FIRST_DYNAMIC_NUMBER || number == INT32_MAX) ? FIRST_DYNAMIC_NUMBER
                                                                          : number + 1;
    } while (find_dynamic_node(table, number));
    table->last_dynamic_number = number;
    return number;
}

void* obtain_dynamic(ObjectTable* table, int32_t* dynamic_number)
{
    auto* node = static_cast<DynamicNode*>(main_alloc(node_size(table)));
    if (!node) return nullptr;
    node->number = next_dynamic_number(table);
    node->next = table->dynamic_list;
    node->previous = nullptr;
    if (table->dynamic_list) table->dynamic_list->previous = node;
    table->dynamic_list = node;
    if (dynamic_number) *dynamic_number = node->number;
    return node->record;
}

bool grow_slots(ObjectTable* table, int32_t number)
{
    int32_t capacity = number + table->growth_step;
    auto* slots = static_cast<void**>(main_alloc(sizeof(void*) * static_cast<size_t>(capacity)));
    if (!slots) return false;
    if (table->slots) {
        std::memcpy(slots, table->slots, sizeof(void*) * static_cast<size_t>(table->capacity));
        main_free(table->slots);
    }
    table->slots = slots;
    table->capacity = capacity;
    return true;
}

}  // namespace

ObjectTable* create_object_table(int32_t record_size, int32_t growth_step, FreeOperation free_operation)
{
    if (record_size < static_cast<int32_t>(sizeof(void*)) || growth_step < 1) return nullptr;
    auto* table = static_cast<ObjectTable*>(main_alloc(sizeof(ObjectTable)));
    if (!table) return nullptr;
    table->slots = static_cast<void**>(main_alloc(sizeof(void*) * static_cast<size_t>(growth_step)));
    if (!table->slots) {
        main_free(table);
        return nullptr;
    }
    table->record_size = record_size;
    table->growth_step = growth_step;
    table->capacity = growth_step;
    table->free_operation = free_operation;
    return table;
}

void* obtain_object(ObjectTable* table, int32_t number, int32_t* dynamic_number)
{
    if (!table) return nullptr;
    if (number == ANY_NUMBER) return obtain_dynamic(table, dynamic_number);
    // Negative numbers other than -1, and numbers beyond the static range,
    // cannot name an object: refusing them keeps the two ranges apart.
    if (number < 0 || number > MAX_STATIC_NUMBER) return nullptr;
    if (number >= table->capacity && !grow_slots(table, number)) return nullptr;

    void* record = table->slots[number];
    if (record) {
        // Reusing a number replaces the old object: its free operation
        // releases the native resources and clears the record in place.
        if (table->free_operation && record_exists(record)) table->free_operation(number);
        std::memset(record, 0, static_cast<size_t>(table->record_size));
        return record;
    }
    record = main_alloc(static_cast<size_t>(table->record_size));
    if (record) table->slots[number] = record;
    return record;
}

void* find_object(ObjectTable* table, int32_t number)
{
    if (!table) return nullptr;
    void* record = nullptr;
    if (number >= 0 && number < table->capacity) {
        record = table->slots[number];
    } else {
        DynamicNode* node = find_dynamic_node(table, number);
        if (node) record = node->record;
    }
    return record && record_exists(record) ? record : nullptr;
}

void release_object(ObjectTable* table, int32_t number)
{
    if (!table) return;
    if (number >= 0 && number < table->capacity) {
        if (table->slots[number])
            std::memset(table->slots[number], 0, static_cast<size_t>(table->record_size));
        return;
    }
    DynamicNode* node = find_dynamic_node(table, number);
    if (!node) return;
    if (node->previous)
        node->previous->next = node->next;
    else
        table->dynamic_list = node->next;
    if (node->next) node->next->previous = node->previous;
    // An enumeration in progress never stands on a node being released: it has
    // already moved past it. Keep it safe even if a caller frees ahead.
    if (table->iteration_cursor == node) table->iteration_cursor = node->previous;
    main_free(node);
}

void begin_object_iteration(ObjectTable* table)
{
    if (!table) return;
    table->iteration_index = 0;
    DynamicNode* oldest = table->dynamic_list;
    while (oldest && oldest->next) oldest = oldest->next;
    table->iteration_cursor = oldest;
}

void* next_object(ObjectTable* table, int32_t* number)
{
    if (!table) return nullptr;
    while (table->iteration_index < table->capacity) {
        int32_t index = table->iteration_index++;
        void* record = table->slots[index];
        if (record && record_exists(record)) {
            if (number) *number = index;
            return record;
        }
    }
    DynamicNode* node = table->iteration_cursor;
    if (!node) return nullptr;
    table->iteration_cursor = node->previous;
    if (number) *number = node->number;
    return node->record;
}

void release_all_objects(ObjectTable* table)
{
    if (!table || !table->free_operation) return;
    begin_object_iteration(table);
    int32_t number = 0;
    while (next_object(table, &number)) table->free_operation(number);
}

void* create_library_state(size_t size, LibraryRoutine initialiser, LibraryRoutine)
{
    void* state = main_alloc(size);
    if (state && initialiser) initialiser(state);
    return state;
}
