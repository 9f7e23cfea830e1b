// What the preview makes of an entry's bytes before any toolkit draws it, and how an open preview
// follows the list; both front ends show exactly this.
#include "session/preview/EntryPreview.h"
#include "archive/format/ArchiveReader.h"
#include "content/WaveFormat.h"
#include "res/PreviewTexts.h"
#include "session/Wording.h"
#include "session/preview/PreviewFollower.h"
#include "tests/support/TestSupport.h"
#include "tests/support/WaveSamples.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <stdexcept>

using session::EntryPreview;
using session::wording::fill;
using View = EntryPreview::View;

namespace {

std::vector<unsigned char> bytesOf(std::string_view text)
{
    return {text.begin(), text.end()};
}

std::string wave(std::uint32_t rate, std::size_t sampleBytes, std::string extraChunk = {})
{
    testsupport::WaveImage image;
    image.sampleRate = rate;
    image.samples = std::string(sampleBytes, '\x10');
    image.extraChunk = std::move(extraChunk);
    return image.bytes();
}

} // namespace

// The view each kind of bytes gets, with the line below it, the message and the decoded text.
TEST(EntryPreview, TheBytesChooseTheViewAndItsTexts)
{
    testsupport::WaveImage lying;
    lying.samples = std::string(64, '\0');
    lying.dataSizeField = 0x7FFFFFFF;
    const std::string big5Line = "\xA5\x40\xAC\xC9\r\n";                     // 世界
    const std::string wideLine = std::string(1001 * 2, '\xA4').append("\n"); // 中 1001 times
    const struct {
        const char* label;
        std::string bytes;
        View view, contentView;
        std::string format, message, text;
    } cases[] = {
        {"Big5 text", big5Line, View::text, View::text, "6 位元組", "", "世界\r\n"},
        // Broken by characters, not bytes.
        {"a long line", wideLine, View::text, View::text, "2003 位元組", "",
         [] {
             std::string line;
             for (int i = 0; i < 1000; ++i)
                 line += "中";
             return line + "\n中\n";
         }()},
        {"binary", std::string("\0\1\2", 3), View::hex, View::none, "3 位元組", "", ""},
        {"nothing", "", View::hex, View::none, "0 位元組", "", ""},
        {"sound", wave(8000, 16000), View::sound, View::sound,
         "2 聲道　8000 Hz　16 位元　0.50 秒　PCM", "", ""},
        {"a sound whose data runs past its end", lying.bytes(), View::hex, View::none,
         fill(res::preview::kHexLine, {std::int64_t(lying.bytes().size())}),
         fill(res::preview::kSoundUnreadable, {res::preview::kWaveDataPastEnd}), ""},
        {"picture", testsupport::bmp24(3, 2), View::picture, View::none, "", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        const EntryPreview preview = EntryPreview::ofBytes(bytesOf(c.bytes));
        EXPECT_EQ(preview.view(), c.view);
        EXPECT_EQ(preview.contentView(), c.contentView);
        EXPECT_EQ(preview.formatLine(), c.format);
        EXPECT_EQ(preview.message(), c.message);
        EXPECT_EQ(preview.text(), c.text);
        EXPECT_EQ(preview.hexSize(), c.bytes.size());
    }
    // A text over the limit ends before the character the limit would cut in two.
    const std::string large = std::string(EntryPreview::kLargeTextBytes - 1, 'a') + "\xA4\xA4"
                                                                                    "b";
    const EntryPreview cut = EntryPreview::ofBytes(bytesOf(large));
    EXPECT_EQ(cut.message(),
              fill(res::preview::kTextTooLarge, {std::int64_t(large.size()), std::int64_t(1)}));
    EXPECT_EQ(std::ranges::count(cut.text(), 'a'), std::ptrdiff_t(large.size() - 3));
    EXPECT_EQ(cut.text().back(), 'a');
}

// An entry read from its archive: the details line, and why one cannot be shown; an entry over
// the limit is read for its first mebibyte of hex only, as the view asks.
TEST(EntryPreview, EntriesReadFromTheArchiveWithTheirDetails)
{
    testsupport::ArchiveImage image;
    image.add("a.txt", "text");
    image.add("b.dat", std::string(EntryPreview::kMaxDecodedEntryBytes + 1, '\x7F'));
    image.add("c.wav", "tiny");
    image.records.back().dataSize = 1u << 20; // past the end of the file
    const std::string bytes = image.bytes();
    archive::ArchiveReader reader;
    reader.OpenMemory({reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size()},
                      "GAME00.DAT");
    const auto prefix = [](const char* text) {
        return std::string_view(text).substr(0, std::string_view(text).find('%'));
    };
    const struct {
        std::uint32_t position; // of the record
        View view;
        std::string_view message; // what it starts with
        bool hasDetails;
    } cases[] = {
        {reader.at(0).recordPosition, View::text, "", true},
        {reader.at(1).recordPosition, View::hex, prefix(res::preview::kTooLarge), true},
        {reader.at(2).recordPosition, View::none, prefix(res::preview::kEntryDamaged), true},
        {reader.at(0).recordPosition + 1, View::none, prefix(res::preview::kEntryUnreadable),
         false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.position);
        const EntryPreview preview = EntryPreview::of(reader, c.position);
        EXPECT_EQ(preview.view(), c.view);
        EXPECT_TRUE(preview.message().starts_with(c.message)) << preview.message();
        EXPECT_EQ(preview.details().empty(), !c.hasDetails);
    }
    const archive::RecordView text = reader.at(0);
    EXPECT_EQ(EntryPreview::of(reader, text.recordPosition).details(),
              fill(res::preview::kDetails, {"4", std::to_string(text.dataOffset),
                                            std::to_string(text.recordPosition), "a.txt"}));
    const EntryPreview large = EntryPreview::of(reader, reader.at(1).recordPosition);
    EXPECT_EQ(large.hexSize(), EntryPreview::kLargeEntryHexBytes);
    EXPECT_EQ(large.hexBytes(EntryPreview::kLargeEntryHexBytes - 2, 16),
              std::vector<unsigned char>(2, 0x7F));
    EXPECT_TRUE(large.bytes().empty()) << "never read whole";
}

// What the front end's decoder reports turns the picture view into its line, or into hex with
// the reason; a BMP's own header outweighs the decoder on its size, depth and palette.
TEST(EntryPreview, ADecodedPictureIsDescribedAndARefusedOneShownAsHex)
{
    std::string huge = testsupport::bmp24(1, 1);
    huge.replace(18, 8, std::string("\xFF\xFF\x00\x00\xFF\xFF\x00\x00", 8)); // 65535 × 65535
    const std::string pngStart = "\x89PNG\r\n\x1a\n" + std::string(32, '\0');
    const std::string tooLarge =
        fill(res::preview::kPictureTooLarge,
             {"%1", "%2", fill(res::preview::kPictureLimit, {std::int64_t(4096 * 4096)})});
    const struct {
        const char* label;
        std::string bytes;
        std::int64_t width, height; // as the decoder reports them
        const char* refusal;        // null: decoded
        View view;
        std::string format, message;
    } cases[] = {
        {"BMP", testsupport::bmp24(3, 2), 3, 2, nullptr, View::picture,
         "3 × 2　24 位元色深　無調色盤", ""},
        {"BMP claiming too much", huge, 1, 1, nullptr, View::hex, "58 位元組",
         fill(tooLarge, {"65535", "65535"})},
        {"PNG too large", pngStart, 6000, 6000, nullptr, View::hex, "40 位元組",
         fill(tooLarge, {"6000", "6000"})},
        {"PNG decoded", pngStart, 7, 5, nullptr, View::picture, "7 × 5　8 位元色深　調色盤 4 色",
         ""},
        {"refused", pngStart, 7, 5, "bad", View::hex, "40 位元組", "無法解碼圖片：bad"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        EntryPreview preview = EntryPreview::ofBytes(bytesOf(c.bytes));
        ASSERT_EQ(preview.view(), View::picture);
        if (preview.admitsPicture(c.width, c.height)) {
            if (c.refusal)
                preview.pictureRefused(c.refusal);
            else
                preview.pictureShown(int(c.width), int(c.height), 8, 4);
        }
        EXPECT_EQ(preview.view(), c.view);
        EXPECT_EQ(preview.formatLine(), c.format);
        EXPECT_EQ(preview.message(), c.message);
    }
}

TEST(EntryPreview, HexLinesAndPicturePlacement)
{
    const std::string full = "0123456789ABCDEF";
    EXPECT_EQ(EntryPreview::hexLine(bytesOf(full), 0x120),
              "00000120  30 31 32 33 34 35 36 37  38 39 41 42 43 44 45 46  0123456789ABCDEF");
    EXPECT_EQ(EntryPreview::hexLine(bytesOf(std::string("\0\xFF~", 3)), 0),
              "00000000  00 FF 7E " + std::string(41, ' ') + "..~");
    const struct {
        int width, height, areaWidth, areaHeight;
        int x, y, shownWidth, shownHeight;
    } places[] = {
        {64, 48, 128, 96, 0, 0, 128, 96},
        {10, 10, 200, 100, 80, 30, 40, 40}, // at most 400 %
        {200, 100, 100, 100, 0, 25, 100, 50},
        {0, 0, 50, 50, 0, 0, 0, 0},
    };
    for (const auto& p : places) {
        const auto placed =
            EntryPreview::placePicture(p.width, p.height, p.areaWidth, p.areaHeight);
        EXPECT_EQ(std::tie(placed.x, placed.y, placed.width, placed.height),
                  std::tie(p.x, p.y, p.shownWidth, p.shownHeight))
            << p.width << "×" << p.height;
    }
}

// The system's player trusts a WAV's sizes: it gets the format and samples alone, sized as they
// are, whatever chunks and sizes the entry holds.
TEST(EntryPreview, ThePlayedSoundHoldsOnlyItsFormatAndSamples)
{
    std::string entry = wave(11025, 40, std::string("LIST\4\0\0\0abcd", 12)) + "trailing";
    entry.replace(4, 4, std::string("\xF0\xFF\xFF\x7F", 4)); // a RIFF size far past the end
    const EntryPreview preview = EntryPreview::ofBytes(bytesOf(entry));
    const std::vector<unsigned char> played = preview.playableWave();
    ASSERT_EQ(played.size(), 44u + 40u);
    EXPECT_EQ(played[4] | played[5] << 8, int(played.size() - 8));
    const content::WaveParse parse = content::parseWave(played);
    ASSERT_TRUE(parse.isOk());
    EXPECT_EQ(parse.format.sampleRate, 11025u);
    EXPECT_EQ(parse.format.channels, 2u);
    EXPECT_EQ(parse.format.dataSize, 40u);
    EXPECT_EQ(std::string(played.end() - 40, played.end()), std::string(40, '\x10'));
    EXPECT_TRUE(EntryPreview::ofBytes(bytesOf("text")).playableWave().empty());
}

namespace {

struct RecordingWindow : session::PreviewFollower::Window {
    bool m_bOpen = false;
    std::string m_strEvents;
    bool isOpen() const override { return m_bOpen; }
    void showRow(int row) override { m_strEvents += "show " + std::to_string(row) + ";"; }
    void close() override
    {
        m_bOpen = false;
        m_strEvents += "close;";
    }
    void release() override { m_strEvents += "release;"; }
};

} // namespace

// A relisting shows the entry it leaves current once, at its end, or closes the window; a list
// replaced otherwise closes it; a closed window opens for nothing.
TEST(PreviewFollower, TheWindowFollowsTheListAndItsRelistings)
{
    const struct {
        const char* label;
        bool isOpen;
        std::function<void(session::PreviewFollower&)> act;
        std::string events;
    } cases[] = {
        {"relisted, closed", false, [](auto& f) { f.relistUnder([] { return 2; }); }, ""},
        {"relisted", true,
         [](auto& f) {
             f.relistUnder([&f] {
                 f.rowsResetting();
                 f.currentMoved(5);
                 return 2;
             });
         },
         "release;show 2;"},
        {"relisted to nothing", true, [](auto& f) { f.relistUnder([] { return -1; }); },
         "release;close;"},
        {"relisting failed", true,
         [](auto& f) {
             EXPECT_THROW(f.relistUnder([]() -> int { throw std::runtime_error("x"); }),
                          std::runtime_error);
         },
         "release;close;"},
        {"list replaced", true, [](auto& f) { f.rowsResetting(); }, "close;"},
        {"current moved", true, [](auto& f) { f.currentMoved(3), f.currentMoved(-1); }, "show 3;"},
        {"current moved, closed", false, [](auto& f) { f.currentMoved(3); }, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        RecordingWindow window;
        window.m_bOpen = c.isOpen;
        session::PreviewFollower follower(window);
        c.act(follower);
        EXPECT_EQ(window.m_strEvents, c.events);
    }
}
