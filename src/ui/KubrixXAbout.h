#pragma once
// The control's about box: its icon, its name and what it is for, and an "OK" button.

#include <QDialog>

class QIcon;
class QLabel;
class QPushButton;
class QToolButton;

namespace kubrix {

class TKubrixXAbout : public QDialog {
    Q_OBJECT

public:
    explicit TKubrixXAbout(QWidget* parent = nullptr);
    ~TKubrixXAbout() override;

    //! The control's icon on a flat button.
    QToolButton* CtlImage() const { return ctlImage_; }
    //! "KubrixX", in bold.
    QLabel* NameLbl() const { return nameLbl_; }
    //! "для 1С 7.7".
    QLabel* DescLbl() const { return descLbl_; }
    //! "OK": the default button and the cancel button alike; closes with the OK result.
    QPushButton* OkBtn() const { return okBtn_; }

protected:
    //! Escape presses "OK", so the box always closes with the OK result.
    void keyPressEvent(QKeyEvent* event) override;

private:
    QToolButton* ctlImage_ = nullptr;
    QLabel* nameLbl_ = nullptr;
    QLabel* descLbl_ = nullptr;
    QPushButton* okBtn_ = nullptr;
};

//! The control's icon (a small cross table), drawn at the usual sizes.
QIcon KubrixXIcon();

//! Shows the about box modally and destroys it; returns the dialog result.
int ShowAboutBox(QWidget* parent);

}  // namespace kubrix
