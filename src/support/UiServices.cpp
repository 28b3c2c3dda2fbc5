#include "support/UiServices.h"

#include <cstdio>

namespace kubrix {

namespace {

IUiServices* g_installed = nullptr;

DefaultUiServices& Fallback() {
    static DefaultUiServices services;
    return services;
}

}  // namespace

std::vector<int> MessageBoxButtons(int flags) {
    switch (flags & MB_BUTTONMASK) {
    case MB_OKCANCEL: return {IDOK, IDCANCEL};
    case MB_ABORTRETRYIGNORE: return {IDABORT, IDRETRY, IDIGNORE};
    case MB_YESNOCANCEL: return {IDYES, IDNO, IDCANCEL};
    case MB_YESNO: return {IDYES, IDNO};
    case MB_RETRYCANCEL: return {IDRETRY, IDCANCEL};
    default: return {IDOK};
    }
}

int DefaultMessageBoxResult(int flags) {
    const std::vector<int> buttons = MessageBoxButtons(flags);
    const std::size_t which = static_cast<std::size_t>((flags & MB_DEFMASK) >> 8);
    // A default button past the last one falls back to the first, as the dialogs do.
    return which < buttons.size() ? buttons[which] : buttons.front();
}

void SetUiServices(IUiServices* services) { g_installed = services; }

IUiServices& UiServices() { return g_installed ? *g_installed : Fallback(); }

int DefaultUiServices::MessageBox(const std::string& text, const std::string& caption, int flags) {
    std::fprintf(stderr, "%s: %s\n", caption.c_str(), text.c_str());
    return DefaultMessageBoxResult(flags);
}

void RecordingUiServices::SetScreenCursor(TCursor cursor) {
    cursor_ = cursor;
    Cursors.push_back(cursor);
}

int RecordingUiServices::MessageBox(const std::string& text, const std::string& caption, int flags) {
    Messages.push_back({text, caption, flags});
    if (Answers.empty()) return DefaultMessageBoxResult(flags);
    const int answer = Answers.front();
    Answers.pop_front();
    return answer;
}

UiServicesScope::UiServicesScope(IUiServices& services) : previous_(g_installed) {
    g_installed = &services;
}

UiServicesScope::~UiServicesScope() { g_installed = previous_; }

}  // namespace kubrix
