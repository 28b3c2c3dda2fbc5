#pragma once
// The small component layer the control is exposed through: HRESULT codes, GUIDs, a
// reference-counted interface base, UTF-16 strings at the boundary and the per-thread
// error-info object that a failing method leaves for its caller.

#include <atomic>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "support/Errors.h"

namespace kubrix {

using HRESULT = std::int32_t;
//! A wide string as it crosses an interface (one UTF-16 unit per element).
using WideString = std::u16string;
//! -1 true, 0 false.
using VARIANT_BOOL = std::int16_t;
inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT S_FALSE = 1;
inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003u);
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFFu);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
inline constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110u);
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);
inline constexpr HRESULT REGDB_E_READREGDB = static_cast<HRESULT>(0x80040150u);
inline constexpr HRESULT REGDB_E_WRITEREGDB = static_cast<HRESULT>(0x80040151u);
inline constexpr HRESULT REGDB_E_KEYMISSING = static_cast<HRESULT>(0x80040152u);
inline constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154u);
inline constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3u);
inline constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001u);
inline constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003u);
inline constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004u);
inline constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
inline constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006u);
inline constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008u);
inline constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
inline constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000Au);
inline constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
inline constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000Eu);
inline constexpr HRESULT DISP_E_PARAMNOTOPTIONAL = static_cast<HRESULT>(0x8002000Fu);
inline constexpr HRESULT TYPE_E_ELEMENTNOTFOUND = static_cast<HRESULT>(0x8002802Bu);
inline constexpr HRESULT CONNECT_E_NOCONNECTION = static_cast<HRESULT>(0x80040200u);
inline constexpr HRESULT CONNECT_E_ADVISELIMIT = static_cast<HRESULT>(0x80040201u);
inline constexpr HRESULT CONNECT_E_CANNOTCONNECT = static_cast<HRESULT>(0x80040202u);
inline constexpr HRESULT OLE_E_NOCONNECTION = static_cast<HRESULT>(0x80040004u);
inline constexpr HRESULT OLE_E_NOTRUNNING = static_cast<HRESULT>(0x80040005u);
inline constexpr HRESULT OLE_E_INVALIDRECT = static_cast<HRESULT>(0x8004000Du);
inline constexpr HRESULT OLEOBJ_E_NOVERBS = static_cast<HRESULT>(0x80040180u);
inline constexpr HRESULT OLEOBJ_S_INVALIDVERB = static_cast<HRESULT>(0x00040181);
inline constexpr HRESULT DV_E_DVASPECT = static_cast<HRESULT>(0x8004006Bu);
inline constexpr HRESULT STG_E_READFAULT = static_cast<HRESULT>(0x8003001Eu);
inline constexpr HRESULT CLASS_E_NOTLICENSED = static_cast<HRESULT>(0x80040112u);

inline constexpr bool Succeeded(HRESULT hr) { return hr >= 0; }
inline constexpr bool Failed(HRESULT hr) { return hr < 0; }

struct GUID {
    std::uint32_t Data1 = 0;
    std::uint16_t Data2 = 0, Data3 = 0;
    std::uint8_t Data4[8] = {};
    friend bool operator==(const GUID& a, const GUID& b);
};
using IID = GUID;
using CLSID = GUID;

//! "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case.
std::string GUIDToString(const GUID& guid);

inline constexpr GUID IID_IUnknown{0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

//! The base of every interface: identity by interface GUID and a reference count.
class IUnknown {
public:
    //! Hands out the interface iid (with a reference) or E_NOINTERFACE and null.
    virtual HRESULT QueryInterface(const IID& iid, void** object) = 0;
    virtual std::uint32_t AddRef() = 0;
    //! Destroys the object when the count reaches 0; returns the new count.
    virtual std::uint32_t Release() = 0;

protected:
    // Not virtual: an interface's table holds only its methods, so that a host written in C sees
    // the same layout. Objects are destroyed through their own class by their last Release.
    ~IUnknown() = default;
};

//! Holds one reference to an interface.
template <typename T>
class ComPtr {
public:
    ComPtr() = default;
    ComPtr(std::nullptr_t) {}
    //! Takes a new reference of p.
    explicit ComPtr(T* p) : p_(p) { if (p_) p_->AddRef(); }
    ComPtr(const ComPtr& o) : ComPtr(o.p_) {}
    ComPtr(ComPtr&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    ComPtr& operator=(ComPtr o) noexcept { std::swap(p_, o.p_); return *this; }
    ~ComPtr() { if (p_) p_->Release(); }
    //! Adopts a reference already counted (as QueryInterface hands it out).
    static ComPtr Attach(T* p) { ComPtr r; r.p_ = p; return r; }
    T* Get() const { return p_; }
    T* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }

private:
    T* p_ = nullptr;
};

//! Asks object for the interface I (identified by iid); empty when it has none.
template <typename I>
ComPtr<I> QueryAs(IUnknown* object, const IID& iid) {
    void* p = nullptr;
    if (!object || Failed(object->QueryInterface(iid, &p)) || !p) return {};
    return ComPtr<I>::Attach(static_cast<I*>(p));
}

//! An error carrying its own HRESULT (an OLE error); negative codes reach the caller as they are.
class EOleSysError : public Exception {
public:
    EOleSysError(const std::string& message, HRESULT code) : Exception(message), ErrorCode(code) {}
    HRESULT ErrorCode;
};

//! What a failing method leaves for its caller on the calling thread.
struct TErrorInfo {
    //! The error's message.
    WideString Description;
    //! The interface whose method failed.
    GUID Guid;
    //! The ProgID of the object that failed.
    WideString Source;
};

//! Replaces the thread's error info (null clears it).
void SetErrorInfo(std::shared_ptr<const TErrorInfo> info);
//! Takes the thread's error info (S_OK) and clears it; S_FALSE and null when there is none.
HRESULT GetErrorInfo(std::shared_ptr<const TErrorInfo>& info);

//! Turns the exception in flight into the method's result: its own code for an EOleSysError
//! with a negative code, E_UNEXPECTED otherwise; records the error info with the message.
HRESULT HandleSafeCallException(const GUID& iid, const WideString& source);

//! Runs body (returning nothing) inside the error frame of an interface method.
template <typename F>
HRESULT SafeCall(const GUID& iid, const WideString& source, F&& body) {
    try {
        body();
        return S_OK;
    } catch (...) {
        return HandleSafeCallException(iid, source);
    }
}

//! Implements the reference count of an object that is destroyed by its last Release.
class TRefCounted {
public:
    std::uint32_t AddRefImpl() { return ++refs_; }
    //! True when the count reached 0 (the caller deletes).
    bool ReleaseImpl(std::uint32_t& left) { left = --refs_; return left == 0; }

private:
    std::atomic<std::uint32_t> refs_{0};
};

//! How many objects the library has handed out and that still live; the server may be unloaded
//! only when none does.
std::atomic<long>& LiveObjectCount();

//! A member that counts its owner among the live objects for as long as it exists.
class TLiveObject {
public:
    TLiveObject() { ++LiveObjectCount(); }
    TLiveObject(const TLiveObject&) : TLiveObject() {}
    TLiveObject& operator=(const TLiveObject&) { return *this; }
    ~TLiveObject() { --LiveObjectCount(); }
};

}  // namespace kubrix
