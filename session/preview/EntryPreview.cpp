#include "session/preview/EntryPreview.h"

#include "archive/ArchiveError.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "archive/format/EntryData.h"
#include "archive/format/NameMapping.h"
#include "content/BmpHeader.h"
#include "content/ContentKind.h"
#include "res/PreviewTexts.h"
#include "session/Wording.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <optional>

namespace session {

namespace {

using wording::fill;
using wording::tr;

const char* waveProblemText(content::WaveProblem problem)
{
    using content::WaveProblem;
    namespace t = res::preview;
    switch (problem) {
    case WaveProblem::none:
    case WaveProblem::notRiffWave:
        return t::kWaveNotRiff;
    case WaveProblem::chunkPastEnd:
        return t::kWaveChunkPastEnd;
    case WaveProblem::noFormatChunk:
        return t::kWaveNoFormat;
    case WaveProblem::formatChunkTooShort:
        return t::kWaveFormatShort;
    case WaveProblem::unsupportedEncoding:
        return t::kWaveEncoding;
    case WaveProblem::badChannelCount:
        return t::kWaveChannels;
    case WaveProblem::badSampleRate:
        return t::kWaveRate;
    case WaveProblem::badBitsPerSample:
        return t::kWaveBits;
    case WaveProblem::badBlockAlign:
        return t::kWaveBlockAlign;
    case WaveProblem::noDataChunk:
        return t::kWaveNoData;
    case WaveProblem::dataPastEnd:
        return t::kWaveDataPastEnd;
    }
    return t::kWaveNotRiff;
}

// Breaks lines of UTF-8 text longer than maxChars characters.
std::string breakLongLines(std::string_view text, std::size_t maxChars)
{
    std::string out;
    out.reserve(text.size() + text.size() / maxChars);
    std::size_t run = 0;
    for (const char c : text) {
        const bool isCharStart = (static_cast<unsigned char>(c) & 0xC0) != 0x80;
        if (c == '\n') {
            run = 0;
        } else if (isCharStart) {
            if (run >= maxChars) {
                out += '\n';
                run = 0;
            }
            ++run;
        }
        out += c;
    }
    return out;
}

std::string twoDecimals(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.2f", value);
    return text;
}

} // namespace

EntryPreview EntryPreview::of(const archive::ArchiveReader& reader, std::uint32_t recordPosition)
{
    EntryPreview preview;
    archive::RecordView record;
    try {
        record = reader.record(recordPosition);
    } catch (const archive::ArchiveError& e) {
        preview.m_strMessage = fill(tr(res::preview::kEntryUnreadable), {wording::errorMessage(e)});
        return preview;
    }
    std::string hostPath;
    try {
        hostPath = archive::names::hostRelativePath(record.name, reader.codePage());
    } catch (const archive::ArchiveError& e) {
        hostPath = fill(tr(res::preview::kNoHostPath), {wording::errorMessage(e)});
    }
    const std::string details =
        fill(tr(res::preview::kDetails),
             {std::to_string(record.dataSize), std::to_string(record.dataOffset),
              std::to_string(record.recordPosition), hostPath});
    try {
        if (record.dataSize > kMaxDecodedEntryBytes) {
            // Refuses a damaged entry before the view asks for any line.
            archive::readEntryBytes(reader, record, 0, {});
            preview.m_strMessage =
                fill(tr(res::preview::kTooLarge),
                     {std::int64_t(record.dataSize), std::int64_t(kMaxDecodedEntryBytes >> 20),
                      std::int64_t(kLargeEntryHexBytes >> 20)});
            preview.m_pReader = &reader;
            preview.m_record = record;
            preview.m_nHexSize = kLargeEntryHexBytes;
            preview.m_strFormat = fill(tr(res::preview::kHexLine), {std::int64_t(record.dataSize)});
            preview.m_view = View::hex;
        } else {
            std::vector<unsigned char> bytes(record.dataSize);
            bytes.resize(archive::readEntryBytes(reader, record, 0, bytes));
            preview = ofBytes(std::move(bytes));
        }
    } catch (const archive::ArchiveError& e) {
        preview.m_strMessage = entryFailure(e);
    }
    preview.m_strDetails = details;
    return preview;
}

EntryPreview EntryPreview::ofBytes(std::vector<unsigned char> bytes)
{
    EntryPreview preview;
    preview.m_bytes = std::move(bytes);
    preview.m_nHexSize = preview.m_bytes.size();
    preview.showBytes();
    return preview;
}

void EntryPreview::showBytes()
{
    switch (content::sniffContent(m_bytes)) {
    case content::ContentKind::sound: {
        const content::WaveParse parse = content::parseWave(m_bytes);
        if (!parse.isOk()) {
            m_strMessage = fill(tr(res::preview::kSoundUnreadable),
                                {std::string_view(tr(waveProblemText(parse.problem)))});
            break;
        }
        m_wave = parse.format;
        const bool isPcm = m_wave.encoding == content::WaveFormat::kPcm;
        m_strFormat = fill(tr(res::preview::kSoundLine),
                           {std::to_string(m_wave.channels), std::to_string(m_wave.sampleRate),
                            std::to_string(m_wave.bitsPerSample), twoDecimals(m_wave.seconds()),
                            tr(isPcm ? res::preview::kPcm : res::preview::kImaAdpcm)});
        m_view = m_contentView = View::sound;
        return;
    }
    case content::ContentKind::picture:
        m_pictureFormat = content::pictureFormat(m_bytes);
        m_view = View::picture;
        return;
    case content::ContentKind::text:
        showText();
        return;
    case content::ContentKind::binary:
        break;
    }
    showHex();
}

void EntryPreview::showText()
{
    const std::string_view all(reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size());
    std::size_t shown = all.size();
    if (all.size() > kLargeTextBytes) {
        // Ends before a double-byte character the limit would cut in two.
        shown = 0;
        for (std::size_t next = 0; next <= kLargeTextBytes;
             next += archive::cp950::charLength(all, next))
            shown = next;
        m_strMessage = fill(tr(res::preview::kTextTooLarge),
                            {std::int64_t(all.size()), std::int64_t(kLargeTextBytes >> 20)});
    }
    m_strText = breakLongLines(archive::cp950::toUtf8Lossy(all.substr(0, shown)), kLongLineChars);
    m_strFormat = fill(tr(res::preview::kHexLine), {std::int64_t(m_bytes.size())});
    m_view = m_contentView = View::text;
}

void EntryPreview::showHex()
{
    if (m_contentView == View::none)
        m_strFormat = fill(tr(res::preview::kHexLine), {std::int64_t(m_bytes.size())});
    m_view = View::hex;
}

bool EntryPreview::admitsPicture(std::int64_t width, std::int64_t height)
{
    if (const std::optional<content::BmpHeader> bmp = content::readBmpHeader(m_bytes)) {
        width = bmp->width;
        height = bmp->height;
    }
    // A BMP stored top down claims a negative height.
    if (std::uint64_t(std::abs(width)) * std::uint64_t(std::abs(height)) <= kMaxPicturePixels)
        return true;
    m_strMessage = fill(tr(res::preview::kPictureTooLarge),
                        {std::to_string(width), std::to_string(height),
                         fill(tr(res::preview::kPictureLimit), {std::int64_t(kMaxPicturePixels)})});
    showHex();
    return false;
}

void EntryPreview::pictureShown(int width, int height, int depth, int colors)
{
    if (const std::optional<content::BmpHeader> bmp = content::readBmpHeader(m_bytes)) {
        depth = bmp->depth;
        colors = bmp->colors;
    }
    m_strFormat = colors > 0
                      ? fill(tr(res::preview::kPictureLine), {width, height, depth, colors})
                      : fill(tr(res::preview::kPictureLineNoPalette), {width, height, depth});
    m_view = m_contentView = View::picture;
}

void EntryPreview::pictureRefused(std::string_view reason)
{
    m_strMessage = fill(tr(res::preview::kPictureUndecodable), {reason});
    showHex();
}

std::vector<unsigned char> EntryPreview::playableWave() const
{
    std::vector<unsigned char> out;
    if (m_contentView != View::sound)
        return out;
    const auto put = [&out](std::uint32_t value, int bytes) {
        for (int i = 0; i < bytes; ++i)
            out.push_back(static_cast<unsigned char>(value >> (8 * i)));
    };
    const auto id = [&out](const char* text) {
        for (int i = 0; i < 4; ++i)
            out.push_back(static_cast<unsigned char>(text[i]));
    };
    const content::WaveFormat& f = m_wave;
    const bool isPcm = f.encoding == content::WaveFormat::kPcm;
    // IMA ADPCM adds its frames per block to the fixed fields.
    const std::uint32_t formatBytes = isPcm ? 16 : 20;
    const auto dataBytes = static_cast<std::uint32_t>(f.dataSize);
    out.reserve(8 + 4 + 8 + formatBytes + 8 + dataBytes);
    id("RIFF");
    put(4 + 8 + formatBytes + 8 + dataBytes, 4);
    id("WAVE");
    id("fmt ");
    put(formatBytes, 4);
    put(f.encoding, 2);
    put(f.channels, 2);
    put(f.sampleRate, 4);
    put(static_cast<std::uint32_t>(std::uint64_t(f.sampleRate) * f.blockAlign /
                                   std::max<std::uint32_t>(f.samplesPerBlock, 1)),
        4);
    put(f.blockAlign, 2);
    put(f.bitsPerSample, 2);
    if (!isPcm) {
        put(2, 2);
        put(f.samplesPerBlock, 2);
    }
    id("data");
    put(dataBytes, 4);
    out.insert(out.end(), m_bytes.begin() + std::ptrdiff_t(f.dataOffset),
               m_bytes.begin() + std::ptrdiff_t(f.dataOffset + f.dataSize));
    return out;
}

std::vector<unsigned char> EntryPreview::hexBytes(std::uint64_t offset, std::size_t count) const
{
    std::vector<unsigned char> out;
    if (offset >= m_nHexSize)
        return out;
    const auto n = static_cast<std::size_t>(std::min<std::uint64_t>(count, m_nHexSize - offset));
    if (m_pReader) {
        out.resize(n);
        out.resize(archive::readEntryBytes(*m_pReader, m_record, offset, out));
    } else {
        out.assign(m_bytes.begin() + std::ptrdiff_t(offset),
                   m_bytes.begin() + std::ptrdiff_t(offset + n));
    }
    return out;
}

std::string EntryPreview::hexLine(std::span<const unsigned char> bytes, std::uint64_t offset)
{
    static constexpr char kDigits[] = "0123456789ABCDEF";
    char start[24];
    std::snprintf(start, sizeof start, "%08llx  ", static_cast<unsigned long long>(offset));
    std::string hex = start;
    std::string text;
    for (std::size_t k = 0; k < kBytesPerLine; ++k) {
        if (k < bytes.size()) {
            const unsigned char c = bytes[k];
            hex += {kDigits[c >> 4], kDigits[c & 0xF], ' '};
            text += c >= 0x20 && c < 0x7F ? char(c) : '.';
        } else {
            hex += "   ";
        }
        if (k == 7)
            hex += ' ';
    }
    return hex + ' ' + text;
}

EntryPreview::Placement EntryPreview::placePicture(int width, int height, int areaWidth,
                                                   int areaHeight)
{
    if (width <= 0 || height <= 0)
        return {};
    const double zoom =
        std::min({double(areaWidth) / width, double(areaHeight) / height, kMaxZoom});
    const int shownWidth = std::max(1, int(width * zoom));
    const int shownHeight = std::max(1, int(height * zoom));
    return {(areaWidth - shownWidth) / 2, (areaHeight - shownHeight) / 2, shownWidth, shownHeight};
}

std::string EntryPreview::entryFailure(const archive::ArchiveError& error)
{
    const char* text = error.kind() == archive::ErrorKind::damagedEntry
                           ? res::preview::kEntryDamaged
                           : res::preview::kEntryUnreadable;
    return fill(tr(text), {wording::errorMessage(error)});
}

} // namespace session
