#include "DocumentThumbnail.h"

#include "bitmap/BVBitmap.h"
#include "file/BVWin32File.h"
#include "shell/PreviewLoader.h"
#include "shell/ThumbnailScaler.h"

#include <png.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <memory>
#include <sys/stat.h>
#include <unistd.h>

bool MakeDocumentThumbnail(const std::string& path, int size, ThumbnailImage* out,
                           std::string* reason) {
    // The file classes report no cause, so ask the system for a readable one
    // first; a folder opens as a file but reads as nothing.
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || ::access(path.c_str(), R_OK) != 0) {
        *reason = path + ": " + std::strerror(errno);
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        *reason = path + ": not a regular file";
        return false;
    }
    BVWin32File* file = BVWin32File::Create(path.c_str(), 0);
    if (file == nullptr) {
        *reason = path + ": cannot open";
        return false;
    }
    std::unique_ptr<BVBitmap> preview(LoadPreview(file, kThumbnailerMaxDocumentSide));
    if (!preview) {
        *reason = path + ": not a .bvi/.bb2 document with a preview image";
        return false;
    }
    const int w = preview->ArrayWidth(), h = preview->ArrayHeight();
    const int edge = std::min(size, std::max(w, h));
    ThumbnailSize dst;
    if (!ComputeThumbnailSize(edge, w, h, &dst)) {
        *reason = path + ": preview of unusable size";
        return false;
    }
    out->width = dst.width;
    out->height = dst.height;
    out->pixels.assign(static_cast<size_t>(dst.width) * dst.height, 0);
    ScaleThumbnail(*preview, out->pixels.data(), dst.width, dst.height);
    return true;
}

bool WriteThumbnailPng(const std::string& path, const ThumbnailImage& image, std::string* reason) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) {
        *reason = path + ": " + std::strerror(errno);
        return false;
    }
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    png.width = static_cast<png_uint_32>(image.width);
    png.height = static_cast<png_uint_32>(image.height);
    png.format = PNG_FORMAT_BGRA; // the pixels' memory order B, G, R, A
    bool ok = png_image_write_to_stdio(&png, f, 0, image.pixels.data(), 0, nullptr) != 0;
    if (!ok)
        *reason = path + ": " + png.message;
    else if (std::fflush(f) != 0) {
        *reason = path + ": " + std::strerror(errno);
        ok = false;
    }
    // Half a PNG must not pass for a thumbnail.
    if (!ok && ::ftruncate(fileno(f), 0) != 0)
        *reason += " (and the partial image could not be removed)";
    if (std::fclose(f) != 0 && ok) {
        *reason = path + ": " + std::strerror(errno);
        EmptyExistingFile(path);
        ok = false;
    }
    return ok;
}

void EmptyExistingFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC | O_NOCTTY);
    if (fd >= 0)
        ::close(fd);
}
