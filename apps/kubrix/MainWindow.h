#pragma once
// The desktop window: hosts the control as a host form would, with the host's inputs above it
// (connection string, SQL text, field lists, data place and index, a state file) and buttons
// that call the control's interface.

#include <QWidget>

#include <memory>

#include "control/KubrixX.h"

class QComboBox;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;

namespace kubrix::app {

class RecordsPanel;
class WindowCommands;

class MainWindow : public QWidget {
    Q_OBJECT

public:
    MainWindow();
    ~MainWindow() override;

    //! Connects, runs the query and applies the layout of the inputs; false after an error.
    bool RunAll();
    TKubrixX& Control() { return *form_; }
    //! The records behind the last drill-down, below the pivot.
    RecordsPanel& Records() { return *records_; }
    //! The menus, the status bar, copying and the load progress.
    WindowCommands& Commands() { return *commands_; }
    //! Errors go to standard error instead of a message box (nobody is there to close it).
    bool ReportErrorsToStream = false;

protected:
    //! A close while a load runs stops the load first and closes after it.
    void closeEvent(QCloseEvent* event) override;

private:
    friend class WindowCommands;
    //! Runs the SQL of the box with the load's progress, then lays the boxes' layout onto the
    //! result; false after an error or a cancelled load (which shows no message).
    bool RunQuery();
    //! Applies the boxes' layout; false after an error.
    bool ApplyLayout();
    //! Shows the error info of a failed call; true when hr succeeded.
    bool Check(HRESULT hr);
    void ShowError(const QString& text);
    void OnConnect();
    void OnRun();
    void OnApply();
    void OnSaveState();
    void OnLoadState();
    //! Fills the layout boxes from the control's current layout.
    void ShowLayoutOfControl();

    TKubrixX* form_ = nullptr;
    ComPtr<IKubrixX> control_;
    QLineEdit* connection_ = nullptr;
    QPlainTextEdit* sql_ = nullptr;
    QLineEdit* rows_ = nullptr;
    QLineEdit* cols_ = nullptr;
    QLineEdit* data_ = nullptr;
    QComboBox* dataPlace_ = nullptr;
    QSpinBox* dataIndex_ = nullptr;
    QLineEdit* stateFile_ = nullptr;
    RecordsPanel* records_ = nullptr;
    std::unique_ptr<WindowCommands> commands_;
    bool closeAfterLoad_ = false;
};

}  // namespace kubrix::app
