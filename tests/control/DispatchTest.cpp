// The control driven by name: GetIDsOfNames and Invoke with variant arguments, the failures a
// host sees, the type information, events through the connection point, persistence of the
// standard properties and activation inside a container's widget.

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QTest>

#include <cstring>
#include <map>

#include "ControlTestEnv.h"
#include "control/KubrixXOle.h"

namespace kubrix::test {
namespace {

VARIANT Str(const char16_t* s) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocString(s);
    return v;
}
VARIANT I4(std::int32_t i) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = i;
    return v;
}
VARIANT R8(double d) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_R8;
    v.dblVal = d;
    return v;
}
VARIANT Of(VarType vt) {
    VARIANT v;
    VariantInit(&v);
    v.vt = vt;
    return v;
}

//! One call by name: arguments in declaration order, put calls with the named put argument.
struct Call {
    HRESULT hr = S_OK;
    VARIANT result{};
    EXCEPINFO exception{};
    std::uint32_t argError = 999;

    Call(IDispatch& d, const char16_t* name, std::uint16_t flags, std::vector<VARIANT> args = {}) {
        DISPID id = DISPID_UNKNOWN;
        char16_t* names[] = {const_cast<char16_t*>(name)};
        hr = d.GetIDsOfNames(IID_NULL, names, 1, 0, &id);
        if (Failed(hr)) return;
        std::vector<VARIANT> reversed(args.rbegin(), args.rend());
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = flags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF);
        DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, static_cast<std::uint32_t>(reversed.size()),
                          isPut ? 1u : 0u};
        VariantInit(&result);
        hr = d.Invoke(id, IID_NULL, 0, flags, &params, &result, &exception, &argError);
        for (auto& v : args) VariantClear(&v);
    }
    ~Call() {
        VariantClear(&result);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    std::string Description() const { return Utf16ToUtf8(WideOf(exception.bstrDescription)); }
};

std::string Text(BSTR s) { return Utf16ToUtf8(WideOf(s)); }

class Dispatch : public ::testing::Test {
protected:
    ComPtr<IKubrixX> control = TKubrixX::Create();
    IDispatch& d = *control.Get();
};

TEST_F(Dispatch, NamesAreFoundWithoutRegardToCase) {
    struct Case {
        std::vector<const char16_t*> names;
        HRESULT hr;
        std::vector<DISPID> ids;
    };
    const Case cases[] = {
        {{u"SetSQL"}, S_OK, {DISPID_SetSQL}},
        {{u"setsql"}, S_OK, {DISPID_SetSQL}},
        {{u"ABOUTBOX"}, S_OK, {DISPID_AboutBox}},
        {{u"caption"}, S_OK, {DISPID_Caption}},
        {{u"Config", u"dataindex", u"XFIELDS"}, S_OK, {DISPID_Config, 4, 0}},
        {{u"State", u"Value"}, S_OK, {DISPID_State, 0}},
        {{u"Config", u"NoSuchParameter"}, DISP_E_UNKNOWNNAME, {DISPID_Config, DISPID_UNKNOWN}},
        {{u"NoSuchMember", u"XFields"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN, DISPID_UNKNOWN}},
        {{u"SetSQ"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},
        {{u"OnClick"}, DISP_E_UNKNOWNNAME, {DISPID_UNKNOWN}},  // an event, not a member
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.names[0]));
        std::vector<char16_t*> names;
        for (auto* n : c.names) names.push_back(const_cast<char16_t*>(n));
        std::vector<DISPID> ids(names.size(), 12345);
        EXPECT_EQ(d.GetIDsOfNames(IID_NULL, names.data(), static_cast<std::uint32_t>(names.size()), 0, ids.data()), c.hr);
        EXPECT_EQ(ids, c.ids);
    }
    DISPID id = 0;
    char16_t* none[] = {nullptr};
    EXPECT_EQ(d.GetIDsOfNames(IID_NULL, none, 1, 0, &id), DISP_E_UNKNOWNNAME);
    EXPECT_EQ(d.GetIDsOfNames(IID_NULL, nullptr, 1, 0, &id), E_POINTER);
    EXPECT_EQ(d.GetIDsOfNames(IID_IKubrixX, none, 1, 0, &id), DISP_E_UNKNOWNINTERFACE);
}

// Each wrong call gets its code, the argument at fault where there is one, and changes nothing.
TEST_F(Dispatch, BadCallsGetTheirCodes) {
    struct Case {
        const char* name;
        DISPID id;
        std::uint16_t flags;
        std::vector<VARIANT> args;  // rgvarg order
        HRESULT hr;
        std::uint32_t argError;     // 999: untouched
    };
    VARIANT missing = Of(VT_ERROR);
    missing.scode = DISP_E_PARAMNOTFOUND;
    VARIANT array = Of(VT_I4 | VT_ARRAY);
    VARIANT nullRef = Of(VT_BSTR | VT_BYREF);
    std::vector<Case> cases;
    cases.push_back({"unknown identifier", 999, DISPATCH_METHOD, {}, DISP_E_MEMBERNOTFOUND, 999});
    cases.push_back({"put of a read-only property", DISPID_Active, DISPATCH_PROPERTYPUT, {I4(1)}, DISP_E_MEMBERNOTFOUND, 999});
    cases.push_back({"get of a method", DISPID_SetSQL, DISPATCH_PROPERTYGET, {}, DISP_E_MEMBERNOTFOUND, 999});
    cases.push_back({"no flags", DISPID_Visible, 0, {}, DISP_E_MEMBERNOTFOUND, 999});
    cases.push_back({"too few", DISPID_Config, DISPATCH_METHOD, {I4(0), Str(u"X")}, DISP_E_BADPARAMCOUNT, 999});
    cases.push_back({"too many", DISPID_Close, DISPATCH_METHOD, {I4(0)}, DISP_E_BADPARAMCOUNT, 999});
    cases.push_back({"getter with an argument", DISPID_Caption, DISPATCH_PROPERTYGET, {I4(0)}, DISP_E_BADPARAMCOUNT, 999});
    cases.push_back({"text for a number", DISPID_Config, DISPATCH_METHOD,
                     {Str(u"abc"), Str(u"X"), Str(u""), Str(u""), Str(u"")}, DISP_E_TYPEMISMATCH, 0});
    cases.push_back({"overflow", DISPID_Cursor, DISPATCH_PROPERTYPUT, {I4(70000)}, DISP_E_OVERFLOW, 0});
    cases.push_back({"interface for text", DISPID_SetSQL, DISPATCH_METHOD, {Of(VT_UNKNOWN)}, DISP_E_TYPEMISMATCH, 0});
    cases.push_back({"array", DISPID_SetSQL, DISPATCH_METHOD, {array}, DISP_E_BADVARTYPE, 0});
    cases.push_back({"null by reference", DISPID_SetSQL, DISPATCH_METHOD, {nullRef}, E_POINTER, 0});
    cases.push_back({"missing required", DISPID_SetSQL, DISPATCH_METHOD, {missing}, DISP_E_PARAMNOTOPTIONAL, 0});
    cases.push_back({"number for a font", DISPID_Font, DISPATCH_PROPERTYPUT, {I4(1)}, DISP_E_TYPEMISMATCH, 0});
    for (auto& c : cases) {
        SCOPED_TRACE(c.name);
        DISPID put = DISPID_PROPERTYPUT;
        const bool isPut = c.flags & DISPATCH_PROPERTYPUT;
        DISPPARAMS params{c.args.data(), isPut ? &put : nullptr, static_cast<std::uint32_t>(c.args.size()), isPut ? 1u : 0u};
        VARIANT result = I4(77);  // an out value: emptied, whatever it held
        EXCEPINFO e{};
        std::uint32_t argError = 999;
        EXPECT_EQ(d.Invoke(c.id, IID_NULL, 0, c.flags, &params, &result, &e, &argError), c.hr);
        EXPECT_EQ(argError, c.argError);
        EXPECT_EQ(e.bstrDescription, nullptr);
        EXPECT_EQ(result.vt, VT_EMPTY);
        for (auto& v : c.args) VariantClear(&v);
    }
    DISPPARAMS none{nullptr, nullptr, 0, 0};
    DISPPARAMS broken{nullptr, nullptr, 2, 0};
    EXPECT_EQ(d.Invoke(DISPID_Close, IID_NULL, 0, DISPATCH_METHOD, nullptr, nullptr, nullptr, nullptr), E_POINTER);
    EXPECT_EQ(d.Invoke(DISPID_Close, IID_NULL, 0, DISPATCH_METHOD, &broken, nullptr, nullptr, nullptr), E_INVALIDARG);
    EXPECT_EQ(d.Invoke(DISPID_Close, IID_IKubrixX, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr),
              DISP_E_UNKNOWNINTERFACE);
    EXPECT_EQ(d.Invoke(DISPID_Close, IID_NULL, 0, DISPATCH_METHOD, &none, nullptr, nullptr, nullptr), S_OK);
}

// Properties written by name with any convertible variant and read back in their declared type.
TEST_F(Dispatch, PropertiesConvertTheirArguments) {
    struct Case {
        const char16_t* name;
        VARIANT put;
        VarType type;
        std::string value;  // what the getter returns, as text
    };
    VARIANT boolByRef = Of(VT_BOOL | VT_BYREF);
    VARIANT_BOOL yes = VARIANT_TRUE;
    boolByRef.pboolVal = &yes;
    VARIANT inner = Str(u"Отчёт по ссылке");
    VARIANT variantByRef = Of(VT_VARIANT | VT_BYREF);
    variantByRef.pvarVal = &inner;
    std::vector<Case> cases;
    cases.push_back({u"Caption", Str(u"Сводная таблица"), VT_BSTR, "Сводная таблица"});
    cases.push_back({u"caption", variantByRef, VT_BSTR, "Отчёт по ссылке"});
    cases.push_back({u"PixelsPerInch", Str(u"120"), VT_I4, "120"});
    cases.push_back({u"AxBorderStyle", R8(2.0), VT_I4, "2"});
    cases.push_back({u"HelpType", I4(htKeyword), VT_I4, "0"});
    cases.push_back({u"Cursor", I4(-11), VT_I2, "-11"});
    cases.push_back({u"KeyPreview", I4(1), VT_BOOL, "-1"});
    cases.push_back({u"DoubleBuffered", boolByRef, VT_BOOL, "-1"});
    cases.push_back({u"Scaled", Str(u"False"), VT_BOOL, "0"});
    cases.push_back({u"Color", I4(static_cast<std::int32_t>(0x80000005u)), VT_UI4, std::to_string(0x80000005u)});
    cases.push_back({u"Color", I4(0x00FF00), VT_UI4, std::to_string(0x00FF00)});
    cases.push_back({u"HelpKeyword", I4(42), VT_BSTR, "42"});
    for (auto& c : cases) {
        SCOPED_TRACE(Utf16ToUtf8(c.name));
        Call put(d, c.name, DISPATCH_PROPERTYPUT, {c.put});
        ASSERT_EQ(put.hr, S_OK);
        Call get(d, c.name, DISPATCH_PROPERTYGET | DISPATCH_METHOD);
        ASSERT_EQ(get.hr, S_OK);
        ASSERT_EQ(get.result.vt, c.type);
        std::string got;
        switch (get.result.vt) {
            case VT_BSTR: got = Text(get.result.bstrVal); break;
            case VT_I4: got = std::to_string(get.result.lVal); break;
            case VT_UI4: got = std::to_string(get.result.ulVal); break;
            default: got = std::to_string(get.result.iVal); break;
        }
        EXPECT_EQ(got, c.value);
    }
    VariantClear(&inner);  // lent by reference: still ours
    // The form itself changed, not a copy.
    EXPECT_EQ(static_cast<TKubrixX*>(control.Get())->windowTitle().toStdString(), "Отчёт по ссылке");
}

TEST_F(Dispatch, NamedArgumentsInAnyOrder) {
    TempSqliteDb db;
    const std::string conn = db.ConnStr();
    FillSales(conn);
    ASSERT_EQ(Call(d, u"Connect", DISPATCH_METHOD, {Str(W(conn).c_str())}).hr, S_OK);
    ASSERT_EQ(Call(d, u"SetSQL", DISPATCH_METHOD, {Str(u"SELECT region, year, amount FROM sales")}).hr, S_OK);
    // Config(DataIndex:=0, DFields:="amount;", XFields:="region;", YFields:="year;", DataPlace:="Y")
    VARIANT args[] = {I4(0), Str(u"amount;"), Str(u"region;"), Str(u"year;"), Str(u"Y")};
    DISPID names[] = {4, 2, 0, 1, 3};
    DISPPARAMS params{args, names, 5, 5};
    EXPECT_EQ(d.Invoke(DISPID_Config, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, nullptr), S_OK);
    auto* form = static_cast<TKubrixX*>(control.Get());
    EXPECT_EQ(form->Grid().DataPlace, 1);
    DISPID wrong[] = {4, 2, 0, 1, 7};
    params.rgdispidNamedArgs = wrong;
    std::uint32_t argError = 999;
    EXPECT_EQ(d.Invoke(DISPID_Config, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argError),
              DISP_E_PARAMNOTFOUND);
    EXPECT_EQ(argError, 4u);
    for (auto& v : args) VariantClear(&v);
}

// A member that fails hands its error to the host in the exception info and as error info.
TEST_F(Dispatch, FailuresFillTheExceptionInfo) {
    TempSqliteDb db;
    const std::string conn = db.ConnStr();
    FillSales(conn);
    ASSERT_EQ(Call(d, u"Connect", DISPATCH_METHOD, {Str(W(conn).c_str())}).hr, S_OK);
    ASSERT_EQ(Call(d, u"SetSQL", DISPATCH_METHOD, {Str(u"SELECT region, amount FROM sales")}).hr, S_OK);

    Call config(d, u"Config", DISPATCH_METHOD, {Str(u"регион;"), Str(u""), Str(u""), Str(u"X"), I4(0)});
    EXPECT_EQ(config.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(config.exception.scode, E_UNEXPECTED);
    EXPECT_EQ(Text(config.exception.bstrSource), "KubrixProj.KubrixX");
    EXPECT_EQ(config.Description(), "Field not found: регион");
    EXPECT_EQ(LastErrorDescription(), "Field not found: регион");

    Call sql(d, u"SetSQL", DISPATCH_METHOD, {Str(u"SELECT region FROM nowhere_table")});
    EXPECT_EQ(sql.hr, DISP_E_EXCEPTION);
    EXPECT_NE(sql.Description().find("nowhere_table"), std::string::npos) << sql.Description();
    LastErrorDescription();

    auto support = QueryAs<ISupportErrorInfo>(control.Get(), IID_ISupportErrorInfo);
    ASSERT_TRUE(support);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IKubrixX), S_OK);
    EXPECT_EQ(support->InterfaceSupportsErrorInfo(IID_IOleObject), S_FALSE);
}

// The type information lists every member in interface order with identifier, kind and types.
TEST_F(Dispatch, TypeInformationDescribesTheLibrary) {
    ITypeInfo* info = nullptr;
    ASSERT_EQ(d.GetTypeInfo(0, 0, &info), S_OK);
    EXPECT_EQ(d.GetTypeInfo(1, 0, &info), DISP_E_BADINDEX);
    ASSERT_EQ(d.GetTypeInfo(0, 0, &info), S_OK);
    TYPEATTR* attr = nullptr;
    ASSERT_EQ(info->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, IID_IKubrixX);
    EXPECT_EQ(attr->typekind, TKIND_DISPATCH);
    EXPECT_TRUE(attr->wTypeFlags & TYPEFLAG_FDUAL);
    ASSERT_EQ(attr->cFuncs, 51);
    info->ReleaseTypeAttr(attr);

    // name, identifier, kind (g get, p put, r put by reference, m method), result and parameter types
    const char* expected =
        "Visible 1 g 11;Visible 1 p 24 11;AutoScroll 2 g 11;AutoScroll 2 p 24 11;AutoSize 3 g 11;AutoSize 3 p 24 11;"
        "AxBorderStyle 4 g 29;AxBorderStyle 4 p 24 29;Caption -518 g 8;Caption -518 p 24 8;Color -501 g 19;"
        "Color -501 p 24 19;Font -512 g 9;Font -512 p 24 9;Font -512 r 24 9;KeyPreview 5 g 11;KeyPreview 5 p 24 11;"
        "PixelsPerInch 6 g 3;PixelsPerInch 6 p 24 3;PrintScale 7 g 29;PrintScale 7 p 24 29;Scaled 8 g 11;"
        "Scaled 8 p 24 11;Active 9 g 11;DropTarget 10 g 11;DropTarget 10 p 24 11;HelpFile 11 g 8;HelpFile 11 p 24 8;"
        "DoubleBuffered 12 g 11;DoubleBuffered 12 p 24 11;AlignDisabled 13 g 11;VisibleDockClientCount 14 g 3;"
        "Enabled -514 g 11;Enabled -514 p 24 11;Cursor 15 g 2;Cursor 15 p 24 2;HelpType 16 g 29;HelpType 16 p 24 29;"
        "HelpKeyword 17 g 8;HelpKeyword 17 p 24 8;AboutBox -552 m 24;SetSQL 18 m 24 8;Config 19 m 24 8 8 8 8 3;"
        "State 20 g 8;State 20 p 24 8;SaveState 21 m 24 8;LoadState 22 m 24 8;Connect 23 m 24 8;ConnectTo1C 24 m 24;"
        "Disconnect 25 m 24;Close 26 m 24;";
    std::string listed;
    for (std::uint32_t i = 0; i < 51; ++i) {
        FUNCDESC* f = nullptr;
        ASSERT_EQ(info->GetFuncDesc(i, &f), S_OK);
        BSTR name = nullptr;
        ASSERT_EQ(info->GetDocumentation(f->memid, &name, nullptr, nullptr, nullptr), S_OK);
        listed += Text(name) + " " + std::to_string(f->memid) + " " +
                  (f->invkind == 2 ? "g" : f->invkind == 4 ? "p" : f->invkind == 8 ? "r" : "m") + " " +
                  std::to_string(f->elemdescFunc.tdesc.vt);
        for (int p = 0; p < f->cParams; ++p) listed += " " + std::to_string(f->lprgelemdescParam[p].tdesc.vt);
        listed += ";";
        SysFreeString(name);
        info->ReleaseFuncDesc(f);
    }
    EXPECT_EQ(listed, expected);
    FUNCDESC* f = nullptr;
    EXPECT_EQ(info->GetFuncDesc(51, &f), TYPE_E_ELEMENTNOTFOUND);

    // Names of a member's parameters, and the enumeration behind an enumerated property.
    BSTR names[6] = {};
    std::uint32_t count = 0;
    ASSERT_EQ(info->GetNames(DISPID_Config, names, 6, &count), S_OK);
    ASSERT_EQ(count, 6u);
    EXPECT_EQ(Text(names[0]) + " " + Text(names[5]), "Config DataIndex");
    for (auto* n : names) SysFreeString(n);
    ASSERT_EQ(info->GetFuncDesc(6, &f), S_OK);  // AxBorderStyle's getter
    ITypeInfo* borderStyle = nullptr;
    ASSERT_EQ(info->GetRefTypeInfo(f->elemdescFunc.tdesc.hreftype, &borderStyle), S_OK);
    info->ReleaseFuncDesc(f);
    BSTR enumName = nullptr;
    borderStyle->GetDocumentation(MEMBERID_NIL, &enumName, nullptr, nullptr, nullptr);
    EXPECT_EQ(Text(enumName), "TxActiveFormBorderStyle");
    SysFreeString(enumName);
    std::string values;
    for (std::uint32_t i = 0;; ++i) {
        VARDESC* v = nullptr;
        if (borderStyle->GetVarDesc(i, &v) != S_OK) break;
        BSTR n = nullptr;
        borderStyle->GetDocumentation(v->memid, &n, nullptr, nullptr, nullptr);
        values += Text(n) + "=" + std::to_string(v->lpvarValue->lVal) + " ";
        SysFreeString(n);
        borderStyle->ReleaseVarDesc(v);
    }
    EXPECT_EQ(values, "afbNone=0 afbSingle=1 afbSunken=2 afbRaised=3 ");

    // The library: its name, its seven types in order, and the coclass with its two interfaces.
    ITypeLib* lib = nullptr;
    std::uint32_t index = 99;
    ASSERT_EQ(info->GetContainingTypeLib(&lib, &index), S_OK);
    EXPECT_EQ(index, 0u);
    BSTR libName = nullptr, libDoc = nullptr;
    lib->GetDocumentation(-1, &libName, &libDoc, nullptr, nullptr);
    EXPECT_EQ(Text(libName) + " / " + Text(libDoc), "KubrixProj / KubrixProj Library");
    SysFreeString(libName);
    SysFreeString(libDoc);
    std::string types;
    for (std::uint32_t i = 0; i < lib->GetTypeInfoCount(); ++i) {
        BSTR n = nullptr;
        lib->GetDocumentation(static_cast<std::int32_t>(i), &n, nullptr, nullptr, nullptr);
        types += Text(n) + " ";
        SysFreeString(n);
    }
    EXPECT_EQ(types, "IKubrixX IKubrixXEvents KubrixX TxActiveFormBorderStyle TxPrintScale TxMouseButton TxHelpType ");

    auto provide = QueryAs<IProvideClassInfo>(control.Get(), IID_IProvideClassInfo);
    ASSERT_TRUE(provide);
    ITypeInfo* coclass = nullptr;
    ASSERT_EQ(provide->GetClassInfo(&coclass), S_OK);
    ASSERT_EQ(coclass->GetTypeAttr(&attr), S_OK);
    EXPECT_EQ(attr->guid, CLASS_KubrixX);
    EXPECT_EQ(attr->typekind, TKIND_COCLASS);
    EXPECT_EQ(attr->cImplTypes, 2);
    coclass->ReleaseTypeAttr(attr);
    std::string implemented;
    for (std::uint32_t i = 0; i < 2; ++i) {
        HREFTYPE ref = 0;
        std::int32_t flags = 0;
        ITypeInfo* implementedInfo = nullptr;
        coclass->GetRefTypeOfImplType(i, &ref);
        coclass->GetImplTypeFlags(i, &flags);
        coclass->GetRefTypeInfo(ref, &implementedInfo);
        BSTR n = nullptr;
        implementedInfo->GetDocumentation(MEMBERID_NIL, &n, nullptr, nullptr, nullptr);
        implemented += Text(n) + ":" + std::to_string(flags) + " ";
        SysFreeString(n);
    }
    EXPECT_EQ(implemented, "IKubrixX:1 IKubrixXEvents:3 ");
}

// ---- events

//! A host's event sink: a dispatch object that logs the events' identifiers.
class DispatchSink : public IDispatch {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (iid == IID_IUnknown || iid == IID_IDispatch) {
            *object = static_cast<IDispatch*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT GetTypeInfoCount(std::uint32_t* n) override { *n = 0; return S_OK; }
    HRESULT GetTypeInfo(std::uint32_t, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(const IID&, char16_t**, std::uint32_t, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID id, const IID&, LCID, std::uint16_t, DISPPARAMS* params, VARIANT*, EXCEPINFO*,
                   std::uint32_t*) override {
        if (id == DISPID_OnPaint) return S_OK;  // whenever the platform repaints
        std::string e = std::to_string(id);
        if (id == DISPID_OnKeyPress && params->cArgs == 1 && params->rgvarg[0].vt == (VT_I2 | VT_BYREF)) {
            e += " key " + std::to_string(*params->rgvarg[0].piVal);
            *params->rgvarg[0].piVal = replacement;
        }
        events.push_back(e);
        return S_OK;
    }
    std::vector<std::string> events;
    std::int16_t replacement = 0;
    std::uint32_t refs = 1;
};

class KeyForm : public TKubrixX {
public:
    std::vector<QString> keys;

protected:
    void KeyPressed(QKeyEvent* event) override { keys.push_back(event->text()); }
};

TEST(DispatchEvents, ReachTheSinkThroughTheConnectionPoint) {
    auto* form = new KeyForm();
    ComPtr<IKubrixX> control(form);
    auto container = QueryAs<IConnectionPointContainer>(control.Get(), IID_IConnectionPointContainer);
    ASSERT_TRUE(container);
    IConnectionPoint* point = nullptr;
    EXPECT_EQ(container->FindConnectionPoint(IID_IDispatch, &point), CONNECT_E_NOCONNECTION);
    ASSERT_EQ(container->FindConnectionPoint(DIID_IKubrixXEvents, &point), S_OK);
    ComPtr<IConnectionPoint> held = ComPtr<IConnectionPoint>::Attach(point);
    IID iid{};
    EXPECT_EQ(point->GetConnectionInterface(&iid), S_OK);
    EXPECT_EQ(iid, DIID_IKubrixXEvents);

    DispatchSink sink, second;
    std::uint32_t cookie = 0, other = 0;
    ASSERT_EQ(point->Advise(&sink, &cookie), S_OK);
    EXPECT_GT(sink.refs, 1u);
    EXPECT_EQ(point->Advise(&second, &other), CONNECT_E_ADVISELIMIT);
    EXPECT_EQ(other, 0u);

    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    QTest::mouseDClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    QKeyEvent a(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, "a");
    sink.replacement = 'b';
    QApplication::sendEvent(form, &a);
    QKeyEvent swallowed(QEvent::KeyPress, Qt::Key_C, Qt::NoModifier, "c");
    sink.replacement = 0;
    QApplication::sendEvent(form, &swallowed);
    const std::vector<std::string> expected = {"2", "5", "11 key 97", "11 key 99"};
    EXPECT_EQ(std::vector<std::string>(sink.events.begin(), sink.events.end()).size() >= 4, true);
    std::vector<std::string> got;
    for (const auto& e : sink.events)
        if (e != "2" || got.empty()) got.push_back(e);  // a double click also ends in a release
    EXPECT_EQ(got, expected);
    EXPECT_EQ(form->keys, std::vector<QString>{"b"});

    // Frozen events are dropped; thawed, they flow again.
    auto oleControl = QueryAs<IOleControl>(control.Get(), IID_IOleControl);
    sink.events.clear();
    oleControl->FreezeEvents(1);
    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(sink.events.empty());
    oleControl->FreezeEvents(0);
    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(sink.events, std::vector<std::string>{"2"});

    EXPECT_EQ(point->Unadvise(cookie + 1), CONNECT_E_NOCONNECTION);
    EXPECT_EQ(point->Unadvise(cookie), S_OK);
    EXPECT_EQ(sink.refs, 1u);
    EXPECT_EQ(point->Unadvise(cookie), CONNECT_E_NOCONNECTION);
    sink.events.clear();
    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_TRUE(sink.events.empty());

    // A sink without a dispatch entry cannot connect; null pointers are refused.
    class Plain : public IUnknown {
    public:
        HRESULT QueryInterface(const IID&, void** o) override { *o = nullptr; return E_NOINTERFACE; }
        std::uint32_t AddRef() override { return 2; }
        std::uint32_t Release() override { return 1; }
    } plain;
    EXPECT_EQ(point->Advise(&plain, &cookie), CONNECT_E_CANNOTCONNECT);
    EXPECT_EQ(point->Advise(nullptr, &cookie), E_POINTER);
    EXPECT_EQ(point->Advise(&sink, nullptr), E_POINTER);
}

// ---- persistence

//! A property bag of the container's.
class Bag : public IPropertyBag {
public:
    HRESULT QueryInterface(const IID&, void** o) override { *o = nullptr; return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT Read(const char16_t* name, VARIANT* value, IUnknown*) override {
        const auto it = values.find(name);
        if (it == values.end()) return E_INVALIDARG;
        *value = it->second;
        if (value->vt == VT_BSTR) value->bstrVal = AllocWide(WideOf(it->second.bstrVal));
        return S_OK;
    }
    HRESULT Write(const char16_t* name, VARIANT* value) override {
        VARIANT copy = *value;
        if (copy.vt == VT_BSTR) copy.bstrVal = AllocWide(WideOf(value->bstrVal));
        if (auto it = values.find(name); it != values.end()) VariantClear(&it->second);
        values[name] = copy;
        return S_OK;
    }
    ~Bag() {
        for (auto& [n, v] : values) VariantClear(&v);
    }
    std::map<std::u16string, VARIANT> values;
};

//! A byte stream of the container's.
class Stream : public IStream {
public:
    HRESULT QueryInterface(const IID&, void** o) override { *o = nullptr; return E_NOINTERFACE; }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
    HRESULT Read(void* data, std::uint32_t size, std::uint32_t* read) override {
        const std::uint32_t n = std::min<std::uint32_t>(size, static_cast<std::uint32_t>(bytes.size() - at));
        std::memcpy(data, bytes.data() + at, n);
        at += n;
        *read = n;
        return S_OK;
    }
    HRESULT Write(const void* data, std::uint32_t size, std::uint32_t* written) override {
        bytes.append(static_cast<const char*>(data), size);
        *written = size;
        return S_OK;
    }
    std::string bytes;
    std::size_t at = 0;
};

//! The standard properties of a form, as text, for comparing two controls.
std::string Properties(IKubrixX& c) {
    std::string out;
    for (const char16_t* name : {u"Caption", u"Color", u"PixelsPerInch", u"HelpKeyword", u"AxBorderStyle", u"Scaled"}) {
        Call get(c, name, DISPATCH_PROPERTYGET);
        out += Utf16ToUtf8(name) + "=" +
               (get.result.vt == VT_BSTR ? Text(get.result.bstrVal) : std::to_string(get.result.lVal)) + ";";
    }
    TOleFont f;
    c.get_Font(&f);
    return out + "Font=" + Utf16ToUtf8(f.Name) + "," + std::to_string(f.Height) + (f.Bold ? ",bold" : "");
}

void Customise(IKubrixX& c) {
    c.put_Caption(u"Свод продаж");
    c.put_Color(0x336699);
    c.put_PixelsPerInch(120);
    c.put_HelpKeyword(u"pivot");
    c.put_AxBorderStyle(afbSunken);
    c.put_Scaled(VARIANT_FALSE);
    c.put_Font(TOleFont{u"DejaVu Sans", -15, true, false, false, false});
}

TEST(DispatchPersistence, StandardPropertiesSurviveBagAndStream) {
    ComPtr<IKubrixX> source = TKubrixX::Create();
    Customise(*source.Get());
    const std::string saved = Properties(*source.Get());

    Bag bag;
    auto bagOut = QueryAs<IPersistPropertyBag>(source.Get(), IID_IPersistPropertyBag);
    ASSERT_EQ(bagOut->Save(&bag, 1, 1), S_OK);
    EXPECT_EQ(Text(bag.values[u"Caption"].bstrVal), "Свод продаж");
    ComPtr<IKubrixX> fromBag = TKubrixX::Create();
    ASSERT_EQ(QueryAs<IPersistPropertyBag>(fromBag.Get(), IID_IPersistPropertyBag)->Load(&bag, nullptr), S_OK);
    EXPECT_EQ(Properties(*fromBag.Get()), saved);

    Stream stream;
    auto streamOut = QueryAs<IPersistStreamInit>(source.Get(), IID_IPersistStreamInit);
    ASSERT_EQ(streamOut->Save(&stream, 1), S_OK);
    ComPtr<IKubrixX> fromStream = TKubrixX::Create();
    auto streamIn = QueryAs<IPersistStreamInit>(fromStream.Get(), IID_IPersistStreamInit);
    ASSERT_EQ(streamIn->Load(&stream), S_OK);
    EXPECT_EQ(Properties(*fromStream.Get()), saved);
    CLSID clsid{};
    EXPECT_EQ(streamIn->GetClassID(&clsid), S_OK);
    EXPECT_EQ(clsid, CLASS_KubrixX);

    // A bag holding a value of the wrong kind is refused by the property it names.
    Bag wrong;
    VARIANT v = Str(u"many");
    wrong.Write(u"PixelsPerInch", &v);
    VariantClear(&v);
    EXPECT_EQ(QueryAs<IPersistPropertyBag>(fromBag.Get(), IID_IPersistPropertyBag)->Load(&wrong, nullptr),
              DISP_E_TYPEMISMATCH);
}

// Damaged streams are read errors: no crash, no allocation sized by the damage.
TEST(DispatchPersistence, DamagedStreamsAreRefused) {
    ComPtr<IKubrixX> source = TKubrixX::Create();
    Customise(*source.Get());
    Stream good;
    ASSERT_EQ(QueryAs<IPersistStreamInit>(source.Get(), IID_IPersistStreamInit)->Save(&good, 0), S_OK);
    struct Case {
        const char* name;
        std::string bytes;
    };
    std::string hugeName = good.bytes.substr(0, 8) + std::string("\xFF\xFF\xFF\x7F", 4);
    std::string hugeCount = "KXP1" + std::string("\xFF\xFF\xFF\xFF", 4);
    std::string badType = good.bytes.substr(0, 8) + std::string("\x01\0\0\0", 4) + std::string("A\0", 2) +
                          std::string("\x0D\0", 2);
    const Case cases[] = {
        {"empty", ""},
        {"other magic", "KXP2" + good.bytes.substr(4)},
        {"cut short", good.bytes.substr(0, good.bytes.size() - 3)},
        {"huge count", hugeCount},
        {"huge name", hugeName},
        {"interface value", badType},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ComPtr<IKubrixX> target = TKubrixX::Create();
        Stream s;
        s.bytes = c.bytes;
        EXPECT_EQ(QueryAs<IPersistStreamInit>(target.Get(), IID_IPersistStreamInit)->Load(&s), STG_E_READFAULT);
    }
    auto persist = QueryAs<IPersistStreamInit>(source.Get(), IID_IPersistStreamInit);
    EXPECT_EQ(persist->Load(nullptr), E_POINTER);
    EXPECT_EQ(persist->Save(nullptr, 0), E_POINTER);
}

// ---- the container's side

TEST(DispatchContainer, InPlaceActivationSurvivesTheContainersWidget) {
    auto* parent = new QWidget();
    ComPtr<IKubrixX> control = TKubrixX::Create();
    auto* form = static_cast<TKubrixX*>(control.Get());
    auto ole = QueryAs<IOleObject>(control.Get(), IID_IOleObject);
    ASSERT_TRUE(ole);
    RECT rect{10, 20, 410, 320};
    ASSERT_EQ(ole->DoVerb(-5, nullptr, nullptr, 0, parent, &rect), S_OK);
    ASSERT_NE(form->parentWidget(), nullptr);
    EXPECT_EQ(form->parentWidget()->parentWidget(), parent);
    EXPECT_EQ(form->parentWidget()->geometry(), QRect(10, 20, 400, 300));
    std::uint32_t status = 0;
    EXPECT_EQ(ole->GetMiscStatus(1, &status), S_OK);
    EXPECT_EQ(status, 205201u);

    auto inPlace = QueryAs<IOleInPlaceObject>(control.Get(), IID_IOleInPlaceObject);
    RECT moved{0, 0, 200, 100};
    EXPECT_EQ(inPlace->SetObjectRects(&moved, nullptr), S_OK);
    EXPECT_EQ(form->parentWidget()->geometry(), QRect(0, 0, 200, 100));
    RECT inverted{10, 10, 0, 0};
    EXPECT_EQ(inPlace->SetObjectRects(&inverted, nullptr), OLE_E_INVALIDRECT);
    HWND window = nullptr;
    EXPECT_EQ(inPlace->GetWindow(&window), S_OK);
    EXPECT_EQ(window, static_cast<QWidget*>(form));

    // The container's widget goes first: the control stays with its reference, outside it.
    delete parent;
    EXPECT_EQ(form->parentWidget(), nullptr);
    Call caption(*control.Get(), u"Caption", DISPATCH_PROPERTYGET);
    EXPECT_EQ(Text(caption.result.bstrVal), "KubrixX");

    // Placed again, then released while placed: the holder goes with the control.
    QWidget other;
    ASSERT_EQ(ole->DoVerb(-5, nullptr, nullptr, 0, &other, nullptr), S_OK);
    EXPECT_EQ(other.children().size(), 1);
    ole = nullptr;
    inPlace = nullptr;
    control = nullptr;
    EXPECT_TRUE(other.findChildren<QWidget*>().isEmpty());
}

TEST(DispatchContainer, SafetyDrawingAndTheInterfacesWithoutAMeaning) {
    ComPtr<IKubrixX> control = TKubrixX::Create();
    auto safety = QueryAs<IObjectSafety>(control.Get(), IID_IObjectSafety);
    std::uint32_t supported = 9, enabled = 9;
    ASSERT_EQ(safety->GetInterfaceSafetyOptions(IID_IDispatch, &supported, &enabled), S_OK);
    EXPECT_EQ(supported, 0u);  // it connects to databases and writes files
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                                INTERFACESAFE_FOR_UNTRUSTED_CALLER), E_FAIL);
    EXPECT_EQ(safety->SetInterfaceSafetyOptions(IID_IPersistPropertyBag, INTERFACESAFE_FOR_UNTRUSTED_DATA,
                                                INTERFACESAFE_FOR_UNTRUSTED_DATA), S_OK);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_IPersistPropertyBag, &supported, &enabled), S_OK);
    EXPECT_EQ(enabled, INTERFACESAFE_FOR_UNTRUSTED_DATA);
    EXPECT_EQ(safety->GetInterfaceSafetyOptions(IID_ITypeLib, &supported, &enabled), E_NOINTERFACE);

    auto view = QueryAs<IViewObject2>(control.Get(), IID_IViewObject2);
    std::vector<std::uint32_t> pixels(40 * 30, 0);
    TKubrixImage image{pixels.data(), 40, 30, 40 * 4};
    TKubrixImage narrow{pixels.data(), 40, 30, 100};
    RECTL empty{5, 5, 5, 20};
    EXPECT_EQ(view->Draw(2, -1, nullptr, nullptr, nullptr, &image, nullptr, nullptr, nullptr, 0), DV_E_DVASPECT);
    EXPECT_EQ(view->Draw(1, -1, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(view->Draw(1, -1, nullptr, nullptr, nullptr, &narrow, nullptr, nullptr, nullptr, 0), E_INVALIDARG);
    EXPECT_EQ(view->Draw(1, -1, nullptr, nullptr, nullptr, &image, &empty, nullptr, nullptr, 0), OLE_E_INVALIDRECT);
    ASSERT_EQ(view->Draw(1, -1, nullptr, nullptr, nullptr, &image, nullptr, nullptr, nullptr, 0), S_OK);
    EXPECT_NE(pixels[0], 0u);

    auto data = QueryAs<IDataObject>(control.Get(), IID_IDataObject);
    auto storage = QueryAs<IPersistStorage>(control.Get(), IID_IPersistStorage);
    auto browsing = QueryAs<IPerPropertyBrowsing>(control.Get(), IID_IPerPropertyBrowsing);
    auto frame = QueryAs<ISimpleFrameSite>(control.Get(), IID_ISimpleFrameSite);
    ASSERT_TRUE(data && storage && browsing && frame);
    EXPECT_EQ(data->GetData(nullptr, nullptr), E_NOTIMPL);
    EXPECT_EQ(storage->Load(nullptr), E_NOTIMPL);
    BSTR text = nullptr;
    EXPECT_EQ(browsing->GetDisplayString(DISPID_Caption, &text), E_NOTIMPL);
    EXPECT_EQ(frame->PreMessageFilter(nullptr, 0, 0, 0, nullptr, nullptr), E_NOTIMPL);
    auto pages = QueryAs<ISpecifyPropertyPages>(control.Get(), IID_ISpecifyPropertyPages);
    CAUUID none{7, nullptr};
    EXPECT_EQ(pages->GetPages(&none), S_OK);
    EXPECT_EQ(none.cElems, 0u);
    // Every part answers for the same object.
    void* unknown = nullptr;
    ASSERT_EQ(data->QueryInterface(IID_IUnknown, &unknown), S_OK);
    EXPECT_EQ(unknown, static_cast<IKubrixX*>(control.Get()));
    control->Release();
}

TEST(DispatchFont, TheFontObjectStaysConnectedToTheForm) {
    ComPtr<IKubrixX> control = TKubrixX::Create();
    auto* form = static_cast<TKubrixX*>(control.Get());
    Call font(*control.Get(), u"Font", DISPATCH_PROPERTYGET);
    ASSERT_EQ(font.hr, S_OK);
    ASSERT_EQ(font.result.vt, VT_DISPATCH);
    IDispatch& f = *font.result.pdispVal;
    EXPECT_EQ(Call(f, u"Name", DISPATCH_PROPERTYPUT, {Str(u"DejaVu Serif")}).hr, S_OK);
    EXPECT_EQ(Call(f, u"bold", DISPATCH_PROPERTYPUT, {I4(1)}).hr, S_OK);
    EXPECT_EQ(form->font().family(), "DejaVu Serif");
    EXPECT_TRUE(form->font().bold());
    Call name(f, u"Name", DISPATCH_PROPERTYGET);
    EXPECT_EQ(Text(name.result.bstrVal), "DejaVu Serif");
    EXPECT_EQ(Call(f, u"NoSuchProperty", DISPATCH_PROPERTYGET).hr, DISP_E_UNKNOWNNAME);

    // Another control takes the font through the object.
    ComPtr<IKubrixX> other = TKubrixX::Create();
    font.result.pdispVal->AddRef();
    VARIANT arg = Of(VT_DISPATCH);
    arg.pdispVal = font.result.pdispVal;
    EXPECT_EQ(Call(*other.Get(), u"Font", DISPATCH_PROPERTYPUTREF, {arg}).hr, S_OK);
    EXPECT_EQ(static_cast<TKubrixX*>(other.Get())->font().family(), "DejaVu Serif");

    // The host lets the control go but keeps the font: the font keeps what it reads from.
    control = nullptr;
    Call after(f, u"Name", DISPATCH_PROPERTYGET);
    EXPECT_EQ(Text(after.result.bstrVal), "DejaVu Serif");
}

TEST(DispatchContainer, QuickActivationConnectsTheEventSink) {
    auto* form = new TKubrixX();
    ComPtr<IKubrixX> control(form);
    auto quick = QueryAs<IQuickActivate>(control.Get(), IID_IQuickActivate);
    ASSERT_TRUE(quick);
    DispatchSink sink;
    QACONTAINER container{};
    container.cbSize = sizeof container;
    container.pUnkEventSink = &sink;
    QACONTROL answer{};
    EXPECT_EQ(quick->QuickActivate(&container, &answer), E_INVALIDARG);  // sizes not filled in
    answer.cbSize = sizeof answer;
    ASSERT_EQ(quick->QuickActivate(&container, &answer), S_OK);
    EXPECT_EQ(answer.dwMiscStatus, 205201u);
    EXPECT_NE(answer.dwEventCookie, 0u);
    QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    EXPECT_EQ(sink.events, std::vector<std::string>{"2"});
    EXPECT_EQ(quick->QuickActivate(nullptr, &answer), E_POINTER);
    auto point = QueryAs<IConnectionPointContainer>(control.Get(), IID_IConnectionPointContainer);
    IConnectionPoint* p = nullptr;
    ASSERT_EQ(point->FindConnectionPoint(DIID_IKubrixXEvents, &p), S_OK);
    EXPECT_EQ(p->Unadvise(answer.dwEventCookie), S_OK);
    p->Release();
    EXPECT_EQ(sink.refs, 1u);
}

}  // namespace
}  // namespace kubrix::test
