// The values popup, driven by mouse and keys: search as a filter (quotes included), check and
// uncheck all over what the search shows, a toggle posted by "Ok", "Cancel", and the empty list.

#include "ui/FrmOLAPValuesList.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QtTest>

#include <map>

#include "dataset/QelODBCClient.h"
#include "ui/QelDBGrid.h"

using namespace kubrix;

namespace {

// Five values, added out of order; shown by name they run Alpha, Beta, cab, O'Brien, Zeta ab.
struct Fixture {
    TfrmOLAPValuesList popup;

    explicit Fixture(bool fill = true) {
        if (fill) {
            popup.AddItem("Zeta ab", 10, false);
            popup.AddItem("O'Brien", 11, true);
            popup.AddItem("Alpha", 12, true);
            popup.AddItem("cab", 13, true);
            popup.AddItem("Beta", 14, false);
        }
        popup.show();
    }
    // Types a search text as a user does and presses Enter.
    void Search(const QString& text) {
        popup.eFind->selectAll();
        QTest::keyClick(popup.eFind, Qt::Key_Delete);
        QTest::keyClicks(popup.eFind, text);
        QTest::keyClick(popup.eFind, Qt::Key_Return);
    }
    // Names the grid shows, top to bottom.
    QStringList Shown() const {
        QStringList names;
        for (int row = 1; row <= popup.dbgData->ShownRecordCount(); ++row)
            names << popup.dbgData->CellText(0, row);
        return names;
    }
    // Check state by key, as the caller reads it after "Ok".
    std::map<int, bool> Result() const {
        std::map<int, bool> states;
        for (int i = 0; i < popup.ItemCount(); ++i) states[popup.GetItemObject(i)] = popup.GetItemChecked(i);
        return states;
    }
    void ClickCheck(int row) {
        TQelDBGrid& g = *popup.dbgData;
        QTest::mouseClick(g.viewport(), Qt::LeftButton, {}, g.CellRect(g.GridColOf(1), row).center());
    }
};

const QString kCount = QString::fromUtf8("Количество значений = ");
const QString kFiltered = QString::fromUtf8(" (Фильтр)");

}  // namespace

class TestFrmOLAPValuesList : public QObject {
    Q_OBJECT

private slots:
    void showsValuesByName();
    void searchFiltersTheList();
    void checkAllActsOnWhatTheSearchShows();
    void toggledCheckIsPostedByOk();
    void cancelRejects();
    void emptyListAndInsertDoNothing();
};

void TestFrmOLAPValuesList::showsValuesByName() {
    Fixture f;
    QCOMPARE(f.Shown(), QStringList({"Alpha", "Beta", "cab", "O'Brien", "Zeta ab"}));
    QCOMPARE(f.popup.sbInfo->text(), kCount + "5");
    QCOMPARE(f.popup.dbgData->Column(1).Width(), 43);
    // The name column takes what the check column leaves.
    QVERIFY(f.popup.dbgData->Column(0).Width() > 150);
    QCOMPARE(f.Result(), (std::map<int, bool>{{10, false}, {11, true}, {12, true}, {13, true}, {14, false}}));
}

void TestFrmOLAPValuesList::searchFiltersTheList() {
    const struct {
        const char* text;
        QStringList shown;
        bool filtered;
    } cases[] = {
        {"ab", {"cab", "Zeta ab"}, true},
        {"AB", {"cab", "Zeta ab"}, true},  // without regard to case
        {"   ", {"Alpha", "Beta", "cab", "O'Brien", "Zeta ab"}, false},
        {"O'Brien", {"O'Brien"}, true},
        {"'", {"O'Brien"}, true},
        {"''", {}, true},
        {"' or name like '", {}, true},  // a quote cannot end the literal early
        {"nothing", {}, true},
    };
    Fixture f;
    for (const auto& c : cases) {
        f.Search(QString::fromUtf8(c.text));
        QVERIFY2(f.popup.isVisible(), c.text);  // Enter searches; it does not close the popup
        QCOMPARE(f.Shown(), c.shown);
        QCOMPARE(f.popup.sbInfo->text(), kCount + QString::number(c.shown.size()) + (c.filtered ? kFiltered : QString()));
    }
    // No text can end the literal early.
    QCOMPARE(QString::fromStdString(TfrmOLAPValuesList::SearchFilter("O'Brien")), QString("name like '%O%Brien%'"));
    // The button does what Enter does.
    f.popup.eFind->setText("et");
    QTest::mouseClick(f.popup.bFind, Qt::LeftButton);
    QCOMPARE(f.Shown(), QStringList({"Beta", "Zeta ab"}));
}

void TestFrmOLAPValuesList::checkAllActsOnWhatTheSearchShows() {
    Fixture f;
    f.Search("ab");
    QTest::mouseClick(f.popup.bCheckAll, Qt::LeftButton);
    f.Search("a");  // Alpha, Beta, cab, Zeta ab
    QTest::mouseClick(f.popup.bUncheckAll, Qt::LeftButton);
    f.Search("");
    QCOMPARE(f.popup.sbInfo->text(), kCount + "5");
    QTest::mouseClick(f.popup.bOk, Qt::LeftButton);
    QCOMPARE(f.popup.result(), int(QDialog::Accepted));
    // Only O'Brien was hidden from the unchecking; Zeta ab was checked, then unchecked again.
    QCOMPARE(f.Result(), (std::map<int, bool>{{10, false}, {11, true}, {12, false}, {13, false}, {14, false}}));

    Fixture g;
    g.Search("ab");
    QTest::mouseClick(g.popup.bCheckAll, Qt::LeftButton);
    g.Search("");
    QCOMPARE(g.Result(), (std::map<int, bool>{{10, true}, {11, true}, {12, true}, {13, true}, {14, false}}));
}

void TestFrmOLAPValuesList::toggledCheckIsPostedByOk() {
    Fixture f;
    f.ClickCheck(2);  // Beta on
    QCOMPARE(f.popup.qData().State(), dsEdit);
    QTest::mouseClick(f.popup.bOk, Qt::LeftButton);
    QCOMPARE(f.popup.result(), int(QDialog::Accepted));
    QCOMPARE(f.Result()[14], true);

    // By key: space on the check cell of the current row, then down and space again.
    Fixture g;
    g.ClickCheck(1);  // Alpha off
    QTest::keyClick(g.popup.dbgData, Qt::Key_Down);
    QTest::keyClick(g.popup.dbgData, Qt::Key_Space);  // Beta on
    QTest::mouseClick(g.popup.bOk, Qt::LeftButton);
    QCOMPARE(g.Result()[12], false);
    QCOMPARE(g.Result()[14], true);
}

void TestFrmOLAPValuesList::cancelRejects() {
    Fixture f;
    f.ClickCheck(2);
    QTest::mouseClick(f.popup.bCheckAll, Qt::LeftButton);
    QTest::mouseClick(f.popup.bCancel, Qt::LeftButton);
    QCOMPARE(f.popup.result(), int(QDialog::Rejected));
    QVERIFY(!f.popup.isVisible());
}

void TestFrmOLAPValuesList::emptyListAndInsertDoNothing() {
    Fixture empty(false);
    QCOMPARE(empty.popup.sbInfo->text(), kCount + "0");
    QTest::mouseClick(empty.popup.bCheckAll, Qt::LeftButton);
    QCOMPARE(empty.popup.ItemCount(), 0);

    Fixture f;
    f.popup.qData().Append();
    QCOMPARE(f.popup.qData().State(), dsBrowse);
    QCOMPARE(f.popup.ItemCount(), 5);
    QCOMPARE(f.Shown().size(), 5);
}

QTEST_MAIN(TestFrmOLAPValuesList)
#include "tst_FrmOLAPValuesList.moc"
