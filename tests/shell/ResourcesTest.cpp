// The DLL's version resource and embedded manifest, read back the way
// Windows tools read them.
#include "bv_config.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

namespace {

constexpr wchar_t kDll[] = L"" BV_DLL_NAME ".dll";
#ifdef _WIN64
constexpr wchar_t kTitle[] =
    L"Brivel2 \u30b5\u30e0\u30cd\u30a4\u30eb\u30b7\u30a7\u30eb\u62e1\u5f35 (x64)";
constexpr char kArch[] = "processorArchitecture=\"amd64\"";
#else
constexpr wchar_t kTitle[] =
    L"Brivel2 \u30b5\u30e0\u30cd\u30a4\u30eb\u30b7\u30a7\u30eb\u62e1\u5f35";
constexpr char kArch[] = "processorArchitecture=\"x86\"";
#endif

std::vector<BYTE> VersionInfo() {
    DWORD handle = 0;
    DWORD size = GetFileVersionInfoSizeW(kDll, &handle);
    std::vector<BYTE> data(size);
    if (size == 0 || !GetFileVersionInfoW(kDll, 0, size, data.data()))
        data.clear();
    return data;
}

std::wstring StringValue(std::vector<BYTE>& info, const wchar_t* name) {
    std::wstring path = std::wstring(L"\\StringFileInfo\\041104b0\\") + name;
    wchar_t* value = nullptr;
    UINT chars = 0;
    if (!VerQueryValueW(info.data(), path.c_str(), reinterpret_cast<void**>(&value), &chars))
        return L"<missing>";
    return value;
}

TEST(Resources, VersionIs2026_5_22_0) {
    std::vector<BYTE> info = VersionInfo();
    ASSERT_FALSE(info.empty()) << "no version resource, error " << GetLastError();
    VS_FIXEDFILEINFO* fixed = nullptr;
    UINT bytes = 0;
    ASSERT_TRUE(VerQueryValueW(info.data(), L"\\", reinterpret_cast<void**>(&fixed), &bytes));
    EXPECT_EQ(fixed->dwFileVersionMS, (2026u << 16) | 5u);
    EXPECT_EQ(fixed->dwFileVersionLS, 22u << 16);
    EXPECT_EQ(fixed->dwProductVersionMS, (2026u << 16) | 5u);
    EXPECT_EQ(fixed->dwProductVersionLS, 22u << 16);
}

TEST(Resources, JapaneseStringTableNamesTheProduct) {
    std::vector<BYTE> info = VersionInfo();
    ASSERT_FALSE(info.empty());
    EXPECT_EQ(StringValue(info, L"FileDescription"), kTitle);
    EXPECT_EQ(StringValue(info, L"ProductName"), kTitle);
    EXPECT_EQ(StringValue(info, L"FileVersion"), L"2026.5.22.0");
}

TEST(Resources, ManifestRequestsAsInvokerAndCommonControls6) {
    HMODULE dll = LoadLibraryExW(kDll, nullptr, LOAD_LIBRARY_AS_DATAFILE);
    ASSERT_NE(dll, nullptr);
    HRSRC resource = FindResourceW(dll, MAKEINTRESOURCEW(2), MAKEINTRESOURCEW(24));
    ASSERT_NE(resource, nullptr) << "no manifest with id 2";
    const char* text = static_cast<const char*>(LockResource(LoadResource(dll, resource)));
    std::string manifest(text, SizeofResource(dll, resource));
    EXPECT_NE(manifest.find("level=\"asInvoker\""), std::string::npos) << manifest;
    EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
              std::string::npos)
        << manifest;
    EXPECT_NE(manifest.find(kArch), std::string::npos) << manifest;
    FreeLibrary(dll);
}

} // namespace
