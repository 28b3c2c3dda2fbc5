#include "dataset/FieldDefs.h"

#include "support/Errors.h"

namespace kubrix {

TFieldDef::TFieldDef(TFieldDefs* owner, std::string name, TFieldType type, int size, bool required)
    : Name(std::move(name)), DataType(type), Size(size), Required(required), owner_(owner) {}

TFieldDef::~TFieldDef() = default;

TFieldDefs& TFieldDef::ChildDefs() {
    if (!children_) children_ = std::make_unique<TFieldDefs>(this);
    return *children_;
}

bool TFieldDef::HasChildDefs() const { return children_ && children_->Count() > 0; }

TFieldDef* TFieldDef::ParentDef() const { return owner_ ? owner_->ParentDef() : nullptr; }

std::string TFieldDef::FullName() const {
    TFieldDef* p = ParentDef();
    return p ? p->FullName() + "." + Name : Name;
}

TFieldDef* TFieldDefs::Add(const std::string& name, TFieldType type, int size, bool required) {
    if (name.empty()) DatabaseError("Field name missing");
    if (Find(name)) DatabaseErrorFmt("Duplicate field name '%s'", name);
    if (size < 0) DatabaseErrorFmt("Invalid field size for field '%s'", name);
    items_.push_back(std::make_unique<TFieldDef>(this, name, type, size, required));
    return items_.back().get();
}

TFieldDef* TFieldDefs::Items(int index) const {
    if (index < 0 || index >= Count()) ListIndexError(index);
    return items_[static_cast<std::size_t>(index)].get();
}

TFieldDef* TFieldDefs::Find(const std::string& name) const {
    int i = IndexOf(name);
    return i < 0 ? nullptr : items_[static_cast<std::size_t>(i)].get();
}

int TFieldDefs::IndexOf(const std::string& name) const {
    for (std::size_t i = 0; i < items_.size(); ++i)
        if (items_[i]->Name == name) return static_cast<int>(i);
    return -1;
}

void TFieldDefs::Delete(int index) {
    if (index < 0 || index >= Count()) ListIndexError(index);
    items_.erase(items_.begin() + index);
}

std::vector<TFieldDef*> TFieldDefs::Flattened() const {
    std::vector<TFieldDef*> out;
    for (const auto& d : items_) {
        out.push_back(d.get());
        if (d->HasChildDefs()) {
            auto sub = d->ChildDefs().Flattened();
            out.insert(out.end(), sub.begin(), sub.end());
        }
    }
    return out;
}

}  // namespace kubrix
