// drawing_host.cpp: the platform operations of the drawing context in the host
// checks (sanitizer tests, fuzzers, benchmarks). It stands in for the GDI
// operations of the Windows program: a drawing starts when the output has pixel
// memory, and there are no fonts, text or native images to draw.
#include "drawing.h"

namespace {

intptr_t host_start(DrawingContext* ctx)
{
    return ctx->pixels ? 1 : 0;
}

void host_stop(DrawingContext*) {}

void host_set_font(DrawingContext*, intptr_t) {}

int32_t host_draw_text(DrawingContext*, int32_t x, int32_t, const char*)
{
    return x;
}

void host_draw_text_rotated(DrawingContext*, int32_t, int32_t, const char*, float) {}

int32_t host_text_size(DrawingContext*, const char*)
{
    return 0;
}

// Image handles are native objects, which the host does not have.
void host_draw_image(DrawingContext*, NativeHandle, int32_t, int32_t) {}

void host_draw_image_sized(DrawingContext*, NativeHandle, int32_t, int32_t, int32_t, int32_t) {}

void host_draw_image_alpha(DrawingContext*, NativeHandle, int32_t, int32_t, int32_t) {}

intptr_t host_grab_image(DrawingContext*, int32_t, int32_t, int32_t, int32_t, int32_t)
{
    return 0;
}

}  // namespace

DrawingContext* memory_output(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t pixel_format)
{
    DrawingContext* context = create_drawing_context(pixel_format);
    if (!context) return nullptr;
    context->pixels = pixels;
    context->pitch = pitch;
    context->width = width;
    context->height = height;
    context->depth = context->bytes_per_pixel * 8;
    return context;
}

void install_platform_operations(DrawingContext* context)
{
    context->start = host_start;
    context->stop = host_stop;
    context->set_font = host_set_font;
    context->draw_text = host_draw_text;
    context->draw_text_rotated = host_draw_text_rotated;
    context->text_width = host_text_size;
    context->text_height = host_text_size;
    context->draw_image = host_draw_image;
    context->draw_image_sized = host_draw_image_sized;
    context->draw_image_alpha = host_draw_image_alpha;
    context->grab_image = host_grab_image;
}
