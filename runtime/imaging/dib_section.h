// dib_section.h: every DIB section of the runtime is made here, so that tests
// can make the making fail.
#pragma once

#include <windows.h>

#include "faults.h"

inline HBITMAP create_dib_section(HDC dc, const BITMAPINFO* info, void** bits)
{
    *bits = nullptr;
    if (fault_injected(Fault::create_dib_section)) return nullptr;
    return CreateDIBSection(dc, info, DIB_RGB_COLORS, bits, nullptr, 0);
}
