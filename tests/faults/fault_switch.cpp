// fault_switch.cpp: the fault points' switch, linked into test programs in
// place of the program's faults.cpp.
#include "faults.h"

namespace {

struct FaultPointState {
    int32_t passes_left = -1;  // negative: switched off
    int32_t failures_left = 0;
    int32_t calls = 0;
};

FaultPointState g_points[static_cast<int32_t>(Fault::count)];

}  // namespace

bool fault_injected(Fault fault)
{
    FaultPointState& point = g_points[static_cast<int32_t>(fault)];
    ++point.calls;
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
    for (FaultPointState& point : g_points) point = FaultPointState{};
}

int32_t fault_calls(Fault fault)
{
    return g_points[static_cast<int32_t>(fault)].calls;
}
