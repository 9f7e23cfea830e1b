#pragma once

#include "content/WaveFormat.h"

#include <QWidget>

#include <vector>

// The whole sound drawn once per channel, one band each, from peaks taken when it is set.
class WaveformView : public QWidget {
public:
    static constexpr int kColumns = 1024;

    explicit WaveformView(QWidget* parent = nullptr);

    void setPeaks(std::vector<std::vector<content::WavePeak>> peaks);
    const std::vector<std::vector<content::WavePeak>>& peaks() const { return m_peaks; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::vector<std::vector<content::WavePeak>> m_peaks;
};
