// Measures save_image of the 641 x 481 24-bit view image as JPEG at the
// default quality, as the viewer's "Save image.." does, against writing the
// same number of raw pixel bytes to a file in the same run.
#include <windows.h>

#include <cstdio>
#include <string>

#include "bench.h"
#include "drawing.h"
#include "heap.h"
#include "images.h"
#include "memory.h"
#include "registry.h"
#include "save.h"
#include "strings.h"

int main()
{
    if (!init_main_heap()) return 1;
    init_string_manager();
    init_image_plugins();
    init_graphics_helpers();
    init_images();
    init_drawing();
    if (!create_image(1, 641, 481, 24)) return 1;
    auto* record = static_cast<ImageRecord*>(find_object(image_table(), 1));
    DIBSECTION dib;
    GetObjectA(record->handle, sizeof(dib), &dib);
    auto* bits = static_cast<uint8_t*>(dib.dsBm.bmBits);
    // A view-like picture: 8 x 8 blocks of black and white with a red grid.
    int32_t pitch = row_pitch(641, 24);
    uint32_t seed = 12345;
    for (int32_t y = 0; y < 481; y += 8)
        for (int32_t x = 0; x < 641; x += 8) {
            seed = seed * 1103515245u + 12345u;
            uint8_t value = (seed >> 16) & 1 ? 255 : 0;
            for (int32_t dy = 0; dy < 8 && y + dy < 481; ++dy)
                for (int32_t dx = 0; dx < 8 && x + dx < 641; ++dx) {
                    uint8_t* p = bits + (y + dy) * pitch + (x + dx) * 3;
                    bool grid = dx == 7 || dy == 7;
                    p[0] = grid ? 0 : value;
                    p[1] = grid ? 0 : value;
                    p[2] = grid ? 255 : value;
                }
        }

    char temp[MAX_PATH];
    GetTempPathA(MAX_PATH, temp);
    std::string jpeg_path = std::string(temp) + "bitloupe-bench.jpg";
    std::string raw_path = std::string(temp) + "bitloupe-bench.raw";
    use_jpeg_encoder();
    int failures = 0;
    double jpeg_ns = bench::measure(31, [&] {
        if (!save_image(1, jpeg_path.c_str(), FORMAT_JPEG)) ++failures;
    });
    double raw_ns = bench::measure(31, [&] {
        FILE* file = std::fopen(raw_path.c_str(), "wb");
        if (file) {
            std::fwrite(bits, 1, static_cast<size_t>(pitch) * 481, file);
            std::fclose(file);
        }
    });
    bench::report("save_image 641x481 JPEG quality 7 (median)", jpeg_ns / 1e6, "ms");
    bench::report("fwrite of the same pixel bytes (median)", raw_ns / 1e6, "ms");
    bench::report("ratio", jpeg_ns / raw_ns, "x");
    DeleteFileA(jpeg_path.c_str());
    DeleteFileA(raw_path.c_str());
    free_all_images();
    return failures ? 1 : 0;
}
