#include "support/BVLogCapture.h"

#include "diag/BVLog.h"

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string FreshLogPath() {
    static std::atomic<unsigned> serial{0};
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const std::string name =
        "bvlog-" + std::to_string(stamp) + "-" + std::to_string(serial++) + ".txt";
    return (std::filesystem::temp_directory_path() / name).string();
}

} // namespace

BVLogCapture::BVLogCapture() : path(FreshLogPath()) {
    BVLogSettings settings;
    settings.path = path.c_str();
    BVLog::EnableForTest(settings);
}

BVLogCapture::~BVLogCapture() {
    BVLog::DisableForTest();
    Clear();
}

std::string BVLogCapture::Bytes() const {
    BVLog::Flush();
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void BVLogCapture::Clear() {
    std::error_code error;
    std::filesystem::remove(path, error);
}
