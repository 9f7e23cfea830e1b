#include "win32ui/FolderButton.h"

namespace {

constexpr DWORD kButtonId = 1;

bool isFolder(IShellItem* item)
{
    SFGAOF attributes = 0;
    return item && SUCCEEDED(item->GetAttributes(SFGAO_FOLDER | SFGAO_FILESYSTEM, &attributes)) &&
           (attributes & (SFGAO_FOLDER | SFGAO_FILESYSTEM)) == (SFGAO_FOLDER | SFGAO_FILESYSTEM);
}

} // namespace

Microsoft::WRL::ComPtr<FolderButton> FolderButton::add(IFileDialog* dialog,
                                                       const std::wstring& text)
{
    Microsoft::WRL::ComPtr<FolderButton> button;
    button.Attach(new FolderButton(dialog));
    Microsoft::WRL::ComPtr<IFileDialogCustomize> customize;
    // Without the button the dialog still takes archives.
    if (SUCCEEDED(dialog->QueryInterface(IID_PPV_ARGS(&customize))) &&
        SUCCEEDED(customize->AddPushButton(kButtonId, text.c_str())))
        button->m_bAdvised = SUCCEEDED(
            dialog->Advise(static_cast<IFileDialogEvents*>(button.Get()), &button->m_nCookie));
    return button;
}

void FolderButton::remove()
{
    if (m_bAdvised)
        m_pDialog->Unadvise(m_nCookie);
    m_bAdvised = false;
}

HRESULT FolderButton::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IFileDialogEvents)
        *object = static_cast<IFileDialogEvents*>(this);
    else if (iid == IID_IFileDialogControlEvents)
        *object = static_cast<IFileDialogControlEvents*>(this);
    else {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    AddRef();
    return S_OK;
}

ULONG FolderButton::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nRefs));
}

ULONG FolderButton::Release()
{
    const LONG count = InterlockedDecrement(&m_nRefs);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT FolderButton::OnButtonClicked(IFileDialogCustomize*, DWORD id)
{
    if (id != kButtonId)
        return S_OK;
    Microsoft::WRL::ComPtr<IShellItem> item;
    if (FAILED(m_pDialog->GetCurrentSelection(&item)) || !isFolder(item.Get())) {
        item.Reset();
        if (FAILED(m_pDialog->GetFolder(&item)) || !isFolder(item.Get()))
            return S_OK;
    }
    m_pChosen = item;
    m_pDialog->Close(HRESULT_FROM_WIN32(ERROR_CANCELLED));
    return S_OK;
}
