// images.cpp: numbered image objects, each owning one bottom-up DIB section,
// their drawing outputs, and the optional AlphaBlend service of msimg32.dll.
#include "images.h"

#include <windows.h>

#include <cstring>

#include "dib_section.h"
#include "drawing.h"
#include "gdi_owners.h"
#include "heap.h"
#include "registry.h"

namespace {

ObjectTable* g_images = nullptr;
HMODULE g_msimg32 = nullptr;
void* g_alpha_blend = nullptr;

// The DIB section behind a bitmap handle, or false for any other bitmap.
bool describe_dib(HGDIOBJ bitmap, DIBSECTION* dib)
{
    std::memset(dib, 0, sizeof(*dib));
    return GetObjectA(bitmap, sizeof(DIBSECTION), dib) == static_cast<int>(sizeof(DIBSECTION));
}

// Clean-up of an image output: the image keeps the pixels drawn.
void release_image_output(DrawingContext* context, int32_t)
{
    if (context->memory_dc) DeleteDC(static_cast<HDC>(context->memory_dc));
    context->memory_dc = nullptr;
    GdiSetBatchLimit(static_cast<DWORD>(context->saved_batch_limit));
}

}  // namespace

void init_images()
{
    if (!g_images)
        g_images = create_object_table(static_cast<int32_t>(sizeof(ImageRecord)), 16, free_image);
}

ObjectTable* image_table()
{
    return g_images;
}

intptr_t create_image(int32_t number, int32_t width, int32_t height, int32_t depth)
{
    uint32_t fill = 0xFF000000u;
    if (depth & IMAGE_TRANSPARENT) {
        fill = 0;
        depth &= ~IMAGE_TRANSPARENT;
    }
    if (depth < 24) depth = 24;

    // Obtaining the record first frees an image already under this number, so
    // every failure below leaves the number naming no image.
    int32_t dynamic_number = 0;
    auto* record = static_cast<ImageRecord*>(obtain_object(g_images, number, &dynamic_number));
    if (!record) return 0;
    const int32_t record_number = number == ANY_NUMBER ? dynamic_number : number;

    // The record keeps sizes in 16 bits: larger images are refused.
    OwnedObject<HBITMAP> bitmap;
    if (width >= 1 && width <= MAX_IMAGE_SIZE && height >= 1 && height <= MAX_IMAGE_SIZE)
        bitmap = OwnedObject<HBITMAP>(static_cast<HBITMAP>(create_dib(width, height, depth)));
    BITMAP info{};
    if (bitmap &&
        (GetObjectA(bitmap.get(), sizeof(BITMAP), &info) != static_cast<int>(sizeof(BITMAP)) || !info.bmBits))
        bitmap.reset();
    if (!bitmap) {
        release_object(g_images, record_number);
        return 0;
    }

    const int32_t pitch = row_pitch(info.bmWidth, info.bmBitsPixel);
    auto* pixels = static_cast<uint8_t*>(info.bmBits);
    if (info.bmBitsPixel == 32) {
        for (int32_t row = 0; row < info.bmHeight; ++row) {
            uint8_t* p = pixels + static_cast<size_t>(row) * static_cast<size_t>(pitch);
            for (int32_t column = 0; column < info.bmWidth; ++column) std::memcpy(p + column * 4, &fill, 4);
        }
    } else {
        std::memset(pixels, 0, static_cast<size_t>(pitch) * static_cast<size_t>(info.bmHeight));
    }

    HBITMAP handle = bitmap.release();
    record->handle = handle;
    record->width = static_cast<int16_t>(info.bmWidth);
    record->height = static_cast<int16_t>(info.bmHeight);
    record->depth = static_cast<int8_t>(info.bmBitsPixel);
    record->source_depth = record->depth;
    return number == ANY_NUMBER ? dynamic_number : reinterpret_cast<intptr_t>(handle);
}

void free_image(int32_t number)
{
    if (number == ANY_NUMBER) return;
    auto* record = static_cast<ImageRecord*>(find_object(g_images, number));
    if (!record) return;
    // Images made here are bitmaps; a record may also hold an icon.
    if (GetObjectType(record->handle) == OBJ_BITMAP)
        DeleteObject(record->handle);
    else
        DestroyIcon(static_cast<HICON>(record->handle));
    release_object(g_images, number);
}

void free_all_images()
{
    release_all_objects(g_images);
}

DrawingContext* image_output(int32_t number)
{
    auto* record = static_cast<ImageRecord*>(find_object(g_images, number));
    if (!record || GetObjectType(record->handle) != OBJ_BITMAP) return nullptr;
    const int32_t format = record->depth == 32 ? PIXEL_BGRA32 : PIXEL_BGR24;
    // Drawing writes straight into the pixel memory, which only a DIB section has.
    DIBSECTION dib;
    if (!describe_dib(record->handle, &dib) || !dib.dsBm.bmBits) return nullptr;

    MemoryDc memory;
    if (!memory) return nullptr;
    DrawingContext* context = create_drawing_context(format);
    if (!context) return nullptr;
    HDC dc = memory.release();
    SelectObject(dc, record->handle);
    context->output_bitmap = record->handle;
    context->memory_dc = dc;
    // With a batch limit of 1, GDI work through the DC reaches the pixel memory
    // at once, so the primitives always see current pixels.
    context->saved_batch_limit = static_cast<int32_t>(GdiGetBatchLimit());
    GdiSetBatchLimit(1);
    context->pixels = static_cast<uint8_t*>(dib.dsBm.bmBits);
    context->pitch = row_pitch(dib.dsBm.bmWidth, dib.dsBm.bmBitsPixel);
    context->width = record->width;
    context->height = record->height;
    context->depth = format == PIXEL_BGRA32 ? 32 : 24;
    context->release = release_image_output;
    return context;
}

void init_graphics_helpers()
{
    if (g_msimg32) return;
    g_msimg32 = LoadLibraryA("msimg32.dll");
    if (g_msimg32) g_alpha_blend = reinterpret_cast<void*>(GetProcAddress(g_msimg32, "AlphaBlend"));
}

void end_graphics_helpers()
{
    if (g_msimg32) FreeLibrary(g_msimg32);
    g_msimg32 = nullptr;
    g_alpha_blend = nullptr;
}

void* alpha_blend_function()
{
    return g_alpha_blend;
}

void* create_dib(int32_t width, int32_t height, int32_t depth)
{
    if (width < 1 || height < 1) return nullptr;
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height;  // positive: rows stored bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = static_cast<WORD>(depth >= 24 ? depth : 24);
    info.bmiHeader.biCompression = BI_RGB;
    const MemoryDc dc;
    void* bits = nullptr;
    return create_dib_section(dc.get(), &info, &bits);
}

int32_t has_alpha_channel(void* bitmap)
{
    if (!g_alpha_blend || GetObjectType(bitmap) != OBJ_BITMAP) return 0;
    DIBSECTION dib;
    if (describe_dib(bitmap, &dib)) return dib.dsBm.bmBitsPixel == 32 ? 1 : 0;

    // A device-dependent bitmap: only its pixels can tell.
    BITMAP info{};
    if (GetObjectA(bitmap, sizeof(BITMAP), &info) != static_cast<int>(sizeof(BITMAP)) || info.bmBitsPixel != 32 ||
        info.bmWidth < 1 || info.bmHeight < 1)
        return 0;
    const size_t count = static_cast<size_t>(info.bmWidth) * static_cast<size_t>(info.bmHeight);
    auto* pixels = static_cast<uint8_t*>(main_alloc(count * 4));
    if (!pixels) return 0;
    BITMAPINFO request{};
    request.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    request.bmiHeader.biWidth = info.bmWidth;
    request.bmiHeader.biHeight = -info.bmHeight;
    request.bmiHeader.biPlanes = 1;
    request.bmiHeader.biBitCount = 32;
    request.bmiHeader.biCompression = BI_RGB;
    int32_t found = 0;
    {
        const MemoryDc dc;
        if (dc && GetDIBits(dc.get(), static_cast<HBITMAP>(bitmap), 0, static_cast<UINT>(info.bmHeight), pixels,
                            &request, DIB_RGB_COLORS) > 0) {
            for (size_t i = 0; i < count && !found; ++i) found = pixels[i * 4 + 3] != 0;
        }
    }
    main_free(pixels);
    return found;
}
