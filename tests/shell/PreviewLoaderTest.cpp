// Loading the preview from document bytes, natively, through the real
// decompressor over a memory file.
#include "shell/PreviewLoader.h"

#include "bitmap/BVBitmap.h"
#include "file/BVMemoryFile.h"
#include "shell/DocumentBuilder.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using testdoc::Bytes;
using testdoc::Container;
using testdoc::Header;

const Container kForms[] = {Container::Plain, Container::Stored, Container::Fixed,
                            Container::StoredBlocks};

std::vector<std::uint32_t> Pattern(int count) {
    std::vector<std::uint32_t> pixels(count);
    for (int i = 0; i < count; ++i)
        pixels[i] = 0x80000000u | static_cast<std::uint32_t>(i * 2654435761u >> 9);
    return pixels;
}

std::unique_ptr<BVBitmap> Load(const Bytes& file, int maxSide = 8192) {
    return std::unique_ptr<BVBitmap>(LoadPreview(
        BVMemoryFile::FromMemory(file.data(), static_cast<std::uint32_t>(file.size())), maxSide));
}

TEST(PreviewLoader, ReadsThePreviewFromEveryContainerForm) {
    const std::vector<std::uint32_t> pixels = Pattern(7 * 5);
    for (const char* magic : {"BVim", "BVa2"})
        for (Container form : kForms) {
            SCOPED_TRACE(testing::Message() << magic << " form " << static_cast<int>(form));
            Header h;
            h.magic = magic;
            auto bitmap = Load(testdoc::Wrap(testdoc::Document(h, 7, 5, pixels), form));
            ASSERT_NE(bitmap, nullptr);
            EXPECT_EQ(bitmap->Width(), 7);
            EXPECT_EQ(bitmap->Height(), 5);
            EXPECT_EQ(std::vector<std::uint32_t>(bitmap->Pixels(), bitmap->Pixels() + 35), pixels);
        }
}

TEST(PreviewLoader, HeaderChecksAtTheirBoundaries) {
    struct Case {
        const char* what;
        void (*change)(Header&);
        bool ok;
    };
    const Case cases[] = {
        {"level 12", [](Header& h) { h.level = 12; }, false},
        {"level 13", [](Header& h) { h.level = 13; }, true},
        {"level with top bit (unsigned)", [](Header& h) { h.level = 0x80000000u; }, true},
        {"width 0", [](Header& h) { h.width = 0; }, false},
        {"height 0", [](Header& h) { h.height = 0; }, false},
        {"width -1", [](Header& h) { h.width = -1; }, false},
        {"width at max", [](Header& h) { h.width = 5120; }, true},
        {"height at max", [](Header& h) { h.height = 5120; }, true},
        {"width past max", [](Header& h) { h.width = 5121; }, false},
        {"height past max", [](Header& h) { h.height = 5121; }, false},
        {"word5 0", [](Header& h) { h.word5 = 0; }, false},
        {"word5 negative", [](Header& h) { h.word5 = INT32_MIN; }, false},
        {"word4 anything", [](Header& h) { h.word4 = 0xFFFFFFFF; }, true},
        {"wrong magic", [](Header& h) { h.magic = "BVIM"; }, false},
        {"other magic", [](Header& h) { h.magic = "BVa3"; }, false},
    };
    const std::vector<std::uint32_t> pixels = Pattern(4);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Header h;
        c.change(h);
        EXPECT_EQ(Load(testdoc::Document(h, 2, 2, pixels), 5120) != nullptr, c.ok);
    }
    // The same document passes or fails by the build's largest side.
    Header wide;
    wide.width = 6000;
    EXPECT_NE(Load(testdoc::Document(wide, 2, 2, pixels), 8192), nullptr);
    EXPECT_EQ(Load(testdoc::Document(wide, 2, 2, pixels), 5120), nullptr);
}

TEST(PreviewLoader, TruncationBeforeThePixelsFails) {
    const Bytes document = testdoc::Document(Header(), 2, 2, Pattern(4));
    // Inside the header, the skipped bytes, the preview size, and right after it.
    for (size_t length = 0; length <= 48; ++length)
        for (Container form : {Container::Plain, Container::Stored}) {
            Bytes cut(document.begin(), document.begin() + length);
            EXPECT_EQ(Load(testdoc::Wrap(cut, form)), nullptr) << "length " << length;
        }
}

TEST(PreviewLoader, ShortPixelReadKeepsTransparentBlack) {
    const std::vector<std::uint32_t> pixels = Pattern(4 * 4);
    const Bytes document = testdoc::Document(Header(), 4, 4, pixels);
    for (Container form : kForms) {
        // The document ends six and a half pixels into the preview.
        Bytes wrapped = testdoc::Wrap(Bytes(document.begin(), document.begin() + 48 + 26), form);
        auto bitmap = Load(wrapped);
        ASSERT_NE(bitmap, nullptr) << static_cast<int>(form);
        for (int i = 0; i < 16; ++i) {
            std::uint32_t expected = i < 6 ? pixels[i] : i == 6 ? (pixels[6] & 0xFFFF) : 0;
            EXPECT_EQ(bitmap->Pixels()[i], expected) << "pixel " << i;
        }
    }
}

TEST(PreviewLoader, PreviewSizesAThumbnailCannotUseAreRefused) {
    // Zero and negative sides, and sides past 256: refused before any
    // allocation, so a hostile size costs nothing.
    const std::pair<int, int> sizes[] = {{0, 4},   {4, 0},   {-1, -1},       {-4, 2},
                                         {257, 1}, {1, 257}, {30000, 30000}, {65536, 65536}};
    for (auto [w, h] : sizes) {
        Bytes document = testdoc::Document(Header(), w, h, Pattern(64));
        EXPECT_EQ(Load(document), nullptr) << w << " x " << h;
    }
    EXPECT_NE(Load(testdoc::Document(Header(), 256, 1, Pattern(256))), nullptr);
}

TEST(PreviewLoader, NoFileIsNoPreview) {
    EXPECT_EQ(LoadPreview(nullptr), nullptr);
}

} // namespace
