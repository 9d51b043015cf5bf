// bvdoc: writes a .bvi or .bb2 document from a PNG image.
//
//   bvdoc [--deflated | --stored | --plain] [--level N] INPUT.png OUTPUT.bvi|OUTPUT.bb2
//
// The document's head carries the image's size and a preview scaled to at
// most 256 pixels on its larger side (with the handler's own resampler), and
// is wrapped in a deflated container unless asked otherwise. The magic
// follows the extension: "BVa2" for .bb2, "BVim" otherwise.
#include "bitmap/BVBitmap.h"
#include "shell/ThumbnailScaler.h"

#include <png.h>
#include <zlib.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Form { Deflated, Stored, Plain };

struct Image {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB
};

bool ReadPng(const char* path, Image* image) {
    png_image png = {};
    png.version = PNG_IMAGE_VERSION;
    if (!png_image_begin_read_from_file(&png, path)) {
        std::fprintf(stderr, "bvdoc: %s: %s\n", path, png.message);
        return false;
    }
    png.format = PNG_FORMAT_BGRA; // memory order B, G, R, A: the pixel layout
    image->width = static_cast<int>(png.width);
    image->height = static_cast<int>(png.height);
    image->pixels.resize(static_cast<size_t>(png.width) * png.height);
    if (!png_image_finish_read(&png, nullptr, image->pixels.data(), 0, nullptr)) {
        std::fprintf(stderr, "bvdoc: %s: %s\n", path, png.message);
        return false;
    }
    return true;
}

void PutU32(Bytes& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(v >> (8 * i)));
}

// The preview: the image itself when it fits in 256 × 256, else scaled down.
Image MakePreview(const Image& image) {
    BVBitmap source(image.width, image.height);
    std::memcpy(source.Pixels(), image.pixels.data(), image.pixels.size() * 4);
    ThumbnailSize size{image.width, image.height};
    int longest = image.width > image.height ? image.width : image.height;
    if (longest > kMaxPreviewSide)
        ComputeThumbnailSize(kMaxPreviewSide, image.width, image.height, &size);
    Image preview{size.width, size.height, {}};
    preview.pixels.resize(static_cast<size_t>(size.width) * size.height);
    ScaleThumbnail(source, preview.pixels.data(), size.width, size.height);
    return preview;
}

Bytes DocumentHead(const Image& image, const Image& preview, bool bb2) {
    Bytes out;
    const char* magic = bb2 ? "BVa2" : "BVim";
    out.insert(out.end(), magic, magic + 4);
    PutU32(out, 13); // format level
    PutU32(out, static_cast<std::uint32_t>(image.width));
    PutU32(out, static_cast<std::uint32_t>(image.height));
    PutU32(out, 0);
    PutU32(out, 1); // one layer
    out.resize(out.size() + 16, 0);
    PutU32(out, static_cast<std::uint32_t>(preview.width));
    PutU32(out, static_cast<std::uint32_t>(preview.height));
    for (std::uint32_t p : preview.pixels)
        PutU32(out, p);
    return out;
}

bool RawDeflate(const Bytes& in, int level, Bytes* out) {
    z_stream z = {};
    if (deflateInit2(&z, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        return false;
    out->resize(deflateBound(&z, in.size()));
    z.next_in = const_cast<Bytef*>(in.data());
    z.avail_in = static_cast<uInt>(in.size());
    z.next_out = out->data();
    z.avail_out = static_cast<uInt>(out->size());
    int rc = deflate(&z, Z_FINISH);
    out->resize(z.total_out);
    deflateEnd(&z);
    return rc == Z_STREAM_END;
}

bool Wrap(const Bytes& head, Form form, int level, Bytes* out) {
    if (form == Form::Plain) {
        *out = head;
        return true;
    }
    const std::uint32_t crc = static_cast<std::uint32_t>(crc32(0, head.data(), head.size()));
    *out = {0x41, 0xFA, static_cast<std::uint8_t>(form == Form::Stored ? 2 : 0), 0};
    PutU32(*out, static_cast<std::uint32_t>(head.size()));
    PutU32(*out, form == Form::Stored ? crc : 0);
    if (form == Form::Stored) {
        out->insert(out->end(), head.begin(), head.end());
        return true;
    }
    PutU32(*out, crc);
    Bytes payload;
    if (!RawDeflate(head, level, &payload))
        return false;
    out->insert(out->end(), payload.begin(), payload.end());
    return true;
}

bool EndsWith(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

int Usage() {
    std::fprintf(stderr, "usage: bvdoc [--deflated | --stored | --plain] [--level N] INPUT.png "
                         "OUTPUT.bvi|OUTPUT.bb2\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    Form form = Form::Deflated;
    int level = 6;
    int i = 1;
    for (; i < argc && std::strncmp(argv[i], "--", 2) == 0; ++i) {
        std::string flag = argv[i];
        if (flag == "--deflated")
            form = Form::Deflated;
        else if (flag == "--stored")
            form = Form::Stored;
        else if (flag == "--plain")
            form = Form::Plain;
        else if (flag == "--level" && i + 1 < argc)
            level = std::atoi(argv[++i]);
        else
            return Usage();
    }
    if (argc - i != 2 || level < 0 || level > 9)
        return Usage();
    const std::string output = argv[i + 1];

    Image image;
    if (!ReadPng(argv[i], &image))
        return 1;
    const Image preview = MakePreview(image);
    Bytes document;
    if (!Wrap(DocumentHead(image, preview, EndsWith(output, ".bb2")), form, level, &document)) {
        std::fprintf(stderr, "bvdoc: compression failed\n");
        return 1;
    }
    FILE* f = std::fopen(output.c_str(), "wb");
    if (f == nullptr || std::fwrite(document.data(), 1, document.size(), f) != document.size() ||
        std::fclose(f) != 0) {
        std::fprintf(stderr, "bvdoc: cannot write %s\n", output.c_str());
        return 1;
    }
    std::printf("%s: %d x %d, preview %d x %d, %zu bytes\n", output.c_str(), image.width,
                image.height, preview.width, preview.height, document.size());
    return 0;
}
