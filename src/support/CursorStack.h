#pragma once
// Trace hooks and the busy-cursor stack.
//
// Trace hooks: the methods of the system's classes report their start and their normal end
// through two process-wide slots, so that a diagnostic tool can trace calls. Nothing installs
// them by default; then bracketing costs one test of the slot on entry and one on exit.
//
// Cursor stack: nested long operations each show a busy cursor and put back exactly what was
// shown before.

#include <cstdint>
#include <exception>
#include <vector>

#include "support/UiServices.h"

namespace kubrix {

//! Called when a traced method starts: the object (null for a plain function) and the
//! name "Class.Method"; returns a handle for the matching leave call.
using TraceEnterHook = std::int32_t (*)(const void* object, const char* method);
//! Called when a traced method returns normally, with the handle its enter call produced
//! (-1 when no enter hook is installed).
using TraceLeaveHook = void (*)(std::int32_t handle);

namespace detail {
extern TraceEnterHook g_traceEnter;
extern TraceLeaveHook g_traceLeave;
}  // namespace detail

//! Installs both hooks (null for none). Set them before traced calls begin.
void SetTraceHooks(TraceEnterHook enter, TraceLeaveHook leave);
TraceEnterHook GetTraceEnterHook();
TraceLeaveHook GetTraceLeaveHook();

//! Brackets one method call: `TraceScope trace(this, "TQelStorageStream.LoadValue");`.
//! The leave hook runs on normal exit only, not while an exception leaves the method.
class TraceScope {
public:
    TraceScope(const void* object, const char* method)
        : handle_(detail::g_traceEnter ? detail::g_traceEnter(object, method) : -1),
          uncaught_(std::uncaught_exceptions()) {}
    //! A plain function: no object.
    explicit TraceScope(const char* function) : TraceScope(nullptr, function) {}
    ~TraceScope() {
        // More exceptions in flight than at entry means this scope is being unwound.
        if (detail::g_traceLeave && std::uncaught_exceptions() <= uncaught_) detail::g_traceLeave(handle_);
    }
    TraceScope(const TraceScope&) = delete;
    TraceScope& operator=(const TraceScope&) = delete;

    //! The handle the enter hook gave (-1 without one).
    std::int32_t Handle() const { return handle_; }

private:
    std::int32_t handle_;
    int uncaught_;
};

//! Bracketing that is present but switched off (dataset, ODBC and data-grid code): it never
//! looks at the hooks.
class TraceScopeOff {
public:
    TraceScopeOff(const void*, const char*) {}
    explicit TraceScopeOff(const char*) {}
    TraceScopeOff(const TraceScopeOff&) = delete;
    TraceScopeOff& operator=(const TraceScopeOff&) = delete;
    std::int32_t Handle() const { return -1; }
};

//! The process's stack of saved screen cursors, most recent last.
class CursorStack {
public:
    //! Saves the screen's current cursor, then shows cursor.
    static void SetCursor(TCursor cursor);
    //! Shows the most recently saved cursor again and forgets it; does nothing when none
    //! is saved.
    static void RestoreCursor();
    //! Number of saved cursors (0 outside every busy section).
    static std::size_t Depth();
};

//! Shows a busy cursor for one scope; the previous cursor comes back however the scope ends.
class BusyCursor {
public:
    explicit BusyCursor(TCursor cursor = crHourGlass) { CursorStack::SetCursor(cursor); }
    ~BusyCursor() { CursorStack::RestoreCursor(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

}  // namespace kubrix
