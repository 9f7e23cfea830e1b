#include "win32ui/Win32ExtractorDlg.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/commands/Listing.h"
#include "archive/format/NameMapping.h"
#include "archive/win32/Win32.h"
#include "res/CompareTexts.h"
#include "res/EditTexts.h"
#include "res/PreviewTexts.h"
#include "res/Resource.h"
#include "session/Session.h"
#include "session/Wording.h"
#include "session/commands/ArchiveChanges.h"
#include "session/commands/CompareCommands.h"
#include "session/commands/DropsAndCopies.h"
#include "session/commands/ExtractAndBuild.h"
#include "session/commands/ListingCommands.h"
#include "session/commands/MenuState.h"
#include "session/commands/NameEncoding.h"
#include "session/edits/ExternalEdits.h"
#include "win32ui/DragOutGesture.h"
#include "win32ui/EntryDataObject.h"
#include "win32ui/EntryDropSource.h"
#include "win32ui/ResourceIds.h"
#include "win32ui/RgbColor.h"
#include "win32ui/Win32LongRun.h"
#include "win32ui/Win32PreviewWindow.h"
#include "win32ui/Win32Questions.h"

#include <commctrl.h>
#include <ole2.h>
#include <shellapi.h>
#include <windowsx.h>

#include <algorithm>
#include <map>

namespace {

using archive::win32::utf8;
using archive::win32::wide;

// Runs one posted command; posted as often as there are commands waiting.
constexpr UINT kRunPosted = WM_APP + 1;

std::string windowText(HWND window)
{
    std::wstring text(static_cast<std::size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
    text.resize(static_cast<std::size_t>(
        GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
    return utf8(text);
}

// A menu item's text with its key after a tab, as Windows menus show keys.
std::wstring menuText(const char* text, const char* keys)
{
    return keys ? wide(std::string(text) + '\t' + keys) : wide(text);
}

void appendItem(HMENU menu, UINT id, const char* text, const char* keys, bool isEnabled,
                bool isChecked = false)
{
    AppendMenuW(menu, MF_STRING | (isEnabled ? 0 : MF_GRAYED) | (isChecked ? MF_CHECKED : 0), id,
                menuText(text, keys).c_str());
}

} // namespace

CWin32ExtractorDlg::CWin32ExtractorDlg(session::Questions* questions)
    : m_ownQuestions(questions ? nullptr : std::make_unique<Win32Questions>()),
      m_questions(questions ? *questions : *m_ownQuestions),
      m_session(std::make_unique<session::Session>(*this, m_questions)),
      m_edits(std::make_unique<session::ExternalEdits>(
          m_watch, m_watch, [this](const session::ExternalEdits::SavedCopy& copy) {
              return session::DropsAndCopies(*m_session, m_scratch, *m_edits).offerSavedCopy(copy);
          }))
{
}

CWin32ExtractorDlg::~CWin32ExtractorDlg()
{
    m_dragOut.reset();
    if (m_hDlg)
        DestroyWindow(m_hDlg);
    m_session->list().setResetListener(nullptr);
    if (m_hMissBrush)
        DeleteObject(m_hMissBrush);
}

bool CWin32ExtractorDlg::create(int showCommand)
{
    HINSTANCE instance = GetModuleHandleW(nullptr);
    m_hAccelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    m_hMissBrush = CreateSolidBrush(rgbColor(res::kFindMissColor));
    m_nShowCommand = showCommand;
    if (!CreateDialogParamW(instance, MAKEINTRESOURCEW(res::IDD_EXTRACTOR_DIALOG), nullptr,
                            dialogProc, reinterpret_cast<LPARAM>(this)))
        return false;
    ShowWindow(m_hDlg, showCommand);
    return true;
}

INT_PTR CALLBACK CWin32ExtractorDlg::dialogProc(HWND dialog, UINT message, WPARAM wParam,
                                                LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        auto* self = reinterpret_cast<CWin32ExtractorDlg*>(lParam);
        self->m_hDlg = dialog;
        self->onInitDialog();
        return TRUE;
    }
    auto* self = reinterpret_cast<CWin32ExtractorDlg*>(GetWindowLongPtrW(dialog, DWLP_USER));
    if (message == WM_MEASUREITEM && wParam == static_cast<WPARAM>(res::IDC_ENTRY_LIST)) {
        // Sent before WM_INITDIALOG, for the list's fixed row height.
        EntryListBox::measure(dialog, *reinterpret_cast<MEASUREITEMSTRUCT*>(lParam));
        return TRUE;
    }
    return self ? self->onMessage(message, wParam, lParam) : FALSE;
}

void CWin32ExtractorDlg::onInitDialog()
{
    m_hTypeFilter = GetDlgItem(m_hDlg, res::IDC_TYPE_FILTER);
    m_hFind = GetDlgItem(m_hDlg, res::IDC_FIND_TEXT);
    if (auto* questions = dynamic_cast<Win32Questions*>(&m_questions))
        questions->setOwner(m_hDlg);
    m_list =
        std::make_unique<EntryListBox>(GetDlgItem(m_hDlg, res::IDC_ENTRY_LIST), m_session->list());
    m_dragOut = std::make_unique<DragOutGesture>(*m_list, [this] { dragOut(); });
    // Shown as a window of its own, not minimised or maximised as the program was started.
    m_preview = std::make_unique<Win32PreviewWindow>(m_hDlg, m_list->handle(), m_session->list(),
                                                     m_nShowCommand == SW_HIDE ? SW_HIDE : SW_SHOW);
    m_session->list().setResetListener([this](bool isStarting) {
        if (isStarting)
            m_preview->follower().rowsResetting();
        else
            m_list->reset();
    });
    // CBS_UPPERCASE upper-cases the string it is given in place: each gets a writable copy.
    for (const std::string_view type : archive::kTypeFilters) {
        std::wstring copy = wide(type);
        SendMessageW(m_hTypeFilter, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(copy.data()));
    }
    SendMessageW(m_hTypeFilter, CB_SETCURSEL, 0, 0);
    DragAcceptFiles(m_hDlg, TRUE);
    HINSTANCE instance = GetModuleHandleW(nullptr);
    for (const auto& [size, metric] :
         {std::pair(ICON_BIG, SM_CXICON), std::pair(ICON_SMALL, SM_CXSMICON)})
        SendMessageW(m_hDlg, WM_SETICON, size,
                     reinterpret_cast<LPARAM>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_VELMORA),
                                                         IMAGE_ICON, GetSystemMetrics(metric),
                                                         GetSystemMetrics(metric), LR_SHARED)));
    nameKeysInTooltips();
}

void CWin32ExtractorDlg::nameKeysInTooltips()
{
    m_hTooltips = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  m_hDlg, nullptr, GetModuleHandleW(nullptr), nullptr);
    // A line each, so a control with two commands names both.
    SendMessageW(m_hTooltips, TTM_SETMAXTIPWIDTH, 0, 600);
    std::map<std::string, std::string> lines;
    for (const res::KeyTip& tip : res::kKeyTips) {
        std::string& text = lines[tip.control];
        text +=
            (text.empty() ? "" : "\n") + session::wording::fill(res::kKeyTip, {tip.text, tip.keys});
    }
    for (const res::ControlTemplate& control : res::kControls) {
        const auto found = lines.find(control.name);
        if (found == lines.end())
            continue;
        std::wstring text = wide(found->second);
        TOOLINFOW tool{};
        tool.cbSize = sizeof(tool);
        tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
        tool.hwnd = m_hDlg;
        tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(m_hDlg, control.id));
        tool.lpszText = text.data();
        SendMessageW(m_hTooltips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
    }
}

INT_PTR CWin32ExtractorDlg::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_COMMAND:
        onCommand(LOWORD(wParam), HIWORD(wParam));
        return TRUE;
    case WM_DRAWITEM:
        if (wParam != static_cast<WPARAM>(res::IDC_ENTRY_LIST))
            return FALSE;
        m_list->draw(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_VKEYTOITEM:
        return onListKey(LOWORD(wParam));
    case WM_CTLCOLOREDIT:
        if (reinterpret_cast<HWND>(lParam) != m_hFind || !m_bFindMiss)
            return FALSE;
        SetBkColor(reinterpret_cast<HDC>(wParam), rgbColor(res::kFindMissColor));
        SetTextColor(reinterpret_cast<HDC>(wParam), RGB(0, 0, 0));
        return reinterpret_cast<INT_PTR>(m_hMissBrush);
    case WM_CONTEXTMENU:
        if (reinterpret_cast<HWND>(wParam) != m_list->handle())
            return FALSE;
        onContextMenu(lParam);
        return TRUE;
    case WM_DROPFILES:
        onDropFiles(reinterpret_cast<HDROP>(wParam));
        return TRUE;
    case kRunPosted:
        runPosted();
        return TRUE;
    case WM_CLOSE:
        runCommand([this] { close(); });
        return TRUE;
    case WM_DESTROY:
        m_hDlg = nullptr;
        return FALSE;
    }
    return FALSE;
}

void CWin32ExtractorDlg::onCommand(int id, int code)
{
    using session::ListingCommands;
    switch (id) {
    case res::IDC_LOAD:
    case IDM_LOAD:
        return runCommand([this] { ListingCommands(*m_session).chooseAndLoad(); });
    case IDM_RELOAD:
        return runCommand([this] { ListingCommands(*m_session).reload(); });
    case res::IDC_EXTRACT:
    case IDM_EXTRACT:
    case IDM_EXTRACT_SELECTION:
        return runCommand([this] { session::ExtractAndBuild(*m_session).extract(); });
    case res::IDC_MAKE_ARCHIVE:
        return runCommand([this] { session::ExtractAndBuild(*m_session).build(); });
    case res::IDC_SELECT_ALL:
        return runCommand([this] { ListingCommands(*m_session).selectAll(); });
    case res::IDC_DESELECT_ALL:
        return runCommand([this] { ListingCommands(*m_session).deselectAll(); });
    case IDM_UNDO:
        return runCommand([this] { session::ArchiveChanges(*m_session).undo(); });
    case IDM_PREVIEW:
        return openPreview(m_list->current());
    case IDM_FIND:
        SetFocus(m_hFind);
        SendMessageW(m_hFind, EM_SETSEL, 0, -1);
        return;
    // Enter outside a button is the dialog's OK, as Close is; Escape closes it too.
    case IDOK:
    case IDCANCEL:
    case res::IDC_CLOSE:
        return runCommand([this] { close(); });
    }
    if (onViewCommand(id))
        return;
    // The list's menu commands sent without the menu are for the current entry.
    if (id >= IDM_COPY_NAME && id <= IDM_OPEN_WITH && code != 0)
        onMenuCommand(id, m_list->current());
    else if (id == res::IDC_ENTRY_LIST && code == LBN_SELCHANGE)
        m_preview->follower().currentMoved(m_list->current());
    else if (id == res::IDC_ENTRY_LIST && code == LBN_DBLCLK)
        openPreview(m_list->current());
    // The list follows the filter and the find text at once: neither opens a window nor waits.
    else if (id == res::IDC_TYPE_FILTER && code == CBN_SELCHANGE)
        m_session->commands().now([this] { ListingCommands(*m_session).filter(); });
    else if (id == res::IDC_FIND_TEXT && code == EN_CHANGE)
        m_session->commands().now(
            [this] { ListingCommands(*m_session).find(windowText(m_hFind)); });
}

INT_PTR CWin32ExtractorDlg::onListKey(int key)
{
    if (key == VK_SPACE)
        openPreview(m_list->current());
    else if (key == VK_F2)
        runCommand([this] { session::ArchiveChanges(*m_session).rename(-1); });
    else if (key == VK_DELETE)
        runCommand([this] { session::ArchiveChanges(*m_session).remove(-1); });
    else
        return -1;
    return -2;
}

int CWin32ExtractorDlg::rowAt(POINT screen) const
{
    POINT client = screen;
    ScreenToClient(m_list->handle(), &client);
    return m_list->rowAt(client);
}

void CWin32ExtractorDlg::onContextMenu(LPARAM at)
{
    POINT screen{GET_X_LPARAM(at), GET_Y_LPARAM(at)};
    int row = -1;
    if (screen.x == -1 && screen.y == -1) {
        // From the keyboard: the current entry, the menu at the list's corner.
        row = m_list->current();
        screen = {0, 0};
        ClientToScreen(m_list->handle(), &screen);
    } else {
        row = rowAt(screen);
    }
    const bool isEntry = m_session->list().isRow(row);
    const session::MenuState state =
        session::MenuState::of(*m_session, row, m_list->selectedCount());
    HMENU menu = CreatePopupMenu();
    const auto add = [&](UINT id, const char* text, const char* keys, bool isEnabled) {
        appendItem(menu, id, text, keys, isEnabled);
    };
    add(IDM_PREVIEW, res::preview::kMenuPreview, res::kShortcutPreview, isEntry);
    add(IDM_EXTRACT_SELECTION, res::preview::kMenuExtract, res::kShortcutExtract,
        m_session->list().count() > 0);
    add(IDM_COPY_NAME, res::preview::kMenuCopyName, nullptr, isEntry);
    if (state.isShown) {
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        add(IDM_ADD_FILES, res::edit::kMenuAddFiles, nullptr, state.canAddFiles);
        add(IDM_REPLACE, res::edit::kMenuReplace, nullptr, state.canReplace);
        add(IDM_RENAME, res::edit::kMenuRename, res::kShortcutRename, state.canRename);
        add(IDM_DELETE, res::edit::kMenuDelete, res::kShortcutDelete, state.canDelete);
        add(IDM_OPEN_WITH, res::edit::kMenuOpenWith, nullptr, state.canOpenInOtherProgram);
        AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
        add(IDM_UNDO, res::edit::kMenuUndo, res::kShortcutUndo, state.canUndo);
        addViewCommands(menu, state);
    }
    const auto chosen = static_cast<int>(TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON,
                                                        screen.x, screen.y, 0, m_hDlg, nullptr));
    DestroyMenu(menu);
    if (chosen != 0)
        onMenuCommand(chosen, row);
}

void CWin32ExtractorDlg::addViewCommands(HMENU menu, const session::MenuState& state)
{
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    appendItem(menu, IDM_COMPARE, res::compare::kMenuCompare, nullptr, true);
    appendItem(menu, IDM_DIFFERING_ONLY, res::compare::kMenuDifferingOnly, nullptr,
               state.canShowDifferingOnly, state.isDifferingOnly);
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    HMENU encodings = CreatePopupMenu();
    UINT id = IDM_ENCODING_FIRST;
    for (const session::NameEncoding::Choice& choice : session::NameEncoding::choices()) {
        appendItem(encodings, id, choice.text, nullptr, true);
        if (choice.encoding == state.encoding)
            CheckMenuRadioItem(encodings, id, id, id, MF_BYCOMMAND);
        ++id;
    }
    AppendMenuW(menu, MF_POPUP, reinterpret_cast<UINT_PTR>(encodings),
                wide(res::kMenuNameEncoding).c_str());
}

bool CWin32ExtractorDlg::onViewCommand(int id)
{
    const auto& choices = session::NameEncoding::choices();
    if (id >= IDM_ENCODING_FIRST && id < IDM_ENCODING_FIRST + static_cast<int>(choices.size())) {
        const auto encoding = choices[static_cast<std::size_t>(id - IDM_ENCODING_FIRST)].encoding;
        runCommand([this, encoding] { session::NameEncoding(*m_session).choose(encoding); });
    } else if (id == IDM_COMPARE) {
        runCommand([this] { session::CompareCommands(*m_session).compare(); });
    } else if (id == IDM_DIFFERING_ONLY) {
        // The opposite of what the list shows when the command runs, as its check mark says.
        runCommand([this] {
            session::CompareCommands(*m_session)
                .showDifferingOnly(!m_session->list().isDifferingOnly());
        });
    } else {
        return false;
    }
    return true;
}

void CWin32ExtractorDlg::onMenuCommand(int id, int row)
{
    using session::ArchiveChanges;
    switch (id) {
    case IDM_PREVIEW:
        return openPreview(row);
    case IDM_COPY_NAME:
        return copyName(row);
    case IDM_ADD_FILES:
        return runCommand([this, row] { ArchiveChanges(*m_session).addFiles(row); });
    case IDM_REPLACE:
        return runCommand([this, row] { ArchiveChanges(*m_session).replace(row); });
    case IDM_RENAME:
        return runCommand([this, row] { ArchiveChanges(*m_session).rename(row); });
    case IDM_DELETE:
        return runCommand([this, row] { ArchiveChanges(*m_session).remove(row); });
    case IDM_OPEN_WITH:
        return runCommand([this, row] {
            session::DropsAndCopies(*m_session, m_scratch, *m_edits).openInOtherProgram(row);
        });
    default:
        onCommand(id, 0);
    }
}

void CWin32ExtractorDlg::copyName(int row)
{
    const session::EntryList& list = m_session->list();
    if (!list.isRow(row) || !OpenClipboard(m_hDlg))
        return;
    const std::wstring name =
        wide(archive::names::displayName(list.name(row), list.catalogue()->codePage()));
    EmptyClipboard();
    // The clipboard owns the memory once it takes it.
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, (name.size() + 1) * sizeof(wchar_t));
    if (memory) {
        std::copy_n(name.c_str(), name.size() + 1, static_cast<wchar_t*>(GlobalLock(memory)));
        GlobalUnlock(memory);
        if (!SetClipboardData(CF_UNICODETEXT, memory))
            GlobalFree(memory);
    }
    CloseClipboard();
}

Microsoft::WRL::ComPtr<IDataObject> CWin32ExtractorDlg::dragData()
{
    const session::EntryList& list = m_session->list();
    const std::vector<int> rows = m_list->rows();
    if (rows.empty() || !list.catalogue())
        return nullptr;
    try {
        return EntryDataObject::create(
            m_scratch.extractTopLevels(list.catalogue()->reader(), list.positionsOf(rows)));
    } catch (const archive::ArchiveError& e) {
        m_questions.showMessage(session::wording::tr(res::preview::kDragFailed),
                                session::wording::errorMessage(e),
                                session::Questions::MessageIcon::Error);
        return nullptr;
    }
}

void CWin32ExtractorDlg::dragOut()
{
    // Extracted before the drag: the rows' record positions hold only for the reader listed now,
    // and DoDragDrop's loop runs the window's timers and posted commands, which may list anew. A
    // failure is shown before the drag, not from inside a target's GetData. Whatever is posted
    // meanwhile waits for the drag to end.
    m_session->commands().now([this] {
        const Microsoft::WRL::ComPtr<IDataObject> data = dragData();
        if (!data)
            return;
        DWORD effect = DROPEFFECT_NONE;
        DoDragDrop(data.Get(), EntryDropSource::create().Get(), DROPEFFECT_COPY, &effect);
    });
}

void CWin32ExtractorDlg::openPreview(int row)
{
    runCommand([this, row] { m_preview->open(row); });
}

void CWin32ExtractorDlg::relistUnder(const std::function<int()>& list)
{
    m_preview->follower().relistUnder(list);
}

void CWin32ExtractorDlg::onDropFiles(HDROP drop)
{
    std::vector<std::string> paths;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    for (UINT i = 0; i < count; ++i) {
        std::wstring path(DragQueryFileW(drop, i, nullptr, 0) + 1, L'\0');
        path.resize(DragQueryFileW(drop, i, path.data(), static_cast<UINT>(path.size())));
        paths.push_back(utf8(path));
    }
    DragFinish(drop);
    if (!session::DropsAndCopies(*m_session, m_scratch, *m_edits).takesDrop(paths))
        return;
    runCommand([this, paths = std::move(paths)] {
        session::DropsAndCopies(*m_session, m_scratch, *m_edits).drop(paths);
    });
}

void CWin32ExtractorDlg::runCommand(std::function<void()> command)
{
    m_session->commands().later(std::move(command));
}

void CWin32ExtractorDlg::post(std::function<void()> command)
{
    m_posted.push_back(std::move(command));
    PostMessageW(m_hDlg, kRunPosted, 0, 0);
}

void CWin32ExtractorDlg::runPosted()
{
    if (m_posted.empty())
        return;
    std::function<void()> command = std::move(m_posted.front());
    m_posted.pop_front();
    command();
}

void CWin32ExtractorDlg::close()
{
    // Copies in other programs are no longer offered back once the dialog goes.
    m_edits->clear();
    m_session->closeArchive();
    // The replaced archive's space goes back to the disk now.
    m_session->archive().forgetUndo();
    m_preview->close();
    if (m_hDlg)
        DestroyWindow(m_hDlg);
}

void CWin32ExtractorDlg::openArchive(const std::string& path)
{
    m_session->commands().now([this, path] { m_session->load(path); });
}

std::unique_ptr<session::LongRun> CWin32ExtractorDlg::startLongRun(const std::string& label)
{
    return std::make_unique<Win32LongRun>(m_hDlg, label, m_nProgressDelayMs);
}

void CWin32ExtractorDlg::openInOtherProgram(const std::string& path,
                                            std::function<void()> onFailure)
{
    if (m_openWith) {
        if (!m_openWith(path))
            post(std::move(onFailure));
        return;
    }
    std::wstring file = wide(path);
    std::replace(file.begin(), file.end(), L'/', L'\\');
    SHELLEXECUTEINFOW info{};
    info.cbSize = sizeof(info);
    info.fMask = SEE_MASK_FLAG_NO_UI;
    info.hwnd = m_hDlg;
    info.lpVerb = L"open";
    info.lpFile = file.c_str();
    info.nShow = SW_SHOWNORMAL;
    if (!ShellExecuteExW(&info))
        post(std::move(onFailure));
}

void CWin32ExtractorDlg::setStatus(const std::string& text)
{
    SetDlgItemTextW(m_hDlg, res::IDC_STATUS, wide(text).c_str());
}

void CWin32ExtractorDlg::showFindMiss(bool isMiss)
{
    if (m_bFindMiss == isMiss)
        return;
    m_bFindMiss = isMiss;
    InvalidateRect(m_hFind, nullptr, TRUE);
}

std::string CWin32ExtractorDlg::typeFilter() const
{
    const auto index = static_cast<int>(SendMessageW(m_hTypeFilter, CB_GETCURSEL, 0, 0));
    if (index < 0)
        return "*";
    std::wstring text(
        static_cast<std::size_t>(SendMessageW(m_hTypeFilter, CB_GETLBTEXTLEN, index, 0)) + 1,
        L'\0');
    text.resize(static_cast<std::size_t>(
        SendMessageW(m_hTypeFilter, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text.data()))));
    return utf8(text);
}

void CWin32ExtractorDlg::resetTypeFilter()
{
    SendMessageW(m_hTypeFilter, CB_SETCURSEL, 0, 0);
}

bool CWin32ExtractorDlg::translate(MSG& message)
{
    if (!m_hDlg)
        return false;
    return m_preview->translate(message) ||
           TranslateAcceleratorW(m_hDlg, m_hAccelerators, &message) ||
           IsDialogMessageW(m_hDlg, &message);
}

int CWin32ExtractorDlg::run()
{
    MSG message;
    while (m_hDlg && GetMessageW(&message, nullptr, 0, 0) > 0) {
        if (!translate(message)) {
            TranslateMessage(&message);
            DispatchMessageW(&message);
        }
    }
    return 0;
}
