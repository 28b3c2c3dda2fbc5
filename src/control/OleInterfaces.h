#pragma once
// The interfaces a container uses on a control: events through a connection point, error
// info, class info, persistence, drawing into the container's image, in-place activation into
// a container's window, safety and quick activation. Their tables have the layout a C host
// sees in kubrix/kubrix.h. A window handle here is the container's QWidget; a device context
// is a TKubrixImage the container owns.

#include <cstdint>

#include "control/Dispatch.h"
#include "control/TypeLibrary.h"

namespace kubrix {

using HWND = void*;
struct RECT { std::int32_t left, top, right, bottom; };
using RECTL = RECT;
struct SIZEL { std::int32_t cx, cy; };

//! What a device context stands for: 32-bit premultiplied ARGB pixels the caller owns.
struct TKubrixImage {
    std::uint32_t* Pixels;
    std::int32_t Width, Height;
    //! Bytes from one row to the next.
    std::int32_t Stride;
};

inline constexpr IID IID_ISupportErrorInfo{0xDF0B3D60, 0x548F, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_IErrorInfo{0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};
inline constexpr IID IID_IConnectionPointContainer{0xB196B284, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IConnectionPoint{0xB196B286, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IOleObject{0x00000112, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleWindow{0x00000114, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceObject{0x00000113, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleInPlaceActiveObject{0x00000117, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IOleControl{0xB196B288, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IViewObject{0x0000010D, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IViewObject2{0x00000127, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersist{0x0000010C, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IPersistStreamInit{0x7FD52380, 0x4E07, 0x101B, {0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
inline constexpr IID IID_IPersistPropertyBag{0x37D84F60, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
inline constexpr IID IID_IPersistStorage{0x0000010A, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IObjectSafety{0xCB5BDC81, 0x93C1, 0x11CF, {0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64}};
inline constexpr IID IID_IQuickActivate{0xCF51ED10, 0x62FE, 0x11CF, {0xBF, 0x86, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0x36}};
inline constexpr IID IID_ISpecifyPropertyPages{0xB196B28B, 0xBAB4, 0x101A, {0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07}};
inline constexpr IID IID_IPerPropertyBrowsing{0x376BD3AA, 0x3845, 0x101B, {0x84, 0xED, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13}};
inline constexpr IID IID_ISimpleFrameSite{0x742B0E01, 0x14E6, 0x101B, {0x91, 0x4E, 0x00, 0xAA, 0x00, 0x30, 0x0C, 0xAB}};
inline constexpr IID IID_IDataObject{0x0000010E, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

class IErrorInfo : public IUnknown {
public:
    virtual HRESULT GetGUID(GUID* guid) = 0;
    virtual HRESULT GetSource(BSTR* source) = 0;
    virtual HRESULT GetDescription(BSTR* description) = 0;
    virtual HRESULT GetHelpFile(BSTR* helpFile) = 0;
    virtual HRESULT GetHelpContext(std::uint32_t* helpContext) = 0;
};

class ISupportErrorInfo : public IUnknown {
public:
    //! S_OK when failures of iid's methods leave error info.
    virtual HRESULT InterfaceSupportsErrorInfo(const IID& iid) = 0;
};

class IConnectionPointContainer;

class IConnectionPoint : public IUnknown {
public:
    virtual HRESULT GetConnectionInterface(IID* iid) = 0;
    virtual HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) = 0;
    //! sink must answer IDispatch; events arrive as its Invoke with their identifiers.
    virtual HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) = 0;
    virtual HRESULT Unadvise(std::uint32_t cookie) = 0;
    virtual HRESULT EnumConnections(void** connections) = 0;
};

class IConnectionPointContainer : public IUnknown {
public:
    virtual HRESULT EnumConnectionPoints(void** points) = 0;
    virtual HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) = 0;
};

//! A byte stream of the container's (only Read and Write are called).
class ISequentialStream : public IUnknown {
public:
    virtual HRESULT Read(void* data, std::uint32_t size, std::uint32_t* read) = 0;
    virtual HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* written) = 0;
};
using IStream = ISequentialStream;

//! Named values of the container's.
class IPropertyBag : public IUnknown {
public:
    virtual HRESULT Read(const char16_t* name, VARIANT* value, IUnknown* errorLog) = 0;
    virtual HRESULT Write(const char16_t* name, VARIANT* value) = 0;
};

class IPersist : public IUnknown {
public:
    virtual HRESULT GetClassID(CLSID* clsid) = 0;
};

class IPersistStreamInit : public IPersist {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT Load(IStream* stream) = 0;
    virtual HRESULT Save(IStream* stream, std::int32_t clearDirty) = 0;
    virtual HRESULT GetSizeMax(std::uint64_t* size) = 0;
    virtual HRESULT InitNew() = 0;
};

class IPersistPropertyBag : public IPersist {
public:
    virtual HRESULT InitNew() = 0;
    virtual HRESULT Load(IPropertyBag* bag, IUnknown* errorLog) = 0;
    virtual HRESULT Save(IPropertyBag* bag, std::int32_t clearDirty, std::int32_t saveAll) = 0;
};

class IPersistStorage : public IPersist {
public:
    virtual HRESULT IsDirty() = 0;
    virtual HRESULT InitNew(void* storage) = 0;
    virtual HRESULT Load(void* storage) = 0;
    virtual HRESULT Save(void* storage, std::int32_t sameAsLoad) = 0;
    virtual HRESULT SaveCompleted(void* storage) = 0;
    virtual HRESULT HandsOffStorage() = 0;
};

class IOleObject : public IUnknown {
public:
    virtual HRESULT SetClientSite(IUnknown* site) = 0;
    virtual HRESULT GetClientSite(IUnknown** site) = 0;
    virtual HRESULT SetHostNames(const char16_t* app, const char16_t* object) = 0;
    virtual HRESULT Close(std::uint32_t saveOption) = 0;
    virtual HRESULT SetMoniker(std::uint32_t which, void* moniker) = 0;
    virtual HRESULT GetMoniker(std::uint32_t assign, std::uint32_t which, void** moniker) = 0;
    virtual HRESULT InitFromData(void* data, std::int32_t creation, std::uint32_t reserved) = 0;
    virtual HRESULT GetClipboardData(std::uint32_t reserved, void** data) = 0;
    //! Activation verbs place the control into parent (a QWidget) at rect.
    virtual HRESULT DoVerb(std::int32_t verb, void* msg, IUnknown* site, std::int32_t index, HWND parent,
                           const RECT* rect) = 0;
    virtual HRESULT EnumVerbs(void** verbs) = 0;
    virtual HRESULT Update() = 0;
    virtual HRESULT IsUpToDate() = 0;
    virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
    //! The type name in a block the caller frees with free().
    virtual HRESULT GetUserType(std::uint32_t form, char16_t** name) = 0;
    //! In hundredths of a millimetre.
    virtual HRESULT SetExtent(std::uint32_t aspect, SIZEL* size) = 0;
    virtual HRESULT GetExtent(std::uint32_t aspect, SIZEL* size) = 0;
    virtual HRESULT Advise(void* sink, std::uint32_t* connection) = 0;
    virtual HRESULT Unadvise(std::uint32_t connection) = 0;
    virtual HRESULT EnumAdvise(void** advise) = 0;
    virtual HRESULT GetMiscStatus(std::uint32_t aspect, std::uint32_t* status) = 0;
    virtual HRESULT SetColorScheme(void* palette) = 0;
};

class IOleWindow : public IUnknown {
public:
    //! The control's own widget.
    virtual HRESULT GetWindow(HWND* window) = 0;
    virtual HRESULT ContextSensitiveHelp(std::int32_t enter) = 0;
};

class IOleInPlaceObject : public IOleWindow {
public:
    virtual HRESULT InPlaceDeactivate() = 0;
    virtual HRESULT UIDeactivate() = 0;
    virtual HRESULT SetObjectRects(const RECT* position, const RECT* clip) = 0;
    virtual HRESULT ReactivateAndUndo() = 0;
};

class IOleInPlaceActiveObject : public IOleWindow {
public:
    virtual HRESULT TranslateAccelerator(void* msg) = 0;
    virtual HRESULT OnFrameWindowActivate(std::int32_t activate) = 0;
    virtual HRESULT OnDocWindowActivate(std::int32_t activate) = 0;
    virtual HRESULT ResizeBorder(const RECT* border, void* window, std::int32_t frame) = 0;
    virtual HRESULT EnableModeless(std::int32_t enable) = 0;
};

class IOleControl : public IUnknown {
public:
    virtual HRESULT GetControlInfo(void* info) = 0;
    virtual HRESULT OnMnemonic(void* msg) = 0;
    virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
    //! While frozen (counted), events are dropped.
    virtual HRESULT FreezeEvents(std::int32_t freeze) = 0;
};

class IViewObject : public IUnknown {
public:
    //! Paints the form into draw (a TKubrixImage*) within bounds, in pixels.
    virtual HRESULT Draw(std::uint32_t aspect, std::int32_t index, void* aspectInfo, void* target, void* targetDC,
                         void* draw, const RECTL* bounds, const RECTL* wBounds, void* cont, std::uintptr_t contArg) = 0;
    virtual HRESULT GetColorSet(std::uint32_t aspect, std::int32_t index, void* aspectInfo, void* target,
                                void* targetDC, void** colors) = 0;
    virtual HRESULT Freeze(std::uint32_t aspect, std::int32_t index, void* aspectInfo, std::uint32_t* freeze) = 0;
    virtual HRESULT Unfreeze(std::uint32_t freeze) = 0;
    virtual HRESULT SetAdvise(std::uint32_t aspects, std::uint32_t flags, void* sink) = 0;
    virtual HRESULT GetAdvise(std::uint32_t* aspects, std::uint32_t* flags, void** sink) = 0;
};

class IViewObject2 : public IViewObject {
public:
    virtual HRESULT GetExtent(std::uint32_t aspect, std::int32_t index, void* target, SIZEL* size) = 0;
};

class IObjectSafety : public IUnknown {
public:
    virtual HRESULT GetInterfaceSafetyOptions(const IID& iid, std::uint32_t* supported, std::uint32_t* enabled) = 0;
    virtual HRESULT SetInterfaceSafetyOptions(const IID& iid, std::uint32_t mask, std::uint32_t enabled) = 0;
};
inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr std::uint32_t INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

struct QACONTAINER {
    std::uint32_t cbSize;
    IUnknown* pClientSite;
    IUnknown* pAdviseSink;
    IUnknown* pPropertyNotifySink;
    IUnknown* pUnkEventSink;
    std::uint32_t dwAmbientFlags;
    std::uint32_t colorFore, colorBack;
    IUnknown* pFont;
    IUnknown* pUndoMgr;
    std::uint32_t dwAppearance;
    std::int32_t lcid;
    void* hpal;
    IUnknown* pBindHost;
    IUnknown* pOleControlSite;
    IUnknown* pServiceProvider;
};

struct QACONTROL {
    std::uint32_t cbSize;
    std::uint32_t dwMiscStatus;
    std::uint32_t dwViewStatus;
    std::uint32_t dwEventCookie;
    std::uint32_t dwPropNotifyCookie;
    std::uint32_t dwPointerActivationPolicy;
};

class IQuickActivate : public IUnknown {
public:
    virtual HRESULT QuickActivate(QACONTAINER* container, QACONTROL* control) = 0;
    virtual HRESULT SetContentExtent(SIZEL* size) = 0;
    virtual HRESULT GetContentExtent(SIZEL* size) = 0;
};

struct CAUUID {
    std::uint32_t cElems;
    GUID* pElems;
};

class ISpecifyPropertyPages : public IUnknown {
public:
    virtual HRESULT GetPages(CAUUID* pages) = 0;
};

class IPerPropertyBrowsing : public IUnknown {
public:
    virtual HRESULT GetDisplayString(DISPID id, BSTR* text) = 0;
    virtual HRESULT MapPropertyToPage(DISPID id, CLSID* page) = 0;
    virtual HRESULT GetPredefinedStrings(DISPID id, void* strings, void* cookies) = 0;
    virtual HRESULT GetPredefinedValue(DISPID id, std::uint32_t cookie, VARIANT* value) = 0;
};

class ISimpleFrameSite : public IUnknown {
public:
    virtual HRESULT PreMessageFilter(HWND window, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp,
                                     std::intptr_t* result, std::uint32_t* cookie) = 0;
    virtual HRESULT PostMessageFilter(HWND window, std::uint32_t msg, std::uintptr_t wp, std::intptr_t lp,
                                      std::intptr_t* result, std::uint32_t cookie) = 0;
};

class IDataObject : public IUnknown {
public:
    virtual HRESULT GetData(void* format, void* medium) = 0;
    virtual HRESULT GetDataHere(void* format, void* medium) = 0;
    virtual HRESULT QueryGetData(void* format) = 0;
    virtual HRESULT GetCanonicalFormatEtc(void* in, void* out) = 0;
    virtual HRESULT SetData(void* format, void* medium, std::int32_t release) = 0;
    virtual HRESULT EnumFormatEtc(std::uint32_t direction, void** formats) = 0;
    virtual HRESULT DAdvise(void* format, std::uint32_t flags, void* sink, std::uint32_t* connection) = 0;
    virtual HRESULT DUnadvise(std::uint32_t connection) = 0;
    virtual HRESULT EnumDAdvise(void** advise) = 0;
};

//! The miscellaneous status the control registers and reports.
inline constexpr std::uint32_t KubrixXMiscStatus = 205201;

}  // namespace kubrix
