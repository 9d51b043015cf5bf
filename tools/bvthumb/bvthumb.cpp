// bvthumb: gets a document's thumbnail the way the Shell does and writes it
// as a PNG with its alpha.
//
//   bvthumb [--dll PATH | --com] [--size N] INPUT OUTPUT.png
//
// By default the DLL beside this program is loaded and asked for its class
// factory directly; with --com the registered class is created through COM.
#include "bv_config.h"
#include "shell/Guids.h"

#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

struct Options {
    std::wstring dll;
    bool com = false;
    UINT size = 256;
    std::wstring input, output;
};

// Releases a COM pointer when it goes out of scope.
template <typename T> struct ComPtr {
    T* p = nullptr;
    ~ComPtr() {
        if (p)
            p->Release();
    }
    T** operator&() { return &p; }
    T* operator->() const { return p; }
};

int Usage() {
    std::fprintf(stderr, "usage: bvthumb [--dll PATH | --com] [--size N] INPUT OUTPUT.png\n");
    return 2;
}

bool Parse(int argc, wchar_t** argv, Options* o) {
    int i = 1;
    for (; i < argc && argv[i][0] == L'-' && argv[i][1] == L'-'; ++i) {
        std::wstring flag = argv[i];
        if (flag == L"--com") {
            o->com = true;
        } else if (flag == L"--dll" && i + 1 < argc) {
            o->dll = argv[++i];
        } else if (flag == L"--size" && i + 1 < argc) {
            long n = std::wcstol(argv[++i], nullptr, 10);
            if (n <= 0 || n > 4096)
                return false;
            o->size = static_cast<UINT>(n);
        } else {
            return false;
        }
    }
    if (argc - i != 2 || (o->com && !o->dll.empty()))
        return false;
    o->input = argv[i];
    o->output = argv[i + 1];
    return true;
}

std::wstring DllBesideThisProgram() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return std::wstring(path) + L"\\" BV_DLL_NAME ".dll";
}

// The provider, from the DLL's own factory or from COM.
HRESULT CreateProvider(const Options& o, IInitializeWithStream** init) {
    if (o.com)
        return CoCreateInstance(kProviderClsid, nullptr, CLSCTX_INPROC_SERVER,
                                kIidInitializeWithStream, reinterpret_cast<void**>(init));
    std::wstring path = o.dll.empty() ? DllBesideThisProgram() : o.dll;
    HMODULE dll = LoadLibraryW(path.c_str());
    if (dll == nullptr) {
        std::fwprintf(stderr, L"bvthumb: cannot load the DLL %ls (error %lu)\n", path.c_str(),
                      GetLastError());
        return E_FAIL;
    }
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    ComPtr<IClassFactory> factory;
    HRESULT hr =
        get ? get(kProviderClsid, kIidClassFactory, reinterpret_cast<void**>(&factory)) : E_FAIL;
    if (FAILED(hr))
        return hr;
    return factory->CreateInstance(nullptr, kIidInitializeWithStream,
                                   reinterpret_cast<void**>(init));
}

HRESULT WritePng(HBITMAP bitmap, const std::wstring& path) {
    ComPtr<IWICImagingFactory> wic;
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_PPV_ARGS(&wic.p));
    ComPtr<IWICBitmap> source;
    if (SUCCEEDED(hr))
        hr = wic->CreateBitmapFromHBITMAP(bitmap, nullptr, WICBitmapUseAlpha, &source);
    ComPtr<IWICStream> stream;
    if (SUCCEEDED(hr))
        hr = wic->CreateStream(&stream);
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(path.c_str(), GENERIC_WRITE);
    ComPtr<IWICBitmapEncoder> encoder;
    if (SUCCEEDED(hr))
        hr = wic->CreateEncoder(GUID_ContainerFormatPng, nullptr, &encoder);
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.p, WICBitmapEncoderNoCache);
    ComPtr<IWICBitmapFrameEncode> frame;
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(&frame, nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Initialize(nullptr);
    if (SUCCEEDED(hr))
        hr = frame->WriteSource(source.p, nullptr);
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    return hr;
}

int Run(const Options& o) {
    if (GetFileAttributesW(o.input.c_str()) == INVALID_FILE_ATTRIBUTES) {
        std::fwprintf(stderr, L"bvthumb: %ls: no such file\n", o.input.c_str());
        return 1;
    }
    ComPtr<IInitializeWithStream> init;
    HRESULT hr = CreateProvider(o, &init);
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"bvthumb: cannot create the thumbnail provider (hr 0x%08lx)%ls\n",
                      static_cast<unsigned long>(hr), o.com ? L"; is the class registered?" : L"");
        return 1;
    }
    ComPtr<IStream> stream;
    hr = SHCreateStreamOnFileEx(o.input.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0, FALSE,
                                nullptr, &stream);
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"bvthumb: cannot open %ls (hr 0x%08lx)\n", o.input.c_str(),
                      static_cast<unsigned long>(hr));
        return 1;
    }
    ComPtr<IThumbnailProvider> thumbs;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    if (init->Initialize(stream.p, STGM_READ) != S_OK ||
        FAILED(init->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void**>(&thumbs))) ||
        thumbs->GetThumbnail(o.size, &bitmap, &alpha) != S_OK) {
        std::fwprintf(stderr, L"bvthumb: %ls gave no thumbnail\n", o.input.c_str());
        return 1;
    }
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    std::wprintf(L"%ls: %ld x %ld, alpha type %d\n", o.input.c_str(), info.bmWidth, info.bmHeight,
                 static_cast<int>(alpha));
    hr = WritePng(bitmap, o.output);
    DeleteObject(bitmap);
    if (FAILED(hr)) {
        std::fwprintf(stderr, L"bvthumb: cannot write %ls (hr 0x%08lx)\n", o.output.c_str(),
                      static_cast<unsigned long>(hr));
        return 1;
    }
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (!Parse(argc, argv, &options))
        return Usage();
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)))
        return 1;
    int code = Run(options);
    CoUninitialize();
    return code;
}
