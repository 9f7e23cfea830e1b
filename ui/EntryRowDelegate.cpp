#include "ui/EntryRowDelegate.h"

#include <QAbstractItemView>
#include <QFontMetricsF>
#include <QPainter>
#include <QRawFont>
#include <QtEndian>

#include <algorithm>
#include <cmath>

namespace {

// A signed or unsigned 16-bit big-endian field of a font table; 0 past its end.
int field(const QByteArray& table, int offset, bool isSigned)
{
    if (table.size() < offset + 2)
        return 0;
    const auto* bytes = reinterpret_cast<const uchar*>(table.constData()) + offset;
    return isSigned ? qFromBigEndian<qint16>(bytes) : qFromBigEndian<quint16>(bytes);
}

} // namespace

int EntryRowDelegate::rowHeight(const QFont& font)
{
    const QFontMetricsF metrics(font);
    double height = std::max(metrics.lineSpacing(), metrics.ascent() + metrics.descent());
    const QRawFont raw = QRawFont::fromFont(font);
    if (raw.isValid() && raw.unitsPerEm() > 0) {
        const double scale = raw.pixelSize() / raw.unitsPerEm();
        // Horizontal header: ascender, descender (negative), line gap.
        const QByteArray hhea = raw.fontTable("hhea");
        const int hheaUnits =
            field(hhea, 4, true) - field(hhea, 6, true) + std::max(0, field(hhea, 8, true));
        // The Windows ascent and descent, which bound every glyph the face draws.
        const QByteArray os2 = raw.fontTable("OS/2");
        const int winUnits = field(os2, 74, false) + field(os2, 76, false);
        height = std::max(height, std::max(hheaUnits, winUnits) * scale);
    }
    return static_cast<int>(std::ceil(height - 0.01));
}

QSize EntryRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QSize size = QStyledItemDelegate::sizeHint(option, index);
    size.setHeight(std::max(size.height(), rowHeight(option.font)));
    return size;
}

void EntryRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                             const QModelIndex& index) const
{
    QStyledItemDelegate::paint(painter, option, index);
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    if (!view || view->currentIndex() != index)
        return;
    painter->save();
    QPen pen(option.palette.color(QPalette::Text));
    pen.setStyle(Qt::DotLine);
    painter->setPen(pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawRect(option.rect.adjusted(0, 0, -1, -1));
    painter->restore();
}
