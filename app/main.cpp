// main.cpp: program entry, start-up, the event loop and the end sequence.
#include <windows.h>

#include "canvas.h"
#include "drawing.h"
#include "drop.h"
#include "events.h"
#include "files.h"
#include "heap.h"
#include "images.h"
#include "memory.h"
#include "menus.h"
#include "requesters.h"
#include "save.h"
#include "standard_gadgets.h"
#include "strings.h"
#include "viewer.h"
#include "window.h"

ViewerState g_viewer;

namespace {

constexpr char LINE_FEED[] = "\n";
constexpr WPARAM END_KEY = 0x23;

// The value a spin's event stands for: its text when the user changed the
// text, else its current value.
int32_t spin_candidate(int32_t gadget)
{
    if (event_type() != TEXT_CHANGED) return get_gadget_state(gadget);
    StringMark mark;
    get_gadget_text(gadget, mark.position());
    return static_cast<int32_t>(text_to_number(string_at(mark.position())));
}

// Writes the cleaned value back and puts the caret after its last character.
void set_spin(int32_t gadget, int32_t value)
{
    set_gadget_state(gadget, value);
    set_number_text(gadget, value);
    if (HWND field = gadget_handle(gadget)) SendMessageA(field, WM_KEYDOWN, END_KEY, 0);
}

void clean_grid_size(int32_t gadget)
{
    int32_t value = spin_candidate(gadget);
    if (value == 0) value = GRID_SIZE_MIN;
    if (value > GRID_SIZE_MAX) value = GRID_SIZE_MAX;
    set_spin(gadget, value);
}

void clean_offset()
{
    int32_t limit = get_gadget_state(GADGET_WIDTH);
    int32_t value = spin_candidate(GADGET_OFFSET);
    if (value > limit) value = limit;
    set_spin(GADGET_OFFSET, value);
}

void change_width()
{
    int32_t width = get_gadget_state(GADGET_WIDTH);
    set_gadget_attribute(GADGET_OFFSET, SPIN_MINIMUM, -width);
    set_gadget_attribute(GADGET_OFFSET, SPIN_MAXIMUM, width);
    set_gadget_text(GADGET_OFFSET, "0");
    set_gadget_state(GADGET_OFFSET, 0);
}

// Each returns false when the program is to end: the file given could not be read.
bool on_drop()
{
    StringVar path = nullptr;
    {
        StringMark mark;
        event_drop_files(mark.position());
        const int32_t field = string_position();
        string_field(string_at(mark.position()), 1, LINE_FEED, field);
        assign_string(&path, string_at(field));
    }
    const LoadResult loaded = load_file(path);
    free_string(path);
    if (loaded == LoadResult::cannot_read) return false;
    redraw_view();
    return true;
}

void on_gadget()
{
    switch (event_gadget()) {
    case GADGET_GRID:
    case GADGET_MULTI_COLUMNS:
    case GADGET_INVERT:
    case GADGET_ALIGN_TO_GRID:
    case GADGET_ROW:
        redraw_view();
        break;
    case GADGET_GRID_X:
    case GADGET_GRID_Y:
        clean_grid_size(event_gadget());
        redraw_view();
        break;
    case GADGET_OFFSET:
        clean_offset();
        redraw_view();
        break;
    case GADGET_WIDTH:
        change_width();
        redraw_view();
        break;
    default:
        break;
    }
}

bool open_requested()
{
    StringVar path = nullptr;
    {
        StringMark mark;
        open_file_requester("Please choose file to load", "", "Any(*.*)", 0, mark.position());
        assign_string(&path, string_at(mark.position()));
    }
    // A cancelled dialog gives no path and changes nothing.
    const bool chosen = path && path[0];
    const LoadResult loaded = chosen ? load_file(path) : LoadResult::nothing_loaded;
    free_string(path);
    if (loaded == LoadResult::cannot_read) return false;
    if (chosen) redraw_view();
    return true;
}

void set_zoom(int32_t zoom)
{
    g_viewer.zoom = zoom;
    redraw_view();
}

// False when the program is to end with exit code 1.
bool on_menu()
{
    switch (event_menu()) {
    case MENU_OPEN: return open_requested();
    case MENU_SAVE_IMAGE: save_image_file(); break;
    case MENU_SAVE_BINARY: save_binary(); break;
    case MENU_QUIT: g_viewer.quit_requested = true; break;
    case MENU_ZOOM_1: set_zoom(1); break;
    case MENU_ZOOM_2: set_zoom(2); break;
    case MENU_ZOOM_8: set_zoom(8); break;
    default: break;
    }
    return true;
}

// Runs until the user quits (exit code 0) or gives a file that cannot be
// read (exit code 1); returns the exit code.
int32_t event_loop()
{
    for (;;) {
        int32_t code = wait_event();
        g_viewer.quit_requested = false;
        bool going_on = true;
        switch (code) {
        case EVENT_WINDOW_DROP: going_on = on_drop(); break;
        case EVENT_GADGET: on_gadget(); break;
        case EVENT_MENU: going_on = on_menu(); break;
        default: break;
        }
        if (!going_on) return 1;
        if (code == EVENT_CLOSE || g_viewer.quit_requested) return 0;
    }
}

}  // namespace

void end_program(int32_t exit_code)
{
    if (g_viewer.data) {
        free_memory(g_viewer.data);
        g_viewer.data = nullptr;
        g_viewer.data_length = 0;
    }
    end_memory_blocks();
    end_files();
    end_drop();
    end_gadgets();
    close_all_windows();
    free_all_images();
    end_graphics_helpers();
    end_main_heap();
    ExitProcess(static_cast<UINT>(exit_code));
}

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    g_viewer = ViewerState{};
    if (!init_main_heap()) return 0;

    start_runtime();

    g_viewer.sprsize = 1;
    g_viewer.zoom = 1;

    if (!open_main_window()) end_program(0);
    enable_window_drop(MAIN_WINDOW, CF_HDROP, DROPEFFECT_COPY);
    redraw_view();

    end_program(event_loop());
}
