#include "ui/ExtractorDlg.h"

#include "archive/ArchiveError.h"
#include "archive/Building.h"
#include "archive/Catalogue.h"
#include "archive/CodePage950.h"
#include "archive/Extraction.h"
#include "archive/Listing.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "ui/EntryListModel.h"
#include "ui/EntryRowDelegate.h"
#include "ui/ErrorMessages.h"
#include "ui/ProgressWindow.h"
#include "ui/QtDialogServices.h"
#include "ui/preview/DragOutFolders.h"
#include "ui/preview/PreviewController.h"
#include "ui/preview/PreviewWindow.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMimeData>
#include <QPushButton>
#include <QShortcut>
#include <QUrl>

#include <algorithm>
#include <new>

namespace {

std::string hostPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

QFont dialogFont()
{
    const QStringList installed = QFontDatabase::families();
    QString family = QString::fromUtf8(res::kDialogFont);
    if (!installed.contains(family)) {
        for (const char* fallback : res::kFallbackFonts) {
            if (installed.contains(QString::fromUtf8(fallback))) {
                family = QString::fromUtf8(fallback);
                break;
            }
        }
    }
    QFont font(family);
    font.setPointSize(res::kDialogFontPoints);
    return font;
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
    m_folderPicker.setServices(m_pServices, this);
    buildControls();
    m_pDragOut = new DragOutFolders(this, *m_pServices);
    m_entryModel->setDragOut(m_pDragOut);
    m_preview = std::make_unique<PreviewController>(
        m_entryListView, m_archive, *m_entryModel,
        [this] { findChild<QPushButton*>(QStringLiteral("IDC_EXTRACT"))->click(); }, this);
    OnInitDialog();
}

CExtractorDlg::~CExtractorDlg() = default;

void CExtractorDlg::buildControls()
{
    setObjectName(QStringLiteral("IDD_EXTRACTOR_DIALOG"));
    setWindowTitle(QString::fromUtf8(res::kCaption));
    setWindowIcon(m_hIcon);
    setFont(dialogFont());
    setAcceptDrops(true);

    // Dialog units from the dialog font, so the template keeps its proportions at any DPI.
    const QFontMetrics metrics(font());
    const auto px = [&](int x, int y, int w, int h) {
        const double ux = metrics.averageCharWidth() / 4.0;
        const double uy = metrics.height() / 8.0;
        return QRect(qRound(x * ux), qRound(y * uy), qRound(w * ux), qRound(h * uy));
    };
    const QRect client = px(0, 0, res::kDialogWidth, res::kDialogHeight);
    setFixedSize(client.size());

    // Created in template order, which Qt takes as the tab order.
    for (const res::ControlTemplate& control : res::kControls) {
        QWidget* widget = createControl(control);
        widget->setObjectName(QString::fromLatin1(control.name));
        widget->setProperty("controlId", control.id);
        QRect rect = px(control.x, control.y, control.width, control.height);
        // A drop-down's template height is that of its open list; the closed box is one line.
        if (control.kind == res::ControlKind::ComboBox)
            rect.setHeight(px(0, 0, 0, 14).height());
        widget->setGeometry(rect);
    }
    connectCommands();
}

QWidget* CExtractorDlg::createControl(const res::ControlTemplate& control)
{
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
    case res::ControlKind::ListBox:
        m_entryListView = new QListView(this);
        m_entryModel = new EntryListModel(m_entryListView);
        m_entryModel->setReader(&m_archive);
        m_entryListView->setModel(m_entryModel);
        m_entryListView->setItemDelegate(new EntryRowDelegate(m_entryListView));
        m_entryListView->setSelectionMode(QAbstractItemView::ExtendedSelection);
        m_entryListView->setUniformItemSizes(true);
        m_entryListView->setEditTriggers(QAbstractItemView::NoEditTriggers);
        // Dragged entries leave as files; the view starts the drag and the model extracts.
        m_entryListView->setDragEnabled(true);
        m_entryListView->setDragDropMode(QAbstractItemView::DragOnly);
        return m_entryListView;
    case res::ControlKind::PushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(false);
        button->setDefault(false);
        return button;
    }
    case res::ControlKind::StaticText:
        m_statusText = new QLabel(text, this);
        m_statusText->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
        return m_statusText;
    case res::ControlKind::ComboBox:
        m_typeFilter = new QComboBox(this);
        return m_typeFilter;
    case res::ControlKind::EditBox:
        m_findText = new QLineEdit(text, this);
        // A file dropped here is the dialog's to load, not text to search for.
        m_findText->setAcceptDrops(false);
        return m_findText;
    }
    return nullptr;
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
    // Only the user's choice runs the filter; setting the index from code does not.
    connect(m_typeFilter, &QComboBox::activated, this,
            [this] { runCommand([this] { OnTypeFilterChange(); }); });
    connect(m_findText, &QLineEdit::textChanged, this,
            [this] { runCommand([this] { OnFindTextChange(); }); });
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
    connect(reload, &QShortcut::activated, this, [this] {
        if (!m_strLastArchive.isEmpty())
            runCommand([this] { loadArchive(m_strLastArchive); });
    });
    // Only in the list: Space is a character in the find box and presses a focused button.
    auto* preview = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutPreview)),
                                  m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(preview, &QShortcut::activated, this, [this] {
        const QModelIndex current = m_entryListView->currentIndex();
        if (current.isValid())
            runCommand([this, row = current.row()] { m_preview->openPreview(row); });
    });
}

bool CExtractorDlg::OnInitDialog()
{
    // The selector's upper-case and sort styles applied to the engine's table of types.
    QStringList types;
    for (const std::string_view type : archive::kTypeFilters)
        types.append(QString::fromUtf8(type.data(), qsizetype(type.size())).toUpper());
    std::sort(types.begin(), types.end());
    m_typeFilter->addItems(types);
    DoDataExchange();
    m_bArchiveOpen = false;
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

void CExtractorDlg::runCommand(const std::function<void()>& command)
{
    try {
        command();
    } catch (const archive::ArchiveError& e) {
        reportError(errorMessage(e));
    } catch (const std::bad_alloc&) {
        reportError(QString::fromUtf8(res::kOutOfMemory));
    } catch (const std::exception& e) {
        reportError(QString::fromUtf8(res::kUnexpectedError) + QLatin1Char('\n') +
                    QString::fromStdString(e.what()));
    }
}

void CExtractorDlg::reportError(const QString& text)
{
    m_pServices->showMessage(this, QString::fromUtf8(res::kDisplayName), text,
                             DialogServices::MessageIcon::Error);
}

void CExtractorDlg::closeArchive()
{
    // The list's names are views into the reader's directory: they go first.
    m_entryModel->setCatalogue(nullptr);
    if (m_bArchiveOpen)
        m_archive.Close();
    m_bArchiveOpen = false;
}

void CExtractorDlg::setStatusFromList()
{
    m_strStatus = QString::fromUtf8(res::kStatusLine)
                      .arg(QFileInfo(QFile::decodeName(QByteArray::fromStdString(m_archive.path())))
                               .fileName())
                      .arg(m_entryModel->GetCount());
    UpdateData(false);
}

void CExtractorDlg::clearStatus()
{
    m_strStatus.clear();
    UpdateData(false);
}

void CExtractorDlg::startNextChoiceBeside(const QString& file)
{
    m_folderPicker.m_strStartFolder = QFileInfo(file).absolutePath();
}

void CExtractorDlg::OnLoad()
{
    const std::optional<QString> path =
        m_pServices->openArchivePath(this, m_folderPicker.m_strStartFolder);
    if (path)
        loadArchive(*path);
}

void CExtractorDlg::OpenArchive(const QString& path)
{
    runCommand([this, path] { loadArchive(path); });
}

void CExtractorDlg::loadArchive(const QString& path)
{
    m_strLastArchive = path;
    startNextChoiceBeside(path);
    closeArchive();
    try {
        m_archive.Open(hostPath(path));
        m_bArchiveOpen = true;
        m_typeFilter->setCurrentIndex(0);
        auto catalogue = std::make_shared<const archive::Catalogue>(m_archive);
        // Built now, so the first keystroke after listing does not wait for the keys.
        catalogue->quickFind();
        m_entryModel->setCatalogue(std::move(catalogue), archive::kTypeFilters[0]);
        setStatusFromList();
    } catch (...) {
        // Nothing of the previous archive may stay on screen: its record positions would now
        // be read from no file, or from another.
        closeArchive();
        clearStatus();
        throw;
    }
}

void CExtractorDlg::OnTypeFilterChange()
{
    if (!m_bArchiveOpen)
        return;
    const std::string type = m_typeFilter->currentText().toStdString();
    try {
        m_entryModel->setFilter(type);
    } catch (...) {
        clearStatus();
        throw;
    }
    setStatusFromList();
}

std::vector<int> CExtractorDlg::GetSelItems() const
{
    std::vector<int> selected;
    for (const QItemSelectionRange& range : m_entryListView->selectionModel()->selection()) {
        for (int index = range.top(); index <= range.bottom(); ++index)
            selected.push_back(index);
    }
    std::sort(selected.begin(), selected.end());
    return selected;
}

void CExtractorDlg::SetSel(int index, bool select)
{
    QItemSelectionModel* selection = m_entryListView->selectionModel();
    if (index == -1 && !select) {
        selection->clearSelection();
        return;
    }
    const int count = m_entryModel->GetCount();
    const int first = index == -1 ? 0 : index;
    const int last = index == -1 ? count - 1 : index;
    if (first < 0 || last >= count || first > last)
        return;
    // One range, however many rows: selecting a million rows one by one would take seconds.
    const QItemSelection range(m_entryModel->index(first), m_entryModel->index(last));
    if (index == -1)
        selection->select(range, QItemSelectionModel::ClearAndSelect);
    else
        selection->select(range,
                          select ? QItemSelectionModel::Select : QItemSelectionModel::Deselect);
}

int CExtractorDlg::GetTopIndex() const
{
    const QModelIndex top = m_entryListView->indexAt(QPoint(1, 1));
    return top.isValid() ? top.row() : 0;
}

void CExtractorDlg::SetTopIndex(int index)
{
    m_entryListView->scrollTo(m_entryModel->index(index), QAbstractItemView::PositionAtTop);
}

void CExtractorDlg::OnExtract()
{
    if (!m_bArchiveOpen)
        return;
    m_folderPicker.m_strTitle = QString::fromUtf8(res::kExtractTitle);
    if (!m_folderPicker.Browse())
        return;
    const std::vector<std::uint32_t> selected = m_entryModel->positionsOf(GetSelItems());
    const QString folder = m_folderPicker.m_strPath;
    CProgressWindow progress(this, QString::fromUtf8(res::kExtractTitle), m_progressOptions);
    const archive::ExtractResult result = progress.run([&](const archive::ProgressFn& report) {
        return archive::extractEntries(m_archive, selected, hostPath(folder), report);
    });
    if (!result.cancelled)
        OnDeselectAll();
    progress.finish(QString::fromUtf8(result.cancelled ? res::kExtractCancelled : res::kExtractDone)
                        .arg(result.entriesWritten)
                        .arg(QDir::toNativeSeparators(folder)));
}

void CExtractorDlg::OnMakeArchive()
{
    m_folderPicker.m_strTitle = QString::fromUtf8(res::kBuildTitle);
    if (m_folderPicker.Browse())
        makeArchiveFrom(m_folderPicker.m_strPath);
}

void CExtractorDlg::makeArchiveFrom(const QString& folder)
{
    // Beside the source folder: an archive inside it would be refused.
    const std::optional<QString> path =
        m_pServices->saveArchivePath(this, QFileInfo(folder).absolutePath());
    if (!path)
        return;
    startNextChoiceBeside(*path);
    if (archive::isArchiveInsideFolder(hostPath(*path), hostPath(folder))) {
        m_pServices->showMessage(this, QString::fromUtf8(res::kDisplayName),
                                 QString::fromUtf8(res::kBuildInsideFolder),
                                 DialogServices::MessageIcon::None);
        return;
    }
    closeArchive();
    m_typeFilter->setCurrentIndex(0);
    // The list is empty and nothing is open, whatever the build does.
    clearStatus();
    const auto build = [&]() -> std::optional<archive::BuildResult> {
        CProgressWindow progress(this, QString::fromUtf8(res::kBuildTitle), m_progressOptions);
        const archive::BuildResult result = progress.run([&](const archive::ProgressFn& report) {
            return archive::buildArchive(hostPath(folder), hostPath(*path), report);
        });
        if (!result.cancelled)
            return result;
        progress.finish(QString::fromUtf8(res::kBuildCancelled)
                            .arg(result.entries)
                            .arg(QDir::toNativeSeparators(*path)));
        return std::nullopt;
    };
    // The progress window is gone before the question: a short run never had one, and the
    // answer must not wait behind it.
    const std::optional<archive::BuildResult> built = build();
    if (!built)
        return;
    QString text =
        QString::fromUtf8(res::kBuildDone).arg(built->entries).arg(QDir::toNativeSeparators(*path));
    if (const auto skipped = static_cast<int>(built->skippedLinks.size()); skipped > 0) {
        text += QStringLiteral("\n\n") + QString::fromUtf8(res::kBuildSkippedLinks).arg(skipped);
        for (int i = 0; i < std::min(skipped, res::kBuildSkippedShown); ++i)
            text += QStringLiteral("\n") +
                    QDir::toNativeSeparators(QString::fromStdString(built->skippedLinks[i]));
        if (skipped > res::kBuildSkippedShown)
            text +=
                QStringLiteral("\n") +
                QString::fromUtf8(res::kBuildSkippedMore).arg(skipped - res::kBuildSkippedShown);
    }
    text += QStringLiteral("\n\n") + QString::fromUtf8(res::kOpenBuiltArchive);
    if (m_pServices->askYesNo(this, QString::fromUtf8(res::kDisplayName), text))
        loadArchive(*path);
}

void CExtractorDlg::OnSelectAll()
{
    SetSel(-1, true);
}

void CExtractorDlg::OnDeselectAll()
{
    SetSel(-1, false);
}

void CExtractorDlg::OnFindTextChange()
{
    UpdateData(true);
    // A typed character that code page 950 cannot hold matches no entry name.
    const std::optional<std::string> text = archive::cp950::fromUtf8(m_strFind.toStdString());
    const int index = text ? m_entryModel->findString(*text) : -1;
    showFindMiss(!m_strFind.isEmpty() && index < 0);
    if (index < 0)
        return;
    SetTopIndex(index);
    // Current, not selected: the match shows by its frame and the selection stays the user's.
    m_entryListView->selectionModel()->setCurrentIndex(m_entryModel->index(index),
                                                       QItemSelectionModel::NoUpdate);
    UpdateData(false);
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

void CExtractorDlg::OnCloseButton()
{
    OnOK();
}

void CExtractorDlg::OnOK()
{
    closeArchive();
    UpdateData(true);
    accept();
}

namespace {

// The one local file or folder a drag carries, or an empty string.
QString droppedPath(const QMimeData* data)
{
    if (!data || !data->hasUrls() || data->urls().size() != 1 ||
        !data->urls().first().isLocalFile())
        return {};
    const QFileInfo info(data->urls().first().toLocalFile());
    if (!info.isFile() && !info.isDir())
        return {};
    return QDir::cleanPath(info.absoluteFilePath());
}

} // namespace

bool CExtractorDlg::isOwnDrag(const QDropEvent& event) const
{
    const QObject* source = event.source();
    if (source && (source == m_entryListView || source == m_entryListView->viewport()))
        return true;
    // A file manager may hand the copies back as a drag of its own.
    const QString path = droppedPath(event.mimeData());
    return !path.isEmpty() && m_pDragOut->holds(path);
}

void CExtractorDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (!droppedPath(event->mimeData()).isEmpty() && !isOwnDrag(*event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CExtractorDlg::dropEvent(QDropEvent* event)
{
    const QString path = droppedPath(event->mimeData());
    if (path.isEmpty() || isOwnDrag(*event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    // Run once the drop has returned: the file manager waits on it while the command asks
    // for a file name or shows a message.
    const bool isFolder = QFileInfo(path).isDir();
    QMetaObject::invokeMethod(
        this,
        [this, path, isFolder] {
            runCommand([this, path, isFolder] {
                if (isFolder)
                    makeArchiveFrom(path);
                else
                    loadArchive(path);
            });
        },
        Qt::QueuedConnection);
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
