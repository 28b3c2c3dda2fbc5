#pragma once
// Brackets that must close (update brackets, saved states, flags): a guard closes them when
// its scope ends, by return or by exception, so that no caller catches only to undo.
//
// A close that raises on a normal exit is reported; a close that raises while another error
// is already on its way is silenced, so the first error is the one the caller hears of, and
// every other guard of the scope still closes its bracket.

#include <exception>
#include <utility>

namespace kubrix {

namespace detail {
//! Runs close; silenced when an exception newer than the guard is already on its way.
template <class F>
void CloseScope(F& close, int pendingAtStart) {
    if (std::uncaught_exceptions() > pendingAtStart) {
        try {
            close();
        } catch (...) {
            // the error already on its way is the one reported
        }
    } else {
        close();
    }
}
}  // namespace detail

//! Runs a callable when the scope ends.
template <class F>
class [[nodiscard]] ScopeExit {
public:
    explicit ScopeExit(F close) : close_(std::move(close)), pending_(std::uncaught_exceptions()) {}
    ScopeExit(const ScopeExit&) = delete;
    ScopeExit& operator=(const ScopeExit&) = delete;
    ~ScopeExit() noexcept(false) {
        if (active_) detail::CloseScope(close_, pending_);
    }
    //! Nothing to close any more.
    void Dismiss() { active_ = false; }

private:
    F close_;
    int pending_;
    bool active_ = true;
};

//! Runs a callable only when the scope is left by an exception: the undo of a step half done.
template <class F>
class [[nodiscard]] ScopeFail {
public:
    explicit ScopeFail(F undo) : undo_(std::move(undo)), pending_(std::uncaught_exceptions()) {}
    ScopeFail(const ScopeFail&) = delete;
    ScopeFail& operator=(const ScopeFail&) = delete;
    ~ScopeFail() {
        if (std::uncaught_exceptions() > pending_) detail::CloseScope(undo_, pending_);
    }

private:
    F undo_;
    int pending_;
};

//! An update bracket of target: BeginUpdate now, EndUpdate when the scope ends.
template <class T>
class [[nodiscard]] UpdateBracket {
public:
    explicit UpdateBracket(T& target) : target_(target), pending_(std::uncaught_exceptions()) { target_.BeginUpdate(); }
    UpdateBracket(const UpdateBracket&) = delete;
    UpdateBracket& operator=(const UpdateBracket&) = delete;
    ~UpdateBracket() noexcept(false) {
        auto close = [this] { target_.EndUpdate(); };
        detail::CloseScope(close, pending_);
    }

private:
    T& target_;
    int pending_;
};

}  // namespace kubrix
