#include "win32ui/Win32Questions.h"

#include "archive/win32/Win32.h"
#include "res/CompareTexts.h"
#include "res/Messages.h"
#include "res/Resource.h"
#include "win32ui/FolderButton.h"
#include "win32ui/ResourceIds.h"

#include <shobjidl.h>

#include <algorithm>

namespace {

using archive::win32::utf8;
using archive::win32::wide;

std::wstring hostPath(const std::string& path)
{
    std::wstring text = wide(path);
    std::replace(text.begin(), text.end(), L'/', L'\\');
    return text;
}

// Releases a COM interface when it goes.
template <class T> struct Com {
    T* p = nullptr;
    ~Com()
    {
        if (p)
            p->Release();
    }
    T* operator->() const { return p; }
};

std::string pathOf(IShellItem* item)
{
    PWSTR name = nullptr;
    if (FAILED(item->GetDisplayName(SIGDN_FILESYSPATH, &name)))
        return {};
    // As Windows writes it, so messages naming it read as the user chose it.
    std::string path = utf8(name);
    CoTaskMemFree(name);
    return path;
}

struct TextPrompt {
    std::wstring caption, label, text;
};

INT_PTR CALLBACK askTextProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        SetWindowLongPtrW(dialog, DWLP_USER, lParam);
        const auto* prompt = reinterpret_cast<const TextPrompt*>(lParam);
        SetWindowTextW(dialog, prompt->caption.c_str());
        SetDlgItemTextW(dialog, IDC_ASK_LABEL, prompt->label.c_str());
        SetDlgItemTextW(dialog, IDC_ASK_EDIT, prompt->text.c_str());
        SetDlgItemTextW(dialog, IDOK, wide(res::kOk).c_str());
        SetDlgItemTextW(dialog, IDCANCEL, wide(res::kCancel).c_str());
        return TRUE;
    }
    if (message == WM_COMMAND && (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL)) {
        if (LOWORD(wParam) == IDOK) {
            auto* prompt = reinterpret_cast<TextPrompt*>(GetWindowLongPtrW(dialog, DWLP_USER));
            HWND edit = GetDlgItem(dialog, IDC_ASK_EDIT);
            prompt->text.assign(static_cast<std::size_t>(GetWindowTextLengthW(edit)) + 1, L'\0');
            prompt->text.resize(static_cast<std::size_t>(
                GetWindowTextW(edit, prompt->text.data(), static_cast<int>(prompt->text.size()))));
        }
        EndDialog(dialog, LOWORD(wParam));
        return TRUE;
    }
    return FALSE;
}

INT_PTR CALLBACK failureProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        const auto* prompt = reinterpret_cast<const TextPrompt*>(lParam);
        SetWindowTextW(dialog, prompt->caption.c_str());
        SetDlgItemTextW(dialog, IDC_FAILURE_TEXT, prompt->text.c_str());
        SetDlgItemTextW(dialog, IDC_FAILURE_SKIP, wide(res::kSkip).c_str());
        SetDlgItemTextW(dialog, IDC_FAILURE_SKIP_ALL, wide(res::kSkipAll).c_str());
        SetDlgItemTextW(dialog, IDC_FAILURE_STOP, wide(res::kStop).c_str());
        return TRUE;
    }
    if (message == WM_COMMAND) {
        const int id = LOWORD(wParam);
        // Closing the window (Escape, the title bar) stops, as the question says.
        if (id == IDC_FAILURE_SKIP || id == IDC_FAILURE_SKIP_ALL || id == IDC_FAILURE_STOP ||
            id == IDCANCEL) {
            EndDialog(dialog, id == IDCANCEL ? IDC_FAILURE_STOP : id);
            return TRUE;
        }
    }
    return FALSE;
}

} // namespace

std::vector<std::string> Win32Questions::choose(const Choice& choice)
{
    Com<IFileDialog> dialog;
    if (FAILED(CoCreateInstance(choice.isSave ? CLSID_FileSaveDialog : CLSID_FileOpenDialog,
                                nullptr, CLSCTX_INPROC_SERVER, IID_PPV_ARGS(&dialog.p))))
        return {};
    DWORD options = 0;
    dialog->GetOptions(&options);
    dialog->SetOptions(options | choice.options | FOS_FORCEFILESYSTEM);
    if (!choice.title.empty())
        dialog->SetTitle(wide(choice.title).c_str());
    const std::wstring archives = wide(res::kOpenFilter), all = wide(res::kAllFilesFilter);
    const COMDLG_FILTERSPEC filters[] = {{archives.c_str(), L"game??.dat"}, {all.c_str(), L"*.*"}};
    if (choice.isArchive)
        dialog->SetFileTypes(2, filters);
    if (choice.isSave) {
        dialog->SetDefaultExtension(wide(res::kDefaultSuffix).c_str());
        dialog->SetFileName(wide(res::kDefaultFileName).c_str());
    }
    Com<IShellItem> start;
    if (!choice.startFolder.empty() &&
        SUCCEEDED(SHCreateItemFromParsingName(hostPath(choice.startFolder).c_str(), nullptr,
                                              IID_PPV_ARGS(&start.p))))
        dialog->SetFolder(start.p);
    Microsoft::WRL::ComPtr<FolderButton> folderButton;
    if (choice.isFolderToo)
        folderButton = FolderButton::add(dialog.p, wide(res::compare::kChooseFolderButton));
    const HRESULT shown = dialog->Show(m_hOwner);
    if (folderButton) {
        folderButton->remove();
        if (folderButton->chosen())
            return {pathOf(folderButton->chosen())};
    }
    return SUCCEEDED(shown) ? resultsOf(dialog.p, choice.isSave) : std::vector<std::string>();
}

std::vector<std::string> Win32Questions::resultsOf(IFileDialog* dialog, bool isSave)
{
    std::vector<std::string> paths;
    Com<IFileOpenDialog> opener;
    Com<IShellItemArray> items;
    if (!isSave && SUCCEEDED(dialog->QueryInterface(IID_PPV_ARGS(&opener.p))) &&
        SUCCEEDED(opener->GetResults(&items.p))) {
        DWORD count = 0;
        items->GetCount(&count);
        for (DWORD i = 0; i < count; ++i) {
            Com<IShellItem> item;
            if (SUCCEEDED(items->GetItemAt(i, &item.p)))
                paths.push_back(pathOf(item.p));
        }
    } else if (Com<IShellItem> item; SUCCEEDED(dialog->GetResult(&item.p))) {
        paths.push_back(pathOf(item.p));
    }
    std::erase(paths, std::string());
    return paths;
}

std::optional<std::string> Win32Questions::first(const std::vector<std::string>& paths)
{
    if (paths.empty())
        return std::nullopt;
    return paths.front();
}

std::optional<std::string> Win32Questions::openArchivePath(const std::string& startFolder)
{
    return first(choose({false, FOS_FILEMUSTEXIST, {}, startFolder, true}));
}

std::optional<std::string> Win32Questions::saveArchivePath(const std::string& startFolder)
{
    return first(choose({true, FOS_OVERWRITEPROMPT, {}, startFolder, true}));
}

std::optional<std::string> Win32Questions::chooseFolder(const std::string& title,
                                                        const std::string& startFolder)
{
    return first(choose({false, FOS_PICKFOLDERS | FOS_PATHMUSTEXIST, title, startFolder, false}));
}

std::optional<std::vector<std::string>> Win32Questions::chooseFiles(const std::string& title,
                                                                    const std::string& startFolder)
{
    std::vector<std::string> paths =
        choose({false, FOS_ALLOWMULTISELECT | FOS_FILEMUSTEXIST, title, startFolder, false});
    if (paths.empty())
        return std::nullopt;
    return paths;
}

std::optional<std::string> Win32Questions::chooseFile(const std::string& title,
                                                      const std::string& startFolder)
{
    return first(choose({false, FOS_FILEMUSTEXIST, title, startFolder, false}));
}

std::optional<std::string> Win32Questions::chooseArchiveOrFolder(const std::string& title,
                                                                 const std::string& startFolder)
{
    return first(choose({false, FOS_FILEMUSTEXIST, title, startFolder, true, true}));
}

std::optional<std::string> Win32Questions::askText(const std::string& caption,
                                                   const std::string& label,
                                                   const std::string& initial)
{
    TextPrompt prompt{wide(caption), wide(label), wide(initial)};
    if (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_ASK_TEXT), m_hOwner,
                        askTextProc, reinterpret_cast<LPARAM>(&prompt)) != IDOK)
        return std::nullopt;
    return utf8(prompt.text);
}

void Win32Questions::showMessage(const std::string& caption, const std::string& text,
                                 MessageIcon icon)
{
    MessageBoxW(m_hOwner, wide(text).c_str(), wide(caption).c_str(),
                MB_OK | (icon == MessageIcon::Error ? MB_ICONERROR : MB_ICONINFORMATION));
}

bool Win32Questions::askYesNo(const std::string& caption, const std::string& text)
{
    return MessageBoxW(m_hOwner, wide(text).c_str(), wide(caption).c_str(),
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
}

Win32Questions::FailureAnswer Win32Questions::askAfterFailure(const std::string& caption,
                                                              const std::string& text)
{
    TextPrompt prompt{wide(caption), {}, wide(text)};
    switch (DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDD_FAILURE), m_hOwner,
                            failureProc, reinterpret_cast<LPARAM>(&prompt))) {
    case IDC_FAILURE_SKIP:
        return FailureAnswer::Skip;
    case IDC_FAILURE_SKIP_ALL:
        return FailureAnswer::SkipAll;
    default:
        return FailureAnswer::Stop;
    }
}
