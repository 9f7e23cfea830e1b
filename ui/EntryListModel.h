#pragma once

#include <QAbstractListModel>

class DragOutFolders;

namespace archive {
class ArchiveReader;
class EntryList;
struct RecordView;
} // namespace archive

// The entry list as the view sees it. Commands change the list between beginChange and
// endChange, so the view is reset once per command, never told about each added row.
class EntryListModel : public QAbstractListModel {
public:
    explicit EntryListModel(const archive::EntryList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // The reader the rows' records come from, for tooltips and dragging; it outlives the model.
    void setReader(const archive::ArchiveReader* reader) { m_pReader = reader; }
    // Where dragged entries are extracted; without it nothing can be dragged.
    void setDragOut(DragOutFolders* folders) { m_pDragOut = folders; }

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDragActions() const override;
    // Extracts the entries into a fresh drag-out folder; null after the failure was shown.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

    void beginChange() { beginResetModel(); }
    void endChange() { endResetModel(); }

private:
    QString toolTip(int row) const;
    // The one way to an entry's record; throws the reader's ArchiveError.
    archive::RecordView recordAt(int row) const;

    const archive::EntryList& m_list;
    const archive::ArchiveReader* m_pReader = nullptr;
    DragOutFolders* m_pDragOut = nullptr;
};
