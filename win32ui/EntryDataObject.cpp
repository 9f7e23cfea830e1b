#include "win32ui/EntryDataObject.h"

#include "archive/win32/Win32.h"

#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>

namespace {

const FORMATETC kFileDrop = {CF_HDROP, nullptr, DVASPECT_CONTENT, -1, TYMED_HGLOBAL};

} // namespace

Microsoft::WRL::ComPtr<IDataObject> EntryDataObject::create(const std::vector<std::string>& paths)
{
    std::wstring files;
    for (const std::string& path : paths) {
        std::wstring file = archive::win32::wide(path);
        // A drop target may read only the separator Windows itself writes.
        std::replace(file.begin(), file.end(), L'/', L'\\');
        files += file + L'\0';
    }
    files += L'\0';
    Microsoft::WRL::ComPtr<IDataObject> object;
    object.Attach(new EntryDataObject(std::move(files)));
    return object;
}

HRESULT EntryDataObject::GetData(FORMATETC* format, STGMEDIUM* medium)
{
    if (!medium)
        return E_POINTER;
    const HRESULT offered = QueryGetData(format);
    if (offered != S_OK)
        return offered;
    // The target owns the copy and frees it with ReleaseStgMedium.
    const std::size_t bytes = m_strFiles.size() * sizeof(wchar_t);
    HGLOBAL memory = GlobalAlloc(GHND, sizeof(DROPFILES) + bytes);
    if (!memory)
        return E_OUTOFMEMORY;
    auto* drop = static_cast<DROPFILES*>(GlobalLock(memory));
    drop->pFiles = sizeof(DROPFILES);
    drop->fWide = TRUE;
    std::copy_n(m_strFiles.data(), m_strFiles.size(), reinterpret_cast<wchar_t*>(drop + 1));
    GlobalUnlock(memory);
    *medium = {};
    medium->tymed = TYMED_HGLOBAL;
    medium->hGlobal = memory;
    return S_OK;
}

HRESULT EntryDataObject::GetDataHere(FORMATETC*, STGMEDIUM*)
{
    return E_NOTIMPL;
}

HRESULT EntryDataObject::QueryGetData(FORMATETC* format)
{
    if (!format)
        return E_POINTER;
    if (format->cfFormat != kFileDrop.cfFormat)
        return DV_E_FORMATETC;
    if (format->dwAspect != DVASPECT_CONTENT)
        return DV_E_DVASPECT;
    return (format->tymed & TYMED_HGLOBAL) ? S_OK : DV_E_TYMED;
}

HRESULT EntryDataObject::GetCanonicalFormatEtc(FORMATETC*, FORMATETC* out)
{
    if (!out)
        return E_POINTER;
    out->ptd = nullptr;
    return E_NOTIMPL;
}

HRESULT EntryDataObject::SetData(FORMATETC*, STGMEDIUM*, BOOL)
{
    // What a target reports back (the effect it performed) changes nothing here.
    return E_NOTIMPL;
}

HRESULT EntryDataObject::EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats)
{
    if (!formats)
        return E_POINTER;
    *formats = nullptr;
    if (direction != DATADIR_GET)
        return E_NOTIMPL;
    return SHCreateStdEnumFmtEtc(1, &kFileDrop, formats);
}

HRESULT EntryDataObject::DAdvise(FORMATETC*, DWORD, IAdviseSink*, DWORD*)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT EntryDataObject::DUnadvise(DWORD)
{
    return OLE_E_ADVISENOTSUPPORTED;
}

HRESULT EntryDataObject::EnumDAdvise(IEnumSTATDATA**)
{
    return OLE_E_ADVISENOTSUPPORTED;
}
