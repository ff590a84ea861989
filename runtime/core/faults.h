// faults.h: the points where an allocation or a platform call that can fail is
// made to fail on demand, so that the failure handling around it can be shown
// to work.
//
// The program links faults.cpp, whose answer is always "no". Test programs and
// fuzzers link tests/fault_switch.cpp instead, which defines the same function
// and a switch (tests/fault_switch.h) that exists only there.
#pragma once

#include <cstdint>

enum class Fault : int32_t {
    heap,                // heap_alloc and heap_realloc answer null
    create_dib_section,  // CreateDIBSection answers null
    create_file,         // CreateFileA (and fopen of a file to write) fails
    write_file,          // WriteFile fails having written nothing
    jpeg_write,          // the JPEG encoder's writes to its file fail
    replace_file,        // ReplaceFileA answers ERROR_CALL_NOT_IMPLEMENTED, as where it does not exist
    read_file,           // ReadFile fails having read nothing
    count
};

// True when the call at this point is to fail instead of being made.
bool fault_injected(Fault fault);
