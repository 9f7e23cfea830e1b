#pragma once

#include <QAbstractListModel>

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

class DragOutFolders;

namespace archive {
class ArchiveReader;
class Catalogue;
struct RecordView;
} // namespace archive

// The entry list as the view sees it: an archive's catalogue and the rows of it the type filter
// lets through. A new catalogue or filter resets the model once; the view's selection model is
// the only place the selection lives. The list box operations the dialog's commands are written
// in answer from here, by list index.
class EntryListModel : public QAbstractListModel {
public:
    explicit EntryListModel(QObject* parent = nullptr);
    ~EntryListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    // Lists the entries of catalogue passing type; null empties the list.
    void setCatalogue(std::shared_ptr<const archive::Catalogue> catalogue,
                      std::string_view type = "*");
    // Lists the entries of the same catalogue passing type.
    void setFilter(std::string_view type);
    const archive::Catalogue* catalogue() const { return m_catalogue.get(); }

    int GetCount() const { return static_cast<int>(m_rows.size()); }
    // The record position of the entry at index; 0 out of range, as a list box answers.
    std::uint32_t GetItemData(int index) const;
    // The stored name bytes; empty out of range.
    std::string_view GetText(int index) const;
    // The record positions of the entries at indexes, in list order.
    std::vector<std::uint32_t> positionsOf(const std::vector<int>& indexes) const;
    // The index of the first entry the quick find keys match findText (Big5 bytes) with, -1 for
    // none.
    int findString(std::string_view findText) const;

    // The reader the rows' records come from, for tooltips and dragging; it outlives the model.
    void setReader(const archive::ArchiveReader* reader) { m_pReader = reader; }
    // Where dragged entries are extracted; without it nothing can be dragged.
    void setDragOut(DragOutFolders* folders) { m_pDragOut = folders; }

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDragActions() const override;
    // Extracts the entries into a fresh drag-out folder; null after the failure was shown.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    bool isValid(int index) const { return index >= 0 && index < GetCount(); }
    QString toolTip(int row) const;
    // The one way to an entry's record; throws the reader's ArchiveError.
    archive::RecordView recordAt(int row) const;

    std::shared_ptr<const archive::Catalogue> m_catalogue;
    std::vector<std::uint32_t> m_rows; // catalogue rows shown, ascending
    const archive::ArchiveReader* m_pReader = nullptr;
    DragOutFolders* m_pDragOut = nullptr;
};
