#include "win32ui/EntryDropSource.h"

Microsoft::WRL::ComPtr<IDropSource> EntryDropSource::create()
{
    Microsoft::WRL::ComPtr<IDropSource> source;
    source.Attach(new EntryDropSource);
    return source;
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
