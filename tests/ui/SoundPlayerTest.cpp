#include "ui/preview/SoundPlayer.h"
#include "content/WaveFormat.h"
#include "tests/support/WaveSamples.h"

#include <QCoreApplication>

#include <gtest/gtest.h>

#include <algorithm>
#include <span>
#include <string>

using testsupport::WaveImage;

namespace {

std::span<const unsigned char> span(const std::string& s)
{
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

// The most a null sink was found to drop of a sound stopped as soon as its output went idle.
constexpr int kLongestCutMs = 190;

TEST(SoundPlayerOutput, HandsOverTheWholeSoundThenSilenceForWhatTheOutputStillHolds)
{
    auto eightBit = [] {
        std::string samples;
        for (int i = 0; i < 4000; ++i)
            samples += static_cast<char>(i % 2 ? 0xFF : 0x00);
        return samples;
    };
    const struct {
        const char* what;
        std::uint16_t channels;
        std::uint32_t rate;
        std::uint16_t bits;
        std::string samples;
        std::string expected; // the sound as 16-bit PCM
    } cases[] = {
        {"1.00 s stereo", 2, 8000, 16, testsupport::sineSamples16(8000, 2, 1.0),
         testsupport::sineSamples16(8000, 2, 1.0)},
        {"2.00 s mono", 1, 22050, 16, testsupport::sineSamples16(22050, 1, 2.0),
         testsupport::sineSamples16(22050, 1, 2.0)},
        {"8-bit, full swing to its last frame", 1, 8000, 8, eightBit(),
         [] {
             std::string out;
             for (int i = 0; i < 4000; ++i)
                 out += i % 2 ? std::string("\x00\x7F", 2) : std::string("\x00\x80", 2);
             return out;
         }()},
    };
    for (const auto& c : cases) {
        WaveImage w;
        w.channels = c.channels;
        w.sampleRate = c.rate;
        w.bitsPerSample = c.bits;
        w.samples = c.samples;
        const std::string entry = w.bytes();
        const content::WaveParse parse = content::parseWave(span(entry));
        ASSERT_TRUE(parse.isOk()) << c.what;
        const QByteArray out = SoundPlayer::outputBytes(parse.format, span(entry));
        ASSERT_GE(static_cast<std::size_t>(out.size()), c.expected.size()) << c.what;
        EXPECT_EQ(out.left(static_cast<qsizetype>(c.expected.size())).toStdString(), c.expected)
            << c.what;
        const QByteArray tail = out.mid(static_cast<qsizetype>(c.expected.size()));
        EXPECT_TRUE(std::all_of(tail.begin(), tail.end(), [](char b) { return b == 0; })) << c.what;
        const auto bytesPerMs = static_cast<qsizetype>(c.rate) * c.channels * 2 / 1000.0;
        EXPECT_GE(tail.size(), (SoundPlayer::kOutputBufferMs + kLongestCutMs) * bytesPerMs)
            << c.what;
    }
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
