#pragma once

#include <string>
#include <vector>

#include "win32ui/ComObject.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <objidl.h>
#include <windows.h>
#include <wrl/client.h>

// What a drag of entries out of the list carries: the files they were extracted into, as
// CF_HDROP and nothing else. The files exist before the drag starts, so a drop target asking
// for them reads nothing from the archive, which may be listed anew while the drag runs.
class EntryDataObject : public ComObject<IDataObject, IID_IDataObject> {
public:
    // paths: UTF-8, with either separator.
    static Microsoft::WRL::ComPtr<IDataObject> create(const std::vector<std::string>& paths);

    HRESULT STDMETHODCALLTYPE GetData(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE GetDataHere(FORMATETC* format, STGMEDIUM* medium) override;
    HRESULT STDMETHODCALLTYPE QueryGetData(FORMATETC* format) override;
    HRESULT STDMETHODCALLTYPE GetCanonicalFormatEtc(FORMATETC* format, FORMATETC* out) override;
    HRESULT STDMETHODCALLTYPE SetData(FORMATETC* format, STGMEDIUM* medium, BOOL release) override;
    HRESULT STDMETHODCALLTYPE EnumFormatEtc(DWORD direction, IEnumFORMATETC** formats) override;
    HRESULT STDMETHODCALLTYPE DAdvise(FORMATETC* format, DWORD flags, IAdviseSink* sink,
                                      DWORD* connection) override;
    HRESULT STDMETHODCALLTYPE DUnadvise(DWORD connection) override;
    HRESULT STDMETHODCALLTYPE EnumDAdvise(IEnumSTATDATA** advises) override;

private:
    explicit EntryDataObject(std::wstring files) : m_strFiles(std::move(files)) {}
    ~EntryDataObject() override = default;

    // Each path ended by a null, and one more after the last, as DROPFILES holds them.
    std::wstring m_strFiles;
};
