#include "ui/preview/PreviewController.h"

#include "archive/commands/Catalogue.h"
#include "archive/format/ArchiveReader.h"
#include "res/PreviewTexts.h"
#include "res/Resource.h"
#include "ui/EntryListModel.h"
#include "ui/QtTranslations.h"
#include "ui/preview/PreviewWindow.h"

#include <QClipboard>
#include <QEvent>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QListView>
#include <QMenu>

PreviewController::PreviewController(QListView* view, const EntryListModel& list,
                                     std::function<void()> extractSelected, RunCommand runCommand,
                                     QObject* parent)
    : QObject(parent), m_view(view), m_list(list), m_extractSelected(std::move(extractSelected)),
      m_runCommand(std::move(runCommand))
{
    m_window = new PreviewWindow(view->window());
    m_window->setTextFont(view->font());
    view->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view, &QListView::customContextMenuRequested, this,
            [this](const QPoint& pos) { showContextMenu(pos); });
    // The view signals a double-click of any button; only the left one previews.
    connect(view, &QListView::doubleClicked, this, [this](const QModelIndex& index) {
        if (QGuiApplication::mouseButtons() & Qt::LeftButton)
            openPreview(index.row());
    });
    connect(view->selectionModel(), &QItemSelectionModel::currentChanged, this,
            [this](const QModelIndex& current) { followCurrent(current); });
    // The listing is about to change (another archive or type): the entry shown may be gone.
    connect(view->model(), &QAbstractItemModel::modelAboutToBeReset, m_window,
            [this] { m_follower.rowsResetting(); });
    view->window()->installEventFilter(this);
}

PreviewController::~PreviewController()
{
    delete m_window;
}

void PreviewController::openPreview(int row)
{
    if (row < 0 || row >= m_list.GetCount() || !m_list.catalogue())
        return;
    m_window->showEntry(m_list.catalogue()->reader(), m_list.GetItemData(row),
                        m_view->model()->index(row, 0).data().toString());
    if (!m_window->isVisible())
        m_window->placeBeside(m_view->window());
    m_window->show();
    m_window->raise();
    // Whichever part of the window has the focus, the keys that walk the list reach us first;
    // installing again only moves the filter to the front.
    m_window->installEventFilter(this);
    for (QWidget* part : m_window->findChildren<QWidget*>())
        part->installEventFilter(this);
}

void PreviewController::relistUnder(const std::function<int()>& list)
{
    m_follower.relistUnder(list);
}

bool PreviewController::isOpen() const
{
    return m_window->isVisible();
}

void PreviewController::close()
{
    m_window->close();
}

void PreviewController::release()
{
    m_window->release();
}

bool PreviewController::isListKey(const QKeyEvent& key)
{
    if (key.modifiers() & ~Qt::KeypadModifier)
        return false;
    switch (key.key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
    case Qt::Key_Home:
    case Qt::Key_End:
        return true;
    default:
        return false;
    }
}

bool PreviewController::handlePreviewKey(QKeyEvent& key)
{
    if (key.key() == Qt::Key_Escape) {
        m_window->close();
        return true;
    }
    if (!isListKey(key))
        return false;
    // The list moves as if the key had been pressed there; the window then follows its
    // current entry.
    QKeyEvent step(QEvent::KeyPress, key.key(), Qt::NoModifier);
    QCoreApplication::sendEvent(m_view, &step);
    return true;
}

void PreviewController::followCurrent(const QModelIndex& current)
{
    m_follower.currentMoved(current.isValid() ? current.row() : -1);
}

QMenu* PreviewController::createContextMenu(int row)
{
    auto* menu = new QMenu(m_view);
    const bool isEntry = row >= 0 && row < m_list.GetCount();
    addCommand(*menu, res::preview::kMenuPreview, res::kShortcutPreview, isEntry,
               [this, row] { openPreview(row); });
    addCommand(*menu, res::preview::kMenuExtract, res::kShortcutExtract, m_list.GetCount() > 0,
               [this] {
                   if (m_extractSelected)
                       m_extractSelected();
               });
    const QString name = m_view->model()->index(row, 0).data().toString();
    addCommand(*menu, res::preview::kMenuCopyName, nullptr, isEntry,
               [name] { QGuiApplication::clipboard()->setText(name); });
    menu->setProperty("hasCommands", m_addCommands && m_addCommands(*menu, isEntry ? row : -1));
    return menu;
}

QAction* PreviewController::addCommand(QMenu& menu, const char* text, const char* keys,
                                       bool enabled, std::function<void()> command)
{
    QAction* action = menu.addAction(uiText(text));
    // The menu's own copy of the key acts only while it is open.
    if (keys)
        action->setShortcut(QKeySequence(QString::fromLatin1(keys)));
    action->setEnabled(enabled);
    // The menu is closed and deleted while a command runs.
    connect(action, &QAction::triggered, this,
            [this, command = std::move(command)] { m_runCommand(command); });
    return action;
}

void PreviewController::showContextMenu(const QPoint& pos)
{
    const QModelIndex index = m_view->indexAt(pos);
    QMenu* menu = createContextMenu(index.isValid() ? index.row() : -1);
    if (!index.isValid() && !menu->property("hasCommands").toBool()) {
        delete menu;
        return;
    }
    menu->setAttribute(Qt::WA_DeleteOnClose);
    menu->popup(m_view->viewport()->mapToGlobal(pos));
}

bool PreviewController::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::KeyPress && watched->isWidgetType() &&
        static_cast<QWidget*>(watched)->window() == m_window && m_window->isVisible())
        return handlePreviewKey(*static_cast<QKeyEvent*>(event));
    // accept() and reject() hide the dialog without a close event.
    if (watched == m_view->window() && (event->type() == QEvent::Close ||
                                        (event->type() == QEvent::Hide && !event->spontaneous())))
        m_window->close();
    return false;
}
