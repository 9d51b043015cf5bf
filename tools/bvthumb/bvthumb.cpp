// bvthumb: gets a document's thumbnail the way the Shell does and writes it
// as a PNG with its alpha.
//
//   bvthumb [--dll PATH | --com] [--size N] INPUT OUTPUT.png   (bvthumb --help)
//
// By default the DLL beside this program is loaded and asked for its class
// factory directly. With --com the handler is looked up the way the Shell
// looks it up, from the document's extension, and created through COM, so
// that the run shows which handler this machine really uses. When a handler
// refuses a document, the document is read again with the framework's loader
// to say why.
#include "bv_config.h"
#include "bvthumb/RefusalReason.h"
#include "file/BVWin32File.h"
#include "shell/Guids.h"

#include <propsys.h>
#include <shlwapi.h>
#include <thumbcache.h>
#include <wincodec.h>
#include <windows.h>

#include <cstdlib>
#include <cwchar>
#include <string>

namespace {

constexpr UINT kMaxSize = 4096;
// The shellex entry under which the Shell finds an extension's thumbnail
// handler: the IThumbnailProvider interface identifier.
const wchar_t kThumbnailEntry[] = L"{E357FCCD-A995-4576-B01F-234630154E96}";

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

// Text goes out as the user's own characters: UTF-16 to a console, UTF-8 to
// a file or pipe (the C runtime would turn them into the ANSI code page).
void Write(DWORD which, const std::wstring& text) {
    HANDLE h = GetStdHandle(which);
    DWORD mode, written;
    if (GetConsoleMode(h, &mode)) {
        WriteConsoleW(h, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
        return;
    }
    const int n = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0, nullptr, nullptr);
    std::string bytes(n > 0 ? n : 0, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), &bytes[0], n,
                        nullptr, nullptr);
    WriteFile(h, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
}
void Out(const std::wstring& line) {
    Write(STD_OUTPUT_HANDLE, line + L"\n");
}
int Fail(const std::wstring& line) {
    Write(STD_ERROR_HANDLE, L"bvthumb: " + line + L"\n");
    return 1;
}

std::wstring Hex(unsigned long v) {
    wchar_t text[16];
    std::swprintf(text, 16, L"0x%08lx", v);
    return text;
}

// Texts for the COM codes bvthumb meets where the system has none (Wine).
const wchar_t* FallbackText(DWORD code) {
    switch (static_cast<HRESULT>(code)) {
    case REGDB_E_CLASSNOTREG:
        return L"Class not registered";
    case CLASS_E_CLASSNOTAVAILABLE:
        return L"The DLL does not provide this class";
    case E_NOINTERFACE:
        return L"No such interface supported";
    default:
        return L"unknown error";
    }
}

// The system's text for an error code, followed by the code: a Win32 error
// as "(error 193)", an HRESULT in hex. `subject` stands in for a "%1" of the
// text.
std::wstring SystemText(DWORD code, bool hresult, const std::wstring& subject = L"the file") {
    wchar_t* text = nullptr;
    FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM |
                       FORMAT_MESSAGE_IGNORE_INSERTS,
                   nullptr, code, 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
    std::wstring s = text ? text : FallbackText(code);
    LocalFree(text);
    const size_t insert = s.find(L"%1");
    if (insert != std::wstring::npos)
        s.replace(insert, 2, subject);
    while (!s.empty() &&
           (s.back() == L'\n' || s.back() == L'\r' || s.back() == L' ' || s.back() == L'.'))
        s.pop_back();
    return s + L" (" + (hresult ? Hex(code) : L"error " + std::to_wstring(code)) + L")";
}
std::wstring HrText(HRESULT hr) {
    return SystemText(static_cast<DWORD>(hr), true);
}

const wchar_t kUsage[] = L"usage: bvthumb [--dll PATH | --com] [--size N] INPUT OUTPUT.png\n";

const wchar_t kHelp[] =
    L"\n"
    L"Gets the thumbnail of a .bvi or .bb2 document the way Windows Explorer does\n"
    L"and writes it to OUTPUT.png, with its transparency.\n"
    L"\n"
    L"Options:\n"
    L"  --dll PATH  use this handler DLL (default: " BV_DLL_NAME L".dll beside bvthumb.exe)\n"
    L"  --com       use the handler this machine has registered for INPUT's\n"
    L"              extension, found as the Shell finds it; prints its class\n"
    L"              and DLL first\n"
    L"  --size N    length of the thumbnail's larger side, 1 to 4096 pixels;\n"
    L"              default 256 (Explorer asks for 16 to 2560)\n"
    L"  --help      show this text\n"
    L"\n"
    L"A bvthumb runs handlers of its own bitness: the 64-bit one the 64-bit DLL\n"
    L"(as Explorer does), the 32-bit one the 32-bit DLL (as 32-bit programs'\n"
    L"file dialogs do). When a handler gives no thumbnail, bvthumb reads the\n"
    L"document itself and says why.\n"
    L"\n"
    L"Exit status: 0 written, 1 failed (the message says why), 2 bad arguments.\n";

int Usage(const std::wstring& problem) {
    Write(STD_ERROR_HANDLE,
          L"bvthumb: " + problem + L"\n" + kUsage + L"(bvthumb --help explains the options)\n");
    return 2;
}

// 0 when the arguments are good, -1 after --help, else 2 after a message.
int Parse(int argc, wchar_t** argv, Options* o) {
    int files = 0;
    for (int i = 1; i < argc; ++i) {
        const std::wstring arg = argv[i];
        if (arg == L"--help" || arg == L"-h") {
            Write(STD_OUTPUT_HANDLE, std::wstring(kUsage) + kHelp);
            return -1;
        } else if (arg == L"--com") {
            o->com = true;
        } else if (arg == L"--dll") {
            if (i + 1 == argc)
                return Usage(L"--dll needs the path of a DLL");
            o->dll = argv[++i];
        } else if (arg == L"--size") {
            const wchar_t* n = i + 1 < argc ? argv[++i] : L"";
            wchar_t* end = nullptr;
            const long v = std::wcstol(n, &end, 10);
            if (*n < L'0' || *n > L'9' || *end != 0 || v < 1 || v > static_cast<long>(kMaxSize))
                return Usage(L"--size needs a number from 1 to 4096, not '" + std::wstring(n) +
                             L"'");
            o->size = static_cast<UINT>(v);
        } else if (arg.size() > 1 && arg[0] == L'-') {
            return Usage(L"unknown option " + arg);
        } else if (files++ == 0) {
            o->input = arg;
        } else {
            o->output = arg;
        }
    }
    if (files != 2)
        return Usage(L"needs an input document and an output PNG");
    if (o->com && !o->dll.empty())
        return Usage(L"--com and --dll exclude each other");
    return 0;
}

std::wstring DllBesideThisProgram() {
    wchar_t path[MAX_PATH];
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    PathRemoveFileSpecW(path);
    return std::wstring(path) + L"\\" BV_DLL_NAME ".dll";
}

// The default value of a key of the classes, environment strings expanded,
// or "". The user's own classes come first, as in the merged view that
// Windows presents as HKEY_CLASSES_ROOT (which Wine does not merge).
std::wstring ClassesValue(const std::wstring& key) {
    wchar_t data[1024], expanded[1024];
    const DWORD flags = RRF_RT_REG_SZ | RRF_RT_REG_EXPAND_SZ | RRF_NOEXPAND;
    DWORD size = sizeof data;
    if (RegGetValueW(HKEY_CURRENT_USER, (L"Software\\Classes\\" + key).c_str(), nullptr, flags,
                     nullptr, data, &size) != ERROR_SUCCESS) {
        size = sizeof data;
        if (RegGetValueW(HKEY_CLASSES_ROOT, key.c_str(), nullptr, flags, nullptr, data, &size) !=
            ERROR_SUCCESS)
            return L"";
    }
    const DWORD n = ExpandEnvironmentStringsW(data, expanded, 1024);
    return n > 0 && n <= 1024 ? expanded : data;
}

// The class the Shell would create for a file of this extension: its
// IThumbnailProvider shellex entry, as the association functions resolve it
// (extension, then its file type, then the system's per-extension entries),
// with the keys themselves read as a fallback.
std::wstring ThumbnailHandlerOf(const std::wstring& extension) {
    wchar_t clsid[64];
    DWORD n = 64;
    if (SUCCEEDED(AssocQueryStringW(ASSOCF_INIT_DEFAULTTOSTAR, ASSOCSTR_SHELLEXTENSION,
                                    extension.c_str(), kThumbnailEntry, clsid, &n)))
        return clsid;
    const std::wstring entry = L"\\shellex\\" + std::wstring(kThumbnailEntry);
    std::wstring found = ClassesValue(extension + entry);
    const std::wstring type = ClassesValue(extension);
    if (found.empty() && !type.empty())
        found = ClassesValue(type + entry);
    if (found.empty())
        found = ClassesValue(L"SystemFileAssociations\\" + extension + entry);
    return found;
}

// The provider, from the DLL's own factory or from COM.
int CreateProvider(const Options& o, IInitializeWithStream** init) {
    HRESULT hr;
    if (o.com) {
        const wchar_t* extension = PathFindExtensionW(o.input.c_str());
        if (*extension == 0)
            return Fail(o.input +
                        L" has no extension, so the Shell looks for no thumbnail handler");
        const std::wstring clsidText = ThumbnailHandlerOf(extension);
        if (clsidText.empty())
            return Fail(std::wstring(L"no thumbnail handler is registered for ") + extension +
                        L" (no shellex\\" + kThumbnailEntry + L" entry)");
        const std::wstring key = L"CLSID\\" + clsidText;
        const std::wstring dll = ClassesValue(key + L"\\InprocServer32");
        Out(std::wstring(L"handler for ") + extension + L": " + clsidText + L" \"" +
            ClassesValue(key) + L"\" in " + (dll.empty() ? L"(no DLL registered)" : dll));
        CLSID clsid;
        hr = CLSIDFromString(clsidText.c_str(), &clsid);
        if (SUCCEEDED(hr))
            hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, kIidInitializeWithStream,
                                  reinterpret_cast<void**>(init));
        if (FAILED(hr))
            return Fail(L"cannot create the handler " + clsidText + L": " + HrText(hr));
        return 0;
    }
    const std::wstring path = o.dll.empty() ? DllBesideThisProgram() : o.dll;
    HMODULE dll = LoadLibraryW(path.c_str());
    if (dll == nullptr) {
        const DWORD error = GetLastError();
        const std::wstring bits = std::to_wstring(sizeof(void*) * 8);
        return Fail(L"cannot load the DLL " + path + L": " + SystemText(error, false, L"it") +
                    (error == ERROR_BAD_EXE_FORMAT
                         ? L"; a " + bits + L"-bit bvthumb loads only " + bits + L"-bit DLLs"
                         : L""));
    }
    using GetClassObjectFn = HRESULT(STDAPICALLTYPE*)(REFCLSID, REFIID, void**);
    auto get = reinterpret_cast<GetClassObjectFn>(
        reinterpret_cast<void*>(GetProcAddress(dll, "DllGetClassObject")));
    if (get == nullptr)
        return Fail(path + L" is not a COM server: it exports no DllGetClassObject");
    ComPtr<IClassFactory> factory;
    hr = get(kProviderClsid, kIidClassFactory, reinterpret_cast<void**>(&factory));
    if (SUCCEEDED(hr))
        hr = factory->CreateInstance(nullptr, kIidInitializeWithStream,
                                     reinterpret_cast<void**>(init));
    if (FAILED(hr))
        return Fail(L"cannot create the thumbnail provider of " + path + L": " + HrText(hr));
    return 0;
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

// Why the handler gave nothing, read from the document with the framework's
// loader; a handler error code is added when it reported one.
int Refused(const Options& o, HRESULT hr) {
    auto* file = new BVWin32File;
    std::wstring reason;
    // The handler's stream keeps the file open for reading only.
    if (file->Open(o.input.c_str(), BVFile::ModeShareRead, BVWin32File::kDefaultBufferSize)) {
        const std::string why = RefusalReason(file, BV_MAX_DOCUMENT_SIDE);
        reason.assign(why.begin(), why.end()); // the reasons are ASCII
        if (reason.empty())
            reason = L"the handler refused a document that bvthumb reads correctly";
    } else {
        reason = L"bvthumb cannot read it again: " + SystemText(GetLastError(), false);
        delete file;
    }
    if (FAILED(hr))
        reason += L"; the handler says: " + HrText(hr);
    return Fail(o.input + L" gave no thumbnail: " + reason);
}

const wchar_t* AlphaWords(WTS_ALPHATYPE alpha) {
    switch (alpha) {
    case WTSAT_ARGB:
        return L"with transparency";
    case WTSAT_RGB:
        return L"opaque";
    default:
        return L"of unknown transparency";
    }
}

int Run(const Options& o) {
    ComPtr<IStream> stream;
    HRESULT hr = SHCreateStreamOnFileEx(o.input.c_str(), STGM_READ | STGM_SHARE_DENY_WRITE, 0,
                                        FALSE, nullptr, &stream);
    if (FAILED(hr))
        return Fail(L"cannot open " + o.input + L": " + HrText(hr));
    ComPtr<IInitializeWithStream> init;
    if (int failed = CreateProvider(o, &init))
        return failed;
    ComPtr<IThumbnailProvider> thumbs;
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha = WTSAT_UNKNOWN;
    hr = init->Initialize(stream.p, STGM_READ);
    if (hr == S_OK)
        hr = init->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void**>(&thumbs));
    if (hr == S_OK)
        hr = thumbs->GetThumbnail(o.size, &bitmap, &alpha);
    if (hr != S_OK)
        return Refused(o, hr);
    BITMAP info = {};
    GetObjectW(bitmap, sizeof(info), &info);
    Out(o.input + L": " + std::to_wstring(info.bmWidth) + L" x " + std::to_wstring(info.bmHeight) +
        L" thumbnail " + AlphaWords(alpha));
    hr = WritePng(bitmap, o.output);
    DeleteObject(bitmap);
    if (FAILED(hr))
        return Fail(L"cannot write " + o.output + L": " + HrText(hr));
    return 0;
}

} // namespace

int wmain(int argc, wchar_t** argv) {
    Options options;
    if (int status = Parse(argc, argv, &options))
        return status < 0 ? 0 : status;
    HRESULT hr = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    if (FAILED(hr))
        return Fail(L"cannot start COM: " + HrText(hr));
    int code = Run(options);
    CoUninitialize();
    return code;
}
