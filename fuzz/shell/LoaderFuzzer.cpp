// The loader and the scaler over arbitrary document bytes. The first two
// bytes choose the thumbnail edge (1..1024); the rest is the document.
#include "bitmap/BVBitmap.h"
#include "file/BVMemoryFile.h"
#include "shell/PreviewLoader.h"
#include "shell/ThumbnailScaler.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2)
        return 0;
    const int cx = 1 + ((data[0] | data[1] << 8) & 1023);
    std::unique_ptr<BVBitmap> preview(
        LoadPreview(BVMemoryFile::FromMemory(data + 2, static_cast<std::uint32_t>(size - 2))));
    if (!preview)
        return 0;
    ThumbnailSize out;
    const int w = preview->ArrayWidth(), h = preview->ArrayHeight();
    if (w < 1 || h < 1 || w > kMaxPreviewSide || h > kMaxPreviewSide)
        __builtin_trap(); // the loader refuses such previews
    if (ComputeThumbnailSize(cx, w, h, &out)) {
        std::vector<std::uint32_t> pixels(static_cast<std::size_t>(out.width) * out.height);
        ScaleThumbnail(*preview, pixels.data(), out.width, out.height);
    }
    return 0;
}
