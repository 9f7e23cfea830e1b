// Drives the content sniffing, the WAVE header parser and the sample walk over arbitrary bytes,
// as an entry's content.

#include "ui/preview/ContentKind.h"
#include "ui/preview/WaveFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::span<const unsigned char> bytes(data, size);
    preview::sniffContent(bytes);
    const preview::WaveParse parse = preview::parseWave(bytes);
    if (!parse.isOk())
        return 0;
    const preview::WaveFormat& format = parse.format;
    if (format.dataOffset + format.dataSize > size)
        std::abort();
    std::uint64_t samples = 0;
    preview::forEachSample(format, bytes, [&](unsigned channel, std::int16_t) {
        if (channel >= format.channels)
            std::abort();
        ++samples;
    });
    // The walk yields whole frames, as many as the header promises.
    if (samples != format.frameCount() * format.channels)
        std::abort();
    const auto peaks = preview::wavePeaks(format, bytes, 64);
    for (const auto& channel : peaks)
        for (const preview::WavePeak& peak : channel)
            if (peak.low < -1.0f || peak.high > 1.0f || peak.low > peak.high)
                std::abort();
    return 0;
}
