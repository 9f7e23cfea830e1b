#pragma once

#include <QStyledItemDelegate>

// Rows of the entry list tall enough for every glyph of the font: some Ming faces report a
// descent rounded below what their underscore and descenders reach. The current row wears a
// frame even while the focus is elsewhere (in the find box, say), so a found row stands out
// without changing the selection.
class EntryRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Pixels from the font's own ascent, descent and line gap, at least Qt's line spacing.
    static int rowHeight(const QFont& font);
};
