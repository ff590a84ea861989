// redraw.cpp: reads the view parameters from the gadgets and draws the view
// into the canvas, then sets the window title.
#include "canvas.h"
#include "drawing.h"
#include "strings.h"
#include "viewer.h"
#include "window.h"

void redraw_view()
{
    ViewParameters view{};
    g_viewer.sprsize = get_gadget_state(GADGET_WIDTH);
    view.sprsize = g_viewer.sprsize;
    view.zoom = g_viewer.zoom;
    view.grid_x = get_gadget_state(GADGET_GRID_X);
    view.grid_y = get_gadget_state(GADGET_GRID_Y);
    view.grid = get_gadget_state(GADGET_GRID) == 1;
    view.multi_columns = get_gadget_state(GADGET_MULTI_COLUMNS) == 1;
    view.invert = get_gadget_state(GADGET_INVERT) == 1;
    view.align_to_grid = get_gadget_state(GADGET_ALIGN_TO_GRID) == 1;
    view.start_position = static_cast<int64_t>(get_gadget_state(GADGET_ROW)) * view.sprsize +
                          get_gadget_state(GADGET_OFFSET);

    ViewData data{g_viewer.data, g_viewer.data ? g_viewer.data_length : 0};
    if (start_drawing(canvas_output(GADGET_CANVAS))) {
        DrawingContext* context = current_context();
        if (context && context->pixels && context->width >= VIEW_WIDTH && context->height >= VIEW_HEIGHT)
            render_view(view, data, context->pixels, context->pitch);
    }

    {
        StringMark mark;
        view_title(view, mark.position());
        set_window_title(MAIN_WINDOW, string_at(mark.position()));
    }

    stop_drawing();
}
