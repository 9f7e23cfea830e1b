#include "win32ui/EntryDropSource.h"

Microsoft::WRL::ComPtr<IDropSource> EntryDropSource::create()
{
    Microsoft::WRL::ComPtr<IDropSource> source;
    source.Attach(new EntryDropSource);
    return source;
}

HRESULT EntryDropSource::QueryInterface(REFIID iid, void** object)
{
    if (!object)
        return E_POINTER;
    if (iid != IID_IUnknown && iid != IID_IDropSource) {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    *object = static_cast<IDropSource*>(this);
    AddRef();
    return S_OK;
}

ULONG EntryDropSource::AddRef()
{
    return static_cast<ULONG>(InterlockedIncrement(&m_nRefs));
}

ULONG EntryDropSource::Release()
{
    const LONG count = InterlockedDecrement(&m_nRefs);
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

HRESULT EntryDropSource::QueryContinueDrag(BOOL isEscapePressed, DWORD keys)
{
    if (isEscapePressed || (keys & (MK_RBUTTON | MK_MBUTTON)))
        return DRAGDROP_S_CANCEL;
    return (keys & MK_LBUTTON) ? S_OK : DRAGDROP_S_DROP;
}

HRESULT EntryDropSource::GiveFeedback(DWORD)
{
    return DRAGDROP_S_USEDEFAULTCURSORS;
}
