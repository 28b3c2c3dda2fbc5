#pragma once
// The working state of the report editor without any widget: the four lists the user drags
// entries between (all fields, vertical axis, horizontal axis, data), the "Данные" marker that
// says where the block of data fields sits among the axis levels, and the rules of which drop
// is accepted and what it does to the lists. The dialog shows these lists and forwards drops.

#include <array>
#include <string>
#include <vector>

#include "support/FieldTypes.h"

namespace kubrix {

class TQelKubrix;

//! A column of the report's dataset as the editor sees it.
struct TKubrixEditorField {
    //! Source field name: the key that the name lists carry.
    std::string Name;
    //! Display label; the entry's text (the name when empty).
    std::string Label;
    TFieldType DataType = ftUnknown;
};

//! The report as the editor opens it.
struct TKubrixEditorInput {
    //! Every pivot field, in the grid's field order.
    std::vector<TKubrixEditorField> Fields;
    //! Names on the vertical axis, the horizontal axis and the data list, in order.
    std::vector<std::string> XFields, YFields, DFields;
    //! 0: the data block lies among the vertical levels; 1: among the horizontal ones.
    int DataPlace = 0;
    //! Level at which the data block is inserted.
    int DataIndex = 0;
};

//! What "Применить" hands to the grid: three name lists, each name followed by ";".
struct TKubrixEditorLayout {
    std::string XFields, YFields, DFields;
    int DataPlace = 0;
    int DataIndex = 0;
    friend bool operator==(const TKubrixEditorLayout&, const TKubrixEditorLayout&) = default;
};

//! The four lists, in the order of their storage.
enum TEditorList : int { elAllFields = 0, elXFields = 1, elYFields = 2, elDFields = 3 };

//! Entry value of the data marker (a field entry holds its index into the field table).
inline constexpr int EditorMarker = -1;
//! Text of the data marker entry: the word in double quote characters.
inline constexpr const char* EditorMarkerText = "\"Данные\"";

//! The report of a grid as the editor opens it: every pivot field with its dataset field's
//! label and type, the placed fields of both axes and the data list, data place and index.
TKubrixEditorInput EditorInputFromGrid(const TQelKubrix& grid);

//! Types whose values can be summed: only these may be dropped on the data list.
bool IsSummableFieldType(TFieldType type);

class TKubrixEditorLists {
public:
    //! Fills the lists from a report: every field, the placed ones, and the marker at the
    //! report's data place and index when two or more fields are data. Raises
    //! "Field not found: " + name for a placed name that is not a field; repeated names are
    //! placed once.
    void SetReport(const TKubrixEditorInput& input);

    //! The entries of a list: field indices, EditorMarker for the marker.
    const std::vector<int>& Entries(TEditorList list) const { return lists_[list]; }
    int Count(TEditorList list) const { return static_cast<int>(lists_[list].size()); }
    //! The shown text of an entry; raises EListError for an index outside the list.
    std::string EntryText(TEditorList list, int index) const;
    const std::vector<TKubrixEditorField>& Fields() const { return fields_; }

    //! Whether the entry at sourceIndex of source may be dropped on target.
    bool CanDrop(TEditorList source, int sourceIndex, TEditorList target) const;
    //! Drops the entry at sourceIndex of source on target before the entry at targetIndex
    //! (-1 or past the end: below the last entry). Returns false, changing nothing, when the
    //! drop is refused or sourceIndex names no entry.
    bool Drop(TEditorList source, int sourceIndex, TEditorList target, int targetIndex);
    //! Position the dropped or moved entry took in the target after the last Drop.
    int LastDropIndex() const { return lastDropIndex_; }

    //! Where the marker comes back when it reappears (0 vertical, 1 horizontal list).
    int DataPlace() const { return dataPlace_; }
    int DataIndex() const { return dataIndex_; }
    //! The list holding the marker (elXFields or elYFields) and its position; false when none.
    bool FindMarker(TEditorList& list, int& index) const;

    //! The name lists, data place and data index the lists describe now.
    TKubrixEditorLayout Layout() const;

private:
    std::vector<int>& List(TEditorList list) { return lists_[list]; }
    // Deletes the first entry with that value; reports its position.
    static bool DeleteField(std::vector<int>& list, int value, int& index);
    // Takes the marker off the axis lists, remembering where it stood.
    void RemoveMarker();
    // Puts the marker back at the remembered place (clamped to the list), unless it is shown.
    void InsertMarker();

    std::vector<TKubrixEditorField> fields_;
    std::array<std::vector<int>, 4> lists_;
    int dataPlace_ = 0;
    int dataIndex_ = 0;
    int lastDropIndex_ = -1;
};

}  // namespace kubrix
