#include "ui/EntryListModel.h"

#include "archive/Catalogue.h"
#include "archive/NameMapping.h"
#include "archive/QuickFind.h"

EntryListModel::EntryListModel(QObject* parent) : QAbstractListModel(parent) {}

EntryListModel::~EntryListModel() = default;

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : GetCount();
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (role != Qt::DisplayRole || !index.isValid() || !isValid(index.row()))
        return {};
    // Decoded only for the rows the view paints; bytes that do not decode show as U+FFFD.
    return QString::fromStdString(archive::names::displayName(GetText(index.row())));
}

void EntryListModel::setCatalogue(std::shared_ptr<const archive::Catalogue> catalogue,
                                  std::string_view type)
{
    beginResetModel();
    m_rows.clear();
    m_catalogue = std::move(catalogue);
    if (m_catalogue)
        m_rows = m_catalogue->filter(type);
    endResetModel();
}

void EntryListModel::setFilter(std::string_view type)
{
    beginResetModel();
    m_rows = m_catalogue ? m_catalogue->filter(type) : std::vector<std::uint32_t>();
    endResetModel();
}

std::uint32_t EntryListModel::GetItemData(int index) const
{
    return isValid(index) ? m_catalogue->position(m_rows[static_cast<std::size_t>(index)]) : 0;
}

std::string_view EntryListModel::GetText(int index) const
{
    return isValid(index) ? m_catalogue->name(m_rows[static_cast<std::size_t>(index)])
                          : std::string_view();
}

std::vector<std::uint32_t> EntryListModel::positionsOf(const std::vector<int>& indexes) const
{
    std::vector<std::uint32_t> rows;
    rows.reserve(indexes.size());
    for (const int index : indexes) {
        if (isValid(index))
            rows.push_back(m_rows[static_cast<std::size_t>(index)]);
    }
    return m_catalogue ? m_catalogue->positions(std::move(rows)) : rows;
}

int EntryListModel::findString(std::string_view findText) const
{
    if (!m_catalogue)
        return -1;
    return m_catalogue->quickFind().find(m_rows, findText);
}
