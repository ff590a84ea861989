// bench_screen.h: the floor of every figure that ends on the screen, a bare
// copy of a 24-bit DIB section to a window's device context (Windows only).
//
// The picture is a view-like pattern so that the copy moves the same kind of
// pixels as the canvas does; the DC of the window is taken and released for
// each copy, as the canvas's own repaint does.
#pragma once

#include <windows.h>

#include <cstdint>

namespace bench {

class ScreenCopy {
public:
    ScreenCopy(int32_t width, int32_t height) : width_(width), height_(height)
    {
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = height;  // bottom-up, as the canvas's buffer
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 24;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        bitmap_ = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        memory_ = bitmap_ ? CreateCompatibleDC(nullptr) : nullptr;
        if (!memory_) return;
        previous_ = SelectObject(memory_, bitmap_);
        const int32_t pitch = (width * 3 + 3) & ~3;
        auto* pixels = static_cast<uint8_t*>(bits);
        for (int32_t y = 0; y < height; ++y)
            for (int32_t x = 0; x < width * 3; ++x)
                pixels[static_cast<size_t>(y) * pitch + x] = ((x / 3) ^ y) & 1 ? 255 : 0;
    }
    ScreenCopy(const ScreenCopy&) = delete;
    ScreenCopy& operator=(const ScreenCopy&) = delete;
    ~ScreenCopy()
    {
        if (memory_) {
            SelectObject(memory_, previous_);
            DeleteDC(memory_);
        }
        if (bitmap_) DeleteObject(bitmap_);
    }

    bool ready() const { return memory_ != nullptr; }

    // Copies the whole picture to the top left of the window's client area.
    bool copy_to(HWND window) const
    {
        HDC dc = GetDC(window);
        if (!dc) return false;
        const bool copied = BitBlt(dc, 0, 0, width_, height_, memory_, 0, 0, SRCCOPY) != 0;
        ReleaseDC(window, dc);
        return copied;
    }

private:
    int32_t width_;
    int32_t height_;
    HBITMAP bitmap_ = nullptr;
    HDC memory_ = nullptr;
    HGDIOBJ previous_ = nullptr;
};

}  // namespace bench
