#include "ui/preview/WaveformView.h"

#include <QPainter>

WaveformView::WaveformView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(200, 80);
}

void WaveformView::setPeaks(std::vector<std::vector<content::WavePeak>> peaks)
{
    m_peaks = std::move(peaks);
    update();
}

void WaveformView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), palette().base());
    if (m_peaks.empty())
        return;
    const int bands = static_cast<int>(m_peaks.size());
    const double bandHeight = double(height()) / bands;
    for (int c = 0; c < bands; ++c) {
        const auto& column = m_peaks[static_cast<std::size_t>(c)];
        const double mid = bandHeight * (c + 0.5);
        const double half = bandHeight * 0.45;
        painter.setPen(palette().mid().color());
        painter.drawLine(QPointF(0, mid), QPointF(width(), mid));
        painter.setPen(palette().highlight().color());
        for (int x = 0; x < width(); ++x) {
            const auto& peak = column[static_cast<std::size_t>(x) * column.size() / width()];
            painter.drawLine(QPointF(x, mid - peak.high * half), QPointF(x, mid - peak.low * half));
        }
    }
}
