// drawing_gdi.cpp: the operations of the drawing context that need GDI:
// starting and stopping, fonts and text, drawing native bitmaps and icons, and
// grabbing a region of the output as an image. Everything that reaches the
// output's pixels goes through the rasteriser (transfer_pixels, plot_colour),
// which clips to the output.
#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "dib_section.h"
#include "drawing.h"
#include "gdi_owners.h"
#include "heap.h"
#include "images.h"
#include "registry.h"

namespace {

// A bitmap in memory as transfer_pixels takes it: rows bottom-up.
struct Source {
    const uint8_t* pixels = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    int32_t pitch = 0;
    int32_t bytes_per_pixel = 0;
    bool per_pixel_alpha = false;
    HBITMAP copy = nullptr;  // a conversion made for this drawing, deleted after it
};

BITMAPINFO dib_header(int32_t width, int32_t height, int32_t depth)
{
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // negative: rows stored top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(depth);
    info.bmiHeader.biCompression = BI_RGB;
    return info;
}

uint8_t* bitmap_bits(HBITMAP bitmap)
{
    BITMAP info{};
    if (!bitmap || GetObjectA(bitmap, sizeof(BITMAP), &info) != static_cast<int>(sizeof(BITMAP))) return nullptr;
    return static_cast<uint8_t*>(info.bmBits);
}

bool any_alpha(const uint8_t* pixels, size_t count)
{
    for (size_t i = 0; i < count; ++i)
        if (pixels[i * 4 + 3]) return true;
    return false;
}

// Makes `copy` (a new bottom-up DIB section of 24 bits, or 32 for deeper
// sources) the source, holding the bitmap's pixels as GetDIBits converts them.
bool convert_bitmap(HBITMAP bitmap, int32_t width, int32_t height, int32_t depth, bool device_dependent,
                    Source* source)
{
    const int32_t target = depth > 24 ? 32 : 24;
    OwnedObject<HBITMAP> copy(static_cast<HBITMAP>(create_dib(width, height, target)));
    uint8_t* bits = bitmap_bits(copy.get());
    BITMAPINFO request = dib_header(width, height, target);
    int lines = 0;
    {
        const MemoryDc dc;
        if (bits && dc)
            lines = GetDIBits(dc.get(), bitmap, 0, static_cast<UINT>(height), bits, &request, DIB_RGB_COLORS);
    }
    if (lines <= 0) return false;
    // A device bitmap with no alpha bytes at all is opaque, not invisible.
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (device_dependent && target == 32 && !any_alpha(bits, count))
        for (size_t i = 0; i < count; ++i) bits[i * 4 + 3] = 255;
    source->pixels = bits;
    source->width = width;
    source->height = height;
    source->pitch = row_pitch(width, target);
    source->bytes_per_pixel = target / 8;
    source->copy = copy.release();
    return true;
}

// Colour bytes only: GDI need not keep alpha bytes.
bool same_colours(const uint8_t* a, const uint8_t* b, int32_t width, int32_t bytes_per_pixel)
{
    for (int32_t i = 0; i < width * bytes_per_pixel; i += bytes_per_pixel)
        if (std::memcmp(a + i, b + i, 3) != 0) return false;
    return true;
}

// The row order of a DIB section held as `source`: 1 bottom-up (or a picture
// that reads the same either way), -1 top-down, 0 unknown. GetObjectA reports
// the height of either as positive, so GDI is asked for the first row from
// the bottom that differs from its mirror row, and the answer is looked for
// at both places in memory.
int32_t row_order(HBITMAP bitmap, const Source& source)
{
    const auto row = [&](int32_t index) { return source.pixels + static_cast<size_t>(index) * source.pitch; };
    int32_t probe = 0;
    while (probe < source.height / 2 &&
           same_colours(row(probe), row(source.height - 1 - probe), source.width, source.bytes_per_pixel))
        ++probe;
    if (probe == source.height / 2) return 1;

    auto* line = static_cast<uint8_t*>(main_alloc(static_cast<size_t>(source.pitch)));
    const MemoryDc dc;
    BITMAPINFO request = dib_header(source.width, source.height, source.bytes_per_pixel * 8);
    int32_t order = 0;
    if (line && dc &&
        GetDIBits(dc.get(), bitmap, static_cast<UINT>(probe), 1, line, &request, DIB_RGB_COLORS) == 1) {
        if (same_colours(line, row(probe), source.width, source.bytes_per_pixel))
            order = 1;
        else if (same_colours(line, row(source.height - 1 - probe), source.width, source.bytes_per_pixel))
            order = -1;
    }
    if (line) main_free(line);
    return order;
}

// Replaces a top-down source by a bottom-up copy.
bool turn_over(Source* source)
{
    OwnedObject<HBITMAP> copy(
        static_cast<HBITMAP>(create_dib(source->width, source->height, source->bytes_per_pixel * 8)));
    uint8_t* bits = bitmap_bits(copy.get());
    if (!bits) return false;
    const auto pitch = static_cast<size_t>(source->pitch);
    for (int32_t row = 0; row < source->height; ++row)
        std::memcpy(bits + static_cast<size_t>(row) * pitch,
                    source->pixels + static_cast<size_t>(source->height - 1 - row) * pitch, pitch);
    source->pixels = bits;
    source->copy = copy.release();
    return true;
}

bool open_bitmap(HBITMAP bitmap, Source* source)
{
    DIBSECTION dib{};
    if (GetObjectA(bitmap, sizeof(DIBSECTION), &dib) == static_cast<int>(sizeof(DIBSECTION))) {
        const int32_t depth = dib.dsBm.bmBitsPixel;
        const bool standard_masks = dib.dsBmih.biCompression == BI_BITFIELDS && depth == 32 &&
                                    dib.dsBitfields[0] == 0xFF0000 && dib.dsBitfields[1] == 0xFF00 &&
                                    dib.dsBitfields[2] == 0xFF;
        // Bottom-up rows of 3 or 4 bytes are already in the output's layout.
        if (dib.dsBm.bmBits && (depth == 24 || depth == 32) &&
            (dib.dsBmih.biCompression == BI_RGB || standard_masks)) {
            source->pixels = static_cast<const uint8_t*>(dib.dsBm.bmBits);
            source->width = dib.dsBm.bmWidth;
            source->height = dib.dsBm.bmHeight;
            source->pitch = row_pitch(dib.dsBm.bmWidth, depth);
            source->bytes_per_pixel = depth / 8;
            const int32_t order = row_order(bitmap, *source);
            if (order < 0) return turn_over(source);
            // When GDI cannot tell, it copies the pixels in order itself; if it
            // cannot do that either, the rows are taken as bottom-up.
            if (order == 0) convert_bitmap(bitmap, source->width, source->height, depth, false, source);
            return true;
        }
        // Fewer bits or other masks: GDI converts the pixels.
        return convert_bitmap(bitmap, dib.dsBm.bmWidth, dib.dsBm.bmHeight, depth, false, source);
    }
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof(BITMAP), &info) != static_cast<int>(sizeof(BITMAP)) || info.bmWidth < 1 ||
        info.bmHeight < 1)
        return false;
    return convert_bitmap(bitmap, info.bmWidth, info.bmHeight, info.bmBitsPixel, true, source);
}

// An icon becomes a 32-bit bitmap drawn with its own alpha: the colour
// bitmap's alpha when it has one, else opaque where the AND mask is clear.
bool convert_icon(const ICONINFO& icon, Source* source)
{
    BITMAP mask_info{};
    if (!icon.hbmMask ||
        GetObjectA(icon.hbmMask, sizeof(BITMAP), &mask_info) != static_cast<int>(sizeof(BITMAP)))
        return false;
    const int32_t width = mask_info.bmWidth;
    const int32_t mask_height = mask_info.bmHeight;
    // A monochrome icon keeps the AND mask above its picture in one bitmap.
    const int32_t height = icon.hbmColor ? mask_height : mask_height / 2;
    if (width < 1 || height < 1) return false;

    const size_t row_bytes = static_cast<size_t>(width) * 4;
    OwnedObject<HBITMAP> copy(static_cast<HBITMAP>(create_dib(width, height, 32)));
    uint8_t* bits = bitmap_bits(copy.get());
    auto* mask = static_cast<uint8_t*>(main_alloc(row_bytes * static_cast<size_t>(mask_height)));
    const MemoryDc dc;
    BITMAPINFO mask_request = dib_header(width, mask_height, 32);
    bool ok = bits && mask && dc &&
              GetDIBits(dc.get(), icon.hbmMask, 0, static_cast<UINT>(mask_height), mask, &mask_request,
                        DIB_RGB_COLORS) > 0;
    if (ok && icon.hbmColor) {
        BITMAPINFO request = dib_header(width, height, 32);
        ok = GetDIBits(dc.get(), icon.hbmColor, 0, static_cast<UINT>(height), bits, &request, DIB_RGB_COLORS) > 0;
    } else if (ok) {
        // Bottom-up, the picture half comes first in memory.
        std::memcpy(bits, mask, row_bytes * static_cast<size_t>(height));
    }
    const size_t count = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (ok && !(icon.hbmColor && has_alpha_channel(icon.hbmColor) && any_alpha(bits, count))) {
        for (int32_t row = 0; row < height; ++row) {
            const uint8_t* and_row = mask + static_cast<size_t>(row + mask_height - height) * row_bytes;
            uint8_t* pixel = bits + static_cast<size_t>(row) * row_bytes;
            for (int32_t column = 0; column < width; ++column, pixel += 4) {
                if (and_row[column * 4])
                    std::memset(pixel, 0, 4);
                else
                    pixel[3] = 255;
            }
        }
    }
    if (mask) main_free(mask);
    if (!ok) return false;
    source->pixels = bits;
    source->width = width;
    source->height = height;
    source->pitch = static_cast<int32_t>(row_bytes);
    source->bytes_per_pixel = 4;
    source->per_pixel_alpha = true;
    source->copy = copy.release();
    return true;
}

bool open_source(NativeHandle image, Source* source)
{
    if (!image) return false;
    if (GetObjectType(image) == OBJ_BITMAP) return open_bitmap(static_cast<HBITMAP>(image), source);
    ICONINFO icon{};
    if (!GetIconInfo(static_cast<HICON>(image), &icon)) return false;
    // The icon's bitmaps are copies made for the caller.
    const OwnedObject<HBITMAP> colour(icon.hbmColor);
    const OwnedObject<HBITMAP> mask(icon.hbmMask);
    return convert_icon(icon, source);
}

void close_source(Source* source)
{
    if (source->copy) DeleteObject(source->copy);
    source->copy = nullptr;
}

void gdi_draw_image_alpha(DrawingContext* context, NativeHandle image, int32_t x, int32_t y, int32_t alpha)
{
    Source source;
    if (!open_source(image, &source)) return;
    transfer_pixels(context, source.pixels, source.width, source.height, source.pitch, source.bytes_per_pixel, x,
                    y, std::clamp(alpha, 0, 255), source.per_pixel_alpha);
    close_source(&source);
}

void gdi_draw_image(DrawingContext* context, NativeHandle image, int32_t x, int32_t y)
{
    gdi_draw_image_alpha(context, image, x, y, 255);
}

void gdi_draw_image_sized(DrawingContext* context, NativeHandle image, int32_t x, int32_t y, int32_t width,
                          int32_t height)
{
    if (width < 1 || height < 1) return;
    Source source;
    if (!open_source(image, &source)) return;
    if (width == source.width && height == source.height) {
        transfer_pixels(context, source.pixels, width, height, source.pitch, source.bytes_per_pixel, x, y, 255,
                        source.per_pixel_alpha);
        close_source(&source);
        return;
    }
    // The source is scaled from memory, so it need not be free to select into a DC.
    const int32_t depth = source.bytes_per_pixel * 8;
    {
        const OwnedObject<HBITMAP> scaled(static_cast<HBITMAP>(create_dib(width, height, depth)));
        uint8_t* bits = bitmap_bits(scaled.get());
        const MemoryDc dc;
        if (bits && dc) {
            const Selection selected(dc.get(), scaled.get());
            // Halftoning averages colours; it would also average alpha, so deeper
            // sources are scaled by picking pixels.
            if (depth < 32) {
                SetStretchBltMode(dc.get(), HALFTONE);
                SetBrushOrgEx(dc.get(), 0, 0, nullptr);
            } else {
                SetStretchBltMode(dc.get(), COLORONCOLOR);
            }
            BITMAPINFO info = dib_header(source.width, source.height, depth);
            if (StretchDIBits(dc.get(), 0, 0, width, height, 0, 0, source.width, source.height, source.pixels, &info,
                              DIB_RGB_COLORS, SRCCOPY) > 0) {
                GdiFlush();
                transfer_pixels(context, bits, width, height, row_pitch(width, depth), source.bytes_per_pixel, x, y,
                                255, source.per_pixel_alpha);
            }
        }
    }
    close_source(&source);
}

// --- Text -----------------------------------------------------------------------

// How far an italic letter reaches past its advance width: "H" is rendered in a
// bitmap twice its size and the rightmost lit column found.
int32_t measure_italic_overhang(HGDIOBJ font)
{
    const MemoryDc memory;
    HDC dc = memory.get();
    if (!dc) return 0;
    const Selection font_selected(dc, font);
    SIZE letter{};
    int32_t overhang = 0;
    if (GetTextExtentPoint32A(dc, "H", 1, &letter) && letter.cx > 0 && letter.cy > 0) {
        const int32_t width = letter.cx * 2;
        const int32_t height = letter.cy * 2;
        BITMAPINFO info = dib_header(width, -height, 24);
        void* bits = nullptr;
        const OwnedObject<HBITMAP> bitmap(create_dib_section(dc, &info, &bits));
        if (bitmap && bits) {
            const Selection bitmap_selected(dc, bitmap.get());
            SetBkMode(dc, OPAQUE);
            SetBkColor(dc, 0);
            SetTextColor(dc, 0xFFFFFF);
            SetTextAlign(dc, 0);
            TextOutA(dc, 0, 0, "H", 1);
            GdiFlush();
            const int32_t pitch = row_pitch(width, 24);
            const auto* pixels = static_cast<const uint8_t*>(bits);
            bool found = false;
            for (int32_t column = width - 1; column >= 0 && !found; --column) {
                for (int32_t row = 0; row < height && !found; ++row) {
                    const uint8_t* p = pixels + static_cast<size_t>(row) * static_cast<size_t>(pitch) + column * 3;
                    found = p[0] || p[1] || p[2];
                }
                if (found) overhang = column - letter.cx + 2;
            }
        }
    }
    return overhang;
}

void gdi_set_font(DrawingContext* context, intptr_t font)
{
    HDC dc = static_cast<HDC>(context->text_dc);
    if (!dc) return;
    HGDIOBJ chosen = font == -1 ? GetStockObject(SYSTEM_FONT) : reinterpret_cast<HGDIOBJ>(font);
    if (!chosen || !SelectObject(dc, chosen)) return;
    TEXTMETRICA metrics{};
    context->italic_overhang = GetTextMetricsA(dc, &metrics) && metrics.tmItalic ? measure_italic_overhang(chosen) : 0;
    if (context->created_font && context->created_font != chosen) DeleteObject(context->created_font);
    context->created_font = nullptr;
    context->font = chosen;

    // The surface holds one line of text as wide as the output; it only grows.
    SIZE sample{};
    GetTextExtentPoint32A(dc, "Hg", 2, &sample);
    const int32_t needed = std::max<int32_t>(50, sample.cy + 20);
    if (needed <= context->text_surface_height || context->width < 1) return;
    BITMAPINFO info = dib_header(context->width, -needed, 24);
    void* bits = nullptr;
    OwnedObject<HBITMAP> surface(create_dib_section(dc, &info, &bits));
    if (!surface || !bits) return;
    SelectObject(dc, surface.get());
    if (context->text_surface) DeleteObject(context->text_surface);
    context->text_surface = surface.release();
    context->text_surface_pixels = static_cast<uint8_t*>(bits);
    context->text_surface_pitch = row_pitch(context->width, 24);
    context->text_surface_height = needed;
    SetBkMode(dc, OPAQUE);
    SetTextAlign(dc, 0);
    SetBkColor(dc, 0);
    SetTextColor(dc, 0xFFFFFF);
}

bool measure(DrawingContext* context, const char* text, SIZE* size)
{
    *size = SIZE{};
    if (!context->text_dc) return false;
    if (!text) text = "";
    return GetTextExtentPoint32A(static_cast<HDC>(context->text_dc), text, static_cast<int>(std::strlen(text)),
                                 size) != 0;
}

int32_t gdi_text_width(DrawingContext* context, const char* text)
{
    SIZE size;
    return measure(context, text, &size) ? size.cx : 0;
}

int32_t gdi_text_height(DrawingContext* context, const char* text)
{
    SIZE size;
    return measure(context, text, &size) ? size.cy : 0;
}

// Renders the text white on black into the surface's top rows, starting at
// column x. The surface's columns match the output's, so GDI clips the text
// to the output's width. Returns the rows the text occupies there.
int32_t render_text(DrawingContext* context, int32_t x, const char* text, const SIZE& size)
{
    if (!context->text_surface_pixels || !text[0]) return 0;
    const int32_t rows = std::min<int32_t>(size.cy, context->text_surface_height);
    GdiFlush();
    std::memset(context->text_surface_pixels, 0,
                static_cast<size_t>(context->text_surface_pitch) * static_cast<size_t>(rows));
    TextOutA(static_cast<HDC>(context->text_dc), x, 0, text, static_cast<int>(std::strlen(text)));
    GdiFlush();
    return rows;
}

// Italic text reaches past its advance width by the overhang.
int64_t box_width(const DrawingContext* context, const SIZE& size)
{
    return static_cast<int64_t>(size.cx) + std::max(0, context->italic_overhang);
}

int32_t surface_width(const DrawingContext* context)
{
    return std::min(context->width, context->text_surface_pitch / 3);
}

// The text's coverage of a surface pixel: its brightest channel, since
// smoothed fonts may light the channels unevenly.
int32_t coverage(const DrawingContext* context, int32_t column, int32_t row)
{
    const uint8_t* p = context->text_surface_pixels + static_cast<size_t>(row) * context->text_surface_pitch +
                       static_cast<size_t>(column) * 3;
    return std::max({p[0], p[1], p[2]});
}

// Paints one output pixel of text. In the copy mode a partly covered pixel is
// mixed with what is there; the other modes have no meaning for a fraction of
// a pixel, so there half coverage decides.
void paint_text_pixel(DrawingContext* context, int32_t x, int32_t y, int32_t cover)
{
    if (cover == 0) return;
    const int32_t front = context->front_colour;
    if (cover < 255 && (context->mode & ~DRAW_OUTLINE) == DRAW_COPY) {
        const int32_t under = context->read_pixel(context, x, y);
        int32_t mixed = front & static_cast<int32_t>(0xFF000000u);
        for (int shift = 0; shift < 24; shift += 8) {
            const int32_t channel =
                (((under >> shift) & 255) * (255 - cover) + ((front >> shift) & 255) * cover + 127) / 255;
            mixed |= channel << shift;
        }
        context->plot_colour(context, x, y, mixed);
    } else if (cover >= 128) {
        context->plot_colour(context, x, y, front);
    }
}

int32_t gdi_draw_text(DrawingContext* context, int32_t x, int32_t y, const char* text)
{
    SIZE size;
    if (!text || !measure(context, text, &size)) return x;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t right = std::min<int64_t>(x + box_width(context, size), surface_width(context));
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + size.cy, context->height);
    if (left < right && top < bottom) {
        const int32_t rows = render_text(context, x, text, size);
        for (int64_t row = top; row < bottom && row - y < rows; ++row)
            for (int64_t column = left; column < right; ++column)
                paint_text_pixel(context, static_cast<int32_t>(column), static_cast<int32_t>(row),
                                 coverage(context, static_cast<int32_t>(column), static_cast<int32_t>(row - y)));
    }
    return static_cast<int32_t>(x + static_cast<int64_t>(size.cx));
}

// Rotated text turns counter-clockwise about x, y. The text is rendered
// unrotated, and every output pixel in the turned box looks up the surface
// pixel that lands on it, which leaves no gaps at any angle.
void gdi_draw_text_rotated(DrawingContext* context, int32_t x, int32_t y, const char* text, float angle)
{
    SIZE size;
    if (!text || !measure(context, text, &size)) return;
    float turn = std::fmod(angle, 360.0f);
    if (turn < 0) turn += 360.0f;
    context->text_angle = turn;
    const auto columns = static_cast<int32_t>(std::min<int64_t>(box_width(context, size), surface_width(context)));
    const int32_t rows = render_text(context, 0, text, size);
    if (columns < 1 || rows < 1) return;

    const double radians = turn * 3.14159265358979323846 / 180.0;
    const double c = std::cos(radians);
    const double s = std::sin(radians);
    double min_x = 0, max_x = 0, min_y = 0, max_y = 0;
    const double corners[4][2] = {{0, 0}, {double(columns), 0}, {0, double(rows)}, {double(columns), double(rows)}};
    for (const auto& corner : corners) {
        const double cx = corner[0] * c + corner[1] * s;
        const double cy = -corner[0] * s + corner[1] * c;
        min_x = std::min(min_x, cx);
        max_x = std::max(max_x, cx);
        min_y = std::min(min_y, cy);
        max_y = std::max(max_y, cy);
    }
    const int64_t left = std::max<int64_t>(0, static_cast<int64_t>(std::floor(x + min_x)));
    const int64_t right = std::min<int64_t>(context->width, static_cast<int64_t>(std::ceil(x + max_x)));
    const int64_t top = std::max<int64_t>(0, static_cast<int64_t>(std::floor(y + min_y)));
    const int64_t bottom = std::min<int64_t>(context->height, static_cast<int64_t>(std::ceil(y + max_y)));
    for (int64_t row = top; row < bottom; ++row) {
        for (int64_t column = left; column < right; ++column) {
            const double dx = static_cast<double>(column - x) + 0.5;
            const double dy = static_cast<double>(row - y) + 0.5;
            const double u = std::floor(dx * c - dy * s);
            const double v = std::floor(dx * s + dy * c);
            if (u < 0 || u >= columns || v < 0 || v >= rows) continue;
            paint_text_pixel(context, static_cast<int32_t>(column), static_cast<int32_t>(row),
                             coverage(context, static_cast<int32_t>(u), static_cast<int32_t>(v)));
        }
    }
}

// --- Images and drawings ------------------------------------------------------------

intptr_t gdi_grab_image(DrawingContext* context, int32_t number, int32_t x, int32_t y, int32_t width,
                        int32_t height)
{
    if (!context->pixels) return 0;
    const int64_t left = std::max<int64_t>(x, 0);
    const int64_t top = std::max<int64_t>(y, 0);
    const int64_t right = std::min<int64_t>(static_cast<int64_t>(x) + width, context->width);
    const int64_t bottom = std::min<int64_t>(static_cast<int64_t>(y) + height, context->height);
    if (left >= right || top >= bottom) return 0;
    // The image being drawn on cannot be replaced while its pixels are in use.
    auto* current = static_cast<ImageRecord*>(find_object(image_table(), number));
    if (current && current->handle == context->output_bitmap) return 0;

    const int32_t bytes = context->bytes_per_pixel;
    const auto grab_width = static_cast<int32_t>(right - left);
    const auto grab_height = static_cast<int32_t>(bottom - top);
    const intptr_t result = create_image(number, grab_width, grab_height, bytes * 8);
    if (!result) return 0;
    auto* image = static_cast<ImageRecord*>(
        find_object(image_table(), number == ANY_NUMBER ? static_cast<int32_t>(result) : number));
    uint8_t* bits = image ? bitmap_bits(static_cast<HBITMAP>(image->handle)) : nullptr;
    if (!bits) return result;
    const int32_t pitch = row_pitch(grab_width, bytes * 8);
    for (int32_t row = 0; row < grab_height; ++row) {
        const int64_t from_row = context->height - 1 - (top + row);
        const uint8_t* from = context->pixels + from_row * context->pitch + left * bytes;
        uint8_t* to = bits + static_cast<size_t>(grab_height - 1 - row) * static_cast<size_t>(pitch);
        std::memcpy(to, from, static_cast<size_t>(grab_width) * static_cast<size_t>(bytes));
    }
    return result;
}

void gdi_stop(DrawingContext* context)
{
    // The DC goes first so that the surface and font are no longer selected.
    if (context->text_dc) DeleteDC(static_cast<HDC>(context->text_dc));
    context->text_dc = nullptr;
    if (context->text_surface) DeleteObject(context->text_surface);
    context->text_surface = nullptr;
    context->text_surface_pixels = nullptr;
    context->text_surface_pitch = 0;
    context->text_surface_height = 0;
    if (context->created_font) DeleteObject(context->created_font);
    context->created_font = nullptr;
    context->font = nullptr;
}

intptr_t gdi_start(DrawingContext* context)
{
    if (!context->pixels) return 0;
    context->text_dc = CreateCompatibleDC(nullptr);
    gdi_set_font(context, -1);
    // A failed start is released without a stop, so nothing may stay behind.
    if (!context->memory_dc) gdi_stop(context);
    return reinterpret_cast<intptr_t>(context->memory_dc);
}

// Clean-up of a memory output: the memory stays with its owner.
void release_memory_output(DrawingContext* context, int32_t)
{
    if (context->memory_dc) DeleteDC(static_cast<HDC>(context->memory_dc));
    context->memory_dc = nullptr;
}

}  // namespace

DrawingContext* memory_output(uint8_t* pixels, int32_t width, int32_t height, int32_t pitch, int32_t pixel_format)
{
    // The pixels are not a GDI bitmap, so nothing is selected into the DC: it
    // only marks the output as one that can start, as it does for the others.
    MemoryDc dc;
    if (!dc) return nullptr;
    DrawingContext* context = create_drawing_context(pixel_format);
    if (!context) return nullptr;
    context->memory_dc = dc.release();
    context->pixels = pixels;
    context->pitch = pitch;
    context->width = width;
    context->height = height;
    context->depth = context->bytes_per_pixel * 8;
    context->release = release_memory_output;
    return context;
}

void install_platform_operations(DrawingContext* context)
{
    context->start = gdi_start;
    context->stop = gdi_stop;
    context->set_font = gdi_set_font;
    context->draw_text = gdi_draw_text;
    context->draw_text_rotated = gdi_draw_text_rotated;
    context->text_width = gdi_text_width;
    context->text_height = gdi_text_height;
    context->draw_image = gdi_draw_image;
    context->draw_image_sized = gdi_draw_image_sized;
    context->draw_image_alpha = gdi_draw_image_alpha;
    context->grab_image = gdi_grab_image;
}
