// drawing.h: the drawing context and its software primitives.
//
// A drawing runs from start_drawing(output) to stop_drawing(); in between every
// primitive works on the one process-wide current context and writes straight
// into the output's pixel memory. Pixels are blue, green, red (and alpha for
// 4-byte pixels), rows stored bottom-up, each row padded to a multiple of 4
// bytes (row_pitch). Colours are int32 values with red in bits 0-7, green in
// 8-15, blue in 16-23 and alpha in 24-31.
//
// This header is platform-neutral. The operations that need the operating
// system's graphics services (start, stop, fonts and text, drawing native
// bitmaps, grabbing images) are installed by install_platform_operations,
// which the Windows build implements with GDI and the host checks with a
// small stand-in.
#pragma once

#include <cstdint>

struct BlockPool;
struct DrawingContext;

// Native handles (HDC, HBITMAP, HFONT, HICON) as the neutral code sees them.
using NativeHandle = void*;

// Pixel format codes an output gives to its context.
constexpr int32_t PIXEL_BGR24 = 0x10;
constexpr int32_t PIXEL_BGRA32 = 0x40;
constexpr int32_t PIXEL_ROWS_BOTTOM_UP = 0x8000;  // always added by the context

// Drawing mode flags.
constexpr int32_t DRAW_COPY = 0;
constexpr int32_t DRAW_XOR = 2;
constexpr int32_t DRAW_OUTLINE = 4;
constexpr int32_t DRAW_ALPHA_ONLY = 8;
constexpr int32_t DRAW_BLEND = 0x10;
constexpr int32_t DRAW_BLEND_KEEP_ALPHA = 0x20;
constexpr int32_t DRAW_GRADIENT = 0x40;
constexpr int32_t DRAW_FILTER = 0x80;
constexpr int32_t DRAW_ARGB = 0x100;

// An extra colour stop of the gradient mode.
struct GradientStop {
    GradientStop* next;
    float position;  // 0.0 to 1.0
    int32_t colour;
};

using GradientCallback = float (*)(int32_t x, int32_t y);  // position 0.0 to 1.0
using FilterCallback = int32_t (*)(int32_t x, int32_t y, int32_t front_colour, int32_t pixel_colour);

struct DrawingContext {
    // --- Operations, in this order; each takes the context first. ---------
    void (*set_back_colour)(DrawingContext*, int32_t colour);
    void (*box)(DrawingContext*, int32_t x, int32_t y, int32_t width, int32_t height);
    void (*round_box)(DrawingContext*, int32_t x, int32_t y, int32_t width, int32_t height,
                      int32_t radius_x, int32_t radius_y);
    void (*set_font)(DrawingContext*, intptr_t font);  // -1: the default font
    uint8_t* (*pixel_buffer)(DrawingContext*);
    int32_t (*pixel_pitch)(DrawingContext*);
    int32_t (*pixel_format)(DrawingContext*);
    void (*set_mode)(DrawingContext*, int32_t mode);
    void (*draw_image)(DrawingContext*, NativeHandle image, int32_t x, int32_t y);
    void (*draw_image_sized)(DrawingContext*, NativeHandle image, int32_t x, int32_t y, int32_t width,
                             int32_t height);
    void (*draw_image_alpha)(DrawingContext*, NativeHandle image, int32_t x, int32_t y, int32_t alpha);
    int32_t (*draw_text)(DrawingContext*, int32_t x, int32_t y, const char* text);  // the x after it
    void (*draw_text_rotated)(DrawingContext*, int32_t x, int32_t y, const char* text, float angle);
    void (*ellipse)(DrawingContext*, int32_t x, int32_t y, int32_t radius_x, int32_t radius_y);
    void (*fill_area)(DrawingContext*, int32_t x, int32_t y, int32_t border_colour);  // -1: no border
    void (*set_front_colour)(DrawingContext*, int32_t colour);
    intptr_t (*grab_image)(DrawingContext*, int32_t number, int32_t x, int32_t y, int32_t width,
                           int32_t height);
    void (*line)(DrawingContext*, int32_t x1, int32_t y1, int32_t x2, int32_t y2);
    void (*plot)(DrawingContext*, int32_t x, int32_t y);
    void (*plot_colour)(DrawingContext*, int32_t x, int32_t y, int32_t colour);
    int32_t (*read_pixel)(DrawingContext*, int32_t x, int32_t y);
    intptr_t (*start)(DrawingContext*);  // non-zero handle on success, 0 on failure
    void (*stop)(DrawingContext*);
    int32_t (*text_height)(DrawingContext*, const char* text);
    int32_t (*text_width)(DrawingContext*, const char* text);
    void (*release)(DrawingContext*, int32_t normal);  // the output's own clean-up

    // --- Data. -------------------------------------------------------------
    int32_t width;                  // output size: primitives clip to 0 <= x < width,
    int32_t height;                 //   0 <= y < height
    int32_t depth;                  // 24 or 32
    int32_t gradient_front_colour;  // end colours of the gradient mode
    int32_t gradient_back_colour;
    int32_t front_colour;           // the last colour given to a primitive
    int32_t back_colour;
    GradientCallback gradient_callback;
    FilterCallback filter_callback;
    GradientStop* gradient_stops;
    BlockPool* fill_pool;           // work memory of fill_area, made on first use
    uint8_t* fill_row_buffer;
    uint8_t* pixels;                // first byte of the bitmap memory
    int32_t pitch;                  // bytes per row
    int32_t format;                 // the output's code with PIXEL_ROWS_BOTTOM_UP added
    int32_t bytes_per_pixel;        // 3 or 4
    int32_t mode;
    int32_t premultiply;            // colour components stored multiplied by their alpha
    int32_t gradient_on;            // mode has DRAW_GRADIENT
    int32_t filter_on;              // mode has DRAW_FILTER
    int32_t front_red, front_green, front_blue, front_alpha, front_inverse_alpha;
    int32_t back_red, back_green, back_blue, back_alpha, back_inverse_alpha;
    NativeHandle font;              // the font selected for text
    NativeHandle text_dc;           // memory DC for rendering text
    NativeHandle text_surface;      // bitmap text is rendered into before transfer
    uint8_t* text_surface_pixels;
    int32_t text_surface_pitch;
    int32_t text_surface_height;
    int32_t italic_overhang;
    NativeHandle created_font;      // a font made here, deleted when replaced or at stop
    float text_angle;
    NativeHandle memory_dc;         // DC with the output's bitmap selected
    int32_t saved_batch_limit;      // the GDI batch limit before drawing started
    NativeHandle output_bitmap;
    int32_t canvas_gadget_number;   // canvas outputs only
};

// --- Library ------------------------------------------------------------------
void init_drawing();
// Allocates a zero-filled context on the main heap, makes it the current one
// and fills in the rasteriser's operations and the platform's. The output then
// fills in its own fields. Returns null when memory runs out.
DrawingContext* create_drawing_context(int32_t pixel_format);
DrawingContext* current_context();
// Fills in start, stop, set_font, the text operations, the image operations and
// grab_image. Implemented per platform.
void install_platform_operations(DrawingContext* context);

// A drawing output over pixel memory the caller owns (rows bottom-up, `pitch`
// bytes apart, 3 bytes per pixel, or 4 with PIXEL_BGRA32), for start_drawing
// like the outputs of images and canvases. The memory must outlive the
// drawing. Returns null when the context or its device context cannot be made.
// Implemented per platform.
DrawingContext* memory_output(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                              int32_t pixel_format = PIXEL_BGR24);

// Bytes per row of a bitmap: 24-bit rows are 3 x width rounded up to a multiple of 4.
int32_t row_pitch(int32_t width, int32_t bits_per_pixel);

// --- Drawing on the current context (each does nothing without one) -----------
intptr_t start_drawing(DrawingContext* output);  // non-zero on success
void stop_drawing();
int32_t rgb(int32_t red, int32_t green, int32_t blue);
void set_front_colour(int32_t colour);
void set_back_colour(int32_t colour);
void set_mode(int32_t mode);
void draw_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t colour);
void draw_line(int32_t x1, int32_t y1, int32_t x2, int32_t y2, int32_t colour);
void round_box(int32_t x, int32_t y, int32_t width, int32_t height, int32_t radius_x, int32_t radius_y,
               int32_t colour);
void ellipse(int32_t x, int32_t y, int32_t radius_x, int32_t radius_y, int32_t colour);
void fill_area(int32_t x, int32_t y, int32_t colour, int32_t border_colour);
void plot(int32_t x, int32_t y, int32_t colour);
int32_t read_pixel(int32_t x, int32_t y);
void draw_image(NativeHandle image, int32_t x, int32_t y);
void draw_image_sized(NativeHandle image, int32_t x, int32_t y, int32_t width, int32_t height);
void draw_image_alpha(NativeHandle image, int32_t x, int32_t y, int32_t alpha);
int32_t draw_text(int32_t x, int32_t y, const char* text);
void draw_text_rotated(int32_t x, int32_t y, const char* text, float angle);
int32_t text_width(const char* text);
int32_t text_height(const char* text);
intptr_t grab_image(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height);

// --- Pixel transfer, shared by the platform's image operations ----------------
// Draws a bitmap held in memory (rows bottom-up, `source_pitch` bytes apart,
// 3 or 4 bytes per pixel) at x, y of the context in its current mode, clipped
// to the output. `alpha` 255 copies (in DRAW_COPY), 0 draws nothing, other
// values blend. `per_pixel_alpha` applies a 4-byte source's own alpha bytes.
void transfer_pixels(DrawingContext* context, const uint8_t* source, int32_t source_width,
                     int32_t source_height, int32_t source_pitch, int32_t source_bytes_per_pixel,
                     int32_t x, int32_t y, int32_t alpha, bool per_pixel_alpha);
