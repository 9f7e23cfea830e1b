#pragma once

#include <span>
#include <vector>

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

namespace session {
class EntryPreview;
}

// A picture entry decoded by the system's imaging component (WIC) to 32-bit pixels, and drawn
// fitted to an area as the Linux preview fits it.
class WicPicture {
public:
    // Decodes the bytes of preview (a picture entry), telling it the size the decoder reads before
    // any pixel is decoded and then what came of it; empty when it was refused.
    static WicPicture decode(session::EntryPreview& preview);

    bool isEmpty() const { return m_pixels.empty(); }
    int width() const { return m_nWidth; }
    int height() const { return m_nHeight; }
    void draw(HDC dc, const RECT& area) const;

private:
    int m_nWidth = 0;
    int m_nHeight = 0;
    std::vector<unsigned char> m_pixels; // top row first, blue, green, red, alpha
};
