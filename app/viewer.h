// viewer.h: the viewer's own state, its constants and the layout of the main
// window (gadgets and menu) as tables that start-up walks.
#pragma once

#include <cstdint>

#include "standard_gadgets.h"
#include "view.h"

// --- Constants ------------------------------------------------------------------

constexpr int32_t DEFAULT_GRID_SIZE = 8;
constexpr int32_t GRID_SIZE_MIN = 1;
constexpr int32_t GRID_SIZE_MAX = 25;
constexpr int32_t MAIN_WINDOW = 0;
constexpr int32_t MAIN_WINDOW_WIDTH = 660;   // requested client size
constexpr int32_t MAIN_WINDOW_HEIGHT = 600;

// The largest file part that one memory block holds.
constexpr int64_t MAX_DATA_LENGTH = 2147483647;

// Gadget numbers (3 and 13 are not used).
constexpr int32_t GADGET_CANVAS = 0;
constexpr int32_t GADGET_ROW = 1;          // vertical scroll bar: first row shown
constexpr int32_t GADGET_WIDTH = 2;        // horizontal scroll bar: bytes per row
constexpr int32_t GADGET_GRID = 4;
constexpr int32_t GADGET_MULTI_COLUMNS = 5;
constexpr int32_t GADGET_OFFSET_LABEL = 6;
constexpr int32_t GADGET_OFFSET = 7;
constexpr int32_t GADGET_GRID_X_LABEL = 8;
constexpr int32_t GADGET_GRID_X = 9;
constexpr int32_t GADGET_GRID_Y_LABEL = 10;
constexpr int32_t GADGET_GRID_Y = 11;
constexpr int32_t GADGET_INVERT = 12;
constexpr int32_t GADGET_ALIGN_TO_GRID = 14;

// Menu item numbers.
constexpr int32_t MENU_OPEN = 1;
constexpr int32_t MENU_SAVE_IMAGE = 2;
constexpr int32_t MENU_SAVE_BINARY = 3;
constexpr int32_t MENU_QUIT = 4;
constexpr int32_t MENU_ZOOM_1 = 5;
constexpr int32_t MENU_ZOOM_2 = 6;
constexpr int32_t MENU_ZOOM_8 = 7;

// Sub-type of a gadget event when the user changed a text field (EN_CHANGE).
constexpr int32_t TEXT_CHANGED = 0x300;

// --- State ----------------------------------------------------------------------

struct ViewerState {
    uint8_t* data;         // the loaded bytes (a memory block), or null
    int32_t data_length;   // bytes in data; 0 when nothing is loaded
    int32_t sprsize;       // bytes per row used by the last redraw
    int32_t zoom;          // 1, 2 or 8
    bool quit_requested;
};

extern ViewerState g_viewer;

// --- Layout tables --------------------------------------------------------------

enum class GadgetType { canvas, scroll_bar, check_box, text, spin };

// One gadget of the main window. For scroll bars first/second/third are the
// minimum, maximum and page length; for spins the minimum and maximum.
struct GadgetLayout {
    int32_t number;
    GadgetType type;
    int32_t x, y, width, height;
    int32_t first, second, third;
    int32_t flags;
    const char* text;
    bool grid_size;  // starts at DEFAULT_GRID_SIZE, value and text
};

// In creation order.
inline constexpr GadgetLayout GADGET_LAYOUT[] = {
    {GADGET_CANVAS, GadgetType::canvas, 0, 0, VIEW_WIDTH, VIEW_HEIGHT, 0, 0, 0, 0, nullptr, false},
    {GADGET_WIDTH, GadgetType::scroll_bar, 0, 500, 640, 17, 1, 96, 16, 0, nullptr, false},
    {GADGET_ROW, GadgetType::scroll_bar, 641, 0, 14, 470, 0, 481, 32, SCROLL_BAR_VERTICAL, nullptr, false},
    {GADGET_GRID, GadgetType::check_box, 0, 520, 80, 20, 0, 0, 0, 0, "Grid", false},
    {GADGET_INVERT, GadgetType::check_box, 0, 540, 80, 20, 0, 0, 0, 0, "Invert", false},
    {GADGET_MULTI_COLUMNS, GadgetType::check_box, 80, 520, 80, 20, 0, 0, 0, 0, "MultiColumns", false},
    {GADGET_ALIGN_TO_GRID, GadgetType::check_box, 80, 540, 80, 20, 0, 0, 0, 0, "Align to grid", false},
    {GADGET_OFFSET_LABEL, GadgetType::text, 160, 520, 80, 20, 0, 0, 0, TEXT_RIGHT, "offset", false},
    {GADGET_OFFSET, GadgetType::spin, 240, 520, 80, 20, 0, 1, 0, 0, nullptr, false},
    {GADGET_GRID_X_LABEL, GadgetType::text, 320, 520, 80, 20, 0, 0, 0, TEXT_RIGHT, "grid sizeX", false},
    {GADGET_GRID_X, GadgetType::spin, 400, 520, 80, 20, 1, 25, 0, SPIN_NUMERIC, nullptr, true},
    {GADGET_GRID_Y_LABEL, GadgetType::text, 320, 540, 80, 20, 0, 0, 0, TEXT_RIGHT, "grid sizeY", false},
    {GADGET_GRID_Y, GadgetType::spin, 400, 540, 80, 20, 1, 25, 0, SPIN_NUMERIC, nullptr, true},
};

enum class MenuStep { title, item, separator, close_submenu };

struct MenuLayout {
    MenuStep step;
    int32_t item;
    const char* text;
};

// The menu bar: "Project" with its pull-down, then the zoom entries in the bar.
inline constexpr MenuLayout MENU_LAYOUT[] = {
    {MenuStep::title, 0, "Project"},
    {MenuStep::item, MENU_OPEN, "Open.."},
    {MenuStep::item, MENU_SAVE_IMAGE, "Save image.."},
    {MenuStep::item, MENU_SAVE_BINARY, "Save binary.."},
    {MenuStep::separator, 0, nullptr},
    {MenuStep::item, MENU_QUIT, "Quit"},
    {MenuStep::close_submenu, 0, nullptr},
    {MenuStep::item, MENU_ZOOM_1, "x1"},
    {MenuStep::item, MENU_ZOOM_2, "x2"},
    {MenuStep::item, MENU_ZOOM_8, "x8"},
};

// --- Operations -----------------------------------------------------------------

// Initialises the runtime libraries in the program's start-up order (the main
// heap must exist already).
void start_runtime();
// Opens the main window with its menu and gadgets; false when the window
// cannot be opened.
bool open_main_window();
// Sets a gadget's text to a number.
void set_number_text(int32_t gadget, int32_t value);
// Draws the whole view from the gadget states and sets the window title.
void redraw_view();

enum class LoadResult {
    loaded,          // the file's bytes are the data (none for an empty file)
    nothing_loaded,  // no such file, or no memory for it ("Not enough memory to load the file!")
    cannot_read,     // the file exists but gave no byte ("Couldn't open the file!"); the program ends
};

// Replaces the loaded data with the file at `path` and resets the scroll bars
// (not after cannot_read: the caller ends the program with exit code 1).
LoadResult load_file(const char* path);

void save_binary();
void save_image_file();

// The end sequence: releases the data, shuts the runtime down, ends the process.
[[noreturn]] void end_program(int32_t exit_code);
