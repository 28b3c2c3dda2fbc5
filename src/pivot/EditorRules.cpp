#include "pivot/EditorRules.h"

#include <algorithm>

#include "pivot/Kubrix.h"
#include "support/Errors.h"

namespace kubrix {

bool IsSummableFieldType(TFieldType type) {
    switch (type) {
        case ftSmallint:
        case ftInteger:
        case ftWord:
        case ftFloat:
        case ftCurrency:
        case ftBCD:
        case ftLargeint:
            return true;
        default:
            return false;
    }
}

TKubrixEditorInput EditorInputFromGrid(const TQelKubrix& grid) {
    TKubrixEditorInput in;
    const TQelOLAPFields& fields = grid.OLAPFields();
    for (int i = 0; i < fields.Count(); ++i) {
        const TQelOLAPField& f = fields.Items(i);
        // The column's type decides what may be summed.
        in.Fields.push_back({f.FieldName, f.Caption(), f.DataType});
    }
    auto names = [](const TQelOLAPVisibleFields& list, std::vector<std::string>& out) {
        for (int i = 0; i < list.Count(); ++i) {
            const TQelOLAPVisibleField& v = list.Field(i);
            out.push_back(v.OLAPField ? v.OLAPField->FieldName : v.FieldName);
        }
    };
    names(grid.XAxis, in.XFields);
    names(grid.YAxis, in.YFields);
    names(grid.DataFields, in.DFields);
    in.DataPlace = grid.DataPlace;
    in.DataIndex = grid.DataIndex;
    return in;
}

namespace {

int IndexOf(const std::vector<int>& list, int value) {
    auto it = std::find(list.begin(), list.end(), value);
    return it == list.end() ? -1 : static_cast<int>(it - list.begin());
}

bool IsAxis(TEditorList list) { return list == elXFields || list == elYFields; }

}  // namespace

void TKubrixEditorLists::SetReport(const TKubrixEditorInput& input) {
    // Resolve everything first so that a bad name leaves the lists as they were.
    std::array<std::vector<int>, 4> lists;
    for (std::size_t i = 0; i < input.Fields.size(); ++i) lists[elAllFields].push_back(static_cast<int>(i));
    auto place = [&](const std::vector<std::string>& names, std::vector<int>& to) {
        for (const auto& name : names) {
            auto it = std::find_if(input.Fields.begin(), input.Fields.end(),
                                   [&](const TKubrixEditorField& f) { return f.Name == name; });
            if (it == input.Fields.end()) DatabaseError("Field not found: " + name);
            int field = static_cast<int>(it - input.Fields.begin());
            // A field lives in one list only.
            bool placed = false;
            for (int l = elXFields; l <= elDFields; ++l) placed = placed || IndexOf(lists[l], field) >= 0;
            if (!placed) to.push_back(field);
        }
    };
    place(input.XFields, lists[elXFields]);
    place(input.YFields, lists[elYFields]);
    place(input.DFields, lists[elDFields]);

    fields_ = input.Fields;
    lists_ = std::move(lists);
    dataPlace_ = input.DataPlace != 0 ? 1 : 0;
    dataIndex_ = std::max(0, input.DataIndex);
    lastDropIndex_ = -1;
    if (Count(elDFields) > 1) InsertMarker();
}

std::string TKubrixEditorLists::EntryText(TEditorList list, int index) const {
    if (index < 0 || index >= Count(list)) ListIndexError(index);
    int entry = lists_[list][static_cast<std::size_t>(index)];
    if (entry == EditorMarker) return EditorMarkerText;
    const auto& f = fields_[static_cast<std::size_t>(entry)];
    return f.Label.empty() ? f.Name : f.Label;
}

bool TKubrixEditorLists::CanDrop(TEditorList source, int sourceIndex, TEditorList target) const {
    if (sourceIndex < 0 || sourceIndex >= Count(source)) return false;
    int entry = lists_[source][static_cast<std::size_t>(sourceIndex)];
    switch (target) {
        case elXFields:
        case elYFields:
            return true;
        case elAllFields:
            // Taking a field off its list; the marker has no field to take off.
            return source != elAllFields && entry != EditorMarker;
        case elDFields:
            return entry != EditorMarker && IsSummableFieldType(fields_[static_cast<std::size_t>(entry)].DataType);
    }
    return false;
}

bool TKubrixEditorLists::Drop(TEditorList source, int sourceIndex, TEditorList target, int targetIndex) {
    if (!CanDrop(source, sourceIndex, target)) return false;
    auto& from = List(source);
    auto& to = List(target);
    const int entry = from[static_cast<std::size_t>(sourceIndex)];

    if (target == elAllFields) {
        from.erase(from.begin() + sourceIndex);
        if (source == elDFields && Count(elDFields) < 2) RemoveMarker();
        lastDropIndex_ = IndexOf(to, entry);
        return true;
    }

    if (targetIndex < 0 || targetIndex >= static_cast<int>(to.size())) targetIndex = -1;
    // A field taken from the field list while already in the target only changes its place
    // there: copying it would list it twice.
    const int already = source == elAllFields ? IndexOf(to, entry) : -1;
    if (source == target || already >= 0) {
        const int current = source == target ? sourceIndex : already;
        to.erase(to.begin() + current);
        const auto at = targetIndex < 0 ? to.size() : static_cast<std::size_t>(targetIndex);
        to.insert(to.begin() + static_cast<std::ptrdiff_t>(at), entry);
    } else {
        if (targetIndex < 0)
            to.push_back(entry);
        else
            to.insert(to.begin() + targetIndex, entry);
        if (source == elAllFields) {
            // The field leaves whatever other list held it; the field list keeps it.
            for (TEditorList l : {elXFields, elYFields, elDFields}) {
                int ignored = 0;
                if (l != target) DeleteField(List(l), entry, ignored);
            }
        } else {
            from.erase(from.begin() + sourceIndex);
        }
    }
    if (Count(elDFields) < 2) RemoveMarker();
    if (target == elDFields && source != elDFields && Count(elDFields) == 2) InsertMarker();
    lastDropIndex_ = IndexOf(to, entry);
    return true;
}

bool TKubrixEditorLists::FindMarker(TEditorList& list, int& index) const {
    for (TEditorList l : {elXFields, elYFields}) {
        int i = IndexOf(lists_[l], EditorMarker);
        if (i >= 0) {
            list = l;
            index = i;
            return true;
        }
    }
    return false;
}

TKubrixEditorLayout TKubrixEditorLists::Layout() const {
    TKubrixEditorLayout out;
    auto names = [&](TEditorList list, std::string& text) {
        const auto& entries = lists_[list];
        for (std::size_t i = 0; i < entries.size(); ++i) {
            if (entries[i] == EditorMarker) {
                if (IsAxis(list)) {
                    out.DataPlace = list == elYFields ? 1 : 0;
                    out.DataIndex = static_cast<int>(i);
                }
                continue;
            }
            text += fields_[static_cast<std::size_t>(entries[i])].Name;
            text += ';';
        }
    };
    names(elXFields, out.XFields);
    names(elYFields, out.YFields);
    names(elDFields, out.DFields);
    return out;
}

bool TKubrixEditorLists::DeleteField(std::vector<int>& list, int value, int& index) {
    int i = IndexOf(list, value);
    if (i < 0) return false;
    list.erase(list.begin() + i);
    index = i;
    return true;
}

void TKubrixEditorLists::RemoveMarker() {
    int index = 0;
    if (DeleteField(List(elXFields), EditorMarker, index)) {
        dataIndex_ = index;
        dataPlace_ = 0;
    }
    if (DeleteField(List(elYFields), EditorMarker, index)) {
        dataIndex_ = index;
        dataPlace_ = 1;
    }
}

void TKubrixEditorLists::InsertMarker() {
    TEditorList list = elXFields;
    int index = 0;
    if (FindMarker(list, index)) return;
    auto& to = List(dataPlace_ == 1 ? elYFields : elXFields);
    const auto at = std::min(static_cast<std::size_t>(std::max(0, dataIndex_)), to.size());
    to.insert(to.begin() + static_cast<std::ptrdiff_t>(at), EditorMarker);
}

}  // namespace kubrix
