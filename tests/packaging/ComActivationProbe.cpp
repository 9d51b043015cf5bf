// Activates the thumbnail class the way the Shell does, through the registry
// alone, and reports which DLL answered. The installer test runs it after
// installing, so the class can only come from the installed registration.
//
// Prints "module: <full path of the handler DLL>" and exits 0 when the object
// answers IThumbnailProvider and IInitializeWithStream; otherwise prints what
// failed and exits 1.
#include <windows.h>

#include <propsys.h>
#include <thumbcache.h>

#include <cstdio>

namespace {

// Spelled out as text, as the registry holds it, rather than taken from the
// handler's own headers.
constexpr wchar_t kClassId[] = L"{6B1D2E40-7A35-4C8E-9F21-3D5A7C0B9E14}";

int Fail(const char* what, HRESULT hr) {
    std::printf("%s failed: 0x%08lx\n", what, static_cast<unsigned long>(hr));
    return 1;
}

// The full path of the loaded module whose image holds the address.
bool ModulePathOf(const void* address, wchar_t* path, DWORD chars) {
    HMODULE module = nullptr;
    if (!GetModuleHandleExW(GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS |
                                GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
                            static_cast<LPCWSTR>(address), &module))
        return false;
    return GetModuleFileNameW(module, path, chars) != 0;
}

int Probe() {
    CLSID clsid;
    HRESULT hr = CLSIDFromString(kClassId, &clsid);
    if (FAILED(hr))
        return Fail("CLSIDFromString", hr);

    IThumbnailProvider* provider = nullptr;
    hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, __uuidof(IThumbnailProvider),
                          reinterpret_cast<void**>(&provider));
    if (FAILED(hr) || provider == nullptr)
        return Fail("CoCreateInstance(IThumbnailProvider)", hr);

    IInitializeWithStream* init = nullptr;
    hr = provider->QueryInterface(__uuidof(IInitializeWithStream), reinterpret_cast<void**>(&init));
    if (FAILED(hr) || init == nullptr) {
        provider->Release();
        return Fail("QueryInterface(IInitializeWithStream)", hr);
    }

    // The first pointer-sized word of a COM object is its vtable, which lives
    // in the DLL that implements the class.
    wchar_t path[MAX_PATH];
    const bool found = ModulePathOf(*reinterpret_cast<void**>(provider), path, MAX_PATH);
    init->Release();
    provider->Release();
    if (!found)
        return Fail("GetModuleHandleExW", HRESULT_FROM_WIN32(GetLastError()));
    std::printf("module: %ls\n", path);
    return 0;
}

} // namespace

int main() {
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return Fail("CoInitializeEx", hr);
    const int result = Probe();
    CoUninitialize();
    return result;
}
