// desktop_keeper.cpp: holds the Wine desktop open for a whole test run.
//
// Wine starts its desktop process (explorer.exe /desktop) for the first
// program that needs the desktop, and that process inherits the program's
// standard output and error. It ends two seconds after the last program using
// the desktop has gone. A test program that happened to start it would keep
// the test runner's pipes open for as long as other tests use the desktop,
// and the runner would wait for them until its timeout, long after the test
// has ended. tools/wine-env.sh starts this program first, with no inherited
// streams, so the desktop process is started here and lives until the run's
// server is stopped.
//
//   desktop_keeper.exe READY_FILE   creates READY_FILE once the desktop exists
#include <windows.h>

int main(int argc, char** argv)
{
    // Asking for the desktop window makes Wine start the desktop process and
    // attaches this one to the desktop.
    if (!GetDesktopWindow()) return 1;
    if (argc > 1) {
        HANDLE ready = CreateFileA(argv[1], GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (ready != INVALID_HANDLE_VALUE) CloseHandle(ready);
    }
    Sleep(INFINITE);
    return 0;
}
