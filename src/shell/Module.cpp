// DLL entry point and the lifetime exports.
#include "shell/Module.h"

#include "shell/Brivel2ClassFactory.h"
#include "shell/Guids.h"

namespace {
HINSTANCE g_module = nullptr;
LONG g_moduleCount = 0;
} // namespace

void ModuleAddRef() {
    InterlockedIncrement(&g_moduleCount);
}
void ModuleRelease() {
    InterlockedDecrement(&g_moduleCount);
}
HINSTANCE ModuleHandle() {
    return g_module;
}

extern "C" BOOL WINAPI DllMain(HINSTANCE instance, DWORD reason, LPVOID /*reserved*/) {
    // Nothing is done at detach: the log flushes from the runtime's exit list.
    if (reason == DLL_PROCESS_ATTACH) {
        g_module = instance;
        DisableThreadLibraryCalls(instance);
    }
    return TRUE;
}

STDAPI DllCanUnloadNow() {
    return g_moduleCount == 0 ? S_OK : S_FALSE;
}

STDAPI DllGetClassObject(REFCLSID clsid, REFIID iid, LPVOID* ppv) {
    *ppv = nullptr;
    if (!SameGuid(clsid, kProviderClsid))
        return CLASS_E_CLASSNOTAVAILABLE;
    if (!SameGuid(iid, kIidUnknown) && !SameGuid(iid, kIidClassFactory))
        return E_NOINTERFACE;
    IClassFactory* factory = &Brivel2ClassFactory::Instance();
    factory->AddRef();
    *ppv = factory;
    return S_OK;
}
