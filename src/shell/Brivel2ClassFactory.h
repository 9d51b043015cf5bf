// The module's one class factory. It is a static object with no data of its
// own: its references are counted in the module count, so AddRef and Release
// answer constants and the object is never destroyed.
#pragma once

#include <unknwn.h>
#include <windows.h>

class Brivel2ClassFactory final : public IClassFactory {
  public:
    static Brivel2ClassFactory& Instance();

    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;
    STDMETHODIMP CreateInstance(IUnknown* outer, REFIID iid, void** ppv) override;
    STDMETHODIMP LockServer(BOOL lock) override;

  private:
    Brivel2ClassFactory() = default;
};
