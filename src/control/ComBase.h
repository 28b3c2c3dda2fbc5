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
inline constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111u);

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
    virtual ~IUnknown() = default;
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

}  // namespace kubrix
