// GetThumbnail through the provider's COM interface, producing real DIB
// sections. The provider is created in-process from the same sources as the
// DLL so that a test can hand it a preview without a document.
#include "bitmap/BVBitmap.h"
#include "shell/Brivel2ClassFactory.h"
#include "shell/Brivel2ThumbnailProvider.h"
#include "shell/Guids.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

HBITMAP const kBitmapSentinel = reinterpret_cast<HBITMAP>(static_cast<uintptr_t>(0xCAFECAFE));
constexpr WTS_ALPHATYPE kAlphaSentinel = static_cast<WTS_ALPHATYPE>(0x5A5A);

// A bitmap that counts its destructions, to see who destroys the preview.
struct CountedBitmap : BVBitmap {
    CountedBitmap(int w, int h, int* destroyed) : BVBitmap(w, h), destroyed_(destroyed) {
        for (int i = 0; i < w * h && Pixels(); ++i)
            Pixels()[i] = 0xFF000000u | static_cast<std::uint32_t>(i * 2654435761u >> 8);
    }
    ~CountedBitmap() override { ++*destroyed_; }
    int* destroyed_;
};

Brivel2ThumbnailProvider* NewProvider() {
    void* ppv = nullptr;
    EXPECT_EQ(Brivel2ClassFactory::Instance().CreateInstance(nullptr, kIidThumbnailProvider, &ppv),
              S_OK);
    return static_cast<Brivel2ThumbnailProvider*>(static_cast<IThumbnailProvider*>(ppv));
}

struct Dib {
    int width, height, bits;
    std::vector<std::uint32_t> pixels;
};

// Reads the DIB section through its own header and bits pointer, not through
// GDI drawing, so that it works wherever CreateDIBSection does.
Dib ReadDib(HBITMAP bitmap) {
    DIBSECTION section = {};
    EXPECT_EQ(GetObjectW(bitmap, sizeof(section), &section), static_cast<int>(sizeof(section)));
    Dib dib{section.dsBm.bmWidth, section.dsBm.bmHeight, section.dsBm.bmBitsPixel, {}};
    const auto* bits = static_cast<const std::uint32_t*>(section.dsBm.bmBits);
    if (bits != nullptr)
        dib.pixels.assign(bits, bits + dib.width * dib.height);
    return dib;
}

// COLORREF is 0x00BBGGRR; a DIB pixel is 0xAARRGGBB.
COLORREF AsColorRef(std::uint32_t pixel) {
    return RGB((pixel >> 16) & 0xFF, (pixel >> 8) & 0xFF, pixel & 0xFF);
}

// The colour GDI reads at (x, y) of a bitmap selected into a memory DC.
COLORREF GdiPixel(HBITMAP bitmap, int x, int y) {
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ old = SelectObject(dc, bitmap);
    COLORREF colour = GetPixel(dc, x, y);
    SelectObject(dc, old);
    DeleteDC(dc);
    return colour;
}

// Whether GDI can read a 32-bit DIB section back at all: Wine's WoW64 mode
// answers CLR_INVALID for it, although the section and its bits are fine.
bool GdiReadsDibSections() {
    BITMAPINFO info = {};
    info.bmiHeader = {sizeof(BITMAPINFOHEADER), 1, -1, 1, 32, BI_RGB, 0, 0, 0, 0, 0};
    void* bits = nullptr;
    HBITMAP probe = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (probe == nullptr || bits == nullptr)
        return false;
    *static_cast<std::uint32_t*>(bits) = 0xFF123456u;
    bool works = GdiPixel(probe, 0, 0) == AsColorRef(0xFF123456u);
    DeleteObject(probe);
    return works;
}

// A run in which every selected test skipped (the GDI read-back tests where
// GDI cannot read DIB sections) ends with 77, which CTest reports as skipped.
struct SkipExitCode : testing::EmptyTestEventListener {
    void OnTestProgramEnd(const testing::UnitTest& run) override {
        if (run.skipped_test_count() > 0 && run.successful_test_count() == 0 &&
            run.failed_test_count() == 0)
            std::exit(77);
    }
};
[[maybe_unused]] const bool kSkipExitCodeInstalled =
    (testing::UnitTest::GetInstance()->listeners().Append(new SkipExitCode), true);

TEST(ThumbnailProvider, WithoutAPreviewLeavesTheOutputsAlone) {
    Brivel2ThumbnailProvider* provider = NewProvider();
    HBITMAP bitmap = kBitmapSentinel;
    WTS_ALPHATYPE alpha = kAlphaSentinel;
    EXPECT_EQ(provider->GetThumbnail(96, &bitmap, &alpha), S_FALSE);
    EXPECT_EQ(bitmap, kBitmapSentinel);
    EXPECT_EQ(alpha, kAlphaSentinel);
    provider->Release();
}

TEST(ThumbnailProvider, EqualSizeGivesATopDownCopyAndConsumesThePreview) {
    int destroyed = 0;
    auto* preview = new CountedBitmap(256, 128, &destroyed);
    std::vector<std::uint32_t> expected(preview->Pixels(), preview->Pixels() + 256 * 128);
    Brivel2ThumbnailProvider* provider = NewProvider();
    provider->SetBitmap(preview);

    HBITMAP bitmap = kBitmapSentinel;
    WTS_ALPHATYPE alpha = kAlphaSentinel;
    ASSERT_EQ(provider->GetThumbnail(256, &bitmap, &alpha), S_OK);
    EXPECT_EQ(alpha, WTSAT_ARGB);
    EXPECT_EQ(destroyed, 1);
    Dib dib = ReadDib(bitmap);
    EXPECT_EQ(dib.width, 256);
    EXPECT_EQ(dib.height, 128);
    EXPECT_EQ(dib.bits, 32);
    EXPECT_EQ(dib.pixels, expected);
    DeleteObject(bitmap);

    HBITMAP again = kBitmapSentinel;
    EXPECT_EQ(provider->GetThumbnail(256, &again, &alpha), S_FALSE);
    EXPECT_EQ(again, kBitmapSentinel);
    provider->Release();
}

TEST(ThumbnailProvider, ScalesToTheRequestedEdge) {
    struct {
        int w, h, cx, dw, dh;
    } const cases[] = {{256, 128, 96, 96, 48},
                       {256, 128, 100, 100, 50},
                       {100, 33, 50, 50, 17},
                       {10, 10, 20, 20, 20}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << c.w << "x" << c.h << " at " << c.cx);
        int destroyed = 0;
        Brivel2ThumbnailProvider* provider = NewProvider();
        provider->SetBitmap(new CountedBitmap(c.w, c.h, &destroyed));
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = kAlphaSentinel;
        ASSERT_EQ(provider->GetThumbnail(c.cx, &bitmap, &alpha), S_OK);
        Dib dib = ReadDib(bitmap);
        EXPECT_EQ(dib.width, c.dw);
        EXPECT_EQ(dib.height, c.dh);
        EXPECT_EQ(dib.pixels.size(), static_cast<size_t>(c.dw * c.dh));
        DeleteObject(bitmap);
        provider->Release();
        EXPECT_EQ(destroyed, 1);
    }
}

TEST(ThumbnailProvider, PreviewOutOfRangeIsDestroyedAndOutputsUntouched) {
    for (int side : {257, 1000}) {
        int destroyed = 0;
        Brivel2ThumbnailProvider* provider = NewProvider();
        provider->SetBitmap(new CountedBitmap(side, 3, &destroyed));
        HBITMAP bitmap = kBitmapSentinel;
        WTS_ALPHATYPE alpha = kAlphaSentinel;
        EXPECT_EQ(provider->GetThumbnail(96, &bitmap, &alpha), S_FALSE) << side;
        EXPECT_EQ(bitmap, kBitmapSentinel);
        EXPECT_EQ(alpha, kAlphaSentinel);
        EXPECT_EQ(destroyed, 1);
        EXPECT_FALSE(provider->HasBitmap());
        provider->Release();
    }
}

TEST(ThumbnailProvider, SizesThatCannotBeABitmapFailAsGdiWould) {
    // 0 and negative edges, and an enlargement whose pixel block would not fit.
    for (UINT cx : {0u, static_cast<UINT>(-5), 40000u}) {
        int destroyed = 0;
        Brivel2ThumbnailProvider* provider = NewProvider();
        provider->SetBitmap(new CountedBitmap(256, 256, &destroyed));
        HBITMAP bitmap = kBitmapSentinel;
        WTS_ALPHATYPE alpha = kAlphaSentinel;
        EXPECT_EQ(provider->GetThumbnail(cx, &bitmap, &alpha), S_FALSE) << cx;
        EXPECT_EQ(bitmap, nullptr);
        EXPECT_EQ(alpha, kAlphaSentinel);
        EXPECT_EQ(destroyed, 1);
        provider->Release();
    }
}

TEST(ThumbnailProvider, LastReleaseDestroysAHeldPreview) {
    int destroyed = 0;
    Brivel2ThumbnailProvider* provider = NewProvider();
    provider->SetBitmap(new CountedBitmap(4, 4, &destroyed));
    provider->AddRef();
    provider->Release();
    EXPECT_EQ(destroyed, 0);
    provider->Release();
    EXPECT_EQ(destroyed, 1);
}

// Drawing with GDI sees the thumbnail's first row at the top and its pixels
// unchanged, both for the exact copy and for a scaled thumbnail.
TEST(ThumbnailProviderGdi, ReadsTheThumbnailTopDown) {
    if (!GdiReadsDibSections())
        GTEST_SKIP() << "GDI cannot read a 32-bit DIB section back here (GetPixel answers "
                        "CLR_INVALID, as in Wine's WoW64 mode); the pixels are checked "
                        "through the section's bits pointer by the other tests";
    for (UINT cx : {256u, 96u}) {
        SCOPED_TRACE(testing::Message() << "cx " << cx);
        int destroyed = 0;
        Brivel2ThumbnailProvider* provider = NewProvider();
        provider->SetBitmap(new CountedBitmap(256, 128, &destroyed));
        HBITMAP bitmap = nullptr;
        WTS_ALPHATYPE alpha = kAlphaSentinel;
        ASSERT_EQ(provider->GetThumbnail(cx, &bitmap, &alpha), S_OK);
        Dib dib = ReadDib(bitmap);
        ASSERT_FALSE(dib.pixels.empty());
        const int last = dib.height - 1;
        EXPECT_EQ(GdiPixel(bitmap, 0, 0), AsColorRef(dib.pixels[0]));
        EXPECT_EQ(GdiPixel(bitmap, dib.width - 1, last),
                  AsColorRef(dib.pixels[last * dib.width + dib.width - 1]));
        EXPECT_EQ(GdiPixel(bitmap, 0, last), AsColorRef(dib.pixels[last * dib.width]));
        DeleteObject(bitmap);
        provider->Release();
    }
}

} // namespace
