// The columns editor, driven by mouse and keys: which columns it lists, writing back with "Ok",
// the closing question, totals switches only for number fields, and hiding a filtered column.

#include "ui/FrmColumnsEditor.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QtTest>

#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "support/UiServices.h"
#include "ui/QelDBGrid.h"

using namespace kubrix;

namespace {

// A grid over NAME (text) and AMOUNT (integer, totals on), opened editor.
struct Fixture {
    TQelODBCClient ds;
    TDataSource source;
    TQelDBGrid grid;
    RecordingUiServices ui;
    UiServicesScope scope{ui};

    Fixture() {
        ds.FieldDefs().Add("NAME", ftString, 20);
        ds.FieldDefs().Add("AMOUNT", ftInteger);
        ds.Open();
        for (int i = 0; i < 3; ++i) {
            ds.AddRecord();
            ds.SetFieldValueInBuffer(ds.Fields()[0], i, Variant::FromAnsi("n" + std::to_string(i)));
            ds.SetFieldValueInBuffer(ds.Fields()[1], i, Variant::FromInt32(i));
        }
        ds.First();
        source.SetDataSet(&ds);
        grid.SetDataSource(&source);
        TQelDBGrid::SetTotalSwitch(ds.FieldByName("AMOUNT"), true);
        grid.TotalsInfo().Setshow_totals(true);
        grid.resize(400, 200);
        grid.show();
    }
    TfrmColumnsEditor& Open() {
        QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, grid.CellRect(0, 0).center());
        TfrmColumnsEditor* e = grid.ColumnsEditor();
        e->show();
        return *e;
    }
    // Clicks an editor cell: column of the editor's grid, record row from 1.
    static void Click(TfrmColumnsEditor& e, int column, int row) {
        QTest::mouseClick(e.dbgData->viewport(), Qt::LeftButton, {}, e.dbgData->CellRect(e.dbgData->GridColOf(column), row).center());
    }
    // Types into the current cell as a user does: the first key opens the in-place editor, which
    // then has the keys; Enter writes the value.
    static void Type(TQelDBGrid& grid, const QString& text) {
        QTest::keyClick(&grid, text[0].toLatin1());
        QVERIFY(grid.EditorMode());
        QTest::keyClicks(grid.InplaceEditor(), text.mid(1));
        QTest::keyClick(grid.InplaceEditor(), Qt::Key_Return);
    }
};

}  // namespace

class TestFrmColumnsEditor : public QObject {
    Q_OBJECT

private slots:
    void listsColumnsWithTheirSettings();
    void okWritesVisibilityWidthAndTotals();
    void closingAsksAndNoKeepsTheGrid();
    void totalsOfATextColumnCannotChange();
    void hidingAFilteredColumnIsRefused();
    void formPropsRestoreSizeAndLayout();
};

void TestFrmColumnsEditor::listsColumnsWithTheirSettings() {
    Fixture f;
    f.grid.AddColumn("NAME");  // a second NAME column, kept from the editor
    f.grid.Column(2).EnabledForEditor = false;
    TfrmColumnsEditor& e = f.Open();
    QCOMPARE(e.windowTitle(), QString("Редактор столбцов"));
    QCOMPARE(e.qData().RealRecordCount(), 2);
    QCOMPARE(e.dbgData->Column(0).Title(), QString("Столбец"));
    QCOMPARE(e.dbgData->Column(1).Title(), QString("Видимость"));
    QCOMPARE(e.dbgData->Column(2).Title(), QString("Ширина"));
    QCOMPARE(e.dbgData->Column(3).Title(), QString("Итоги"));
    QCOMPARE(e.cbTotalsPlace->itemText(0), QString("Снизу"));
    QCOMPARE(e.cbTotalsPlace->itemText(1), QString("Сверху"));
    QCOMPARE(e.cbTotalsPlace->currentIndex(), 1);
    QCOMPARE(e.dbgData->CellText(0, 2), QString("AMOUNT"));
    QVERIFY(!e.Changed());
    e.bCancelClick();
}

void TestFrmColumnsEditor::okWritesVisibilityWidthAndTotals() {
    Fixture f;
    TfrmColumnsEditor& e = f.Open();
    // Hide NAME with a click (posted at once), type a width for AMOUNT, switch its totals off.
    Fixture::Click(e, 1, 1);
    QCOMPARE(e.qData().State(), dsBrowse);
    QVERIFY(e.Changed());
    Fixture::Click(e, 2, 2);
    Fixture::Type(*e.dbgData, "90");
    Fixture::Click(e, 3, 2);
    e.ceFixedCols->setValue(1);
    e.cbTotalsPlace->setCurrentIndex(0);
    QTest::mouseClick(e.bOk, Qt::LeftButton);
    QTRY_VERIFY(!f.grid.ColumnsEditor());
    QVERIFY(!f.grid.Column(0).Visible());
    QCOMPARE(f.grid.Column(1).Width(), 90);
    QVERIFY(!TQelDBGrid::TotalSwitch(f.ds.FieldByName("AMOUNT")));
    // Every totals switch off: the totals row goes.
    QVERIFY(!f.grid.TotalsInfo().show_totals());
    QCOMPARE(f.grid.TotalsInfo().Place(), tipBottom);
    QCOMPARE(f.grid.FixedCols(), 1);
    QVERIFY(f.ui.Messages.empty());
}

void TestFrmColumnsEditor::closingAsksAndNoKeepsTheGrid() {
    Fixture f;
    const int width = f.grid.Column(1).Width();
    TfrmColumnsEditor& e = f.Open();
    Fixture::Click(e, 2, 2);
    Fixture::Type(*e.dbgData, "33");
    // Cancel keeps the editor open; No closes it and leaves the grid alone.
    f.ui.Answers = {IDCANCEL};
    e.close();
    QVERIFY(f.grid.ColumnsEditor());
    QCOMPARE(f.ui.Messages.back().Text, std::string("Сохранить изменения столбцов?"));
    QCOMPARE(f.ui.Messages.back().Flags & MB_BUTTONMASK, MB_YESNOCANCEL);
    f.ui.Answers = {IDNO};
    e.close();
    QTRY_VERIFY(!f.grid.ColumnsEditor());
    QCOMPARE(f.grid.Column(1).Width(), width);
}

void TestFrmColumnsEditor::totalsOfATextColumnCannotChange() {
    Fixture f;
    TfrmColumnsEditor& e = f.Open();
    Fixture::Click(e, 3, 1);  // the totals cell of NAME
    QCOMPARE(e.qData().State(), dsBrowse);
    QVERIFY(!e.qData().FieldByName("show_totals")->AsBoolean());
    e.bCancelClick();
}

void TestFrmColumnsEditor::hidingAFilteredColumnIsRefused() {
    Fixture f;
    f.grid.Column(0).SetFiltered(true);
    TfrmColumnsEditor& e = f.Open();
    Fixture::Click(e, 1, 1);
    QCOMPARE(f.ui.Messages.size(), std::size_t(1));
    QCOMPARE(f.ui.Messages[0].Text, std::string("Нельзя скрыть столбец, по которому производится фильтрация данных!"));
    QCOMPARE(f.ui.Messages[0].Flags, MB_OK | MB_ICONINFORMATION);
    QVERIFY(e.qData().FieldByName("Visible")->AsBoolean());
    QVERIFY(!e.Changed());
    e.bCancelClick();
}

void TestFrmColumnsEditor::formPropsRestoreSizeAndLayout() {
    Fixture f;
    TfrmColumnsEditor& e = f.Open();
    e.resize(520, 480);
    e.dbgData->Column(0).SetWidth(150);
    e.bCancelClick();
    QTRY_VERIFY(!f.grid.ColumnsEditor());
    TfrmColumnsEditor& again = f.Open();
    QCOMPARE(again.size(), QSize(520, 480));
    QCOMPARE(again.dbgData->Column(0).Width(), 150);
    // Garbage properties change nothing.
    again.SetFormProps(Variant::FromBytes(std::vector<std::uint8_t>{0x03, 0x00, 0x01}));
    again.SetFormProps(Variant::FromAnsi("x"));
    QCOMPARE(again.size(), QSize(520, 480));
    again.bCancelClick();
}

QTEST_MAIN(TestFrmColumnsEditor)
#include "tst_FrmColumnsEditor.moc"
