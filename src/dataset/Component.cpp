#include "dataset/Component.h"

#include <algorithm>

namespace kubrix {

TComponent::TComponent(TComponent* owner) {
    if (owner) owner->InsertComponent(this);
}

TComponent::~TComponent() {
    destroying_ = true;
    // Tell watchers first, while this object is still whole enough to compare by address.
    auto watchers = notifies_;
    notifies_.clear();
    for (TComponent* w : watchers) {
        auto& list = w->notifies_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
        w->Notification(this, TOperation::opRemove);
    }
    while (!components_.empty()) {
        TComponent* c = components_.back();
        components_.pop_back();
        c->owner_ = nullptr;
        delete c;
    }
    if (owner_) owner_->RemoveComponent(this);
}

TComponent* TComponent::FindComponent(const std::string& name) const {
    for (TComponent* c : components_)
        if (c->name_ == name) return c;
    return nullptr;
}

void TComponent::FreeNotification(TComponent* other) {
    if (!other || other == this) return;
    if (std::find(notifies_.begin(), notifies_.end(), other) == notifies_.end()) notifies_.push_back(other);
    if (std::find(other->notifies_.begin(), other->notifies_.end(), this) == other->notifies_.end())
        other->notifies_.push_back(this);
}

void TComponent::RemoveFreeNotification(TComponent* other) {
    if (!other) return;
    notifies_.erase(std::remove(notifies_.begin(), notifies_.end(), other), notifies_.end());
    other->notifies_.erase(std::remove(other->notifies_.begin(), other->notifies_.end(), this), other->notifies_.end());
}

void TComponent::Notification(TComponent*, TOperation) {}

void TComponent::InsertComponent(TComponent* c) {
    components_.push_back(c);
    c->owner_ = this;
}

void TComponent::RemoveComponent(TComponent* c) {
    components_.erase(std::remove(components_.begin(), components_.end(), c), components_.end());
    c->owner_ = nullptr;
}

}  // namespace kubrix
