// The server's entry points: the class factory, the four exports a host looks up by name,
// the registry look-ups a host without a component system needs, and the error info of the
// calling thread as an object.

#include <QApplication>

#include <dlfcn.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <memory>

#include "control/KubrixX.h"
#include "control/KubrixXOle.h"
#include "control/OleInterfaces.h"
#include "kubrix/KubrixWidget.h"
#include "server/ServerRegistration.h"
#include "support/Text.h"

#define KUBRIX_EXPORT extern "C" __attribute__((visibility("default")))

namespace kubrix {
namespace {

inline constexpr IID IID_IClassFactory{0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IClassFactory : public IUnknown {
public:
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    virtual HRESULT LockServer(std::int32_t lock) = 0;
};

std::atomic<long> gLocks{0};

// Widgets need an application object. A host that has none (a program in C) gets one of the
// server's, which goes again when the server may be unloaded.
std::unique_ptr<QApplication> gApplication;

void EnsureApplication() {
    if (QCoreApplication::instance()) {
        if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
            throw EOleSysError("The host's application object has no widgets", E_UNEXPECTED);
        return;
    }
    // Without a display the control still works, drawn into the host's images.
    if (!std::getenv("QT_QPA_PLATFORM") && !std::getenv("DISPLAY") && !std::getenv("WAYLAND_DISPLAY"))
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
    static int argc = 1;
    static char name[] = "kubrix";
    static char* argv[] = {name, nullptr};
    gApplication = std::make_unique<QApplication>(argc, argv);
}

// A control handed out by the server counts towards keeping the server loaded.
class TServerKubrixX final : public TKubrixX {
    TLiveObject live_;
};

class TClassFactory final : public IClassFactory {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IClassFactory) {
            *object = static_cast<IClassFactory*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    // The factory is static; a reference held by a host keeps the server loaded all the same.
    std::uint32_t AddRef() override { return static_cast<std::uint32_t>(++LiveObjectCount()); }
    std::uint32_t Release() override { return static_cast<std::uint32_t>(--LiveObjectCount()); }

    HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        *object = nullptr;
        if (outer) return CLASS_E_NOAGGREGATION;
        return SafeCall(IID_IClassFactory, KubrixXProgID, [&] {
            EnsureApplication();
            ComPtr<IKubrixX> control(new TServerKubrixX());
            const HRESULT hr = control->QueryInterface(iid, object);
            if (Failed(hr)) throw EOleSysError("The control has no such interface", hr);
        });
    }
    HRESULT LockServer(std::int32_t lock) override {
        if (lock) ++gLocks;
        else if (gLocks > 0) --gLocks;
        return S_OK;
    }
};

TClassFactory gFactory;

// The thread's error info as an object a host can keep.
class TErrorInfoObject final : public IErrorInfo {
public:
    explicit TErrorInfoObject(std::shared_ptr<const TErrorInfo> info) : info_(std::move(info)) {}
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IErrorInfo) {
            *object = static_cast<IErrorInfo*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return refs_.AddRefImpl(); }
    std::uint32_t Release() override {
        std::uint32_t left = 0;
        if (refs_.ReleaseImpl(left)) delete this;
        return left;
    }
    HRESULT GetGUID(GUID* guid) override {
        if (!guid) return E_POINTER;
        *guid = info_->Guid;
        return S_OK;
    }
    HRESULT GetSource(BSTR* source) override { return Text(source, info_->Source); }
    HRESULT GetDescription(BSTR* description) override { return Text(description, info_->Description); }
    HRESULT GetHelpFile(BSTR* helpFile) override { return Text(helpFile, u""); }
    HRESULT GetHelpContext(std::uint32_t* context) override {
        if (!context) return E_POINTER;
        *context = 0;
        return S_OK;
    }

private:
    static HRESULT Text(BSTR* out, const std::u16string& text) {
        if (!out) return E_POINTER;
        *out = SysAllocStringLen(text.data(), static_cast<std::uint32_t>(text.size()));
        return *out ? S_OK : E_OUTOFMEMORY;
    }
    TRefCounted refs_;
    TLiveObject live_;
    std::shared_ptr<const TErrorInfo> info_;
};

//! The file this code was loaded from.
std::string LibraryPath() {
    Dl_info info{};
    if (!::dladdr(reinterpret_cast<void*>(&LibraryPath), &info) || !info.dli_fname)
        throw EOleSysError("Cannot find the server's own file", E_UNEXPECTED);
    char* real = ::realpath(info.dli_fname, nullptr);
    std::string path = real ? real : info.dli_fname;
    std::free(real);
    return path;
}

//! Runs a registry operation: registry errors become their codes, with the thread's error info.
template <typename F>
HRESULT RegistryCall(F&& body) {
    try {
        return body();
    } catch (const ERegistryError& e) {
        auto info = std::make_shared<TErrorInfo>();
        info->Description = Utf8ToUtf16(e.what());
        info->Source = KubrixXProgID;
        SetErrorInfo(std::move(info));
        return e.Writing ? REGDB_E_WRITEREGDB : REGDB_E_READREGDB;
    } catch (...) {
        return HandleSafeCallException(IID_NULL, KubrixXProgID);
    }
}

}  // namespace

QWidget* CreateKubrixWidget(QWidget* parent, ComPtr<IKubrixX>* control) {
    auto* form = new TServerKubrixX();
    ComPtr<IKubrixX> reference(form);
    if (control) *control = reference;
    return form->Ole().PlaceInto(parent, nullptr, true);
}

}  // namespace kubrix

using namespace kubrix;

KUBRIX_EXPORT HRESULT DllGetClassObject(const CLSID* clsid, const IID* iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    if (!clsid || !iid) return E_INVALIDARG;
    if (!(*clsid == CLASS_KubrixX)) return CLASS_E_CLASSNOTAVAILABLE;
    return gFactory.QueryInterface(*iid, object);
}

KUBRIX_EXPORT HRESULT DllCanUnloadNow() {
    if (LiveObjectCount() > 0 || gLocks > 0) return S_FALSE;
    // Nothing of ours is alive: the application object the server made may go too.
    gApplication.reset();
    return S_OK;
}

KUBRIX_EXPORT HRESULT DllRegisterServer() {
    return RegistryCall([] {
        RegisterServer(TFileRegistry::DefaultPath(), LibraryPath());
        return S_OK;
    });
}

KUBRIX_EXPORT HRESULT DllUnregisterServer() {
    return RegistryCall([] {
        UnregisterServer(TFileRegistry::DefaultPath());
        return S_OK;
    });
}

KUBRIX_EXPORT HRESULT KubrixCLSIDFromProgID(const char16_t* progId, CLSID* clsid) {
    if (!progId || !clsid) return E_POINTER;
    return RegistryCall([&] { return ClassFromProgID(TFileRegistry::DefaultPath(), Utf16ToUtf8(progId), *clsid); });
}

KUBRIX_EXPORT HRESULT KubrixRegQueryValue(const char* key, const char* name, char* data, std::uint32_t* size) {
    if (!key || !size) return E_POINTER;
    return RegistryCall([&] {
        TFileRegistry registry;
        registry.Load(TFileRegistry::DefaultPath());
        const auto value = registry.Value(key, name ? name : "");
        if (!value) return REGDB_E_KEYMISSING;
        const std::uint32_t needed = static_cast<std::uint32_t>(value->size() + 1);
        const std::uint32_t room = *size;
        *size = needed;
        if (!data || room < needed) return static_cast<HRESULT>(0x800700EAu);  // more data
        std::memcpy(data, value->c_str(), needed);
        return S_OK;
    });
}

KUBRIX_EXPORT HRESULT KubrixGetErrorInfo(std::uint32_t reserved, IErrorInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (reserved != 0) return E_INVALIDARG;
    std::shared_ptr<const TErrorInfo> held;
    if (GetErrorInfo(held) != S_OK) return S_FALSE;
    *info = new TErrorInfoObject(std::move(held));
    (*info)->AddRef();
    return S_OK;
}
