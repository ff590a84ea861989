// test_main.cpp: starts the runtime the way the program does before running tests.
#include <gtest/gtest.h>

#include "heap.h"
#include "memory.h"
#include "strings.h"

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    if (!init_main_heap()) return 2;
    init_string_manager();
    init_memory_blocks();
    return RUN_ALL_TESTS();
}
