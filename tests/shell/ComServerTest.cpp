// Black-box tests of the COM server's lifetime rules, through the DLL's own
// exports as a client process sees them.
#include "bv_config.h"
#include "shell/Guids.h"
#include "support/DllUnderTest.h"

#include <gtest/gtest.h>
#include <propsys.h>
#include <thumbcache.h>

namespace {

using dll_under_test::CanUnloadNowFn;
using dll_under_test::GetClassObjectFn;

void* const kSentinel = reinterpret_cast<void*>(static_cast<uintptr_t>(0xCAFECAFE));

class ComServer : public testing::Test {
  protected:
    static void SetUpTestSuite() {
        dll_under_test::Dll dll;
        ASSERT_TRUE(dll.Load()) << "cannot load " BV_DLL_NAME ".dll and its exports, error "
                                << GetLastError();
        dll_ = dll.module;
        getClassObject_ = dll.getClassObject;
        canUnloadNow_ = dll.canUnloadNow;
    }

    void SetUp() override {
        ASSERT_NE(getClassObject_, nullptr);
        ASSERT_NE(canUnloadNow_, nullptr);
        ASSERT_EQ(canUnloadNow_(), S_OK) << "a previous test left the module busy";
    }

    // Every test must leave nothing alive.
    void TearDown() override { EXPECT_EQ(canUnloadNow_(), S_OK); }

    static IClassFactory* Factory() {
        void* ppv = kSentinel;
        HRESULT hr = getClassObject_(kProviderClsid, kIidClassFactory, &ppv);
        EXPECT_EQ(hr, S_OK);
        return static_cast<IClassFactory*>(ppv);
    }

    static HMODULE dll_;
    static GetClassObjectFn getClassObject_;
    static CanUnloadNowFn canUnloadNow_;
};

HMODULE ComServer::dll_;
GetClassObjectFn ComServer::getClassObject_;
CanUnloadNowFn ComServer::canUnloadNow_;

TEST_F(ComServer, ExportsHaveTheirPlainNames) {
    for (const char* name :
         {"DllCanUnloadNow", "DllGetClassObject", "DllRegisterServer", "DllUnregisterServer"})
        EXPECT_NE(GetProcAddress(dll_, name), nullptr) << name;
}

TEST_F(ComServer, OtherClassesAreNotAvailable) {
    const GUID otherClasses[] = {kIidUnknown, kIidThumbnailProvider, GUID{}};
    const GUID interfaces[] = {kIidUnknown, kIidClassFactory, kIidThumbnailProvider};
    for (const GUID& clsid : otherClasses)
        for (const GUID& iid : interfaces) {
            void* ppv = kSentinel;
            EXPECT_EQ(getClassObject_(clsid, iid, &ppv), CLASS_E_CLASSNOTAVAILABLE);
            EXPECT_EQ(ppv, nullptr);
        }
}

TEST_F(ComServer, FactoryAnswersOnlyItsInterfaces) {
    void* ppv = kSentinel;
    EXPECT_EQ(getClassObject_(kProviderClsid, kIidThumbnailProvider, &ppv), E_NOINTERFACE);
    EXPECT_EQ(ppv, nullptr);

    IClassFactory* factory = Factory();
    ppv = kSentinel;
    EXPECT_EQ(factory->QueryInterface(kIidInitializeWithStream, &ppv), E_NOINTERFACE);
    EXPECT_EQ(ppv, nullptr);
    factory->Release();
}

TEST_F(ComServer, FactoryIsOneStaticObjectCountedInTheModule) {
    void* asUnknown = kSentinel;
    ASSERT_EQ(getClassObject_(kProviderClsid, kIidUnknown, &asUnknown), S_OK);
    IClassFactory* factory = Factory();
    EXPECT_EQ(asUnknown, factory);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);

    // AddRef and Release answer constants however often they are called.
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(factory->AddRef(), 2u);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(factory->Release(), 1u);
    EXPECT_EQ(static_cast<IUnknown*>(asUnknown)->Release(), 1u);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(factory->Release(), 1u);
}

TEST_F(ComServer, LockServerCountsEachLock) {
    IClassFactory* factory = Factory();
    factory->Release();
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(TRUE), S_OK);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(factory->LockServer(FALSE), S_OK);
}

TEST_F(ComServer, CreateInstanceRefusesAggregation) {
    IClassFactory* factory = Factory();
    void* ppv = kSentinel;
    EXPECT_EQ(factory->CreateInstance(factory, kIidThumbnailProvider, &ppv), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(ppv, nullptr);
    factory->Release();
}

TEST_F(ComServer, CreateInstanceForAnUnsupportedInterfaceDestroysTheProvider) {
    IClassFactory* factory = Factory();
    void* ppv = kSentinel;
    EXPECT_EQ(factory->CreateInstance(nullptr, kIidClassFactory, &ppv), E_NOINTERFACE);
    EXPECT_EQ(ppv, nullptr);
    factory->Release();
    // TearDown's S_OK proves that no provider survived.
}

TEST_F(ComServer, ProviderHasOneIdentityAndOneCount) {
    IClassFactory* factory = Factory();
    void* ppv = kSentinel;
    ASSERT_EQ(factory->CreateInstance(nullptr, kIidInitializeWithStream, &ppv), S_OK);
    factory->Release();
    auto* init = static_cast<IInitializeWithStream*>(ppv);
    EXPECT_EQ(canUnloadNow_(), S_FALSE); // the live provider holds the module

    void* unknown = kSentinel;
    ASSERT_EQ(init->QueryInterface(kIidUnknown, &unknown), S_OK);
    void* thumbs = kSentinel;
    ASSERT_EQ(init->QueryInterface(kIidThumbnailProvider, &thumbs), S_OK);
    EXPECT_EQ(unknown, thumbs) << "IUnknown is the primary view";
    EXPECT_NE(static_cast<void*>(init), thumbs);

    void* none = kSentinel;
    EXPECT_EQ(init->QueryInterface(kIidClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);

    // Three references now; either view counts on the one object.
    auto* primary = static_cast<IThumbnailProvider*>(thumbs);
    EXPECT_EQ(primary->AddRef(), 4u);
    EXPECT_EQ(init->AddRef(), 5u);
    EXPECT_EQ(init->Release(), 4u);
    EXPECT_EQ(primary->Release(), 3u);
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 2u);
    EXPECT_EQ(primary->Release(), 1u);
    EXPECT_EQ(canUnloadNow_(), S_FALSE);
    EXPECT_EQ(init->Release(), 0u);
}

} // namespace
