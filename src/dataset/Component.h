#pragma once
// Owned components with names and removal notices: a component frees the components it
// owns, and tells every component that asked (FreeNotification) when it goes away, so
// references such as a field's master field never dangle.

#include <memory>
#include <string>
#include <vector>

namespace kubrix {

enum class TOperation { opInsert, opRemove };

class TComponent {
public:
    //! Joins owner's list of owned components when owner is given.
    explicit TComponent(TComponent* owner = nullptr);
    virtual ~TComponent();
    TComponent(const TComponent&) = delete;
    TComponent& operator=(const TComponent&) = delete;

    const std::string& Name() const { return name_; }
    virtual void SetName(const std::string& name) { name_ = name; }
    TComponent* Owner() const { return owner_; }

    //! Components owned by this one, in creation order.
    const std::vector<TComponent*>& Components() const { return components_; }
    //! Finds an owned component by name (exact); nullptr when none.
    TComponent* FindComponent(const std::string& name) const;

    //! Asks to be told (Notification with opRemove) when other is destroyed; both ways.
    void FreeNotification(TComponent* other);
    void RemoveFreeNotification(TComponent* other);

protected:
    //! Called when a component this one watches is being destroyed.
    virtual void Notification(TComponent* component, TOperation operation);

private:
    void InsertComponent(TComponent* c);
    void RemoveComponent(TComponent* c);

    std::string name_;
    TComponent* owner_ = nullptr;
    std::vector<TComponent*> components_;  // owned
    std::vector<TComponent*> notifies_;    // not owned: told on destruction
    bool destroying_ = false;
};

}  // namespace kubrix
