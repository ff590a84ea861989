// view_title.cpp: the viewer's window title, written and read back. The title
// tells a user which view they see; reading it lets the command line draw the
// same view.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "strings.h"
#include "view.h"

namespace {

// Reads the literal `word` at `text`; advances past it.
bool take(const char*& text, const char* word)
{
    const size_t n = std::strlen(word);
    if (std::strncmp(text, word, n) != 0) return false;
    text += n;
    return true;
}

// Reads a decimal number (optional minus sign, at least one digit, no
// spaces) within low..high; advances past it.
bool take_number(const char*& text, int64_t low, int64_t high, int64_t& value)
{
    const char* p = text;
    if (*p == '-') ++p;
    if (*p < '0' || *p > '9') return false;
    errno = 0;
    char* end = nullptr;
    const long long number = std::strtoll(text, &end, 10);
    if (errno == ERANGE || number < low || number > high) return false;
    value = number;
    text = end;
    return true;
}

}  // namespace

void view_title(const ViewParameters& view, int32_t position)
{
    set_string_position(position);
    append_string("Bitloupe, sprsize:");
    quad_to_text(view.sprsize, string_position());
    if (view.grid) {
        append_string(", grid:");
        quad_to_text(view.grid_x, string_position());
        append_string("x");
        quad_to_text(view.grid_y, string_position());
    }
    append_string(" disp:");
    quad_to_text(view.start_position, string_position());
    append_string(" zoom:");
    quad_to_text(view.zoom, string_position());
}

bool parse_view_title(const char* title, ViewParameters& view)
{
    if (!title) return false;
    const char* p = title;
    while (*p == ' ' || *p == '\t') ++p;
    ViewParameters read = view;
    int64_t sprsize = 0, grid_x = 0, grid_y = 0, start = 0, zoom = 0;
    if (!take(p, "Bitloupe, sprsize:") || !take_number(p, 1, 80, sprsize)) return false;
    read.grid = take(p, ", grid:");
    if (read.grid && (!take_number(p, 1, 25, grid_x) || !take(p, "x") || !take_number(p, 1, 25, grid_y)))
        return false;
    if (!take(p, " disp:") || !take_number(p, INT64_MIN, INT64_MAX, start)) return false;
    if (!take(p, " zoom:") || !take_number(p, 1, 8, zoom) || (zoom != 1 && zoom != 2 && zoom != 8)) return false;
    while (*p == ' ' || *p == '\t' || *p == '\r' || *p == '\n') ++p;
    if (*p) return false;

    read.sprsize = static_cast<int32_t>(sprsize);
    if (read.grid) {
        read.grid_x = static_cast<int32_t>(grid_x);
        read.grid_y = static_cast<int32_t>(grid_y);
    }
    read.start_position = start;
    read.zoom = static_cast<int32_t>(zoom);
    view = read;
    return true;
}
