#include "ui/EntryListModel.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/ArchiveReader.h"
#include "archive/format/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/ErrorMessages.h"
#include "ui/QtTranslations.h"
#include "ui/preview/DragOutFolders.h"

#include <QColor>
#include <QMimeData>

#include <algorithm>

EntryListModel::EntryListModel(session::EntryList& list, QObject* parent)
    : QAbstractListModel(parent), m_list(list)
{
    m_list.setResetListener([this](bool isStarting) {
        if (isStarting)
            beginResetModel();
        else
            endResetModel();
    });
}

EntryListModel::~EntryListModel()
{
    m_list.setResetListener(nullptr);
}

int EntryListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : GetCount();
}

QVariant EntryListModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || !m_list.isRow(index.row()))
        return {};
    if (role == Qt::ToolTipRole)
        return toolTip(index.row());
    if (role == Qt::DecorationRole)
        return markColor(index.row());
    if (role != Qt::DisplayRole)
        return {};
    // Decoded only for the rows the view paints; bytes that do not decode show as U+FFFD.
    return QString::fromStdString(
        archive::names::displayName(GetText(index.row()), m_list.catalogue()->codePage()));
}

QString EntryListModel::toolTip(int row) const
{
    const QString mark = markText(row);
    try {
        const archive::RecordView record = catalogue()->reader().record(GetItemData(row));
        const QString entry =
            uiText(res::preview::kToolTip).arg(record.dataSize).arg(record.dataOffset);
        return mark.isEmpty() ? entry : mark + QLatin1Char('\n') + entry;
    } catch (const archive::ArchiveError& e) {
        return errorMessage(e);
    }
}

QVariant EntryListModel::markColor(int row) const
{
    const session::ComparisonMarks* marks = m_list.marks();
    if (!marks)
        return {};
    return QColor(session::ComparisonMarks::lookOf(marks->markOf(GetItemData(row))).color);
}

QString EntryListModel::markText(int row) const
{
    const session::ComparisonMarks* marks = m_list.marks();
    if (!marks)
        return {};
    const std::uint32_t position = GetItemData(row);
    const QString text = uiText(session::ComparisonMarks::lookOf(marks->markOf(position)).text);
    return marks->markOf(position) == session::ComparisonMarks::Mark::renamed
               ? text.arg(QString::fromStdString(marks->renamedFrom(position)))
               : text;
}

Qt::ItemFlags EntryListModel::flags(const QModelIndex& index) const
{
    Qt::ItemFlags flags = QAbstractListModel::flags(index);
    if (index.isValid() && m_pDragOut && catalogue())
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
    if (!m_pDragOut || !catalogue())
        return nullptr;
    std::vector<int> rows;
    for (const QModelIndex& index : indexes)
        if (index.isValid() && m_list.isRow(index.row()))
            rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    const QList<QUrl> urls = m_pDragOut->extract(catalogue()->reader(), m_list.positionsOf(rows));
    if (urls.isEmpty())
        return nullptr;
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    return mime;
}
