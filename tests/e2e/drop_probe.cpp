// drop_probe.cpp: a window that accepts dropped files, for the drag-and-drop
// test from a native X client. It prints "ready" once the window accepts
// drops, then the dropped list with its line feeds shown as "|", and ends; it
// gives up after a minute.
#include <windows.h>

#include <cstdio>

#include "drop.h"
#include "events.h"
#include "gadget.h"
#include "heap.h"
#include "memory.h"
#include "strings.h"
#include "window.h"

int main()
{
    if (!init_main_heap()) return 2;
    init_string_manager();
    init_memory_blocks();
    init_event_queue();
    init_window_library();
    init_gadgets();
    init_drop();
    if (!open_window(0, 300, 200, 400, 300, "Drop probe", WS_CAPTION | WS_SYSMENU)) return 2;
    enable_window_drop(0, CF_HDROP, DROPEFFECT_COPY);
    std::printf("ready\n");
    std::fflush(stdout);

    int result = 1;
    const ULONGLONG limit = GetTickCount64() + 60000;
    while (result && GetTickCount64() < limit) {
        if (wait_event_timeout(100) != EVENT_WINDOW_DROP) continue;
        int32_t position = string_position();
        event_drop_files(position);
        for (char* c = string_at(position); *c; ++c)
            if (*c == '\n') *c = '|';
        std::printf("dropped:%s\n", string_at(position));
        std::fflush(stdout);
        result = 0;
    }
    close_all_windows();
    end_drop();
    return result;
}
