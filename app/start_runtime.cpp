// start_runtime.cpp: the runtime libraries initialised in the program's fixed
// start-up order; the program and its benchmarks start the same way.
#include "drawing.h"
#include "drop.h"
#include "events.h"
#include "files.h"
#include "gadget.h"
#include "images.h"
#include "memory.h"
#include "menus.h"
#include "requesters.h"
#include "save.h"
#include "strings.h"
#include "viewer.h"
#include "window.h"

void start_runtime()
{
    init_string_manager();
    init_image_plugins();
    init_graphics_helpers();
    init_images();
    init_drawing();
    init_event_queue();
    init_window_library();
    init_gadgets();
    init_drop();
    init_files();
    init_memory_blocks();
    init_menu_library();
    init_requesters();
}
