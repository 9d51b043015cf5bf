#include "bvthumb/RefusalReason.h"

#include "common/HandlerLimits.h"
#include "file/BVFile.h"
#include "inflate/BVInflate.h"
#include "shell/ThumbnailScaler.h"

#include <cstdint>
#include <cstring>

namespace {

// The document's head: the 24-byte header, 16 bytes nobody reads and the
// preview size.
constexpr int kHeaderBytes = 24;
constexpr int kHeadBytes = 48;
constexpr std::uint32_t kMinLevel = 13;

std::int32_t I32(const unsigned char* p) {
    return static_cast<std::int32_t>(p[0] | p[1] << 8 | p[2] << 16 |
                                     static_cast<std::uint32_t>(p[3]) << 24);
}

std::string Truncated(int got) {
    return got == 0 ? "the file is empty"
                    : "header truncated after " + std::to_string(got) + " bytes";
}

// The header's rules in the loader's order.
std::string HeaderReason(const unsigned char* h, int maxSide) {
    if (std::memcmp(h, "BVim", 4) != 0 && std::memcmp(h, "BVa2", 4) != 0)
        return "not a document: no 'BVim' or 'BVa2' header";
    const std::uint32_t level = static_cast<std::uint32_t>(I32(h + 4));
    if (level < kMinLevel)
        return "format level " + std::to_string(level) + "; the handlers read level " +
               std::to_string(kMinLevel) + " and later";
    const std::int32_t width = I32(h + 8), height = I32(h + 12);
    if (width < 1)
        return "the header declares a width of " + std::to_string(width) + " px";
    if (height < 1)
        return "the header declares a height of " + std::to_string(height) + " px";
    if (width > maxSide || height > maxSide)
        return SideLimitText(width > maxSide ? width : 0, width > maxSide ? 0 : height);
    if (I32(h + 20) < 1)
        return "the header declares " + std::to_string(I32(h + 20)) + " layers";
    return "";
}

} // namespace

std::string RefusalReason(BVFile* file, int maxSide) {
    if (file != nullptr && file->GetLength() == 0) {
        delete file;
        return "the file is empty";
    }
    BVInflate inflate; // destroying it closes and destroys the file
    if (inflate.Open(file) == 0)
        return "the file cannot be read";
    unsigned char head[kHeadBytes];
    int got = 0;
    for (int want : {kHeaderBytes, kHeadBytes - kHeaderBytes}) {
        const int n = inflate.Read(head, got, want);
        if (n < 0)
            return "the compressed data is damaged";
        got += n;
        if (n < want)
            return Truncated(got);
        if (got == kHeaderBytes) {
            std::string reason = HeaderReason(head, maxSide);
            if (!reason.empty())
                return reason;
        }
    }
    const std::int32_t width = I32(head + 40), height = I32(head + 44);
    if (width < 1 || height < 1 || width > kMaxPreviewSide || height > kMaxPreviewSide)
        return "the preview is " + std::to_string(width) + " x " + std::to_string(height) +
               " px; the handlers take previews of 1 to " + std::to_string(kMaxPreviewSide) +
               " px on a side";
    unsigned char pixel[4];
    if (inflate.Read(pixel, 0, 1) <= 0)
        return "the preview has no pixels: the document ends after its " +
               std::to_string(kHeadBytes) + "-byte head";
    return "";
}
