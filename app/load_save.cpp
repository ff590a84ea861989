// load_save.cpp: loading a file into memory, saving a byte range of it and
// saving the picture on the canvas as a JPEG image.
#include <windows.h>

#include <cstring>

#include "canvas.h"
#include "drawing.h"
#include "files.h"
#include "images.h"
#include "memory.h"
#include "requesters.h"
#include "save.h"
#include "standard_gadgets.h"
#include "strings.h"
#include "viewer.h"

namespace {

constexpr int32_t READ_FILE = 0;
constexpr int32_t BINARY_FILE = 2;
constexpr int32_t VIEW_IMAGE = 1;

// A message made of a fixed text followed by a path.
int32_t message_with_path(const char* title, const char* text, const char* path, int32_t flags)
{
    StringMark mark;
    append_string(text);
    append_string(path);
    return message_requester(title, string_at(mark.position()), flags);
}

// Makes the folder of `path` (up to its last backslash) the current directory.
void enter_folder_of(const char* path)
{
    int32_t length = string_length(path);
    int32_t cut = length;
    while (cut > 0 && path[cut - 1] != '\\') --cut;
    if (cut == 0) return;
    StringMark mark;
    substring(path, 1, cut, mark.position());
    set_current_directory(string_at(mark.position()));
}

void release_data()
{
    free_memory(g_viewer.data);
    g_viewer.data = nullptr;
    g_viewer.data_length = 0;
}

// Asks for a path to save to. Returns it as a string variable the caller
// frees, or null when the user cancelled or declined to replace a file.
StringVar choose_save_path(const char* title, const char* pattern, const char* extension,
                           const char* overwrite_title)
{
    StringVar path = nullptr;
    {
        StringMark mark;
        current_directory(mark.position());
        const int32_t answer = string_position();
        save_file_requester(title, string_at(mark.position()), pattern, 0, answer);
        assign_string(&path, string_at(answer));
    }
    if (!path || !path[0]) {
        free_string(path);
        return nullptr;
    }
    if (selected_pattern() == 0) {
        StringMark mark;
        append_string(path);
        append_string(extension);
        assign_string(&path, string_at(mark.position()));
    }
    if (file_size(path) != FILE_SIZE_MISSING &&
        message_with_path(overwrite_title, "Overwrite this file? ", path, MB_YESNO) != IDYES) {
        free_string(path);
        return nullptr;
    }
    return path;
}

// Writes `count` bytes of the data from `start` on, complemented when
// `invert`, to a temporary file and moves it over `path` when complete.
// Positions outside the data are not written. Returns false on any failure;
// the target is then as it was.
bool write_binary(const char* path, int64_t start, int32_t count, bool invert)
{
    char temporary[MAX_PATH];
    if (!begin_replacement(path, temporary)) return false;
    bool written = create_file(BINARY_FILE, temporary) != 0;
    int64_t first = start < 0 ? 0 : start;
    int64_t end = start + count < g_viewer.data_length ? start + count : g_viewer.data_length;
    for (int64_t position = first; written && position < end; ++position) {
        int32_t value = peek_byte(g_viewer.data + position);
        if (invert) value = 255 - value;
        if (!write_byte(BINARY_FILE, value & 0xFF)) written = false;
    }
    if (!close_file(BINARY_FILE)) written = false;
    return end_replacement(temporary, path, written) != 0;
}

}  // namespace

LoadResult load_file(const char* path)
{
    enter_folder_of(path);
    release_data();

    LoadResult result = LoadResult::nothing_loaded;
    int64_t size = file_size(path);
    if (size != FILE_SIZE_MISSING) {
        if (!open_file_for_reading(READ_FILE, path)) {
            message_requester_ok("Information", "Couldn't open the file!");
            return LoadResult::cannot_read;
        }
        auto length = static_cast<int32_t>(size > MAX_DATA_LENGTH ? MAX_DATA_LENGTH : size);
        bool unreadable = false;
        if (length > 0) {
            g_viewer.data = static_cast<uint8_t*>(allocate_memory(length));
            if (g_viewer.data) {
                int32_t read = read_data(READ_FILE, g_viewer.data, length);
                g_viewer.data_length = read > 0 ? read : 0;
                // A file that opens but gives no byte at all is one that
                // cannot be read.
                unreadable = g_viewer.data_length == 0;
                if (unreadable) release_data();
            }
        }
        close_file(READ_FILE);
        if (unreadable) {
            message_requester_ok("Information", "Couldn't open the file!");
            return LoadResult::cannot_read;
        }
        if (length > 0 && !g_viewer.data) {
            message_requester_ok("Information", "Not enough memory to load the file!");
        } else {
            // A larger file whose read delivered fewer bytes shows those
            // bytes without the message, as a smaller file would.
            if (size > MAX_DATA_LENGTH && g_viewer.data_length == MAX_DATA_LENGTH)
                message_requester_ok("Information", "Only the first 2147483647 bytes of this file are shown.");
            result = LoadResult::loaded;
        }
        set_gadget_state(GADGET_WIDTH, 0);
    }

    set_gadget_state(GADGET_ROW, 0);
    set_gadget_attribute(GADGET_ROW, SCROLL_BAR_MAXIMUM, g_viewer.data_length);
    set_gadget_attribute(GADGET_ROW, SCROLL_BAR_MINIMUM, 0);
    set_gadget_attribute(GADGET_ROW, SCROLL_BAR_PAGE, double_to_long(g_viewer.data_length / 481.0));
    return result;
}

void save_binary()
{
    if (!g_viewer.data) {
        message_requester("Title", "1st load file!", 0);
        return;
    }
    int32_t count = 0;
    {
        StringMark mark;
        input_requester("Title", "size of the file", "0000", mark.position());
        count = static_cast<int32_t>(text_to_number(string_at(mark.position())));
    }
    if (count <= 0) return;

    StringVar path = choose_save_path("Save binary file", "Binary|*.bin|All Files|*.*", ".bin", "save binary");
    if (!path) return;
    int64_t start = static_cast<int64_t>(get_gadget_state(GADGET_ROW)) * get_gadget_state(GADGET_WIDTH) +
                    get_gadget_state(GADGET_OFFSET);
    bool invert = get_gadget_state(GADGET_INVERT) == 1;
    if (!write_binary(path, start, count, invert))
        message_with_path("save binary", "Cannot save binary: ", path, MB_OK);
    free_string(path);
}

void save_image_file()
{
    StringVar path =
        choose_save_path("Save jpg Image...", "JPEG Images|*.jpg|All Files|*.*", ".jpg", "CanvasGadget");
    if (!path) return;
    if (create_image(VIEW_IMAGE, VIEW_WIDTH, VIEW_HEIGHT, 24) && start_drawing(image_output(VIEW_IMAGE))) {
        auto bitmap = static_cast<intptr_t>(get_gadget_attribute(GADGET_CANVAS, CANVAS_IMAGE));
        draw_image(reinterpret_cast<NativeHandle>(bitmap), 0, 0);
        stop_drawing();
        use_jpeg_encoder();
        if (!save_image(VIEW_IMAGE, path, FORMAT_JPEG))
            message_with_path("CanvasGadget", "Cannot save image: ", path, MB_OK);
        free_image(VIEW_IMAGE);
    }
    free_string(path);
}
