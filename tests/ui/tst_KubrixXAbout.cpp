// The about box under the offscreen platform: its texts and layout, and that every way of
// closing it gives the OK result.

#include "ui/KubrixXAbout.h"

#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

using namespace kubrix;

class TstKubrixXAbout : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void layout_data();
    void layout();
    void closesWithOk_data();
    void closesWithOk();
    void shownModallyOverParent();
};

void TstKubrixXAbout::texts() {
    TKubrixXAbout about;
    QCOMPARE(about.windowTitle(), QStringLiteral("About"));
    QCOMPARE(about.NameLbl()->text(), QStringLiteral("KubrixX"));
    QVERIFY(about.NameLbl()->font().bold());
    QCOMPARE(about.NameLbl()->font().pixelSize(), 13);
    // "1С" with the Cyrillic letter Es, as the host application writes its own name.
    QCOMPARE(about.DescLbl()->text(), QString::fromUtf8("\xD0\xB4\xD0\xBB\xD1\x8F 1\xD0\xA1 7.7"));
    QCOMPARE(about.OkBtn()->text(), QStringLiteral("OK"));
    QVERIFY(about.OkBtn()->isDefault());
    QVERIFY(about.CtlImage()->autoRaise());
    QVERIFY(!about.CtlImage()->icon().isNull());
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.windowFlags() & Qt::WindowSystemMenuHint);
    QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                     Qt::WindowContextHelpButtonHint)));
}

// What the user sees: each control inside the dialog, its text not cut off, and no control
// lying over another.
void TstKubrixXAbout::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::newRow("CtlImage") << "CtlImage";
    QTest::newRow("NameLbl") << "NameLbl";
    QTest::newRow("DescLbl") << "DescLbl";
    QTest::newRow("OkBtn") << "OkBtn";
}

void TstKubrixXAbout::layout() {
    QFETCH(QString, name);
    TKubrixXAbout dialog;
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
    for (const char* other : {"CtlImage", "NameLbl", "DescLbl", "OkBtn"}) {
        if (name == QLatin1String(other)) continue;
        auto* o = dialog.findChild<QWidget*>(other);
        QVERIFY(o);
        QVERIFY2(!w->geometry().intersects(o->geometry()), qPrintable(name + " lies over " + other));
    }
}

void TstKubrixXAbout::closesWithOk_data() {
    QTest::addColumn<int>("key");  // 0: click "OK"
    QTest::newRow("OK clicked") << 0;
    QTest::newRow("Escape") << int(Qt::Key_Escape);
    QTest::newRow("Enter") << int(Qt::Key_Return);
}

void TstKubrixXAbout::closesWithOk() {
    QFETCH(int, key);
    TKubrixXAbout about;
    about.show();
    QVERIFY(QTest::qWaitForWindowExposed(&about));
    if (key == 0)
        QTest::mouseClick(about.OkBtn(), Qt::LeftButton);
    else
        QTest::keyClick(&about, Qt::Key(key));
    QVERIFY(!about.isVisible());
    QCOMPARE(about.result(), int(QDialog::Accepted));
}

void TstKubrixXAbout::shownModallyOverParent() {
    QWidget host;
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* about = qobject_cast<TKubrixXAbout*>(QApplication::activeModalWidget());
        if (!about) {
            QApplication::closeAllWindows();  // a wrong modal: end it rather than hang
            return;
        }
        seen = about->isModal() && about->parentWidget() == &host;
        QTest::keyClick(about, Qt::Key_Escape);
    });
    QCOMPARE(ShowAboutBox(&host), int(QDialog::Accepted));
    QVERIFY(seen);
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(host.findChildren<TKubrixXAbout*>().isEmpty());  // destroyed after use
}

QTEST_MAIN(TstKubrixXAbout)
#include "tst_KubrixXAbout.moc"
