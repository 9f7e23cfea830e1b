#include "ui/preview/PictureView.h"

#include <QPainter>

#include <algorithm>

PictureView::PictureView(QWidget* parent) : QWidget(parent)
{
    setMinimumSize(64, 64);
}

void PictureView::setImage(QImage image)
{
    m_image = std::move(image);
    update();
}

QRect PictureView::targetRect() const
{
    if (m_image.isNull())
        return {};
    const double zoom = std::min(
        {double(width()) / m_image.width(), double(height()) / m_image.height(), kMaxZoom});
    const QSize size(std::max(1, int(m_image.width() * zoom)),
                     std::max(1, int(m_image.height() * zoom)));
    return QRect(QPoint((width() - size.width()) / 2, (height() - size.height()) / 2), size);
}

void PictureView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    if (m_image.isNull())
        return;
    const QRect target = targetRect();
    painter.setRenderHint(QPainter::SmoothPixmapTransform, target.width() < m_image.width());
    painter.drawImage(target, m_image);
}
