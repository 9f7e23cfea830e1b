#pragma once

// RIFF WAVE images assembled field by field, so a test can make any header lie exactly.

#include <cmath>
#include <cstdint>
#include <numbers>
#include <string>

namespace testsupport {

inline void putLE16(std::string& out, std::uint16_t v)
{
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

inline void putLE32Wave(std::string& out, std::uint32_t v)
{
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

struct WaveImage {
    std::uint16_t encoding = 1;
    std::uint16_t channels = 2;
    std::uint32_t sampleRate = 44100;
    std::uint16_t bitsPerSample = 16;
    std::int64_t blockAlign = -1;    // -1: channels * bits / 8
    std::int64_t formatSize = -1;    // -1: 16
    std::int64_t dataSizeField = -1; // -1: the real size
    std::string extraChunk;          // a whole chunk put before "fmt "
    std::string samples;

    std::string bytes() const
    {
        const auto align = blockAlign >= 0
                               ? static_cast<std::uint16_t>(blockAlign)
                               : static_cast<std::uint16_t>(channels * bitsPerSample / 8);
        std::string fmt;
        putLE16(fmt, encoding);
        putLE16(fmt, channels);
        putLE32Wave(fmt, sampleRate);
        putLE32Wave(fmt, sampleRate * align);
        putLE16(fmt, align);
        putLE16(fmt, bitsPerSample);
        std::string body = "WAVE" + extraChunk + "fmt ";
        putLE32Wave(body, formatSize >= 0 ? static_cast<std::uint32_t>(formatSize) : 16u);
        body += fmt;
        body += "data";
        putLE32Wave(body, dataSizeField >= 0 ? static_cast<std::uint32_t>(dataSizeField)
                                             : static_cast<std::uint32_t>(samples.size()));
        body += samples;
        std::string out = "RIFF";
        putLE32Wave(out, static_cast<std::uint32_t>(body.size()));
        return out + body;
    }
};

// A sine of the given frequency on every channel, 16-bit, at amplitude (0..1) of full scale.
inline std::string sineSamples16(std::uint32_t rate, unsigned channels, double seconds,
                                 double frequency = 440, double amplitude = 0.5)
{
    std::string out;
    const auto frames = static_cast<std::uint64_t>(rate * seconds);
    out.reserve(frames * channels * 2);
    for (std::uint64_t i = 0; i < frames; ++i) {
        const auto v = static_cast<std::int16_t>(std::lround(
            amplitude * 32767 * std::sin(2 * std::numbers::pi * frequency * double(i) / rate)));
        for (unsigned c = 0; c < channels; ++c)
            putLE16(out, static_cast<std::uint16_t>(v));
    }
    return out;
}

} // namespace testsupport
