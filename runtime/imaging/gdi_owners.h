// gdi_owners.h: scoped owners of the GDI resources a function makes and frees
// itself: a memory DC, an object selected into a DC, a GDI object, a window's
// DC. Each frees what it holds when it goes out of scope, in the reverse order
// of declaration, so declare the object first, then the DC, then the selection:
// the selection is undone before the DC goes, and the DC goes before the
// object it held. release() hands a handle over to a longer-lived record.
//
// The owners are move-only, throw nothing, and hold nothing when the making
// failed (test with operator bool).
#pragma once

#include <windows.h>

// Frees one handle with `Deleter::free` when the owner goes out of scope.
template <typename Handle, typename Deleter>
class ScopedGdiHandle {
public:
    ScopedGdiHandle() = default;
    explicit ScopedGdiHandle(Handle handle) : handle_(handle) {}
    ~ScopedGdiHandle() { reset(); }
    ScopedGdiHandle(ScopedGdiHandle&& other) noexcept : handle_(other.release()) {}
    ScopedGdiHandle& operator=(ScopedGdiHandle&& other) noexcept
    {
        if (this != &other) {
            reset();
            handle_ = other.release();
        }
        return *this;
    }
    ScopedGdiHandle(const ScopedGdiHandle&) = delete;
    ScopedGdiHandle& operator=(const ScopedGdiHandle&) = delete;

    Handle get() const { return handle_; }
    explicit operator bool() const { return handle_ != nullptr; }
    // Gives the handle up without freeing it.
    Handle release()
    {
        Handle handle = handle_;
        handle_ = nullptr;
        return handle;
    }
    void reset()
    {
        if (handle_) Deleter::free(handle_);
        handle_ = nullptr;
    }

private:
    Handle handle_ = nullptr;
};

struct DeleteDcFree {
    static void free(HDC dc) { DeleteDC(dc); }
};

template <typename Handle>
struct DeleteObjectFree {
    static void free(Handle object) { DeleteObject(object); }
};

// A memory DC compatible with `dc` (the screen when null), deleted at the end.
class MemoryDc : public ScopedGdiHandle<HDC, DeleteDcFree> {
public:
    explicit MemoryDc(HDC dc = nullptr) : ScopedGdiHandle(CreateCompatibleDC(dc)) {}
};

// A GDI object (bitmap, font, brush) deleted at the end. It must no longer be
// selected into any DC by then.
template <typename Handle = HGDIOBJ>
using OwnedObject = ScopedGdiHandle<Handle, DeleteObjectFree<Handle>>;

// An object selected into a DC; the DC's previous object is selected back at
// the end. Holds nothing when either is null or the selection fails.
class Selection {
public:
    Selection(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr)
    {
        if (!previous_) dc_ = nullptr;
    }
    ~Selection()
    {
        if (previous_) SelectObject(dc_, previous_);
    }
    Selection(Selection&& other) noexcept : dc_(other.dc_), previous_(other.previous_)
    {
        other.dc_ = nullptr;
        other.previous_ = nullptr;
    }
    Selection& operator=(Selection&&) = delete;
    Selection(const Selection&) = delete;
    Selection& operator=(const Selection&) = delete;

    explicit operator bool() const { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};

// The DC of a window's client area (GetDC), released at the end. Made without
// a window it holds nothing (it never stands for the screen's DC).
class WindowDc {
public:
    WindowDc() = default;
    explicit WindowDc(HWND window) : window_(window), dc_(window ? GetDC(window) : nullptr) {}
    ~WindowDc()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    WindowDc(WindowDc&& other) noexcept : window_(other.window_), dc_(other.dc_)
    {
        other.window_ = nullptr;
        other.dc_ = nullptr;
    }
    WindowDc& operator=(WindowDc&&) = delete;
    WindowDc(const WindowDc&) = delete;
    WindowDc& operator=(const WindowDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_ = nullptr;
    HDC dc_ = nullptr;
};
