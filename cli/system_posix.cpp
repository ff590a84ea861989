// system_posix.cpp: arguments and console output on POSIX systems, where
// arguments and file names are bytes and passed through as they are.
#include <unistd.h>

#include <cstdio>

#include "system.h"

std::vector<std::string> program_arguments(int argc, char** argv)
{
    return std::vector<std::string>(argv, argv + argc);
}

void write_out(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stdout);
    std::fflush(stdout);
}

void write_error(const std::string& text)
{
    std::fwrite(text.data(), 1, text.size(), stderr);
}

bool error_is_terminal()
{
    return isatty(2) != 0;
}
