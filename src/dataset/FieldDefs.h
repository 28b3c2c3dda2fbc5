#pragma once
// Field definitions: the structure of a dataset's rows (name, type, size), independent of
// the field objects that read and write the values. Definitions nest (child definitions
// of an ADT); the dataset works on the flattened list.

#include <memory>
#include <string>
#include <vector>

#include "support/FieldTypes.h"

namespace kubrix {

class TFieldDefs;

class TFieldDef {
public:
    TFieldDef(TFieldDefs* owner, std::string name, TFieldType type, int size, bool required);
    ~TFieldDef();

    //! Name within its parent definition.
    std::string Name;
    TFieldType DataType = ftUnknown;
    //! Declared size: characters for text types, bytes for byte types, decimals for BCD.
    int Size = 0;
    //! Number of digits (BCD).
    int Precision = 0;
    bool Required = false;
    //! 1-based position in the flattened definition list (set by the dataset).
    int FieldNo = 0;

    //! Definitions nested under this one (ADT members).
    TFieldDefs& ChildDefs();
    bool HasChildDefs() const;
    //! The definition this one is nested in, nullptr at top level.
    TFieldDef* ParentDef() const;
    //! Dotted name from the top ("Address.City").
    std::string FullName() const;

private:
    TFieldDefs* owner_;
    std::unique_ptr<TFieldDefs> children_;
};

class TFieldDefs {
public:
    explicit TFieldDefs(TFieldDef* parent = nullptr) : parent_(parent) {}

    //! Appends a definition; a duplicate name raises "Duplicate field name '%s'".
    TFieldDef* Add(const std::string& name, TFieldType type, int size = 0, bool required = false);
    int Count() const { return static_cast<int>(items_.size()); }
    //! Index outside the list raises EListError.
    TFieldDef* Items(int index) const;
    TFieldDef* Find(const std::string& name) const;
    int IndexOf(const std::string& name) const;
    void Delete(int index);
    void Clear() { items_.clear(); }
    TFieldDef* ParentDef() const { return parent_; }

    //! Every definition, children right after their parent, in order.
    std::vector<TFieldDef*> Flattened() const;

private:
    TFieldDef* parent_;
    std::vector<std::unique_ptr<TFieldDef>> items_;
};

}  // namespace kubrix
