#include "shell/Brivel2ThumbnailProvider.h"

#include "bitmap/BVBitmap.h"
#include "file/BVWin32StreamFile.h"
#include "shell/Guids.h"
#include "shell/Module.h"
#include "shell/PreviewLoader.h"
#include "shell/ThumbnailScaler.h"

#include <cstdint>
#include <memory>
#include <new>

namespace {
constexpr int kStreamBufferSize = 8192;
} // namespace

Brivel2ThumbnailProvider::Brivel2ThumbnailProvider() {
    ModuleAddRef();
}

Brivel2ThumbnailProvider::~Brivel2ThumbnailProvider() {
    SetBitmap(nullptr);
    ModuleRelease();
}

STDMETHODIMP Brivel2ThumbnailProvider::QueryInterface(REFIID iid, void** ppv) {
    *ppv = nullptr;
    if (SameGuid(iid, kIidUnknown) || SameGuid(iid, kIidThumbnailProvider))
        *ppv = static_cast<IThumbnailProvider*>(this);
    else if (SameGuid(iid, kIidInitializeWithStream))
        *ppv = static_cast<IInitializeWithStream*>(this);
    else
        return E_NOINTERFACE;
    AddRef();
    return S_OK;
}

STDMETHODIMP_(ULONG) Brivel2ThumbnailProvider::AddRef() {
    return InterlockedIncrement(&refCount_);
}

STDMETHODIMP_(ULONG) Brivel2ThumbnailProvider::Release() {
    LONG remaining = InterlockedDecrement(&refCount_);
    if (remaining == 0)
        delete this;
    return remaining;
}

void Brivel2ThumbnailProvider::SetBitmap(BVBitmap* bitmap) {
    delete bitmap_;
    bitmap_ = bitmap;
}

STDMETHODIMP Brivel2ThumbnailProvider::GetThumbnail(UINT cx, HBITMAP* bitmapOut,
                                                    WTS_ALPHATYPE* alphaOut) {
    if (bitmap_ == nullptr)
        return S_FALSE;
    // From here on the preview is consumed, whatever the outcome.
    std::unique_ptr<BVBitmap> preview(bitmap_);
    bitmap_ = nullptr;

    const int w = preview->ArrayWidth(), h = preview->ArrayHeight();
    const int longest = w > h ? w : h;
    // One unsigned comparison accepts exactly 1..256: a side of 0 wraps round
    // to the largest unsigned value, and so does any negative side.
    if (static_cast<std::uint32_t>(longest) - 1 > kMaxPreviewSide - 1)
        return S_FALSE;
    // Asking for the pixel array is what expands a packed bitmap, and it is
    // asked for here, before any DIB section exists. The loader only makes
    // plain bitmaps, for which this just returns the array; the scaler asks
    // again for itself, so the answer is not needed here.
    preview->Pixels();

    // cx is taken as signed. A size that cannot be a bitmap ends as a failed
    // CreateDIBSection would, without asking GDI for it.
    *bitmapOut = nullptr;
    ThumbnailSize size;
    if (!ComputeThumbnailSize(static_cast<int>(cx), w, h, &size))
        return S_FALSE;

    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
    info.bmiHeader.biWidth = size.width;
    info.bmiHeader.biHeight = -size.height; // top-down rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    *bitmapOut = dib;
    if (dib == nullptr)
        return S_FALSE;

    ScaleThumbnail(*preview, static_cast<std::uint32_t*>(bits), size.width, size.height);
    *alphaOut = WTSAT_ARGB;
    return S_OK;
}

STDMETHODIMP Brivel2ThumbnailProvider::Initialize(IStream* stream, DWORD /*mode*/) {
    SetBitmap(nullptr);
    auto* file = new (std::nothrow) BVWin32StreamFile();
    if (file == nullptr)
        return S_FALSE;
    if (!file->Attach(stream, kStreamBufferSize)) {
        delete file; // releases whatever reference it took
        return S_FALSE;
    }
    // The loader owns the file from here and leaves nothing of it behind:
    // when it returns, the stream reference is gone, whatever the outcome.
    SetBitmap(LoadPreview(file));
    return bitmap_ != nullptr ? S_OK : S_FALSE;
}
