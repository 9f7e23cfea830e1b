#include "ui/preview/PreviewController.h"

#include "archive/ArchiveError.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveReader.h"
#include "archive/Extraction.h"
#include "archive/NameMapping.h"
#include "res/PreviewTexts.h"
#include "ui/EntryListModel.h"
#include "ui/preview/PreviewWindow.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QDrag>
#include <QHelpEvent>
#include <QListView>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QToolTip>
#include <QUrl>

#include <algorithm>

namespace {
QString tr8(const char* text)
{
    return QString::fromUtf8(text);
}
} // namespace

PreviewController::PreviewController(QListView* view, archive::ArchiveReader& archive,
                                     const EntryListModel& list,
                                     std::function<void()> extractSelected, QObject* parent)
    : QObject(parent), m_view(view), m_archive(archive), m_list(list),
      m_extractSelected(std::move(extractSelected))
{
    m_window = new PreviewWindow(view->window());
    m_window->setTextFont(view->font());
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QListView::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos); });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { followCurrent(current); });
    // The listing is about to change (another archive or type): the entry shown may be gone.
    connect(view->model(), &QAbstractItemModel::modelAboutToBeReset, m_window, &QWidget::close);
    view->viewport()->installEventFilter(this);
    view->window()->installEventFilter(this);
}

PreviewController::~PreviewController()
{
    delete m_window;
    removeDragFolders();
}

void PreviewController::openPreview(int row)
{
    if (row < 0 || row >= m_list.GetCount())
        return;
    m_window->showEntry(m_archive, m_list.GetItemData(row),
                        m_view->model()->index(row, 0).data().toString());
    m_window->show();
    m_window->raise();
}

void PreviewController::followCurrent(const QModelIndex& current)
{
    if (m_window->isVisible() && current.isValid())
        openPreview(current.row());
}

QMenu* PreviewController::createContextMenu(int row)
{
    auto* menu = new QMenu(m_view);
    QAction* previewAction = menu->addAction(tr8(res::preview::kMenuPreview));
    connect(previewAction, &QAction::triggered, this, [this, row] { openPreview(row); });
    QAction* extract = menu->addAction(tr8(res::preview::kMenuExtract));
    connect(extract, &QAction::triggered, this, [this] {
        if (m_extractSelected)
            m_extractSelected();
    });
    QAction* copy = menu->addAction(tr8(res::preview::kMenuCopyName));
    const QString name = m_view->model()->index(row, 0).data().toString();
    connect(copy, &QAction::triggered, this,
            [name] { QGuiApplication::clipboard()->setText(name); });
    const bool isEntry = row >= 0 && row < m_list.GetCount();
    previewAction->setEnabled(isEntry);
    copy->setEnabled(isEntry);
    extract->setEnabled(m_list.GetCount() > 0);
    return menu;
}

void PreviewController::showContextMenu(const QPoint& pos)
{
    const QModelIndex index = m_view->indexAt(pos);
    if (!index.isValid())
        return;
    QMenu* menu = createContextMenu(index.row());
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_view->viewport()->mapToGlobal(pos));
}

QString PreviewController::toolTipFor(int row) const
{
    if (row < 0 || row >= m_list.GetCount())
        return {};
    try {
        const archive::RecordView record = m_archive.record(m_list.GetItemData(row));
        return tr8(res::preview::kToolTip).arg(record.dataSize).arg(record.dataOffset);
    } catch (const archive::ArchiveError& e) {
        return QString::fromUtf8(e.what());
    }
}

QMimeData* PreviewController::dragData()
{
    std::vector<int> rows;
    for (const QModelIndex& index : m_view->selectionModel()->selectedRows())
        rows.push_back(index.row());
    std::sort(rows.begin(), rows.end());
    if (rows.empty())
        return nullptr;
    auto folder = std::make_unique<QTemporaryDir>();
    try {
        if (!folder->isValid())
            throw archive::FileError(archive::ErrorKind::cannotCreateFolder,
                                     folder->path().toStdString(),
                                     folder->errorString().toStdString());
        archive::extractEntries(m_archive, m_list.positionsOf(rows), folder->path().toStdString());
        QList<QUrl> urls;
        // The top level of each entry, once: a folder carries the entries below it.
        QStringList seen;
        for (int row : rows) {
            const std::vector<std::string> components =
                archive::names::hostComponents(m_list.GetText(row));
            const QString path =
                folder->path() + QLatin1Char('/') + QString::fromStdString(components.front());
            if (!seen.contains(path)) {
                seen << path;
                urls << QUrl::fromLocalFile(path);
            }
        }
        auto* mime = new QMimeData;
        mime->setUrls(urls);
        m_dragFolders.push_back(std::move(folder));
        return mime;
    } catch (const archive::ArchiveError& e) {
        QMessageBox::warning(m_view->window(), tr8(res::preview::kDragFailed),
                             QString::fromUtf8(e.what()));
        return nullptr;
    }
}

void PreviewController::removeDragFolders()
{
    m_dragFolders.clear();
}

void PreviewController::startDrag()
{
    QMimeData* mime = dragData();
    if (!mime)
        return;
    auto* drag = new QDrag(m_view);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction);
}

bool PreviewController::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_view->window()) {
        // accept() and reject() hide the dialog without a close event.
        if (event->type() == QEvent::Close ||
            (event->type() == QEvent::Hide && !event->spontaneous())) {
            m_window->close();
            removeDragFolders();
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::ToolTip: {
        auto* help = static_cast<QHelpEvent*>(event);
        const QModelIndex index = m_view->indexAt(help->pos());
        if (index.isValid())
            QToolTip::showText(help->globalPos(), toolTipFor(index.row()), m_view->viewport());
        else
            QToolTip::hideText();
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = m_view->indexAt(mouse->position().toPoint());
        m_pressPos = mouse->position().toPoint();
        m_pressIndex = index;
        m_bPressedOnSelection = mouse->button() == Qt::LeftButton && index.isValid() &&
                                m_view->selectionModel()->isSelected(index) &&
                                mouse->modifiers() == Qt::NoModifier;
        // The view would narrow a selection of several to the pressed entry at once; it is
        // narrowed at release instead, when no drag started, so several can be dragged.
        m_bDeferredClick =
            m_bPressedOnSelection && m_view->selectionModel()->selectedRows().size() > 1;
        return m_bDeferredClick;
    }
    case QEvent::MouseButtonDblClick: {
        // Handled here rather than through the view's signal, which a deferred press confuses.
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QModelIndex index = m_view->indexAt(mouse->position().toPoint());
        if (mouse->button() != Qt::LeftButton || !index.isValid())
            return false;
        openPreview(index.row());
        return true;
    }
    case QEvent::MouseMove: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (m_bPressedOnSelection && (mouse->buttons() & Qt::LeftButton) &&
            (mouse->position().toPoint() - m_pressPos).manhattanLength() >=
                QApplication::startDragDistance()) {
            m_bPressedOnSelection = false;
            m_bDeferredClick = false;
            startDrag();
            return true;
        }
        return false;
    }
    case QEvent::MouseButtonRelease: {
        const bool wasDeferred = m_bDeferredClick;
        m_bPressedOnSelection = false;
        m_bDeferredClick = false;
        if (wasDeferred && m_pressIndex.isValid())
            m_view->selectionModel()->setCurrentIndex(
                m_pressIndex, QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
        return wasDeferred;
    }
    default:
        return false;
    }
}
