// bvdoc as a user runs it: PNGs of each kind written here with libpng, the
// tool run as a program, its documents read back and its messages compared
// by their exact text.
#include <png.h>

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

enum class Chunk { None, Srgb, Linear, Gamma045 };

struct Png {
    int width = 1, height = 1, depth = 8, colorType = PNG_COLOR_TYPE_GRAY;
    std::vector<int> samples; // per row, repeated for every row; values of `depth` bits
    Chunk chunk = Chunk::None;
    bool headerOnly = false; // signature and IHDR, nothing after
};

class BvdocTest : public ::testing::Test {
  protected:
    void SetUp() override {
        char pattern[] = "/tmp/bvdoc_test.XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { (void)std::system(("rm -rf '" + dir_ + "'").c_str()); }

    std::string Path(const std::string& name) const { return dir_ + "/" + name; }

    std::string Write(const std::string& name, const Png& p) {
        const std::string path = Path(name);
        FILE* f = std::fopen(path.c_str(), "wb");
        png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
        png_infop info = png_create_info_struct(png);
        png_init_io(png, f);
        png_set_IHDR(png, info, p.width, p.height, p.depth, p.colorType, PNG_INTERLACE_NONE,
                     PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
        if (p.chunk == Chunk::Srgb)
            png_set_sRGB(png, info, PNG_sRGB_INTENT_PERCEPTUAL);
        if (p.chunk == Chunk::Linear)
            png_set_gAMA(png, info, 1.0);
        if (p.chunk == Chunk::Gamma045)
            png_set_gAMA(png, info, 1 / 2.2);
        png_write_info(png, info);
        if (!p.headerOnly) {
            Bytes row;
            for (int s : p.samples) {
                if (p.depth == 16)
                    row.push_back(static_cast<std::uint8_t>(s >> 8));
                row.push_back(static_cast<std::uint8_t>(s));
            }
            for (int y = 0; y < p.height; ++y)
                png_write_row(png, row.data());
            png_write_end(png, nullptr);
        }
        png_destroy_write_struct(&png, &info);
        std::fclose(f);
        return path;
    }

    // Runs bvdoc; returns its exit status and sets `output` to what it printed
    // on stdout and stderr together.
    int Run(const std::string& args, std::string* output) {
        FILE* p = popen(("cd '" + dir_ + "' && " BVDOC_PATH " " + args + " 2>&1").c_str(), "r");
        output->clear();
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, p)) > 0)
            output->append(buffer, n);
        const int status = pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    Bytes Read(const std::string& name) {
        std::ifstream in(Path(name), std::ios::binary);
        return Bytes(std::istreambuf_iterator<char>(in), {});
    }

    static std::uint32_t U32(const Bytes& b, size_t at) {
        return b[at] | b[at + 1] << 8 | b[at + 2] << 16 |
               static_cast<std::uint32_t>(b[at + 3]) << 24;
    }

    std::string dir_;
};

const char kUsageTail[] = "usage: bvdoc [OPTIONS] INPUT.png OUTPUT.bvi|OUTPUT.bb2\n"
                          "(bvdoc --help explains the options)\n";
const char kLimits[] =
    "the 64-bit handler accepts documents up to 8192 px, the 32-bit one up to 5120";

// 16-bit samples hold the 8-bit value times 257; the document must carry the
// 8-bit value, not a gamma-converted one.
TEST_F(BvdocTest, EveryKindOfPngGivesItsColoursInEightBits) {
    struct Case {
        const char* name;
        Png png;
        std::uint32_t expected; // 0xAARRGGBB
    } cases[] = {
        {"grey 8", {1, 1, 8, PNG_COLOR_TYPE_GRAY, {76}}, 0xFF4C4C4C},
        {"grey 16", {1, 1, 16, PNG_COLOR_TYPE_GRAY, {76 * 257}}, 0xFF4C4C4C},
        {"grey 16 dark", {1, 1, 16, PNG_COLOR_TYPE_GRAY, {28 * 257}}, 0xFF1C1C1C},
        {"grey+alpha 16", {1, 1, 16, PNG_COLOR_TYPE_GRAY_ALPHA, {76 * 257, 128 * 257}}, 0x804C4C4C},
        {"rgb 16", {1, 1, 16, PNG_COLOR_TYPE_RGB, {76 * 257, 28 * 257, 200 * 257}}, 0xFF4C1CC8},
        {"rgba 16",
         {1, 1, 16, PNG_COLOR_TYPE_RGB_ALPHA, {76 * 257, 28 * 257, 200 * 257, 64 * 257}},
         0x404C1CC8},
        {"grey 16 sRGB", {1, 1, 16, PNG_COLOR_TYPE_GRAY, {76 * 257}, Chunk::Srgb}, 0xFF4C4C4C},
        {"rgb 8 gamma 1/2.2",
         {1, 1, 8, PNG_COLOR_TYPE_RGB, {76, 28, 200}, Chunk::Gamma045},
         0xFF4C1CC8},
        {"grey 4", {1, 1, 4, PNG_COLOR_TYPE_GRAY, {0x50}}, 0xFF555555},
        // Linear light 0.2159 is about half brightness in the sRGB curve.
        {"grey 16 linear", {1, 1, 16, PNG_COLOR_TYPE_GRAY, {14146}, Chunk::Linear}, 0xFF7F7F7F},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Write("in.png", c.png);
        std::string out;
        ASSERT_EQ(Run("--plain in.png out.bvi", &out), 0) << out;
        const Bytes doc = Read("out.bvi");
        ASSERT_EQ(doc.size(), 52u);
        const std::uint32_t got = U32(doc, 48);
        if (c.png.chunk == Chunk::Linear) // libpng's power law, rounded either way
            EXPECT_NEAR(static_cast<int>(got & 0xFF), 0x7F, 1) << std::hex << got;
        else
            EXPECT_EQ(got, c.expected) << std::hex << got;
    }
}

TEST_F(BvdocTest, HandlersLimitsRefuseUnlessAllowed) {
    struct Case {
        int width, height;
        const char* side;
    } cases[] = {{9000, 2, "9000 px wide"}, {6000, 2, "6000 px wide"}, {2, 5121, "5121 px high"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.side);
        std::remove(Path("big.bvi").c_str());
        Png png{c.width, c.height, 8, PNG_COLOR_TYPE_GRAY, std::vector<int>(c.width, 9)};
        Write("big.png", png);
        std::string out;
        EXPECT_EQ(Run("big.png big.bvi", &out), 1);
        EXPECT_EQ(out, std::string("bvdoc: big.png: ") + c.side + "; " + kLimits +
                           "; --allow-large writes it anyway\n");
        EXPECT_TRUE(Read("big.bvi").empty());

        ASSERT_EQ(Run("--plain --allow-large big.png big.bvi", &out), 0) << out;
        EXPECT_EQ(out.substr(0, out.find('\n') + 1),
                  std::string("bvdoc: warning: big.bvi: ") + c.side + "; " + kLimits + "\n");
        const Bytes doc = Read("big.bvi");
        ASSERT_GE(doc.size(), 48u);
        EXPECT_EQ(U32(doc, 8), static_cast<std::uint32_t>(c.width));
        EXPECT_EQ(U32(doc, 12), static_cast<std::uint32_t>(c.height));
    }
    // 5120 on both sides is within both limits: no word.
    Write("edge.png", {5120, 1, 8, PNG_COLOR_TYPE_GRAY, std::vector<int>(5120, 9)});
    std::string out;
    EXPECT_EQ(Run("edge.png edge.bb2", &out), 0);
    EXPECT_EQ(out.find("warning"), std::string::npos) << out;
}

// A header that declares a huge image is refused before any pixel memory.
TEST_F(BvdocTest, HugeDeclaredImageIsRefusedBeforeAllocating) {
    Png png{100000, 100000, 8, PNG_COLOR_TYPE_RGB_ALPHA, {}};
    png.headerOnly = true;
    Write("huge.png", png);
    std::string out;
    EXPECT_EQ(Run("huge.png huge.bvi", &out), 1);
    EXPECT_EQ(out, std::string("bvdoc: huge.png: 100000 px wide; ") + kLimits +
                       "; --allow-large writes it anyway\n");
    EXPECT_EQ(Run("--allow-large huge.png huge.bvi", &out), 1);
    EXPECT_EQ(out, "bvdoc: huge.png: 100000 x 100000 pixels are more than bvdoc converts (at "
                   "most 268435456)\n");
}

TEST_F(BvdocTest, MessagesSayWhy) {
    Write("ok.png", {2, 2, 8, PNG_COLOR_TYPE_GRAY, {1, 2}});
    Bytes png = Read("ok.png");
    std::ofstream(Path("empty.png"));
    std::ofstream(Path("short.png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(png.data()), 40);
    Bytes crc = png;
    crc[20] ^= 1; // inside IHDR's data
    std::ofstream(Path("crc.png"), std::ios::binary)
        .write(reinterpret_cast<const char*>(crc.data()), static_cast<std::streamsize>(crc.size()));
    std::ofstream(Path("text.png")) << "hello";

    const std::string usage = kUsageTail;
    struct Case {
        const char* args;
        int status;
        std::string text;
    } cases[] = {
        {"--level x ok.png o.bvi", 2,
         "bvdoc: --level needs a number from 0 to 9, not 'x'\n" + usage},
        {"--level 10 ok.png o.bvi", 2,
         "bvdoc: --level needs a number from 0 to 9, not '10'\n" + usage},
        {"ok.png o.bvi --level", 2, "bvdoc: --level needs a number from 0 to 9, not ''\n" + usage},
        {"--fast ok.png o.bvi", 2, "bvdoc: unknown option --fast\n" + usage},
        {"ok.png", 2, "bvdoc: needs an input PNG and an output document\n" + usage},
        {"empty.png o.bvi", 1, "bvdoc: empty.png: not a PNG image (the file is empty)\n"},
        {"text.png o.bvi", 1, "bvdoc: text.png: not a PNG image\n"},
        {"short.png o.bvi", 1, "bvdoc: short.png: the PNG data is truncated after 40 bytes\n"},
        {"crc.png o.bvi", 1, "bvdoc: crc.png: IHDR: CRC error\n"},
        {"none.png o.bvi", 1, "bvdoc: cannot read none.png: No such file or directory\n"},
        {"ok.png no/such/folder/o.bvi", 1,
         "bvdoc: cannot write no/such/folder/o.bvi: No such file or directory\n"},
        {"--stored --level 0 ok.png o.bvi", 0, "o.bvi: 2 x 2, preview 2 x 2, 76 bytes\n"},
        {"--plain -- ok.png o.bvi", 0, "o.bvi: 2 x 2, preview 2 x 2, 64 bytes\n"},
    };
    for (const Case& c : cases) {
        std::string out;
        EXPECT_EQ(Run(c.args, &out), c.status) << c.args;
        EXPECT_EQ(out, c.text) << c.args;
    }
}

TEST_F(BvdocTest, HelpExplainsEveryOption) {
    std::string out;
    ASSERT_EQ(Run("--help", &out), 0);
    EXPECT_EQ(out.rfind("usage: bvdoc [OPTIONS] INPUT.png OUTPUT.bvi|OUTPUT.bb2\n", 0), 0u);
    for (const char* option : {"--deflated", "--stored", "--plain", "--level N", "--allow-large",
                               "8192", "5120", "--help"})
        EXPECT_NE(out.find(option), std::string::npos) << option;
}

} // namespace
