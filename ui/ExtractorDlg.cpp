#include "ui/ExtractorDlg.h"

#include "res/CompareTexts.h"
#include "res/EditTexts.h"
#include "res/Resource.h"
#include "session/Session.h"
#include "session/commands/ArchiveChanges.h"
#include "session/commands/CompareCommands.h"
#include "session/commands/DropsAndCopies.h"
#include "session/commands/ExtractAndBuild.h"
#include "session/commands/ListingCommands.h"
#include "session/commands/MenuState.h"
#include "session/commands/NameEncoding.h"
#include "session/edits/MountedArchive.h"
#include "ui/DialogTemplate.h"
#include "ui/EntryListSelection.h"
#include "ui/FuseFolderMounts.h"
#include "ui/QtDialogServices.h"
#include "ui/QtFileWatch.h"
#include "ui/QtTranslations.h"
#include "ui/SessionQuestions.h"
#include "ui/preview/DragOutFolders.h"
#include "ui/preview/PreviewController.h"
#include "ui/preview/PreviewWindow.h"

#include <QActionGroup>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

namespace {

std::string hostPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// Every local file or folder a drag carries; empty when it carries anything else.
QStringList droppedPaths(const QMimeData* data)
{
    if (!data || !data->hasUrls())
        return {};
    QStringList paths;
    for (const QUrl& url : data->urls()) {
        if (!url.isLocalFile())
            return {};
        const QFileInfo info(url.toLocalFile());
        if (!info.isFile() && !info.isDir())
            return {};
        paths << QDir::cleanPath(info.absoluteFilePath());
    }
    return paths;
}

} // namespace

// The icon lives in the library's resources, which a static library does not register by itself.
static void initResources()
{
    Q_INIT_RESOURCE(resources);
}

CExtractorDlg::CExtractorDlg(QWidget* parent, DialogServices* services)
    : QDialog(parent, Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint),
      m_pServices(services)
{
    initResources();
    m_hIcon = QIcon(QStringLiteral(":/velmora-extractor.svg"));
    if (!m_pServices) {
        m_ownServices = std::make_unique<QtDialogServices>();
        m_pServices = m_ownServices.get();
    }
    m_questions = std::make_unique<SessionQuestions>(*m_pServices, this);
    m_session = std::make_unique<session::Session>(*this, *m_questions);
    const DialogTemplate::Controls controls = DialogTemplate::build(*this);
    setWindowIcon(m_hIcon);
    setAcceptDrops(true);
    m_entryListView = controls.list;
    m_statusText = controls.status;
    m_typeFilter = controls.typeFilter;
    m_findText = controls.find;
    m_entryModel = new EntryListModel(m_session->list(), m_entryListView);
    m_entryListView->setModel(m_entryModel);
    m_selection = std::make_unique<EntryListSelection>(*m_entryListView, *m_entryModel);
    connectCommands();
    m_pDragOut = new DragOutFolders(this, *m_pServices);
    m_entryModel->setDragOut(m_pDragOut);
    m_pMounts = FuseFolderMounts::createIfAvailable();
    if (m_pMounts) {
        m_pMounted = std::make_unique<session::MountedArchive>(*m_session, *m_pDragOut, *m_pMounts);
        // Filters run last installed first: this one unmounts before the scratch folders
        // holding the mount are removed.
        installEventFilter(this);
    }
    m_pFileWatch = new QtFileWatch(this);
    m_pEdits = std::make_unique<ExternalEdits>(
        *m_pFileWatch, *m_pFileWatch, [this](const ExternalEdits::SavedCopy& copy) {
            return session::DropsAndCopies(*m_session, *m_pDragOut, *m_pEdits).offerSavedCopy(copy);
        });
    m_preview = std::make_unique<PreviewController>(
        m_entryListView, *m_entryModel, [this] { OnExtract(); },
        [this](std::function<void()> command) { runCommand(std::move(command)); }, this);
    m_preview->setMenuCommands([this](QMenu& menu, int row) { return addEditCommands(menu, row); });
    OnInitDialog();
}

CExtractorDlg::~CExtractorDlg()
{
    m_pMounted.reset();
    // The list's model reads the session's list: it goes first.
    m_preview.reset();
    delete m_entryListView;
}

// The command table.
void CExtractorDlg::connectCommands()
{
    const auto button = [this](const char* name) {
        return findChild<QPushButton*>(QString::fromLatin1(name));
    };
    const auto onClick = [&](const char* name, void (CExtractorDlg::*handler)()) {
        connect(button(name), &QPushButton::clicked, this,
                [this, handler] { runCommand([this, handler] { (this->*handler)(); }); });
    };
    onClick("IDC_LOAD", &CExtractorDlg::OnLoad);
    onClick("IDC_EXTRACT", &CExtractorDlg::OnExtract);
    onClick("IDC_SELECT_ALL", &CExtractorDlg::OnSelectAll);
    onClick("IDC_DESELECT_ALL", &CExtractorDlg::OnDeselectAll);
    onClick("IDC_CLOSE", &CExtractorDlg::OnCloseButton);
    onClick("IDC_MAKE_ARCHIVE", &CExtractorDlg::OnMakeArchive);
    // Only the user's choice runs the filter; setting the index from code does not. The list
    // follows the filter and the find text at once: neither opens a window nor waits.
    connect(m_typeFilter, &QComboBox::activated, this,
            [this] { m_session->commands().now([this] { OnTypeFilterChange(); }); });
    connect(m_findText, &QLineEdit::textChanged, this,
            [this] { m_session->commands().now([this] { OnFindTextChange(); }); });
    connectShortcuts();
}

void CExtractorDlg::connectShortcuts()
{
    const auto clickOn = [this](QKeySequence keys, const char* name) {
        auto* pressed = new QShortcut(keys, this);
        QPushButton* target = findChild<QPushButton*>(QString::fromLatin1(name));
        connect(pressed, &QShortcut::activated, target, &QPushButton::click);
    };
    clickOn(QKeySequence(QString::fromLatin1(res::kShortcutLoad)), "IDC_LOAD");
    clickOn(QKeySequence(QString::fromLatin1(res::kShortcutExtract)), "IDC_EXTRACT");
    auto* find = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutFind)), this);
    connect(find, &QShortcut::activated, this, [this] {
        m_findText->setFocus(Qt::ShortcutFocusReason);
        m_findText->selectAll();
    });
    auto* reload = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutReload)), this);
    connect(reload, &QShortcut::activated, this,
            [this] { runCommand([this] { session::ListingCommands(*m_session).reload(); }); });
    // Only in the list: Space is a character in the find box and presses a focused button.
    auto* preview = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutPreview)),
                                  m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(preview, &QShortcut::activated, this, [this] {
        const QModelIndex current = m_entryListView->currentIndex();
        if (current.isValid())
            runCommand([this, row = current.row()] { m_preview->openPreview(row); });
    });
    // In the list only, as Space: the find box has its own Delete, and its own undo.
    auto* rename = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutRename)),
                                 m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(rename, &QShortcut::activated, this, [this] { runCommand([this] { OnRename(-1); }); });
    auto* remove = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutDelete)),
                                 m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] { runCommand([this] { OnDelete(-1); }); });
    auto* undo = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutUndo)), this);
    connect(undo, &QShortcut::activated, this, [this] { runCommand([this] { OnUndo(); }); });
    DialogTemplate::nameKeysInTooltips(*this);
}

bool CExtractorDlg::OnInitDialog()
{
    DoDataExchange();
    m_typeFilter->setCurrentIndex(0);
    return true;
}

void CExtractorDlg::DoDataExchange()
{
    UpdateData(false);
}

void CExtractorDlg::UpdateData(bool saveAndValidate)
{
    if (saveAndValidate) {
        m_strStatus = m_statusText->text();
        m_strFind = m_findText->text();
        return;
    }
    if (m_statusText->text() != m_strStatus)
        m_statusText->setText(m_strStatus);
    if (m_findText->text() != m_strFind)
        m_findText->setText(m_strFind);
}

void CExtractorDlg::runCommand(std::function<void()> command)
{
    m_session->commands().later(std::move(command));
}

void CExtractorDlg::post(std::function<void()> command)
{
    QMetaObject::invokeMethod(this, std::move(command), Qt::QueuedConnection);
}

std::unique_ptr<session::LongRun> CExtractorDlg::startLongRun(const std::string& label)
{
    return std::make_unique<CProgressWindow>(this, QString::fromStdString(label),
                                             m_progressOptions);
}

void CExtractorDlg::openInOtherProgram(const std::string& path, std::function<void()> onFailure)
{
    m_pServices->openWithDesktop(this, QFile::decodeName(QByteArray::fromStdString(path)),
                                 std::move(onFailure));
}

void CExtractorDlg::relistUnder(const std::function<int()>& list)
{
    m_preview->relistUnder(list);
}

void CExtractorDlg::setStatus(const std::string& text)
{
    m_strStatus = QString::fromStdString(text);
    UpdateData(false);
}

std::string CExtractorDlg::typeFilter() const
{
    return m_typeFilter->currentText().toStdString();
}

void CExtractorDlg::resetTypeFilter()
{
    m_typeFilter->setCurrentIndex(0);
}

bool CExtractorDlg::isArchiveOpen() const
{
    return m_session->archive().isOpen();
}

bool CExtractorDlg::canUndo() const
{
    return m_session->archive().canUndo();
}

void CExtractorDlg::OnLoad()
{
    session::ListingCommands(*m_session).chooseAndLoad();
}

void CExtractorDlg::OpenArchive(const QString& path)
{
    m_session->commands().now([this, path] { m_session->load(hostPath(path)); });
}

void CExtractorDlg::OnTypeFilterChange()
{
    session::ListingCommands(*m_session).filter();
}

void CExtractorDlg::OnFindTextChange()
{
    UpdateData(true);
    session::ListingCommands(*m_session).find(m_strFind.toStdString());
}

void CExtractorDlg::OnSelectAll()
{
    session::ListingCommands(*m_session).selectAll();
}

void CExtractorDlg::OnDeselectAll()
{
    session::ListingCommands(*m_session).deselectAll();
}

void CExtractorDlg::OnExtract()
{
    session::ExtractAndBuild(*m_session).extract();
}

void CExtractorDlg::OnMakeArchive()
{
    session::ExtractAndBuild(*m_session).build();
}

void CExtractorDlg::OnCloseButton()
{
    OnOK();
}

void CExtractorDlg::OnOK()
{
    m_session->closeArchive();
    UpdateData(true);
    accept();
}

void CExtractorDlg::OnAddFiles(int row)
{
    session::ArchiveChanges(*m_session).addFiles(row);
}

void CExtractorDlg::OnReplace(int row)
{
    session::ArchiveChanges(*m_session).replace(row);
}

void CExtractorDlg::OnRename(int row)
{
    session::ArchiveChanges(*m_session).rename(row);
}

void CExtractorDlg::OnDelete(int row)
{
    session::ArchiveChanges(*m_session).remove(row);
}

void CExtractorDlg::OnUndo()
{
    session::ArchiveChanges(*m_session).undo();
}

void CExtractorDlg::OnCompare()
{
    session::CompareCommands(*m_session).compare();
}

void CExtractorDlg::OnShowDifferingOnly(bool isOn)
{
    session::CompareCommands(*m_session).showDifferingOnly(isOn);
}

void CExtractorDlg::OnOpenWith(int row)
{
    session::DropsAndCopies(*m_session, *m_pDragOut, *m_pEdits).openInOtherProgram(row);
}

void CExtractorDlg::OnOpenAsFolder()
{
    if (m_pMounted)
        m_pMounted->open();
}

bool CExtractorDlg::addEditCommands(QMenu& menu, int row)
{
    const session::MenuState state = session::MenuState::of(*m_session, row, GetSelCount());
    if (!state.isShown)
        return false;
    menu.addSeparator();
    const auto add = [&](const char* text, const char* keys, bool enabled,
                         std::function<void()> command) {
        m_preview->addCommand(menu, text, keys, enabled, std::move(command));
    };
    add(res::edit::kMenuAddFiles, nullptr, state.canAddFiles, [this, row] { OnAddFiles(row); });
    add(res::edit::kMenuReplace, nullptr, state.canReplace, [this, row] { OnReplace(row); });
    add(res::edit::kMenuRename, res::kShortcutRename, state.canRename,
        [this, row] { OnRename(row); });
    add(res::edit::kMenuDelete, res::kShortcutDelete, state.canDelete,
        [this, row] { OnDelete(row); });
    add(res::edit::kMenuOpenWith, nullptr, state.canOpenInOtherProgram,
        [this, row] { OnOpenWith(row); });
    if (m_pMounted)
        add(res::edit::kMenuOpenAsFolder, nullptr, state.canOpenAsFolder,
            [this] { OnOpenAsFolder(); });
    menu.addSeparator();
    add(res::edit::kMenuUndo, res::kShortcutUndo, state.canUndo, [this] { OnUndo(); });
    menu.addSeparator();
    add(res::compare::kMenuCompare, nullptr, true, [this] { OnCompare(); });
    QAction* differingOnly = m_preview->addCommand(
        menu, res::compare::kMenuDifferingOnly, nullptr, state.canShowDifferingOnly,
        [this, isOn = !state.isDifferingOnly] { OnShowDifferingOnly(isOn); });
    differingOnly->setCheckable(true);
    differingOnly->setChecked(state.isDifferingOnly);
    menu.addSeparator();
    addEncodingMenu(menu, state);
    return true;
}

void CExtractorDlg::addEncodingMenu(QMenu& menu, const session::MenuState& state)
{
    QMenu* encodings = menu.addMenu(uiText(res::kMenuNameEncoding));
    auto* group = new QActionGroup(encodings);
    for (const session::NameEncoding::Choice& choice : session::NameEncoding::choices()) {
        QAction* item =
            m_preview->addCommand(*encodings, choice.text, nullptr, true, [this, choice] {
                session::NameEncoding(*m_session).choose(choice.encoding);
            });
        item->setCheckable(true);
        item->setChecked(choice.encoding == state.encoding);
        group->addAction(item);
    }
}

void CExtractorDlg::done(int result)
{
    // The replaced archive's space goes back to the disk now.
    m_session->archive().forgetUndo();
    QDialog::done(result);
}

void CExtractorDlg::closeEvent(QCloseEvent* event)
{
    m_pEdits->clear();
    QDialog::closeEvent(event);
}

void CExtractorDlg::hideEvent(QHideEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (!event->spontaneous())
        m_pEdits->clear();
    QDialog::hideEvent(event);
}

bool CExtractorDlg::eventFilter(QObject* watched, QEvent* event)
{
    // accept() and reject() hide the dialog without a close event.
    if (watched == this && m_pMounted &&
        (event->type() == QEvent::Close ||
         (event->type() == QEvent::Hide && !event->spontaneous())))
        m_pMounted->close();
    return QDialog::eventFilter(watched, event);
}

std::vector<std::string> CExtractorDlg::takenDrop(const QDropEvent& event) const
{
    std::vector<std::string> paths;
    for (const QString& path : droppedPaths(event.mimeData()))
        paths.push_back(hostPath(path));
    if (isOwnDrag(event) ||
        !session::DropsAndCopies(*m_session, *m_pDragOut, *m_pEdits).takesDrop(paths))
        return {};
    return paths;
}

void CExtractorDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!takenDrop(*event).empty())
        event->acceptProposedAction();
    else
        event->ignore();
}

void CExtractorDlg::dropEvent(QDropEvent* event)
{
    std::vector<std::string> paths = takenDrop(*event);
    if (paths.empty()) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    runCommand([this, paths = std::move(paths)] {
        session::DropsAndCopies(*m_session, *m_pDragOut, *m_pEdits).drop(paths);
    });
}

void CExtractorDlg::showFindMiss(bool isMiss)
{
    if (m_findText->property("findMiss").toBool() == isMiss)
        return;
    m_findText->setProperty("findMiss", isMiss);
    QPalette palette = m_findText->parentWidget()->palette();
    if (isMiss) {
        palette.setColor(QPalette::Base, QColor(res::kFindMissColor));
        palette.setColor(QPalette::Text, Qt::black);
    }
    m_findText->setPalette(palette);
}

bool CExtractorDlg::isOwnDrag(const QDropEvent& event) const
{
    const QObject* source = event.source();
    return source && (source == m_entryListView || source == m_entryListView->viewport());
}

void CExtractorDlg::keyPressEvent(QKeyEvent* event)
{
    // With the preview open, Escape is meant for it, not for the whole program.
    if (event->key() == Qt::Key_Escape && m_preview->window()->isVisible()) {
        m_preview->window()->close();
        return;
    }
    if (event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) {
        // Enter presses a focused button; anywhere else it is the dialog's OK, as Close is.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
            button->click();
        else
            runCommand([this] { OnOK(); });
        return;
    }
    QDialog::keyPressEvent(event);
}
