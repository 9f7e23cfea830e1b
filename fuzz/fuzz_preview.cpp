// Drives the content sniffing, the BMP and WAVE header parsers and the sample walk over arbitrary
// bytes, as an entry's content.

#include "content/BmpHeader.h"
#include "content/ContentKind.h"
#include "content/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const unsigned char> bytes(data, size);
    content::sniffContent(bytes);
    if (const auto bmp = content::readBmpHeader(bytes)) {
        // The preview compares this claim with its decoding limit: it must never wrap.
        if (bmp->height < 0 || bmp->colors < 0 || bmp->colors > 256 ||
            (bmp->decodedBytes() != 0 &&
             bmp->decodedBytes() / 4 / std::uint64_t(bmp->width) != std::uint64_t(bmp->height)))
            std::abort();
    }
    const content::WaveParse parse = content::parseWave(bytes);
    if (!parse.isOk())
        return 0;
    const content::WaveFormat& format = parse.format;
    if (format.dataOffset + format.dataSize > size)
        std::abort();
    std::uint64_t samples = 0;
    content::forEachSample(format, bytes, [&](unsigned channel, std::int16_t) {
        if (channel >= format.channels)
            std::abort();
        ++samples;
    });
    // The walk yields whole frames, as many as the header promises.
    if (samples != format.frameCount() * format.channels)
        std::abort();
    const auto peaks = content::wavePeaks(format, bytes, 64);
    for (const auto& channel : peaks)
        for (const content::WavePeak& peak : channel)
            if (peak.low < -1.0f || peak.high > 1.0f || peak.low > peak.high)
                std::abort();
    return 0;
}
