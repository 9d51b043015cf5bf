// Many thumbnails in one process, and several apartments at once: nothing
// may leak, and the module must be free to unload at the end.
#include "bv_config.h"
#include "shell/DocumentBuilder.h"
#include "shell/Guids.h"
#include "support/DllUnderTest.h"

#include <gtest/gtest.h>
#include <propsys.h>
#include <psapi.h>
#include <shlwapi.h>
#include <thumbcache.h>

#include <thread>
#include <vector>

namespace {

using dll_under_test::GetClassObjectFn;
using testdoc::Bytes;
using testdoc::Container;

std::vector<Bytes> Documents() {
    std::vector<std::uint32_t> pixels(64 * 48);
    for (size_t i = 0; i < pixels.size(); ++i)
        pixels[i] = static_cast<std::uint32_t>(i * 2654435761u);
    const Bytes good = testdoc::Document(testdoc::Header(), 64, 48, pixels);
    testdoc::Header badLevel;
    badLevel.level = 2;
    Bytes badFlags; // the start of a container header whose flags make it none
    container_writer::PutU16(badFlags, BVInflate::kMagic);
    container_writer::PutU16(badFlags, 9);
    return {testdoc::Wrap(good, Container::Fixed),
            testdoc::Wrap(good, Container::Stored),
            good,
            Bytes(good.begin(), good.begin() + 40), // ends in the skipped bytes
            testdoc::Wrap(Bytes(good.begin(), good.begin() + 300), Container::Fixed),
            testdoc::Document(badLevel, 4, 4, std::vector<std::uint32_t>(16)),
            badFlags};
}

// One Initialize and GetThumbnail cycle on a fresh provider; false when a
// stream reference or the provider's count came out unbalanced.
bool Cycle(GetClassObjectFn getClassObject, const Bytes& document, UINT cx) {
    IClassFactory* factory = nullptr;
    if (getClassObject(kProviderClsid, kIidClassFactory, reinterpret_cast<void**>(&factory)) !=
        S_OK)
        return false;
    IInitializeWithStream* init = nullptr;
    HRESULT hr =
        factory->CreateInstance(nullptr, kIidInitializeWithStream, reinterpret_cast<void**>(&init));
    factory->Release();
    if (hr != S_OK)
        return false;
    IStream* stream = SHCreateMemStream(document.data(), static_cast<UINT>(document.size()));
    init->Initialize(stream, STGM_READ);
    bool balanced = stream->Release() == 0;
    IThumbnailProvider* thumbs = nullptr;
    init->QueryInterface(kIidThumbnailProvider, reinterpret_cast<void**>(&thumbs));
    HBITMAP bitmap = nullptr;
    WTS_ALPHATYPE alpha;
    if (thumbs->GetThumbnail(cx, &bitmap, &alpha) == S_OK)
        DeleteObject(bitmap);
    thumbs->Release();
    return init->Release() == 0 && balanced;
}

SIZE_T PrivateBytes() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof(counters);
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof(counters));
    return counters.PrivateUsage;
}

class Soak : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(dll_.Load());
        getClassObject_ = dll_.getClassObject;
    }
    void TearDown() override {
        if (dll_.canUnloadNow != nullptr) {
            EXPECT_EQ(dll_.canUnloadNow(), S_OK);
        }
        dll_.Free();
    }
    dll_under_test::Dll dll_;
    GetClassObjectFn getClassObject_ = nullptr;
};

TEST_F(Soak, TenThousandThumbnailsLeakNothing) {
    const std::vector<Bytes> documents = Documents();
    const UINT sizes[] = {32, 96, 64, 256};
    auto run = [&](int from, int to) {
        for (int i = from; i < to; ++i)
            ASSERT_TRUE(Cycle(getClassObject_, documents[i % documents.size()], sizes[i % 4]))
                << "cycle " << i;
    };
    run(0, 1000); // warm up the heaps
    const SIZE_T memoryBefore = PrivateBytes();
    const DWORD gdiBefore = GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS);
    run(1000, 10000);
    const SIZE_T memoryAfter = PrivateBytes();
    EXPECT_EQ(GetGuiResources(GetCurrentProcess(), GR_GDIOBJECTS), gdiBefore);
    // 9000 cycles that each leaked even one 12 KiB pixel block would add 100 MiB.
    EXPECT_LT(memoryAfter, memoryBefore + 2 * 1024 * 1024)
        << "private bytes " << memoryBefore << " -> " << memoryAfter;
}

TEST_F(Soak, SeveralApartmentsAtOnce) {
    const std::vector<Bytes> documents = Documents();
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&, t] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            for (int i = 0; i < 500; ++i)
                if (!Cycle(getClassObject_, documents[(i + t) % documents.size()], 48))
                    ++failures[t];
            CoUninitialize();
        });
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 4; ++t)
        EXPECT_EQ(failures[t], 0) << "thread " << t;
}

} // namespace
