#include "content/BmpHeader.h"
#include "content/ContentKind.h"
#include "content/WaveFormat.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveSamples.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <span>
#include <string>

using content::ContentKind;
using content::WaveProblem;
using testsupport::WaveImage;
using namespace std::string_literals;

namespace {

std::span<const unsigned char> span(const std::string& s)
{
    return {reinterpret_cast<const unsigned char*>(s.data()), s.size()};
}

WaveImage pcm(std::uint16_t channels, std::uint16_t bits, std::string samples)
{
    WaveImage w;
    w.channels = channels;
    w.bitsPerSample = bits;
    w.samples = std::move(samples);
    return w;
}

TEST(ContentSniffing, TellsTheKindFromTheBytesAlone)
{
    const std::string wave = pcm(1, 16, std::string(8, '\0')).bytes();
    const struct {
        const char* what;
        std::string bytes;
        ContentKind kind;
    } cases[] = {
        {"empty", "", ContentKind::binary},
        {"bmp", "BM" + std::string(60, '\0'), ContentKind::picture},
        {"two letters BM only", "BM", ContentKind::text},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8) + "rest", ContentKind::picture},
        {"gif", "GIF89a....", ContentKind::picture},
        {"jpeg", "\xFF\xD8\xFF\xE0 rest", ContentKind::picture},
        {"tiff", std::string("II*\0", 4) + "x", ContentKind::picture},
        {"webp", "RIFF\x10\0\0\0WEBPVP8 "s, ContentKind::picture},
        {"netpbm", "P6\n2 2\n255\n", ContentKind::picture},
        {"wave", wave, ContentKind::sound},
        {"riff of another form", "RIFF\x10\0\0\0AVI LIST"s, ContentKind::binary},
        {"ascii", "Hello, world\r\nline two\tend\n", ContentKind::text},
        {"big5", "\xA4\xA4\xA4\xE5\xA6\x72\xA6\xEA\r\n", ContentKind::text},
        {"a NUL", std::string("text\0more", 9), ContentKind::binary},
        {"control bytes", "\x01\x02\x03\x04\x05\x06\x07\x08 ab", ContentKind::binary},
        {"lead bytes without trail", "\x81\x81\x81\x81\x81", ContentKind::binary},
        // A text prefix decides even when the tail holds binary.
        {"long text then binary", std::string(5000, 'a') + std::string(10, '\0'),
         ContentKind::text},
    };
    for (const auto& c : cases)
        EXPECT_EQ(content::sniffContent(span(c.bytes)), c.kind) << c.what;
}

TEST(ContentSniffing, NamesTheReaderOnlyForPlainRasterPictures)
{
    std::string pcx(200, '\0');
    pcx[0] = 0x0A;
    pcx[1] = 5;
    pcx[2] = 1;
    pcx[3] = 8;
    std::string notPcx = pcx;
    notPcx[3] = 7;
    const std::string tga = std::string(30, '\x02') + std::string(8, '\0') + "TRUEVISION-XFILE.\0"s;
    const std::string svg = "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"9\" height=\"9\"/>";
    const struct {
        const char* what;
        std::string bytes;
        std::string_view format;
    } cases[] = {
        {"bmp", "BM" + std::string(60, '\0'), "bmp"},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8) + "rest", "png"},
        {"gif87a", "GIF87a....", "gif"},
        {"jpeg", "\xFF\xD8\xFF\xE0 rest", "jpeg"},
        {"tiff big-endian", std::string("MM\0*", 4) + "x", "tiff"},
        {"pgm", "P5 2 2 255\n", "pgm"},
        {"ppm", "P6\n2 2\n255\n", "ppm"},
        {"pbm", "P4\n8 1\n", "pbm"},
        {"pcx", pcx, "pcx"},
        {"pcx header with 7 bits", notPcx, ""},
        {"tga with its footer", tga, "tga"},
        {"svg", svg, ""},
        {"gzip, as a compressed svg is", "\x1F\x8B\x08\0\0\0\0\0\0\x03"s + svg, ""},
        {"xpm", "/* XPM */\nstatic char* x[] = {};", ""},
        {"ico", "\0\0\1\0\1\0\x10\x10"s + std::string(40, '\0'), ""},
        {"wave", pcm(1, 16, std::string(8, '\0')).bytes(), ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(content::pictureFormat(span(c.bytes)), c.format) << c.what;
        EXPECT_EQ(content::sniffContent(span(c.bytes)) == ContentKind::picture, !c.format.empty())
            << c.what;
    }
}

TEST(ContentSniffing, TextNeedsNineteenOfTwentyPrintable)
{
    EXPECT_TRUE(content::looksLikeText(span(std::string(19, 'a') + "\x01")));
    EXPECT_FALSE(content::looksLikeText(span(std::string(18, 'a') + "\x01\x01")));
}

TEST(WaveHeader, ReadsTheFormatOfGoodHeaders)
{
    WaveImage skip = pcm(1, 8, std::string(100, '\x80'));
    skip.extraChunk = std::string("LIST\x03\0\0\0abc\0", 12); // odd size, padded
    WaveImage adpcm;
    adpcm.encoding = 0x11;
    adpcm.channels = 1;
    adpcm.sampleRate = 22050;
    adpcm.bitsPerSample = 4;
    adpcm.blockAlign = 256;
    adpcm.samples = std::string(512 + 4 + 8, '\0'); // two blocks and two runs of a third
    const struct {
        const char* what;
        std::string bytes;
        std::uint16_t channels, bits;
        std::uint64_t frames;
        std::uint64_t dataOffset;
    } cases[] = {
        {"stereo 16", pcm(2, 16, std::string(4000, '\0')).bytes(), 2, 16, 1000, 44},
        {"mono 16", pcm(1, 16, std::string(4000, '\0')).bytes(), 1, 16, 2000, 44},
        {"mono 8 after an odd chunk", skip.bytes(), 1, 8, 100, 56},
        {"stereo 8, last frame cut", pcm(2, 8, std::string(5, '\0')).bytes(), 2, 8, 2, 44},
        {"ima adpcm", adpcm.bytes(), 1, 4, 2 * 505 + 1 + 16, 44},
    };
    for (const auto& c : cases) {
        const content::WaveParse parse = content::parseWave(span(c.bytes));
        ASSERT_TRUE(parse.isOk()) << c.what << " problem " << int(parse.problem);
        EXPECT_EQ(parse.format.channels, c.channels) << c.what;
        EXPECT_EQ(parse.format.bitsPerSample, c.bits) << c.what;
        EXPECT_EQ(parse.format.frameCount(), c.frames) << c.what;
        EXPECT_EQ(parse.format.dataOffset, c.dataOffset) << c.what;
    }
}

TEST(WaveHeader, LyingOrUnsupportedHeadersNameTheirProblem)
{
    auto with = [](auto change) {
        WaveImage w = pcm(2, 16, std::string(400, '\0'));
        change(w);
        return w.bytes();
    };
    const std::string good = with([](WaveImage&) {});
    const struct {
        const char* what;
        std::string bytes;
        WaveProblem problem;
    } cases[] = {
        {"too short", "RIFF\0\0\0\0WAV"s, WaveProblem::notRiffWave},
        {"not wave", "RIFF\0\0\0\0AVI "s, WaveProblem::notRiffWave},
        {"data claims 4 GiB", with([](WaveImage& w) { w.dataSizeField = 0xFFFFFFFF; }),
         WaveProblem::dataPastEnd},
        {"data one byte too many", with([](WaveImage& w) { w.dataSizeField = 401; }),
         WaveProblem::dataPastEnd},
        {"fmt claims past the end", with([](WaveImage& w) { w.formatSize = 0x7FFFFFF0; }),
         WaveProblem::chunkPastEnd},
        {"a chunk before fmt lies",
         with([](WaveImage& w) { w.extraChunk = std::string("junk\xFF\xFF\xFF\x7F", 8); }),
         WaveProblem::chunkPastEnd},
        {"fmt too short", with([](WaveImage& w) { w.formatSize = 14; }),
         WaveProblem::formatChunkTooShort},
        {"mp3 inside", with([](WaveImage& w) { w.encoding = 0x55; }),
         WaveProblem::unsupportedEncoding},
        {"no channels", with([](WaveImage& w) { w.channels = 0; }), WaveProblem::badChannelCount},
        {"65535 channels", with([](WaveImage& w) { w.channels = 65535; }),
         WaveProblem::badChannelCount},
        {"rate 0", with([](WaveImage& w) { w.sampleRate = 0; }), WaveProblem::badSampleRate},
        {"24 bits", with([](WaveImage& w) { w.bitsPerSample = 24; }),
         WaveProblem::badBitsPerSample},
        {"block align 0", with([](WaveImage& w) { w.blockAlign = 0; }), WaveProblem::badBlockAlign},
        {"adpcm with a block too small", with([](WaveImage& w) {
             w.encoding = 0x11;
             w.bitsPerSample = 4;
             w.blockAlign = 8;
         }),
         WaveProblem::badBlockAlign},
        {"no data chunk", good.substr(0, 44 - 8), WaveProblem::noDataChunk},
        {"no fmt chunk", "RIFF\x04\0\0\0WAVE"s, WaveProblem::noFormatChunk},
        {"data before fmt", "RIFF\x0C\0\0\0WAVEdata\0\0\0\0"s, WaveProblem::noFormatChunk},
    };
    for (const auto& c : cases)
        EXPECT_EQ(content::parseWave(span(c.bytes)).problem, c.problem) << c.what;
}

TEST(WaveSamples, PeaksFollowTheSamplesOfEachChannel)
{
    // Left: full positive then full negative; right: silent, then a quarter up.
    std::string samples;
    for (int i = 0; i < 100; ++i) {
        testsupport::putLE16(samples, i < 50 ? 32767 : static_cast<std::uint16_t>(-32768));
        testsupport::putLE16(samples, i < 50 ? 0 : 8192);
    }
    const std::string bytes = pcm(2, 16, samples).bytes();
    const content::WaveParse parse = content::parseWave(span(bytes));
    ASSERT_TRUE(parse.isOk());
    const auto peaks = content::wavePeaks(parse.format, span(bytes), 2);
    ASSERT_EQ(peaks.size(), 2u);
    ASSERT_EQ(peaks[0].size(), 2u);
    EXPECT_NEAR(peaks[0][0].high, 1.0f, 1e-3);
    EXPECT_NEAR(peaks[0][1].low, -1.0f, 1e-3);
    EXPECT_EQ(peaks[1][0].high, 0.0f);
    EXPECT_NEAR(peaks[1][1].high, 0.25f, 1e-3);

    // 8-bit samples are unsigned around 128.
    const std::string eight = pcm(1, 8, "\x80\xFF\x00\x80"s).bytes();
    const content::WaveParse parse8 = content::parseWave(span(eight));
    ASSERT_TRUE(parse8.isOk());
    const auto peaks8 = content::wavePeaks(parse8.format, span(eight), 1);
    EXPECT_NEAR(peaks8[0][0].high, 127.0f / 128, 1e-3);
    EXPECT_EQ(peaks8[0][0].low, -1.0f);
}

TEST(WaveSamples, ImaAdpcmDecodesFromTheBlockHeaderAndClampsAHostileIndex)
{
    WaveImage w;
    w.encoding = 0x11;
    w.channels = 1;
    w.bitsPerSample = 4;
    w.blockAlign = 8;
    // Predictor 1000, step index 0; nibbles 7 (up by 7 * 1.75 -> +11) then 0 (up by 0).
    w.samples = std::string("\xE8\x03\x00\x00\x07\x00\x00\x00", 8);
    // A second block whose index of 200 must not leave the step table.
    w.samples += std::string("\x00\x00\xC8\x00\xFF\xFF\xFF\xFF", 8);
    const std::string bytes = w.bytes();
    const content::WaveParse parse = content::parseWave(span(bytes));
    ASSERT_TRUE(parse.isOk()) << int(parse.problem);
    std::vector<int> values;
    content::forEachSample(parse.format, span(bytes),
                           [&](unsigned, std::int16_t v) { values.push_back(v); });
    ASSERT_EQ(values.size(), 18u);
    EXPECT_EQ(values[0], 1000);
    EXPECT_EQ(values[1], 1011);
    EXPECT_EQ(values[9], 0);
    for (int v : values)
        EXPECT_GE(v, -32768);
}

// A BITMAPINFOHEADER file header with the fields the reader looks at; the rest zero.
std::string bmp(std::int32_t width, std::int32_t height, std::uint16_t depth,
                std::uint32_t colorsUsed)
{
    std::string out = "BM";
    testsupport::putLE32(out, 0);
    testsupport::putLE32(out, 0);
    testsupport::putLE32(out, 54);
    testsupport::putLE32(out, 40);
    testsupport::putLE32(out, static_cast<std::uint32_t>(width));
    testsupport::putLE32(out, static_cast<std::uint32_t>(height));
    testsupport::putLE16(out, 1);
    testsupport::putLE16(out, depth);
    for (int i = 0; i < 4; ++i)
        testsupport::putLE32(out, 0);
    testsupport::putLE32(out, colorsUsed);
    testsupport::putLE32(out, 0);
    return out;
}

TEST(BmpHeader, ReadsTheClaimedSizeDepthAndPalette)
{
    const struct {
        const char* what;
        std::string bytes;
        std::int64_t width, height;
        int depth, colors;
        std::uint64_t decodedBytes;
    } cases[] = {
        {"4-bit, full palette", bmp(64, 48, 4, 0), 64, 48, 4, 16, 64 * 48 * 4},
        {"8-bit, palette of 5", bmp(2, 2, 8, 5), 2, 2, 8, 5, 16},
        {"8-bit, palette past 256", bmp(2, 2, 8, 300), 2, 2, 8, 256, 16},
        {"1-bit", bmp(8, 1, 1, 0), 8, 1, 1, 2, 32},
        {"24-bit has no palette", bmp(3, 3, 24, 0), 3, 3, 24, 0, 36},
        {"24-bit with a palette count", bmp(3, 3, 24, 12), 3, 3, 24, 12, 36},
        {"top-down rows", bmp(10, -20, 32, 0), 10, 20, 32, 0, 800},
        {"most negative height", bmp(1, INT32_MIN, 8, 0), 1, 2147483648LL, 8, 256,
         2147483648ULL * 4},
        {"huge claim", bmp(65535, 65535, 24, 0), 65535, 65535, 24, 0, 65535ULL * 65535 * 4},
        {"negative width decodes to nothing", bmp(-5, 5, 8, 0), -5, 5, 8, 256, 0},
        {"zero height", bmp(5, 0, 8, 0), 5, 0, 8, 256, 0},
        {"trailing pixels ignored", bmp(1, 1, 24, 0) + "\x7F\x7F\x7F", 1, 1, 24, 0, 4},
    };
    for (const auto& c : cases) {
        const auto header = content::readBmpHeader(span(c.bytes));
        ASSERT_TRUE(header) << c.what;
        EXPECT_EQ(header->width, c.width) << c.what;
        EXPECT_EQ(header->height, c.height) << c.what;
        EXPECT_EQ(header->depth, c.depth) << c.what;
        EXPECT_EQ(header->colors, c.colors) << c.what;
        EXPECT_EQ(header->decodedBytes(), c.decodedBytes) << c.what;
    }
}

TEST(BmpHeader, RefusesWhatIsNoBmpOrTooShort)
{
    const std::string good = bmp(4, 4, 8, 0);
    const struct {
        const char* what;
        std::string bytes;
    } cases[] = {
        {"empty", ""},
        {"signature only", "BM"},
        {"cut before the palette count", good.substr(0, 49)},
        {"file header only", good.substr(0, 14)},
        {"another signature", "MB" + good.substr(2)},
        {"png", std::string("\x89PNG\r\n\x1a\n", 8) + std::string(60, '\0')},
    };
    for (const auto& c : cases)
        EXPECT_FALSE(content::readBmpHeader(span(c.bytes))) << c.what;
    EXPECT_TRUE(content::readBmpHeader(span(good.substr(0, 50))));
}

} // namespace
