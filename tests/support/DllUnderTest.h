// The COM server DLL as a client process sees it: loaded from beside the test
// programs (or from a given path) and reached only through its four exports.
// Windows builds only.
#pragma once

#include "bv_config.h"

#include <windows.h>

namespace dll_under_test {

using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
using CanUnloadNowFn = HRESULT(STDAPICALLTYPE*)();
using ServerFn = HRESULT(STDAPICALLTYPE*)(); // DllRegisterServer, DllUnregisterServer

// GetProcAddress returns a generic function pointer; going through void* is
// the sanctioned way to give it its real type.
template <typename Fn> Fn Export(HMODULE dll, const char* name) {
    return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(dll, name)));
}

struct Dll {
    HMODULE module = nullptr;
    GetClassObjectFn getClassObject = nullptr;
    CanUnloadNowFn canUnloadNow = nullptr;
    ServerFn registerServer = nullptr;
    ServerFn unregisterServer = nullptr;

    // Loads the DLL by its name (path null) or from path and looks up the
    // exports; false when the DLL or any of them is missing.
    bool Load(const wchar_t* path = nullptr) {
        module = path != nullptr ? LoadLibraryW(path) : LoadLibraryA(BV_DLL_NAME ".dll");
        if (module == nullptr)
            return false;
        getClassObject = Export<GetClassObjectFn>(module, "DllGetClassObject");
        canUnloadNow = Export<CanUnloadNowFn>(module, "DllCanUnloadNow");
        registerServer = Export<ServerFn>(module, "DllRegisterServer");
        unregisterServer = Export<ServerFn>(module, "DllUnregisterServer");
        return getClassObject && canUnloadNow && registerServer && unregisterServer;
    }

    void Free() {
        if (module != nullptr)
            FreeLibrary(module);
        *this = Dll();
    }
};

} // namespace dll_under_test
