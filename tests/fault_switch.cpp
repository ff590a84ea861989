// fault_switch.cpp: the fault points' switch, linked into every test program
// and fuzzer in place of the program's faults.cpp.
#include <atomic>

#include "fault_switch.h"

namespace {

struct FaultPointState {
    std::atomic<int64_t> calls{0};  // allocations come from several threads in some tests
    int32_t passes_left = -1;       // negative: switched off
    int32_t failures_left = 0;
};

FaultPointState g_points[static_cast<int32_t>(Fault::count)];

}  // namespace

bool fault_injected(Fault fault)
{
    FaultPointState& point = g_points[static_cast<int32_t>(fault)];
    point.calls.fetch_add(1, std::memory_order_relaxed);
    if (point.passes_left < 0) return false;
    if (point.passes_left > 0) {
        --point.passes_left;
        return false;
    }
    if (--point.failures_left <= 0) point.passes_left = -1;
    return true;
}

void fail_after(Fault fault, int32_t count, int32_t failures)
{
    FaultPointState& point = g_points[static_cast<int32_t>(fault)];
    point.passes_left = count < 0 || failures < 1 ? -1 : count;
    point.failures_left = failures;
}

void clear_faults()
{
    for (FaultPointState& point : g_points) {
        point.calls = 0;
        point.passes_left = -1;
        point.failures_left = 0;
    }
}

int32_t fault_calls(Fault fault)
{
    const int64_t calls = g_points[static_cast<int32_t>(fault)].calls.load(std::memory_order_relaxed);
    return calls > INT32_MAX ? INT32_MAX : static_cast<int32_t>(calls);
}

void fail_allocation_after(int count, int failures)
{
    fail_after(Fault::heap, count, failures);
}
