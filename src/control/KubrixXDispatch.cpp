// The control's members by name: GetIDsOfNames over the member table, Invoke converting each
// variant argument to the type the member declares and the result back, and the font object
// that the Font property hands out.

#include <cmath>
#include <limits>

#include "control/KubrixX.h"
#include "control/KubrixXMembers.h"
#include "control/TypeLibrary.h"
#include "support/Text.h"

namespace kubrix {
namespace {

//! An argument that does not fit its parameter: the result code and the argument's place.
struct BadArgument {
    HRESULT Code;
    std::uint32_t Index;  // in rgvarg order
};

//! A raw variant as a value of our own; by-reference arguments are read through.
Variant ToVariant(const VARIANT& v) {
    const bool byRef = (v.vt & VT_BYREF) != 0;
    if (v.vt & VT_ARRAY) throw EOleSysError("", DISP_E_BADVARTYPE);
    if (byRef && !v.byref) throw EOleSysError("", E_POINTER);
    switch (v.vt & VT_TYPEMASK) {
        case VT_EMPTY: return {};
        case VT_NULL: return Variant::Null();
        case VT_I2: return Variant::FromInt16(byRef ? *v.piVal : v.iVal);
        case VT_I4: case 22: return Variant::FromInt32(byRef ? *v.plVal : v.lVal);
        case VT_R4: return Variant::FromSingle(byRef ? *v.pfltVal : v.fltVal);
        case VT_R8: return Variant::FromDouble(byRef ? *v.pdblVal : v.dblVal);
        case VT_CY: return Variant::FromCurrency(Currency{byRef ? *v.pllVal : v.cyVal});
        case VT_DATE: return Variant::FromDate(byRef ? *v.pdblVal : v.date);
        case VT_BSTR: return Variant::FromWide(WideOf(byRef ? *v.pbstrVal : v.bstrVal));
        case VT_BOOL: return Variant::FromBool((byRef ? *v.pboolVal : v.boolVal) != 0);
        case VT_I1: return Variant::FromInt8(byRef ? *static_cast<std::int8_t*>(v.byref) : v.cVal);
        case VT_UI1: return Variant::FromUInt8(byRef ? *v.pbVal : v.bVal);
        case VT_UI2: return Variant::FromUInt16(byRef ? *static_cast<std::uint16_t*>(v.byref) : v.uiVal);
        case VT_UI4: case 23: return Variant::FromUInt32(byRef ? *static_cast<std::uint32_t*>(v.byref) : v.ulVal);
        case VT_I8: return Variant::FromInt64(byRef ? *v.pllVal : v.llVal);
        case VT_UI8: return Variant::FromUInt64(byRef ? *static_cast<std::uint64_t*>(v.byref) : v.ullVal);
        case VT_VARIANT:
            if (!byRef) break;
            return ToVariant(*v.pvarVal);
        default: break;
    }
    throw EOleSysError("", DISP_E_TYPEMISMATCH);
}

//! The interface a dispatch argument carries, or null.
IDispatch* DispatchOf(const VARIANT& v) {
    if (v.vt == VT_DISPATCH) return v.pdispVal;
    if (v.vt == (VT_DISPATCH | VT_BYREF)) return v.ppdispVal ? *v.ppdispVal : nullptr;
    if (v.vt == (VT_VARIANT | VT_BYREF) && v.pvarVal) return DispatchOf(*v.pvarVal);
    return nullptr;
}

//! One value read from a dispatch object by identifier; empty when it has no such property.
Variant GetProperty(IDispatch* object, DISPID id) {
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    VARIANT out;
    VariantInit(&out);
    if (Failed(object->Invoke(id, IID_NULL, 0, DISPATCH_PROPERTYGET, &none, &out, nullptr, nullptr))) return {};
    Variant value;
    try {
        value = ToVariant(out);
    } catch (const std::exception&) {
    }
    VariantClear(&out);
    return value;
}

constexpr DISPID kFontName = 0, kFontSize = 2, kFontBold = 3, kFontItalic = 4, kFontUnderline = 5,
                 kFontStrikethrough = 6, kFontWeight = 7, kFontCharset = 8;

//! The form's font read through any font object's properties (what it lacks stays as it was).
TOleFont ReadFont(IDispatch* font, TOleFont into, std::int32_t pixelsPerInch) {
    if (Variant v = GetProperty(font, kFontName); v.Type() != VT_EMPTY) into.Name = v.ToWide();
    if (Variant v = GetProperty(font, kFontSize); v.Type() != VT_EMPTY)
        into.Height = -static_cast<std::int32_t>(std::lround(v.ToDouble() * pixelsPerInch / 72.0));
    if (Variant v = GetProperty(font, kFontBold); v.Type() != VT_EMPTY) into.Bold = v.ToBool();
    if (Variant v = GetProperty(font, kFontItalic); v.Type() != VT_EMPTY) into.Italic = v.ToBool();
    if (Variant v = GetProperty(font, kFontUnderline); v.Type() != VT_EMPTY) into.Underline = v.ToBool();
    if (Variant v = GetProperty(font, kFontStrikethrough); v.Type() != VT_EMPTY) into.Strikeout = v.ToBool();
    return into;
}

// The font object of the Font property: each read and write goes to the control's font, so it
// stays connected to the form for as long as the host holds it.
class TFontDisp final : public IDispatch {
public:
    explicit TFontDisp(IKubrixX* control) : control_(control) {}

    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (!object) return E_POINTER;
        if (iid == IID_IUnknown || iid == IID_IDispatch || iid == IID_IFontDisp) {
            *object = static_cast<IDispatch*>(this);
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
    HRESULT GetTypeInfoCount(std::uint32_t* count) override {
        if (!count) return E_POINTER;
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo** info) override {
        if (info) *info = nullptr;
        return E_NOTIMPL;
    }
    HRESULT GetIDsOfNames(const IID&, char16_t** names, std::uint32_t count, LCID, DISPID* ids) override {
        if (!names || !ids) return E_POINTER;
        static const std::pair<const char16_t*, DISPID> known[] = {
            {u"Name", kFontName},     {u"Size", kFontSize},     {u"Bold", kFontBold},
            {u"Italic", kFontItalic}, {u"Underline", kFontUnderline}, {u"Strikethrough", kFontStrikethrough},
            {u"Weight", kFontWeight}, {u"Charset", kFontCharset}};
        HRESULT hr = S_OK;
        for (std::uint32_t i = 0; i < count; ++i) {
            ids[i] = DISPID_UNKNOWN;
            for (const auto& [name, id] : known)
                if (i == 0 && names[0] && SameName(names[0], name)) ids[0] = id;
            if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
        }
        return hr;
    }
    HRESULT Invoke(DISPID id, const IID&, LCID, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, std::uint32_t* argError) override {
        if (!params || (params->cArgs && !params->rgvarg)) return E_INVALIDARG;
        if (id < kFontName || id > kFontCharset || id == 1) return DISP_E_MEMBERNOTFOUND;
        TOleFont font;
        std::int32_t ppi = 96;
        if (Failed(control_->get_Font(&font)) || Failed(control_->get_PixelsPerInch(&ppi))) return E_UNEXPECTED;
        if (flags & DISPATCH_PROPERTYPUT) {
            if (params->cArgs != 1) return DISP_E_BADPARAMCOUNT;
            try {
                const Variant v = ToVariant(params->rgvarg[0]);
                switch (id) {
                    case kFontName: font.Name = v.ToWide(); break;
                    case kFontSize: font.Height = -static_cast<std::int32_t>(std::lround(v.ToDouble() * ppi / 72.0)); break;
                    case kFontBold: font.Bold = v.ToBool(); break;
                    case kFontItalic: font.Italic = v.ToBool(); break;
                    case kFontUnderline: font.Underline = v.ToBool(); break;
                    case kFontStrikethrough: font.Strikeout = v.ToBool(); break;
                    case kFontWeight: font.Bold = v.ToInt32() >= 600; break;
                    default: break;  // one character set: the text is Unicode
                }
            } catch (const std::exception&) {
                if (argError) *argError = 0;
                return DISP_E_TYPEMISMATCH;
            }
            return control_->put_Font(font);
        }
        if (!(flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD))) return DISP_E_MEMBERNOTFOUND;
        if (params->cArgs != 0) return DISP_E_BADPARAMCOUNT;
        if (!result) return S_OK;
        VariantInit(result);
        switch (id) {
            case kFontName:
                result->vt = VT_BSTR;
                result->bstrVal = SysAllocStringLen(font.Name.data(), static_cast<std::uint32_t>(font.Name.size()));
                break;
            case kFontSize:
                result->vt = VT_CY;
                result->cyVal = std::llround(std::abs(double(font.Height)) * 72.0 / ppi * 10000.0);
                break;
            case kFontWeight: case kFontCharset:
                result->vt = VT_I2;
                result->iVal = id == kFontCharset ? 1 : (font.Bold ? 700 : 400);
                break;
            default: {
                const bool flag = id == kFontBold ? font.Bold : id == kFontItalic ? font.Italic
                                : id == kFontUnderline ? font.Underline : font.Strikeout;
                result->vt = VT_BOOL;
                result->boolVal = flag ? VARIANT_TRUE : VARIANT_FALSE;
            }
        }
        return S_OK;
    }

private:
    TRefCounted refs_;
    TLiveObject live_;
    ComPtr<IKubrixX> control_;
};

// The arguments of one call in declaration order, converted on demand.
class TArgs {
    std::uint32_t Index(std::size_t i) const { return static_cast<std::uint32_t>(slots_[i] - params_.rgvarg); }
    template <typename F>
    auto Convert(std::size_t i, F&& f) const {
        try {
            return f(ToVariant(*slots_[i]));
        } catch (const EOleSysError& e) {
            throw BadArgument{e.ErrorCode, Index(i)};
        } catch (const std::exception& e) {
            const bool overflow = std::string_view(e.what()).starts_with("Overflow");
            throw BadArgument{overflow ? DISP_E_OVERFLOW : DISP_E_TYPEMISMATCH, Index(i)};
        }
    }

public:
    TArgs(const TMemberInfo& member, const DISPPARAMS& params) : params_(params) {
        const std::uint32_t declared = static_cast<std::uint32_t>(member.Params.size());
        slots_.assign(declared, nullptr);
        const bool put = member.Kind == TMemberKind::Put || member.Kind == TMemberKind::PutRef;
        std::uint32_t positional = params.cArgs;
        for (std::uint32_t n = 0; n < params.cNamedArgs && n < params.cArgs; ++n) {
            const DISPID name = params.rgdispidNamedArgs ? params.rgdispidNamedArgs[n] : DISPID_UNKNOWN;
            std::uint32_t at = declared;
            if (put && name == DISPID_PROPERTYPUT) at = declared - 1;
            else if (name >= 0 && std::uint32_t(name) < declared) at = std::uint32_t(name);
            if (at >= declared) throw BadArgument{DISP_E_PARAMNOTFOUND, n};
            slots_[at] = &params.rgvarg[n];
            --positional;
        }
        if (params.cArgs > declared) throw BadArgument{DISP_E_BADPARAMCOUNT, 0};
        // Positional arguments come last in rgvarg, the first of them at the end.
        for (std::uint32_t i = 0; i < positional; ++i) {
            if (slots_[i]) throw BadArgument{DISP_E_BADPARAMCOUNT, 0};
            slots_[i] = &params.rgvarg[params.cArgs - 1 - i];
        }
        // Every parameter is required: one not given is a wrong count, one marked missing is refused.
        for (std::uint32_t i = 0; i < declared; ++i) {
            if (!slots_[i]) throw BadArgument{DISP_E_BADPARAMCOUNT, 0};
            if (IsMissing(*slots_[i])) throw BadArgument{DISP_E_PARAMNOTOPTIONAL, Index(i)};
        }
    }

    WideString Str(std::size_t i) const {
        const VARIANT& v = *slots_[i];
        if (v.vt == VT_BSTR) return WideOf(v.bstrVal);
        return Convert(i, [](const Variant& x) { return x.ToWide(); });
    }
    std::int32_t Int32(std::size_t i) const { return Convert(i, [](const Variant& x) { return x.ToInt32(); }); }
    std::int16_t Int16(std::size_t i) const { return Convert(i, [](const Variant& x) { return x.ToInt16(); }); }
    VARIANT_BOOL Bool(std::size_t i) const {
        return Convert(i, [](const Variant& x) { return x.ToBool() ? VARIANT_TRUE : VARIANT_FALSE; });
    }
    OLE_COLOR Color(std::size_t i) const {
        return Convert(i, [](const Variant& x) {
            const std::int64_t c = x.ToInt64();
            // A signed 32-bit value carries a system colour's high bit.
            if (c < std::numeric_limits<std::int32_t>::min() || c > std::numeric_limits<std::uint32_t>::max())
                throw EVariantError("Overflow");
            return static_cast<OLE_COLOR>(c);
        });
    }
    IDispatch* Dispatch(std::size_t i) const {
        IDispatch* d = DispatchOf(*slots_[i]);
        if (!d) throw BadArgument{DISP_E_TYPEMISMATCH, Index(i)};
        return d;
    }

private:
    static bool IsMissing(const VARIANT& v) { return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND; }

    const DISPPARAMS& params_;
    std::vector<const VARIANT*> slots_;
};

void ReturnBool(VARIANT* r, VARIANT_BOOL v) { r->vt = VT_BOOL; r->boolVal = v; }
void ReturnInt32(VARIANT* r, std::int32_t v) { r->vt = VT_I4; r->lVal = v; }
void ReturnString(VARIANT* r, const WideString& v) { r->bstrVal = AllocWide(v); r->vt = VT_BSTR; }

// Calls one member with converted arguments; the result (if any) goes to r.
HRESULT CallMember(IKubrixX& c, const TMemberInfo& m, const TArgs& a, VARIANT* r) {
    HRESULT hr = S_OK;
    VARIANT_BOOL b = 0;
    std::int32_t i = 0;
    WideString s;
    // A getter of each type: run it, then hand the value on only when it succeeded.
    const auto getBool = [&](HRESULT (IKubrixX::*get)(VARIANT_BOOL*)) {
        if (Succeeded(hr = (c.*get)(&b))) ReturnBool(r, b);
    };
    const auto getString = [&](HRESULT (IKubrixX::*get)(WideString*)) {
        if (Succeeded(hr = (c.*get)(&s))) ReturnString(r, s);
    };
    const bool get = m.Kind == TMemberKind::Get;
    switch (m.Id) {
        case DISPID_Visible: if (get) getBool(&IKubrixX::get_Visible); else hr = c.put_Visible(a.Bool(0)); break;
        case DISPID_AutoScroll: if (get) getBool(&IKubrixX::get_AutoScroll); else hr = c.put_AutoScroll(a.Bool(0)); break;
        case DISPID_AutoSize: if (get) getBool(&IKubrixX::get_AutoSize); else hr = c.put_AutoSize(a.Bool(0)); break;
        case DISPID_AxBorderStyle:
            if (get) {
                TxActiveFormBorderStyle v{};
                if (Succeeded(hr = c.get_AxBorderStyle(&v))) ReturnInt32(r, v);
            } else {
                hr = c.put_AxBorderStyle(static_cast<TxActiveFormBorderStyle>(a.Int32(0)));
            }
            break;
        case DISPID_Caption: if (get) getString(&IKubrixX::get_Caption); else hr = c.put_Caption(a.Str(0)); break;
        case DISPID_Color:
            if (get) {
                OLE_COLOR v = 0;
                if (Succeeded(hr = c.get_Color(&v))) { r->vt = VT_UI4; r->ulVal = v; }
            } else {
                hr = c.put_Color(a.Color(0));
            }
            break;
        case DISPID_Font:
            if (get) {
                r->pdispVal = new TFontDisp(&c);
                r->pdispVal->AddRef();
                r->vt = VT_DISPATCH;
            } else {
                TOleFont font;
                std::int32_t ppi = 96;
                if (Failed(hr = c.get_Font(&font)) || Failed(hr = c.get_PixelsPerInch(&ppi))) break;
                font = ReadFont(a.Dispatch(0), font, ppi);
                hr = m.Kind == TMemberKind::PutRef ? c.putref_Font(font) : c.put_Font(font);
            }
            break;
        case DISPID_KeyPreview: if (get) getBool(&IKubrixX::get_KeyPreview); else hr = c.put_KeyPreview(a.Bool(0)); break;
        case DISPID_PixelsPerInch:
            if (get) {
                if (Succeeded(hr = c.get_PixelsPerInch(&i))) ReturnInt32(r, i);
            } else {
                hr = c.put_PixelsPerInch(a.Int32(0));
            }
            break;
        case DISPID_PrintScale:
            if (get) {
                TxPrintScale v{};
                if (Succeeded(hr = c.get_PrintScale(&v))) ReturnInt32(r, v);
            } else {
                hr = c.put_PrintScale(static_cast<TxPrintScale>(a.Int32(0)));
            }
            break;
        case DISPID_Scaled: if (get) getBool(&IKubrixX::get_Scaled); else hr = c.put_Scaled(a.Bool(0)); break;
        case DISPID_Active: getBool(&IKubrixX::get_Active); break;
        case DISPID_DropTarget: if (get) getBool(&IKubrixX::get_DropTarget); else hr = c.put_DropTarget(a.Bool(0)); break;
        case DISPID_HelpFile: if (get) getString(&IKubrixX::get_HelpFile); else hr = c.put_HelpFile(a.Str(0)); break;
        case DISPID_DoubleBuffered:
            if (get) getBool(&IKubrixX::get_DoubleBuffered); else hr = c.put_DoubleBuffered(a.Bool(0));
            break;
        case DISPID_AlignDisabled: getBool(&IKubrixX::get_AlignDisabled); break;
        case DISPID_VisibleDockClientCount:
            if (Succeeded(hr = c.get_VisibleDockClientCount(&i))) ReturnInt32(r, i);
            break;
        case DISPID_Enabled: if (get) getBool(&IKubrixX::get_Enabled); else hr = c.put_Enabled(a.Bool(0)); break;
        case DISPID_Cursor:
            if (get) {
                std::int16_t v = 0;
                if (Succeeded(hr = c.get_Cursor(&v))) { r->vt = VT_I2; r->iVal = v; }
            } else {
                hr = c.put_Cursor(a.Int16(0));
            }
            break;
        case DISPID_HelpType:
            if (get) {
                TxHelpType v{};
                if (Succeeded(hr = c.get_HelpType(&v))) ReturnInt32(r, v);
            } else {
                hr = c.put_HelpType(static_cast<TxHelpType>(a.Int32(0)));
            }
            break;
        case DISPID_HelpKeyword: if (get) getString(&IKubrixX::get_HelpKeyword); else hr = c.put_HelpKeyword(a.Str(0)); break;
        case DISPID_AboutBox: hr = c.AboutBox(); break;
        case DISPID_SetSQL: hr = c.SetSQL(a.Str(0)); break;
        case DISPID_Config: hr = c.Config(a.Str(0), a.Str(1), a.Str(2), a.Str(3), a.Int32(4)); break;
        case DISPID_State: if (get) getString(&IKubrixX::get_State); else hr = c.put_State(a.Str(0)); break;
        case DISPID_SaveState: hr = c.SaveState(a.Str(0)); break;
        case DISPID_LoadState: hr = c.LoadState(a.Str(0)); break;
        case DISPID_Connect: hr = c.Connect(a.Str(0)); break;
        case DISPID_ConnectTo1C: hr = c.ConnectTo1C(); break;
        case DISPID_Disconnect: hr = c.Disconnect(); break;
        case DISPID_Close: hr = c.Close(); break;
        default: hr = DISP_E_MEMBERNOTFOUND; break;
    }
    return hr;
}

//! The member a call with these flags means: a put for the put flags, else a method, else a getter.
const TMemberInfo* Resolve(DISPID id, std::uint16_t flags) {
    const auto& members = KubrixXMembers();
    if (flags & DISPATCH_PROPERTYPUTREF) {
        if (const auto* m = FindMember(members, id, TMemberKind::PutRef)) return m;
    }
    if (flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) return FindMember(members, id, TMemberKind::Put);
    if (flags & DISPATCH_METHOD) {
        if (const auto* m = FindMember(members, id, TMemberKind::Method)) return m;
    }
    if (flags & (DISPATCH_PROPERTYGET | DISPATCH_METHOD)) return FindMember(members, id, TMemberKind::Get);
    return nullptr;
}

}  // namespace

HRESULT TKubrixX::GetTypeInfoCount(std::uint32_t* count) {
    if (!count) return E_POINTER;
    *count = 1;
    return S_OK;
}

HRESULT TKubrixX::GetTypeInfo(std::uint32_t index, LCID, ITypeInfo** info) {
    if (!info) return E_POINTER;
    *info = nullptr;
    if (index != 0) return DISP_E_BADINDEX;
    return KubrixTypeLibrary().GetTypeInfoOfGuid(IID_IKubrixX, info);
}

HRESULT TKubrixX::GetIDsOfNames(const IID& iid, char16_t** names, std::uint32_t count, LCID, DISPID* ids) {
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    return IdsOfNames(KubrixXMembers(), names, count, ids);
}

HRESULT TKubrixX::Invoke(DISPID id, const IID& iid, LCID, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, std::uint32_t* argError) {
    // An out value: whatever the caller left there is not ours to free.
    if (result) VariantInit(result);
    if (!(iid == IID_NULL)) return DISP_E_UNKNOWNINTERFACE;
    if (!params) return E_POINTER;
    if (params->cArgs && !params->rgvarg) return E_INVALIDARG;
    if (params->cNamedArgs > params->cArgs || (params->cNamedArgs && !params->rgdispidNamedArgs)) return E_INVALIDARG;
    const TMemberInfo* member = Resolve(id, flags);
    if (!member) return DISP_E_MEMBERNOTFOUND;
    VARIANT ignored;
    VariantInit(&ignored);
    VARIANT* out = result ? result : &ignored;
    HRESULT hr = S_OK;
    try {
        const TArgs args(*member, *params);
        hr = CallMember(*this, *member, args, out);
    } catch (const BadArgument& bad) {
        if (argError && (bad.Code == DISP_E_TYPEMISMATCH || bad.Code == DISP_E_OVERFLOW ||
                         bad.Code == DISP_E_PARAMNOTFOUND || bad.Code == DISP_E_BADVARTYPE ||
                         bad.Code == DISP_E_PARAMNOTOPTIONAL || bad.Code == E_POINTER))
            *argError = bad.Index;
        VariantClear(out);
        return bad.Code;
    } catch (const std::exception&) {
        VariantClear(out);
        return E_OUTOFMEMORY;
    }
    VariantClear(&ignored);
    if (Succeeded(hr)) return hr;
    if (hr == DISP_E_MEMBERNOTFOUND) return hr;
    // The member failed: its error info becomes the exception information, and stays on the
    // thread for a host that asks for it instead.
    std::shared_ptr<const TErrorInfo> info;
    GetErrorInfo(info);
    if (exception) {
        *exception = EXCEPINFO{};
        exception->scode = hr;
        exception->bstrSource = SysAllocString(KubrixXProgID);
        if (info) {
            exception->bstrDescription = SysAllocStringLen(info->Description.data(),
                                                           static_cast<std::uint32_t>(info->Description.size()));
        }
    }
    SetErrorInfo(info);
    return DISP_E_EXCEPTION;
}

}  // namespace kubrix
