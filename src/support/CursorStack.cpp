#include "support/CursorStack.h"

namespace kubrix {

namespace detail {
TraceEnterHook g_traceEnter = nullptr;
TraceLeaveHook g_traceLeave = nullptr;
}  // namespace detail

namespace {

std::vector<TCursor>& SavedCursors() {
    static std::vector<TCursor> saved;
    return saved;
}

}  // namespace

void SetTraceHooks(TraceEnterHook enter, TraceLeaveHook leave) {
    detail::g_traceEnter = enter;
    detail::g_traceLeave = leave;
}

TraceEnterHook GetTraceEnterHook() { return detail::g_traceEnter; }
TraceLeaveHook GetTraceLeaveHook() { return detail::g_traceLeave; }

void CursorStack::SetCursor(TCursor cursor) {
    TraceScope trace("CursorStack.SetCursor");
    IUiServices& ui = UiServices();
    SavedCursors().push_back(ui.ScreenCursor());
    ui.SetScreenCursor(cursor);
}

void CursorStack::RestoreCursor() {
    TraceScope trace("CursorStack.RestoreCursor");
    std::vector<TCursor>& saved = SavedCursors();
    // An unpaired restore has nothing to put back; leave the screen as it is.
    if (saved.empty()) return;
    const TCursor previous = saved.back();
    saved.pop_back();
    UiServices().SetScreenCursor(previous);
}

std::size_t CursorStack::Depth() { return SavedCursors().size(); }

}  // namespace kubrix
