#include "control/KubrixXOle.h"

#include <QImage>
#include <QPainter>
#include <QVBoxLayout>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "control/KubrixX.h"
#include "control/KubrixXMembers.h"

namespace kubrix {
namespace {

// Verbs a container asks for.
constexpr std::int32_t OLEIVERB_PRIMARY = 0, OLEIVERB_SHOW = -1, OLEIVERB_HIDE = -3, OLEIVERB_UIACTIVATE = -4,
                       OLEIVERB_INPLACEACTIVATE = -5;
constexpr std::uint32_t DVASPECT_CONTENT = 1;

//! Pixels to hundredths of a millimetre and back.
std::int32_t ToHimetric(int pixels, int ppi) { return static_cast<std::int32_t>(std::int64_t(pixels) * 2540 / ppi); }
int FromHimetric(std::int32_t himetric, int ppi) { return static_cast<int>(std::int64_t(himetric) * ppi / 2540); }

// Standard properties persisted: every read-write form property but the font, which is kept
// as its parts, and the layout state, which the host keeps itself.
bool Persisted(const TMemberInfo& m) {
    return m.Kind == TMemberKind::Get && m.Id != DISPID_Font && m.Id != DISPID_State &&
           FindMember(KubrixXMembers(), m.Id, TMemberKind::Put);
}

//! Turns an event into the sink's dispatch call with the event's identifier.
HRESULT InvokeEvent(IDispatch& sink, DISPID id, VARIANT* args, std::uint32_t count) {
    DISPPARAMS params{args, nullptr, count, 0};
    return sink.Invoke(id, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr);
}

}  // namespace

// Delivers the control's events to a host's dispatch sink.
class TDispatchEventSink final : public IKubrixXEvents {
public:
    TDispatchEventSink(ComPtr<IDispatch> sink, TKubrixXOle& ole) : sink_(std::move(sink)), ole_(ole) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == DIID_IKubrixXEvents) {
            *object = static_cast<IKubrixXEvents*>(this);
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
    HRESULT OnActivate() override { return Fire(DISPID_OnActivate); }
    HRESULT OnClick() override { return Fire(DISPID_OnClick); }
    HRESULT OnCreate() override { return Fire(DISPID_OnCreate); }
    HRESULT OnDblClick() override { return Fire(DISPID_OnDblClick); }
    HRESULT OnDestroy() override { return Fire(DISPID_OnDestroy); }
    HRESULT OnDeactivate() override { return Fire(DISPID_OnDeactivate); }
    HRESULT OnKeyPress(std::int16_t& key) override {
        if (ole_.FreezeCount() > 0) return S_OK;
        VARIANT arg;
        VariantInit(&arg);
        arg.vt = VT_I2 | VT_BYREF;
        arg.piVal = &key;
        return InvokeEvent(*sink_.Get(), DISPID_OnKeyPress, &arg, 1);
    }
    HRESULT OnPaint() override { return Fire(DISPID_OnPaint); }

private:
    HRESULT Fire(DISPID id) { return ole_.FreezeCount() > 0 ? S_OK : InvokeEvent(*sink_.Get(), id, nullptr, 0); }

    TRefCounted refs_;
    ComPtr<IDispatch> sink_;
    TKubrixXOle& ole_;
};

// The holder between a container's widget and the control: when the container deletes it,
// it takes the control out first, so that only the control's last reference destroys it.
class TKubrixXOle::THolder final : public QWidget {
public:
    THolder(QWidget* parent, TKubrixX& control, bool holdReference) : QWidget(parent), control_(&control) {
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        control.setParent(this);
        layout->addWidget(&control);
        if (holdReference) reference_ = ComPtr<IKubrixX>(&control);
    }
    //! The control leaves by itself: nothing to take out when the holder goes.
    void Forget() { control_ = nullptr; }
    ~THolder() override {
        if (control_) {
            control_->Ole().holder_ = nullptr;
            control_->hide();
            control_->setParent(nullptr);
        }
        reference_ = nullptr;
    }

private:
    QPointer<TKubrixX> control_;
    ComPtr<IKubrixX> reference_;
};

namespace {

// The parts forward their identity and count to the control.
template <typename I>
class TPart : public I {
public:
    explicit TPart(TKubrixXOle& ole) : ole_(ole) {}
    HRESULT QueryInterface(const IID& iid, void** object) override { return Self().QueryInterface(iid, object); }
    std::uint32_t AddRef() override { return Self().AddRef(); }
    std::uint32_t Release() override { return Self().Release(); }

protected:
    IKubrixX& Self() { return ole_.Control(); }
    TKubrixX& Form() { return ole_.Control(); }
    TKubrixXOle& ole_;
};

class TErrorInfoPart final : public TPart<ISupportErrorInfo> {
public:
    using TPart::TPart;
    HRESULT InterfaceSupportsErrorInfo(const IID& iid) override {
        return iid == IID_IKubrixX || iid == IID_IDispatch ? S_OK : S_FALSE;
    }
};

class TClassInfoPart final : public TPart<IProvideClassInfo> {
public:
    using TPart::TPart;
    HRESULT GetClassInfo(ITypeInfo** info) override {
        if (!info) return E_POINTER;
        return KubrixTypeLibrary().GetTypeInfoOfGuid(CLASS_KubrixX, info);
    }
};

class TConnectionPointPart;

class TContainerPart final : public TPart<IConnectionPointContainer> {
public:
    TContainerPart(TKubrixXOle& ole, IConnectionPoint& point) : TPart(ole), point_(point) {}
    HRESULT EnumConnectionPoints(void** points) override {
        if (points) *points = nullptr;
        return E_NOTIMPL;
    }
    HRESULT FindConnectionPoint(const IID& iid, IConnectionPoint** point) override {
        if (!point) return E_POINTER;
        *point = nullptr;
        if (!(iid == DIID_IKubrixXEvents)) return CONNECT_E_NOCONNECTION;
        *point = &point_;
        point_.AddRef();
        return S_OK;
    }

private:
    IConnectionPoint& point_;
};

class TConnectionPointPart final : public TPart<IConnectionPoint> {
public:
    TConnectionPointPart(TKubrixXOle& ole, IConnectionPointContainer* container) : TPart(ole), container_(container) {}
    HRESULT GetConnectionInterface(IID* iid) override {
        if (!iid) return E_POINTER;
        *iid = DIID_IKubrixXEvents;
        return S_OK;
    }
    HRESULT GetConnectionPointContainer(IConnectionPointContainer** container) override {
        if (!container) return E_POINTER;
        *container = container_;
        container_->AddRef();
        return S_OK;
    }
    HRESULT Advise(IUnknown* sink, std::uint32_t* cookie) override { return ole_.Advise(sink, cookie); }
    HRESULT Unadvise(std::uint32_t cookie) override { return ole_.Unadvise(cookie); }
    HRESULT EnumConnections(void** connections) override {
        if (connections) *connections = nullptr;
        return E_NOTIMPL;
    }
    IConnectionPointContainer* container_ = nullptr;
};

// ---- persistence of the standard properties

//! The persisted properties by name, read through the control's own dispatch entry.
std::vector<std::pair<std::u16string, VARIANT>> ReadProperties(TKubrixX& c) {
    std::vector<std::pair<std::u16string, VARIANT>> out;
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    for (const auto& m : KubrixXMembers()) {
        if (!Persisted(m)) continue;
        VARIANT v;
        VariantInit(&v);
        if (Succeeded(c.Invoke(m.Id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &v, nullptr, nullptr)))
            out.emplace_back(m.Name, v);
    }
    TOleFont f;
    if (Succeeded(c.get_Font(&f))) {
        VARIANT v;
        VariantInit(&v);
        v.vt = VT_BSTR;
        v.bstrVal = AllocWide(f.Name);
        out.emplace_back(u"FontName", v);
        v.vt = VT_I4;
        v.lVal = f.Height;
        out.emplace_back(u"FontHeight", v);
        v.lVal = (f.Bold ? 1 : 0) | (f.Italic ? 2 : 0) | (f.Underline ? 4 : 0) | (f.Strikeout ? 8 : 0);
        out.emplace_back(u"FontStyle", v);
    }
    return out;
}

void ClearProperties(std::vector<std::pair<std::u16string, VARIANT>>& props) {
    for (auto& p : props) VariantClear(&p.second);
    props.clear();
}

//! Applies one persisted property; names the control does not know are skipped.
HRESULT WriteProperty(TKubrixX& c, const std::u16string& name, VARIANT& value, TOleFont& font) {
    if (SameName(name, u"FontName")) {
        if (value.vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
        font.Name = WideOf(value.bstrVal);
        return S_OK;
    }
    if (SameName(name, u"FontHeight") || SameName(name, u"FontStyle")) {
        if (value.vt != VT_I4) return DISP_E_TYPEMISMATCH;
        if (SameName(name, u"FontHeight")) {
            font.Height = value.lVal;
        } else {
            font.Bold = value.lVal & 1;
            font.Italic = value.lVal & 2;
            font.Underline = value.lVal & 4;
            font.Strikeout = value.lVal & 8;
        }
        return S_OK;
    }
    for (const auto& m : KubrixXMembers()) {
        if (!Persisted(m) || !SameName(name, m.Name)) continue;
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS params{&value, &named, 1, 1};
        return c.Invoke(m.Id, IID_NULL, 0, DISPATCH_PROPERTYPUT, &params, nullptr, nullptr, nullptr);
    }
    return S_OK;
}

// The stream form: "KXP1", a count, then per property a name and a tagged value.
class TStreamWriter {
public:
    explicit TStreamWriter(IStream& s) : s_(s) {}
    bool Bytes(const void* p, std::uint32_t n) {
        std::uint32_t written = 0;
        return Succeeded(s_.Write(p, n, &written)) && written == n;
    }
    template <typename T>
    bool Value(T v) { return Bytes(&v, sizeof v); }
    bool Text(const std::u16string& t) {
        return Value(static_cast<std::uint32_t>(t.size())) && Bytes(t.data(), static_cast<std::uint32_t>(t.size() * 2));
    }

private:
    IStream& s_;
};

class TStreamReader {
public:
    explicit TStreamReader(IStream& s) : s_(s) {}
    bool Bytes(void* p, std::uint32_t n) {
        std::uint32_t read = 0;
        return Succeeded(s_.Read(p, n, &read)) && read == n;
    }
    template <typename T>
    bool Value(T& v) { return Bytes(&v, sizeof v); }
    //! A text of at most limit units: a longer length is damage, never an allocation.
    bool Text(std::u16string& t, std::uint32_t limit) {
        std::uint32_t n = 0;
        if (!Value(n) || n > limit) return false;
        t.assign(n, u'\0');
        return Bytes(t.data(), n * 2);
    }

private:
    IStream& s_;
};

constexpr char kStreamMagic[4] = {'K', 'X', 'P', '1'};
constexpr std::uint32_t kMaxProperties = 256, kMaxNameUnits = 64, kMaxTextUnits = 1u << 16;

class TPersistStreamPart final : public TPart<IPersistStreamInit> {
public:
    using TPart::TPart;
    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLASS_KubrixX;
        return S_OK;
    }
    HRESULT IsDirty() override { return ole_.Dirty ? S_OK : S_FALSE; }
    HRESULT Load(IStream* stream) override {
        if (!stream) return E_POINTER;
        TStreamReader r(*stream);
        char magic[4];
        std::uint32_t count = 0;
        if (!r.Bytes(magic, 4) || std::memcmp(magic, kStreamMagic, 4) != 0 || !r.Value(count) || count > kMaxProperties)
            return STG_E_READFAULT;
        TOleFont font;
        if (Failed(Form().get_Font(&font))) return E_UNEXPECTED;
        for (std::uint32_t i = 0; i < count; ++i) {
            std::u16string name;
            VARIANT v;
            VariantInit(&v);
            if (!r.Text(name, kMaxNameUnits) || !r.Value(v.vt)) return STG_E_READFAULT;
            bool ok = true;
            switch (v.vt) {
                case VT_BOOL: case VT_I2: ok = r.Value(v.iVal); break;
                case VT_I4: case VT_UI4: ok = r.Value(v.lVal); break;
                case VT_BSTR: {
                    std::u16string text;
                    ok = r.Text(text, kMaxTextUnits);
                    if (ok) v.bstrVal = AllocWide(text);
                    break;
                }
                default: return STG_E_READFAULT;
            }
            if (!ok) return STG_E_READFAULT;
            const HRESULT hr = WriteProperty(Form(), name, v, font);
            VariantClear(&v);
            if (Failed(hr)) return hr;
        }
        ole_.Dirty = false;
        return Form().put_Font(font);
    }
    HRESULT Save(IStream* stream, std::int32_t clearDirty) override {
        if (!stream) return E_POINTER;
        auto props = ReadProperties(Form());
        TStreamWriter w(*stream);
        bool ok = w.Bytes(kStreamMagic, 4) && w.Value(static_cast<std::uint32_t>(props.size()));
        for (auto& [name, v] : props) {
            if (!ok) break;
            ok = w.Text(name) && w.Value(v.vt);
            if (ok && v.vt == VT_BSTR) ok = w.Text(WideOf(v.bstrVal));
            else if (ok && (v.vt == VT_BOOL || v.vt == VT_I2)) ok = w.Value(v.iVal);
            else if (ok) ok = w.Value(v.lVal);
        }
        ClearProperties(props);
        if (!ok) return STG_E_READFAULT + 0x0F;  // STG_E_WRITEFAULT
        if (clearDirty) ole_.Dirty = false;
        return S_OK;
    }
    HRESULT GetSizeMax(std::uint64_t* size) override {
        if (!size) return E_POINTER;
        *size = 8 + std::uint64_t(kMaxProperties) * (4 + kMaxNameUnits * 2 + 2 + 4 + kMaxTextUnits * 2);
        return S_OK;
    }
    HRESULT InitNew() override { return S_OK; }
};

class TPersistBagPart final : public TPart<IPersistPropertyBag> {
public:
    using TPart::TPart;
    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLASS_KubrixX;
        return S_OK;
    }
    HRESULT InitNew() override { return S_OK; }
    HRESULT Load(IPropertyBag* bag, IUnknown* errorLog) override {
        if (!bag) return E_POINTER;
        TOleFont font;
        if (Failed(Form().get_Font(&font))) return E_UNEXPECTED;
        auto names = ReadProperties(Form());
        for (auto& [name, current] : names) {
            VARIANT v;
            VariantInit(&v);
            // A property the bag does not hold keeps its value.
            if (Failed(bag->Read(name.c_str(), &v, errorLog))) continue;
            const HRESULT hr = WriteProperty(Form(), name, v, font);
            VariantClear(&v);
            if (Failed(hr)) {
                ClearProperties(names);
                return hr;
            }
        }
        ClearProperties(names);
        return Form().put_Font(font);
    }
    HRESULT Save(IPropertyBag* bag, std::int32_t clearDirty, std::int32_t) override {
        if (!bag) return E_POINTER;
        auto props = ReadProperties(Form());
        HRESULT hr = S_OK;
        for (auto& [name, v] : props)
            if (Failed(hr = bag->Write(name.c_str(), &v))) break;
        ClearProperties(props);
        if (Succeeded(hr) && clearDirty) ole_.Dirty = false;
        return hr;
    }
};

// ---- activation, drawing, safety

class TOleObjectPart final : public TPart<IOleObject> {
public:
    using TPart::TPart;
    HRESULT SetClientSite(IUnknown* site) override {
        ole_.ClientSite = ComPtr<IUnknown>(site);
        return S_OK;
    }
    HRESULT GetClientSite(IUnknown** site) override {
        if (!site) return E_POINTER;
        *site = ole_.ClientSite.Get();
        if (*site) (*site)->AddRef();
        return S_OK;
    }
    HRESULT SetHostNames(const char16_t*, const char16_t*) override { return S_OK; }
    HRESULT Close(std::uint32_t) override {
        ole_.Deactivate();
        return S_OK;
    }
    HRESULT SetMoniker(std::uint32_t, void*) override { return E_NOTIMPL; }
    HRESULT GetMoniker(std::uint32_t, std::uint32_t, void** moniker) override {
        if (moniker) *moniker = nullptr;
        return E_NOTIMPL;
    }
    HRESULT InitFromData(void*, std::int32_t, std::uint32_t) override { return E_NOTIMPL; }
    HRESULT GetClipboardData(std::uint32_t, void** data) override {
        if (data) *data = nullptr;
        return E_NOTIMPL;
    }
    HRESULT DoVerb(std::int32_t verb, void*, IUnknown*, std::int32_t, HWND parent, const RECT* rect) override {
        switch (verb) {
            case OLEIVERB_PRIMARY: case OLEIVERB_SHOW: case OLEIVERB_UIACTIVATE: case OLEIVERB_INPLACEACTIVATE: {
                if (!parent) {
                    Form().show();
                    return S_OK;
                }
                QRect r;
                if (rect) r = QRect(rect->left, rect->top, rect->right - rect->left, rect->bottom - rect->top);
                ole_.PlaceInto(static_cast<QWidget*>(parent), rect ? &r : nullptr, false);
                return S_OK;
            }
            case OLEIVERB_HIDE:
                Form().hide();
                return S_OK;
            default:
                return verb > 0 ? OLEOBJ_S_INVALIDVERB : E_NOTIMPL;
        }
    }
    HRESULT EnumVerbs(void** verbs) override {
        if (verbs) *verbs = nullptr;
        return E_NOTIMPL;
    }
    HRESULT Update() override { return S_OK; }
    HRESULT IsUpToDate() override { return S_OK; }
    HRESULT GetUserClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLASS_KubrixX;
        return S_OK;
    }
    HRESULT GetUserType(std::uint32_t, char16_t** name) override {
        if (!name) return E_POINTER;
        static constexpr char16_t text[] = u"KubrixX Control";
        *name = static_cast<char16_t*>(std::malloc(sizeof text));
        if (!*name) return E_OUTOFMEMORY;
        std::memcpy(*name, text, sizeof text);
        return S_OK;
    }
    HRESULT SetExtent(std::uint32_t aspect, SIZEL* size) override {
        if (!size) return E_POINTER;
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        const int ppi = Form().logicalDpiX();
        Form().resize(FromHimetric(size->cx, ppi), FromHimetric(size->cy, ppi));
        return S_OK;
    }
    HRESULT GetExtent(std::uint32_t aspect, SIZEL* size) override {
        if (!size) return E_POINTER;
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        const int ppi = Form().logicalDpiX();
        *size = SIZEL{ToHimetric(Form().width(), ppi), ToHimetric(Form().height(), ppi)};
        return S_OK;
    }
    HRESULT Advise(void*, std::uint32_t* connection) override {
        if (connection) *connection = 0;
        return E_NOTIMPL;
    }
    HRESULT Unadvise(std::uint32_t) override { return E_NOTIMPL; }
    HRESULT EnumAdvise(void** advise) override {
        if (advise) *advise = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetMiscStatus(std::uint32_t, std::uint32_t* status) override {
        if (!status) return E_POINTER;
        *status = KubrixXMiscStatus;
        return S_OK;
    }
    HRESULT SetColorScheme(void*) override { return E_NOTIMPL; }
};

class TInPlacePart final : public TPart<IOleInPlaceObject> {
public:
    using TPart::TPart;
    HRESULT GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = static_cast<QWidget*>(&Form());
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(std::int32_t) override { return E_NOTIMPL; }
    HRESULT InPlaceDeactivate() override {
        ole_.Deactivate();
        return S_OK;
    }
    HRESULT UIDeactivate() override { return S_OK; }
    HRESULT SetObjectRects(const RECT* position, const RECT*) override {
        if (!position) return E_POINTER;
        if (position->right < position->left || position->bottom < position->top) return OLE_E_INVALIDRECT;
        QWidget* target = Form().parentWidget() ? Form().parentWidget() : &Form();
        target->setGeometry(position->left, position->top, position->right - position->left,
                            position->bottom - position->top);
        return S_OK;
    }
    HRESULT ReactivateAndUndo() override { return E_NOTIMPL; }
};

class TInPlaceActivePart final : public TPart<IOleInPlaceActiveObject> {
public:
    using TPart::TPart;
    HRESULT GetWindow(HWND* window) override {
        if (!window) return E_POINTER;
        *window = static_cast<QWidget*>(&Form());
        return S_OK;
    }
    HRESULT ContextSensitiveHelp(std::int32_t) override { return E_NOTIMPL; }
    // Keys reach the widget through the toolkit's own event loop; nothing is translated here.
    HRESULT TranslateAccelerator(void*) override { return S_FALSE; }
    HRESULT OnFrameWindowActivate(std::int32_t) override { return S_OK; }
    HRESULT OnDocWindowActivate(std::int32_t) override { return S_OK; }
    HRESULT ResizeBorder(const RECT*, void*, std::int32_t) override { return S_OK; }
    HRESULT EnableModeless(std::int32_t) override { return S_OK; }
};

class TOleControlPart final : public TPart<IOleControl> {
public:
    using TPart::TPart;
    HRESULT GetControlInfo(void*) override { return E_NOTIMPL; }
    HRESULT OnMnemonic(void*) override { return E_NOTIMPL; }
    HRESULT OnAmbientPropertyChange(DISPID) override { return S_OK; }
    HRESULT FreezeEvents(std::int32_t freeze) override { return ole_.SetFreeze(freeze != 0); }
};

class TViewPart final : public TPart<IViewObject2> {
public:
    using TPart::TPart;
    HRESULT Draw(std::uint32_t aspect, std::int32_t, void*, void*, void*, void* draw, const RECTL* bounds,
                 const RECTL*, void*, std::uintptr_t) override {
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        auto* image = static_cast<TKubrixImage*>(draw);
        if (!image || !image->Pixels) return E_INVALIDARG;
        if (image->Width <= 0 || image->Height <= 0 || image->Stride < image->Width * 4) return E_INVALIDARG;
        QRect target(0, 0, image->Width, image->Height);
        if (bounds) target = QRect(bounds->left, bounds->top, bounds->right - bounds->left, bounds->bottom - bounds->top);
        if (target.width() <= 0 || target.height() <= 0) return OLE_E_INVALIDRECT;
        QImage canvas(reinterpret_cast<uchar*>(image->Pixels), image->Width, image->Height, image->Stride,
                      QImage::Format_ARGB32_Premultiplied);
        QPainter painter(&canvas);
        painter.translate(target.topLeft());
        painter.scale(double(target.width()) / std::max(1, Form().width()),
                      double(target.height()) / std::max(1, Form().height()));
        Form().render(&painter, QPoint(), QRegion(), QWidget::DrawWindowBackground | QWidget::DrawChildren);
        return S_OK;
    }
    HRESULT GetColorSet(std::uint32_t, std::int32_t, void*, void*, void*, void** colors) override {
        if (colors) *colors = nullptr;
        return S_FALSE;  // any colours
    }
    HRESULT Freeze(std::uint32_t, std::int32_t, void*, std::uint32_t*) override { return E_NOTIMPL; }
    HRESULT Unfreeze(std::uint32_t) override { return E_NOTIMPL; }
    HRESULT SetAdvise(std::uint32_t, std::uint32_t, void*) override { return E_NOTIMPL; }
    HRESULT GetAdvise(std::uint32_t*, std::uint32_t*, void**) override { return E_NOTIMPL; }
    HRESULT GetExtent(std::uint32_t aspect, std::int32_t, void*, SIZEL* size) override {
        if (!size) return E_POINTER;
        if (aspect != DVASPECT_CONTENT) return DV_E_DVASPECT;
        const int ppi = Form().logicalDpiX();
        *size = SIZEL{ToHimetric(Form().width(), ppi), ToHimetric(Form().height(), ppi)};
        return S_OK;
    }
};

class TSafetyPart final : public TPart<IObjectSafety> {
public:
    using TPart::TPart;
    // Persisted properties are harmless whoever supplies them; the members are not safe for an
    // untrusted caller, since they connect to databases and write files.
    static std::uint32_t Supported(const IID& iid) {
        if (iid == IID_IPersistStreamInit || iid == IID_IPersistPropertyBag) return INTERFACESAFE_FOR_UNTRUSTED_DATA;
        return 0;
    }
    HRESULT GetInterfaceSafetyOptions(const IID& iid, std::uint32_t* supported, std::uint32_t* enabled) override {
        if (!supported || !enabled) return E_POINTER;
        void* probe = nullptr;
        if (Failed(Self().QueryInterface(iid, &probe))) return E_NOINTERFACE;
        Self().Release();
        *supported = Supported(iid);
        *enabled = ole_.SafetyOptions & *supported;
        return S_OK;
    }
    HRESULT SetInterfaceSafetyOptions(const IID& iid, std::uint32_t mask, std::uint32_t enabled) override {
        void* probe = nullptr;
        if (Failed(Self().QueryInterface(iid, &probe))) return E_NOINTERFACE;
        Self().Release();
        if ((mask & enabled) & ~Supported(iid)) return E_FAIL;
        ole_.SafetyOptions = (ole_.SafetyOptions & ~mask) | (enabled & mask);
        return S_OK;
    }
};

class TQuickActivatePart final : public TPart<IQuickActivate> {
public:
    using TPart::TPart;
    HRESULT QuickActivate(QACONTAINER* container, QACONTROL* control) override {
        if (!container || !control) return E_POINTER;
        if (container->cbSize < sizeof(QACONTAINER) || control->cbSize < sizeof(QACONTROL)) return E_INVALIDARG;
        ole_.ClientSite = ComPtr<IUnknown>(container->pClientSite);
        control->dwMiscStatus = KubrixXMiscStatus;
        control->dwViewStatus = 1;  // opaque
        control->dwEventCookie = 0;
        control->dwPropNotifyCookie = 0;
        control->dwPointerActivationPolicy = 0;
        if (container->pUnkEventSink) return ole_.Advise(container->pUnkEventSink, &control->dwEventCookie);
        return S_OK;
    }
    HRESULT SetContentExtent(SIZEL* size) override {
        if (!size) return E_POINTER;
        const int ppi = Form().logicalDpiX();
        Form().resize(FromHimetric(size->cx, ppi), FromHimetric(size->cy, ppi));
        return S_OK;
    }
    HRESULT GetContentExtent(SIZEL* size) override {
        if (!size) return E_POINTER;
        const int ppi = Form().logicalDpiX();
        *size = SIZEL{ToHimetric(Form().width(), ppi), ToHimetric(Form().height(), ppi)};
        return S_OK;
    }
};

class TPropertyPagesPart final : public TPart<ISpecifyPropertyPages> {
public:
    using TPart::TPart;
    HRESULT GetPages(CAUUID* pages) override {
        if (!pages) return E_POINTER;
        *pages = CAUUID{0, nullptr};  // the control has no property pages
        return S_OK;
    }
};

// ---- interfaces without a meaning here

class TPersistStoragePart final : public TPart<IPersistStorage> {
public:
    using TPart::TPart;
    HRESULT GetClassID(CLSID* clsid) override {
        if (!clsid) return E_POINTER;
        *clsid = CLASS_KubrixX;
        return S_OK;
    }
    HRESULT IsDirty() override { return E_NOTIMPL; }
    HRESULT InitNew(void*) override { return E_NOTIMPL; }
    HRESULT Load(void*) override { return E_NOTIMPL; }
    HRESULT Save(void*, std::int32_t) override { return E_NOTIMPL; }
    HRESULT SaveCompleted(void*) override { return E_NOTIMPL; }
    HRESULT HandsOffStorage() override { return E_NOTIMPL; }
};

class TPerPropertyBrowsingPart final : public TPart<IPerPropertyBrowsing> {
public:
    using TPart::TPart;
    HRESULT GetDisplayString(DISPID, BSTR* text) override {
        if (text) *text = nullptr;
        return E_NOTIMPL;
    }
    HRESULT MapPropertyToPage(DISPID, CLSID*) override { return E_NOTIMPL; }
    HRESULT GetPredefinedStrings(DISPID, void*, void*) override { return E_NOTIMPL; }
    HRESULT GetPredefinedValue(DISPID, std::uint32_t, VARIANT*) override { return E_NOTIMPL; }
};

class TSimpleFrameSitePart final : public TPart<ISimpleFrameSite> {
public:
    using TPart::TPart;
    HRESULT PreMessageFilter(HWND, std::uint32_t, std::uintptr_t, std::intptr_t, std::intptr_t*, std::uint32_t*) override {
        return E_NOTIMPL;
    }
    HRESULT PostMessageFilter(HWND, std::uint32_t, std::uintptr_t, std::intptr_t, std::intptr_t*, std::uint32_t) override {
        return E_NOTIMPL;
    }
};

class TDataObjectPart final : public TPart<IDataObject> {
public:
    using TPart::TPart;
    HRESULT GetData(void*, void*) override { return E_NOTIMPL; }
    HRESULT GetDataHere(void*, void*) override { return E_NOTIMPL; }
    HRESULT QueryGetData(void*) override { return E_NOTIMPL; }
    HRESULT GetCanonicalFormatEtc(void*, void*) override { return E_NOTIMPL; }
    HRESULT SetData(void*, void*, std::int32_t) override { return E_NOTIMPL; }
    HRESULT EnumFormatEtc(std::uint32_t, void** formats) override {
        if (formats) *formats = nullptr;
        return E_NOTIMPL;
    }
    HRESULT DAdvise(void*, std::uint32_t, void*, std::uint32_t*) override { return E_NOTIMPL; }
    HRESULT DUnadvise(std::uint32_t) override { return E_NOTIMPL; }
    HRESULT EnumDAdvise(void** advise) override {
        if (advise) *advise = nullptr;
        return E_NOTIMPL;
    }
};

}  // namespace

struct TKubrixXOle::Parts {
    explicit Parts(TKubrixXOle& o)
        : errorInfo(o), classInfo(o), point(o, nullptr), container(o, point), persistStream(o), persistBag(o),
          oleObject(o), inPlace(o), inPlaceActive(o), oleControl(o), view(o), safety(o), quickActivate(o),
          propertyPages(o), persistStorage(o), perPropertyBrowsing(o), simpleFrameSite(o), dataObject(o) {
        point.container_ = &container;
    }
    TErrorInfoPart errorInfo;
    TClassInfoPart classInfo;
    TConnectionPointPart point;
    TContainerPart container;
    TPersistStreamPart persistStream;
    TPersistBagPart persistBag;
    TOleObjectPart oleObject;
    TInPlacePart inPlace;
    TInPlaceActivePart inPlaceActive;
    TOleControlPart oleControl;
    TViewPart view;
    TSafetyPart safety;
    TQuickActivatePart quickActivate;
    TPropertyPagesPart propertyPages;
    TPersistStoragePart persistStorage;
    TPerPropertyBrowsingPart perPropertyBrowsing;
    TSimpleFrameSitePart simpleFrameSite;
    TDataObjectPart dataObject;
};

TKubrixXOle::TKubrixXOle(TKubrixX& control) : control_(control), parts_(std::make_unique<Parts>(*this)) {}

TKubrixXOle::~TKubrixXOle() {
    // The control goes: a holder left in a container has nothing more to hold.
    if (QWidget* holder = holder_.data()) {
        holder_ = nullptr;
        static_cast<THolder*>(holder)->Forget();
        control_.setParent(nullptr);
        delete holder;
    }
}

HRESULT TKubrixXOle::QueryInterface(const IID& iid, void** object) {
    if (!object) return E_POINTER;
    *object = nullptr;
    Parts& p = *parts_;
    const std::pair<const IID*, IUnknown*> table[] = {
        {&IID_ISupportErrorInfo, &p.errorInfo},
        {&IID_IProvideClassInfo, &p.classInfo},
        {&IID_IConnectionPointContainer, &p.container},
        {&IID_IPersistStreamInit, &p.persistStream},
        {&IID_IPersistPropertyBag, &p.persistBag},
        {&IID_IPersist, &p.persistStream},
        {&IID_IOleObject, &p.oleObject},
        {&IID_IOleWindow, &p.inPlace},
        {&IID_IOleInPlaceObject, &p.inPlace},
        {&IID_IOleInPlaceActiveObject, &p.inPlaceActive},
        {&IID_IOleControl, &p.oleControl},
        {&IID_IViewObject, &p.view},
        {&IID_IViewObject2, &p.view},
        {&IID_IObjectSafety, &p.safety},
        {&IID_IQuickActivate, &p.quickActivate},
        {&IID_ISpecifyPropertyPages, &p.propertyPages},
        {&IID_IPersistStorage, &p.persistStorage},
        {&IID_IPerPropertyBrowsing, &p.perPropertyBrowsing},
        {&IID_ISimpleFrameSite, &p.simpleFrameSite},
        {&IID_IDataObject, &p.dataObject},
    };
    for (const auto& [id, part] : table)
        if (*id == iid) {
            *object = part;
            part->AddRef();
            return S_OK;
        }
    return E_NOINTERFACE;
}

QWidget* TKubrixXOle::PlaceInto(QWidget* parent, const QRect* rect, bool holdReference) {
    Deactivate();
    auto* holder = new THolder(parent, control_, holdReference);
    holder_ = holder;
    if (rect) holder->setGeometry(*rect);
    control_.show();
    if (parent && parent->isVisible()) holder->show();
    return holder;
}

void TKubrixXOle::Deactivate() {
    if (QWidget* holder = holder_.data()) {
        holder_ = nullptr;
        static_cast<THolder*>(holder)->Forget();
        control_.hide();
        control_.setParent(nullptr);
        delete holder;
    }
}

HRESULT TKubrixXOle::Advise(IUnknown* sink, std::uint32_t* cookie) {
    if (!sink || !cookie) return E_POINTER;
    *cookie = 0;
    if (cookie_ != 0) return CONNECT_E_ADVISELIMIT;
    auto dispatch = QueryAs<IDispatch>(sink, IID_IDispatch);
    if (!dispatch) return CONNECT_E_CANNOTCONNECT;
    ComPtr<IKubrixXEvents> adapter(new TDispatchEventSink(std::move(dispatch), *this));
    control_.EventSinkChanged(adapter.Get());
    cookie_ = *cookie = 1;
    return S_OK;
}

HRESULT TKubrixXOle::Unadvise(std::uint32_t cookie) {
    if (cookie == 0 || cookie != cookie_) return CONNECT_E_NOCONNECTION;
    cookie_ = 0;
    control_.EventSinkChanged(nullptr);
    return S_OK;
}

HRESULT TKubrixXOle::SetFreeze(bool freeze) {
    if (freeze) ++freeze_;
    else if (freeze_ > 0) --freeze_;
    return S_OK;
}

}  // namespace kubrix
