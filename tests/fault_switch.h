// fault_switch.h: the switch of the fault points (faults.h), which exists only
// in test programs and fuzzers: they link fault_switch.cpp in place of the
// program's faults.cpp.
#pragma once

#include <cstdint>

#include "faults.h"

// After `count` more calls at the point pass, the next `failures` calls fail.
// A negative count switches the point off.
void fail_after(Fault fault, int32_t count, int32_t failures = 1);
// Switches every point off.
void clear_faults();
// How many calls reached the point since the last clear_faults.
int32_t fault_calls(Fault fault);

// The heap's point: after `count` more successful allocations (0: none), the
// next `failures` allocations fail. A negative count switches the failures off.
void fail_allocation_after(int count, int failures = 1);
