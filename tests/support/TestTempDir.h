// A fresh folder per test, removed with everything in it afterwards; the same
// in the native build and under Wine, so tests name their files through it.
#pragma once

#include <chrono>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

class TestTempDir {
  public:
    TestTempDir() {
        namespace fs = std::filesystem;
        fs::path base = fs::temp_directory_path();
        for (unsigned n = 0;; ++n) {
            fs::path candidate =
                base / ("bvtest-" + std::to_string(Seed()) + "-" + std::to_string(n));
            std::error_code error;
            if (fs::create_directory(candidate, error)) {
                root_ = candidate;
                return;
            }
        }
    }
    ~TestTempDir() {
        namespace fs = std::filesystem;
        std::error_code error;
        // Read-only files would stop the removal on Windows.
        for (auto& entry : fs::recursive_directory_iterator(root_, error))
            fs::permissions(entry.path(), fs::perms::owner_write, fs::perm_options::add, error);
        fs::remove_all(root_, error);
    }
    TestTempDir(const TestTempDir&) = delete;
    TestTempDir& operator=(const TestTempDir&) = delete;

    std::string Path(const std::string& name) const { return (root_ / name).string(); }
    // Joined by hand: the C locale of the native tests cannot convert a wide
    // name to a narrow one.
    std::wstring WidePath(const std::wstring& name) const {
        return root_.wstring() + wchar_t(std::filesystem::path::preferred_separator) + name;
    }

    void WriteBytes(const std::string& name, const std::vector<unsigned char>& bytes) const {
        std::ofstream out(root_ / name, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
    void WriteText(const std::string& name, const std::string& text) const {
        WriteBytes(name, std::vector<unsigned char>(text.begin(), text.end()));
    }
    std::vector<unsigned char> ReadBytes(const std::string& name) const {
        std::ifstream in(root_ / name, std::ios::binary);
        return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
    }
    std::string ReadText(const std::string& name) const {
        auto bytes = ReadBytes(name);
        return std::string(bytes.begin(), bytes.end());
    }
    void MakeReadOnly(const std::string& name) const {
        namespace fs = std::filesystem;
        fs::permissions(root_ / name,
                        fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                        fs::perm_options::remove);
    }
    void MakeFolder(const std::string& name) const {
        std::filesystem::create_directory(root_ / name);
    }

  private:
    static unsigned long Seed() {
        return static_cast<unsigned long>(
            std::chrono::steady_clock::now().time_since_epoch().count() & 0xFFFFFFF);
    }

    std::filesystem::path root_;
};
