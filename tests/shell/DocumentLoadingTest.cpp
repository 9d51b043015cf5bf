// Initialize and GetThumbnail through the DLL's own class factory, on
// documents that the test builds, as the Shell drives them.
#include "bv_config.h"
#include "shell/DocumentBuilder.h"
#include "shell/Guids.h"
#include "support/DllUnderTest.h"

#include <gtest/gtest.h>
#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <vector>

namespace {

using testdoc::Bytes;
using testdoc::Container;
using testdoc::Header;

ULONG RefCount(IUnknown* object) {
    object->AddRef();
    return object->Release();
}

class DocumentLoading : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dll_.Load());
        IClassFactory* factory = nullptr;
        ASSERT_EQ(dll_.getClassObject(kProviderClsid, kIidClassFactory,
                                      reinterpret_cast<void**>(&factory)),
                  S_OK);
        ASSERT_EQ(factory->CreateInstance(nullptr, kIidInitializeWithStream,
                                          reinterpret_cast<void**>(&init_)),
                  S_OK);
        factory->Release();
        ASSERT_EQ(init_->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void**>(&thumbs_)),
                  S_OK);
    }

    void TearDown() override {
        if (thumbs_)
            thumbs_->Release();
        if (init_) {
            EXPECT_EQ(init_->Release(), 0u);
        }
        if (dll_.canUnloadNow != nullptr) {
            EXPECT_EQ(dll_.canUnloadNow(), S_OK);
        }
        dll_.Free();
    }

    // Initialize over an in-memory stream; the stream's references must be
    // the same before and after, whatever the outcome.
    HRESULT Initialize(const Bytes& bytes) {
        IStream* stream = SHCreateMemStream(bytes.data(), static_cast<UINT>(bytes.size()));
        EXPECT_NE(stream, nullptr);
        ULONG before = RefCount(stream);
        HRESULT hr = init_->Initialize(stream, STGM_READ);
        EXPECT_EQ(RefCount(stream), before) << "stream references not balanced";
        stream->Release();
        return hr;
    }

    // The thumbnail's pixels at edge cx, or nothing when there is none.
    std::vector<std::uint32_t> Thumbnail(UINT cx, int* width = nullptr) {
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
        if (thumbs_->GetThumbnail(cx, &bitmap, &alpha) != S_OK)
            return {};
        EXPECT_EQ(alpha, WTSAT_ARGB);
        DIBSECTION section = {};
        GetObjectW(bitmap, sizeof(section), &section);
        const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
        std::vector<std::uint32_t> pixels(bits,
                                          bits + section.dsBm.bmWidth * section.dsBm.bmHeight);
        if (width)
            *width = section.dsBm.bmWidth;
        DeleteObject(bitmap);
        return pixels;
    }

    dll_under_test::Dll dll_;
    IInitializeWithStream* init_ = nullptr;
    IThumbnailProvider* thumbs_ = nullptr;
};

std::vector<std::uint32_t> Pattern(int count) {
    std::vector<std::uint32_t> pixels(count);
    for (int i = 0; i < count; ++i)
        pixels[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8);
    return pixels;
}

TEST_F(DocumentLoading, EveryContainerFormGivesTheExactPreview) {
    const std::vector<std::uint32_t> pixels = Pattern(16 * 9);
    const Container forms[] = {Container::Plain, Container::Stored, Container::Fixed,
                               Container::StoredBlocks};
    for (const char* magic : {"BVim", "BVa2"})
        for (Container form : forms) {
            SCOPED_TRACE(testing::Message() << magic << " form " << static_cast<int>(form));
            Header h;
            h.magic = magic;
            ASSERT_EQ(Initialize(testdoc::Wrap(testdoc::Document(h, 16, 9, pixels), form)), S_OK);
            int width = 0;
            EXPECT_EQ(Thumbnail(16, &width), pixels);
            EXPECT_EQ(width, 16);
        }
}

TEST_F(DocumentLoading, HeaderChecksAtThisBuildsLargestSide) {
    const std::vector<std::uint32_t> pixels = Pattern(4);
    struct Case {
        std::int32_t width, height;
        std::uint32_t level;
        std::int32_t word5;
        HRESULT expected;
    } const cases[] = {
        {BV_MAX_DOCUMENT_SIDE, BV_MAX_DOCUMENT_SIDE, 13, 1, S_OK},
        {BV_MAX_DOCUMENT_SIDE + 1, 10, 13, 1, S_FALSE},
        {10, BV_MAX_DOCUMENT_SIDE + 1, 13, 1, S_FALSE},
        {6000, 10, 13, 1, BV_MAX_DOCUMENT_SIDE >= 6000 ? S_OK : S_FALSE},
        {0, 10, 13, 1, S_FALSE},
        {10, 10, 12, 1, S_FALSE},
        {10, 10, 0x80000000u, 1, S_OK},
        {10, 10, 13, 0, S_FALSE},
    };
    for (const Case& c : cases) {
        Header h;
        h.width = c.width;
        h.height = c.height;
        h.level = c.level;
        h.word5 = c.word5;
        EXPECT_EQ(Initialize(testdoc::Document(h, 2, 2, pixels)), c.expected)
            << c.width << "x" << c.height << " level " << c.level << " word5 " << c.word5;
    }
}

TEST_F(DocumentLoading, TruncatedDocuments) {
    const std::vector<std::uint32_t> pixels = Pattern(4);
    const Bytes document = testdoc::Document(Header(), 2, 2, pixels);
    // Ends in the header, in the skipped bytes, in the preview size, or right after it.
    for (size_t length : {0, 23, 24, 39, 40, 47, 48}) {
        Bytes cut(document.begin(), document.begin() + length);
        EXPECT_EQ(Initialize(testdoc::Wrap(cut, Container::Fixed)), S_FALSE) << length;
        EXPECT_TRUE(Thumbnail(2).empty());
    }
    // Ends two and a half pixels in: the rest is transparent black.
    Bytes cut(document.begin(), document.begin() + 48 + 10);
    ASSERT_EQ(Initialize(testdoc::Wrap(cut, Container::Fixed)), S_OK);
    EXPECT_EQ(Thumbnail(2),
              (std::vector<std::uint32_t>{pixels[0], pixels[1], pixels[2] & 0xFFFF, 0}));
}

TEST_F(DocumentLoading, ASecondInitializeReplacesOrClearsThePreview) {
    const Bytes red = testdoc::Document(Header(), 1, 1, {0xFFFF0000u});
    const Bytes blue = testdoc::Document(Header(), 1, 1, {0xFF0000FFu});
    ASSERT_EQ(Initialize(red), S_OK);
    ASSERT_EQ(Initialize(blue), S_OK);
    EXPECT_EQ(Thumbnail(1), std::vector<std::uint32_t>{0xFF0000FFu});

    ASSERT_EQ(Initialize(red), S_OK);
    EXPECT_EQ(Initialize(Bytes{'B', 'V'}), S_FALSE);
    EXPECT_TRUE(Thumbnail(1).empty()) << "a failed Initialize leaves no preview";
}

TEST_F(DocumentLoading, HostilePreviewSizesGiveNoThumbnail) {
    for (auto [w, h] : {std::pair{0, 4}, {257, 1}, {30000, 30000}, {-1, -1}}) {
        EXPECT_EQ(Initialize(testdoc::Document(Header(), w, h, Pattern(8))), S_FALSE)
            << w << " x " << h;
    }
}

TEST_F(DocumentLoading, NullStreamIsRefused) {
    EXPECT_EQ(init_->Initialize(nullptr, 0), S_FALSE);
}

} // namespace
