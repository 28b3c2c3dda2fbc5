#pragma once
// Message boxes and the screen cursor for a process with a window: Qt dialogs and the
// application's override cursor.

#include "support/UiServices.h"

namespace kubrix {

class TQtUiServices : public IUiServices {
public:
    void SetScreenCursor(TCursor cursor) override;
    TCursor ScreenCursor() const override { return cursor_; }
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;

private:
    TCursor cursor_ = crDefault;
};

}  // namespace kubrix
