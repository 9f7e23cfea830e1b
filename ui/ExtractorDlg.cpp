#include "ui/ExtractorDlg.h"

#include "archive/ArchiveError.h"
#include "archive/Building.h"
#include "archive/Catalogue.h"
#include "archive/CodePage950.h"
#include "archive/Extraction.h"
#include "archive/FileSystem.h"
#include "archive/Listing.h"
#include "archive/NameMapping.h"
#include "archive/Updating.h"
#include "res/EditTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "ui/EntryListModel.h"
#include "ui/EntryRowDelegate.h"
#include "ui/ErrorMessages.h"
#include "ui/ExternalEdits.h"
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
#include <QMenu>
#include <QMimeData>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopedValueRollback>
#include <QShortcut>
#include <QUrl>

#include <algorithm>
#include <new>
#include <span>
#include <string_view>
#include <unordered_set>

namespace {

std::string hostPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

// The code page the dialog reads and writes entry names in.
constexpr archive::Encoding kNamesCodePage = archive::Encoding::big5;

QString tr8(const char* text)
{
    return QString::fromUtf8(text);
}

QString shownName(std::string_view entryName)
{
    return QString::fromStdString(archive::names::displayName(entryName));
}

// The folder part of an entry name with its last ''; empty for the top level.
std::string folderOf(std::string_view entryName)
{
    const std::size_t cut = entryName.rfind('\\');
    return cut == std::string_view::npos ? std::string()
                                         : std::string(entryName.substr(0, cut + 1));
}

// A host file's own name as an entry name's last level.
std::string entryLevel(const QString& path)
{
    return archive::names::entryName(QFileInfo(path).fileName().toStdString());
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

bool isSameIgnoringAsciiCase(std::string_view a, std::string_view b)
{
    return std::ranges::equal(a, b, [](char x, char y) {
        return QChar::toLower(static_cast<unsigned char>(x)) ==
               QChar::toLower(static_cast<unsigned char>(y));
    });
}

// The question after an entry failed: which entry, why, and for two names that are one file
// where case is ignored, the earlier entry as well.
QString failureQuestion(const archive::ArchiveReader& archive, const archive::ArchiveError& failure,
                        std::span<const std::uint32_t> before, std::uint32_t failed)
{
    const std::string_view name = archive.record(failed).name;
    QString text = QString::fromUtf8(res::kEntryFailed)
                       .arg(QString::fromStdString(archive::names::displayName(name))) +
                   QLatin1Char('\n') + errorMessage(failure);
    if (failure.kind() == archive::ErrorKind::sameFileAsEarlierEntry) {
        try {
            const std::string path = archive::names::hostRelativePath(name);
            const auto earlier = std::ranges::find_if(before, [&](std::uint32_t position) {
                return isSameIgnoringAsciiCase(
                    archive::names::hostRelativePath(archive.record(position).name), path);
            });
            if (earlier != before.end())
                text += QLatin1Char('\n') +
                        QString::fromUtf8(res::kSameFileAsEntry)
                            .arg(QString::fromStdString(
                                archive::names::displayName(archive.record(*earlier).name)));
        } catch (const archive::NameError&) {
        }
    }
    return text + QStringLiteral("\n\n") + QString::fromUtf8(res::kSkipFailedEntry);
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
      m_pArchive(std::make_unique<archive::ArchiveReader>()), m_pServices(services)
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
    m_pEdits = new ExternalEdits(
        this, *m_pDragOut, *m_pServices,
        [this](const ExternalEdits::SavedCopy& copy) { return offerSavedCopy(copy); });
    m_preview = std::make_unique<PreviewController>(
        m_entryListView, *m_entryModel, [this] { OnExtract(); },
        [this](std::function<void()> command) { runCommand(std::move(command)); }, this);
    m_preview->setMenuCommands([this](QMenu& menu, int row) { return addEditCommands(menu, row); });
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
        m_entryModel->setReader(m_pArchive.get());
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
    // Only the user's choice runs the filter; setting the index from code does not. The list
    // follows the filter and the find text at once: neither opens a window nor waits.
    connect(m_typeFilter, &QComboBox::activated, this,
            [this] { runNow([this] { OnTypeFilterChange(); }); });
    connect(m_findText, &QLineEdit::textChanged, this,
            [this] { runNow([this] { OnFindTextChange(); }); });
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
    // In the list only, as Space: the find box has its own Delete, and its own undo.
    auto* rename = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutRename)),
                                 m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(rename, &QShortcut::activated, this, [this] { runCommand([this] { OnRename(-1); }); });
    auto* remove = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutDelete)),
                                 m_entryListView, nullptr, nullptr, Qt::WidgetShortcut);
    connect(remove, &QShortcut::activated, this, [this] { runCommand([this] { OnDelete(-1); }); });
    auto* undo = new QShortcut(QKeySequence(QString::fromLatin1(res::kShortcutUndo)), this);
    connect(undo, &QShortcut::activated, this, [this] { runCommand([this] { OnUndo(); }); });
    nameKeysInTooltips();
}

void CExtractorDlg::nameKeysInTooltips()
{
    for (const res::KeyTip& tip : res::kKeyTips) {
        auto* control = findChild<QWidget*>(QString::fromLatin1(tip.control));
        const QString line =
            tr8(res::kKeyTip)
                .arg(
                    tr8(tip.text),
                    QKeySequence(QString::fromLatin1(tip.keys)).toString(QKeySequence::NativeText));
        control->setToolTip(control->toolTip().isEmpty() ? line
                                                         : control->toolTip() + u'\n' + line);
    }
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

void CExtractorDlg::runCommand(std::function<void()> command)
{
    m_pendingCommands.push_back(std::move(command));
    QMetaObject::invokeMethod(
        this, [this] { runPendingCommand(); }, Qt::QueuedConnection);
}

void CExtractorDlg::runPendingCommand()
{
    // A running command's windows and progress handle events: the next waits for it to end.
    if (m_bCommandRunning || m_pendingCommands.empty())
        return;
    const std::function<void()> command = std::move(m_pendingCommands.front());
    m_pendingCommands.pop_front();
    runNow(command);
}

void CExtractorDlg::runNow(const std::function<void()>& command)
{
    {
        const QScopedValueRollback<bool> running(m_bCommandRunning, true);
        reportFailures(command);
    }
    if (!m_bCommandRunning && !m_pendingCommands.empty())
        QMetaObject::invokeMethod(
            this, [this] { runPendingCommand(); }, Qt::QueuedConnection);
}

void CExtractorDlg::reportFailures(const std::function<void()>& command)
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
        m_pArchive->Close();
    m_bArchiveOpen = false;
}

void CExtractorDlg::setStatusFromList()
{
    m_strStatus =
        QString::fromUtf8(res::kStatusLine).arg(archiveFileName()).arg(m_entryModel->GetCount());
    UpdateData(false);
}

QString CExtractorDlg::archiveFileName() const
{
    return QFileInfo(QFile::decodeName(QByteArray::fromStdString(m_pArchive->path()))).fileName();
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
    runNow([this, path] { loadArchive(path); });
}

void CExtractorDlg::loadArchive(const QString& path)
{
    m_strLastArchive = path;
    startNextChoiceBeside(path);
    // The file may have changed meanwhile: an undo would put back bytes the user never saw
    // listed. Copies in other programs stay tied to the archive they came from.
    m_pEarlier.reset();
    m_undoNames.clear();
    closeArchive();
    listArchive(hostPath(path), false);
}

void CExtractorDlg::listArchive(const std::string& path, bool keepType)
{
    try {
        // Big5 until the dialog passes the archive's code page to every name it shows and makes:
        // a name made in Big5 for an archive read in another would be stored wrong.
        m_pArchive->Open(path, kNamesCodePage);
        m_bArchiveOpen = true;
        if (!keepType)
            m_typeFilter->setCurrentIndex(0);
        auto catalogue = std::make_shared<const archive::Catalogue>(*m_pArchive);
        // Built now, so the first keystroke after listing does not wait for the keys.
        catalogue->quickFind();
        m_entryModel->setCatalogue(std::move(catalogue), m_typeFilter->currentText().toStdString());
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
    CProgressWindow progress(
        this, QString::fromUtf8(res::kExtractProgress).arg(QDir::toNativeSeparators(folder)),
        m_progressOptions);
    // The worker's: entries are done in order, so the one under way is selected[entriesDone].
    std::size_t entriesDone = 0;
    archive::ExtractOptions options;
    bool isSkippingAll = false;
    options.onEntryFailure = [&](const archive::ArchiveError& failure) {
        if (isSkippingAll)
            return true;
        const QString text = failureQuestion(
            *m_pArchive, failure, std::span(selected).first(entriesDone), selected.at(entriesDone));
        const DialogServices::FailureAnswer answer = progress.askFromWorker([&] {
            return m_pServices->askAfterFailure(this, QString::fromUtf8(res::kDisplayName), text);
        });
        isSkippingAll = answer == DialogServices::FailureAnswer::SkipAll;
        return answer != DialogServices::FailureAnswer::Stop;
    };
    const archive::ExtractResult result = progress.run([&](const archive::ProgressFn& report) {
        return archive::extractEntries(
            *m_pArchive, selected, hostPath(folder),
            [&](const archive::Progress& p) {
                entriesDone = static_cast<std::size_t>(p.entriesDone);
                return report(p);
            },
            options);
    });
    if (!result.cancelled && !result.stopped)
        OnDeselectAll();
    const bool isShort = result.entriesSkipped == 0 && !result.stopped;
    const char* text = result.stopped ? res::kExtractStopped
                       : result.cancelled
                           ? (isShort ? res::kExtractCancelled : res::kExtractCancelledSkipped)
                       : isShort ? res::kExtractDone
                                 : res::kExtractDoneSkipped;
    QString finished =
        QString::fromUtf8(text).arg(result.entriesWritten).arg(QDir::toNativeSeparators(folder));
    if (!isShort)
        finished = finished.arg(result.entriesSkipped);
    // A run that skipped or stopped says so even when it was too short for the window.
    if (!progress.finish(finished) && !isShort)
        m_pServices->showMessage(this, QString::fromUtf8(res::kDisplayName), finished,
                                 DialogServices::MessageIcon::None);
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
    forgetChanges();
    closeArchive();
    m_typeFilter->setCurrentIndex(0);
    // The list is empty and nothing is open, whatever the build does.
    clearStatus();
    const auto build = [&]() -> std::optional<archive::BuildResult> {
        CProgressWindow progress(
            this, QString::fromUtf8(res::kBuildProgress).arg(QDir::toNativeSeparators(folder)),
            m_progressOptions);
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

void CExtractorDlg::OnAddFiles(int row)
{
    if (!m_bArchiveOpen)
        return;
    const std::string folder = folderOf(m_entryModel->GetText(row));
    const QString title = tr8(res::edit::kAddFilesTitle)
                              .arg(folder.empty() ? QStringLiteral("\\") : shownName(folder));
    const std::optional<QStringList> files =
        m_pServices->chooseFiles(this, title, m_folderPicker.m_strStartFolder);
    if (!files || files->isEmpty())
        return;
    startNextChoiceBeside(files->first());
    std::vector<archive::ArchiveChange> changes;
    for (const QString& file : *files)
        changes.push_back(
            {archive::ArchiveChange::Kind::add, folder + entryLevel(file), hostPath(file), {}});
    applyChanges(changes);
}

void CExtractorDlg::OnReplace(int row)
{
    if (!m_bArchiveOpen || row < 0 || row >= m_entryModel->GetCount())
        return;
    const std::string name(m_entryModel->GetText(row));
    const std::optional<QString> file = m_pServices->chooseFile(
        this, tr8(res::edit::kReplaceTitle).arg(shownName(name)), m_folderPicker.m_strStartFolder);
    if (!file)
        return;
    startNextChoiceBeside(*file);
    applyChanges({{archive::ArchiveChange::Kind::add, name, hostPath(*file), {}}});
}

void CExtractorDlg::OnRename(int row)
{
    if (row < 0)
        row = m_entryListView->currentIndex().row();
    if (!m_bArchiveOpen || row < 0 || row >= m_entryModel->GetCount())
        return;
    const std::string name(m_entryModel->GetText(row));
    // The reversible text, so a name that does not decode comes back as the same bytes.
    const QString before = QString::fromStdString(archive::names::toText(name));
    const std::optional<QString> text =
        m_pServices->askText(this, tr8(res::edit::kRenameCaption),
                             tr8(res::edit::kRenameLabel).arg(shownName(name)), before);
    if (!text || *text == before)
        return;
    if (text->isEmpty()) {
        reportError(tr8(res::edit::kEmptyName));
        return;
    }
    const std::string newName = archive::names::fromText(text->toStdString());
    if (newName == name)
        return;
    applyChanges({{archive::ArchiveChange::Kind::rename, name, {}, newName}});
}

void CExtractorDlg::OnDelete(int row)
{
    if (!m_bArchiveOpen)
        return;
    std::vector<int> rows = GetSelItems();
    if (row < 0 && rows.empty())
        row = m_entryListView->currentIndex().row();
    if (row >= 0 && row < m_entryModel->GetCount() &&
        std::find(rows.begin(), rows.end(), row) == rows.end())
        rows = {row};
    if (rows.empty())
        return;
    const QString question = tr8(res::edit::kDeleteQuestion)
                                 .arg(static_cast<qsizetype>(rows.size()))
                                 .arg(archiveFileName());
    if (!m_pServices->askYesNo(this, tr8(res::kDisplayName), question))
        return;
    std::vector<archive::ArchiveChange> changes;
    for (const int index : rows)
        changes.push_back({archive::ArchiveChange::Kind::remove,
                           std::string(m_entryModel->GetText(index)),
                           {},
                           {}});
    applyChanges(changes);
}

void CExtractorDlg::OnOpenWith(int row)
{
    if (!m_bArchiveOpen || row < 0 || row >= m_entryModel->GetCount())
        return;
    m_pEdits->open(*m_pArchive, m_entryModel->GetItemData(row),
                   [this, name = std::string(m_entryModel->GetText(row))] {
                       reportError(tr8(res::edit::kCannotOpenWith).arg(shownName(name)));
                   });
}

bool CExtractorDlg::isOpenArchive(const std::string& path) const
{
    return m_bArchiveOpen && (path == m_pArchive->path() ||
                              archive::filesystem::identity(path) == m_pArchive->file().identity());
}

bool CExtractorDlg::offerSavedCopy(const ExternalEdits::SavedCopy& copy)
{
    if (m_bChanging || m_bCommandRunning)
        return false;
    const QScopedValueRollback<bool> changing(m_bChanging, true);
    runNow([&] {
        // Another archive may be listed now: the copy still belongs to its own.
        const bool isListed = isOpenArchive(copy.archivePath);
        archive::ArchiveReader other;
        if (!isListed)
            other.Open(copy.archivePath, kNamesCodePage);
        const archive::ArchiveReader& from = isListed ? *m_pArchive : other;
        // Renamed or deleted since it was opened: adding the copy would bring the old name back.
        bool isThere = false;
        for (std::size_t i = 0; i < from.size() && !isThere; ++i)
            isThere = from.at(i).name == copy.entryName;
        if (!isThere) {
            reportError(tr8(res::errorKindText(archive::ErrorKind::noSuchEntry))
                            .arg(shownName(copy.entryName)));
            return;
        }
        const QString question =
            isListed ? tr8(res::edit::kEditedQuestion).arg(shownName(copy.entryName))
                     : tr8(res::edit::kEditedOtherQuestion)
                           .arg(shownName(copy.entryName),
                                QDir::toNativeSeparators(QFile::decodeName(
                                    QByteArray::fromStdString(copy.archivePath))));
        if (!m_pServices->askYesNo(this, tr8(res::kDisplayName), question))
            return;
        const std::vector<archive::ArchiveChange> change = {
            {archive::ArchiveChange::Kind::add, copy.entryName, hostPath(copy.path), {}}};
        if (isListed) {
            if (applyChanges(change))
                m_pEdits->tookIn(copy.path, *m_pArchive);
        } else if (updateOtherArchive(other, change)) {
            archive::ArchiveReader after;
            after.Open(copy.archivePath, kNamesCodePage);
            m_pEdits->tookIn(copy.path, after);
        }
    });
    return true;
}

bool CExtractorDlg::updateOtherArchive(const archive::ArchiveReader& reader,
                                       const std::vector<archive::ArchiveChange>& changes)
{
    const QString archiveName =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(reader.path()))).fileName();
    CProgressWindow progress(this, tr8(res::edit::kUpdateTitle), m_progressOptions);
    const archive::UpdateResult result = progress.run([&](const archive::ProgressFn& report) {
        return archive::updateArchive(reader, changes, report);
    });
    finishUpdate(progress, archiveName, result);
    return !result.cancelled;
}

void CExtractorDlg::finishUpdate(CProgressWindow& progress, const QString& archiveName,
                                 const archive::UpdateResult& result)
{
    if (result.cancelled)
        progress.finish(tr8(res::edit::kUpdateCancelled).arg(archiveName));
    else
        progress.finish(tr8(res::edit::kUpdateDone)
                            .arg(archiveName)
                            .arg(result.added)
                            .arg(result.replaced)
                            .arg(result.deleted)
                            .arg(result.renamed) +
                        (result.splitHardLinks ? tr8(res::edit::kUpdateSplitLinks) : QString()));
}

bool CExtractorDlg::applyChanges(const std::vector<archive::ArchiveChange>& changes)
{
    if (!m_bArchiveOpen || changes.empty())
        return false;
    const QScopedValueRollback<bool> changing(m_bChanging, true);
    const QString archiveName = archiveFileName();
    CProgressWindow progress(this, tr8(res::edit::kUpdateTitle), m_progressOptions);
    const archive::UpdateResult result = progress.run([&](const archive::ProgressFn& report) {
        return archive::updateArchive(*m_pArchive, changes, report);
    });
    if (result.cancelled) {
        finishUpdate(progress, archiveName, result);
        return false;
    }
    // After an undo, the entries the change named are the ones to look at again.
    std::vector<std::string> undoNames;
    for (const archive::ArchiveChange& change : changes)
        undoNames.push_back(change.name);
    // Undo puts back only over the file written here, so it needs to know which that is.
    relist(m_pArchive->path(), result.written.has_value(), result.changedNames);
    if (result.written)
        m_undoWritten = *result.written;
    m_undoNames = std::move(undoNames);
    finishUpdate(progress, archiveName, result);
    return true;
}

void CExtractorDlg::OnUndo()
{
    if (!m_pEarlier || m_bChanging)
        return;
    const QScopedValueRollback<bool> changing(m_bChanging, true);
    const std::string path = m_pEarlier->path();
    const QString archiveName =
        QFileInfo(QFile::decodeName(QByteArray::fromStdString(path))).fileName();
    try {
        putBackEarlier(path, archiveName);
    } catch (const archive::FileError& e) {
        if (e.kind() != archive::ErrorKind::changedMeanwhile)
            throw;
        // Another program's archive now: it is listed as it is, and there is nothing to undo.
        m_pEarlier.reset();
        m_undoNames.clear();
        reportError(tr8(res::edit::kUndoRefused).arg(archiveName));
        relist(path, false, {});
    }
}

void CExtractorDlg::putBackEarlier(const std::string& path, const QString& archiveName)
{
    CProgressWindow progress(this, tr8(res::edit::kUndoTitle), m_progressOptions);
    // Putting back is never stopped halfway: it happens whole or fails.
    progress.run([&](const archive::ProgressFn& report) {
        // Putting back reports bytes only; the window counts whole MiB.
        const auto inMiB = [](std::uint64_t bytes) {
            return static_cast<int>((bytes + (1u << 20) - 1) >> 20);
        };
        archive::restoreArchive(*m_pEarlier, path, m_undoWritten,
                                [&](const archive::Progress& step) {
                                    archive::Progress shown = step;
                                    shown.entriesDone = inMiB(step.bytesDone);
                                    shown.entriesTotal = inMiB(step.bytesTotal);
                                    return report(shown);
                                });
        return true;
    });
    // One level: what was undone cannot be undone again.
    m_pEarlier.reset();
    relist(path, false, std::exchange(m_undoNames, {}));
    progress.finish(tr8(res::edit::kUndoDone).arg(archiveName));
}

void CExtractorDlg::relist(std::string path, bool keepForUndo,
                           const std::vector<std::string>& names)
{
    m_preview->relistUnder([&] {
        // The list's names are views into the reader's directory: they go first.
        m_entryModel->setCatalogue(nullptr);
        m_bArchiveOpen = false;
        if (keepForUndo) {
            m_pEarlier = std::move(m_pArchive);
            m_pArchive = std::make_unique<archive::ArchiveReader>();
            m_entryModel->setReader(m_pArchive.get());
        } else {
            m_pArchive->Close();
        }
        listArchive(path, true);
        return selectEntries(names);
    });
}

int CExtractorDlg::selectEntries(const std::vector<std::string>& names)
{
    const std::unordered_set<std::string_view> wanted(names.begin(), names.end());
    QItemSelection selection;
    int first = -1;
    int runStart = -1;
    const int count = m_entryModel->GetCount();
    // Ranges of neighbouring rows, selected in one call.
    for (int row = 0; row <= count; ++row) {
        const bool isWanted = row < count && wanted.contains(m_entryModel->GetText(row));
        if (isWanted && runStart < 0)
            runStart = row;
        if (!isWanted && runStart >= 0) {
            selection.select(m_entryModel->index(runStart), m_entryModel->index(row - 1));
            runStart = -1;
        }
        if (isWanted && first < 0)
            first = row;
    }
    m_entryListView->selectionModel()->select(selection, QItemSelectionModel::ClearAndSelect);
    if (first < 0)
        return first;
    m_entryListView->selectionModel()->setCurrentIndex(m_entryModel->index(first),
                                                       QItemSelectionModel::NoUpdate);
    m_entryListView->scrollTo(m_entryModel->index(first));
    return first;
}

void CExtractorDlg::forgetChanges()
{
    m_pEarlier.reset();
    m_undoNames.clear();
}

bool CExtractorDlg::addEditCommands(QMenu& menu, int row)
{
    if (!m_bArchiveOpen)
        return false;
    const bool isEntry = row >= 0 && row < m_entryModel->GetCount();
    menu.addSeparator();
    const auto add = [&](const char* text, const char* keys, bool enabled,
                         std::function<void()> command) {
        m_preview->addCommand(menu, text, keys, enabled, std::move(command));
    };
    add(res::edit::kMenuAddFiles, nullptr, true, [this, row] { OnAddFiles(row); });
    add(res::edit::kMenuReplace, nullptr, isEntry, [this, row] { OnReplace(row); });
    add(res::edit::kMenuRename, res::kShortcutRename, isEntry, [this, row] { OnRename(row); });
    add(res::edit::kMenuDelete, res::kShortcutDelete, isEntry || GetSelCount() > 0,
        [this, row] { OnDelete(row); });
    add(res::edit::kMenuOpenWith, nullptr, isEntry, [this, row] { OnOpenWith(row); });
    menu.addSeparator();
    add(res::edit::kMenuUndo, res::kShortcutUndo, canUndo(), [this] { OnUndo(); });
    return true;
}

void CExtractorDlg::addDropped(const QStringList& paths)
{
    std::vector<archive::BuildEntry> entries;
    for (const QString& path : paths) {
        const QFileInfo info(path);
        // The dropped item's parent is the root: a folder keeps its own name as the first level.
        if (info.isDir())
            archive::AddFolderEntries(entries, hostPath(path), hostPath(info.absolutePath()));
        else
            entries.push_back({entryLevel(path), hostPath(path), 0});
    }
    if (entries.empty())
        return;
    const archive::Catalogue& catalogue = *m_entryModel->catalogue();
    std::unordered_set<std::string_view> existing;
    existing.reserve(catalogue.size());
    for (std::size_t row = 0; row < catalogue.size(); ++row)
        existing.insert(catalogue.name(row));
    std::unordered_set<std::string_view> named;
    int added = 0;
    int replaced = 0;
    std::vector<archive::ArchiveChange> changes;
    for (const archive::BuildEntry& entry : entries) {
        changes.push_back({archive::ArchiveChange::Kind::add, entry.name, entry.hostPath, {}});
        if (named.insert(entry.name).second)
            ++(existing.contains(entry.name) ? replaced : added);
    }
    const QString question =
        tr8(res::edit::kDropQuestion).arg(archiveFileName()).arg(added).arg(replaced);
    if (m_pServices->askYesNo(this, tr8(res::kDisplayName), question))
        applyChanges(changes);
}

void CExtractorDlg::done(int result)
{
    // The replaced archive's space goes back to the disk now.
    forgetChanges();
    QDialog::done(result);
}

namespace {

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

bool isArchiveName(const QString& path)
{
    static const QRegularExpression name(QStringLiteral("^game..\\.dat$"),
                                         QRegularExpression::CaseInsensitiveOption);
    return name.match(QFileInfo(path).fileName()).hasMatch();
}

// One file or folder handled as before archives could be changed: an archive to open, or
// anything while none is open.
bool opensOrBuilds(const QStringList& paths, bool isArchiveOpen)
{
    return paths.size() == 1 &&
           (!isArchiveOpen || (QFileInfo(paths.first()).isFile() && isArchiveName(paths.first())));
}

} // namespace

bool CExtractorDlg::isOwnDrag(const QDropEvent& event) const
{
    const QObject* source = event.source();
    if (source && (source == m_entryListView || source == m_entryListView->viewport()))
        return true;
    // A file manager may hand the copies back as a drag of its own.
    const QStringList paths = droppedPaths(event.mimeData());
    return std::any_of(paths.begin(), paths.end(),
                       [this](const QString& path) { return m_pDragOut->holds(path); });
}

bool CExtractorDlg::takesDrop(const QStringList& paths) const
{
    return !paths.isEmpty() && (m_bArchiveOpen || paths.size() == 1);
}

void CExtractorDlg::dragEnterEvent(QDragEnterEvent* event)
{
    if (takesDrop(droppedPaths(event->mimeData())) && !isOwnDrag(*event))
        event->acceptProposedAction();
    else
        event->ignore();
}

void CExtractorDlg::dropEvent(QDropEvent* event)
{
    const QStringList paths = droppedPaths(event->mimeData());
    if (!takesDrop(paths) || isOwnDrag(*event)) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    runCommand([this, paths] {
        if (!opensOrBuilds(paths, m_bArchiveOpen))
            addDropped(paths);
        else if (QFileInfo(paths.first()).isDir())
            makeArchiveFrom(paths.first());
        else
            loadArchive(paths.first());
    });
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
