#pragma once
// Type information of the control's library: the library KubrixProj 1.0 with IKubrixX, its
// events, the coclass KubrixX and the four enumerations, each described by an ITypeInfo that
// a host walks to list members with their identifiers, parameters and result types. The
// structures have the layout a C host sees in kubrix/kubrix.h.

#include <cstdint>

#include "control/Dispatch.h"

namespace kubrix {

using HREFTYPE = std::uint32_t;
class ITypeLib;

struct TYPEDESC {
    union {
        TYPEDESC* lptdesc;  // VT_PTR: the type pointed to
        void* lpadesc;
        HREFTYPE hreftype;  // VT_USERDEFINED: GetRefTypeInfo's argument
    };
    VarType vt;
};

struct PARAMDESC {
    void* pparamdescex;
    std::uint16_t wParamFlags;
};

struct ELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
};

struct IDLDESC {
    std::uintptr_t dwReserved;
    std::uint16_t wIDLFlags;
};

struct TYPEATTR {
    GUID guid;
    LCID lcid;
    std::uint32_t dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    char16_t* lpstrSchema;
    std::uint32_t cbSizeInstance;
    std::int32_t typekind;
    std::uint16_t cFuncs, cVars, cImplTypes, cbSizeVft, cbAlignment, wTypeFlags, wMajorVerNum, wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
};

struct FUNCDESC {
    MEMBERID memid;
    HRESULT* lprgscode;
    ELEMDESC* lprgelemdescParam;
    std::int32_t funckind, invkind, callconv;
    std::int16_t cParams, cParamsOpt, oVft, cScodes;
    ELEMDESC elemdescFunc;
    std::uint16_t wFuncFlags;
};

struct VARDESC {
    MEMBERID memid;
    char16_t* lpstrSchema;
    union {
        std::uint32_t oInst;
        VARIANT* lpvarValue;
    };
    ELEMDESC elemdescVar;
    std::uint16_t wVarFlags;
    std::int32_t varkind;
};

struct TLIBATTR {
    GUID guid;
    LCID lcid;
    std::int32_t syskind;
    std::uint16_t wMajorVerNum, wMinorVerNum, wLibFlags;
};

enum : std::int32_t { TKIND_ENUM = 0, TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
enum : std::int32_t { FUNC_DISPATCH = 4, CC_STDCALL = 4, VAR_CONST = 2 };
enum : std::uint16_t {
    TYPEFLAG_FCANCREATE = 0x2, TYPEFLAG_FCONTROL = 0x20, TYPEFLAG_FDUAL = 0x40,
    TYPEFLAG_FOLEAUTOMATION = 0x100, TYPEFLAG_FDISPATCHABLE = 0x1000,
    PARAMFLAG_FIN = 0x1, PARAMFLAG_FOUT = 0x2,
    IMPLTYPEFLAG_FDEFAULT = 0x1, IMPLTYPEFLAG_FSOURCE = 0x2,
    LIBFLAG_FCONTROL = 0x2,
};

inline constexpr IID IID_ITypeInfo{0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_ITypeLib{0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IProvideClassInfo{0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};

//! One described type. Members a host does not need here answer E_NOTIMPL.
class ITypeInfo : public IUnknown {
public:
    //! A new attribute block; the caller hands it back to ReleaseTypeAttr.
    virtual HRESULT GetTypeAttr(TYPEATTR** attr) = 0;
    virtual HRESULT GetTypeComp(void** comp) = 0;
    //! The index-th member; the caller hands it back to ReleaseFuncDesc.
    virtual HRESULT GetFuncDesc(std::uint32_t index, FUNCDESC** desc) = 0;
    //! The index-th constant of an enumeration; the caller hands it back to ReleaseVarDesc.
    virtual HRESULT GetVarDesc(std::uint32_t index, VARDESC** desc) = 0;
    //! The member's name, then its parameters' names.
    virtual HRESULT GetNames(MEMBERID id, BSTR* names, std::uint32_t maxNames, std::uint32_t* count) = 0;
    virtual HRESULT GetRefTypeOfImplType(std::uint32_t index, HREFTYPE* ref) = 0;
    virtual HRESULT GetImplTypeFlags(std::uint32_t index, std::int32_t* flags) = 0;
    virtual HRESULT GetIDsOfNames(char16_t** names, std::uint32_t count, MEMBERID* ids) = 0;
    virtual HRESULT Invoke(void* instance, MEMBERID id, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                           EXCEPINFO* exception, std::uint32_t* argError) = 0;
    //! MEMBERID_NIL: the type itself. Any out pointer may be null.
    virtual HRESULT GetDocumentation(MEMBERID id, BSTR* name, BSTR* doc, std::uint32_t* helpContext,
                                     BSTR* helpFile) = 0;
    virtual HRESULT GetDllEntry(MEMBERID id, std::int32_t invokeKind, BSTR* dll, BSTR* name, std::uint16_t* ordinal) = 0;
    virtual HRESULT GetRefTypeInfo(HREFTYPE ref, ITypeInfo** info) = 0;
    virtual HRESULT AddressOfMember(MEMBERID id, std::int32_t invokeKind, void** address) = 0;
    virtual HRESULT CreateInstance(IUnknown* outer, const IID& iid, void** object) = 0;
    virtual HRESULT GetMops(MEMBERID id, BSTR* mops) = 0;
    virtual HRESULT GetContainingTypeLib(ITypeLib** lib, std::uint32_t* index) = 0;
    virtual void ReleaseTypeAttr(TYPEATTR* attr) = 0;
    virtual void ReleaseFuncDesc(FUNCDESC* desc) = 0;
    virtual void ReleaseVarDesc(VARDESC* desc) = 0;
};

class ITypeLib : public IUnknown {
public:
    virtual std::uint32_t GetTypeInfoCount() = 0;
    virtual HRESULT GetTypeInfo(std::uint32_t index, ITypeInfo** info) = 0;
    virtual HRESULT GetTypeInfoType(std::uint32_t index, std::int32_t* kind) = 0;
    virtual HRESULT GetTypeInfoOfGuid(const GUID& guid, ITypeInfo** info) = 0;
    virtual HRESULT GetLibAttr(TLIBATTR** attr) = 0;
    virtual HRESULT GetTypeComp(void** comp) = 0;
    //! index -1: the library itself.
    virtual HRESULT GetDocumentation(std::int32_t index, BSTR* name, BSTR* doc, std::uint32_t* helpContext,
                                     BSTR* helpFile) = 0;
    virtual HRESULT IsName(char16_t* name, std::uint32_t hash, std::int32_t* found) = 0;
    virtual HRESULT FindName(char16_t* name, std::uint32_t hash, ITypeInfo** infos, MEMBERID* ids,
                             std::uint16_t* found) = 0;
    virtual void ReleaseTLibAttr(TLIBATTR* attr) = 0;
};

class IProvideClassInfo : public IUnknown {
public:
    //! The coclass's type information.
    virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;
};

//! The library; it lives as long as the program and ignores its reference count.
ITypeLib& KubrixTypeLibrary();

}  // namespace kubrix
