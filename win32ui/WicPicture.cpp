#include "win32ui/WicPicture.h"

#include "archive/win32/Win32.h"
#include "session/preview/EntryPreview.h"

#include <wincodec.h>
#include <wrl/client.h>

#include <cstdio>
#include <string>

using Microsoft::WRL::ComPtr;

namespace {

// The reason a step of decoding failed, in the system's words; the system words few of the
// imaging component's codes, which are then given as their programmers know them.
std::string reasonOf(HRESULT result)
{
    const auto code = static_cast<DWORD>(result);
    const std::string text = archive::win32::errorText(code);
    if (text != "error " + std::to_string(code))
        return text;
    char hex[24];
    std::snprintf(hex, sizeof hex, "HRESULT 0x%08lX", static_cast<unsigned long>(code));
    return hex;
}

// Bits per pixel and palette size as the file stores them, not as decoded.
void storedFormat(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame, int& depth,
                  int& colors)
{
    WICPixelFormatGUID format{};
    ComPtr<IWICComponentInfo> info;
    ComPtr<IWICPixelFormatInfo> pixelInfo;
    UINT bits = 32;
    if (SUCCEEDED(frame.GetPixelFormat(&format)) &&
        SUCCEEDED(factory.CreateComponentInfo(format, &info)) && SUCCEEDED(info.As(&pixelInfo)))
        pixelInfo->GetBitsPerPixel(&bits);
    depth = static_cast<int>(bits);
    ComPtr<IWICPalette> palette;
    UINT count = 0;
    if (SUCCEEDED(factory.CreatePalette(&palette)) && SUCCEEDED(frame.CopyPalette(palette.Get())))
        palette->GetColorCount(&count);
    colors = static_cast<int>(count);
}

// The picture's first frame, decoded by whichever of the system's decoders knows the bytes.
// The stream reads the bytes in place; they outlive it.
HRESULT firstFrame(IWICImagingFactory& factory, const std::vector<unsigned char>& bytes,
                   ComPtr<IWICStream>& stream, ComPtr<IWICBitmapDecoder>& decoder,
                   ComPtr<IWICBitmapFrameDecode>& frame)
{
    HRESULT result = factory.CreateStream(&stream);
    if (SUCCEEDED(result))
        result = stream->InitializeFromMemory(const_cast<BYTE*>(bytes.data()),
                                              static_cast<DWORD>(bytes.size()));
    if (SUCCEEDED(result))
        result = factory.CreateDecoderFromStream(stream.Get(), nullptr,
                                                 WICDecodeMetadataCacheOnDemand, &decoder);
    if (SUCCEEDED(result))
        result = decoder->GetFrame(0, &frame);
    return result;
}

} // namespace

WicPicture WicPicture::decode(session::EntryPreview& preview)
{
    WicPicture picture;
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    HRESULT result = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_PPV_ARGS(&factory));
    if (SUCCEEDED(result))
        result = firstFrame(*factory.Get(), preview.bytes(), stream, decoder, frame);
    UINT width = 0;
    UINT height = 0;
    if (SUCCEEDED(result))
        result = frame->GetSize(&width, &height);
    if (FAILED(result)) {
        preview.pictureRefused(reasonOf(result));
        return picture;
    }
    if (!preview.admitsPicture(width, height))
        return picture;
    ComPtr<IWICFormatConverter> converter;
    result = factory->CreateFormatConverter(&converter);
    if (SUCCEEDED(result))
        result =
            converter->Initialize(frame.Get(), GUID_WICPixelFormat32bppBGRA,
                                  WICBitmapDitherTypeNone, nullptr, 0, WICBitmapPaletteTypeCustom);
    std::vector<unsigned char> pixels(std::size_t(width) * height * 4);
    if (SUCCEEDED(result))
        result = converter->CopyPixels(nullptr, width * 4, static_cast<UINT>(pixels.size()),
                                       pixels.data());
    if (FAILED(result) || pixels.empty()) {
        preview.pictureRefused(reasonOf(FAILED(result) ? result : WINCODEC_ERR_BADIMAGE));
        return picture;
    }
    int depth = 32;
    int colors = 0;
    storedFormat(*factory.Get(), *frame.Get(), depth, colors);
    picture.m_nWidth = static_cast<int>(width);
    picture.m_nHeight = static_cast<int>(height);
    picture.m_pixels = std::move(pixels);
    preview.pictureShown(picture.m_nWidth, picture.m_nHeight, depth, colors);
    return picture;
}

void WicPicture::draw(HDC dc, const RECT& area) const
{
    if (isEmpty())
        return;
    const auto placed = session::EntryPreview::placePicture(
        m_nWidth, m_nHeight, area.right - area.left, area.bottom - area.top);
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof(info.bmiHeader);
    info.bmiHeader.biWidth = m_nWidth;
    info.bmiHeader.biHeight = -m_nHeight; // top row first
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    // Smoothed when made smaller; enlarged pixels stay sharp.
    SetStretchBltMode(dc, placed.width < m_nWidth ? HALFTONE : COLORONCOLOR);
    SetBrushOrgEx(dc, 0, 0, nullptr);
    StretchDIBits(dc, area.left + placed.x, area.top + placed.y, placed.width, placed.height, 0, 0,
                  m_nWidth, m_nHeight, m_pixels.data(), &info, DIB_RGB_COLORS, SRCCOPY);
}
