#include "ui/EntryListModel.h"

#include "archive/EntryList.h"
#include "archive/NameMapping.h"

EntryListModel::EntryListModel(const archive::EntryList& list, QObject* parent)
    : QAbstractListModel(parent), m_list(list)
{
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : m_list.GetCount();
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || index.row() >= m_list.GetCount())
        return {};
    // Decoded only for the rows the view paints; bytes that do not decode show as U+FFFD.
    return QString::fromStdString(archive::names::displayName(m_list.GetText(index.row())));
}
