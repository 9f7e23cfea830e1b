#pragma once

#include "session/preview/EntryPreview.h"

#include <QImage>
#include <QWidget>

// A picture fitted to the view, never enlarged past 400 %; enlarged pixels stay sharp.
class PictureView : public QWidget {
public:
    static constexpr double kMaxZoom = session::EntryPreview::kMaxZoom;

    explicit PictureView(QWidget* parent = nullptr);

    void setImage(QImage image);
    const QImage& image() const { return m_image; }
    // The rectangle the picture is drawn in, for the current size of the view.
    QRect targetRect() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QImage m_image;
};
