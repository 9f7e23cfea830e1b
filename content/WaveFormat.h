#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <vector>

namespace content {

// The header of a RIFF WAVE entry, every size checked against the bytes at hand, so a chunk that
// claims more than the entry holds is reported instead of read.
struct WaveFormat {
    static constexpr std::uint16_t kPcm = 1;
    static constexpr std::uint16_t kImaAdpcm = 0x11;

    std::uint16_t encoding = 0;
    std::uint16_t channels = 0;
    std::uint32_t sampleRate = 0;
    std::uint16_t blockAlign = 0;
    std::uint16_t bitsPerSample = 0;
    std::uint32_t samplesPerBlock = 0; // frames in one ADPCM block; 1 for PCM
    std::uint64_t dataOffset = 0;      // of the sample data, inside the entry
    std::uint64_t dataSize = 0;

    std::uint64_t frameCount() const;
    double seconds() const;
};

enum class WaveProblem {
    none,
    notRiffWave,         // no "RIFF" ... "WAVE" header
    chunkPastEnd,        // a chunk claims more bytes than follow it
    noFormatChunk,       // no "fmt " chunk before the end
    formatChunkTooShort, // "fmt " smaller than its fixed fields
    unsupportedEncoding, // neither PCM nor IMA ADPCM
    badChannelCount,
    badSampleRate,
    badBitsPerSample,
    badBlockAlign, // block size does not match channels and bits
    noDataChunk,
    dataPastEnd, // the "data" chunk claims more bytes than the entry holds
};

struct WaveParse {
    WaveProblem problem = WaveProblem::none;
    WaveFormat format;

    bool isOk() const { return problem == WaveProblem::none; }
};

WaveParse parseWave(std::span<const unsigned char> entry);

// Calls sample(channel, value) for every sample of the data chunk in order, as signed 16-bit
// values (8-bit PCM is centred and widened, IMA ADPCM decoded). format must come from parseWave
// over the same bytes.
using SampleFn = std::function<void(unsigned channel, std::int16_t value)>;
void forEachSample(const WaveFormat& format, std::span<const unsigned char> entry,
                   const SampleFn& sample);

// The lowest and highest sample of each channel in each of columns equal slices of the sound,
// as fractions of full scale in [-1, 1]: peaks[channel][column].
struct WavePeak {
    float low = 0;
    float high = 0;
};
std::vector<std::vector<WavePeak>> wavePeaks(const WaveFormat& format,
                                             std::span<const unsigned char> entry, int columns);

} // namespace content
