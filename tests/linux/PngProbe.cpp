// png_probe: what the tests need to know about a PNG, one fact a line.
//
//   png_probe FILE [X Y]...
//
// prints "size W H", "alpha yes|no" (whether the file stores an alpha
// channel), "transparent N" (pixels with alpha below 255), one
// "text KEY=VALUE" line per text chunk, and "pixel X Y RRGGBBAA" for each
// coordinate pair asked. Exit status 1 when the file is no readable PNG.
#include <png.h>

#include <csetjmp>
#include <cstdio>
#include <cstdlib>

namespace {

struct Reader {
    png_structp png = nullptr;
    png_infop info = nullptr;
    ~Reader() { png_destroy_read_struct(&png, &info, nullptr); }
};

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc % 2 != 0) {
        std::fprintf(stderr, "usage: png_probe FILE [X Y]...\n");
        return 2;
    }
    FILE* f = std::fopen(argv[1], "rb");
    if (f == nullptr) {
        std::perror(argv[1]);
        return 1;
    }
    Reader r;
    r.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    r.info = r.png ? png_create_info_struct(r.png) : nullptr;
    if (r.info == nullptr || setjmp(png_jmpbuf(r.png))) {
        std::fprintf(stderr, "%s: not a readable PNG\n", argv[1]);
        std::fclose(f);
        return 1;
    }
    png_init_io(r.png, f);
    // Every layout becomes 8-bit RGBA in memory; the stored one is reported.
    png_read_png(r.png, r.info,
                 PNG_TRANSFORM_STRIP_16 | PNG_TRANSFORM_PACKING | PNG_TRANSFORM_EXPAND |
                     PNG_TRANSFORM_GRAY_TO_RGB,
                 nullptr);
    std::fclose(f);
    const png_uint_32 w = png_get_image_width(r.png, r.info);
    const png_uint_32 h = png_get_image_height(r.png, r.info);
    const int channels = png_get_channels(r.png, r.info);
    png_bytepp rows = png_get_rows(r.png, r.info);
    std::printf("size %u %u\nalpha %s\n", w, h, channels == 4 ? "yes" : "no");
    unsigned long transparent = 0;
    for (png_uint_32 y = 0; y < h && channels == 4; ++y)
        for (png_uint_32 x = 0; x < w; ++x)
            transparent += rows[y][x * 4 + 3] < 255;
    std::printf("transparent %lu\n", transparent);
    png_textp text = nullptr;
    const int count = png_get_text(r.png, r.info, &text, nullptr);
    for (int i = 0; i < count; ++i)
        std::printf("text %s=%s\n", text[i].key, text[i].text);
    for (int i = 2; i + 1 < argc; i += 2) {
        const unsigned long x = std::strtoul(argv[i], nullptr, 10);
        const unsigned long y = std::strtoul(argv[i + 1], nullptr, 10);
        if (x >= w || y >= h)
            return 1;
        const png_bytep p = rows[y] + x * channels;
        std::printf("pixel %lu %lu %02X%02X%02X%02X\n", x, y, p[0], p[1], p[2],
                    channels == 4 ? p[3] : 255);
    }
    return 0;
}
