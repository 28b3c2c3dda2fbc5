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
    QCOMPARE(about.size(), QSize(267, 127));
    QCOMPARE(about.minimumSize(), about.maximumSize());
    QVERIFY(about.windowFlags() & Qt::WindowSystemMenuHint);
    QVERIFY(!(about.windowFlags() & (Qt::WindowMinimizeButtonHint | Qt::WindowMaximizeButtonHint |
                                     Qt::WindowContextHelpButtonHint)));
}

void TstKubrixXAbout::layout_data() {
    QTest::addColumn<QString>("name");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("icon button") << "CtlImage" << QRect(48, 16, 23, 22);
    QTest::newRow("OK button") << "OkBtn" << QRect(96, 96, 75, 25);
    QTest::newRow("name at its place") << "NameLbl" << QRect(80, 16, -1, -1);
    QTest::newRow("description at its place") << "DescLbl" << QRect(80, 34, -1, -1);
}

void TstKubrixXAbout::layout() {
    QFETCH(QString, name);
    QFETCH(QRect, rect);
    TKubrixXAbout about;
    auto* w = about.findChild<QWidget*>(name);
    QVERIFY(w);
    if (rect.width() < 0)
        QCOMPARE(w->pos(), rect.topLeft());
    else
        QCOMPARE(w->geometry(), rect);
    // Nothing is cut off at the right.
    QVERIFY(w->geometry().right() < about.width());
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
