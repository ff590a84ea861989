// Fuzzes the object registry with random sequences of creating, reusing,
// finding, releasing and enumerating static and dynamic objects, checked
// against a plain model of which numbers exist and what their records hold.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "heap.h"
#include "registry.h"

namespace {

struct Record {
    void* handle;  // non-zero while the object exists
    uint32_t value;
};

ObjectTable* g_table = nullptr;
std::vector<int32_t> g_freed;

void check(bool condition)
{
    if (!condition) std::abort();
}

void free_record(int32_t number)
{
    g_freed.push_back(number);
    release_object(g_table, number);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool ready = init_main_heap();
    if (!ready) return 0;
    g_table = create_object_table(sizeof(Record), 1 + (size ? data[0] % 16 : 0), free_record);
    check(g_table != nullptr);
    std::map<int32_t, uint32_t> model;
    std::vector<int32_t> dynamic;

    for (size_t i = 1; i + 2 < size; i += 3) {
        const uint8_t op = data[i] % 6;
        const int32_t small = static_cast<int32_t>(data[i + 1] % 64);
        const uint32_t value = data[i + 2] | (static_cast<uint32_t>(i) << 8);
        switch (op) {
        case 0: {  // create or reuse a static number
            g_freed.clear();
            auto* record = static_cast<Record*>(obtain_object(g_table, small));
            check(record && record->handle == nullptr && record->value == 0);
            check(g_freed.size() == (model.count(small) ? 1u : 0u));
            record->handle = reinterpret_cast<void*>(uintptr_t{1} + value);
            record->value = value;
            model[small] = value;
            break;
        }
        case 1: {  // create a dynamic object
            int32_t number = 0;
            auto* record = static_cast<Record*>(obtain_object(g_table, ANY_NUMBER, &number));
            check(record && number >= g_table->capacity && number != ANY_NUMBER && !model.count(number));
            record->handle = reinterpret_cast<void*>(uintptr_t{1} + value);
            record->value = value;
            model[number] = value;
            dynamic.push_back(number);
            break;
        }
        case 2: {  // release a static or dynamic number
            int32_t number = small;
            if (!dynamic.empty() && (data[i + 1] & 0x80)) {
                size_t pick = value % dynamic.size();
                number = dynamic[pick];
                dynamic.erase(dynamic.begin() + static_cast<ptrdiff_t>(pick));
            }
            release_object(g_table, number);
            model.erase(number);
            break;
        }
        case 3: {  // look up numbers, including ones never handed out
            const int32_t probes[] = {small, -small - 2, FIRST_DYNAMIC_NUMBER + static_cast<int32_t>(value % 4096),
                                      static_cast<int32_t>(value)};
            for (int32_t number : probes) {
                auto* record = static_cast<Record*>(find_object(g_table, number));
                auto it = model.find(number);
                check((record != nullptr) == (it != model.end()));
                if (record) check(record->value == it->second);
            }
            break;
        }
        case 4: {  // enumerate: every live object once, static numbers ascending first
            begin_object_iteration(g_table);
            int32_t number = -1;
            int32_t last = -1;
            std::vector<int32_t> seen;
            while (Record* record = static_cast<Record*>(next_object(g_table, &number))) {
                seen.push_back(number);
                if (number < g_table->capacity) {
                    check(number > last);
                    last = number;
                } else {
                    check(record->handle != nullptr);
                }
            }
            check(seen.size() == model.size());
            for (int32_t n : seen) check(model.count(n) == 1);
            break;
        }
        default: {  // release everything through the free operation
            g_freed.clear();
            release_all_objects(g_table);
            check(g_freed.size() == model.size());
            model.clear();
            // Dynamic records stay allocated until released by number.
            for (int32_t number : dynamic) release_object(g_table, number);
            dynamic.clear();
            break;
        }
        }
    }
    release_all_objects(g_table);
    for (int32_t number : dynamic) release_object(g_table, number);
    check(g_table->dynamic_list == nullptr);
    for (int32_t slot = 0; slot < g_table->capacity; ++slot) main_free(g_table->slots[slot]);
    main_free(g_table->slots);
    main_free(g_table);
    return 0;
}
