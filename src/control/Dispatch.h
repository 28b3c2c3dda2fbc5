#pragma once
// The late-bound side of the component layer: wide strings with a length prefix, the raw
// variant a host passes across the boundary, dispatch parameters and exception information,
// and IDispatch itself. Every structure here has the layout a C host sees in kubrix/kubrix.h.

#include <cstddef>
#include <cstdint>
#include <string>

#include "control/ComBase.h"
#include "support/Variant.h"

namespace kubrix {

//! A wide string owned by whoever holds it: UTF-16, zero-terminated, its byte length stored in
//! the four bytes before the first character. Allocated with malloc, so that a host frees it
//! with the same allocator.
using BSTR = char16_t*;
using DISPID = std::int32_t;
using LCID = std::uint32_t;
using MEMBERID = std::int32_t;

class IDispatch;
class ITypeInfo;

//! A value as it crosses the boundary (24 bytes: the tag, three reserved words, the payload).
struct VARIANT {
    VarType vt;
    std::uint16_t wReserved1, wReserved2, wReserved3;
    union {
        std::int64_t llVal;
        std::int32_t lVal;
        std::uint8_t bVal;
        std::int16_t iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        std::int64_t cyVal;
        double date;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        void* parray;
        std::int8_t cVal;
        std::uint16_t uiVal;
        std::uint32_t ulVal;
        std::uint64_t ullVal;
        std::uint8_t* pbVal;
        std::int16_t* piVal;
        std::int32_t* plVal;
        std::int64_t* pllVal;
        float* pfltVal;
        double* pdblVal;
        VARIANT_BOOL* pboolVal;
        HRESULT* pscode;
        BSTR* pbstrVal;
        IUnknown** ppunkVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        void* byref;
        struct {
            void* pvRecord;
            void* pRecInfo;
        } brecord;
    };
};
static_assert(sizeof(VARIANT) == 24 && offsetof(VARIANT, llVal) == 8);

struct DISPPARAMS {
    //! Arguments in reverse order: the last argument first.
    VARIANT* rgvarg;
    //! Identifiers of the named arguments, which come first in rgvarg.
    DISPID* rgdispidNamedArgs;
    std::uint32_t cArgs;
    std::uint32_t cNamedArgs;
};

struct EXCEPINFO {
    std::uint16_t wCode;
    std::uint16_t wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    std::uint32_t dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    HRESULT scode;
};

inline constexpr std::uint16_t DISPATCH_METHOD = 1;
inline constexpr std::uint16_t DISPATCH_PROPERTYGET = 2;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUT = 4;
inline constexpr std::uint16_t DISPATCH_PROPERTYPUTREF = 8;
inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_VALUE = 0;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr MEMBERID MEMBERID_NIL = -1;

inline constexpr IID IID_NULL{0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
inline constexpr IID IID_IDispatch{0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
//! A font object's dispatch interface (Name, Size, Bold, Italic, Underline, Strikethrough).
inline constexpr IID IID_IFontDisp{0xBEF6E003, 0xA874, 0x101A, {0x8B, 0xBA, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};

//! Late-bound access by member name and dispatch identifier.
class IDispatch : public IUnknown {
public:
    //! 1: the object describes itself.
    virtual HRESULT GetTypeInfoCount(std::uint32_t* count) = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** info) = 0;
    //! names[0] a member, the rest its parameters; unknown names get DISPID_UNKNOWN.
    virtual HRESULT GetIDsOfNames(const IID& iid, char16_t** names, std::uint32_t count, LCID lcid, DISPID* ids) = 0;
    virtual HRESULT Invoke(DISPID id, const IID& iid, LCID lcid, std::uint16_t flags, DISPPARAMS* params,
                           VARIANT* result, EXCEPINFO* exception, std::uint32_t* argError) = 0;
};

// ---- wide strings and variants, allocated as a host frees them

//! A copy of count units of text (null text gives count zero units); null when memory runs out.
BSTR SysAllocStringLen(const char16_t* text, std::uint32_t count);
BSTR SysAllocString(const char16_t* text);
//! Frees s (null is allowed).
void SysFreeString(BSTR s);
//! Units in s (0 for null).
std::uint32_t SysStringLen(BSTR s);
//! A new wide string holding text.
BSTR AllocWide(const std::u16string& text);
//! The units of s (empty for null).
std::u16string WideOf(BSTR s);

void VariantInit(VARIANT* v);
//! Frees what v owns (string, interface reference) and leaves it empty.
void VariantClear(VARIANT* v);

}  // namespace kubrix
