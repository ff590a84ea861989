// fuzz_string_stack.cpp: random sequences of string-stack operations against
// a std::string model of the stack and of a few string variables.
//
// Each run starts from a small stack at position 0 and performs operations
// chosen by the input: pieces appended to an expression (text, variables,
// numbers, substrings and fields, texts already on the stack), results
// written over an earlier part of the expression, storing an expression into
// a variable, assigning variables, moving the position back. Long pieces make
// the stack grow and move in the middle of an expression. Now and then the
// allocation hook is armed; the model counts the allocations the operations
// make and expects the documented fallback wherever one fails: an operation
// writes the empty result where its result would go and keeps the buffer, an
// append keeps what was already built, a variable whose allocation fails is
// null. After every operation the whole stack and every variable is compared.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "fault_switch.h"
#include "heap.h"
#include "strings.h"
#include "string_models.h"

namespace {

constexpr int kVariables = 4;
// Keeps runs quick: pieces stop growing the expression beyond this.
constexpr size_t kStackLimit = 200000;

void check(bool condition)
{
    if (!condition) std::abort();
}

// The allocation hook as heap.h describes it: after `count` successful
// allocations the next `failures` fail.
struct HookModel {
    int count = -1;
    int failures = 0;

    void arm(int new_count, int new_failures)
    {
        fail_allocation_after(new_count, new_failures);
        count = new_count < 0 || new_failures < 1 ? -1 : new_count;
        failures = new_failures;
    }
    // One allocation is made: true when it fails.
    bool allocation_fails()
    {
        if (count < 0) return false;
        if (count == 0) {
            if (--failures <= 0) count = -1;
            return true;
        }
        --count;
        return false;
    }
};

struct Model {
    std::string stack;         // the bytes below the position
    bool terminated = true;    // a zero byte sits at the position
    std::optional<std::string> variables[kVariables];  // nullopt: null
    StringVar real[kVariables] = {};
    HookModel hook;

    int32_t position() const { return static_cast<int32_t>(stack.size()); }

    void compare() const
    {
        check(string_position() == position());
        check(std::memcmp(string_at(0), stack.data(), stack.size()) == 0);
        if (terminated) check(*string_at(position()) == '\0');
        for (int i = 0; i < kVariables; ++i) {
            if (!variables[i]) {
                check(real[i] == nullptr);
            } else {
                check(real[i] != nullptr);
                check(std::strlen(real[i]) == variables[i]->size());
                check(std::memcmp(real[i], variables[i]->data(), variables[i]->size()) == 0);
            }
        }
    }

    // Whether a reservation of `count` bytes at `at` has to grow the stack
    // (and so allocates) and whether that allocation fails.
    bool reservation_fails(int32_t count, int32_t at)
    {
        if (count <= 0) return false;
        bool grows = static_cast<int64_t>(at) + count >= static_cast<int64_t>(g_string_manager.capacity) - 4;
        return grows && hook.allocation_fails();
    }

    // Runs an operation that writes `expected` at `at`, reserving `reserved`
    // bytes first, and checks its result or its documented fallback.
    template <typename Operation>
    void write_result(Operation operation, const std::string& expected, int32_t reserved, int32_t at)
    {
        char* buffer = g_string_manager.stack;
        int32_t capacity = g_string_manager.capacity;
        bool fails = reservation_fails(reserved, at);
        operation();
        stack.resize(static_cast<size_t>(at));
        if (fails) {
            check(g_string_manager.stack == buffer && g_string_manager.capacity == capacity);
        } else {
            stack += expected;
        }
        terminated = true;
    }
};

// Small values are the interesting ones; now and then any 32-bit value.
int32_t pick_int(FuzzedDataProvider& input)
{
    if (input.ConsumeIntegralInRange<int>(0, 7) == 0) return input.ConsumeIntegral<int32_t>();
    return input.ConsumeIntegralInRange<int32_t>(-3, 40);
}

// A text without zero bytes: short from the input, or long and repetitive so
// that the stack has to grow.
std::string pick_text(FuzzedDataProvider& input)
{
    if (input.ConsumeIntegralInRange<int>(0, 9) == 0) {
        auto length = input.ConsumeIntegralInRange<size_t>(1, 40000);
        return std::string(length, static_cast<char>(input.ConsumeIntegralInRange<int>('a', 'z')));
    }
    std::string text = input.ConsumeRandomLengthString(24);
    text.resize(std::strlen(text.c_str()));
    return text;
}

// Puts the stack back to its starting size (see fuzz_string_ops.cpp), so that
// every run grows and moves it again.
void shrink_stack()
{
    StringManager& m = g_string_manager;
    if (m.capacity > 16) {
        auto* smaller = static_cast<char*>(heap_realloc(m.heap, m.stack, 16 + 5));
        check(smaller != nullptr);
        m.stack = smaller;
        m.capacity = 16;
    }
    set_string_position(0);
}

// A source text for an operation: a literal, null, a variable (possibly null)
// or a text already on the stack, which the operation must find again if the
// stack moves under it.
struct Source {
    enum Kind { LITERAL, NONE, VARIABLE, STACK } kind = NONE;
    std::string literal;
    const char* given = nullptr;  // a variable's storage or a place on the stack
    std::string value;            // the text the model expects the pointer to hold

    const char* pointer() const { return kind == LITERAL ? literal.c_str() : given; }
};

Source pick_source(FuzzedDataProvider& input, const Model& model)
{
    Source source;
    int kind = input.ConsumeIntegralInRange<int>(0, 6);
    if (kind <= 1 && model.terminated) {
        auto offset = input.ConsumeIntegralInRange<int32_t>(0, model.position());
        source.kind = Source::STACK;
        source.given = string_at(offset);
        source.value = model.stack.substr(static_cast<size_t>(offset));
    } else if (kind <= 3) {
        int v = input.ConsumeIntegralInRange<int>(0, kVariables - 1);
        source.kind = Source::VARIABLE;
        source.given = model.real[v];
        if (model.variables[v]) source.value = *model.variables[v];
    } else if (kind == 4) {
        source.kind = Source::NONE;
    } else {
        source.kind = Source::LITERAL;
        source.literal = pick_text(input);
        source.value = source.literal;
    }
    return source;
}

// Where a result goes: usually at the position, sometimes over an earlier
// part of the expression (the position then moves back to its end).
int32_t pick_destination(FuzzedDataProvider& input, const Model& model)
{
    if (!model.terminated || input.ConsumeIntegralInRange<int>(0, 3) != 0) return model.position();
    return input.ConsumeIntegralInRange<int32_t>(0, model.position());
}

void run_operation(FuzzedDataProvider& input, Model& model, std::vector<int32_t>& marks)
{
    switch (input.ConsumeIntegralInRange<int>(0, 11)) {
    case 0: {  // the start of a new expression
        marks.push_back(model.position());
        break;
    }
    case 1: {  // append a literal, null, a variable or a text on the stack
        Source source = pick_source(input, model);
        if (model.stack.size() + source.value.size() > kStackLimit) break;
        model.write_result([&] { append_string(source.pointer()); }, source.value,
                           static_cast<int32_t>(source.value.size()), model.position());
        break;
    }
    case 2: {  // a 32-bit number
        int32_t value = pick_int(input);
        int32_t at = pick_destination(input, model);
        model.write_result([&] { long_to_text(value, at); }, std::to_string(value), 32, at);
        break;
    }
    case 3: {  // a 64-bit number
        int64_t value = input.ConsumeBool() ? input.ConsumeIntegral<int64_t>() : pick_int(input);
        int32_t at = pick_destination(input, model);
        bool wide = value < INT32_MIN || value > INT32_MAX;
        model.write_result([&] { quad_to_text(value, at); }, std::to_string(value), wide ? 64 : 32, at);
        break;
    }
    case 4:
    case 5: {  // a substring or a field of a source
        Source source = pick_source(input, model);
        bool field = input.ConsumeBool();
        int32_t start = pick_int(input);
        int32_t length = pick_int(input);
        char separator = input.ConsumeIntegralInRange<int>(0, 3) == 0 ? '\0' : input.ConsumeIntegral<char>();
        const char separator_text[2] = {separator, '\0'};
        int32_t at = pick_destination(input, model);
        std::string expected = field ? reference_field(source.value, start, separator)
                                     : reference_substring(source.value, start, length);
        if (static_cast<size_t>(at) + expected.size() > kStackLimit) break;
        model.write_result([&] {
            if (field) string_field(source.pointer(), start, separator_text, at);
            else substring(source.pointer(), start, length, at);
        }, expected, static_cast<int32_t>(expected.size()), at);
        break;
    }
    case 6: {  // store the expression begun at the last mark (or anywhere)
        int v = input.ConsumeIntegralInRange<int>(0, kVariables - 1);
        int32_t start = 0;
        if (!marks.empty()) {
            start = marks.back();
            marks.pop_back();
        }
        if (input.ConsumeIntegralInRange<int>(0, 7) == 0)
            start = model.position() + 1 + input.ConsumeIntegralInRange<int32_t>(0, 3);
        if (start > model.position()) {
            // Not an expression on the stack: the variable becomes empty.
            store_string(&model.real[v], start);
            model.variables[v].reset();
            break;
        }
        std::string value = model.stack.substr(static_cast<size_t>(start));
        store_string(&model.real[v], start);
        if (model.hook.allocation_fails()) model.variables[v].reset();
        else model.variables[v] = value;
        model.stack.resize(static_cast<size_t>(start));
        model.terminated = false;
        break;
    }
    case 7: {  // assign a literal, null, a variable, a tail of itself or a stack text
        int v = input.ConsumeIntegralInRange<int>(0, kVariables - 1);
        Source source;
        if (model.variables[v] && input.ConsumeIntegralInRange<int>(0, 2) == 0) {
            auto skip = input.ConsumeIntegralInRange<size_t>(0, model.variables[v]->size());
            source.kind = Source::VARIABLE;
            source.given = model.real[v] + skip;
            source.value = model.variables[v]->substr(skip);
        } else {
            source = pick_source(input, model);
        }
        const char* text = source.pointer();
        int32_t result = assign_string(&model.real[v], text);
        if (text && !model.hook.allocation_fails()) {
            check(result == static_cast<int32_t>(source.value.size()) + 1);
            model.variables[v] = source.value;
        } else {
            // Null text, or the allocation failed: the variable is null.
            check(result == 1);
            model.variables[v].reset();
        }
        break;
    }
    case 8: {  // back to an earlier place; offsets outside the buffer are ignored
        if (input.ConsumeIntegralInRange<int>(0, 5) == 0) {
            int32_t beyond = 1 + input.ConsumeIntegralInRange<int32_t>(0, 5);
            int32_t wrong = input.ConsumeBool() ? -beyond : g_string_manager.capacity + beyond;
            set_string_position(wrong);
            break;
        }
        int32_t offset = marks.empty() || input.ConsumeBool()
                             ? input.ConsumeIntegralInRange<int32_t>(0, model.position())
                             : marks.back();
        set_string_position(offset);
        model.stack.resize(static_cast<size_t>(offset));
        model.terminated = true;
        break;
    }
    case 9: {  // give back the top of the stack
        auto count = input.ConsumeIntegralInRange<int32_t>(0, model.position() + 3);
        release_string_space(count);
        model.stack.resize(count > model.position() ? 0 : static_cast<size_t>(model.position() - count));
        model.terminated = false;
        break;
    }
    case 10: {  // arm the allocation hook for one or a few failures
        model.hook.arm(input.ConsumeIntegralInRange<int>(0, 3), input.ConsumeIntegralInRange<int>(1, 3));
        break;
    }
    case 11: {  // places on the stack are found, others are not
        auto offset = input.ConsumeIntegralInRange<int32_t>(0, model.position());
        check(string_stack_offset(string_at(offset)) == offset + 1);
        check(string_stack_offset(string_at(model.position()) + 1) == 0);
        check(string_stack_offset(nullptr) == 0);
        for (int v = 0; v < kVariables; ++v)
            if (model.real[v]) check(string_stack_offset(model.real[v]) == 0);
        break;
    }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    static bool initialised = false;
    if (!initialised) {
        init_main_heap();
        init_string_manager();
        initialised = true;
    }
    FuzzedDataProvider input(data, size);
    shrink_stack();
    Model model;
    std::vector<int32_t> marks;
    model.compare();
    while (input.remaining_bytes() > 0) {
        run_operation(input, model, marks);
        while (!marks.empty() && marks.back() > model.position()) marks.pop_back();
        model.compare();
    }
    model.hook.arm(-1, 0);
    for (StringVar& variable : model.real) free_string(variable);
    set_string_position(0);
    return 0;
}
