// bvdoc: writes a .bvi or .bb2 document from a PNG image.
//
//   bvdoc [OPTIONS] INPUT.png OUTPUT.bvi|OUTPUT.bb2     (bvdoc --help lists them)
//
// The document's head carries the image's size and a preview scaled to at
// most 256 pixels on its larger side (with the handler's own resampler), and
// is wrapped in a deflated container unless asked otherwise. The magic
// follows the extension: "BVa2" for .bb2, "BVim" otherwise. An image larger
// than the handlers accept is refused unless --allow-large is given.
#include "bitmap/BVBitmap.h"
#include "common/HandlerLimits.h"
#include "shell/ThumbnailScaler.h"
#include "support/ContainerWriter.h"

#include <png.h>
#include <zlib.h>

#include <cerrno>
#include <csetjmp>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Form { Deflated, Stored, Plain };

struct Options {
    Form form = Form::Deflated;
    int level = 6;
    bool allowLarge = false;
    std::string input, output;
};

// The whole image must fit one BVBitmap, whose byte count is a positive
// 32-bit number; this many pixels is 1 GiB.
constexpr long long kMaxPixels = 1LL << 28;

void Error(const char* format, const std::string& a, const std::string& b = "") {
    std::fprintf(stderr, "bvdoc: ");
    std::fprintf(stderr, format, a.c_str(), b.c_str());
    std::fprintf(stderr, "\n");
}

bool ReadFile(const std::string& path, Bytes* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        Error("cannot read %s: %s", path, std::strerror(errno));
        return false;
    }
    std::uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0)
        out->insert(out->end(), buffer, buffer + n);
    const bool failed = std::ferror(f) != 0;
    const int error = errno;
    std::fclose(f);
    if (failed)
        Error("cannot read %s: %s", path, std::strerror(error));
    return !failed;
}

// libpng reports through these: the message is kept for the caller, which
// names the file; reading past the end of the bytes says how many there were.
struct PngSource {
    const Bytes* bytes;
    size_t offset = 0;
    char message[200] = "";
};

[[noreturn]] void PngFail(png_structp png, png_const_charp message) {
    auto* source = static_cast<PngSource*>(png_get_error_ptr(png));
    std::snprintf(source->message, sizeof source->message, "%s", message);
    png_longjmp(png, 1);
}

void PngWarn(png_structp, png_const_charp) {}

std::uint32_t BigEndian32(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
}

void PngRead(png_structp png, png_bytep out, png_size_t count) {
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (source->bytes->size() - source->offset < count) {
        char message[80];
        std::snprintf(message, sizeof message, "the PNG data is truncated after %zu bytes",
                      source->bytes->size());
        png_error(png, message);
    }
    std::memcpy(out, source->bytes->data() + source->offset, count);
    source->offset += count;
}

// Runs libpng calls; false when libpng reported an error. The calls run in a
// lambda so that libpng's longjmp skips no destructor and leaves no local of
// this frame modified.
template <typename Calls> bool PngSteps(png_structp png, Calls&& calls) {
    if (setjmp(png_jmpbuf(png)) != 0)
        return false;
    calls();
    return true;
}

// Asks libpng for 8-bit B, G, R, A rows whatever the file holds: palettes and
// small grey depths expanded, transparency made alpha, 16-bit samples scaled.
// Gamma: output in sRGB; a file without gAMA or sRGB chunk is taken as sRGB
// already (as PNG viewers do), so only a file that declares another gamma is
// converted.
void SetConversions(png_structp png, png_infop info) {
    png_set_expand(png);
    png_set_scale_16(png);
    png_set_gray_to_rgb(png);
    png_set_bgr(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_alpha_mode(png, PNG_ALPHA_PNG, PNG_DEFAULT_sRGB);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
}

struct PngReader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~PngReader() { png_destroy_read_struct(&png, &info, nullptr); }
};

// Reads the image into a new bitmap. Sizes are checked against the handlers'
// limits before the pixels are allocated.
std::unique_ptr<BVBitmap> ReadPng(const Options& o) {
    Bytes bytes;
    if (!ReadFile(o.input, &bytes))
        return nullptr;
    if (bytes.empty() || png_sig_cmp(bytes.data(), 0, bytes.size() < 8 ? bytes.size() : 8) != 0) {
        Error("%s: not a PNG image%s", o.input, bytes.empty() ? " (the file is empty)" : "");
        return nullptr;
    }
    // The size is judged from the first chunk, IHDR, so that a huge image is
    // refused whatever follows it. An IHDR that is damaged is left to libpng
    // to report.
    const bool ihdr = bytes.size() >= 33 && std::memcmp(&bytes[12], "IHDR", 4) == 0 &&
                      crc32(0, &bytes[12], 17) == BigEndian32(&bytes[29]);
    const long long width = ihdr ? BigEndian32(&bytes[16]) : 0;
    const long long height = ihdr ? BigEndian32(&bytes[20]) : 0;
    const std::string limits = SideLimitText(width, height);
    if (!limits.empty() && !o.allowLarge) {
        Error("%s: %s; --allow-large writes it anyway", o.input, limits);
        return nullptr;
    }
    if (width * height > kMaxPixels) {
        Error("%s: %s pixels are more than bvdoc converts (at most 268435456)", o.input,
              std::to_string(width) + " x " + std::to_string(height));
        return nullptr;
    }

    PngSource source{&bytes};
    PngReader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &source, PngFail, PngWarn);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (r.info == nullptr) {
        Error("%s: %s", o.input, "out of memory");
        return nullptr;
    }
    png_set_read_fn(r.png, &source, PngRead);
    bool sameSize = false;
    if (!PngSteps(r.png, [&] {
            png_read_info(r.png, r.info);
            sameSize = png_get_image_width(r.png, r.info) == width &&
                       png_get_image_height(r.png, r.info) == height;
        })) {
        Error("%s: %s", o.input, source.message);
        return nullptr;
    }
    if (!sameSize) { // libpng demands an intact IHDR first, so this cannot happen
        Error("%s: %s", o.input, "the first chunk is not IHDR");
        return nullptr;
    }
    if (!limits.empty())
        Error("warning: %s: %s", o.output, limits);

    auto bitmap = std::make_unique<BVBitmap>(static_cast<int>(width), static_cast<int>(height));
    if (bitmap->Pixels() == nullptr) {
        Error("%s: %s", o.input, "out of memory");
        return nullptr;
    }
    std::vector<png_bytep> rows;
    for (long long y = 0; y < height; ++y)
        rows.push_back(reinterpret_cast<png_bytep>(bitmap->Pixels() + y * width));
    if (!PngSteps(r.png, [&] {
            SetConversions(r.png, r.info);
            png_read_image(r.png, rows.data());
            png_read_end(r.png, nullptr);
        })) {
        Error("%s: %s", o.input, source.message);
        return nullptr;
    }
    return bitmap;
}

using container_writer::PutU32;

// The preview: the image itself when it fits in 256 × 256, else scaled down.
struct Preview {
    int width = 0, height = 0;
    std::vector<std::uint32_t> pixels; // 0xAARRGGBB
};

Preview MakePreview(BVBitmap& image) {
    ThumbnailSize size{image.Width(), image.Height()};
    if (image.Width() > kMaxPreviewSide || image.Height() > kMaxPreviewSide)
        ComputeThumbnailSize(kMaxPreviewSide, image.Width(), image.Height(), &size);
    Preview preview{size.width, size.height, {}};
    preview.pixels.resize(static_cast<size_t>(size.width) * size.height);
    ScaleThumbnail(image, preview.pixels.data(), size.width, size.height);
    return preview;
}

Bytes DocumentHead(const BVBitmap& image, const Preview& preview, bool bb2) {
    Bytes out;
    const char* magic = bb2 ? "BVa2" : "BVim";
    out.insert(out.end(), magic, magic + 4);
    PutU32(out, 13); // format level
    PutU32(out, static_cast<std::uint32_t>(image.Width()));
    PutU32(out, static_cast<std::uint32_t>(image.Height()));
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
    if (form == Form::Stored) {
        *out = container_writer::StoredContainer(head, crc);
        return true;
    }
    Bytes payload;
    if (!RawDeflate(head, level, &payload))
        return false;
    *out =
        container_writer::DeflatedContainer(static_cast<std::uint32_t>(head.size()), crc, payload);
    return true;
}

const char kUsage[] = "usage: bvdoc [OPTIONS] INPUT.png OUTPUT.bvi|OUTPUT.bb2\n";

const char kHelp[] = "\n"
                     "Writes a Brivel document whose preview is INPUT.png, scaled to at most 256\n"
                     "pixels on its larger side; the thumbnail handlers show that preview. The\n"
                     "document is as large as the image. OUTPUT ending in .bb2 gets the \"BVa2\"\n"
                     "header, any other name the \"BVim\" one.\n"
                     "\n"
                     "Options:\n"
                     "  --deflated     wrap the document in a deflated container (the default)\n"
                     "  --stored       wrap it in a stored container, without compression\n"
                     "  --plain        write it without a container\n"
                     "  --level N      deflate level, 0 (fastest) to 9 (smallest); default 6\n"
                     "  --allow-large  write a document that a handler refuses, with a warning.\n"
                     "                 The 64-bit handler accepts documents up to 8192 px on a\n"
                     "                 side, the 32-bit one (32-bit programs' file dialogs) up to\n"
                     "                 5120; without this option a larger image is refused.\n"
                     "  --help         show this text\n"
                     "\n"
                     "Exit status: 0 written, 1 failed (the message says why), 2 bad arguments.\n";

int Usage(const char* problem, const std::string& what = "") {
    std::fprintf(stderr, "bvdoc: %s%s\n%s(bvdoc --help explains the options)\n", problem,
                 what.c_str(), kUsage);
    return 2;
}

bool EndsWith(const std::string& s, const char* suffix) {
    size_t n = std::strlen(suffix);
    return s.size() >= n && strcasecmp(s.c_str() + s.size() - n, suffix) == 0;
}

// 0 when the arguments are good; otherwise the exit status, after a message.
// "--" ends the options, for file names that begin with "-".
int Parse(int argc, char** argv, Options* o) {
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (optionsEnd || arg.size() < 2 || arg[0] != '-') {
            files.push_back(arg);
        } else if (arg == "--") {
            optionsEnd = true;
        } else if (arg == "--help" || arg == "-h") {
            std::printf("%s%s", kUsage, kHelp);
            return -1;
        } else if (arg == "--deflated" || arg == "--stored" || arg == "--plain") {
            o->form = arg == "--deflated" ? Form::Deflated
                      : arg == "--stored" ? Form::Stored
                                          : Form::Plain;
        } else if (arg == "--allow-large") {
            o->allowLarge = true;
        } else if (arg == "--level") {
            const char* n = i + 1 < argc ? argv[++i] : "";
            if (std::strlen(n) != 1 || n[0] < '0' || n[0] > '9')
                return Usage("--level needs a number from 0 to 9, not ",
                             "'" + std::string(n) + "'");
            o->level = n[0] - '0';
        } else {
            return Usage("unknown option ", arg);
        }
    }
    if (files.size() != 2)
        return Usage("needs an input PNG and an output document", "");
    o->input = files[0];
    o->output = files[1];
    return 0;
}

bool WriteFile(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    bool ok = f != nullptr && std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
    int error = errno;
    if (f != nullptr && std::fclose(f) != 0 && ok) {
        ok = false;
        error = errno;
    }
    if (!ok)
        Error("cannot write %s: %s", path, std::strerror(error));
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    Options o;
    if (int status = Parse(argc, argv, &o))
        return status < 0 ? 0 : status;
    std::unique_ptr<BVBitmap> image = ReadPng(o);
    if (!image)
        return 1;
    const Preview preview = MakePreview(*image);
    Bytes document;
    if (!Wrap(DocumentHead(*image, preview, EndsWith(o.output, ".bb2")), o.form, o.level,
              &document)) {
        Error("%s: compression failed", o.output);
        return 1;
    }
    if (!WriteFile(o.output, document))
        return 1;
    std::printf("%s: %d x %d, preview %d x %d, %zu bytes\n", o.output.c_str(), image->Width(),
                image->Height(), preview.width, preview.height, document.size());
    return 0;
}
