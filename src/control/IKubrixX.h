#pragma once
// The control's interface and its event interface. Every method and property accessor
// returns an HRESULT and passes its result through an out parameter; strings are UTF-16.

#include <cstdint>

#include "control/ComBase.h"
#include "control/Dispatch.h"
#include "control/KubrixProj_TLB.h"

namespace kubrix {

//! A font as it crosses the interface (the form's font is copied from and into it).
struct TOleFont {
    WideString Name;
    //! Height in pixels; negative for the character height without internal leading.
    std::int32_t Height = 0;
    bool Bold = false;
    bool Italic = false;
    bool Underline = false;
    bool Strikeout = false;
};

// A dual interface: the members below are also reachable by name through IDispatch.
class IKubrixX : public IDispatch {
public:
    // ---- standard form properties, in interface order
    virtual HRESULT get_Visible(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_Visible(VARIANT_BOOL value) = 0;
    virtual HRESULT get_AutoScroll(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_AutoScroll(VARIANT_BOOL value) = 0;
    virtual HRESULT get_AutoSize(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_AutoSize(VARIANT_BOOL value) = 0;
    virtual HRESULT get_AxBorderStyle(TxActiveFormBorderStyle* value) = 0;
    virtual HRESULT put_AxBorderStyle(TxActiveFormBorderStyle value) = 0;
    virtual HRESULT get_Caption(WideString* value) = 0;
    virtual HRESULT put_Caption(const WideString& value) = 0;
    virtual HRESULT get_Color(OLE_COLOR* value) = 0;
    virtual HRESULT put_Color(OLE_COLOR value) = 0;
    virtual HRESULT get_Font(TOleFont* value) = 0;
    virtual HRESULT put_Font(const TOleFont& value) = 0;
    virtual HRESULT putref_Font(const TOleFont& value) = 0;
    virtual HRESULT get_KeyPreview(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_KeyPreview(VARIANT_BOOL value) = 0;
    virtual HRESULT get_PixelsPerInch(std::int32_t* value) = 0;
    virtual HRESULT put_PixelsPerInch(std::int32_t value) = 0;
    virtual HRESULT get_PrintScale(TxPrintScale* value) = 0;
    virtual HRESULT put_PrintScale(TxPrintScale value) = 0;
    virtual HRESULT get_Scaled(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_Scaled(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Active(VARIANT_BOOL* value) = 0;
    virtual HRESULT get_DropTarget(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_DropTarget(VARIANT_BOOL value) = 0;
    virtual HRESULT get_HelpFile(WideString* value) = 0;
    virtual HRESULT put_HelpFile(const WideString& value) = 0;
    virtual HRESULT get_DoubleBuffered(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_DoubleBuffered(VARIANT_BOOL value) = 0;
    virtual HRESULT get_AlignDisabled(VARIANT_BOOL* value) = 0;
    virtual HRESULT get_VisibleDockClientCount(std::int32_t* value) = 0;
    virtual HRESULT get_Enabled(VARIANT_BOOL* value) = 0;
    virtual HRESULT put_Enabled(VARIANT_BOOL value) = 0;
    virtual HRESULT get_Cursor(std::int16_t* value) = 0;
    virtual HRESULT put_Cursor(std::int16_t value) = 0;
    virtual HRESULT get_HelpType(TxHelpType* value) = 0;
    virtual HRESULT put_HelpType(TxHelpType value) = 0;
    virtual HRESULT get_HelpKeyword(WideString* value) = 0;
    virtual HRESULT put_HelpKeyword(const WideString& value) = 0;

    // ---- the control's own members
    //! Shows the about box modally.
    virtual HRESULT AboutBox() = 0;
    //! Closes the dataset, sets the select text and opens it unless the text is blank.
    virtual HRESULT SetSQL(const WideString& SQLText) = 0;
    //! Lays out the pivot: name lists (each name followed by ";"), "X"/"Y", data index.
    virtual HRESULT Config(const WideString& XFields, const WideString& YFields, const WideString& DFields,
                           const WideString& DataPlace, std::int32_t DataIndex) = 0;
    //! The full layout state: one UTF-16 unit per byte.
    virtual HRESULT get_State(WideString* value) = 0;
    //! Restores a state that get_State returned; an empty string changes nothing.
    virtual HRESULT put_State(const WideString& value) = 0;
    virtual HRESULT SaveState(const WideString& FileName) = 0;
    //! A missing file changes nothing and succeeds.
    virtual HRESULT LoadState(const WideString& FileName) = 0;
    virtual HRESULT Connect(const WideString& ConnectionString) = 0;
    //! Adopts the connection of the host's back end; failures are shown, never returned.
    virtual HRESULT ConnectTo1C() = 0;
    virtual HRESULT Disconnect() = 0;
    virtual HRESULT Close() = 0;
};

//! The events a host receives; a sink implements it.
class IKubrixXEvents : public IUnknown {
public:
    virtual HRESULT OnActivate() = 0;
    virtual HRESULT OnClick() = 0;
    virtual HRESULT OnCreate() = 0;
    virtual HRESULT OnDblClick() = 0;
    virtual HRESULT OnDestroy() = 0;
    virtual HRESULT OnDeactivate() = 0;
    //! Key: the character code; what the sink leaves there (low 8 bits) goes on, 0 swallows it.
    virtual HRESULT OnKeyPress(std::int16_t& Key) = 0;
    virtual HRESULT OnPaint() = 0;
};

}  // namespace kubrix
