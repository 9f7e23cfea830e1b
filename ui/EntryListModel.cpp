#include "ui/EntryListModel.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveReader.h"
#include "archive/EntryList.h"
#include "archive/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/ErrorMessages.h"
#include "ui/preview/DragOutFolders.h"

#include <QMimeData>

#include <algorithm>

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
    if (!index.isValid() || index.row() >= m_list.GetCount())
        return {};
    if (role == Qt::ToolTipRole)
        return toolTip(index.row());
    if (role != Qt::DisplayRole)
        return {};
    // Decoded only for the rows the view paints; bytes that do not decode show as U+FFFD.
    return QString::fromStdString(archive::names::displayName(m_list.GetText(index.row())));
}

archive::RecordView EntryListModel::recordAt(int row) const
{
    return m_pReader->record(m_list.GetItemData(row));
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
        if (index.isValid() && index.row() < m_list.GetCount())
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QList<QUrl> urls = m_pDragOut->extract(*m_pReader, m_list, rows);
    if (urls.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}
