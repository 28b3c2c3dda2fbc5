#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/ScopeGuard.h"

namespace kubrix {
namespace {

// A bracket that records its opens and closes and may raise on close.
struct Bracket {
    std::string name;
    std::vector<std::string>* log;
    bool closeRaises = false;
    void BeginUpdate() { log->push_back("open " + name); }
    void EndUpdate() {
        log->push_back("close " + name);
        if (closeRaises) throw std::runtime_error("close " + name + " failed");
    }
};

// Nested brackets close in reverse order whatever happens; the first error is reported.
TEST(ScopeGuard, ClosesEveryBracketAndReportsTheFirstError) {
    const struct {
        const char* name;
        bool bodyRaises, innerCloseRaises, outerCloseRaises;
        const char* error;
    } cases[] = {
        {"normal exit", false, false, false, ""},
        {"body raises", true, false, false, "body failed"},
        {"inner close raises", false, true, false, "close inner failed"},
        {"both closes raise", false, true, true, "close inner failed"},
        {"body and a close raise", true, true, false, "body failed"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> log;
        Bracket outer{"outer", &log, c.outerCloseRaises}, inner{"inner", &log, c.innerCloseRaises};
        std::string error;
        try {
            UpdateBracket a(outer);
            UpdateBracket b(inner);
            if (c.bodyRaises) throw std::runtime_error("body failed");
        } catch (const std::exception& e) {
            error = e.what();
        }
        EXPECT_EQ(error, c.error);
        EXPECT_EQ(log, (std::vector<std::string>{"open outer", "open inner", "close inner", "close outer"}));
    }
}

// An undo runs only when the scope is left by an exception; a plain exit runs its close once.
TEST(ScopeGuard, UndoRunsOnlyOnFailure) {
    for (bool raises : {false, true}) {
        SCOPED_TRACE(raises ? "left by an exception" : "normal exit");
        int undone = 0, closed = 0;
        try {
            ScopeFail undo([&] { ++undone; });
            ScopeExit close([&] { ++closed; });
            if (raises) throw std::runtime_error("x");
        } catch (const std::exception&) {
        }
        EXPECT_EQ(undone, raises ? 1 : 0);
        EXPECT_EQ(closed, 1);
    }
}

}  // namespace
}  // namespace kubrix
