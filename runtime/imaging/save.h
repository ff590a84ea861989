// save.h: saving images to files: the built-in BMP writer and a table of
// encoders known by format code, among them the JPEG encoder on libjpeg.
#pragma once

#include <cstdint>

constexpr uint32_t FORMAT_BMP = 0;
constexpr uint32_t FORMAT_JPEG = 0x4745504A;  // "JPEG", 'J' in the low byte
constexpr int32_t ROWS_BOTTOM_UP = 2;        // flag: the first row in memory is the bottom row
constexpr int32_t DEFAULT_SAVE_QUALITY = 7;  // the caller's scale; JPEG: 0 to 10
constexpr int32_t MAX_IMAGE_ENCODERS = 30;

using EncodeOperation = int32_t (*)(const char* path, const uint8_t* pixels, int32_t width, int32_t height,
                                    int32_t pitch, int32_t flags, int32_t quality, int32_t depth);

struct ImageEncoder {
    uint32_t format;
    EncodeOperation encode_24;  // required
    EncodeOperation encode_32;  // or null: 32-bit pixels are composited over white first
};

void init_image_plugins();
// Appends to the encoder table. Returns 1, or 0 when the table is full or the
// encoder has no encode_24.
int32_t register_image_encoder(const ImageEncoder* encoder);
void use_jpeg_encoder();
int32_t image_encoder_count();

// 1 on success, 0 on failure. Depth -1 means the image's source depth.
int32_t save_image(int32_t number, const char* path, uint32_t format, int32_t quality = DEFAULT_SAVE_QUALITY,
                   int32_t depth = -1);
int32_t save_pixels(const char* path, const uint8_t* pixels, uint32_t format, int32_t width, int32_t height,
                    int32_t pitch, int32_t pixel_depth, int32_t flags, int32_t quality, int32_t depth);
int32_t write_bmp(const char* path, const uint8_t* pixels, int32_t pitch, int32_t width, int32_t height,
                  int32_t pixel_depth, int32_t flags, int32_t quality, int32_t depth);
int32_t encode_jpeg(const char* path, const uint8_t* pixels, int32_t width, int32_t height, int32_t pitch,
                    int32_t flags, int32_t quality, int32_t depth);
