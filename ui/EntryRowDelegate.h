#pragma once

#include <QStyledItemDelegate>

// Rows of the entry list tall enough for every glyph of the font: some Ming faces report a
// descent rounded below what their underscore and descenders reach.
class EntryRowDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;

    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

    // Pixels from the font's own ascent, descent and line gap, at least Qt's line spacing.
    static int rowHeight(const QFont& font);
};
