#include "ui/preview/SoundPlayer.h"

#include <QAudioFormat>
#include <QAudioSink>
#include <QBuffer>
#include <QMediaDevices>

SoundPlayer::SoundPlayer(QObject* parent) : QObject(parent) {}

SoundPlayer::~SoundPlayer()
{
    stop();
}

bool SoundPlayer::hasOutput()
{
    return !QMediaDevices::defaultAudioOutput().isNull();
}

QByteArray SoundPlayer::outputBytes(const content::WaveFormat& format,
                                    std::span<const unsigned char> entry)
{
    const std::uint64_t frameBytes = std::uint64_t(format.channels) * 2;
    const std::uint64_t silenceBytes =
        std::uint64_t(format.sampleRate) * kSilenceAfterMs / 1000 * frameBytes;
    QByteArray out;
    out.reserve(static_cast<qsizetype>(format.frameCount() * frameBytes + silenceBytes));
    content::forEachSample(format, entry, [&out](unsigned, std::int16_t v) {
        out.append(static_cast<char>(v & 0xFF));
        out.append(static_cast<char>((v >> 8) & 0xFF));
    });
    out.append(static_cast<qsizetype>(silenceBytes), '\0');
    return out;
}

SoundPlayer::Start SoundPlayer::play(const content::WaveFormat& format,
                                     std::span<const unsigned char> entry)
{
    stop();
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return Start::noDevice;
    m_strDevice = device.description();
    QAudioFormat output;
    output.setSampleRate(static_cast<int>(format.sampleRate));
    output.setChannelCount(format.channels);
    output.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(output))
        return Start::formatUnsupported;
    m_samples = outputBytes(format, entry);
    m_buffer = std::make_unique<QBuffer>(&m_samples);
    m_buffer->open(QIODevice::ReadOnly);
    m_sink = std::make_unique<QAudioSink>(device, output);
    m_sink->setBufferSize(static_cast<qsizetype>(output.bytesForDuration(kOutputBufferMs * 1000)));
    QAudioSink* sink = m_sink.get();
    connect(sink, &QAudioSink::stateChanged, this, [this, sink](QAudio::State state) {
        // The sink is not deleted inside its own signal; by the time this runs another sound
        // may play.
        if (state == QAudio::IdleState)
            QMetaObject::invokeMethod(
                this,
                [this, sink] {
                    // Idle with bytes left is an underrun of a busy machine; playing goes on.
                    if (m_sink.get() != sink || !m_buffer->atEnd())
                        return;
                    stop();
                    emit finished();
                },
                Qt::QueuedConnection);
    });
    m_sink->start(m_buffer.get());
    return Start::playing;
}

void SoundPlayer::stop()
{
    if (m_sink) {
        m_sink->disconnect(this);
        m_sink->stop();
        m_sink.reset();
    }
    m_buffer.reset();
}
