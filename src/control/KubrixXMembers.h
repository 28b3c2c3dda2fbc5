#pragma once
// The members of the control's interfaces as a host sees them by name: dispatch identifiers,
// kinds, parameter and result types, in interface order. The dispatch entry and the type
// information both read these tables, so the two never disagree.

#include <cstdint>
#include <string>
#include <vector>

#include "control/Dispatch.h"

namespace kubrix {

//! How a member is invoked (the dispatch flags' values).
enum class TMemberKind : std::uint16_t { Method = 1, Get = 2, Put = 4, PutRef = 8 };

//! VT_USERDEFINED: a type described by another entry of the library.
inline constexpr VarType VT_USERDEFINED = 29;
inline constexpr VarType VT_VOID = 24;

struct TParamInfo {
    const char16_t* Name;
    //! The variant type the argument is converted to (VT_BYREF added for an in-out argument).
    VarType Type;
    //! The enumeration (index into KubrixEnums()) when Type is VT_USERDEFINED, else -1.
    int Enum = -1;
};

struct TMemberInfo {
    const char16_t* Name;
    DISPID Id;
    TMemberKind Kind;
    //! VT_VOID when nothing is returned.
    VarType Result;
    int ResultEnum;
    std::vector<TParamInfo> Params;
    //! One line for a host's member list.
    const char* Help;
};

struct TEnumInfo {
    const char16_t* Name;
    std::vector<std::pair<const char16_t*, std::int32_t>> Values;
};

//! The 51 members of IKubrixX in interface order.
const std::vector<TMemberInfo>& KubrixXMembers();
//! The 8 events of IKubrixXEvents in interface order.
const std::vector<TMemberInfo>& KubrixXEventMembers();
//! TxActiveFormBorderStyle, TxPrintScale, TxMouseButton, TxHelpType.
const std::vector<TEnumInfo>& KubrixEnums();

//! Whether two member or parameter names are equal without regard to (ASCII) case.
bool SameName(std::u16string_view a, std::u16string_view b);
//! The member of the table with that identifier and kind, or null.
const TMemberInfo* FindMember(const std::vector<TMemberInfo>& table, DISPID id, TMemberKind kind);

//! names[0] a member of the table, the rest its parameters (each its position); names are
//! matched without regard to case and unknown ones get DISPID_UNKNOWN and DISP_E_UNKNOWNNAME.
HRESULT IdsOfNames(const std::vector<TMemberInfo>& table, char16_t** names, std::uint32_t count, DISPID* ids);

}  // namespace kubrix
