#include "ui/preview/PreviewWindow.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/CodePage950.h"
#include "archive/EntryData.h"
#include "archive/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/preview/ContentKind.h"
#include "ui/preview/HexView.h"
#include "ui/preview/PictureView.h"
#include "ui/preview/WaveformView.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QMediaDevices>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QVBoxLayout>

#include <cstdlib>
#include <optional>
#include <span>

namespace {

QString tr8(const char* text)
{
    return QString::fromUtf8(text);
}

const char* waveProblemText(preview::WaveProblem problem)
{
    using preview::WaveProblem;
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

// Formats whose readers accept almost any bytes: a match from them alone is no picture.
bool isLooseFormat(const QByteArray& format)
{
    return format == "tga" || format == "wbmp" || format == "ico" || format == "cur" ||
           format == "pcx";
}

// What a BMP's headers claim: the decoded image is widened to 32 bits, and a refused one has no
// size at all.
struct BmpClaim {
    std::int64_t width = 0;
    std::int64_t height = 0;
    int depth = 0;
    int colors = 0;
};

std::optional<BmpClaim> bmpClaim(const QByteArray& bytes)
{
    constexpr qsizetype kWidthOffset = 18;
    constexpr qsizetype kHeightOffset = 22;
    constexpr qsizetype kBitCountOffset = 28;
    constexpr qsizetype kColorsUsedOffset = 46;
    if (bytes.size() < kColorsUsedOffset + 4 || !bytes.startsWith("BM"))
        return std::nullopt;
    const auto* p = reinterpret_cast<const unsigned char*>(bytes.constData());
    const auto le32 = [p](qsizetype at) {
        return std::uint32_t(p[at]) | std::uint32_t(p[at + 1]) << 8 |
               std::uint32_t(p[at + 2]) << 16 | std::uint32_t(p[at + 3]) << 24;
    };
    BmpClaim claim;
    claim.width = static_cast<std::int32_t>(le32(kWidthOffset));
    // A negative height marks rows stored top down.
    claim.height = std::abs(std::int64_t(static_cast<std::int32_t>(le32(kHeightOffset))));
    claim.depth = p[kBitCountOffset] | p[kBitCountOffset + 1] << 8;
    const std::uint32_t used = le32(kColorsUsedOffset);
    claim.colors = used != 0 && used <= 256 ? int(used) : claim.depth <= 8 ? 1 << claim.depth : 0;
    return claim;
}

} // namespace

PreviewWindow::PreviewWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    QImageReader::setAllocationLimit(kImageAllocationMiB);
    resize(560, 480);

    m_message = new QLabel(this);
    m_message->setWordWrap(true);
    m_message->setTextInteractionFlags(Qt::TextSelectableByMouse);
    m_message->hide();

    m_stack = new QStackedWidget(this);
    m_picture = new PictureView(m_stack);
    m_soundPage = new QWidget(m_stack);
    m_waveform = new WaveformView(m_soundPage);
    m_play = new QPushButton(tr8(res::preview::kPlay), m_soundPage);
    m_stop = new QPushButton(tr8(res::preview::kStop), m_soundPage);
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
    m_hexToggle = new QCheckBox(tr8(res::preview::kHexToggle), this);

    auto* bottom = new QHBoxLayout;
    bottom->addWidget(m_format, 1);
    bottom->addWidget(m_hexToggle);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(m_message);
    layout->addWidget(m_stack, 1);
    layout->addLayout(bottom);
    layout->addWidget(m_details);

    connect(m_hexToggle, &QCheckBox::toggled, this, [this](bool on) { onHexToggled(on); });
    connect(m_play, &QPushButton::clicked, this, [this] { play(); });
    connect(m_stop, &QPushButton::clicked, this, [this] { stop(); });
}

PreviewWindow::~PreviewWindow()
{
    stop();
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
        setMessage(tr8(res::preview::kEntryUnreadable).arg(QString::fromUtf8(e.what())));
        return;
    }
    QString hostPath;
    try {
        hostPath = QString::fromStdString(archive::names::hostRelativePath(record.name));
    } catch (const archive::ArchiveError& e) {
        hostPath = tr8(res::preview::kNoHostPath).arg(QString::fromUtf8(e.what()));
    }
    m_details->setText(tr8(res::preview::kDetails)
                           .arg(record.dataSize)
                           .arg(record.dataOffset)
                           .arg(record.recordPosition)
                           .arg(hostPath));
    try {
        if (record.dataSize > kMaxDecodedEntryBytes) {
            // Refuses a damaged entry before the view asks for any page.
            archive::readEntryBytes(reader, record, 0, {});
            setMessage(tr8(res::preview::kTooLarge)
                           .arg(record.dataSize)
                           .arg(kMaxDecodedEntryBytes >> 20)
                           .arg(kLargeEntryHexBytes >> 20));
            // The window is closed whenever the listing changes, so the reader outlives it.
            const archive::ArchiveReader* source = &reader;
            m_hex->setSource(
                [source, record](std::uint64_t offset, std::size_t count) {
                    std::vector<unsigned char> page(count);
                    page.resize(archive::readEntryBytes(*source, record, offset, page));
                    return page;
                },
                kLargeEntryHexBytes);
            m_format->setText(tr8(res::preview::kHexLine).arg(record.dataSize));
            m_hexToggle->setEnabled(false);
            setView(View::hex);
            return;
        }
        std::vector<unsigned char> bytes(record.dataSize);
        bytes.resize(archive::readEntryBytes(reader, record, 0, bytes));
        showBytes(std::move(bytes));
    } catch (const archive::ArchiveError& e) {
        const char* text = e.kind() == archive::ErrorKind::damagedEntry
                               ? res::preview::kEntryDamaged
                               : res::preview::kEntryUnreadable;
        setMessage(tr8(text).arg(QString::fromUtf8(e.what())));
    }
}

void PreviewWindow::showBytes(std::vector<unsigned char> bytes)
{
    m_bytes = QByteArray(reinterpret_cast<const char*>(bytes.data()),
                         static_cast<qsizetype>(bytes.size()));
    bytes = {};
    const std::span<const unsigned char> data = span(m_bytes);
    switch (preview::sniffContent(data)) {
    case preview::ContentKind::sound: {
        const preview::WaveParse parse = preview::parseWave(data);
        if (parse.isOk()) {
            showSound(parse.format);
            return;
        }
        setMessage(tr8(res::preview::kSoundUnreadable).arg(tr8(waveProblemText(parse.problem))));
        break;
    }
    case preview::ContentKind::picture:
        if (showPicture(m_bytes, true))
            return;
        break;
    case preview::ContentKind::text:
        m_text->setPlainText(QString::fromStdString(archive::cp950::toUtf8Lossy(
            std::string_view(m_bytes.constData(), static_cast<std::size_t>(m_bytes.size())))));
        m_contentView = View::text;
        m_format->setText(tr8(res::preview::kHexLine).arg(m_bytes.size()));
        setView(View::text);
        return;
    case preview::ContentKind::binary:
        if (showPicture(m_bytes, false))
            return;
        break;
    }
    showHexOfBytes();
}

bool PreviewWindow::showPicture(const QByteArray& bytes, bool sniffed)
{
    QBuffer buffer;
    buffer.setData(bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setDecideFormatFromContent(true);
    if (!sniffed && (reader.format().isEmpty() || isLooseFormat(reader.format())))
        return false;
    const std::optional<BmpClaim> bmp = bmpClaim(bytes);
    QSize claimed = reader.size();
    std::int64_t claimedWidth = claimed.width();
    std::int64_t claimedHeight = claimed.height();
    if (bmp) {
        claimedWidth = bmp->width;
        claimedHeight = bmp->height;
    }
    const QImage image = reader.read();
    if (image.isNull()) {
        const QString reason = reader.errorString();
        if (claimedWidth > 0 && claimedHeight > 0 &&
            std::uint64_t(claimedWidth) * std::uint64_t(claimedHeight) * 4 >
                (std::uint64_t(kImageAllocationMiB) << 20))
            setMessage(tr8(res::preview::kPictureTooLarge)
                           .arg(claimedWidth)
                           .arg(claimedHeight)
                           .arg(reason));
        else
            setMessage(tr8(res::preview::kPictureUndecodable).arg(reason));
        return false;
    }
    const int depth = bmp ? bmp->depth : image.depth();
    const int colors = bmp ? bmp->colors : image.colorCount();
    m_picture->setImage(image);
    m_format->setText(tr8(res::preview::kPictureLine)
                          .arg(image.width())
                          .arg(image.height())
                          .arg(depth)
                          .arg(colors));
    m_contentView = View::picture;
    setView(View::picture);
    return true;
}

void PreviewWindow::showSound(const preview::WaveFormat& format)
{
    m_wave = format;
    m_waveform->setPeaks(preview::wavePeaks(format, span(m_bytes), WaveformView::kColumns));
    m_format->setText(
        tr8(res::preview::kSoundLine)
            .arg(format.channels)
            .arg(format.sampleRate)
            .arg(format.bitsPerSample)
            .arg(format.seconds(), 0, 'f', 2)
            .arg(tr8(format.encoding == preview::WaveFormat::kPcm ? res::preview::kPcm
                                                                  : res::preview::kImaAdpcm)));
    const bool hasOutput = !QMediaDevices::defaultAudioOutput().isNull();
    m_play->setEnabled(hasOutput);
    m_stop->setEnabled(false);
    m_soundNote->setText(hasOutput ? QString() : tr8(res::preview::kNoAudioDevice));
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
        m_format->setText(tr8(res::preview::kHexLine).arg(m_bytes.size()));
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
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull()) {
        m_soundNote->setText(tr8(res::preview::kNoAudioDevice));
        return;
    }
    // Every encoding goes out as 16-bit PCM, decoded here.
    m_playSamples.clear();
    m_playSamples.reserve(static_cast<qsizetype>(m_wave.frameCount() * m_wave.channels * 2));
    preview::forEachSample(m_wave, span(m_bytes), [this](unsigned, std::int16_t v) {
        m_playSamples.append(static_cast<char>(v & 0xFF));
        m_playSamples.append(static_cast<char>((v >> 8) & 0xFF));
    });
    QAudioFormat format;
    format.setSampleRate(static_cast<int>(m_wave.sampleRate));
    format.setChannelCount(m_wave.channels);
    format.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(format)) {
        m_soundNote->setText(tr8(res::preview::kCannotPlay).arg(device.description()));
        return;
    }
    m_playBuffer = std::make_unique<QBuffer>(&m_playSamples);
    m_playBuffer->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, format);
    connect(m_sink.get(), &QAudioSink::stateChanged, this, [this](QAudio::State state) {
        // The sink is not deleted inside its own signal.
        if (state == QAudio::IdleState)
            QMetaObject::invokeMethod(
                this, [this] { stop(); }, Qt::QueuedConnection);
    });
    m_sink->start(m_playBuffer.get());
    m_stop->setEnabled(true);
}

void PreviewWindow::stop()
{
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_playBuffer.reset();
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
