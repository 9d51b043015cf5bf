// The thumbnail object. IThumbnailProvider is the primary view and carries the
// object's identity; IInitializeWithStream is the second view and forwards its
// IUnknown calls to the first. The provider exclusively owns the preview
// bitmap that Initialize leaves and GetThumbnail consumes. Created by the class
// factory with one reference; each live provider holds one module reference.
#pragma once

#include <propsys.h>
#include <thumbcache.h>
#include <windows.h>

class BVBitmap;

class Brivel2ThumbnailProvider final : public IThumbnailProvider, public IInitializeWithStream {
  public:
    Brivel2ThumbnailProvider();
    Brivel2ThumbnailProvider(const Brivel2ThumbnailProvider&) = delete;
    Brivel2ThumbnailProvider& operator=(const Brivel2ThumbnailProvider&) = delete;

    // IUnknown, primary view.
    STDMETHODIMP QueryInterface(REFIID iid, void** ppv) override;
    STDMETHODIMP_(ULONG) AddRef() override;
    STDMETHODIMP_(ULONG) Release() override;

    // IThumbnailProvider
    STDMETHODIMP GetThumbnail(UINT cx, HBITMAP* bitmapOut, WTS_ALPHATYPE* alphaOut) override;

    // IInitializeWithStream
    STDMETHODIMP Initialize(IStream* stream, DWORD mode) override;

    // Replaces the held preview, destroying the old one. Initialize stores what
    // it loads through this; in-process tests use it to hand over a bitmap.
    void SetBitmap(BVBitmap* bitmap);
    bool HasBitmap() const { return bitmap_ != nullptr; }

  private:
    ~Brivel2ThumbnailProvider(); // only the last Release destroys a provider

    LONG refCount_ = 1;
    BVBitmap* bitmap_ = nullptr;
};
