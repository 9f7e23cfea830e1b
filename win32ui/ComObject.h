#pragma once

#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>

// The reference count and QueryInterface of an object this program hands to OLE that offers one
// interface; the derived class implements the interface's own methods and is made with new, its
// count starting at 1 for the ComPtr that attaches it.
template <typename Interface, const IID& kInterfaceId> class ComObject : public Interface {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override
    {
        if (!object)
            return E_POINTER;
        if (iid != IID_IUnknown && iid != kInterfaceId) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        *object = static_cast<Interface*>(this);
        AddRef();
        return S_OK;
    }
    ULONG STDMETHODCALLTYPE AddRef() override
    {
        return static_cast<ULONG>(InterlockedIncrement(&m_nRefs));
    }
    ULONG STDMETHODCALLTYPE Release() override
    {
        const LONG count = InterlockedDecrement(&m_nRefs);
        if (count == 0)
            delete this;
        return static_cast<ULONG>(count);
    }

protected:
    ComObject() = default;
    virtual ~ComObject() = default;

private:
    LONG m_nRefs = 1;
};
