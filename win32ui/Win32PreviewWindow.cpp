#include "win32ui/Win32PreviewWindow.h"

#include "archive/ArchiveError.h"
#include "archive/commands/Catalogue.h"
#include "archive/format/NameMapping.h"
#include "archive/win32/Win32.h"
#include "res/PreviewTexts.h"
#include "session/EntryList.h"
#include "session/Wording.h"
#include "win32ui/ResourceIds.h"

#include <mmsystem.h>

#include <algorithm>
#include <array>

namespace {

using archive::win32::utf8;
using archive::win32::wide;
using session::EntryPreview;
using session::wording::tr;

constexpr wchar_t kWindowClass[] = L"VelmoraPreview";
// A hex line that could not be read says why once the painting is over.
constexpr UINT kShowLateFailure = WM_APP + 1;
constexpr int kMargin = 6;
constexpr int kWidth = 560;
constexpr int kHeight = 480;
constexpr int kToggleWidth = 100;
constexpr int kButtonWidth = 80;
constexpr DWORD kStyle = WS_OVERLAPPEDWINDOW | WS_CLIPCHILDREN;
constexpr DWORD kStyleEx = WS_EX_CONTROLPARENT;
// Offset, two spaces, 16 bytes of three characters, the gap after 8, a space, 16 characters.
constexpr int kHexLineChars = 8 + 2 + 16 * 3 + 1 + 1 + 16;

// The edit control breaks lines at "\r\n" only.
std::wstring withCrLf(const std::string& text)
{
    std::wstring lines;
    const std::wstring wideText = wide(text);
    lines.reserve(wideText.size() + wideText.size() / 16);
    for (std::size_t i = 0; i < wideText.size(); ++i) {
        if (wideText[i] == L'\n' && (i == 0 || wideText[i - 1] != L'\r'))
            lines += L'\r';
        lines += wideText[i];
    }
    return lines;
}

bool isStepKey(WPARAM key)
{
    switch (key) {
    case VK_UP:
    case VK_DOWN:
    case VK_PRIOR:
    case VK_NEXT:
    case VK_HOME:
    case VK_END:
        // Without modifiers: Shift and Ctrl with them extend or keep the list's selection.
        return GetKeyState(VK_SHIFT) >= 0 && GetKeyState(VK_CONTROL) >= 0 &&
               GetKeyState(VK_MENU) >= 0;
    default:
        return false;
    }
}

// The output's name for a message that it refused the sound.
std::string outputName()
{
    WAVEOUTCAPSW caps{};
    if (waveOutGetDevCapsW(WAVE_MAPPER, &caps, sizeof(caps)) != MMSYSERR_NOERROR)
        return "waveOut";
    return utf8(caps.szPname);
}

// sound: a WAV whose "fmt " chunk starts at byte 12, as EntryPreview::playableWave writes it.
bool isFormatPlayable(const std::vector<unsigned char>& sound)
{
    constexpr std::size_t kFormatAt = 20;
    const std::size_t formatBytes = sound[16];
    // WAVEFORMATEX, with IMA ADPCM's frames per block after it; PCM's has no size field.
    alignas(WAVEFORMATEX) std::array<unsigned char, sizeof(WAVEFORMATEX) + 2> format{};
    std::copy_n(sound.begin() + kFormatAt, std::min(formatBytes, format.size()), format.begin());
    return waveOutOpen(nullptr, WAVE_MAPPER, reinterpret_cast<const WAVEFORMATEX*>(format.data()),
                       0, 0, WAVE_FORMAT_QUERY) == MMSYSERR_NOERROR;
}

void registerClass(HINSTANCE instance, WNDPROC procedure)
{
    WNDCLASSEXW kind{};
    kind.cbSize = sizeof(kind);
    kind.lpfnWndProc = procedure;
    kind.hInstance = instance;
    kind.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512)); // IDC_ARROW
    kind.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    kind.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_VELMORA));
    kind.lpszClassName = kWindowClass;
    // Registered by the first window; a second registration fails harmlessly.
    RegisterClassExW(&kind);
}

} // namespace

Win32PreviewWindow::Win32PreviewWindow(HWND owner, HWND listBox, const session::EntryList& list,
                                       int showCommand)
    : m_hOwner(owner), m_hListBox(listBox), m_list(list), m_nShowCommand(showCommand)
{
    // The imaging component is COM; the program's entry has usually started it already.
    m_bComStarted = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED));
    HINSTANCE instance = GetModuleHandleW(nullptr);
    registerClass(instance, windowProc);
    m_hFixedFont = CreateFontW(-13, 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE, DEFAULT_CHARSET,
                               OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                               FIXED_PITCH | FF_MODERN, L"Courier New");
    const SIZE size = preferredSize();
    CreateWindowExW(kStyleEx, kWindowClass, L"", kStyle, CW_USEDEFAULT, CW_USEDEFAULT, size.cx,
                    size.cy, owner, nullptr, instance, this);
}

Win32PreviewWindow::~Win32PreviewWindow()
{
    // The player reads the sound's bytes until it stops.
    stop();
    if (m_hWnd)
        DestroyWindow(m_hWnd);
    if (m_hFixedFont)
        DeleteObject(m_hFixedFont);
    if (m_bComStarted)
        CoUninitialize();
}

SIZE Win32PreviewWindow::preferredSize() const
{
    HDC dc = GetDC(nullptr);
    HGDIOBJ old = SelectObject(dc, m_hFixedFont);
    SIZE line{};
    GetTextExtentPoint32W(dc, std::wstring(kHexLineChars, L'0').c_str(), kHexLineChars, &line);
    SelectObject(dc, old);
    ReleaseDC(nullptr, dc);
    // Wide enough for a whole hex line beside its scroll bar.
    RECT frame{0, 0,
               2 * kMargin + line.cx + 4 + GetSystemMetrics(SM_CXVSCROLL) +
                   4 * GetSystemMetrics(SM_CXBORDER),
               kHeight};
    AdjustWindowRectEx(&frame, kStyle, FALSE, kStyleEx);
    return {std::max<LONG>(kWidth, frame.right - frame.left), kHeight};
}

LRESULT CALLBACK Win32PreviewWindow::windowProc(HWND window, UINT message, WPARAM wParam,
                                                LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        auto* self = static_cast<Win32PreviewWindow*>(
            reinterpret_cast<CREATESTRUCTW*>(lParam)->lpCreateParams);
        SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(self));
        self->m_hWnd = window;
    }
    auto* self = reinterpret_cast<Win32PreviewWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
    if (!self)
        return DefWindowProcW(window, message, wParam, lParam);
    return self->onMessage(message, wParam, lParam);
}

LRESULT Win32PreviewWindow::onMessage(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_CREATE:
        createParts();
        return 0;
    case WM_SIZE:
        layout();
        return 0;
    case WM_MEASUREITEM:
        reinterpret_cast<MEASUREITEMSTRUCT*>(lParam)->itemHeight = hexLineHeight();
        return TRUE;
    case WM_CTLCOLORSTATIC:
        // The text is read-only, not disabled: on the colours of text, as on Linux.
        if (reinterpret_cast<HWND>(lParam) != part(IDC_PREVIEW_TEXT))
            break;
        SetBkColor(reinterpret_cast<HDC>(wParam), GetSysColor(COLOR_WINDOW));
        return reinterpret_cast<LRESULT>(GetSysColorBrush(COLOR_WINDOW));
    case WM_DRAWITEM:
        drawPart(*reinterpret_cast<const DRAWITEMSTRUCT*>(lParam));
        return TRUE;
    case WM_COMMAND:
        onCommand(LOWORD(wParam));
        return 0;
    case kShowLateFailure:
        if (wParam == m_nShown) {
            SetWindowTextW(part(IDC_PREVIEW_MESSAGE), wide(m_strLateFailure).c_str());
            ShowWindow(part(IDC_PREVIEW_MESSAGE), SW_SHOWNA);
            layout();
        }
        return 0;
    case WM_CLOSE:
        close();
        return 0;
    case WM_NCDESTROY: {
        // Destroyed with the dialog that owns it.
        HWND window = m_hWnd;
        stop();
        m_hWnd = nullptr;
        m_bOpen = false;
        return DefWindowProcW(window, message, wParam, lParam);
    }
    }
    return DefWindowProcW(m_hWnd, message, wParam, lParam);
}

void Win32PreviewWindow::onCommand(int id)
{
    if (id == IDC_PREVIEW_PLAY)
        play();
    else if (id == IDC_PREVIEW_STOP)
        stop();
    else if (id == IDC_PREVIEW_HEX_TOGGLE)
        setView(IsDlgButtonChecked(m_hWnd, IDC_PREVIEW_HEX_TOGGLE) == BST_CHECKED
                    ? View::hex
                    : m_preview.contentView());
}

UINT Win32PreviewWindow::hexLineHeight() const
{
    HDC dc = GetDC(m_hWnd);
    HGDIOBJ old = SelectObject(dc, m_hFixedFont);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, old);
    ReleaseDC(m_hWnd, dc);
    return static_cast<UINT>(metrics.tmHeight);
}

HWND Win32PreviewWindow::addPart(const wchar_t* kind, int id, DWORD style, const char* text)
{
    HWND part = CreateWindowExW(0, kind, wide(text).c_str(), WS_CHILD | style, 0, 0, 0, 0, m_hWnd,
                                reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                                GetModuleHandleW(nullptr), nullptr);
    const auto font = SendMessageW(m_hOwner, WM_GETFONT, 0, 0);
    SendMessageW(part, WM_SETFONT,
                 id == IDC_PREVIEW_HEX ? reinterpret_cast<WPARAM>(m_hFixedFont)
                                       : static_cast<WPARAM>(font),
                 FALSE);
    return part;
}

void Win32PreviewWindow::createParts()
{
    namespace t = res::preview;
    addPart(L"Static", IDC_PREVIEW_MESSAGE, SS_LEFT | SS_NOPREFIX);
    addPart(L"Static", IDC_PREVIEW_PICTURE, SS_OWNERDRAW);
    HWND text = addPart(L"Edit", IDC_PREVIEW_TEXT,
                        ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_AUTOHSCROLL | WS_VSCROLL |
                            WS_HSCROLL | WS_BORDER | WS_TABSTOP);
    SendMessageW(text, EM_SETLIMITTEXT, 0, 0);
    // Rows drawn as they come into view, so a large entry's lines are read only then.
    addPart(L"ListBox", IDC_PREVIEW_HEX,
            LBS_NODATA | LBS_OWNERDRAWFIXED | LBS_NOSEL | LBS_NOINTEGRALHEIGHT | WS_VSCROLL |
                WS_BORDER | WS_TABSTOP);
    addPart(L"Button", IDC_PREVIEW_PLAY, BS_PUSHBUTTON | WS_TABSTOP, tr(t::kPlay).c_str());
    addPart(L"Button", IDC_PREVIEW_STOP, BS_PUSHBUTTON | WS_TABSTOP, tr(t::kStop).c_str());
    addPart(L"Static", IDC_PREVIEW_SOUND_NOTE, SS_LEFT | SS_NOPREFIX);
    addPart(L"Static", IDC_PREVIEW_FORMAT, SS_LEFT | SS_NOPREFIX | WS_VISIBLE);
    addPart(L"Button", IDC_PREVIEW_HEX_TOGGLE, BS_AUTOCHECKBOX | WS_TABSTOP | WS_VISIBLE,
            tr(t::kHexToggle).c_str());
    addPart(L"Static", IDC_PREVIEW_DETAILS, SS_LEFT | SS_NOPREFIX | WS_VISIBLE);
}

void Win32PreviewWindow::layout()
{
    if (!m_hWnd)
        return;
    RECT area{};
    GetClientRect(m_hWnd, &area);
    const int width = area.right - 2 * kMargin;
    const int line = HIWORD(GetDialogBaseUnits()) + 4;
    const bool hasMessage = IsWindowVisible(part(IDC_PREVIEW_MESSAGE)) != FALSE;
    const int top = kMargin + (hasMessage ? 2 * line + kMargin : 0);
    const int detailsTop = area.bottom - kMargin - 2 * line;
    const int formatTop = detailsTop - line - kMargin;
    const int contentHeight = std::max(0, formatTop - kMargin - top);
    const auto place = [this](int id, int x, int y, int w, int h) {
        MoveWindow(part(id), x, y, std::max(0, w), std::max(0, h), TRUE);
    };
    place(IDC_PREVIEW_MESSAGE, kMargin, kMargin, width, 2 * line);
    for (const int id : {IDC_PREVIEW_PICTURE, IDC_PREVIEW_TEXT, IDC_PREVIEW_HEX})
        place(id, kMargin, top, width, contentHeight);
    place(IDC_PREVIEW_PLAY, kMargin, top, kButtonWidth, line + 4);
    place(IDC_PREVIEW_STOP, 2 * kMargin + kButtonWidth, top, kButtonWidth, line + 4);
    place(IDC_PREVIEW_SOUND_NOTE, 3 * kMargin + 2 * kButtonWidth, top + 2,
          width - 2 * kButtonWidth - 2 * kMargin, 2 * line);
    place(IDC_PREVIEW_FORMAT, kMargin, formatTop, width - kToggleWidth - kMargin, line);
    place(IDC_PREVIEW_HEX_TOGGLE, area.right - kMargin - kToggleWidth, formatTop, kToggleWidth,
          line);
    place(IDC_PREVIEW_DETAILS, kMargin, detailsTop, width, 2 * line);
}

void Win32PreviewWindow::placeBesideOwner()
{
    RECT owner{};
    RECT window{};
    GetWindowRect(m_hOwner, &owner);
    GetWindowRect(m_hWnd, &window);
    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    GetMonitorInfoW(MonitorFromWindow(m_hOwner, MONITOR_DEFAULTTONEAREST), &monitor);
    const RECT& room = monitor.rcWork;
    const int width = std::min<int>(window.right - window.left, room.right - room.left);
    const int height = std::min<int>(window.bottom - window.top, room.bottom - room.top);
    // Beside the dialog where there is room, else on the side with more of it.
    int x = owner.right;
    if (x + width > room.right)
        x = owner.left - width >= room.left || owner.left - room.left > room.right - owner.right
                ? owner.left - width
                : room.right - width;
    x = std::clamp<int>(x, room.left, room.right - width);
    const int y = std::clamp<int>(owner.top, room.top, room.bottom - height);
    SetWindowPos(m_hWnd, nullptr, x, y, width, height, SWP_NOZORDER | SWP_NOACTIVATE);
}

void Win32PreviewWindow::showRow(int row)
{
    const archive::Catalogue* catalogue = m_list.catalogue();
    if (!m_hWnd || !catalogue || !m_list.isRow(row))
        return;
    clear();
    m_nRow = row;
    SetWindowTextW(
        m_hWnd, wide(archive::names::displayName(m_list.name(row), catalogue->codePage())).c_str());
    m_preview = EntryPreview::of(catalogue->reader(), m_list.position(row));
    if (m_preview.view() == View::picture)
        m_picture = WicPicture::decode(m_preview);
    showPreview();
    if (!m_bOpen) {
        placeBesideOwner();
        ShowWindow(m_hWnd, m_nShowCommand);
        m_bOpen = true;
    }
}

void Win32PreviewWindow::showPreview()
{
    const auto setText = [this](int id, const std::string& text) {
        SetWindowTextW(part(id), wide(text).c_str());
    };
    setText(IDC_PREVIEW_MESSAGE, m_preview.message());
    ShowWindow(part(IDC_PREVIEW_MESSAGE), m_preview.message().empty() ? SW_HIDE : SW_SHOWNA);
    setText(IDC_PREVIEW_DETAILS, m_preview.details());
    setText(IDC_PREVIEW_FORMAT, m_preview.formatLine());
    EnableWindow(part(IDC_PREVIEW_HEX_TOGGLE), m_preview.contentView() != View::none);
    if (m_preview.view() == View::text)
        SetWindowTextW(part(IDC_PREVIEW_TEXT), withCrLf(m_preview.text()).c_str());
    const std::uint64_t lines =
        (m_preview.hexSize() + EntryPreview::kBytesPerLine - 1) / EntryPreview::kBytesPerLine;
    SendMessageW(part(IDC_PREVIEW_HEX), LB_SETCOUNT, static_cast<WPARAM>(lines), 0);
    // Asking for outputs wakes the sound system: only a sound does.
    const bool hasOutput = m_preview.view() == View::sound && waveOutGetNumDevs() > 0;
    EnableWindow(part(IDC_PREVIEW_PLAY), hasOutput);
    EnableWindow(part(IDC_PREVIEW_STOP), FALSE);
    setText(IDC_PREVIEW_SOUND_NOTE, hasOutput ? "" : tr(res::preview::kNoAudioDevice));
    setView(m_preview.view());
    layout();
}

void Win32PreviewWindow::setView(View view)
{
    m_view = view;
    const auto show = [this](int id, bool isShown) {
        ShowWindow(part(id), isShown ? SW_SHOWNA : SW_HIDE);
    };
    show(IDC_PREVIEW_PICTURE, view == View::picture);
    show(IDC_PREVIEW_TEXT, view == View::text);
    show(IDC_PREVIEW_HEX, view == View::hex || view == View::none);
    for (const int id : {IDC_PREVIEW_PLAY, IDC_PREVIEW_STOP, IDC_PREVIEW_SOUND_NOTE})
        show(id, view == View::sound);
}

HWND Win32PreviewWindow::shownPart() const
{
    switch (m_view) {
    case View::picture:
        return part(IDC_PREVIEW_PICTURE);
    case View::text:
        return part(IDC_PREVIEW_TEXT);
    case View::sound:
        return part(IDC_PREVIEW_PLAY);
    case View::hex:
    case View::none:
        break;
    }
    return part(IDC_PREVIEW_HEX);
}

std::string Win32PreviewWindow::hexLine(int line) const
{
    const std::uint64_t offset = std::uint64_t(line) * EntryPreview::kBytesPerLine;
    return EntryPreview::hexLine(m_preview.hexBytes(offset, EntryPreview::kBytesPerLine), offset);
}

void Win32PreviewWindow::drawPart(const DRAWITEMSTRUCT& item)
{
    FillRect(item.hDC, &item.rcItem, GetSysColorBrush(COLOR_WINDOW));
    if (item.CtlID == IDC_PREVIEW_PICTURE) {
        m_picture.draw(item.hDC, item.rcItem);
        return;
    }
    if (item.CtlID != IDC_PREVIEW_HEX || item.itemID == static_cast<UINT>(-1))
        return;
    std::wstring text;
    try {
        text = wide(hexLine(static_cast<int>(item.itemID)));
    } catch (const archive::ArchiveError& e) {
        // The file changed since it was opened: the line stays empty and the window says why
        // once the painting is over.
        m_strLateFailure = EntryPreview::entryFailure(e);
        PostMessageW(m_hWnd, kShowLateFailure, m_nShown, 0);
        return;
    }
    HGDIOBJ old = SelectObject(item.hDC, m_hFixedFont);
    SetBkMode(item.hDC, TRANSPARENT);
    SetTextColor(item.hDC, GetSysColor(COLOR_WINDOWTEXT));
    TextOutW(item.hDC, item.rcItem.left + 2, item.rcItem.top, text.c_str(),
             static_cast<int>(text.size()));
    SelectObject(item.hDC, old);
}

void Win32PreviewWindow::play()
{
    stop();
    m_playing = m_preview.playableWave();
    if (m_playing.empty())
        return;
    namespace t = res::preview;
    if (waveOutGetNumDevs() == 0) {
        SetWindowTextW(part(IDC_PREVIEW_SOUND_NOTE), wide(tr(t::kNoAudioDevice)).c_str());
        return;
    }
    // Played apart from the window, PlaySound reports no failure of its own: the output is asked
    // first whether it takes the format.
    if (!isFormatPlayable(m_playing) ||
        !PlaySoundW(reinterpret_cast<LPCWSTR>(m_playing.data()), nullptr,
                    SND_MEMORY | SND_ASYNC | SND_NODEFAULT)) {
        m_playing.clear();
        SetWindowTextW(part(IDC_PREVIEW_SOUND_NOTE),
                       wide(session::wording::fill(tr(t::kCannotPlay), {outputName()})).c_str());
        return;
    }
    EnableWindow(part(IDC_PREVIEW_STOP), TRUE);
}

void Win32PreviewWindow::stop()
{
    if (m_playing.empty())
        return;
    PlaySoundW(nullptr, nullptr, 0);
    m_playing.clear();
    if (m_hWnd)
        EnableWindow(part(IDC_PREVIEW_STOP), FALSE);
}

void Win32PreviewWindow::clear()
{
    stop();
    ++m_nShown;
    m_preview = {};
    m_picture = {};
    m_nRow = -1;
    if (!m_hWnd)
        return;
    SetWindowTextW(part(IDC_PREVIEW_TEXT), L"");
    SendMessageW(part(IDC_PREVIEW_HEX), LB_SETCOUNT, 0, 0);
    CheckDlgButton(m_hWnd, IDC_PREVIEW_HEX_TOGGLE, BST_UNCHECKED);
}

void Win32PreviewWindow::release()
{
    clear();
    showPreview();
}

void Win32PreviewWindow::close()
{
    clear();
    m_bOpen = false;
    if (m_hWnd)
        ShowWindow(m_hWnd, SW_HIDE);
}

bool Win32PreviewWindow::translate(const MSG& message)
{
    if (!m_bOpen || !m_hWnd || message.message != WM_KEYDOWN)
        return false;
    const bool isHere = message.hwnd == m_hWnd || IsChild(m_hWnd, message.hwnd);
    const bool isDialog = message.hwnd == m_hOwner || IsChild(m_hOwner, message.hwnd);
    // Escape closes the preview, and only it, wherever the focus is.
    if (message.wParam == VK_ESCAPE && (isHere || isDialog)) {
        close();
        return true;
    }
    if (!isHere)
        return false;
    if (!isStepKey(message.wParam))
        return message.wParam == VK_TAB && IsDialogMessageW(m_hWnd, const_cast<MSG*>(&message));
    // The list moves as if the key had been pressed there, and the window follows it.
    SendMessageW(m_hListBox, WM_KEYDOWN, message.wParam, message.lParam);
    return true;
}
