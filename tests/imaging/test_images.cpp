// Tests of the image objects and of the GDI side of the drawing context, on
// real DIB sections and device bitmaps.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cstring>

#include "drawing.h"
#include "images.h"
#include "registry.h"

namespace {

class ImagingEnvironment : public testing::Environment {
public:
    void SetUp() override
    {
        init_drawing();
        init_images();
        init_graphics_helpers();
    }
};
testing::Environment* const g_environment = testing::AddGlobalTestEnvironment(new ImagingEnvironment);

ImageRecord* record(int32_t number)
{
    return static_cast<ImageRecord*>(find_object(image_table(), number));
}

DIBSECTION describe(HGDIOBJ bitmap)
{
    DIBSECTION dib{};
    EXPECT_EQ(GetObjectA(bitmap, sizeof(dib), &dib), static_cast<int>(sizeof(DIBSECTION)));
    return dib;
}

// Pixel x, y (y from the top) of a bottom-up DIB section.
uint8_t* pixel(HGDIOBJ bitmap, int32_t x, int32_t y)
{
    DIBSECTION dib = describe(bitmap);
    return static_cast<uint8_t*>(dib.dsBm.bmBits) + (dib.dsBm.bmHeight - 1 - y) * dib.dsBm.bmWidthBytes +
           x * dib.dsBm.bmBitsPixel / 8;
}

// The colour of an image's pixel, in the COLORREF layout that RGB() makes.
COLORREF at(int32_t number, int32_t x, int32_t y)
{
    const uint8_t* p = pixel(record(number)->handle, x, y);
    return RGB(p[2], p[1], p[0]);
}

bool begin(int32_t number, int32_t width, int32_t height)
{
    return create_image(number, width, height, 24) && start_drawing(image_output(number));
}

}  // namespace

TEST(Images, CreateGivesClearedBottomUpDibSections)
{
    intptr_t handle = create_image(1, 641, 481, 24);
    ASSERT_NE(handle, 0);
    ASSERT_EQ(reinterpret_cast<intptr_t>(record(1)->handle), handle);
    DIBSECTION dib = describe(record(1)->handle);
    EXPECT_EQ(dib.dsBm.bmBitsPixel, 24);
    EXPECT_EQ(dib.dsBm.bmWidthBytes, 1924);
    auto* bytes = static_cast<uint8_t*>(dib.dsBm.bmBits);
    EXPECT_EQ(std::count(bytes, bytes + 1924 * 481, 0), 1924 * 481);
    // Bottom-up: GDI's bottom-left pixel is the first in memory.
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, record(1)->handle);
    SetPixel(dc, 0, 480, RGB(1, 2, 3));
    GdiFlush();
    SelectObject(dc, old);
    DeleteDC(dc);
    EXPECT_EQ(bytes[0] + bytes[1] * 256 + bytes[2] * 65536, 0x010203);
    EXPECT_EQ(record(1)->width, 641);
    EXPECT_EQ(record(1)->height, 481);
    EXPECT_EQ(record(1)->depth, 24);
    EXPECT_EQ(record(1)->source_depth, 24);

    ASSERT_NE(create_image(2, 3, 2, 8), 0);
    EXPECT_EQ(describe(record(2)->handle).dsBm.bmBitsPixel, 24);
    EXPECT_EQ(record(2)->depth, 24);

    ASSERT_NE(create_image(3, 5, 3, 32), 0);
    ASSERT_NE(create_image(4, 5, 3, 32 + IMAGE_TRANSPARENT), 0);
    EXPECT_EQ(record(4)->depth, 32);
    for (int i = 0; i < 15; ++i) {
        uint32_t opaque, clear;
        std::memcpy(&opaque, pixel(record(3)->handle, i % 5, i / 5), 4);
        std::memcpy(&clear, pixel(record(4)->handle, i % 5, i / 5), 4);
        EXPECT_EQ(opaque, 0xFF000000u);
        EXPECT_EQ(clear, 0u);
    }
    free_all_images();
    EXPECT_EQ(record(1), nullptr);
    EXPECT_EQ(record(4), nullptr);
}

TEST(Images, NumbersSizesAndReuse)
{
    EXPECT_EQ(create_image(1, 32768, 10, 24), 0);
    EXPECT_EQ(create_image(1, 0, 10, 24), 0);
    EXPECT_EQ(record(1), nullptr);

    intptr_t dynamic = create_image(ANY_NUMBER, 4, 4, 24);
    ASSERT_GE(dynamic, FIRST_DYNAMIC_NUMBER);
    ASSERT_NE(record(static_cast<int32_t>(dynamic)), nullptr);
    free_image(static_cast<int32_t>(dynamic));
    EXPECT_EQ(record(static_cast<int32_t>(dynamic)), nullptr);

    // Reusing a number frees the old bitmap; a failed reuse leaves no image.
    auto first = reinterpret_cast<HGDIOBJ>(create_image(1, 4, 4, 24));
    ASSERT_NE(first, nullptr);
    ASSERT_NE(create_image(1, 4, 4, 24), 0);
    EXPECT_EQ(GetObjectType(first), 0u);
    HGDIOBJ second = record(1)->handle;
    EXPECT_EQ(create_image(1, 0, 4, 24), 0);
    EXPECT_EQ(record(1), nullptr);
    EXPECT_EQ(GetObjectType(second), 0u);

    ASSERT_NE(create_image(2, 4, 4, 24), 0);
    free_image(ANY_NUMBER);
    free_image(77);
    EXPECT_NE(record(2), nullptr);
    EXPECT_EQ(image_output(77), nullptr);
    free_image(2);
}

TEST(ImageOutput, DrawsIntoThePixelsAndRestoresTheBatchLimit)
{
    const DWORD batch_limit = GdiGetBatchLimit();
    ASSERT_TRUE(begin(1, 10, 5));
    EXPECT_EQ(GdiGetBatchLimit(), 1u);
    draw_box(1, 1, 2, 1, rgb(255, 0, 0));
    stop_drawing();
    EXPECT_EQ(GdiGetBatchLimit(), batch_limit);
    EXPECT_EQ(at(1, 1, 1), RGB(255, 0, 0));
    EXPECT_EQ(at(1, 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(at(1, 3, 1), 0u);
    EXPECT_EQ(at(1, 1, 2), 0u);
    free_image(1);
}

TEST(DrawImage, CopiesDibSectionsExactly)
{
    HGDIOBJ canvas = create_dib(641, 481, 24);
    auto* bytes = static_cast<uint8_t*>(describe(canvas).dsBm.bmBits);
    uint32_t state = 12345;
    for (int i = 0; i < 1924 * 481; ++i) {
        state = state * 1103515245u + 12345u;
        bytes[i] = static_cast<uint8_t>(state >> 16);
    }
    ASSERT_TRUE(begin(1, 641, 481));
    draw_image(canvas, 0, 0);
    draw_image(nullptr, 5, 5);
    stop_drawing();
    for (int y = 0; y < 481; ++y)
        ASSERT_EQ(std::memcmp(pixel(record(1)->handle, 0, y), pixel(canvas, 0, y), 641 * 3), 0) << "row " << y;

    // Placed at x = -10, columns 10 onward land on columns 0 onward.
    ASSERT_TRUE(begin(1, 641, 481));
    draw_image(canvas, -10, 0);
    stop_drawing();
    for (int y = 0; y < 481; y += 60) {
        EXPECT_EQ(std::memcmp(pixel(record(1)->handle, 0, y), pixel(canvas, 10, y), 631 * 3), 0) << "row " << y;
        EXPECT_EQ(at(1, 631, y), 0u);
    }
    DeleteObject(canvas);

    // Top-down and 8-bit sections are converted and keep their orientation.
    for (WORD depth : {8, 24}) {
        struct {
            BITMAPINFOHEADER header;
            RGBQUAD colours[256];
        } info{};
        info.header = {sizeof(BITMAPINFOHEADER), 4, -3, 1, depth, BI_RGB, 0, 0, 0, 0, 0};
        for (int i = 0; i < 256; ++i) info.colours[i] = {static_cast<BYTE>(i), 0, static_cast<BYTE>(255 - i), 0};
        void* bits = nullptr;
        HBITMAP top_down =
            CreateDIBSection(nullptr, reinterpret_cast<BITMAPINFO*>(&info), DIB_RGB_COLORS, &bits, nullptr, 0);
        ASSERT_NE(top_down, nullptr);
        // Rows of 4 pixels: 4 bytes at 8 bits, 12 bytes at 24.
        for (int y = 0; y < 3; ++y) {
            const auto value = static_cast<uint8_t>(50 * (y + 1));
            const uint8_t colour[3] = {value, 0, static_cast<uint8_t>(255 - value)};
            for (int x = 0; x < 4; ++x)
                std::memcpy(static_cast<uint8_t*>(bits) + y * depth / 2 + x * depth / 8, colour, depth / 8);
        }
        ASSERT_TRUE(begin(1, 6, 6));
        draw_image(top_down, 1, 2);
        stop_drawing();
        DeleteObject(top_down);
        for (int y = 0; y < 3; ++y) {
            const COLORREF expected = RGB(205 - 50 * y, 0, 50 * (y + 1));
            EXPECT_EQ(at(1, 1, 2 + y), expected) << "depth " << depth << ", row " << y;
            EXPECT_EQ(at(1, 4, 2 + y), expected) << "depth " << depth << ", row " << y;
            EXPECT_EQ(at(1, 5, 2 + y), 0u);
        }
    }
    free_image(1);
}

TEST(DrawImage, DeviceBitmapsIconsAndScaling)
{
    HDC screen = GetDC(nullptr);
    HBITMAP device = CreateCompatibleBitmap(screen, 8, 6);
    ReleaseDC(nullptr, screen);
    ASSERT_NE(device, nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, device);
    HBRUSH brush = CreateSolidBrush(RGB(10, 200, 30));
    RECT all = {0, 0, 8, 6};
    FillRect(dc, &all, brush);
    SelectObject(dc, old);
    const COLORREF green = RGB(10, 200, 30);

    ASSERT_TRUE(begin(1, 16, 10));
    draw_image(device, 2, 1);
    draw_image_sized(device, 11, 2, 3, 7);
    stop_drawing();
    EXPECT_EQ(at(1, 2, 1), green);
    EXPECT_EQ(at(1, 9, 6), green);
    EXPECT_EQ(at(1, 1, 1), 0u);
    EXPECT_EQ(at(1, 2, 7), 0u);
    EXPECT_EQ(at(1, 11, 2), green);
    EXPECT_EQ(at(1, 13, 8), green);
    EXPECT_EQ(at(1, 14, 8), 0u);
    EXPECT_EQ(at(1, 13, 9), 0u);

    // An icon is opaque where its AND mask is clear and leaves the rest alone.
    const uint8_t mask_rows[6][2] = {{0x0F, 0}, {0x0F, 0}, {0x0F, 0}, {0x0F, 0}, {0x0F, 0}, {0x0F, 0}};
    HBITMAP mask = CreateBitmap(8, 6, 1, 1, mask_rows);
    ICONINFO parts = {TRUE, 0, 0, mask, device};
    HICON icon = CreateIconIndirect(&parts);
    ASSERT_NE(icon, nullptr);
    ASSERT_TRUE(begin(1, 10, 8));
    draw_box(0, 0, 10, 8, rgb(0, 0, 255));
    draw_image(icon, 1, 1);
    stop_drawing();
    EXPECT_EQ(at(1, 1, 1), green);
    EXPECT_EQ(at(1, 4, 6), green);
    EXPECT_EQ(at(1, 5, 1), RGB(0, 0, 255));
    EXPECT_EQ(at(1, 0, 1), RGB(0, 0, 255));

    DestroyIcon(icon);
    DeleteObject(mask);
    DeleteObject(brush);
    DeleteObject(device);
    DeleteDC(dc);
    free_image(1);
}

namespace {

// Counts lit pixels of image 1 inside and outside a box, within a region
// starting at the top-left corner.
void count_lit(int region_width, int region_height, RECT box, int* inside, int* outside)
{
    *inside = *outside = 0;
    for (int y = 0; y < region_height; ++y)
        for (int x = 0; x < region_width; ++x)
            if (at(1, x, y)) ++(x >= box.left && x < box.right && y >= box.top && y < box.bottom ? *inside : *outside);
}

}  // namespace

TEST(Text, LightsPixelsInsideItsBoxOnly)
{
    ASSERT_TRUE(begin(1, 200, 80));
    const int32_t width = text_width("Hi");
    const int32_t height = text_height("Hi");
    EXPECT_GT(width, 0);
    EXPECT_GT(height, 0);
    set_front_colour(0xFFFFFF);
    EXPECT_EQ(draw_text(10, 20, "Hi"), 10 + width);
    draw_text(190, 75, "Hi");  // clipped at the right and the bottom
    stop_drawing();
    int inside, outside;
    count_lit(185, 70, {10, 20, 10 + width, 20 + height}, &inside, &outside);
    EXPECT_GT(inside, 0);
    EXPECT_LT(inside, width * height);  // not the whole box
    EXPECT_EQ(outside, 0);

    // Turned by 90 degrees the text runs upward from its origin.
    ASSERT_TRUE(begin(1, 100, 100));
    set_front_colour(0xFFFFFF);
    draw_text_rotated(40, 80, "Hi", 450.0f);
    stop_drawing();
    count_lit(100, 100, {40, 80 - width, 40 + height, 80}, &inside, &outside);
    EXPECT_GT(inside, 0);
    EXPECT_LT(inside, width * height);  // not the whole box
    EXPECT_EQ(outside, 0);
    free_image(1);
}

TEST(GrabImage, CopiesTheClippedRegion)
{
    ASSERT_TRUE(begin(1, 20, 10));
    draw_box(2, 3, 4, 2, rgb(255, 0, 0));
    EXPECT_NE(grab_image(2, -1, 2, 8, 20), 0);
    EXPECT_EQ(grab_image(1, 0, 0, 5, 5), 0);  // the image being drawn on
    EXPECT_EQ(grab_image(3, 20, 0, 5, 5), 0);
    const intptr_t dynamic = grab_image(ANY_NUMBER, 0, 0, 1, 1);
    stop_drawing();

    ASSERT_NE(record(2), nullptr);
    EXPECT_EQ(record(2)->width, 7);
    EXPECT_EQ(record(2)->height, 8);
    EXPECT_EQ(at(2, 2, 1), RGB(255, 0, 0));
    EXPECT_EQ(at(2, 5, 2), RGB(255, 0, 0));
    EXPECT_EQ(at(2, 6, 2), 0u);
    EXPECT_EQ(at(2, 2, 3), 0u);
    EXPECT_NE(record(1), nullptr);
    EXPECT_EQ(record(3), nullptr);
    EXPECT_NE(record(static_cast<int32_t>(dynamic)), nullptr);
    free_all_images();
}

TEST(GraphicsHelpers, AlphaChannel)
{
    ASSERT_NE(alpha_blend_function(), nullptr);
    HGDIOBJ deep = create_dib(2, 2, 32);
    HGDIOBJ flat = create_dib(2, 2, 24);
    EXPECT_EQ(has_alpha_channel(deep), 1);
    EXPECT_EQ(has_alpha_channel(flat), 0);
    EXPECT_EQ(has_alpha_channel(nullptr), 0);
    DeleteObject(deep);
    DeleteObject(flat);
}
