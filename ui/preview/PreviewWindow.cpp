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

QString fromUtf8(const std::string& text)
{
    return QString::fromStdString(text);
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
    m_preview = {};
    m_picture->setImage({});
    m_waveform->setPeaks({});
    m_text->clear();
    m_hex->setSource({}, 0);
    m_format->clear();
    m_details->clear();
    setMessage({});
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
    m_preview = session::EntryPreview::of(reader, recordPosition);
    if (m_preview.view() == View::picture)
        showPicture();
    showPreview();
}

void PreviewWindow::showPreview()
{
    setMessage(fromUtf8(m_preview.message()));
    m_details->setText(fromUtf8(m_preview.details()));
    m_format->setText(fromUtf8(m_preview.formatLine()));
    m_hexToggle->setEnabled(m_preview.contentView() != View::none);
    switch (m_preview.view()) {
    case View::sound:
        showSound();
        break;
    case View::text:
        m_text->setPlainText(fromUtf8(m_preview.text()));
        break;
    case View::hex:
        showHex();
        break;
    case View::picture:
    case View::none:
        break;
    }
    setView(m_preview.view());
}

void PreviewWindow::showPicture()
{
    const std::vector<unsigned char>& bytes = m_preview.bytes();
    const QByteArray data = QByteArray::fromRawData(reinterpret_cast<const char*>(bytes.data()),
                                                    static_cast<qsizetype>(bytes.size()));
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    // Only the reader the bytes call for: Qt's own guess would also try vector formats.
    const std::string_view format = m_preview.pictureFormat();
    QImageReader reader(&buffer, QByteArray(format.data(), static_cast<qsizetype>(format.size())));
    reader.setAutoDetectImageFormat(false);
    const QSize claimed = reader.size();
    if (!m_preview.admitsPicture(claimed.width(), claimed.height()))
        return;
    const QImage image = reader.read();
    if (image.isNull()) {
        m_preview.pictureRefused(reader.errorString().toStdString());
        return;
    }
    m_picture->setImage(image);
    m_preview.pictureShown(image.width(), image.height(), image.depth(), image.colorCount());
}

void PreviewWindow::showSound()
{
    m_waveform->setPeaks(
        content::wavePeaks(m_preview.wave(), m_preview.bytes(), WaveformView::kColumns));
    const bool hasOutput = SoundPlayer::hasOutput();
    m_play->setEnabled(hasOutput);
    m_stop->setEnabled(false);
    m_soundNote->setText(hasOutput ? QString() : uiText(res::preview::kNoAudioDevice));
}

void PreviewWindow::showHex()
{
    m_hex->setSource(
        [this, shown = m_nShown](std::uint64_t offset, std::size_t count) {
            try {
                return m_preview.hexBytes(offset, count);
            } catch (const archive::ArchiveError& e) {
                // The file changed since it was opened. Asked while painting, so the layout
                // changes afterwards.
                QMetaObject::invokeMethod(
                    this,
                    [this, shown, text = fromUtf8(session::EntryPreview::entryFailure(e))] {
                        if (shown == m_nShown)
                            setMessage(text);
                    },
                    Qt::QueuedConnection);
                throw;
            }
        },
        m_preview.hexSize());
}

void PreviewWindow::onHexToggled(bool on)
{
    if (on)
        showHex();
    setView(on ? View::hex : m_preview.contentView());
}

void PreviewWindow::play()
{
    switch (m_player->play(m_preview.wave(), m_preview.bytes())) {
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
