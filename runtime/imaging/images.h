// images.h: numbered image objects, each owning one bottom-up DIB section, and
// the graphics helpers (the optional AlphaBlend of msimg32.dll).
#pragma once

#include <cstdint>

struct DrawingContext;
struct ObjectTable;

constexpr int32_t IMAGE_TRANSPARENT = 0x100;  // added to the depth: 32-bit pixels start transparent
constexpr int32_t MAX_IMAGE_SIZE = 32767;     // widths and heights are kept in 16 bits

struct ImageRecord {
    void* handle;          // the DIB section (or an icon); 0: the number names no image
    int16_t width;         // as the bitmap reports it
    int16_t height;
    int8_t depth;          // bits per pixel of the stored pixels: 24 or 32
    int8_t source_depth;   // the depth at the source; what save_image uses by default
};

void init_images();
ObjectTable* image_table();
// Non-zero on success: the dynamic number for ANY_NUMBER, else the bitmap handle.
intptr_t create_image(int32_t number, int32_t width, int32_t height, int32_t depth);
void free_image(int32_t number);
void free_all_images();
// A drawing output for start_drawing, or null.
DrawingContext* image_output(int32_t number);

void init_graphics_helpers();
void end_graphics_helpers();
// The AlphaBlend entry of msimg32.dll, or null when the system has none.
void* alpha_blend_function();

// A bottom-up DIB section of the given size (depth below 24 made 24), or 0.
void* create_dib(int32_t width, int32_t height, int32_t depth);
int32_t has_alpha_channel(void* bitmap);
