#include "support/CursorStack.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "support/UiServices.h"

using namespace kubrix;

namespace {

// What the hooks saw; the hooks are plain function slots, so the record is global.
struct TraceLog {
    std::vector<std::string> Entered;
    std::vector<const void*> Objects;
    std::vector<std::int32_t> Left;
};
TraceLog g_log;

std::int32_t RecordEnter(const void* object, const char* method) {
    g_log.Entered.emplace_back(method);
    g_log.Objects.push_back(object);
    return 100 + static_cast<std::int32_t>(g_log.Entered.size());
}

void RecordLeave(std::int32_t handle) { g_log.Left.push_back(handle); }

// Installs hooks for one test and empties them afterwards.
class HookScope {
public:
    HookScope(TraceEnterHook enter, TraceLeaveHook leave) {
        g_log = TraceLog{};
        SetTraceHooks(enter, leave);
    }
    ~HookScope() { SetTraceHooks(nullptr, nullptr); }
};

int TracedMethod(const void* self, bool raise) {
    TraceScope trace(self, "TSample.Method");
    if (raise) throw std::runtime_error("failed");
    return 7;
}

int UntracedMethod(const void* self, bool raise) {
    TraceScopeOff trace(self, "TSample.Quiet");
    if (raise) throw std::runtime_error("failed");
    return 7;
}

// Runs a traced call from a destructor while another exception unwinds past it.
struct TracesWhenDestroyed {
    ~TracesWhenDestroyed() { TracedMethod(nullptr, false); }
};

}  // namespace

TEST(TraceHooks, BracketsCallsByInstalledHooks) {
    struct Case {
        const char* name;
        TraceEnterHook enter;
        TraceLeaveHook leave;
        bool raise;
        std::vector<std::string> entered;
        std::vector<std::int32_t> left;
    };
    const Case cases[] = {
        {"no hooks", nullptr, nullptr, false, {}, {}},
        {"no hooks, raising", nullptr, nullptr, true, {}, {}},
        {"both hooks", RecordEnter, RecordLeave, false, {"TSample.Method"}, {101}},
        {"both hooks, raising skips leave", RecordEnter, RecordLeave, true, {"TSample.Method"}, {}},
        {"leave hook alone gets -1", nullptr, RecordLeave, false, {}, {-1}},
        {"enter hook alone", RecordEnter, nullptr, false, {"TSample.Method"}, {}},
    };
    const int self = 0;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        HookScope hooks(c.enter, c.leave);
        if (c.raise) {
            EXPECT_THROW(TracedMethod(&self, true), std::runtime_error);
        } else {
            EXPECT_EQ(TracedMethod(&self, false), 7);
        }
        EXPECT_EQ(g_log.Entered, c.entered);
        EXPECT_EQ(g_log.Left, c.left);
        for (const void* o : g_log.Objects) EXPECT_EQ(o, &self);
    }
}

TEST(TraceHooks, SwitchedOffBracketingNeverCallsHooks) {
    HookScope hooks(RecordEnter, RecordLeave);
    EXPECT_EQ(UntracedMethod(nullptr, false), 7);
    EXPECT_THROW(UntracedMethod(nullptr, true), std::runtime_error);
    EXPECT_TRUE(g_log.Entered.empty());
    EXPECT_TRUE(g_log.Left.empty());
}

TEST(TraceHooks, CallsMadeDuringUnwindingStillLeave) {
    HookScope hooks(RecordEnter, RecordLeave);
    try {
        TracesWhenDestroyed guard;
        throw std::runtime_error("outer");
    } catch (const std::runtime_error&) {
    }
    // The call from the destructor returned normally, although an exception was in flight.
    EXPECT_EQ(g_log.Entered, std::vector<std::string>{"TSample.Method"});
    EXPECT_EQ(g_log.Left, std::vector<std::int32_t>{101});
}

TEST(TraceHooks, NamesMethodsOfTheCursorStack) {
    RecordingUiServices ui;
    UiServicesScope installed(ui);
    HookScope hooks(RecordEnter, RecordLeave);
    CursorStack::SetCursor(crHourGlass);
    CursorStack::RestoreCursor();
    EXPECT_EQ(g_log.Entered, (std::vector<std::string>{"CursorStack.SetCursor", "CursorStack.RestoreCursor"}));
    EXPECT_EQ(g_log.Left, (std::vector<std::int32_t>{101, 102}));
}

TEST(CursorStack, NestedBusySectionsPutBackWhatWasShown) {
    RecordingUiServices ui;
    UiServicesScope installed(ui);
    ui.SetScreenCursor(crArrow);
    ui.Cursors.clear();

    struct Step {
        const char* name;
        bool set;  // SetCursor(cursor) or RestoreCursor()
        TCursor cursor;
        TCursor shown;
        std::size_t depth;
    };
    const Step steps[] = {
        {"restore with nothing saved", false, 0, crArrow, 0},
        {"hourglass", true, crHourGlass, crHourGlass, 1},
        {"nested query wait", true, crSQLWait, crSQLWait, 2},
        {"back to hourglass", false, 0, crHourGlass, 1},
        {"back to arrow", false, 0, crArrow, 0},
        {"unpaired restore changes nothing", false, 0, crArrow, 0},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.name);
        if (s.set) CursorStack::SetCursor(s.cursor);
        else CursorStack::RestoreCursor();
        EXPECT_EQ(ui.ScreenCursor(), s.shown);
        EXPECT_EQ(CursorStack::Depth(), s.depth);
    }
    // Unpaired restores never touched the screen.
    EXPECT_EQ(ui.Cursors, (std::vector<TCursor>{crHourGlass, crSQLWait, crHourGlass, crArrow}));
}

TEST(CursorStack, BusyCursorRestoresWhenWorkRaises) {
    RecordingUiServices ui;
    UiServicesScope installed(ui);
    ui.SetScreenCursor(crIBeam);
    EXPECT_THROW(
        {
            BusyCursor busy(crSQLWait);
            EXPECT_EQ(ui.ScreenCursor(), crSQLWait);
            BusyCursor inner;
            EXPECT_EQ(ui.ScreenCursor(), crHourGlass);
            throw std::runtime_error("query failed");
        },
        std::runtime_error);
    EXPECT_EQ(ui.ScreenCursor(), crIBeam);
    EXPECT_EQ(CursorStack::Depth(), 0u);
}

TEST(UiServices, MessageBoxDefaultButton) {
    struct Case {
        const char* name;
        int flags;
        int result;
    };
    const Case cases[] = {
        {"ok", MB_OK | MB_ICONINFORMATION, IDOK},
        {"ok/cancel", MB_OKCANCEL, IDOK},
        {"ok/cancel, second default", MB_OKCANCEL | MB_DEFBUTTON2, IDCANCEL},
        {"yes/no question", MB_YESNO | MB_ICONQUESTION, IDYES},
        {"yes/no, second default", MB_YESNO | MB_ICONWARNING | MB_DEFBUTTON2, IDNO},
        {"yes/no/cancel, third default", MB_YESNOCANCEL | MB_DEFBUTTON3, IDCANCEL},
        {"yes/no, third default falls back to first", MB_YESNO | MB_DEFBUTTON3, IDYES},
        {"abort/retry/ignore", MB_ABORTRETRYIGNORE | MB_ICONERROR, IDABORT},
        {"retry/cancel, second default", MB_RETRYCANCEL | MB_DEFBUTTON2, IDCANCEL},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DefaultMessageBoxResult(c.flags), c.result);
    }
    // Without a display the default button answers.
    DefaultUiServices quiet;
    EXPECT_EQ(quiet.MessageBox("Продолжить?", "Вопрос", MB_YESNO | MB_DEFBUTTON2), IDNO);
}

TEST(UiServices, RecordsMessagesAndAnswersFromScript) {
    RecordingUiServices ui;
    ui.Answers = {IDNO, IDCANCEL};
    {
        UiServicesScope installed(ui);
        EXPECT_EQ(&UiServices(), &ui);
        EXPECT_EQ(UiServices().MessageBox("Удалить запись?", "Подтверждение", MB_YESNO | MB_ICONQUESTION), IDNO);
        EXPECT_EQ(UiServices().MessageBox("b", "c", MB_OKCANCEL), IDCANCEL);
        EXPECT_EQ(UiServices().MessageBox("c", "c", MB_YESNO), IDYES);  // script used up
    }
    EXPECT_NE(&UiServices(), &ui);
    ASSERT_EQ(ui.Messages.size(), 3u);
    EXPECT_EQ(ui.Messages[0].Text, "Удалить запись?");
    EXPECT_EQ(ui.Messages[0].Caption, "Подтверждение");
    EXPECT_EQ(ui.Messages[0].Flags, MB_YESNO | MB_ICONQUESTION);
}
