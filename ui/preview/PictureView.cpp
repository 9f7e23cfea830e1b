#include "ui/preview/PictureView.h"

#include <QPainter>

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
    const auto placed =
        session::EntryPreview::placePicture(m_image.width(), m_image.height(), width(), height());
    return QRect(placed.x, placed.y, placed.width, placed.height);
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
