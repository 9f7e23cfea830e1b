#pragma once

#include "session/EntryList.h"

#include <QAbstractListModel>

#include <cstdint>
#include <string_view>
#include <vector>

class DragOutFolders;

namespace archive {
class Catalogue;
}

// The session's entry list as the view sees it: it resets when the list does, and the view's
// selection model is the only place the selection lives. Rows are dragged out as files.
class EntryListModel : public QAbstractListModel {
public:
    EntryListModel(session::EntryList& list, QObject* parent = nullptr);
    ~EntryListModel() override;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    const session::EntryList& list() const { return m_list; }
    const archive::Catalogue* catalogue() const { return m_list.catalogue(); }
    // The list box operations, by list index.
    int GetCount() const { return m_list.count(); }
    std::uint32_t GetItemData(int index) const { return m_list.position(index); }
    std::string_view GetText(int index) const { return m_list.name(index); }

    // Where dragged entries are extracted; without it nothing can be dragged.
    void setDragOut(DragOutFolders* folders) { m_pDragOut = folders; }

    Qt::ItemFlags flags(const QModelIndex& index) const override;
    QStringList mimeTypes() const override;
    Qt::DropActions supportedDragActions() const override;
    // Extracts the entries into a fresh drag-out folder; null after the failure was shown.
    QMimeData* mimeData(const QModelIndexList& indexes) const override;

private:
    QString toolTip(int row) const;
    // A compared row's mark: its colour, and its line of the tooltip; nothing without marks.
    QVariant markColor(int row) const;
    QString markText(int row) const;

    session::EntryList& m_list;
    DragOutFolders* m_pDragOut = nullptr;
};
