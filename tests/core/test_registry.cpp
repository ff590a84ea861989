// Tests of the object registry: static slots, dynamic numbers, reuse of a
// number, enumeration order and release of everything.
#include <gtest/gtest.h>

#include <set>
#include <vector>

#include "fault_switch.h"
#include "heap.h"
#include "registry.h"

namespace {

struct TestRecord {
    void* handle;  // non-zero while the object exists
    int value;
};

ObjectTable* g_table = nullptr;
std::vector<int32_t> g_freed;

// The kind's free operation: remembers the number and clears the record.
void free_test_object(int32_t number)
{
    g_freed.push_back(number);
    release_object(g_table, number);
}

ObjectTable* fresh_table(int32_t growth_step, FreeOperation free_operation = free_test_object)
{
    g_freed.clear();
    g_table = create_object_table(sizeof(TestRecord), growth_step, free_operation);
    return g_table;
}

TestRecord* create(ObjectTable* table, int32_t number, int value, int32_t* dynamic = nullptr)
{
    auto* record = static_cast<TestRecord*>(obtain_object(table, number, dynamic));
    if (record) {
        record->handle = reinterpret_cast<void*>(0x1000 + value);
        record->value = value;
    }
    return record;
}

}  // namespace

TEST(Registry, StaticNumberBeyondCapacityGrowsTheSlotArray)
{
    ObjectTable* table = fresh_table(50);
    ASSERT_NE(table, nullptr);
    EXPECT_EQ(table->capacity, 50);
    ASSERT_NE(create(table, 60, 60), nullptr);
    EXPECT_EQ(table->capacity, 110);
    for (int32_t n = 0; n < 110; ++n) {
        if (n == 60) continue;
        EXPECT_EQ(find_object(table, n), nullptr) << "number " << n;
    }
    auto* found = static_cast<TestRecord*>(find_object(table, 60));
    ASSERT_NE(found, nullptr);
    EXPECT_EQ(found->value, 60);
}

TEST(Registry, ReusingANumberFreesTheOldObjectAndKeepsTheRecord)
{
    ObjectTable* table = fresh_table(16);
    TestRecord* first = create(table, 0, 1);
    ASSERT_NE(first, nullptr);
    EXPECT_TRUE(g_freed.empty());

    TestRecord* second = create(table, 0, 2);
    EXPECT_EQ(second, first);
    EXPECT_EQ(g_freed, std::vector<int32_t>{0});
    EXPECT_EQ(static_cast<TestRecord*>(find_object(table, 0))->value, 2);

    // Released: absent to lookups, yet the same record is reused next time,
    // without the free operation running on an object that no longer exists.
    release_object(table, 0);
    EXPECT_EQ(find_object(table, 0), nullptr);
    g_freed.clear();
    EXPECT_EQ(create(table, 0, 3), first);
    EXPECT_TRUE(g_freed.empty());
}

TEST(Registry, ObtainedRecordsAreZeroFilled)
{
    ObjectTable* table = fresh_table(4);
    TestRecord* record = create(table, 1, 5);
    ASSERT_NE(record, nullptr);
    auto* again = static_cast<TestRecord*>(obtain_object(table, 1));
    EXPECT_EQ(again->handle, nullptr);
    EXPECT_EQ(again->value, 0);
    auto* dynamic = static_cast<TestRecord*>(obtain_object(table, ANY_NUMBER));
    ASSERT_NE(dynamic, nullptr);
    EXPECT_EQ(dynamic->handle, nullptr);
    EXPECT_EQ(dynamic->value, 0);
}

TEST(Registry, DynamicObjectsAreFoundEnumeratedLastAndForgottenAfterRelease)
{
    ObjectTable* table = fresh_table(16);
    create(table, 3, 3);
    int32_t dynamic = 0;
    ASSERT_NE(create(table, ANY_NUMBER, 7, &dynamic), nullptr);
    EXPECT_NE(dynamic, ANY_NUMBER);
    EXPECT_GE(dynamic, table->capacity);
    EXPECT_EQ(static_cast<TestRecord*>(find_object(table, dynamic))->value, 7);

    // A static number far above the others still cannot reach a dynamic number.
    create(table, MAX_STATIC_NUMBER, 9);
    EXPECT_LT(table->capacity, FIRST_DYNAMIC_NUMBER);
    EXPECT_EQ(static_cast<TestRecord*>(find_object(table, dynamic))->value, 7);

    begin_object_iteration(table);
    std::vector<int32_t> order;
    int32_t number = -1;
    while (next_object(table, &number)) order.push_back(number);
    EXPECT_EQ(order, (std::vector<int32_t>{3, MAX_STATIC_NUMBER, dynamic}));

    release_object(table, dynamic);
    EXPECT_EQ(find_object(table, dynamic), nullptr);
}

TEST(Registry, NumbersThatNameNoObjectAnswerNone)
{
    ObjectTable* table = fresh_table(16);
    int32_t dynamic = 0;
    create(table, ANY_NUMBER, 1, &dynamic);
    // Never handed out: looked up, never read as an address.
    for (int32_t n : {-5, -1, INT32_MIN, 16, 1000, FIRST_DYNAMIC_NUMBER - 1, dynamic + 1, INT32_MAX})
        EXPECT_EQ(find_object(table, n), nullptr) << "number " << n;
    release_object(table, 12345678);  // nothing to release: no effect
    release_object(table, -9);
    EXPECT_NE(find_object(table, dynamic), nullptr);

    // Numbers that cannot name an object are refused, and the table is unchanged.
    EXPECT_EQ(obtain_object(table, -2), nullptr);
    EXPECT_EQ(obtain_object(table, MAX_STATIC_NUMBER + 1), nullptr);
    EXPECT_EQ(table->capacity, 16);
}

TEST(Registry, DynamicNumbersStayUniqueAcrossWrapAround)
{
    ObjectTable* table = fresh_table(16);
    int32_t first = 0;
    create(table, ANY_NUMBER, 1, &first);
    EXPECT_EQ(first, FIRST_DYNAMIC_NUMBER);
    // Force the counter to the top of the range: the next numbers wrap to the
    // bottom and skip the one still in use.
    table->last_dynamic_number = INT32_MAX - 1;
    std::set<int32_t> numbers{first};
    for (int i = 0; i < 3; ++i) {
        int32_t n = 0;
        ASSERT_NE(create(table, ANY_NUMBER, 10 + i, &n), nullptr);
        EXPECT_TRUE(numbers.insert(n).second) << "duplicate " << n;
        EXPECT_GE(n, FIRST_DYNAMIC_NUMBER);
    }
    EXPECT_EQ(numbers, (std::set<int32_t>{first, INT32_MAX, first + 1, first + 2}));
    for (int32_t n : numbers) EXPECT_NE(find_object(table, n), nullptr);
}

TEST(Registry, ReleaseAllFreesStaticAscendingThenDynamicOldestFirst)
{
    ObjectTable* table = fresh_table(16);
    int32_t older = 0, newer = 0;
    create(table, ANY_NUMBER, 1, &older);
    create(table, 2, 2);
    create(table, ANY_NUMBER, 3, &newer);
    create(table, 0, 4);
    create(table, 5, 5);
    release_object(table, 5);  // released objects are not freed again

    release_all_objects(table);
    EXPECT_EQ(g_freed, (std::vector<int32_t>{0, 2, older, newer}));
    EXPECT_EQ(find_object(table, 0), nullptr);
    EXPECT_EQ(find_object(table, older), nullptr);
    EXPECT_EQ(table->dynamic_list, nullptr);
}

TEST(Registry, AllocationFailuresLeaveTheTableAsItWas)
{
    ObjectTable* table = fresh_table(16);
    create(table, 1, 1);
    void** slots = table->slots;

    fail_allocation_after(0);  // the grown slot array
    EXPECT_EQ(obtain_object(table, 100), nullptr);
    EXPECT_EQ(table->capacity, 16);
    EXPECT_EQ(table->slots, slots);

    fail_allocation_after(1);  // the grown slot array succeeds, the record fails
    EXPECT_EQ(obtain_object(table, 100), nullptr);
    EXPECT_EQ(find_object(table, 100), nullptr);
    EXPECT_NE(find_object(table, 1), nullptr);

    fail_allocation_after(0);  // a dynamic node
    EXPECT_EQ(obtain_object(table, ANY_NUMBER), nullptr);
    EXPECT_EQ(table->dynamic_list, nullptr);
    fail_allocation_after(-1);
}

TEST(Registry, LibraryStateIsZeroFilledAndInitialised)
{
    struct State {
        int a;
        int b[8];
    };
    auto* state = static_cast<State*>(create_library_state(
        sizeof(State), [](void* s) { static_cast<State*>(s)->a = 42; }, nullptr));
    ASSERT_NE(state, nullptr);
    EXPECT_EQ(state->a, 42);
    for (int v : state->b) EXPECT_EQ(v, 0);
}
