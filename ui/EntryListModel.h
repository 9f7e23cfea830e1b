#pragma once

#include <QAbstractListModel>

namespace archive {
class EntryList;
}

// The entry list as the view sees it. Commands change the list between beginChange and
// endChange, so the view is reset once per command, never told about each added row.
class EntryListModel : public QAbstractListModel {
public:
    explicit EntryListModel(const archive::EntryList& list, QObject* parent = nullptr);

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;

    void beginChange() { beginResetModel(); }
    void endChange() { endResetModel(); }

private:
    const archive::EntryList& m_list;
};
