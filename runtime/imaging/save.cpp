// save.cpp: saving images. save_image finds an image's pixels and hands them to
// save_pixels, which picks the built-in BMP writer or a registered encoder.
//
// A save never destroys the file it replaces: the writer fills a temporary file
// in the target's folder, which is moved over the target only once complete.
// When anything fails the temporary file is removed and an existing file keeps
// its old content.
#include "save.h"

#include <windows.h>

#include <cstring>

#include "drawing.h"
#include "faults.h"
#include "files.h"
#include "heap.h"
#include "images.h"
#include "registry.h"

namespace {

const ImageEncoder* g_encoders[MAX_IMAGE_ENCODERS];
int32_t g_encoder_count = 0;
bool g_jpeg_registered = false;

const ImageEncoder JPEG_ENCODER = {FORMAT_JPEG, encode_jpeg, nullptr};

const ImageEncoder* find_encoder(uint32_t format)
{
    for (int32_t i = 0; i < g_encoder_count; ++i)
        if (g_encoders[i]->format == format) return g_encoders[i];
    return nullptr;
}

// One pixel composited over white: opaque pixels keep their colour, fully
// transparent ones become white.
inline uint8_t over_white(int32_t alpha, int32_t value)
{
    return static_cast<uint8_t>((alpha * (value - 255) + 65025) / 255);
}

// Copies 32-bit pixels into a new 24-bit buffer (rows in the same order),
// composited over white. Returns null when memory runs out.
uint8_t* composite_to_24(const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                         int32_t* new_pitch)
{
    int32_t pitch24 = row_pitch(width, 24);
    auto* buffer = static_cast<uint8_t*>(
        heap_alloc(main_heap(), static_cast<size_t>(pitch24) * static_cast<size_t>(height), true));
    if (!buffer) return nullptr;
    for (int32_t row = 0; row < height; ++row) {
        const uint8_t* from = pixels + static_cast<ptrdiff_t>(row) * pitch;
        uint8_t* to = buffer + static_cast<ptrdiff_t>(row) * pitch24;
        for (int32_t x = 0; x < width; ++x, from += 4, to += 3) {
            to[0] = over_white(from[3], from[0]);
            to[1] = over_white(from[3], from[1]);
            to[2] = over_white(from[3], from[2]);
        }
    }
    *new_pitch = pitch24;
    return buffer;
}

int32_t run_encoder(const ImageEncoder* encoder, const char* path, const uint8_t* pixels, int32_t width,
                    int32_t height, int32_t pitch, int32_t pixel_depth, int32_t flags, int32_t quality,
                    int32_t depth)
{
    if (!encoder) return write_bmp(path, pixels, pitch, width, height, pixel_depth, flags, quality, depth);
    EncodeOperation encode = pixel_depth == 32 ? encoder->encode_32 : encoder->encode_24;
    return encode(path, pixels, width, height, pitch, flags, quality, depth);
}

// Writes through a temporary file and moves it over the target when complete.
int32_t write_replacing(const ImageEncoder* encoder, const char* path, const uint8_t* pixels, int32_t width,
                        int32_t height, int32_t pitch, int32_t pixel_depth, int32_t flags, int32_t quality,
                        int32_t depth)
{
    char temporary[MAX_PATH];
    if (!begin_replacement(path, temporary)) return 0;
    int32_t result =
        run_encoder(encoder, temporary, pixels, width, height, pitch, pixel_depth, flags, quality, depth);
    return end_replacement(temporary, path, result);
}

}  // namespace

void init_image_plugins()
{
    g_encoder_count = 0;
    g_jpeg_registered = false;
}

int32_t register_image_encoder(const ImageEncoder* encoder)
{
    if (!encoder || !encoder->encode_24 || g_encoder_count >= MAX_IMAGE_ENCODERS) return 0;
    g_encoders[g_encoder_count++] = encoder;
    return 1;
}

int32_t image_encoder_count()
{
    return g_encoder_count;
}

void use_jpeg_encoder()
{
    if (g_jpeg_registered) return;
    g_jpeg_registered = register_image_encoder(&JPEG_ENCODER) != 0;
}

int32_t save_image(int32_t number, const char* path, uint32_t format, int32_t quality, int32_t depth)
{
    if (!path || !path[0]) return 0;
    auto* image = static_cast<ImageRecord*>(find_object(image_table(), number));
    if (!image) return 0;
    DIBSECTION dib;
    if (GetObjectA(static_cast<HGDIOBJ>(image->handle), sizeof(dib), &dib) != sizeof(dib) ||
        !dib.dsBm.bmBits)
        return 0;
    if (depth == -1) depth = image->source_depth;
    return save_pixels(path, static_cast<const uint8_t*>(dib.dsBm.bmBits), format, image->width, image->height,
                       row_pitch(dib.dsBm.bmWidth, dib.dsBm.bmBitsPixel), image->depth, ROWS_BOTTOM_UP, quality,
                       depth);
}

int32_t save_pixels(const char* path, const uint8_t* pixels, uint32_t format, int32_t width, int32_t height,
                    int32_t pitch, int32_t pixel_depth, int32_t flags, int32_t quality, int32_t depth)
{
    if (!path || !path[0] || !pixels) return 0;
    if (pixel_depth != 24 && pixel_depth != 32) return 0;
    if (format == FORMAT_BMP) {
        // Refused before any file is touched.
        if (depth != 24 && depth != 32) return 0;
        return write_replacing(nullptr, path, pixels, width, height, pitch, pixel_depth, flags, quality, depth);
    }
    const ImageEncoder* encoder = find_encoder(format);
    if (!encoder) return 0;
    if (pixel_depth == 24 || encoder->encode_32)
        return write_replacing(encoder, path, pixels, width, height, pitch, pixel_depth, flags, quality, depth);

    int32_t pitch24 = 0;
    uint8_t* converted = composite_to_24(pixels, width, height, pitch, &pitch24);
    if (!converted) return 0;
    int32_t result = write_replacing(encoder, path, converted, width, height, pitch24, 24, flags, quality, depth);
    heap_free(main_heap(), converted);
    return result;
}

int32_t write_bmp(const char* path, const uint8_t* pixels, int32_t pitch, int32_t width, int32_t height,
                  int32_t pixel_depth, int32_t flags, int32_t, int32_t depth)
{
    // Files of 24 and 32 bits only: the palette formats are not written.
    if (depth != 24 && depth != 32) return 0;
    if (!path || !pixels || width < 1 || height < 1 || (pixel_depth != 24 && pixel_depth != 32)) return 0;
    int64_t row_size = (static_cast<int64_t>(width) * depth / 8 + 3) & ~int64_t{3};
    int64_t image_size = row_size * height;
    if (54 + image_size > 0x7FFFFFFF) return 0;

    HANDLE file = fault_injected(Fault::create_file)
                      ? INVALID_HANDLE_VALUE
                      : CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return 0;

    bool ok = true;
    auto write = [&](const void* data, DWORD count) {
        DWORD written = 0;
        if (ok && (fault_injected(Fault::write_file) || !WriteFile(file, data, count, &written, nullptr) ||
                   written != count))
            ok = false;
    };

    BITMAPFILEHEADER header = {};
    header.bfType = 0x4D42;  // "BM"
    header.bfSize = static_cast<DWORD>(54 + image_size);
    header.bfOffBits = 54;
    BITMAPINFOHEADER info = {};
    info.biSize = sizeof(info);
    info.biWidth = width;
    info.biHeight = height;
    info.biPlanes = 1;
    info.biBitCount = static_cast<WORD>(depth);
    info.biCompression = BI_RGB;
    info.biSizeImage = static_cast<DWORD>(image_size);
    static_assert(sizeof(BITMAPFILEHEADER) == 14 && sizeof(BITMAPINFOHEADER) == 40, "BMP header sizes");
    write(&header, sizeof(header));
    write(&info, sizeof(info));

    bool bottom_up = (flags & ROWS_BOTTOM_UP) != 0;
    if (pixel_depth == depth && bottom_up && pitch == row_size) {
        write(pixels, static_cast<DWORD>(image_size));
    } else {
        auto* row = static_cast<uint8_t*>(heap_alloc(main_heap(), static_cast<size_t>(row_size), true));
        if (!row) ok = false;
        int32_t source_bytes = pixel_depth / 8;
        int32_t file_bytes = depth / 8;
        for (int32_t r = 0; ok && r < height; ++r) {
            // The file's first row is the picture's bottom row.
            int32_t memory_row = bottom_up ? r : height - 1 - r;
            const uint8_t* from = pixels + static_cast<ptrdiff_t>(memory_row) * pitch;
            uint8_t* to = row;
            for (int32_t x = 0; x < width; ++x, from += source_bytes, to += file_bytes) {
                if (pixel_depth == 32) {
                    to[0] = over_white(from[3], from[0]);
                    to[1] = over_white(from[3], from[1]);
                    to[2] = over_white(from[3], from[2]);
                } else {
                    to[0] = from[0];
                    to[1] = from[1];
                    to[2] = from[2];
                }
                if (file_bytes == 4) to[3] = 0;
            }
            write(row, static_cast<DWORD>(row_size));
        }
        heap_free(main_heap(), row);
    }
    CloseHandle(file);
    if (!ok) {
        DeleteFileA(path);
        return 0;
    }
    return 1;
}
