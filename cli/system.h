// system.h: what the command line needs of the operating system beyond
// reading and writing files: its arguments as UTF-8, messages to the
// console, folders and full paths, error texts.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

// The program's arguments as UTF-8 (on Windows read through the
// wide-character interface, so that any name the system allows arrives).
std::vector<std::string> program_arguments(int argc, char** argv);

// Writes UTF-8 text to standard output or standard error; a Windows console
// is given the text as wide characters so that every name shows as typed.
void write_out(const std::string& text);
void write_error(const std::string& text);

// Makes the folder `path` unless it is one already; its parent must exist.
// False, with `why`, when it cannot (a missing parent, a file of that name).
bool make_folder(const std::string& path, std::string& why);

// The full form of `path` from the current folder, with "." and ".." worked
// out by name and forward slashes: "/home/me/out", "C:/out", "//server/share".
std::string full_path(const std::string& path);

// Whether `a` and `b` name the same existing file (through links or other
// names too).
bool same_file(const std::string& a, const std::string& b);

// A new temporary file for reading and writing, removed when it is closed
// or the program ends. Null, with `why`, when none can be made.
std::FILE* temporary_file(std::string& why);

// Whether standard error is a terminal (for progress reports).
bool error_is_terminal();

// A file that shrinks while it is mapped cannot be read to its old end: the
// system then stops the program at the read. Once armed, that stop becomes
// "bitloupe-cli: FILE: the file shrank while it was read" on standard error,
// the removal of the output's temporary file (if any) and exit code 1.
void arm_read_fault_report(const std::string& file);
// The temporary file to remove in that case, or when the program is
// interrupted (empty: none).
void set_pending_output(const std::string& temporary);

// Ctrl-C, SIGTERM and SIGHUP (a closed terminal) on POSIX; Ctrl-C, Ctrl-Break
// and a closed console window on Windows: the temporary output is removed (a
// target it was to replace stays as it was), "bitloupe-cli: interrupted" is
// written to standard error and the program ends with 128 + the signal's
// number (130 for Ctrl-C), or on Windows with STATUS_CONTROL_C_EXIT. A crash
// likewise removes the temporary output and says "bitloupe-cli: crashed",
// then ends as a crash does (the signal again on POSIX; the exception's code
// on Windows, where Wine would otherwise at times end a crashed program with
// exit code 0).
void arm_interruption_report();

// Whether everything written to standard output got there (a full disk, a
// closed pipe do not); false, with `why`, when it did not.
bool standard_output_written(std::string& why);

// Opens `address` in the default browser (xdg-open; the shell on Windows)
// and returns at once; false, with `why`, when it could not be started.
bool open_in_browser(const std::string& address, std::string& why);

// Ends the program as a crash does, for the tests of the crash report.
[[noreturn]] void crash_here();

// Where the work may be made to fail, for the tests of what the program
// does then: BITLOUPE_FAULT=memory throws std::bad_alloc, as when memory
// runs out; =library a std::length_error, as when a library gives up;
// =crash crashes.
inline void fault_point()
{
    static const std::string fault = [] {
        const char* value = std::getenv("BITLOUPE_FAULT");
        return std::string(value ? value : "");
    }();
    if (fault == "memory") throw std::bad_alloc();
    if (fault == "library") throw std::length_error("a library gave up (BITLOUPE_FAULT=library)");
    if (fault == "crash") crash_here();
}

#ifdef _WIN32
// A UTF-8 path as the wide-character interfaces take it.
std::wstring wide_path(const std::string& path);
// A wide-character path as UTF-8.
std::string utf8_path(const std::wstring& path);
// The system's words for an error code, without the trailing line break.
std::string system_error_text(unsigned long code);
#endif
