// Self-registration, through the DLL's exports and through the platform's
// regsvr32, read back from the registry of the test's Wine prefix.
#include "bv_config.h"
#include "shell/Guids.h"
#include "support/DllUnderTest.h"

#include <gtest/gtest.h>
#include <objbase.h>
#include <shlwapi.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

const std::wstring kClsid = kProviderClsidText.text;
const std::wstring kClassKey = L"CLSID\\" + kClsid;
const std::wstring kServerKey = kClassKey + L"\\InprocServer32";
const wchar_t* const kHandlerIids[] = {L"{E357FCCD-A995-4576-B01F-234630154E96}",
                                       L"{BB2E617C-0920-11d1-9A0B-00C04FC2D6C1}"};
const wchar_t* const kExtensions[] = {L".bvi", L".bb2"};

struct Value {
    bool found = false;
    DWORD type = 0;
    DWORD bytes = 0;
    std::wstring text;
};

Value Read(const std::wstring& key, const wchar_t* name) {
    Value v;
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return v;
    std::vector<wchar_t> data(1024, L'\0');
    v.bytes = static_cast<DWORD>(data.size() * sizeof(wchar_t) - sizeof(wchar_t));
    v.found = RegQueryValueExW(handle, name, nullptr, &v.type, reinterpret_cast<BYTE*>(data.data()),
                               &v.bytes) == ERROR_SUCCESS;
    v.text = data.data();
    RegCloseKey(handle);
    return v;
}

bool KeyExists(const std::wstring& key) {
    HKEY handle = nullptr;
    if (RegOpenKeyExW(HKEY_CLASSES_ROOT, key.c_str(), 0, KEY_READ, &handle) != ERROR_SUCCESS)
        return false;
    RegCloseKey(handle);
    return true;
}

std::wstring DllPath() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return std::wstring(path) + L"\\" BV_DLL_NAME ".dll";
}

// The seven values, each REG_SZ.
void ExpectRegistered(const std::wstring& dllPath) {
    struct Row {
        std::wstring key;
        const wchar_t* name;
        std::wstring data;
    };
    std::vector<Row> rows = {{kClassKey, nullptr, L"brbrivel2 Thumbnail ShellExtension"},
                             {kServerKey, nullptr, dllPath},
                             {kServerKey, L"ThreadingModel", L"Apartment"}};
    for (const wchar_t* extension : kExtensions)
        for (const wchar_t* iid : kHandlerIids)
            rows.push_back({std::wstring(extension) + L"\\shellex\\" + iid, nullptr, kClsid});
    for (const Row& row : rows) {
        SCOPED_TRACE(testing::Message() << "HKCR\\" << testing::PrintToString(row.key) << " "
                                        << (row.name ? "ThreadingModel" : "(default)"));
        Value v = Read(row.key, row.name);
        ASSERT_TRUE(v.found);
        EXPECT_EQ(v.type, static_cast<DWORD>(REG_SZ));
        EXPECT_EQ(_wcsicmp(v.text.c_str(), row.data.c_str()), 0) << testing::PrintToString(v.text);
        // The DLL passes the size without the terminating null; the platform
        // (Windows as well as Wine) then counts the null that follows in memory,
        // so exactly one terminator comes back.
        EXPECT_EQ(v.bytes, (row.data.size() + 1) * sizeof(wchar_t));
    }
}

void ExpectUnregistered() {
    EXPECT_FALSE(KeyExists(kClassKey));
    for (const wchar_t* extension : kExtensions) {
        EXPECT_TRUE(KeyExists(std::wstring(extension) + L"\\shellex")) << "extension keys stay";
        for (const wchar_t* iid : kHandlerIids)
            EXPECT_FALSE(KeyExists(std::wstring(extension) + L"\\shellex\\" + iid));
    }
}

DWORD RunRegsvr32(const std::wstring& arguments) {
    std::wstring command = L"regsvr32.exe /s " + arguments;
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process))
        return GetLastError() | 0x80000000u;
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 1;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
}

// The registry text is made at compile time from the identifier; the
// platform's own conversion must agree with it.
TEST(Registration, GuidTextMatchesThePlatformsSpelling) {
    for (const GUID* guid : {&kProviderClsid, &kIidThumbnailProvider, &kIidClassFactory}) {
        wchar_t platform[64] = L"";
        ASSERT_EQ(StringFromGUID2(*guid, platform, 64), 39);
        EXPECT_STREQ(ToGuidText(*guid).text, platform);
    }
}

TEST(Registration, ExportsWriteAndRemoveTheSevenValues) {
    dll_under_test::Dll dll;
    ASSERT_TRUE(dll.Load(DllPath().c_str()));
    const auto reg = dll.registerServer;
    const auto unreg = dll.unregisterServer;

    EXPECT_EQ(unreg(), S_OK) << "unregistering when nothing is registered";
    EXPECT_EQ(reg(), S_OK);
    EXPECT_EQ(reg(), S_OK) << "registering twice";
    ExpectRegistered(DllPath());

    // An unrelated value under the extension survives unregistration.
    HKEY other = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_CLASSES_ROOT, L".bvi\\shellex\\Unrelated", 0, nullptr, 0,
                              KEY_WRITE, nullptr, &other, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(other);
    EXPECT_EQ(unreg(), S_OK);
    ExpectUnregistered();
    EXPECT_TRUE(KeyExists(L".bvi\\shellex\\Unrelated"));
    SHDeleteKeyW(HKEY_CLASSES_ROOT, L".bvi\\shellex\\Unrelated");
    dll.Free();
}

TEST(Registration, Regsvr32RegistersAndUnregisters) {
    const std::wstring path = DllPath();
    ASSERT_EQ(RunRegsvr32(L"\"" + path + L"\""), 0u);
    ExpectRegistered(path);
    ASSERT_EQ(RunRegsvr32(L"/u \"" + path + L"\""), 0u);
    ExpectUnregistered();
}

} // namespace
