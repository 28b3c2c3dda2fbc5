#pragma once
// Identities of the control's library: the interface and class GUIDs, the ProgID, the
// dispatch identifiers of IKubrixX and IKubrixXEvents and the enumerations of its properties.

#include <cstdint>

#include "control/ComBase.h"

namespace kubrix {

inline constexpr GUID LIBID_KubrixProj{0x5B0E3A41, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
inline constexpr GUID IID_IKubrixX{0x5B0E3A42, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
inline constexpr GUID DIID_IKubrixXEvents{0x5B0E3A43, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};
inline constexpr GUID CLASS_KubrixX{0x5B0E3A44, 0x8C2D, 0x4F6E, {0x9A, 0x71, 0x3D, 0x52, 0xE0, 0x18, 0xB4, 0x01}};

inline constexpr const char16_t* KubrixXProgID = u"KubrixProj.KubrixX";

//! Dispatch identifiers of IKubrixX.
enum KubrixXDispId : std::int32_t {
    DISPID_Visible = 1, DISPID_AutoScroll = 2, DISPID_AutoSize = 3, DISPID_AxBorderStyle = 4,
    DISPID_Caption = -518, DISPID_Color = -501, DISPID_Font = -512, DISPID_KeyPreview = 5,
    DISPID_PixelsPerInch = 6, DISPID_PrintScale = 7, DISPID_Scaled = 8, DISPID_Active = 9,
    DISPID_DropTarget = 10, DISPID_HelpFile = 11, DISPID_DoubleBuffered = 12, DISPID_AlignDisabled = 13,
    DISPID_VisibleDockClientCount = 14, DISPID_Enabled = -514, DISPID_Cursor = 15, DISPID_HelpType = 16,
    DISPID_HelpKeyword = 17,
    DISPID_AboutBox = -552, DISPID_SetSQL = 18, DISPID_Config = 19, DISPID_State = 20, DISPID_SaveState = 21,
    DISPID_LoadState = 22, DISPID_Connect = 23, DISPID_ConnectTo1C = 24, DISPID_Disconnect = 25, DISPID_Close = 26,
};

//! Dispatch identifiers of IKubrixXEvents.
enum KubrixXEventsDispId : std::int32_t {
    DISPID_OnActivate = 1, DISPID_OnClick = 2, DISPID_OnCreate = 3, DISPID_OnDblClick = 5,
    DISPID_OnDestroy = 6, DISPID_OnDeactivate = 7, DISPID_OnKeyPress = 11, DISPID_OnPaint = 16,
};

enum TxActiveFormBorderStyle : std::int32_t { afbNone = 0, afbSingle = 1, afbSunken = 2, afbRaised = 3 };
enum TxPrintScale : std::int32_t { poNone = 0, poProportional = 1, poPrintToFit = 2 };
enum TxMouseButton : std::int32_t { mbLeft = 0, mbRight = 1, mbMiddle = 2 };
enum TxHelpType : std::int32_t { htKeyword = 0, htContext = 1 };

//! An OLE colour: 0x00BBGGRR, or 0x80000000 | index for a system colour.
using OLE_COLOR = std::uint32_t;
//! The system colour of button faces.
inline constexpr OLE_COLOR clBtnFace = 0x8000000F;

}  // namespace kubrix
