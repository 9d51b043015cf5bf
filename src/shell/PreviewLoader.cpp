#include "shell/PreviewLoader.h"

#include "bitmap/BVBitmap.h"
#include "inflate/BVInflate.h"
#include "shell/ThumbnailScaler.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr int kHeaderBytes = 24;
constexpr int kSkippedBytes = 16;
constexpr std::uint32_t kMinLevel = 13;

std::uint32_t U32(const unsigned char* p) {
    return p[0] | p[1] << 8 | p[2] << 16 | static_cast<std::uint32_t>(p[3]) << 24;
}
std::int32_t I32(const unsigned char* p) {
    return static_cast<std::int32_t>(U32(p));
}

// The 24-byte document header: magic, level, width, height, a word nobody
// reads, and a count that must be positive. Tested in this order.
bool HeaderAccepted(const unsigned char* h, int maxSide) {
    if (std::memcmp(h, "BVim", 4) != 0 && std::memcmp(h, "BVa2", 4) != 0)
        return false;
    const std::int32_t width = I32(h + 8), height = I32(h + 12);
    return U32(h + 4) >= kMinLevel && width >= 1 && height >= 1 && width <= maxSide &&
           height <= maxSide && I32(h + 20) >= 1;
}

} // namespace

BVBitmap* LoadPreview(BVFile* file, int maxSide) {
    BVInflate inflate; // destroying it closes and destroys the file
    if (inflate.Open(file) == 0)
        return nullptr;

    unsigned char header[kHeaderBytes];
    if (inflate.Read(header, 0, kHeaderBytes) != kHeaderBytes || !HeaderAccepted(header, maxSide))
        return nullptr;
    if (inflate.Read(nullptr, 0, kSkippedBytes) != kSkippedBytes)
        return nullptr;
    unsigned char size[8];
    if (inflate.Read(size, 0, 8) != 8)
        return nullptr;

    // GetThumbnail makes nothing of a preview outside 1..256 on a side, so
    // such a preview is refused here, before a hostile size can make us
    // allocate and expand gigabytes. The product below is then at most 2^18.
    const std::int32_t width = I32(size), height = I32(size + 4);
    if (width < 1 || height < 1 || width > kMaxPreviewSide || height > kMaxPreviewSide)
        return nullptr;

    std::unique_ptr<BVBitmap> bitmap(new (std::nothrow) BVBitmap(width, height));
    std::uint32_t* pixels = bitmap ? bitmap->Pixels() : nullptr;
    if (pixels == nullptr)
        return nullptr;
    // A short read, even one ending in an error, still gives a preview: the
    // pixels not delivered keep the zero fill. Only a read of nothing fails.
    if (inflate.Read(pixels, 0, width * height * 4) == 0)
        return nullptr;
    return bitmap.release();
}
