#include "ui/FrmQelLoginDlg.h"

#include <QApplication>
#include <QFont>
#include <QLabel>
#include <QLineEdit>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>

#include "odbc/ODBCConnection.h"
#include "support/CursorStack.h"

namespace kubrix {

namespace {

void CentreOnScreen(QWidget& window) {
    if (QScreen* screen = QGuiApplication::primaryScreen())
        window.move(screen->availableGeometry().center() - QPoint(window.width() / 2, window.height() / 2));
}

//! The form is laid out for a small font: with a larger one a caption would run under its
//! edit box, so its font shrinks until the caption ends before the box.
void FitCaption(QLabel* label, const QWidget* box) {
    label->adjustSize();
    QFont font = label->font();
    while (label->geometry().right() >= box->x() - 2 && font.pointSizeF() > 5) {
        font.setPointSizeF(font.pointSizeF() - 0.5);
        label->setFont(font);
        label->adjustSize();
    }
}

}  // namespace

QPixmap LoginBanner(int width, int height) {
    QPixmap pixmap(qMax(1, width), qMax(1, height));
    const qreal w = pixmap.width(), h = pixmap.height();
    QPainter p(&pixmap);
    p.setRenderHint(QPainter::Antialiasing);

    QLinearGradient sky(0, 0, w, h);
    sky.setColorAt(0, QColor(0x1f, 0x3a, 0x5f));
    sky.setColorAt(1, QColor(0x2e, 0x86, 0x8c));
    p.fillRect(QRectF(0, 0, w, h), sky);

    // A small cross table: a header row and column, cells shaded by value.
    const qreal cell = h / 7, left = h / 7, top = h / 7;
    for (int r = 0; r < 5; ++r) {
        for (int c = 0; c < 4; ++c) {
            QRectF rc(left + c * cell * 1.3, top + r * cell, cell * 1.3 - 2, cell - 2);
            QColor fill = (r == 0 || c == 0) ? QColor(0xf2, 0xc1, 0x4e)
                                             : QColor::fromHsv(190, 40 + ((r * 3 + c * 5) % 7) * 30, 240);
            p.fillRect(rc, fill);
        }
    }

    QFont title(QStringLiteral("Sans Serif"));
    title.setPixelSize(qMax(8, int(h * 0.30)));
    title.setBold(true);
    p.setFont(title);
    p.setPen(Qt::white);
    const QRectF text(left + 5.5 * cell, 0, w - left - 5.5 * cell - 4, h * 0.62);
    p.drawText(text, Qt::AlignLeft | Qt::AlignBottom, QStringLiteral("Kubrix"));
    QFont sub = title;
    sub.setBold(false);
    sub.setPixelSize(qMax(6, int(h * 0.11)));
    p.setFont(sub);
    p.setPen(QColor(0xdd, 0xee, 0xf5));
    p.drawText(QRectF(text.left(), h * 0.64, text.width(), h * 0.3), Qt::AlignLeft | Qt::AlignTop,
               QStringLiteral("ODBC"));
    return pixmap;
}

TfrmQelLoginDlg::TfrmQelLoginDlg(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint) {
    setObjectName(QStringLiteral("frmQelLoginDlg"));
    setWindowTitle(QStringLiteral("Подключение к системе"));
    setFixedSize(276, 217);

    image_ = new QLabel(this);
    image_->setObjectName(QStringLiteral("Image"));
    image_->setGeometry(7, 4, 261, 111);
    image_->setScaledContents(true);
    image_->setPixmap(LoginBanner(261, 111));

    label1_ = new QLabel(QStringLiteral("Пользователь"), this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->move(16, 126);
    label1_->adjustSize();
    label2_ = new QLabel(QStringLiteral("Пароль"), this);
    label2_->setObjectName(QStringLiteral("Label2"));
    label2_->move(16, 154);
    label2_->adjustSize();

    eLogin_ = new QLineEdit(this);
    eLogin_->setObjectName(QStringLiteral("eLogin"));
    eLogin_->setGeometry(96, 122, 172, 21);
    label1_->setBuddy(eLogin_);
    ePassword_ = new QLineEdit(this);
    ePassword_->setObjectName(QStringLiteral("ePassword"));
    ePassword_->setGeometry(96, 150, 172, 21);
    ePassword_->setEchoMode(QLineEdit::Password);
    ePassword_->setStyleSheet(QStringLiteral("QLineEdit { lineedit-password-character: 42; }"));
    label2_->setBuddy(ePassword_);
    FitCaption(label1_, eLogin_);
    FitCaption(label2_, ePassword_);

    bOk_ = new QPushButton(QStringLiteral("Ok"), this);
    bOk_->setObjectName(QStringLiteral("bOk"));
    bOk_->setGeometry(98, 184, 76, 26);
    bOk_->setDefault(true);
    bCancel_ = new QPushButton(QStringLiteral("Cancel"), this);
    bCancel_->setObjectName(QStringLiteral("bCancel"));
    bCancel_->setGeometry(193, 184, 75, 26);
    connect(bOk_, &QPushButton::clicked, this, &QDialog::accept);
    connect(bCancel_, &QPushButton::clicked, this, &QDialog::reject);

    setTabOrder(eLogin_, ePassword_);
    setTabOrder(ePassword_, bOk_);
    setTabOrder(bOk_, bCancel_);
    CentreOnScreen(*this);
}

TfrmQelLoginDlg::~TfrmQelLoginDlg() = default;

void TfrmQelLoginDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (eLogin_->text().isEmpty())
        eLogin_->setFocus(Qt::OtherFocusReason);
    else
        ePassword_->setFocus(Qt::OtherFocusReason);
}

bool ODBCLoginDialogExProc(const std::string& dbName, std::string& user, std::string& password, bool userReadOnly) {
    TraceScope trace("ODBCLoginDialogExProc");
    (void)dbName;  // the prompt names no database
    if (!qobject_cast<QApplication*>(QCoreApplication::instance())) return true;
    TfrmQelLoginDlg dialog;
    dialog.eLogin()->setText(QString::fromStdString(user));
    dialog.eLogin()->setReadOnly(userReadOnly);
    if (dialog.exec() != QDialog::Accepted) return false;
    user = dialog.eLogin()->text().toStdString();
    password = dialog.ePassword()->text().toStdString();
    return true;
}

void InstallLoginDialog() { ODBCLoginDialogProc = ODBCLoginDialogExProc; }

}  // namespace kubrix
