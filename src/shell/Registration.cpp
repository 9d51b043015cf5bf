// Self-registration: the class under CLSID and the thumbnail handler keys of
// both document extensions, all under HKEY_CLASSES_ROOT.
#include "shell/Module.h"

#include <shlwapi.h>

namespace {

constexpr wchar_t kClsidString[] = L"{6B1D2E40-7A35-4C8E-9F21-3D5A7C0B9E14}";
constexpr wchar_t kDisplayName[] = L"brbrivel2 Thumbnail ShellExtension";
constexpr const wchar_t* kExtensions[] = {L".bvi", L".bb2"};

// IThumbnailProvider, then the older IExtractImage (whose IID keeps "11d1").
constexpr const wchar_t* kHandlerKeyPatterns[] = {
    L"%s\\shellex\\{E357FCCD-A995-4576-B01F-234630154E96}",
    L"%s\\shellex\\{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}",
};

constexpr int kKeyChars = 260;

// Creates or opens the key and stores one REG_SZ value, sized without the
// terminating null. Only a key that cannot be created counts as a failure.
bool WriteValue(const wchar_t* keyName, const wchar_t* valueName, const wchar_t* data) {
    HKEY key = nullptr;
    if (RegCreateKeyExW(HKEY_CLASSES_ROOT, keyName, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return false;
    RegSetValueExW(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(data),
                   static_cast<DWORD>(lstrlenW(data) * sizeof(wchar_t)));
    RegCloseKey(key);
    return true;
}

} // namespace

STDAPI DllRegisterServer() {
    wchar_t classKey[kKeyChars], serverKey[kKeyChars], path[MAX_PATH] = L"";
    wsprintfW(classKey, L"CLSID\\%s", kClsidString);
    wsprintfW(serverKey, L"CLSID\\%s\\InprocServer32", kClsidString);

    if (!WriteValue(classKey, nullptr, kDisplayName))
        return E_FAIL;
    GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    if (!WriteValue(serverKey, nullptr, path) ||
        !WriteValue(serverKey, L"ThreadingModel", L"Apartment"))
        return E_FAIL;
    for (const wchar_t* extension : kExtensions) {
        for (const wchar_t* pattern : kHandlerKeyPatterns) {
            wchar_t handlerKey[kKeyChars];
            wsprintfW(handlerKey, pattern, extension);
            if (!WriteValue(handlerKey, nullptr, kClsidString))
                return E_FAIL;
        }
    }
    return S_OK;
}

// Removes the class and the two handler keys of each extension; the extension
// keys and their shellex keys stay. Never fails.
STDAPI DllUnregisterServer() {
    wchar_t key[kKeyChars];
    wsprintfW(key, L"CLSID\\%s", kClsidString);
    SHDeleteKeyW(HKEY_CLASSES_ROOT, key);
    for (const wchar_t* extension : kExtensions) {
        for (const wchar_t* pattern : kHandlerKeyPatterns) {
            wsprintfW(key, pattern, extension);
            SHDeleteKeyW(HKEY_CLASSES_ROOT, key);
        }
    }
    return S_OK;
}
