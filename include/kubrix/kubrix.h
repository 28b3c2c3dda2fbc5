/* kubrix.h: the Kubrix pivot control for hosts written in C.
 *
 * libkubrix is an in-process component server. A host loads it with dlopen, registers it
 * (DllRegisterServer writes the registry file: $KUBRIX_REGISTRY, else
 * $XDG_CONFIG_HOME/kubrix/registry, else ~/.config/kubrix/registry), finds the class of the
 * ProgID "KubrixProj.KubrixX" and the library registered for it, asks DllGetClassObject for
 * the class factory and creates the control. It then drives the control by member names
 * through IDispatch and receives its events through a connection point.
 *
 * Every interface below is a pointer to a table of functions, each taking the interface
 * pointer first, in the order and with the types the control implements them. Wide strings
 * are UTF-16; a BSTR is allocated with malloc (the inline helpers below), four bytes of length
 * before its first unit, so host and control free each other's strings alike.
 */
#ifndef KUBRIX_KUBRIX_H
#define KUBRIX_KUBRIX_H

#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

/* ---- basic types */

typedef int32_t HRESULT;
typedef uint16_t OLECHAR; /* one UTF-16 unit */
typedef OLECHAR* BSTR;
typedef int16_t VARIANT_BOOL;
typedef uint16_t VARTYPE;
typedef int32_t DISPID;
typedef int32_t MEMBERID;
typedef uint32_t LCID;
typedef uint32_t HREFTYPE;
typedef void* HWND;              /* a window: the host's QWidget* */

#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

typedef struct GUID {
    uint32_t Data1;
    uint16_t Data2, Data3;
    uint8_t Data4[8];
} GUID;
typedef GUID IID;
typedef GUID CLSID;

static inline int KxIsEqualGUID(const GUID* a, const GUID* b) { return memcmp(a, b, sizeof(GUID)) == 0; }

/* ---- result codes */

#define KX_HR(x) ((HRESULT)(uint32_t)(x))
#define S_OK KX_HR(0)
#define S_FALSE KX_HR(1)
#define E_NOTIMPL KX_HR(0x80004001u)
#define E_NOINTERFACE KX_HR(0x80004002u)
#define E_POINTER KX_HR(0x80004003u)
#define E_FAIL KX_HR(0x80004005u)
#define E_UNEXPECTED KX_HR(0x8000FFFFu)
#define E_INVALIDARG KX_HR(0x80070057u)
#define E_OUTOFMEMORY KX_HR(0x8007000Eu)
#define CLASS_E_NOAGGREGATION KX_HR(0x80040110u)
#define CLASS_E_CLASSNOTAVAILABLE KX_HR(0x80040111u)
#define REGDB_E_READREGDB KX_HR(0x80040150u)  /* registry file unreadable or malformed */
#define REGDB_E_WRITEREGDB KX_HR(0x80040151u) /* registry file could not be written */
#define REGDB_E_KEYMISSING KX_HR(0x80040152u)
#define REGDB_E_CLASSNOTREG KX_HR(0x80040154u)
#define CO_E_CLASSSTRING KX_HR(0x800401F3u)   /* ProgID not registered */
#define DISP_E_UNKNOWNINTERFACE KX_HR(0x80020001u)
#define DISP_E_MEMBERNOTFOUND KX_HR(0x80020003u)
#define DISP_E_PARAMNOTFOUND KX_HR(0x80020004u)
#define DISP_E_TYPEMISMATCH KX_HR(0x80020005u)
#define DISP_E_UNKNOWNNAME KX_HR(0x80020006u)
#define DISP_E_BADVARTYPE KX_HR(0x80020008u)
#define DISP_E_EXCEPTION KX_HR(0x80020009u)   /* the member failed: see EXCEPINFO */
#define DISP_E_OVERFLOW KX_HR(0x8002000Au)
#define DISP_E_BADINDEX KX_HR(0x8002000Bu)
#define DISP_E_BADPARAMCOUNT KX_HR(0x8002000Eu)
#define DISP_E_PARAMNOTOPTIONAL KX_HR(0x8002000Fu)
#define TYPE_E_ELEMENTNOTFOUND KX_HR(0x8002802Bu)
#define CONNECT_E_NOCONNECTION KX_HR(0x80040200u)
#define CONNECT_E_ADVISELIMIT KX_HR(0x80040201u)
#define CONNECT_E_CANNOTCONNECT KX_HR(0x80040202u)
#define SUCCEEDED(hr) ((HRESULT)(hr) >= 0)
#define FAILED(hr) ((HRESULT)(hr) < 0)

/* ---- identities */

static const CLSID CLSID_KubrixX = {0x5B0E3A44, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
static const GUID LIBID_KubrixProj = {0x5B0E3A41, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
static const IID IID_IKubrixX = {0x5B0E3A42, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
static const IID DIID_IKubrixXEvents = {0x5B0E3A43, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
static const IID IID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};
static const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_ITypeInfo = {0x00020401, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_ITypeLib = {0x00020402, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IProvideClassInfo = {0xB196B283, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
static const IID IID_IConnectionPointContainer = {0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
static const IID IID_IConnectionPoint = {0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
static const IID IID_ISupportErrorInfo = {0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
static const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
static const IID IID_IViewObject = {0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IViewObject2 = {0x00000127, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IOleObject = {0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IOleInPlaceObject = {0x00000113, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
static const IID IID_IOleControl = {0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
static const IID IID_IPersistStreamInit = {0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
static const IID IID_IPersistPropertyBag = {0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
static const IID IID_IObjectSafety = {0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
static const IID IID_IQuickActivate = {0xCF51ED10, 0x62FE, 0x11CF, {0xBF, 0x86, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0x36}};

#define KUBRIX_PROGID "KubrixProj.KubrixX"

/* Dispatch identifiers of the events (IKubrixXEvents). */
enum {
    KX_DISPID_OnActivate = 1, KX_DISPID_OnClick = 2, KX_DISPID_OnCreate = 3, KX_DISPID_OnDblClick = 5,
    KX_DISPID_OnDestroy = 6, KX_DISPID_OnDeactivate = 7, KX_DISPID_OnKeyPress = 11, KX_DISPID_OnPaint = 16
};

/* ---- wide strings */

static inline BSTR SysAllocStringLen(const OLECHAR* text, uint32_t count) {
    unsigned char* block;
    uint32_t bytes;
    if (count > (0x7FFFFFF0u - 6) / 2) return NULL;
    block = (unsigned char*)malloc(4 + (size_t)count * 2 + 2);
    if (!block) return NULL;
    bytes = count * 2;
    memcpy(block, &bytes, 4);
    if (text) memcpy(block + 4, text, bytes);
    else memset(block + 4, 0, bytes);
    memset(block + 4 + bytes, 0, 2);
    return (BSTR)(block + 4);
}
static inline uint32_t SysStringLen(BSTR s) {
    uint32_t bytes = 0;
    if (s) memcpy(&bytes, (unsigned char*)s - 4, 4);
    return bytes / 2;
}
static inline void SysFreeString(BSTR s) {
    if (s) free((unsigned char*)s - 4);
}
/* A wide string from UTF-8 text (code points beyond the first plane become surrogate pairs). */
static inline BSTR KxStringFromUtf8(const char* text) {
    size_t n = strlen(text), i = 0;
    uint32_t units = 0;
    OLECHAR* buf = (OLECHAR*)malloc((n + 1) * sizeof(OLECHAR) * 2);
    BSTR s;
    if (!buf) return NULL;
    while (i < n) {
        unsigned char c = (unsigned char)text[i];
        uint32_t cp;
        int extra = c >= 0xF0 ? 3 : c >= 0xE0 ? 2 : c >= 0xC0 ? 1 : 0;
        cp = extra == 0 ? c : c & (0x3F >> extra);
        for (++i; extra > 0 && i < n; --extra, ++i) cp = (cp << 6) | ((unsigned char)text[i] & 0x3F);
        if (cp >= 0x10000) {
            cp -= 0x10000;
            buf[units++] = (OLECHAR)(0xD800 + (cp >> 10));
            buf[units++] = (OLECHAR)(0xDC00 + (cp & 0x3FF));
        } else {
            buf[units++] = (OLECHAR)cp;
        }
    }
    s = SysAllocStringLen(buf, units);
    free(buf);
    return s;
}

/* ---- variants */

enum {
    VT_EMPTY = 0, VT_NULL = 1, VT_I2 = 2, VT_I4 = 3, VT_R4 = 4, VT_R8 = 5, VT_CY = 6, VT_DATE = 7, VT_BSTR = 8,
    VT_DISPATCH = 9, VT_ERROR = 10, VT_BOOL = 11, VT_VARIANT = 12, VT_UNKNOWN = 13, VT_I1 = 16, VT_UI1 = 17,
    VT_UI2 = 18, VT_UI4 = 19, VT_I8 = 20, VT_UI8 = 21, VT_INT = 22, VT_UINT = 23, VT_VOID = 24,
    VT_USERDEFINED = 29, VT_BYREF = 0x4000
};

struct IUnknown;
struct IDispatch;
struct ITypeInfo;

typedef struct VARIANT {
    VARTYPE vt;
    uint16_t wReserved1, wReserved2, wReserved3;
    union {
        int64_t llVal;
        int32_t lVal;
        uint8_t bVal;
        int16_t iVal;
        float fltVal;
        double dblVal;
        VARIANT_BOOL boolVal;
        HRESULT scode;
        int64_t cyVal; /* currency: scaled by 10 000 */
        double date;   /* days from 1899-12-30 */
        BSTR bstrVal;
        struct IUnknown* punkVal;
        struct IDispatch* pdispVal;
        uint32_t ulVal;
        int16_t* piVal; /* VT_I2 | VT_BYREF */
        int32_t* plVal;
        BSTR* pbstrVal;
        struct VARIANT* pvarVal;
        void* byref;
        struct {
            void* pvRecord;
            void* pRecInfo;
        } brecord;
    } u;
} VARIANT;

typedef struct DISPPARAMS {
    VARIANT* rgvarg; /* the last argument first */
    DISPID* rgdispidNamedArgs;
    uint32_t cArgs;
    uint32_t cNamedArgs;
} DISPPARAMS;

typedef struct EXCEPINFO {
    uint16_t wCode;
    uint16_t wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    uint32_t dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(struct EXCEPINFO*);
    HRESULT scode;
} EXCEPINFO;

#define DISPATCH_METHOD 1
#define DISPATCH_PROPERTYGET 2
#define DISPATCH_PROPERTYPUT 4
#define DISPATCH_PROPERTYPUTREF 8
#define DISPID_UNKNOWN (-1)
#define DISPID_PROPERTYPUT (-3)
#define MEMBERID_NIL (-1)

static inline void VariantInit(VARIANT* v) { memset(v, 0, sizeof *v); }
/* Frees what v owns: a string, or a reference to an interface. */
static inline void VariantClear(VARIANT* v);

/* ---- interfaces */

#define KX_INTERFACE(name) \
    typedef struct name { const struct name##Vtbl* lpVtbl; } name; \
    typedef struct name##Vtbl name##Vtbl
#define KX_IUNKNOWN_METHODS(name) \
    HRESULT (*QueryInterface)(name * This, const IID * iid, void** object); \
    uint32_t (*AddRef)(name * This); \
    uint32_t (*Release)(name * This)
#define KX_IDISPATCH_METHODS(name) \
    KX_IUNKNOWN_METHODS(name); \
    HRESULT (*GetTypeInfoCount)(name * This, uint32_t * count); \
    HRESULT (*GetTypeInfo)(name * This, uint32_t index, LCID lcid, struct ITypeInfo * *info); \
    HRESULT (*GetIDsOfNames)(name * This, const IID * iid, OLECHAR * *names, uint32_t count, LCID lcid, DISPID * ids); \
    HRESULT (*Invoke)(name * This, DISPID id, const IID * iid, LCID lcid, uint16_t flags, DISPPARAMS * params, \
                      VARIANT * result, EXCEPINFO * exception, uint32_t * argError)

KX_INTERFACE(IUnknown);
struct IUnknownVtbl { KX_IUNKNOWN_METHODS(IUnknown); };

KX_INTERFACE(IDispatch);
struct IDispatchVtbl { KX_IDISPATCH_METHODS(IDispatch); };

/* The control's interface. Its table begins with IDispatch; the native slots that follow take
   C++ strings and serve C++ hosts (kubrix/control/IKubrixX.h), so a C host calls by name. */
KX_INTERFACE(IKubrixX);
struct IKubrixXVtbl { KX_IDISPATCH_METHODS(IKubrixX); };

KX_INTERFACE(IClassFactory);
struct IClassFactoryVtbl {
    KX_IUNKNOWN_METHODS(IClassFactory);
    HRESULT (*CreateInstance)(IClassFactory* This, IUnknown* outer, const IID* iid, void** object);
    HRESULT (*LockServer)(IClassFactory* This, int32_t lock);
};

KX_INTERFACE(IErrorInfo);
struct IErrorInfoVtbl {
    KX_IUNKNOWN_METHODS(IErrorInfo);
    HRESULT (*GetGUID)(IErrorInfo* This, GUID* guid);
    HRESULT (*GetSource)(IErrorInfo* This, BSTR* source);
    HRESULT (*GetDescription)(IErrorInfo* This, BSTR* description);
    HRESULT (*GetHelpFile)(IErrorInfo* This, BSTR* helpFile);
    HRESULT (*GetHelpContext)(IErrorInfo* This, uint32_t* context);
};

KX_INTERFACE(ISupportErrorInfo);
struct ISupportErrorInfoVtbl {
    KX_IUNKNOWN_METHODS(ISupportErrorInfo);
    HRESULT (*InterfaceSupportsErrorInfo)(ISupportErrorInfo* This, const IID* iid);
};

struct IConnectionPointContainer;
KX_INTERFACE(IConnectionPoint);
struct IConnectionPointVtbl {
    KX_IUNKNOWN_METHODS(IConnectionPoint);
    HRESULT (*GetConnectionInterface)(IConnectionPoint* This, IID* iid);
    HRESULT (*GetConnectionPointContainer)(IConnectionPoint* This, struct IConnectionPointContainer** container);
    /* sink answers IDispatch; each event arrives as its Invoke with the event's identifier */
    HRESULT (*Advise)(IConnectionPoint* This, IUnknown* sink, uint32_t* cookie);
    HRESULT (*Unadvise)(IConnectionPoint* This, uint32_t cookie);
    HRESULT (*EnumConnections)(IConnectionPoint* This, void** connections); /* E_NOTIMPL */
};

KX_INTERFACE(IConnectionPointContainer);
struct IConnectionPointContainerVtbl {
    KX_IUNKNOWN_METHODS(IConnectionPointContainer);
    HRESULT (*EnumConnectionPoints)(IConnectionPointContainer* This, void** points); /* E_NOTIMPL */
    HRESULT (*FindConnectionPoint)(IConnectionPointContainer* This, const IID* iid, IConnectionPoint** point);
};

/* ---- type information */

typedef struct TYPEDESC {
    union {
        struct TYPEDESC* lptdesc;
        void* lpadesc;
        HREFTYPE hreftype; /* VT_USERDEFINED: for GetRefTypeInfo */
    } u;
    VARTYPE vt;
} TYPEDESC;

typedef struct PARAMDESC {
    void* pparamdescex;
    uint16_t wParamFlags; /* 1 in, 2 out */
} PARAMDESC;

typedef struct ELEMDESC {
    TYPEDESC tdesc;
    PARAMDESC paramdesc;
} ELEMDESC;

typedef struct IDLDESC {
    uintptr_t dwReserved;
    uint16_t wIDLFlags;
} IDLDESC;

enum { TKIND_ENUM = 0, TKIND_INTERFACE = 3, TKIND_DISPATCH = 4, TKIND_COCLASS = 5 };
enum { INVOKE_FUNC = 1, INVOKE_PROPERTYGET = 2, INVOKE_PROPERTYPUT = 4, INVOKE_PROPERTYPUTREF = 8 };

typedef struct TYPEATTR {
    GUID guid;
    LCID lcid;
    uint32_t dwReserved;
    MEMBERID memidConstructor;
    MEMBERID memidDestructor;
    OLECHAR* lpstrSchema;
    uint32_t cbSizeInstance;
    int32_t typekind;
    uint16_t cFuncs, cVars, cImplTypes, cbSizeVft, cbAlignment, wTypeFlags, wMajorVerNum, wMinorVerNum;
    TYPEDESC tdescAlias;
    IDLDESC idldescType;
} TYPEATTR;

typedef struct FUNCDESC {
    MEMBERID memid; /* the dispatch identifier */
    HRESULT* lprgscode;
    ELEMDESC* lprgelemdescParam;
    int32_t funckind, invkind, callconv;
    int16_t cParams, cParamsOpt, oVft, cScodes;
    ELEMDESC elemdescFunc; /* the result's type (VT_VOID: none) */
    uint16_t wFuncFlags;
} FUNCDESC;

typedef struct VARDESC {
    MEMBERID memid;
    OLECHAR* lpstrSchema;
    union {
        uint32_t oInst;
        VARIANT* lpvarValue; /* an enumeration's constant */
    } u;
    ELEMDESC elemdescVar;
    uint16_t wVarFlags;
    int32_t varkind;
} VARDESC;

typedef struct TLIBATTR {
    GUID guid;
    LCID lcid;
    int32_t syskind;
    uint16_t wMajorVerNum, wMinorVerNum, wLibFlags;
} TLIBATTR;

struct ITypeLib;
KX_INTERFACE(ITypeInfo);
struct ITypeInfoVtbl {
    KX_IUNKNOWN_METHODS(ITypeInfo);
    HRESULT (*GetTypeAttr)(ITypeInfo* This, TYPEATTR** attr);
    HRESULT (*GetTypeComp)(ITypeInfo* This, void** comp);
    HRESULT (*GetFuncDesc)(ITypeInfo* This, uint32_t index, FUNCDESC** desc);
    HRESULT (*GetVarDesc)(ITypeInfo* This, uint32_t index, VARDESC** desc);
    HRESULT (*GetNames)(ITypeInfo* This, MEMBERID id, BSTR* names, uint32_t maxNames, uint32_t* count);
    HRESULT (*GetRefTypeOfImplType)(ITypeInfo* This, uint32_t index, HREFTYPE* ref);
    HRESULT (*GetImplTypeFlags)(ITypeInfo* This, uint32_t index, int32_t* flags);
    HRESULT (*GetIDsOfNames)(ITypeInfo* This, OLECHAR** names, uint32_t count, MEMBERID* ids);
    HRESULT (*Invoke)(ITypeInfo* This, void* instance, MEMBERID id, uint16_t flags, DISPPARAMS* params,
                      VARIANT* result, EXCEPINFO* exception, uint32_t* argError);
    HRESULT (*GetDocumentation)(ITypeInfo* This, MEMBERID id, BSTR* name, BSTR* doc, uint32_t* helpContext,
                                BSTR* helpFile);
    HRESULT (*GetDllEntry)(ITypeInfo* This, MEMBERID id, int32_t invokeKind, BSTR* dll, BSTR* name, uint16_t* ordinal);
    HRESULT (*GetRefTypeInfo)(ITypeInfo* This, HREFTYPE ref, ITypeInfo** info);
    HRESULT (*AddressOfMember)(ITypeInfo* This, MEMBERID id, int32_t invokeKind, void** address);
    HRESULT (*CreateInstance)(ITypeInfo* This, IUnknown* outer, const IID* iid, void** object);
    HRESULT (*GetMops)(ITypeInfo* This, MEMBERID id, BSTR* mops);
    HRESULT (*GetContainingTypeLib)(ITypeInfo* This, struct ITypeLib** lib, uint32_t* index);
    void (*ReleaseTypeAttr)(ITypeInfo* This, TYPEATTR* attr);
    void (*ReleaseFuncDesc)(ITypeInfo* This, FUNCDESC* desc);
    void (*ReleaseVarDesc)(ITypeInfo* This, VARDESC* desc);
};

KX_INTERFACE(ITypeLib);
struct ITypeLibVtbl {
    KX_IUNKNOWN_METHODS(ITypeLib);
    uint32_t (*GetTypeInfoCount)(ITypeLib* This);
    HRESULT (*GetTypeInfo)(ITypeLib* This, uint32_t index, ITypeInfo** info);
    HRESULT (*GetTypeInfoType)(ITypeLib* This, uint32_t index, int32_t* kind);
    HRESULT (*GetTypeInfoOfGuid)(ITypeLib* This, const GUID* guid, ITypeInfo** info);
    HRESULT (*GetLibAttr)(ITypeLib* This, TLIBATTR** attr);
    HRESULT (*GetTypeComp)(ITypeLib* This, void** comp);
    HRESULT (*GetDocumentation)(ITypeLib* This, int32_t index, BSTR* name, BSTR* doc, uint32_t* helpContext,
                                BSTR* helpFile);
    HRESULT (*IsName)(ITypeLib* This, OLECHAR* name, uint32_t hash, int32_t* found);
    HRESULT (*FindName)(ITypeLib* This, OLECHAR* name, uint32_t hash, ITypeInfo** infos, MEMBERID* ids,
                        uint16_t* found);
    void (*ReleaseTLibAttr)(ITypeLib* This, TLIBATTR* attr);
};

KX_INTERFACE(IProvideClassInfo);
struct IProvideClassInfoVtbl {
    KX_IUNKNOWN_METHODS(IProvideClassInfo);
    HRESULT (*GetClassInfo)(IProvideClassInfo* This, ITypeInfo** info);
};

/* ---- drawing and activation */

typedef struct RECT { int32_t left, top, right, bottom; } RECT;
typedef RECT RECTL;
typedef struct SIZEL { int32_t cx, cy; } SIZEL;

/* The device context of IViewObject::Draw: 32-bit premultiplied ARGB pixels the host owns. */
typedef struct KUBRIX_IMAGE {
    uint32_t* Pixels;
    int32_t Width, Height;
    int32_t Stride; /* bytes from one row to the next */
} KUBRIX_IMAGE;

#define DVASPECT_CONTENT 1

KX_INTERFACE(IViewObject2);
struct IViewObject2Vtbl {
    KX_IUNKNOWN_METHODS(IViewObject2);
    HRESULT (*Draw)(IViewObject2* This, uint32_t aspect, int32_t index, void* aspectInfo, void* target,
                    void* targetDC, KUBRIX_IMAGE* draw, const RECTL* bounds, const RECTL* wBounds, void* cont,
                    uintptr_t contArg);
    HRESULT (*GetColorSet)(IViewObject2* This, uint32_t aspect, int32_t index, void* aspectInfo, void* target,
                           void* targetDC, void** colors);
    HRESULT (*Freeze)(IViewObject2* This, uint32_t aspect, int32_t index, void* aspectInfo, uint32_t* freeze);
    HRESULT (*Unfreeze)(IViewObject2* This, uint32_t freeze);
    HRESULT (*SetAdvise)(IViewObject2* This, uint32_t aspects, uint32_t flags, void* sink);
    HRESULT (*GetAdvise)(IViewObject2* This, uint32_t* aspects, uint32_t* flags, void** sink);
    HRESULT (*GetExtent)(IViewObject2* This, uint32_t aspect, int32_t index, void* target, SIZEL* size);
};

KX_INTERFACE(IOleControl);
struct IOleControlVtbl {
    KX_IUNKNOWN_METHODS(IOleControl);
    HRESULT (*GetControlInfo)(IOleControl* This, void* info);
    HRESULT (*OnMnemonic)(IOleControl* This, void* msg);
    HRESULT (*OnAmbientPropertyChange)(IOleControl* This, DISPID id);
    HRESULT (*FreezeEvents)(IOleControl* This, int32_t freeze); /* events are dropped while frozen */
};

KX_INTERFACE(IObjectSafety);
struct IObjectSafetyVtbl {
    KX_IUNKNOWN_METHODS(IObjectSafety);
    HRESULT (*GetInterfaceSafetyOptions)(IObjectSafety* This, const IID* iid, uint32_t* supported, uint32_t* enabled);
    HRESULT (*SetInterfaceSafetyOptions)(IObjectSafety* This, const IID* iid, uint32_t mask, uint32_t enabled);
};

static inline void VariantClear(VARIANT* v) {
    if (v->vt == VT_BSTR) SysFreeString(v->u.bstrVal);
    else if (v->vt == VT_UNKNOWN && v->u.punkVal) v->u.punkVal->lpVtbl->Release(v->u.punkVal);
    else if (v->vt == VT_DISPATCH && v->u.pdispVal) v->u.pdispVal->lpVtbl->Release(v->u.pdispVal);
    VariantInit(v);
}

/* ---- the library's exports */

/* The class factory (IClassFactory) of CLSID_KubrixX; CLASS_E_CLASSNOTAVAILABLE for others. */
typedef HRESULT (*PFN_DllGetClassObject)(const CLSID* clsid, const IID* iid, void** object);
/* S_OK when no object of the library and no server lock is alive (S_FALSE otherwise). */
typedef HRESULT (*PFN_DllCanUnloadNow)(void);
/* Writes (or removes) the class, ProgID, interface and type-library entries of the registry. */
typedef HRESULT (*PFN_DllRegisterServer)(void);
typedef HRESULT (*PFN_DllUnregisterServer)(void);
/* The class registered for a ProgID; CO_E_CLASSSTRING when none is. */
typedef HRESULT (*PFN_KubrixCLSIDFromProgID)(const OLECHAR* progId, CLSID* clsid);
/* A registry value as UTF-8 (name NULL or "": the key's default value); *size in bytes with the
   terminating zero, updated to what is needed. REGDB_E_KEYMISSING when absent. */
typedef HRESULT (*PFN_KubrixRegQueryValue)(const char* key, const char* name, char* data, uint32_t* size);
/* The calling thread's error info of the last failing call (S_FALSE when there is none). */
typedef HRESULT (*PFN_KubrixGetErrorInfo)(uint32_t reserved, IErrorInfo** info);

#ifdef __cplusplus
}
#endif

#endif /* KUBRIX_KUBRIX_H */
