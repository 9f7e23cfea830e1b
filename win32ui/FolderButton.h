#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <shobjidl.h>
#include <windows.h>
#include <wrl/client.h>

#include <string>

// A button of a common Open dialog that takes a folder, which Open alone cannot (on a folder it
// enters it): the folder selected, else the one shown. It closes the dialog, whose Show then
// fails as if cancelled; chosen() says what was taken.
class FolderButton : public IFileDialogEvents, public IFileDialogControlEvents {
public:
    // Adds the button titled text to dialog and listens to it until the returned object goes.
    static Microsoft::WRL::ComPtr<FolderButton> add(IFileDialog* dialog, const std::wstring& text);
    // Null until the button was pressed.
    IShellItem* chosen() const { return m_pChosen.Get(); }
    // Stops listening; the dialog would otherwise keep this alive.
    void remove();

    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE OnFileOk(IFileDialog*) override { return S_OK; }
    HRESULT STDMETHODCALLTYPE OnFolderChanging(IFileDialog*, IShellItem*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnFolderChange(IFileDialog*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnSelectionChange(IFileDialog*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnShareViolation(IFileDialog*, IShellItem*,
                                               FDE_SHAREVIOLATION_RESPONSE*) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnTypeChange(IFileDialog*) override { return E_NOTIMPL; }
    HRESULT STDMETHODCALLTYPE OnOverwrite(IFileDialog*, IShellItem*,
                                          FDE_OVERWRITE_RESPONSE*) override
    {
        return E_NOTIMPL;
    }

    HRESULT STDMETHODCALLTYPE OnItemSelected(IFileDialogCustomize*, DWORD, DWORD) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnButtonClicked(IFileDialogCustomize* customize, DWORD id) override;
    HRESULT STDMETHODCALLTYPE OnCheckButtonToggled(IFileDialogCustomize*, DWORD, BOOL) override
    {
        return E_NOTIMPL;
    }
    HRESULT STDMETHODCALLTYPE OnControlActivating(IFileDialogCustomize*, DWORD) override
    {
        return E_NOTIMPL;
    }

private:
    explicit FolderButton(IFileDialog* dialog) : m_pDialog(dialog) {}
    virtual ~FolderButton() = default;

    Microsoft::WRL::ComPtr<IFileDialog> m_pDialog;
    Microsoft::WRL::ComPtr<IShellItem> m_pChosen;
    DWORD m_nCookie = 0;
    bool m_bAdvised = false;
    LONG m_nRefs = 1;
};
