#pragma once

#include "content/WaveFormat.h"

#include <QByteArray>
#include <QObject>
#include <QString>

#include <memory>
#include <span>

class QAudioSink;
class QBuffer;

// Plays one sound entry on the default output, every encoding decoded to 16-bit PCM first.
class SoundPlayer : public QObject {
    Q_OBJECT

public:
    enum class Start { playing, noDevice, formatUnsupported };

    explicit SoundPlayer(QObject* parent = nullptr);
    ~SoundPlayer() override;

    // The output holds this much sound ahead of what is heard, plus the server's own latency.
    static constexpr int kOutputBufferMs = 200;
    // The sink goes idle once it has taken the last byte, not once that byte is heard, and
    // stopping it then drops what it still holds: silence after the sound is what gets dropped.
    static constexpr int kSilenceAfterMs = 500;

    static bool hasOutput();
    // The bytes handed to the output for an entry: its sound as 16-bit PCM, then silence.
    static QByteArray outputBytes(const content::WaveFormat& format,
                                  std::span<const unsigned char> entry);

    // Stops what plays, then plays the sound of entry that format describes. entry is copied.
    Start play(const content::WaveFormat& format, std::span<const unsigned char> entry);
    void stop();
    bool isPlaying() const { return m_sink != nullptr; }
    // The output the last play() tried.
    QString deviceName() const { return m_strDevice; }

signals:
    // The sound played to its end.
    void finished();

private:
    std::unique_ptr<QAudioSink> m_sink;
    std::unique_ptr<QBuffer> m_buffer;
    QByteArray m_samples;
    QString m_strDevice;
};
