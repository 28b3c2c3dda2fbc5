#pragma once
// Saved forms of the parts of a pivot layout that the grid's full state is made of (the grid's
// own members GetState, SetState, GetFullState, SetFullState and the state files are declared
// with TQelKubrix).

#include <string>

#include "support/Variant.h"

namespace kubrix {

class TQelKubrix;
class TQelOLAPFields;
class TQelOLAPVisibleFields;

//! Every pivot field's value flags: [1, bytes of a stream holding [name, values] per field].
void GetFieldsState(const TQelOLAPFields& fields, Variant& v);
//! Restores value flags by field name; saved values missing from a dictionary are added, none
//! is removed. Anything but an array marked 1 changes nothing.
void SetFieldsState(TQelOLAPFields& fields, const Variant& v);
//! The placed fields of one list: [[name, ShowTotals, DescSort], ...].
void GetPlacedFields(const TQelOLAPVisibleFields& list, Variant& v);
//! Adds the fields of a saved list to list, in order, with their flags; raises
//! "Field not found: " + name for an unknown one.
void PlaceFields(TQelOLAPVisibleFields& list, const Variant& v);
//! Replaces the placed fields of the lists whose saved value is given (nullptr: the list keeps
//! its fields), all inside one bracket of the three lists: every list given is cleared before
//! any field is placed, so a field may move from one axis to the other.
void ApplyPlacedFields(TQelKubrix& grid, const Variant* x, const Variant* y, const Variant* d);

//! The number of values a full state string is made of.
inline constexpr int kFullStateValues = 8;

//! What a full state string holds, read without applying it.
struct TFullStateReading {
    //! Values read before the first that cannot be read (at most kFullStateValues).
    int Values = 0;
    //! At least one list of placed fields was read: there is a layout to apply.
    bool HasLayout = false;
    //! Every value was read and has its saved form.
    bool Complete = false;
};
TFullStateReading ReadFullStateParts(const std::string& s);

//! Writes bytes to a new file beside fileName, flushes it to the disk and renames it over
//! fileName, so that a failed write leaves the old file whole; raises with the reason.
void WriteFileReplacing(const std::string& fileName, const std::string& bytes);

}  // namespace kubrix
