#include "ui/preview/PreviewWindow.h"

#include "archive/ArchiveError.h"
#include "archive/format/ArchiveFormat.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/CodePage950.h"
#include "archive/format/EntryData.h"
#include "archive/format/NameMapping.h"
#include "content/BmpHeader.h"
#include "content/ContentKind.h"
#include "res/PreviewTexts.h"
#include "ui/ErrorMessages.h"
#include "ui/QtTranslations.h"
#include "ui/preview/HexView.h"
#include "ui/preview/PictureView.h"
#include "ui/preview/SoundPlayer.h"
#include "ui/preview/WaveformView.h"

#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <span>

namespace {

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

std::span<const unsigned char> span(const QByteArray& bytes)
{
    return {reinterpret_cast<const unsigned char*>(bytes.constData()),
            static_cast<std::size_t>(bytes.size())};
}

// Lays out what the text view can lay out in a moment: one line of a mebibyte takes it minutes.
QString breakLongLines(const QString& text, qsizetype maxChars)
{
    QString out;
    out.reserve(text.size() + text.size() / maxChars);
    qsizetype run = 0;
    for (const QChar c : text) {
        if (c == QLatin1Char('\n')) {
            run = -1;
        } else if (run >= maxChars && !c.isLowSurrogate()) {
            out += QLatin1Char('\n');
            run = 0;
        }
        ++run;
        out += c;
    }
    return out;
}

QString entryFailure(const archive::ArchiveError& e)
{
    const char* text = e.kind() == archive::ErrorKind::damagedEntry
                           ? res::preview::kEntryDamaged
                           : res::preview::kEntryUnreadable;
    return uiText(text).arg(errorMessage(e));
}

} // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    QImageReader::setAllocationLimit(kImageAllocationMiB);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();

    m_stack = new QStackedWidget(this);
    m_picture = new PictureView(m_stack);
    m_soundPage = new QWidget(m_stack);
    m_waveform = new WaveformView(m_soundPage);
    m_play = new QPushButton(uiText(res::preview::kPlay), m_soundPage);
    m_stop = new QPushButton(uiText(res::preview::kStop), m_soundPage);
    m_soundNote = new QLabel(m_soundPage);
    auto* soundButtons = new QHBoxLayout;
    soundButtons->addWidget(m_play);
    soundButtons->addWidget(m_stop);
    soundButtons->addWidget(m_soundNote, 1);
    auto* soundLayout = new QVBoxLayout(m_soundPage);
    soundLayout->addWidget(m_waveform, 1);
    soundLayout->addLayout(soundButtons);
    m_text = new QPlainTextEdit(m_stack);
    m_text->setReadOnly(true);
    m_hex = new HexView(m_stack);
    m_stack->addWidget(m_picture);
    m_stack->addWidget(m_soundPage);
    m_stack->addWidget(m_text);
    m_stack->addWidget(m_hex);

    m_format = new QLabel(this);
    m_details = new QLabel(this);
    m_details->setWordWrap(true);
    m_details->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_hexToggle = new QCheckBox(uiText(res::preview::kHexToggle), this);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_format, 1);
    bottom->addWidget(m_hexToggle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_stack, 1);
    layout->addLayout(bottom);
    layout->addWidget(m_details);

    m_player = new SoundPlayer(this);
    connect(m_player, &SoundPlayer::finished, this, [this] { m_stop->setEnabled(false); });
    connect(m_hexToggle, &QCheckBox::toggled, this, [this](bool on) { onHexToggled(on); });
    connect(m_play, &QPushButton::clicked, this, [this] { play(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { stop(); });
}

PreviewWindow::~PreviewWindow()
{
    stop();
}

void PreviewWindow::placeBeside(const QWidget* beside)
{
    const QScreen* screen = beside ? beside->screen() : this->screen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    // Not shown yet, this window has no frame of its own; the dialog's is the best guess.
    QMargins frame;
    QRect besideFrame;
    if (beside) {
        besideFrame = beside->frameGeometry();
        const QRect inner = beside->geometry();
        frame =
            QMargins(inner.left() - besideFrame.left(), inner.top() - besideFrame.top(),
                     besideFrame.right() - inner.right(), besideFrame.bottom() - inner.bottom());
    }
    const QSize room = area.marginsRemoved(frame).size();
    const QSize wanted = sizeHint().expandedTo(QSize(kPreferredWidth, kPreferredHeight));
    const QSize size = wanted.boundedTo(room).expandedTo(minimumSizeHint()).boundedTo(room);
    const int outerWidth = size.width() + frame.left() + frame.right();
    const int outerHeight = size.height() + frame.top() + frame.bottom();
    int x = area.left() + (area.width() - outerWidth) / 2;
    int y = area.top() + (area.height() - outerHeight) / 2;
    if (beside) {
        y = besideFrame.top();
        if (besideFrame.right() + 1 + outerWidth <= area.right() + 1)
            x = besideFrame.right() + 1;
        else if (besideFrame.left() - outerWidth >= area.left())
            x = besideFrame.left() - outerWidth;
        else if (area.right() - besideFrame.right() >= besideFrame.left() - area.left())
            x = area.right() + 1 - outerWidth; // covers as little of the dialog as it can
        else
            x = area.left();
    }
    x = std::clamp(x, area.left(), std::max(area.left(), area.right() + 1 - outerWidth));
    y = std::clamp(y, area.top(), std::max(area.top(), area.bottom() + 1 - outerHeight));
    setGeometry(QRect(QPoint(x + frame.left(), y + frame.top()), size));
}

void PreviewWindow::setTextFont(const QFont& font)
{
    m_text->setFont(font);
}

QString PreviewWindow::message() const
{
    return m_message->text();
}

QString PreviewWindow::detailsLine() const
{
    return m_details->text();
}

QString PreviewWindow::formatLine() const
{
    return m_format->text();
}

void PreviewWindow::clear()
{
    stop();
    ++m_nShown;
    m_bytes.clear();
    m_wave = {};
    m_picture->setImage({});
    m_waveform->setPeaks({});
    m_text->clear();
    m_hex->setSource({}, 0);
    m_format->clear();
    m_details->clear();
    setMessage({});
    m_contentView = View::none;
    m_hexToggle->blockSignals(true);
    m_hexToggle->setChecked(false);
    m_hexToggle->blockSignals(false);
    m_hexToggle->setEnabled(true);
    setView(View::none);
}

void PreviewWindow::setView(View view)
{
    m_view = view;
    switch (view) {
    case View::none:
    case View::hex:
        m_stack->setCurrentWidget(m_hex);
        break;
    case View::picture:
        m_stack->setCurrentWidget(m_picture);
        break;
    case View::sound:
        m_stack->setCurrentWidget(m_soundPage);
        break;
    case View::text:
        m_stack->setCurrentWidget(m_text);
        break;
    }
}

void PreviewWindow::setMessage(const QString& text)
{
    m_message->setText(text);
    m_message->setVisible(!text.isEmpty());
}

void PreviewWindow::showEntry(const archive::ArchiveReader& reader, std::uint32_t recordPosition,
                              const QString& name)
{
    clear();
    setWindowTitle(name);
    archive::RecordView record;
    try {
        record = reader.record(recordPosition);
    } catch (const archive::ArchiveError& e) {
        setMessage(uiText(res::preview::kEntryUnreadable).arg(errorMessage(e)));
        return;
    }
    QString hostPath;
    try {
        hostPath = QString::fromStdString(
            archive::names::hostRelativePath(record.name, reader.codePage()));
    } catch (const archive::ArchiveError& e) {
        hostPath = uiText(res::preview::kNoHostPath).arg(errorMessage(e));
    }
    m_details->setText(uiText(res::preview::kDetails)
                           .arg(record.dataSize)
                           .arg(record.dataOffset)
                           .arg(record.recordPosition)
                           .arg(hostPath));
    try {
        if (record.dataSize > kMaxDecodedEntryBytes) {
            // Refuses a damaged entry before the view asks for any page.
            archive::readEntryBytes(reader, record, 0, {});
            setMessage(uiText(res::preview::kTooLarge)
                           .arg(record.dataSize)
                           .arg(kMaxDecodedEntryBytes >> 20)
                           .arg(kLargeEntryHexBytes >> 20));
            // The window is closed whenever the listing changes, so the reader outlives it.
            const archive::ArchiveReader* source = &reader;
            m_hex->setSource(
                [this, source, record](std::uint64_t offset, std::size_t count) {
                    try {
                        std::vector<unsigned char> page(count);
                        page.resize(archive::readEntryBytes(*source, record, offset, page));
                        return page;
                    } catch (const archive::ArchiveError& e) {
                        // The file changed since it was opened. Asked while painting, so the
                        // layout changes afterwards.
                        QMetaObject::invokeMethod(
                            this,
                            [this, shown = m_nShown, text = entryFailure(e)] {
                                if (shown == m_nShown)
                                    setMessage(text);
                            },
                            Qt::QueuedConnection);
                        throw;
                    }
                },
                kLargeEntryHexBytes);
            m_format->setText(uiText(res::preview::kHexLine).arg(record.dataSize));
            m_hexToggle->setEnabled(false);
            setView(View::hex);
            return;
        }
        std::vector<unsigned char> bytes(record.dataSize);
        bytes.resize(archive::readEntryBytes(reader, record, 0, bytes));
        showBytes(std::move(bytes));
    } catch (const archive::ArchiveError& e) {
        setMessage(entryFailure(e));
    }
}

void PreviewWindow::showBytes(std::vector<unsigned char> bytes)
{
    m_bytes = QByteArray(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qsizetype>(bytes.size()));
    bytes = {};
    const std::span<const unsigned char> data = span(m_bytes);
    switch (content::sniffContent(data)) {
    case content::ContentKind::sound: {
        const content::WaveParse parse = content::parseWave(data);
        if (parse.isOk()) {
            showSound(parse.format);
            return;
        }
        setMessage(
            uiText(res::preview::kSoundUnreadable).arg(uiText(waveProblemText(parse.problem))));
        break;
    }
    case content::ContentKind::picture:
        if (showPicture(m_bytes, content::pictureFormat(data)))
            return;
        break;
    case content::ContentKind::text:
        showText();
        return;
    case content::ContentKind::binary:
        break;
    }
    showHexOfBytes();
}

void PreviewWindow::showText()
{
    const std::string_view all(m_bytes.constData(), static_cast<std::size_t>(m_bytes.size()));
    std::size_t shown = all.size();
    if (all.size() > kLargeTextBytes) {
        // Ends before a double-byte character the limit would cut in two.
        shown = 0;
        for (std::size_t next = 0; next <= kLargeTextBytes;
             next += archive::cp950::charLength(all, next))
            shown = next;
        setMessage(uiText(res::preview::kTextTooLarge).arg(all.size()).arg(kLargeTextBytes >> 20));
    }
    m_text->setPlainText(breakLongLines(
        QString::fromStdString(archive::cp950::toUtf8Lossy(all.substr(0, shown))), kLongLineChars));
    m_contentView = View::text;
    m_format->setText(uiText(res::preview::kHexLine).arg(m_bytes.size()));
    setView(View::text);
}

bool PreviewWindow::showPicture(const QByteArray& bytes, std::string_view format)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    // Only the reader the bytes call for: Qt's own guess would also try vector formats.
    QImageReader reader(&buffer, QByteArray(format.data(), static_cast<qsizetype>(format.size())));
    reader.setAutoDetectImageFormat(false);
    // Qt reports a BMP it refuses as having no size, so the header's own claim is read.
    const std::optional<content::BmpHeader> bmp = content::readBmpHeader(span(bytes));
    const QSize claimed = reader.size();
    std::int64_t claimedWidth = claimed.width();
    std::int64_t claimedHeight = claimed.height();
    if (bmp) {
        claimedWidth = bmp->width;
        claimedHeight = bmp->height;
    }
    // A BMP stored top down claims a negative height.
    if (std::uint64_t(std::abs(claimedWidth)) * std::uint64_t(std::abs(claimedHeight)) >
        kMaxPicturePixels) {
        setMessage(uiText(res::preview::kPictureTooLarge)
                       .arg(claimedWidth)
                       .arg(claimedHeight)
                       .arg(uiText(res::preview::kPictureLimit).arg(kMaxPicturePixels)));
        return false;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        setMessage(uiText(res::preview::kPictureUndecodable).arg(reader.errorString()));
        return false;
    }
    const int depth = bmp ? bmp->depth : image.depth();
    const int colors = bmp ? bmp->colors : image.colorCount();
    m_picture->setImage(image);
    if (colors > 0)
        m_format->setText(uiText(res::preview::kPictureLine)
                              .arg(image.width())
                              .arg(image.height())
                              .arg(depth)
                              .arg(colors));
    else
        m_format->setText(uiText(res::preview::kPictureLineNoPalette)
                              .arg(image.width())
                              .arg(image.height())
                              .arg(depth));
    m_contentView = View::picture;
    setView(View::picture);
    return true;
}

void PreviewWindow::showSound(const content::WaveFormat& format)
{
    m_wave = format;
    m_waveform->setPeaks(content::wavePeaks(format, span(m_bytes), WaveformView::kColumns));
    m_format->setText(
        uiText(res::preview::kSoundLine)
            .arg(format.channels)
            .arg(format.sampleRate)
            .arg(format.bitsPerSample)
            .arg(format.seconds(), 0, 'f', 2)
            .arg(uiText(format.encoding == content::WaveFormat::kPcm ? res::preview::kPcm
                                                                     : res::preview::kImaAdpcm)));
    const bool hasOutput = SoundPlayer::hasOutput();
    m_play->setEnabled(hasOutput);
    m_stop->setEnabled(false);
    m_soundNote->setText(hasOutput ? QString() : uiText(res::preview::kNoAudioDevice));
    m_contentView = View::sound;
    setView(View::sound);
}

void PreviewWindow::showHexOfBytes()
{
    const QByteArray bytes = m_bytes;
    m_hex->setSource(
        [bytes](std::uint64_t offset, std::size_t count) {
            std::vector<unsigned char> out;
            if (offset < static_cast<std::uint64_t>(bytes.size())) {
                const auto n = std::min<std::uint64_t>(count, bytes.size() - offset);
                out.assign(bytes.constData() + offset, bytes.constData() + offset + n);
            }
            return out;
        },
        static_cast<std::uint64_t>(m_bytes.size()));
    if (m_contentView == View::none) {
        m_format->setText(uiText(res::preview::kHexLine).arg(m_bytes.size()));
        m_hexToggle->setEnabled(false);
    }
    setView(View::hex);
}

void PreviewWindow::onHexToggled(bool on)
{
    if (on)
        showHexOfBytes();
    else
        setView(m_contentView);
}

void PreviewWindow::play()
{
    switch (m_player->play(m_wave, span(m_bytes))) {
    case SoundPlayer::Start::playing:
        m_stop->setEnabled(true);
        break;
    case SoundPlayer::Start::noDevice:
        m_soundNote->setText(uiText(res::preview::kNoAudioDevice));
        break;
    case SoundPlayer::Start::formatUnsupported:
        m_soundNote->setText(uiText(res::preview::kCannotPlay).arg(m_player->deviceName()));
        break;
    }
}

void PreviewWindow::stop()
{
    m_player->stop();
    if (m_stop)
        m_stop->setEnabled(false);
}

void PreviewWindow::keyPressEvent(QKeyEvent* event)
{
    if (event->key() == Qt::Key_Escape) {
        close();
        return;
    }
    QWidget::keyPressEvent(event);
}

void PreviewWindow::closeEvent(QCloseEvent* event)
{
    stop();
    QWidget::closeEvent(event);
}
