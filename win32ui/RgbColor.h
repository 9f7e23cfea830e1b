#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// A colour of res/ (0xRRGGBB) as GDI takes it.
inline COLORREF rgbColor(unsigned rgb)
{
    return RGB((rgb >> 16) & 0xff, (rgb >> 8) & 0xff, rgb & 0xff);
}
