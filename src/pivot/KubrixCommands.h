#pragma once
// The pivot grid's context menus and commands as data: which menu a right click on a cell opens,
// the items of each menu (the captions a view shows), and the hint text rule. No Qt here.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace kubrix {

//! A command of the context menus; None for a separator.
enum class TKubrixCommand : std::uint8_t {
    None,
    CollapseAll,
    ExpandAll,
    SortUp,
    SortDown,
    ShowTotal,
    HideTotal,
    SortUpDataV,
    SortDownDataV,
    SortUpDataG,
    SortDownDataG,
};

//! Which context menu a cell opens; the value is the tag of that menu's items.
enum class TKubrixMenu : std::uint8_t {
    None = 0,
    Caption = 2,  //!< on the caption cell of a field
    Data = 3,     //!< on a data or total cell
};

//! One item of the context menu; the caption "-" is a separator.
struct TKubrixMenuItem {
    const char* Caption;
    TKubrixMenu Tag;
    TKubrixCommand Command;
};

//! Every item of the context menu in menu order; a view shows exactly the items of the opened tag.
std::span<const TKubrixMenuItem> KubrixMenuItems();

//! The most characters a hint shows before "..." is appended.
constexpr std::size_t kHintMaxChars = 800;

//! A cell text as a hint: blanks and control characters trimmed at both ends; past
//! kHintMaxChars characters cut (never inside a character) and "..." appended.
std::string HintText(std::string_view text);

}  // namespace kubrix
