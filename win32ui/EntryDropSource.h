#pragma once

#include "win32ui/ComObject.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <oleidl.h>
#include <windows.h>
#include <wrl/client.h>

// The list's side of a drag out: it ends with the left button's release and is cancelled by
// Escape or another button; the system's cursors show what a drop would do.
class EntryDropSource : public ComObject<IDropSource, IID_IDropSource> {
public:
    static Microsoft::WRL::ComPtr<IDropSource> create();

    HRESULT STDMETHODCALLTYPE QueryContinueDrag(BOOL isEscapePressed, DWORD keys) override;
    HRESULT STDMETHODCALLTYPE GiveFeedback(DWORD effect) override;

private:
    EntryDropSource() = default;
    ~EntryDropSource() override = default;
};
