#pragma once
// The login dialog that asks for the user name and password before a database connection is
// opened, and the login prompt of the ODBC layer built on it.

#include <QDialog>

#include <string>

class QLabel;
class QLineEdit;
class QPixmap;
class QPushButton;

namespace kubrix {

class TfrmQelLoginDlg : public QDialog {
    Q_OBJECT

public:
    explicit TfrmQelLoginDlg(QWidget* parent = nullptr);
    ~TfrmQelLoginDlg() override;

    //! The banner picture over the fields.
    QLabel* Image() const { return image_; }
    QLabel* Label1() const { return label1_; }
    QLabel* Label2() const { return label2_; }
    //! User name.
    QLineEdit* eLogin() const { return eLogin_; }
    //! Password, shown as "*".
    QLineEdit* ePassword() const { return ePassword_; }
    QPushButton* OkButton() const { return bOk_; }
    QPushButton* CancelButton() const { return bCancel_; }

protected:
    //! Focus goes to the password when the user name is already filled in, else to the name.
    void showEvent(QShowEvent* event) override;

private:
    QLabel* image_ = nullptr;
    QLabel* label1_ = nullptr;
    QLabel* label2_ = nullptr;
    QLineEdit* eLogin_ = nullptr;
    QLineEdit* ePassword_ = nullptr;
    QPushButton* bOk_ = nullptr;
    QPushButton* bCancel_ = nullptr;
};

//! The banner of the login dialog, drawn at the given size.
QPixmap LoginBanner(int width, int height);

//! Asks for the login in the modal dialog: the user name is shown (read-only when asked), the
//! database name is not. On "Ok" copies both fields back and returns true; otherwise leaves user
//! and password unchanged and returns false. Without a running widget application no dialog
//! can be shown: returns true and changes nothing, as if no prompt were installed.
bool ODBCLoginDialogExProc(const std::string& dbName, std::string& user, std::string& password, bool userReadOnly);

//! Makes ODBCLoginDialogExProc the login prompt of every connection (the application calls it
//! at start).
void InstallLoginDialog();

}  // namespace kubrix
