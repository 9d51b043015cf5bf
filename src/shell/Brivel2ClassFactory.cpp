#include "shell/Brivel2ClassFactory.h"

#include "shell/Brivel2ThumbnailProvider.h"
#include "shell/Guids.h"
#include "shell/Module.h"

#include <new>

Brivel2ClassFactory& Brivel2ClassFactory::Instance() {
    static Brivel2ClassFactory factory;
    return factory;
}

STDMETHODIMP Brivel2ClassFactory::QueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (!SameGuid(iid, kIidUnknown) && !SameGuid(iid, kIidClassFactory))
        return E_NOINTERFACE;
    *ppv = static_cast<IClassFactory*>(this);
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Brivel2ClassFactory::AddRef() {
    ModuleAddRef();
    return 2;
}

STDMETHODIMP_(ULONG) Brivel2ClassFactory::Release() {
    ModuleRelease();
    return 1;
}

STDMETHODIMP Brivel2ClassFactory::CreateInstance(IUnknown* outer, REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (outer != nullptr)
        return CLASS_E_NOAGGREGATION;
    auto* provider = new (std::nothrow) Brivel2ThumbnailProvider();
    if (provider == nullptr)
        return E_OUTOFMEMORY;
    // The query takes the caller's reference; releasing ours then either
    // leaves that one or, when the query failed, destroys the provider at once.
    HRESULT hr = provider->QueryInterface(iid, ppv);
    provider->Release();
    return hr;
}

STDMETHODIMP Brivel2ClassFactory::LockServer(BOOL lock) {
    if (lock)
        ModuleAddRef();
    else
        ModuleRelease();
    return S_OK;
}
