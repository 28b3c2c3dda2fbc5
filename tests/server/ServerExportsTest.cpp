// The shared library as a host sees it: loaded by file name, asked through its exports with
// good and bad arguments. Only the C header is used here, as a host in C++ would.

#include <gtest/gtest.h>

#include <dlfcn.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "kubrix/kubrix.h"

namespace {

// The library loaded once for the program, with a registry file of the test's own.
class ServerExports : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        if (!std::getenv("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
        library_ = ::dlopen(KUBRIX_SHARED_LIBRARY, RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(library_, nullptr) << ::dlerror();
    }
    void SetUp() override {
        ASSERT_NE(library_, nullptr);
        char pattern[] = "/tmp/kubrix-exports-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        registry_ = dir_ + "/registry";
        ::setenv("KUBRIX_REGISTRY", registry_.c_str(), 1);
    }
    void TearDown() override {
        ::unsetenv("KUBRIX_REGISTRY");
        std::filesystem::remove_all(dir_);
    }

    template <typename F>
    static F Export(const char* name) {
        return reinterpret_cast<F>(::dlsym(library_, name));
    }
    static HRESULT GetClassObject(const CLSID* c, const IID* i, void** o) {
        return Export<PFN_DllGetClassObject>("DllGetClassObject")(c, i, o);
    }
    static HRESULT CanUnloadNow() { return Export<PFN_DllCanUnloadNow>("DllCanUnloadNow")(); }
    static std::string Description() {
        IErrorInfo* info = nullptr;
        if (Export<PFN_KubrixGetErrorInfo>("KubrixGetErrorInfo")(0, &info) != S_OK) return "<none>";
        BSTR text = nullptr;
        info->lpVtbl->GetDescription(info, &text);
        info->lpVtbl->Release(info);
        std::string out;
        for (uint32_t i = 0; i < SysStringLen(text); ++i) out += char(text[i] < 0x80 ? text[i] : '?');
        SysFreeString(text);
        return out;
    }
    std::string ReadRegistry() const {
        std::ifstream in(registry_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    static inline void* library_ = nullptr;
    std::string dir_, registry_;
};

TEST_F(ServerExports, OnlyTheServersEntryPointsAreExported) {
    for (const char* name : {"DllGetClassObject", "DllCanUnloadNow", "DllRegisterServer", "DllUnregisterServer",
                             "KubrixCLSIDFromProgID", "KubrixRegQueryValue", "KubrixGetErrorInfo"})
        EXPECT_NE(::dlsym(library_, name), nullptr) << name;
    // The layers inside stay inside.
    EXPECT_EQ(::dlsym(library_, "_ZN6kubrix14TFileRegistry4LoadERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEE"),
              nullptr);
}

TEST_F(ServerExports, ClassObjectRequestsWithBadArguments) {
    void* object = reinterpret_cast<void*>(1);
    struct Case {
        const char* name;
        const CLSID* clsid;
        const IID* iid;
        void** out;
        HRESULT expected;
    };
    const Case cases[] = {
        {"no out pointer", &CLSID_KubrixX, &IID_IClassFactory, nullptr, E_POINTER},
        {"no class", nullptr, &IID_IClassFactory, &object, E_INVALIDARG},
        {"no interface", &CLSID_KubrixX, nullptr, &object, E_INVALIDARG},
        {"another class", &IID_IDispatch, &IID_IClassFactory, &object, CLASS_E_CLASSNOTAVAILABLE},
        {"not a factory interface", &CLSID_KubrixX, &IID_IDispatch, &object, E_NOINTERFACE},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        object = reinterpret_cast<void*>(1);
        EXPECT_EQ(GetClassObject(c.clsid, c.iid, c.out), c.expected);
        if (c.out) {
            EXPECT_EQ(object, nullptr);
        }
    }
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ServerExports, FactoryCountsObjectsAndLocks) {
    IClassFactory* factory = nullptr;
    ASSERT_EQ(GetClassObject(&CLSID_KubrixX, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // a held factory

    IUnknown outer{};
    void* object = reinterpret_cast<void*>(1);
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, &outer, &IID_IUnknown, &object), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(object, nullptr);
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IUnknown, nullptr), E_POINTER);
    EXPECT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IClassFactory, &object), E_NOINTERFACE);
    EXPECT_EQ(object, nullptr);

    IDispatch* first = nullptr;
    IDispatch* second = nullptr;
    ASSERT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IDispatch, reinterpret_cast<void**>(&first)), S_OK);
    ASSERT_EQ(factory->lpVtbl->CreateInstance(factory, nullptr, &IID_IKubrixX, reinterpret_cast<void**>(&second)), S_OK);
    EXPECT_NE(static_cast<void*>(first), static_cast<void*>(second));  // one new object per request
    factory->lpVtbl->LockServer(factory, 1);
    factory->lpVtbl->Release(factory);
    first->lpVtbl->Release(first);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);
    second->lpVtbl->Release(second);
    EXPECT_EQ(CanUnloadNow(), S_FALSE);  // the lock
    ASSERT_EQ(GetClassObject(&CLSID_KubrixX, &IID_IClassFactory, reinterpret_cast<void**>(&factory)), S_OK);
    factory->lpVtbl->LockServer(factory, 0);
    factory->lpVtbl->Release(factory);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

TEST_F(ServerExports, RegistryErrorsComeBackAsCodes) {
    const auto registerServer = Export<PFN_DllRegisterServer>("DllRegisterServer");
    const auto unregisterServer = Export<PFN_DllUnregisterServer>("DllUnregisterServer");
    const auto queryValue = Export<PFN_KubrixRegQueryValue>("KubrixRegQueryValue");
    const auto fromProgId = Export<PFN_KubrixCLSIDFromProgID>("KubrixCLSIDFromProgID");

    std::ofstream(registry_) << "not a registry\n";
    EXPECT_EQ(registerServer(), REGDB_E_READREGDB);
    EXPECT_NE(Description().find(registry_), std::string::npos);
    EXPECT_EQ(unregisterServer(), REGDB_E_READREGDB);
    EXPECT_EQ(ReadRegistry(), "not a registry\n");
    const OLECHAR progId[] = {'K', 'u', 'b', 'r', 'i', 'x', 'P', 'r', 'o', 'j', '.', 'K', 'u', 'b', 'r', 'i', 'x', 'X', 0};
    CLSID clsid{};
    EXPECT_EQ(fromProgId(progId, &clsid), REGDB_E_READREGDB);

    std::filesystem::remove(registry_);
    EXPECT_EQ(fromProgId(progId, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(fromProgId(nullptr, &clsid), E_POINTER);
    EXPECT_EQ(fromProgId(progId, nullptr), E_POINTER);
    ASSERT_EQ(registerServer(), S_OK);
    EXPECT_EQ(fromProgId(progId, &clsid), S_OK);
    EXPECT_TRUE(KxIsEqualGUID(&clsid, &CLSID_KubrixX));

    char data[8];
    uint32_t size = sizeof data;
    EXPECT_EQ(queryValue("KubrixProj.KubrixX", nullptr, data, &size), KX_HR(0x800700EAu));
    EXPECT_EQ(size, sizeof "KubrixX Control");
    std::string text(size, '\0');
    EXPECT_EQ(queryValue("KubrixProj.KubrixX", "", text.data(), &size), S_OK);
    EXPECT_STREQ(text.c_str(), "KubrixX Control");
    EXPECT_EQ(queryValue("KubrixProj.KubrixX", "NoSuchValue", text.data(), &size), REGDB_E_KEYMISSING);
    EXPECT_EQ(queryValue(nullptr, nullptr, text.data(), &size), E_POINTER);
    EXPECT_EQ(queryValue("KubrixProj.KubrixX", nullptr, text.data(), nullptr), E_POINTER);
    EXPECT_EQ(unregisterServer(), S_OK);
    EXPECT_EQ(fromProgId(progId, &clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(CanUnloadNow(), S_OK);
}

}  // namespace
