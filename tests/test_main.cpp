// test_main.cpp: starts the runtime the way the program does before running tests.
#include <gtest/gtest.h>

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#endif

#include "heap.h"
#include "memory.h"
#include "strings.h"

#ifdef _WIN32
namespace {

// A crash fails the test program with exit code 3. Left to Wine, an unhandled
// exception starts its debugger, after which the process sometimes ends with
// exit code 0, and the crashed test would count as passed.
LONG WINAPI end_on_crash(EXCEPTION_POINTERS* exception)
{
    std::fprintf(stderr, "crashed: exception 0x%08lx at %p\n", exception->ExceptionRecord->ExceptionCode,
                 exception->ExceptionRecord->ExceptionAddress);
    std::fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
    return EXCEPTION_EXECUTE_HANDLER;
}

}  // namespace
#endif

int main(int argc, char** argv)
{
#ifdef _WIN32
    SetUnhandledExceptionFilter(end_on_crash);
#endif
    testing::InitGoogleTest(&argc, argv);
    if (!init_main_heap()) return 2;
    init_string_manager();
    init_memory_blocks();
    return RUN_ALL_TESTS();
}
