#pragma once

#include "archive/format/ArchiveFormat.h"
#include "content/WaveFormat.h"

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace archive {
class ArchiveError;
class ArchiveReader;
} // namespace archive

namespace session {

// What the preview shows of one entry, told from its bytes whatever its name says: the view
// (picture, sound, text or hex), the texts above and below it, the text decoded from Big5 and the
// hex lines. A front end only draws it; a picture is decoded there, and reported back with
// admitsPicture() and pictureShown() or pictureRefused().
class EntryPreview {
public:
    enum class View { none, picture, sound, text, hex };

    // Pictures and sounds larger than this are shown as hex only, and only their first part.
    static constexpr std::uint64_t kMaxDecodedEntryBytes = 64ull << 20;
    static constexpr std::uint64_t kLargeEntryHexBytes = 1ull << 20;
    static constexpr std::uint64_t kLargeTextBytes = 1ull << 20;
    // Longer lines of a text are shown broken into lines of this many characters: one line of
    // a mebibyte takes a text view minutes to lay out.
    static constexpr std::size_t kLongLineChars = 1000;
    // Pictures claiming more pixels are refused before they are decoded; a game's are far
    // smaller, and decoding this many still takes only a moment.
    static constexpr std::uint64_t kMaxPicturePixels = 4096 * 4096;
    static constexpr std::size_t kBytesPerLine = 16;
    // Pictures are fitted to the view but never enlarged past this.
    static constexpr double kMaxZoom = 4.0;

    // The entry whose record starts at recordPosition; a failure to read it is the message.
    // reader must outlive the preview: an entry over kMaxDecodedEntryBytes is read as its hex
    // lines are asked for.
    static EntryPreview of(const archive::ArchiveReader& reader, std::uint32_t recordPosition);
    // The view a whole entry's bytes call for, without details.
    static EntryPreview ofBytes(std::vector<unsigned char> bytes);

    View view() const { return m_view; }
    // What the hex toggle goes back to; none when there is only hex (and so no toggle).
    View contentView() const { return m_contentView; }
    const std::string& message() const { return m_strMessage; }
    // Size, offsets and the path the entry extracts to.
    const std::string& details() const { return m_strDetails; }
    // The picture's size and colours, the sound's format or the byte count.
    const std::string& formatLine() const { return m_strFormat; }
    const std::vector<unsigned char>& bytes() const { return m_bytes; }
    // UTF-8, long lines broken; for the text view.
    const std::string& text() const { return m_strText; }
    const content::WaveFormat& wave() const { return m_wave; }
    // The sound as a WAV file of its format and sample data alone, every size what it holds: a
    // system player reads the entry's own RIFF size, which is often wrong, and past its end.
    // Empty unless the view is sound.
    std::vector<unsigned char> playableWave() const;
    // The image reader's name for a picture ("bmp", "png"...).
    std::string_view pictureFormat() const { return m_pictureFormat; }

    // How many bytes the hex view shows, and count of them from offset (fewer at the end).
    // ArchiveError when a large entry's file changed since it was opened.
    std::uint64_t hexSize() const { return m_nHexSize; }
    std::vector<unsigned char> hexBytes(std::uint64_t offset, std::size_t count) const;
    // Offset, 16 bytes in hex and the same bytes as text; bytes holds up to 16 of them.
    static std::string hexLine(std::span<const unsigned char> bytes, std::uint64_t offset);

    // The size the decoder reports a picture at, unless the BMP's own header claims another
    // (decoders report a BMP they refuse as having no size). False, with the hex view and the
    // reason, when it claims too many pixels to decode.
    bool admitsPicture(std::int64_t width, std::int64_t height);
    // The picture decoded: its size, the BMP's own depth and palette or else the decoder's.
    void pictureShown(int width, int height, int depth, int colors);
    // The decoder's reason; the bytes are shown as hex.
    void pictureRefused(std::string_view reason);

    // Where a picture of width by height is drawn in an area: as large as fits, aspect kept,
    // never enlarged past kMaxZoom, centred. Empty for an empty picture.
    struct Placement {
        int x = 0;
        int y = 0;
        int width = 0;
        int height = 0;
    };
    static Placement placePicture(int width, int height, int areaWidth, int areaHeight);

    // The message for an entry that could not be read.
    static std::string entryFailure(const archive::ArchiveError& error);

private:
    void showBytes();
    void showText();
    void showHex();

    View m_view = View::none;
    View m_contentView = View::none;
    std::string m_strMessage;
    std::string m_strDetails;
    std::string m_strFormat;
    std::string m_strText;
    std::vector<unsigned char> m_bytes;
    content::WaveFormat m_wave;
    std::string_view m_pictureFormat;
    std::uint64_t m_nHexSize = 0;
    // Set for an entry too large to hold, read as its hex is asked for.
    const archive::ArchiveReader* m_pReader = nullptr;
    archive::RecordView m_record;
};

} // namespace session
