#pragma once
// A scope guard that undoes a change only when the scope is left by an exception.

#include <exception>
#include <utility>

namespace kubrix {

template <class F>
class OnFailure {
public:
    explicit OnFailure(F undo) : undo_(std::move(undo)), uncaught_(std::uncaught_exceptions()) {}
    ~OnFailure() {
        if (std::uncaught_exceptions() > uncaught_) undo_();
    }
    OnFailure(const OnFailure&) = delete;
    OnFailure& operator=(const OnFailure&) = delete;

private:
    F undo_;
    int uncaught_;
};

}  // namespace kubrix
