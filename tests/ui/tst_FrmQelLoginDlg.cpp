// The login dialog under the offscreen platform: its texts and layout, where the focus goes,
// what the login prompt returns for each way of closing it, and a real connection asking
// through it.

#include "ui/FrmQelLoginDlg.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <functional>

#include "odbc/ODBCConnection.h"

using namespace kubrix;

namespace {

// Runs action on the login dialog once its modal loop is running.
void OnDialog(std::function<void(TfrmQelLoginDlg&)> action, bool* seen) {
    QTimer::singleShot(0, [action = std::move(action), seen] {
        auto* dialog = qobject_cast<TfrmQelLoginDlg*>(QApplication::activeModalWidget());
        if (!dialog) {
            QApplication::closeAllWindows();  // a wrong modal: end it rather than hang
            return;
        }
        *seen = true;
        action(*dialog);
    });
}

// Types text key by key; unlike QTest::keyClicks it takes any characters (Cyrillic too).
void Type(QWidget* widget, const QString& text) {
    for (QChar c : text) QTest::sendKeyEvent(QTest::Click, widget, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

}  // namespace

class TstFrmQelLoginDlg : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void layout_data();
    void layout();
    void focus_data();
    void focus();
    void prompt_data();
    void prompt();
    void connectionAsksThroughInstalledPrompt();
};

void TstFrmQelLoginDlg::texts() {
    TfrmQelLoginDlg dialog;
    QCOMPARE(dialog.objectName(), QStringLiteral("frmQelLoginDlg"));
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Подключение к системе"));
    QCOMPARE(dialog.Label1()->text(), QStringLiteral("Пользователь"));
    QCOMPARE(dialog.Label2()->text(), QStringLiteral("Пароль"));
    QCOMPARE(dialog.OkButton()->text(), QStringLiteral("Ok"));
    QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Cancel"));
    QVERIFY(dialog.OkButton()->isDefault());
    QCOMPARE(dialog.ePassword()->echoMode(), QLineEdit::Password);
    QCOMPARE(dialog.minimumSize(), dialog.maximumSize());  // fixed frame
    QVERIFY(!(dialog.windowFlags() & Qt::WindowCloseButtonHint));
    QVERIFY(!(dialog.windowFlags() & Qt::WindowSystemMenuHint));
    // The banner is a picture of its own, stretched over the image area.
    QVERIFY(!dialog.Image()->pixmap().isNull());
    QVERIFY(dialog.Image()->hasScaledContents());
    // Tab goes from the user name to the password.
    QCOMPARE(dialog.eLogin()->nextInFocusChain(), static_cast<QWidget*>(dialog.ePassword()));
}

// What the user sees: each control inside the dialog, its text not cut off, and no control
// lying over another.
void TstFrmQelLoginDlg::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("Image") << "Image";
    QTest::newRow("Label1") << "Label1";
    QTest::newRow("eLogin") << "eLogin";
    QTest::newRow("Label2") << "Label2";
    QTest::newRow("ePassword") << "ePassword";
    QTest::newRow("bOk") << "bOk";
    QTest::newRow("bCancel") << "bCancel";
}

void TstFrmQelLoginDlg::layout() {
    QFETCH(QString, name);
    TfrmQelLoginDlg dialog;
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    auto* w = dialog.findChild<QWidget*>(name);
    QVERIFY(w);
    QVERIFY(w->isVisible());
    QVERIFY2(dialog.rect().contains(w->geometry()), qPrintable(name + " leaves the dialog"));
    if (auto* label = qobject_cast<QLabel*>(w); label && !label->text().isEmpty()) {
        QVERIFY2(label->sizeHint().width() <= label->width() && label->sizeHint().height() <= label->height(),
                 qPrintable(name + ": text cut off"));
    }
    if (auto* button = qobject_cast<QAbstractButton*>(w); button && !button->text().isEmpty()) {
        QVERIFY2(button->fontMetrics().horizontalAdvance(button->text()) < button->width(),
                 qPrintable(name + ": text cut off"));
    }
    for (const char* other : {"Image", "Label1", "eLogin", "Label2", "ePassword", "bOk", "bCancel"}) {
        if (name == QLatin1String(other)) continue;
        auto* o = dialog.findChild<QWidget*>(other);
        QVERIFY(o);
        QVERIFY2(!w->geometry().intersects(o->geometry()), qPrintable(name + " lies over " + other));
    }
}

void TstFrmQelLoginDlg::focus_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<bool>("onPassword");
    QTest::newRow("no user name: the name") << "" << false;
    QTest::newRow("user name given: the password") << "ivan" << true;
    QTest::newRow("Cyrillic user name: the password") << "Иван" << true;
}

void TstFrmQelLoginDlg::focus() {
    QFETCH(QString, user);
    QFETCH(bool, onPassword);
    TfrmQelLoginDlg dialog;
    dialog.eLogin()->setText(user);
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    QWidget* want = onPassword ? static_cast<QWidget*>(dialog.ePassword()) : dialog.eLogin();
    QCOMPARE(dialog.focusWidget(), want);
}

// One way of closing the prompt per row: what it starts with, what the user does, and what
// comes back.
enum class Close { Ok, Cancel, Escape, Enter };
Q_DECLARE_METATYPE(Close)

void TstFrmQelLoginDlg::prompt_data() {
    QTest::addColumn<QString>("user");
    QTest::addColumn<QString>("password");
    QTest::addColumn<bool>("readOnly");
    QTest::addColumn<QString>("typeLogin");
    QTest::addColumn<QString>("typePassword");
    QTest::addColumn<Close>("close");
    QTest::addColumn<bool>("result");
    QTest::addColumn<QString>("wantUser");
    QTest::addColumn<QString>("wantPassword");

    QTest::newRow("ok with a password") << "ivan" << "" << false << "" << "секрет" << Close::Ok << true << "ivan"
                                        << "секрет";
    QTest::newRow("ok with a new user") << "" << "old" << false << "petr" << "x1" << Close::Ok << true << "petr"
                                        << "x1";
    QTest::newRow("ok with nothing typed clears the password")
        << "ivan" << "old" << false << "" << "" << Close::Ok << true << "ivan" << "";
    QTest::newRow("enter presses ok") << "ivan" << "" << false << "" << "pw" << Close::Enter << true << "ivan"
                                      << "pw";
    QTest::newRow("cancel leaves both") << "ivan" << "old" << false << "ZZ" << "new" << Close::Cancel << false
                                        << "ivan" << "old";
    QTest::newRow("escape cancels") << "ivan" << "old" << false << "" << "new" << Close::Escape << false << "ivan"
                                    << "old";
    QTest::newRow("read-only user is kept") << "ivan" << "" << true << "ZZ" << "pw" << Close::Ok << true << "ivan"
                                            << "pw";
}

void TstFrmQelLoginDlg::prompt() {
    QFETCH(QString, user);
    QFETCH(QString, password);
    QFETCH(bool, readOnly);
    QFETCH(QString, typeLogin);
    QFETCH(QString, typePassword);
    QFETCH(Close, close);
    QFETCH(bool, result);
    QFETCH(QString, wantUser);
    QFETCH(QString, wantPassword);

    bool seen = false;
    QString shownUser;
    bool shownReadOnly = false;
    OnDialog(
        [&](TfrmQelLoginDlg& d) {
            shownUser = d.eLogin()->text();
            shownReadOnly = d.eLogin()->isReadOnly();
            if (!typeLogin.isEmpty()) {
                d.eLogin()->selectAll();
                Type(d.eLogin(), typeLogin);
            }
            Type(d.ePassword(), typePassword);
            switch (close) {
                case Close::Ok: QTest::mouseClick(d.OkButton(), Qt::LeftButton); break;
                case Close::Cancel: QTest::mouseClick(d.CancelButton(), Qt::LeftButton); break;
                case Close::Escape: QTest::keyClick(&d, Qt::Key_Escape); break;
                case Close::Enter: QTest::keyClick(d.ePassword(), Qt::Key_Return); break;
            }
        },
        &seen);
    std::string u = user.toStdString(), p = password.toStdString();
    const bool got = ODBCLoginDialogExProc("demo", u, p, readOnly);
    QVERIFY(seen);
    QCOMPARE(shownUser, user);
    QCOMPARE(shownReadOnly, readOnly);
    QCOMPARE(got, result);
    QCOMPARE(QString::fromStdString(u), wantUser);
    QCOMPARE(QString::fromStdString(p), wantPassword);
    QVERIFY(!QApplication::activeModalWidget());  // the dialog is gone
}

// A connection with a login prompt asks through the installed dialog before connecting;
// a cancelled prompt leaves it unconnected without an error.
void TstFrmQelLoginDlg::connectionAsksThroughInstalledPrompt() {
    InstallLoginDialog();
    QVERIFY(static_cast<bool>(ODBCLoginDialogProc));
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    const std::string connStr = "Driver=/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so;Database=" +
                                dir.filePath(QStringLiteral("login.db")).toStdString();

    {
        TQelODBCConnection c;
        c.ConnectionString = connStr;
        c.SetUser("ivan");
        bool seen = false;
        OnDialog([](TfrmQelLoginDlg& d) { QTest::mouseClick(d.CancelButton(), Qt::LeftButton); }, &seen);
        c.Connect();
        QVERIFY(seen);
        QVERIFY(!c.Connected());
    }
    {
        TQelODBCConnection c;
        c.ConnectionString = connStr;
        c.SetUser("ivan");
        bool seen = false;
        QString focused;
        OnDialog(
            [&](TfrmQelLoginDlg& d) {
                focused = d.focusWidget() ? d.focusWidget()->objectName() : QString();
                Type(d.ePassword(), QStringLiteral("пароль"));
                QTest::mouseClick(d.OkButton(), Qt::LeftButton);
            },
            &seen);
        c.Connect();
        QVERIFY(seen);
        QVERIFY(c.Connected());
        QVERIFY(c.LoggedIn());
        QCOMPARE(c.User(), std::string("ivan"));
        QCOMPARE(c.Password(), std::string("пароль"));
        QCOMPARE(focused, QStringLiteral("ePassword"));
        c.Disconnect();
    }
    ODBCLoginDialogProc = nullptr;
}

QTEST_MAIN(TstFrmQelLoginDlg)
#include "tst_FrmQelLoginDlg.moc"
