#pragma once

#include "session/preview/EntryPreview.h"

#include <QWidget>

#include <cstdint>
#include <string_view>
#include <vector>

class HexView;
class PictureView;
class QCheckBox;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QStackedWidget;
class SoundPlayer;
class WaveformView;

namespace archive {
class ArchiveReader;
} // namespace archive

// One entry shown by what its bytes hold: a picture, a sound with its waveform, text, or hex.
// Non-modal and reused for the next entry; Escape closes it.
class PreviewWindow : public QWidget {
    Q_OBJECT

public:
    using View = session::EntryPreview::View;

    static constexpr std::uint64_t kMaxDecodedEntryBytes =
        session::EntryPreview::kMaxDecodedEntryBytes;
    static constexpr std::uint64_t kLargeEntryHexBytes = session::EntryPreview::kLargeEntryHexBytes;
    // The size the window takes when the screen has room, unless its content needs more.
    static constexpr int kPreferredWidth = 560;
    static constexpr int kPreferredHeight = 480;
    static constexpr std::uint64_t kLargeTextBytes = session::EntryPreview::kLargeTextBytes;
    static constexpr int kLongLineChars = int(session::EntryPreview::kLongLineChars);
    static constexpr std::uint64_t kMaxPicturePixels = session::EntryPreview::kMaxPicturePixels;
    // Qt's limit for a decoded picture, in MiB, for readers that report no size beforehand.
    static constexpr int kImageAllocationMiB = int(kMaxPicturePixels * 4 >> 20);

    explicit PreviewWindow(QWidget* parent = nullptr);
    ~PreviewWindow() override;

    // Reads the record at recordPosition again and shows its entry; a failure is shown in the
    // window. archive must stay open while the window shows the entry (the hex view of a large
    // entry reads as it scrolls).
    void showEntry(const archive::ArchiveReader& reader, std::uint32_t recordPosition,
                   const QString& name);
    void setTextFont(const QFont& font);
    // Drops the entry shown, which may read from an archive about to close.
    void release() { clear(); }
    // Sizes the window to its content within the available area of the screen beside is on,
    // and puts it beside beside if there is room, else against the screen's edge on the side
    // with more room.
    void placeBeside(const QWidget* beside);

    View view() const { return m_view; }
    QString message() const;
    QString detailsLine() const;
    QString formatLine() const;
    PictureView* pictureView() const { return m_picture; }
    WaveformView* waveformView() const { return m_waveform; }
    HexView* hexView() const { return m_hex; }
    QPlainTextEdit* textView() const { return m_text; }
    QPushButton* playButton() const { return m_play; }

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void clear();
    void showPreview();
    void showPicture();
    void showSound();
    void showHex();
    void setView(View view);
    void setMessage(const QString& text);
    void onHexToggled(bool on);
    void play();
    void stop();

    // Counts the entries shown, so a late report about one is not shown with the next.
    unsigned m_nShown = 0;
    View m_view = View::none;
    session::EntryPreview m_preview;
    SoundPlayer* m_player = nullptr;

    QLabel* m_message = nullptr;
    QStackedWidget* m_stack = nullptr;
    PictureView* m_picture = nullptr;
    QWidget* m_soundPage = nullptr;
    WaveformView* m_waveform = nullptr;
    QPushButton* m_play = nullptr;
    QPushButton* m_stop = nullptr;
    QLabel* m_soundNote = nullptr;
    QPlainTextEdit* m_text = nullptr;
    HexView* m_hex = nullptr;
    QLabel* m_format = nullptr;
    QLabel* m_details = nullptr;
    QCheckBox* m_hexToggle = nullptr;
};
