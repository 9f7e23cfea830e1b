#include "ui/EntryListModel.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/Catalogue.h"
#include "archive/NameMapping.h"
#include "archive/QuickFind.h"
#include "res/PreviewTexts.h"
#include "ui/ErrorMessages.h"
#include "ui/preview/DragOutFolders.h"

#include <QMimeData>

#include <algorithm>

EntryListModel::EntryListModel(QObject* parent) : QAbstractListModel(parent) {}

EntryListModel::~EntryListModel() = default;

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : GetCount();
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !isValid(index.row()))
        return {};
    if (role == Qt::ToolTipRole)
        return toolTip(index.row());
    if (role != Qt::DisplayRole)
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

archive::RecordView EntryListModel::recordAt(int row) const
{
    return m_pReader->record(GetItemData(row));
}

QString EntryListModel::toolTip(int row) const
{
    if (!m_pReader)
        return {};
    try {
        const archive::RecordView record = recordAt(row);
        return QString::fromUtf8(res::preview::kToolTip)
            .arg(record.dataSize)
            .arg(record.dataOffset);
    } catch (const archive::ArchiveError& e) {
        return errorMessage(e);
    }
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid() && m_pDragOut && m_pReader)
        flags |= Qt::ItemIsDragEnabled;
    return flags;
}

QStringList EntryListModel::mimeTypes() const
{
    return {QStringLiteral("text/uri-list")};
}

Qt::DropActions EntryListModel::supportedDragActions() const
{
    // The entries stay in the archive: a drop only ever copies.
    return Qt::CopyAction;
}

QMimeData* EntryListModel::mimeData(const QModelIndexList& indexes) const
{
    if (!m_pDragOut || !m_pReader)
        return nullptr;
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && isValid(index.row()))
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QList<QUrl> urls = m_pDragOut->extract(*m_pReader, positionsOf(rows));
    if (urls.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}
