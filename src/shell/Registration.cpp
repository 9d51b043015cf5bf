// Self-registration: the class under CLSID and the thumbnail handler keys of
// both document extensions, all under HKEY_CLASSES_ROOT, as one table that
// registration writes and unregistration deletes.
#include "shell/Guids.h"
#include "shell/Module.h"

#include <shlwapi.h>

namespace {

constexpr const wchar_t* kClsid = kProviderClsidText.text;
constexpr GuidText kThumbnailProvider = ToGuidText(kIidThumbnailProvider);
// The older IExtractImage; its key keeps the lower-case "11d1" it has always had.
constexpr wchar_t kExtractImage[] = L"{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}";

struct Row {
    const wchar_t* keyPattern; // for wsprintfW, with up to two %s
    const wchar_t* keyArgs[2];
    const wchar_t* valueName; // null: the key's default value
    const wchar_t* data;      // null: this module's path
    bool removed;             // unregistration deletes this key and everything below it
};

// Written in this order; InprocServer32 is opened once for each of its values.
constexpr Row kRows[] = {
    {L"CLSID\\%s", {kClsid}, nullptr, L"brbrivel2 Thumbnail ShellExtension", true},
    {L"CLSID\\%s\\InprocServer32", {kClsid}, nullptr, nullptr, false},
    {L"CLSID\\%s\\InprocServer32", {kClsid}, L"ThreadingModel", L"Apartment", false},
    {L"%s\\shellex\\%s", {L".bvi", kThumbnailProvider.text}, nullptr, kClsid, true},
    {L"%s\\shellex\\%s", {L".bvi", kExtractImage}, nullptr, kClsid, true},
    {L"%s\\shellex\\%s", {L".bb2", kThumbnailProvider.text}, nullptr, kClsid, true},
    {L"%s\\shellex\\%s", {L".bb2", kExtractImage}, nullptr, kClsid, true},
};

constexpr int kKeyChars = 260;

void KeyName(const Row& row, wchar_t (&key)[kKeyChars]) {
    wsprintfW(key, row.keyPattern, row.keyArgs[0], row.keyArgs[1]);
}

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

// Stops with E_FAIL at the first key that cannot be created; the values
// written before it stay.
STDAPI DllRegisterServer() {
    wchar_t path[MAX_PATH] = L"";
    GetModuleFileNameW(ModuleHandle(), path, MAX_PATH);
    for (const Row& row : kRows) {
        wchar_t key[kKeyChars];
        KeyName(row, key);
        if (!WriteValue(key, row.valueName, row.data != nullptr ? row.data : path))
            return E_FAIL;
    }
    return S_OK;
}

// Removes the class and the two handler keys of each extension; the extension
// keys and their shellex keys stay. Never fails.
STDAPI DllUnregisterServer() {
    for (const Row& row : kRows) {
        if (!row.removed)
            continue;
        wchar_t key[kKeyChars];
        KeyName(row, key);
        SHDeleteKeyW(HKEY_CLASSES_ROOT, key);
    }
    return S_OK;
}
