#include "content/WaveFormat.h"

#include "archive/format/LittleEndian.h"

#include <algorithm>
#include <array>
#include <cstring>

namespace content {

namespace {

constexpr std::size_t kRiffHeaderBytes = 12;
constexpr std::size_t kChunkHeaderBytes = 8;
constexpr std::size_t kFormatFieldsBytes = 16;
constexpr std::uint16_t kMaxChannels = 8;
constexpr std::uint32_t kMaxSampleRate = 768000;
constexpr std::size_t kAdpcmChannelHeaderBytes = 4;

bool isId(const unsigned char* p, const char* id)
{
    return std::memcmp(p, id, 4) == 0;
}

WaveProblem readFormat(const unsigned char* p, std::uint32_t size, WaveFormat& format)
{
    if (size < kFormatFieldsBytes)
        return WaveProblem::formatChunkTooShort;
    format.encoding = archive::readLE16(p);
    format.channels = archive::readLE16(p + 2);
    format.sampleRate = archive::readLE32(p + 4);
    format.blockAlign = archive::readLE16(p + 12);
    format.bitsPerSample = archive::readLE16(p + 14);
    if (format.encoding != WaveFormat::kPcm && format.encoding != WaveFormat::kImaAdpcm)
        return WaveProblem::unsupportedEncoding;
    if (format.channels == 0 || format.channels > kMaxChannels)
        return WaveProblem::badChannelCount;
    if (format.sampleRate == 0 || format.sampleRate > kMaxSampleRate)
        return WaveProblem::badSampleRate;
    if (format.encoding == WaveFormat::kPcm) {
        if (format.bitsPerSample != 8 && format.bitsPerSample != 16)
            return WaveProblem::badBitsPerSample;
        if (format.blockAlign != format.channels * format.bitsPerSample / 8)
            return WaveProblem::badBlockAlign;
        format.samplesPerBlock = 1;
        return WaveProblem::none;
    }
    if (format.bitsPerSample != 4)
        return WaveProblem::badBitsPerSample;
    const std::size_t headers = kAdpcmChannelHeaderBytes * format.channels;
    // The nibbles come in runs of 4 bytes per channel after the block's headers.
    if (format.blockAlign <= headers || (format.blockAlign - headers) % headers != 0)
        return WaveProblem::badBlockAlign;
    format.samplesPerBlock =
        static_cast<std::uint32_t>((format.blockAlign - headers) * 2 / format.channels + 1);
    return WaveProblem::none;
}

// IMA ADPCM tables.
constexpr std::array<int, 89> kStepSizes = {
    7,     8,     9,     10,    11,    12,    13,    14,    16,    17,    19,   21,    23,
    25,    28,    31,    34,    37,    41,    45,    50,    55,    60,    66,   73,    80,
    88,    97,    107,   118,   130,   143,   157,   173,   190,   209,   230,  253,   279,
    307,   337,   371,   408,   449,   494,   544,   598,   658,   724,   796,  876,   963,
    1060,  1166,  1282,  1411,  1552,  1707,  1878,  2066,  2272,  2499,  2749, 3024,  3327,
    3660,  4026,  4428,  4871,  5358,  5894,  6484,  7132,  7845,  8630,  9493, 10442, 11487,
    12635, 13899, 15289, 16818, 18500, 20350, 22385, 24623, 27086, 29794, 32767};
constexpr std::array<int, 8> kIndexSteps = {-1, -1, -1, -1, 2, 4, 6, 8};

struct AdpcmChannel {
    int predictor = 0;
    int index = 0;

    std::int16_t next(unsigned nibble)
    {
        const int step = kStepSizes[static_cast<std::size_t>(index)];
        int diff = step >> 3;
        if (nibble & 1)
            diff += step >> 2;
        if (nibble & 2)
            diff += step >> 1;
        if (nibble & 4)
            diff += step;
        predictor += (nibble & 8) ? -diff : diff;
        predictor = std::clamp(predictor, -32768, 32767);
        index = std::clamp(index + kIndexSteps[nibble & 7], 0, 88);
        return static_cast<std::int16_t>(predictor);
    }
};

void forEachAdpcmSample(const WaveFormat& format, std::span<const unsigned char> data,
                        const SampleFn& sample)
{
    const unsigned channels = format.channels;
    const std::size_t headers = kAdpcmChannelHeaderBytes * channels;
    std::array<AdpcmChannel, kMaxChannels> state;
    // A last, shorter block still decodes as far as its whole runs go.
    for (std::size_t block = 0; block + headers <= data.size(); block += format.blockAlign) {
        const std::size_t blockEnd = std::min<std::size_t>(data.size(), block + format.blockAlign);
        const unsigned char* p = data.data() + block;
        for (unsigned c = 0; c < channels; ++c) {
            state[c].predictor = static_cast<std::int16_t>(archive::readLE16(p + 4 * c));
            // A hostile index is clamped rather than trusted as a table position.
            state[c].index = std::min<int>(p[4 * c + 2], 88);
            sample(c, static_cast<std::int16_t>(state[c].predictor));
        }
        std::array<std::int16_t, 8 * kMaxChannels> run;
        for (std::size_t at = block + headers; at + 4 * channels <= blockEnd; at += 4 * channels) {
            for (unsigned c = 0; c < channels; ++c)
                for (unsigned k = 0; k < 4; ++k) {
                    const unsigned char byte = data[at + 4 * c + k];
                    run[c * 8 + 2 * k] = state[c].next(byte & 0x0F);
                    run[c * 8 + 2 * k + 1] = state[c].next(byte >> 4);
                }
            for (unsigned k = 0; k < 8; ++k)
                for (unsigned c = 0; c < channels; ++c)
                    sample(c, run[c * 8 + k]);
        }
    }
}

} // namespace

std::uint64_t WaveFormat::frameCount() const
{
    if (blockAlign == 0)
        return 0;
    if (encoding == kPcm)
        return dataSize / blockAlign;
    const std::size_t headers = kAdpcmChannelHeaderBytes * channels;
    std::uint64_t frames = dataSize / blockAlign * samplesPerBlock;
    const std::uint64_t rest = dataSize % blockAlign;
    if (rest >= headers)
        frames += 1 + (rest - headers) / (4 * channels) * 8;
    return frames;
}

double WaveFormat::seconds() const
{
    return sampleRate == 0 ? 0.0 : static_cast<double>(frameCount()) / sampleRate;
}

WaveParse parseWave(std::span<const unsigned char> entry)
{
    WaveParse result;
    if (entry.size() < kRiffHeaderBytes || !isId(entry.data(), "RIFF") ||
        !isId(entry.data() + 8, "WAVE")) {
        result.problem = WaveProblem::notRiffWave;
        return result;
    }
    bool hasFormat = false;
    std::uint64_t at = kRiffHeaderBytes;
    // Chunks are walked within the entry; the RIFF size is often wrong in real files and is not
    // relied on.
    while (at + kChunkHeaderBytes <= entry.size()) {
        const unsigned char* header = entry.data() + at;
        const std::uint32_t size = archive::readLE32(header + 4);
        const std::uint64_t body = at + kChunkHeaderBytes;
        const bool isData = isId(header, "data");
        if (size > entry.size() - body) {
            result.problem = isData ? WaveProblem::dataPastEnd : WaveProblem::chunkPastEnd;
            return result;
        }
        if (isId(header, "fmt ")) {
            result.problem = readFormat(entry.data() + body, size, result.format);
            if (!result.isOk())
                return result;
            hasFormat = true;
        } else if (isData) {
            if (!hasFormat) {
                result.problem = WaveProblem::noFormatChunk;
                return result;
            }
            result.format.dataOffset = body;
            result.format.dataSize = size;
            return result;
        }
        at = body + size + (size & 1);
    }
    result.problem = hasFormat ? WaveProblem::noDataChunk : WaveProblem::noFormatChunk;
    return result;
}

void forEachSample(const WaveFormat& format, std::span<const unsigned char> entry,
                   const SampleFn& sample)
{
    if (format.dataOffset > entry.size() || format.channels == 0 || format.channels > kMaxChannels)
        return;
    const std::span<const unsigned char> data =
        entry.subspan(format.dataOffset,
                      std::min<std::uint64_t>(format.dataSize, entry.size() - format.dataOffset));
    const unsigned channels = format.channels;
    if (format.encoding == WaveFormat::kImaAdpcm) {
        if (format.blockAlign > 0)
            forEachAdpcmSample(format, data, sample);
        return;
    }
    if (format.bitsPerSample == 8) {
        const std::size_t count = data.size() / channels * channels;
        for (std::size_t i = 0; i < count; ++i)
            sample(static_cast<unsigned>(i % channels),
                   static_cast<std::int16_t>((int(data[i]) - 128) * 256));
    } else if (format.bitsPerSample == 16) {
        const std::size_t count = data.size() / 2 / channels * channels;
        for (std::size_t i = 0; i < count; ++i)
            sample(static_cast<unsigned>(i % channels),
                   static_cast<std::int16_t>(archive::readLE16(data.data() + 2 * i)));
    }
}

std::vector<std::vector<WavePeak>> wavePeaks(const WaveFormat& format,
                                             std::span<const unsigned char> entry, int columns)
{
    std::vector<std::vector<WavePeak>> peaks;
    const std::uint64_t frames = format.frameCount();
    if (columns <= 0 || format.channels == 0 || format.channels > kMaxChannels || frames == 0)
        return peaks;
    peaks.assign(format.channels, std::vector<WavePeak>(static_cast<std::size_t>(columns)));
    std::vector<std::uint64_t> seen(format.channels, 0);
    forEachSample(format, entry, [&](unsigned channel, std::int16_t value) {
        const std::uint64_t frame = seen[channel]++;
        const auto column = static_cast<std::size_t>(
            std::min<std::uint64_t>(frame * static_cast<std::uint64_t>(columns) / frames,
                                    static_cast<std::uint64_t>(columns - 1)));
        WavePeak& peak = peaks[channel][column];
        const float level = static_cast<float>(value) / 32768.0f;
        peak.low = std::min(peak.low, level);
        peak.high = std::max(peak.high, level);
    });
    return peaks;
}

} // namespace content
