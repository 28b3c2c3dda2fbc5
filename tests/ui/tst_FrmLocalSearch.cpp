// The data grid's search window, driven by keys: the order cells are visited in, wrapping,
// records hidden by the filter, and "Не найдено".

#include "ui/FrmLocalSearch.h"

#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "support/UiServices.h"
#include "ui/QelDBGrid.h"

using namespace kubrix;

namespace {

// Three records of two text fields A and B.
struct Fixture {
    TQelODBCClient ds;
    TDataSource source;
    TQelDBGrid grid;
    RecordingUiServices ui;
    UiServicesScope scope{ui};

    using Rows = std::vector<std::pair<std::string, std::string>>;
    explicit Fixture(const Rows& rows) {
        ds.FieldDefs().Add("A", ftString, 20);
        ds.FieldDefs().Add("B", ftString, 20);
        ds.Open();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ds.AddRecord();
            ds.SetFieldValueInBuffer(ds.Fields()[0], static_cast<int>(i), Variant::FromAnsi(rows[i].first));
            ds.SetFieldValueInBuffer(ds.Fields()[1], static_cast<int>(i), Variant::FromAnsi(rows[i].second));
        }
        ds.First();
        source.SetDataSet(&ds);
        grid.SetDataSource(&source);
        grid.resize(300, 200);
        grid.show();
    }
    TfrmLocalSearch& Open() {
        grid.setFocus();
        QTest::keyClick(&grid, Qt::Key_F, Qt::ControlModifier);
        return *grid.SearchForm();
    }
    // Types the text and presses Enter; returns the cell found as "record,field" or the message.
    QString Find(const QString& text) {
        TfrmLocalSearch& form = Open();
        form.eFind->clear();
        QTest::keyClicks(form.eFind, text);
        const std::size_t shown = ui.Messages.size();
        QTest::keyClick(&form, Qt::Key_Return);
        if (ui.Messages.size() > shown) return QString::fromStdString(ui.Messages.back().Text);
        return QStringLiteral("%1,%2").arg(ds.GetActiveRecordIndex()).arg(grid.SelectedIndex());
    }
};

}  // namespace

class TestFrmLocalSearch : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void visitsCellsInBothDirectionsAndWraps();
    void neverExaminesTheCurrentCell();
    void skipsFilteredRecords();
    void emptyDatasetOrTextIsNotFound();
    void escapeHides();
};

void TestFrmLocalSearch::texts() {
    Fixture f(Fixture::Rows{{"x", "y"}});
    TfrmLocalSearch& form = f.Open();
    QCOMPARE(form.windowTitle(), QString("Поиск"));
    QCOMPARE(form.bSearch->text(), QString("Найти"));
    QCOMPARE(form.rbByRows->text(), QString("по строкам"));
    QCOMPARE(form.rbByColumns->text(), QString("по столбцам"));
    QCOMPARE(form.Direction(), 1);
    QVERIFY(form.findChild<QWidget*>("rgDirection"));
}

void TestFrmLocalSearch::visitsCellsInBothDirectionsAndWraps() {
    // "hit" is in (record 0, B) and (record 1, A): which comes first depends on the direction.
    Fixture f(Fixture::Rows{{"a", "hit"}, {"HIT", "b"}, {"c", "d"}});
    f.Open().SetDirection(1);
    QCOMPARE(f.Find("hit"), QString("1,0"));  // column by column: A of every record first
    f.ds.First();
    f.grid.SetSelectedIndex(0);
    f.Open().SetDirection(0);
    QCOMPARE(f.Find("Hi"), QString("0,1"));  // row by row: B of record 0 first, case ignored
    // From the last cell of the last record, row by row continues with the first record.
    f.ds.Last();
    f.grid.SetSelectedIndex(1);
    QCOMPARE(f.Find("a"), QString("0,0"));
}

void TestFrmLocalSearch::neverExaminesTheCurrentCell() {
    Fixture f(Fixture::Rows{{"only", "x"}, {"y", "z"}});
    f.grid.SetSelectedIndex(0);
    QCOMPARE(f.Find("only"), QString("Не найдено"));
}

void TestFrmLocalSearch::skipsFilteredRecords() {
    Fixture f(Fixture::Rows{{"a", "b"}, {"needle", "c"}, {"keep", "d"}});
    f.ds.SetFilterText("A <> 'needle'");
    f.ds.SetFiltered(true);
    QCOMPARE(f.Find("needle"), QString("Не найдено"));
    QCOMPARE(f.Find("keep"), QString("2,0"));
}

void TestFrmLocalSearch::emptyDatasetOrTextIsNotFound() {
    Fixture empty(Fixture::Rows{});
    QCOMPARE(empty.Find("a"), QString("Не найдено"));
    Fixture f(Fixture::Rows{{"a", "b"}});
    QCOMPARE(f.Find(""), QString("Не найдено"));
    QCOMPARE(f.ui.Messages.back().Flags, MB_OK | MB_ICONINFORMATION);
}

void TestFrmLocalSearch::escapeHides() {
    Fixture f(Fixture::Rows{{"a", "b"}});
    TfrmLocalSearch& form = f.Open();
    QVERIFY(form.isVisible());
    QTest::keyClick(&form, Qt::Key_Escape);
    QVERIFY(!form.isVisible());
    // Shown again, the same window.
    QCOMPARE(&f.Open(), &form);
}

QTEST_MAIN(TestFrmLocalSearch)
#include "tst_FrmLocalSearch.moc"
