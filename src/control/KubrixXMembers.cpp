#include "control/KubrixXMembers.h"

#include "control/KubrixProj_TLB.h"

namespace kubrix {
namespace {

constexpr int kBorderStyle = 0, kPrintScale = 1, kHelpType = 3;
constexpr VarType VT_BYREF_I2 = VT_I2 | VT_BYREF;

// A property's getter and setter (in that order), or its getter alone.
void Property(std::vector<TMemberInfo>& t, const char16_t* name, DISPID id, VarType type, int e, bool put,
              const char* help) {
    t.push_back({name, id, TMemberKind::Get, type, e, {}, help});
    if (put) t.push_back({name, id, TMemberKind::Put, VT_VOID, -1, {{u"Value", type, e}}, help});
}

std::vector<TMemberInfo> BuildMembers() {
    std::vector<TMemberInfo> t;
    Property(t, u"Visible", DISPID_Visible, VT_BOOL, -1, true, "Whether the form is shown");
    Property(t, u"AutoScroll", DISPID_AutoScroll, VT_BOOL, -1, true, "Scroll bars when the content is larger");
    Property(t, u"AutoSize", DISPID_AutoSize, VT_BOOL, -1, true, "The form sizes itself to its content");
    Property(t, u"AxBorderStyle", DISPID_AxBorderStyle, VT_USERDEFINED, kBorderStyle, true, "The form's border");
    Property(t, u"Caption", DISPID_Caption, VT_BSTR, -1, true, "The form's caption");
    Property(t, u"Color", DISPID_Color, VT_UI4, -1, true, "The form's colour (OLE colour)");
    Property(t, u"Font", DISPID_Font, VT_DISPATCH, -1, true, "The form's font");
    t.push_back({u"Font", DISPID_Font, TMemberKind::PutRef, VT_VOID, -1, {{u"Value", VT_DISPATCH}}, "The form's font"});
    Property(t, u"KeyPreview", DISPID_KeyPreview, VT_BOOL, -1, true, "The form sees keys before its controls");
    Property(t, u"PixelsPerInch", DISPID_PixelsPerInch, VT_I4, -1, true, "The form's design resolution");
    Property(t, u"PrintScale", DISPID_PrintScale, VT_USERDEFINED, kPrintScale, true, "How the form prints");
    Property(t, u"Scaled", DISPID_Scaled, VT_BOOL, -1, true, "The form scales to the screen's resolution");
    Property(t, u"Active", DISPID_Active, VT_BOOL, -1, false, "Whether the form has the focus");
    Property(t, u"DropTarget", DISPID_DropTarget, VT_BOOL, -1, true, "The form accepts drops");
    Property(t, u"HelpFile", DISPID_HelpFile, VT_BSTR, -1, true, "The form's help file");
    Property(t, u"DoubleBuffered", DISPID_DoubleBuffered, VT_BOOL, -1, true, "The form paints off screen first");
    Property(t, u"AlignDisabled", DISPID_AlignDisabled, VT_BOOL, -1, false, "Alignment of children is suspended");
    Property(t, u"VisibleDockClientCount", DISPID_VisibleDockClientCount, VT_I4, -1, false, "Docked clients shown");
    Property(t, u"Enabled", DISPID_Enabled, VT_BOOL, -1, true, "The form takes input");
    Property(t, u"Cursor", DISPID_Cursor, VT_I2, -1, true, "The form's mouse cursor");
    Property(t, u"HelpType", DISPID_HelpType, VT_USERDEFINED, kHelpType, true, "How help is looked up");
    Property(t, u"HelpKeyword", DISPID_HelpKeyword, VT_BSTR, -1, true, "The form's help keyword");

    const auto method = [&t](const char16_t* name, DISPID id, std::vector<TParamInfo> params, const char* help) {
        t.push_back({name, id, TMemberKind::Method, VT_VOID, -1, std::move(params), help});
    };
    method(u"AboutBox", DISPID_AboutBox, {}, "Shows the about box");
    method(u"SetSQL", DISPID_SetSQL, {{u"SQLText", VT_BSTR}}, "Sets the query and opens its result");
    method(u"Config", DISPID_Config,
           {{u"XFields", VT_BSTR}, {u"YFields", VT_BSTR}, {u"DFields", VT_BSTR}, {u"DataPlace", VT_BSTR},
            {u"DataIndex", VT_I4}},
           "Lays out the pivot");
    Property(t, u"State", DISPID_State, VT_BSTR, -1, true, "The pivot's whole layout");
    method(u"SaveState", DISPID_SaveState, {{u"FileName", VT_BSTR}}, "Writes the layout to a file");
    method(u"LoadState", DISPID_LoadState, {{u"FileName", VT_BSTR}}, "Restores the layout from a file");
    method(u"Connect", DISPID_Connect, {{u"ConnectionString", VT_BSTR}}, "Connects through an ODBC string");
    method(u"ConnectTo1C", DISPID_ConnectTo1C, {}, "Adopts the back end's connection");
    method(u"Disconnect", DISPID_Disconnect, {}, "Disconnects");
    method(u"Close", DISPID_Close, {}, "Closes the query's result");
    return t;
}

std::vector<TMemberInfo> BuildEvents() {
    const auto event = [](const char16_t* name, DISPID id, std::vector<TParamInfo> params = {}) {
        return TMemberInfo{name, id, TMemberKind::Method, VT_VOID, -1, std::move(params), ""};
    };
    return {event(u"OnActivate", DISPID_OnActivate), event(u"OnClick", DISPID_OnClick),
            event(u"OnCreate", DISPID_OnCreate),     event(u"OnDblClick", DISPID_OnDblClick),
            event(u"OnDestroy", DISPID_OnDestroy),   event(u"OnDeactivate", DISPID_OnDeactivate),
            event(u"OnKeyPress", DISPID_OnKeyPress, {{u"Key", VT_BYREF_I2}}), event(u"OnPaint", DISPID_OnPaint)};
}

}  // namespace

const std::vector<TMemberInfo>& KubrixXMembers() {
    static const std::vector<TMemberInfo> members = BuildMembers();
    return members;
}

const std::vector<TMemberInfo>& KubrixXEventMembers() {
    static const std::vector<TMemberInfo> events = BuildEvents();
    return events;
}

const std::vector<TEnumInfo>& KubrixEnums() {
    static const std::vector<TEnumInfo> enums = {
        {u"TxActiveFormBorderStyle", {{u"afbNone", 0}, {u"afbSingle", 1}, {u"afbSunken", 2}, {u"afbRaised", 3}}},
        {u"TxPrintScale", {{u"poNone", 0}, {u"poProportional", 1}, {u"poPrintToFit", 2}}},
        {u"TxMouseButton", {{u"mbLeft", 0}, {u"mbRight", 1}, {u"mbMiddle", 2}}},
        {u"TxHelpType", {{u"htKeyword", 0}, {u"htContext", 1}}},
    };
    return enums;
}

bool SameName(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char16_t x = a[i], y = b[i];
        if (x >= u'a' && x <= u'z') x = char16_t(x - 32);
        if (y >= u'a' && y <= u'z') y = char16_t(y - 32);
        if (x != y) return false;
    }
    return true;
}

const TMemberInfo* FindMember(const std::vector<TMemberInfo>& table, DISPID id, TMemberKind kind) {
    for (const auto& m : table)
        if (m.Id == id && m.Kind == kind) return &m;
    return nullptr;
}

HRESULT IdsOfNames(const std::vector<TMemberInfo>& table, char16_t** names, std::uint32_t count, DISPID* ids) {
    if (count == 0) return S_OK;
    if (!names || !ids) return E_POINTER;
    for (std::uint32_t i = 0; i < count; ++i) ids[i] = DISPID_UNKNOWN;
    const TMemberInfo* member = nullptr;
    if (names[0])
        for (const auto& m : table)
            if (SameName(names[0], m.Name)) {
                member = &m;
                break;
            }
    if (!member) return DISP_E_UNKNOWNNAME;
    ids[0] = member->Id;
    // Parameter names belong to the member's method or setter (a getter has none).
    const TMemberInfo* withParams = member;
    if (member->Kind == TMemberKind::Get)
        if (const auto* put = FindMember(table, member->Id, TMemberKind::Put)) withParams = put;
    HRESULT hr = S_OK;
    for (std::uint32_t i = 1; i < count; ++i) {
        for (std::size_t p = 0; p < withParams->Params.size(); ++p)
            if (names[i] && SameName(names[i], withParams->Params[p].Name)) ids[i] = static_cast<DISPID>(p);
        if (ids[i] == DISPID_UNKNOWN) hr = DISP_E_UNKNOWNNAME;
    }
    return hr;
}

}  // namespace kubrix
