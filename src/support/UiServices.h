#pragma once
// The few user-interface services that the model layers need (screen cursor, message boxes),
// behind a replaceable interface: the Qt layer installs real cursors and dialogs, tests install
// a recording implementation, and a headless process keeps the quiet default.

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace kubrix {

//! A screen cursor identifier; negative values are the standard cursors below.
using TCursor = std::int16_t;

inline constexpr TCursor crDefault = 0;
inline constexpr TCursor crNone = -1;
inline constexpr TCursor crArrow = -2;
inline constexpr TCursor crCross = -3;
inline constexpr TCursor crIBeam = -4;
inline constexpr TCursor crSizeNESW = -6;
inline constexpr TCursor crSizeNS = -7;
inline constexpr TCursor crSizeNWSE = -8;
inline constexpr TCursor crSizeWE = -9;
inline constexpr TCursor crUpArrow = -10;
inline constexpr TCursor crHourGlass = -11;
inline constexpr TCursor crDrag = -12;
inline constexpr TCursor crNoDrop = -13;
inline constexpr TCursor crHSplit = -14;
inline constexpr TCursor crVSplit = -15;
inline constexpr TCursor crMultiDrag = -16;
inline constexpr TCursor crSQLWait = -17;
inline constexpr TCursor crNo = -18;
inline constexpr TCursor crAppStart = -19;
inline constexpr TCursor crHelp = -20;
inline constexpr TCursor crHandPoint = -21;
inline constexpr TCursor crSizeAll = -22;

// Message box buttons (low 4 bits of the flags).
inline constexpr int MB_OK = 0x0000;
inline constexpr int MB_OKCANCEL = 0x0001;
inline constexpr int MB_ABORTRETRYIGNORE = 0x0002;
inline constexpr int MB_YESNOCANCEL = 0x0003;
inline constexpr int MB_YESNO = 0x0004;
inline constexpr int MB_RETRYCANCEL = 0x0005;
// Icons (bits 4..7).
inline constexpr int MB_ICONERROR = 0x0010;
inline constexpr int MB_ICONQUESTION = 0x0020;
inline constexpr int MB_ICONWARNING = 0x0030;
inline constexpr int MB_ICONINFORMATION = 0x0040;
// Default button (bits 8..11): the first button unless one of these says otherwise.
inline constexpr int MB_DEFBUTTON1 = 0x0000;
inline constexpr int MB_DEFBUTTON2 = 0x0100;
inline constexpr int MB_DEFBUTTON3 = 0x0200;

inline constexpr int MB_BUTTONMASK = 0x000F;
inline constexpr int MB_ICONMASK = 0x00F0;
inline constexpr int MB_DEFMASK = 0x0F00;

// Message box results.
inline constexpr int IDOK = 1;
inline constexpr int IDCANCEL = 2;
inline constexpr int IDABORT = 3;
inline constexpr int IDRETRY = 4;
inline constexpr int IDIGNORE = 5;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

//! The result codes of the buttons that the flags show, in their order on screen.
std::vector<int> MessageBoxButtons(int flags);
//! The result of the button that Enter would press: the default button of the flags.
int DefaultMessageBoxResult(int flags);

// Screen cursor and modal questions, as the user-interface layer provides them.
class IUiServices {
public:
    virtual ~IUiServices() = default;
    //! Shows cursor on the whole screen (the application's override cursor).
    virtual void SetScreenCursor(TCursor cursor) = 0;
    //! The cursor the screen shows now.
    virtual TCursor ScreenCursor() const = 0;
    //! Shows a modal message box; flags combine MB_ buttons, icon and default button;
    //! returns the ID of the pressed button.
    virtual int MessageBox(const std::string& text, const std::string& caption, int flags) = 0;
};

//! Installs services for the process; nullptr puts back the default. The caller keeps
//! ownership and must uninstall them before destroying them.
void SetUiServices(IUiServices* services);
//! The installed services (never null).
IUiServices& UiServices();

//! Without a display: keeps the cursor in memory, writes message boxes to stderr and
//! answers with the default button.
class DefaultUiServices : public IUiServices {
public:
    void SetScreenCursor(TCursor cursor) override { cursor_ = cursor; }
    TCursor ScreenCursor() const override { return cursor_; }
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;

private:
    TCursor cursor_ = crDefault;
};

//! For tests: records every cursor change and message box, answers from a script.
class RecordingUiServices : public IUiServices {
public:
    struct ShownMessage {
        std::string Text;
        std::string Caption;
        int Flags = 0;
    };

    void SetScreenCursor(TCursor cursor) override;
    TCursor ScreenCursor() const override { return cursor_; }
    //! Records the box and returns the next scripted answer, or the default button when
    //! the script is used up.
    int MessageBox(const std::string& text, const std::string& caption, int flags) override;

    //! Every cursor set, in order.
    std::vector<TCursor> Cursors;
    //! Every message box shown, in order.
    std::vector<ShownMessage> Messages;
    //! Answers for the next message boxes, first answer first.
    std::deque<int> Answers;

private:
    TCursor cursor_ = crDefault;
};

//! Installs services for one scope and puts the previous ones back on exit.
class UiServicesScope {
public:
    explicit UiServicesScope(IUiServices& services);
    ~UiServicesScope();
    UiServicesScope(const UiServicesScope&) = delete;
    UiServicesScope& operator=(const UiServicesScope&) = delete;

private:
    IUiServices* previous_;
};

}  // namespace kubrix
