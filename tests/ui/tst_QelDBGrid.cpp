// The data grid under the offscreen platform, over an in-memory dataset: rows as a window on the
// records, keys and wheel, check images toggled by click and space, the current row's frame, the
// totals band and column groups, filter buttons, hints, the saved column layout.

#include "ui/QelDBGrid.h"

#include <QImage>
#include <QListWidget>
#include <QToolButton>
#include <QScrollBar>
#include <QtTest>

#include <memory>

#include "dataset/DataSource.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/FormatSettings.h"
#include "support/StorageStream.h"
#include "support/UiServices.h"
#include "ui/FrmColumnsEditor.h"
#include "ui/FrmLocalSearch.h"

using namespace kubrix;

namespace {

// Records ID 1..n, NAME "r<i>", FLAG true on even IDs, AMOUNT = ID.
struct Fixture {
    TQelODBCClient ds;
    TDataSource source;
    TQelDBGrid grid;

    explicit Fixture(int n, const std::string& longName = {}) {
        ds.FieldDefs().Add("ID", ftInteger);
        ds.FieldDefs().Add("NAME", ftString, longName.empty() ? 20 : static_cast<int>(longName.size()));
        ds.FieldDefs().Add("FLAG", ftBoolean);
        ds.FieldDefs().Add("AMOUNT", ftInteger);
        ds.Open();
        for (int i = 0; i < n; ++i) {
            ds.AddRecord();
            ds.SetFieldValueInBuffer(ds.Fields()[0], i, Variant::FromInt32(i + 1));
            ds.SetFieldValueInBuffer(ds.Fields()[1], i, Variant::FromAnsi(longName.empty() ? "r" + std::to_string(i + 1) : longName));
            ds.SetFieldValueInBuffer(ds.Fields()[2], i, Variant::FromBool((i + 1) % 2 == 0));
            ds.SetFieldValueInBuffer(ds.Fields()[3], i, Variant::FromInt32(i + 1));
        }
        ds.First();
        source.SetDataSet(&ds);
        grid.SetDataSource(&source);
        grid.resize(500, 300);
        grid.show();
    }
    QImage Render() {
        QImage image(grid.viewport()->size(), QImage::Format_ARGB32);
        grid.viewport()->render(&image);
        return image;
    }
    QRect Cell(int column, int row) { return grid.CellRect(grid.GridColOf(column), row); }
    int Id() { return ds.FieldByName("ID")->AsInteger(); }
};

// Pixels of a rectangle that are far from white.
int DarkPixels(const QImage& image, const QRect& rect) {
    int n = 0;
    for (int y = rect.top(); y <= rect.bottom(); ++y)
        for (int x = rect.left(); x <= rect.right(); ++x)
            if (qGray(image.pixel(x, y)) < 100) ++n;
    return n;
}

}  // namespace

class TestQelDBGrid : public QObject {
    Q_OBJECT

private slots:
    void rowsAreAWindowOnTheRecords();
    void keysAndWheelMoveTheRecord();
    void checkImagesToggleByClickAndSpace();
    void currentRowFrameIsPainted();
    void totalsBandAndColumnGroups();
    void filterButtonReportsAndIsPainted();
    void hintsShowCutTexts();
    void savedLayoutRestoresColumns();
    void malformedLayoutsRestoreWhatTheyCan();
    void topLeftCellOpensTheColumnsEditorAndCtrlFTheSearch();
    void filteredRecordsAreSkipped();
    void narrowingKeepsTheDatasetsRecord();
    void pickListDropsDownAndPostsTheChoice();
    void editStyleAndEllipsisButton();
};

void TestQelDBGrid::rowsAreAWindowOnTheRecords() {
    Fixture f(100000);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    // A handful of grid rows, however many records.
    QCOMPARE(f.grid.RowCount(), 1 + f.grid.WindowRows());
    QVERIFY(f.grid.RowCount() < 30);
    QCOMPARE(f.grid.verticalScrollBar()->maximum(), 100000 - f.grid.WindowRows());
    QCOMPARE(f.grid.CellText(1, 2), QString("r2"));
    // The bar moves the window, and the current record follows into it.
    f.grid.verticalScrollBar()->setValue(50000);
    QCOMPARE(f.grid.TopPos(), 50000);
    QCOMPARE(f.Id(), 50001);
    QCOMPARE(f.grid.CellText(1, 3), QString("r50003"));
    const QImage image = f.Render();
    QVERIFY(DarkPixels(image, f.Cell(1, 3)) > 0);
    // An empty dataset: the title row only.
    Fixture empty(0);
    QCOMPARE(empty.grid.RowCount(), 1);
    QCOMPARE(empty.grid.ShownRecordCount(), 0);
}

void TestQelDBGrid::keysAndWheelMoveTheRecord() {
    Fixture f(1000);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    f.grid.setFocus();
    QTest::keyClick(&f.grid, Qt::Key_Down);
    QCOMPARE(f.Id(), 2);
    QTest::keyClick(&f.grid, Qt::Key_PageDown);
    QCOMPARE(f.Id(), 2 + f.grid.WindowRows());
    QTest::keyClick(&f.grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(f.Id(), 1000);
    QCOMPARE(f.grid.TopPos(), 1000 - f.grid.WindowRows());
    QCOMPARE(f.grid.Current().Row, f.grid.WindowRows());
    QTest::keyClick(&f.grid, Qt::Key_Home, Qt::ControlModifier);
    QCOMPARE(f.Id(), 1);
    QCOMPARE(f.grid.TopPos(), 0);
    // A click on a row makes its record current.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(1, 4).center());
    QCOMPARE(f.Id(), 4);
    QWheelEvent wheel(f.Cell(1, 2).center(), f.grid.viewport()->mapToGlobal(f.Cell(1, 2).center()), {}, {0, -120},
                      Qt::NoButton, {}, Qt::NoScrollPhase, false);
    QApplication::sendEvent(f.grid.viewport(), &wheel);
    QCOMPARE(f.Id(), 5);
    // The handlers are asked first: a handled turn leaves the record, an unhandled one moves it.
    int asked = 0;
    bool handle = true;
    f.grid.OnMouseWheelDown = [&](TQelDBGrid&, Qt::KeyboardModifiers, QPoint, bool& handled) {
        ++asked;
        handled = handle;
    };
    QApplication::sendEvent(f.grid.viewport(), &wheel);
    QCOMPARE(asked, 1);
    QCOMPARE(f.Id(), 5);
    handle = false;
    QApplication::sendEvent(f.grid.viewport(), &wheel);
    QCOMPARE(asked, 2);
    QCOMPARE(f.Id(), 6);
}

void TestQelDBGrid::checkImagesToggleByClickAndSpace() {
    Fixture f(5);
    TQelColumn& flag = f.grid.Column(2);
    flag.ImageList = StandardImageList();
    flag.ImageList_TrueInd = 1;
    flag.ImageList_FalseInd = 0;
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    // Row 2 holds ID 2 (true): a checked box has a dark tick; row 1 (false) none inside the box.
    QImage image = f.Render();
    const QRect checked = f.Cell(2, 2), unchecked = f.Cell(2, 1);
    const QRect inner(checked.center() - QPoint(3, 2), QSize(6, 5));
    const QRect innerUnchecked(unchecked.center() - QPoint(3, 2), QSize(6, 5));
    QVERIFY(DarkPixels(image, inner) > 0);
    QCOMPARE(DarkPixels(image, innerUnchecked), 0);
    // A click flips the value of the clicked record and leaves the dataset editing.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, unchecked.center());
    QCOMPARE(f.ds.State(), dsEdit);
    QCOMPARE(f.ds.FieldByName("FLAG")->AsBoolean(), true);
    image = f.Render();
    QVERIFY(DarkPixels(image, innerUnchecked) > 0);
    // Space flips it back.
    QTest::keyClick(&f.grid, Qt::Key_Space);
    QCOMPARE(f.ds.FieldByName("FLAG")->AsBoolean(), false);
    // A read-only column never toggles.
    f.ds.Cancel();
    flag.ReadOnly = true;
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(2, 3).center());
    QTest::keyClick(&f.grid, Qt::Key_Space);
    QCOMPARE(f.ds.State(), dsBrowse);
    QCOMPARE(f.ds.FieldByName("FLAG")->AsBoolean(), false);
}

void TestQelDBGrid::currentRowFrameIsPainted() {
    Fixture f(10);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    f.grid.MoveToPos(2);
    QCOMPARE(f.grid.Current().Row, 3);
    const QImage image = f.Render();
    // Cells of the current row other than the focused current cell have blue top and bottom edges.
    const QRect other = f.Cell(1, 3);
    QCOMPARE(image.pixel(other.center().x(), other.top()), qRgb(0, 0, 255));
    QCOMPARE(image.pixel(other.center().x(), other.bottom()), qRgb(0, 0, 255));
    const QRect notCurrent = f.Cell(0, 2);
    QVERIFY(image.pixel(notCurrent.center().x(), notCurrent.top()) != qRgb(0, 0, 255));
}

void TestQelDBGrid::totalsBandAndColumnGroups() {
    Fixture f(10);
    auto* amount = f.ds.FieldByName("AMOUNT");
    TQelDBGrid::SetTotalSwitch(amount, true);
    TTotalsInfo& totals = f.grid.TotalsInfo();
    totals.SetColor(QColor(255, 255, 0));
    totals.Setshow_totals(true);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    QCOMPARE(f.grid.TotalText(3), QString("55"));
    QCOMPARE(f.grid.TotalText(1), QString());
    {
        // A format writes the total as an amount: the band's own, else the field's.
        FormatSettings fs;
        fs.DecimalSeparator = ',';
        fs.ThousandSeparator = " ";
        FormatSettingsScope scope(fs);
        amount->SetDisplayFormat("0.0");
        QCOMPARE(f.grid.TotalText(3), QString("55,0"));
        totals.SetFormat("#,##0.00' р.'");
        QCOMPARE(f.grid.TotalText(3), QString::fromUtf8("55,00 р."));
        totals.SetFormat("");
        amount->SetDisplayFormat("");
    }
    // At the top without groups: the band is the top of the grid, the totals cell yellow.
    QCOMPARE(f.grid.TotalsRect().top(), 0);
    QImage image = f.Render();
    const QRect title = f.Cell(3, 0);
    QCOMPARE(image.pixel(title.left() + 2, f.grid.TotalsRect().center().y()), qRgb(255, 255, 0));
    QVERIFY(DarkPixels(image, QRect(title.left(), 0, title.width(), totals.Height())) > 0);
    // Three group rows: the band lies directly below them.
    f.grid.SetColumnsGroups("A\n\tA1\n\t\tA11\nB");
    QCOMPARE(f.grid.ColumnsGroups(), QString("A\n\tA1\n\t\tA11\nB"));
    QCOMPARE(f.grid.GroupDepth(), 3);
    f.grid.SetShowColumnsGroups(true);
    const int groupRows = 3 * (f.grid.DefaultRowHeight() + f.grid.GridLineWidth());
    QCOMPARE(f.grid.TotalsRect().top(), groupRows);
    QCOMPARE(f.grid.TopBand(), groupRows + totals.Height());
    // The edge case of the tree text: two top-level groups, two group rows, read back alike.
    f.grid.SetColumnsGroups("A\n\tA1\n\tA2\nB");
    QCOMPARE(f.grid.GroupDepth(), 2);
    QCOMPARE(f.grid.ColumnsGroups(), QString("A\n\tA1\n\tA2\nB"));
    // A line two levels deeper ends the tree.
    f.grid.SetColumnsGroups("A\n\t\tX\nB");
    QCOMPARE(f.grid.ColumnsGroups(), QString("A"));
    // Columns of group A are drawn under its name.
    f.grid.SetColumnsGroups("Группа");
    f.grid.Column(0).Group = QStringList{"Группа"};
    f.grid.Column(1).Group = QStringList{"Группа"};
    f.grid.viewport()->update();
    image = f.Render();
    const QRect groupRow(f.Cell(0, 0).left(), 0, f.Cell(1, 0).right() - f.Cell(0, 0).left(), f.grid.DefaultRowHeight());
    QVERIFY(DarkPixels(image, groupRow.adjusted(3, 3, -3, -3)) > 0);
    // Bottom place: the band sits at the bottom.
    totals.SetPlace(tipBottom);
    QCOMPARE(f.grid.BottomBand(), totals.Height());
}

void TestQelDBGrid::filterButtonReportsAndIsPainted() {
    Fixture f(3);
    TQelColumn& name = f.grid.Column(1);
    name.ImageList = StandardImageList();
    QString pressed;
    f.grid.OnFilterBtnClick = [&](TQelColumn& c, Qt::MouseButton) { pressed = QString::fromStdString(c.FieldName()); };
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    const QRect button = f.grid.FilterButtonRect(1);
    QVERIFY(!button.isEmpty());
    QVERIFY(f.grid.FilterButtonRect(0).isEmpty());  // no image list
    QImage image = f.Render();
    QVERIFY(DarkPixels(image, button) > 0);  // the funnel
    name.SetFiltered(true);
    image = f.Render();
    // The active filter's funnel is red.
    bool red = false;
    for (int y = button.top(); y <= button.bottom(); ++y)
        for (int x = button.left(); x <= button.right(); ++x) red = red || (QColor(image.pixel(x, y)).red() > 200 && QColor(image.pixel(x, y)).green() < 80);
    QVERIFY(red);
    const int before = f.grid.Current().Col;
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, button.center());
    QCOMPARE(pressed, QString("NAME"));
    QCOMPARE(f.grid.Current().Col, before);
}

void TestQelDBGrid::hintsShowCutTexts() {
    const std::string text(1000, 'x');
    Fixture f(2, text);
    f.grid.Column(1).SetWidth(40);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    const QString hint = f.grid.HintAt(f.Cell(1, 1).center());
    QCOMPARE(hint.size(), 803);
    QVERIFY(hint.endsWith("..."));
    // A text that fits gives none; the indicator never does; OnDoHint may suppress it.
    QCOMPARE(f.grid.HintAt(f.Cell(0, 1).center()), QString());
    QCOMPARE(f.grid.HintAt(QPoint(2, f.Cell(0, 1).center().y())), QString());
    f.grid.OnDoHint = [](TQelDBGrid&, int, int, bool& show) { show = false; };
    QCOMPARE(f.grid.HintAt(f.Cell(1, 1).center()), QString());
}

void TestQelDBGrid::savedLayoutRestoresColumns() {
    Variant saved;
    {
        Fixture f(3);
        f.grid.Column(1).SetWidth(123);
        f.grid.Column(1).SetVisible(false);
        f.grid.Column(3).SetIndex(0);  // AMOUNT first
        TQelDBGrid::SetTotalSwitch(f.ds.FieldByName("AMOUNT"), true);
        f.grid.TotalsInfo().SetPlace(tipBottom);
        f.grid.SetFixedCols(1);
        saved = f.grid.GetColumnsAsVariant();
    }
    Fixture g(3);
    QCOMPARE(QString::fromStdString(g.grid.Column(0).FieldName()), QString("ID"));
    g.grid.SetColumnsAsVariant(saved);
    QCOMPARE(QString::fromStdString(g.grid.Column(0).FieldName()), QString("AMOUNT"));
    TQelColumn* name = g.grid.ColumnByField(g.ds.FieldByName("NAME"));
    QVERIFY(name && !name->Visible());
    QCOMPARE(g.grid.ColWidth(g.grid.GridColOf(name->Index())), 0);
    // Shown again, the hidden column has the width it had.
    name->SetVisible(true);
    QCOMPARE(g.grid.ColWidth(g.grid.GridColOf(name->Index())), 123);
    QVERIFY(TQelDBGrid::TotalSwitch(g.ds.FieldByName("AMOUNT")));
    QVERIFY(g.grid.TotalsInfo().show_totals());
    QCOMPARE(g.grid.TotalsInfo().Place(), tipBottom);
    QCOMPARE(g.grid.FixedCols(), 1);
    QVERIFY(g.grid.Column(0).Fixed());
    // The same layout writes the same bytes.
    name->SetVisible(false);
    QCOMPARE(g.grid.GetColumnsAsVariant(), saved);
}

void TestQelDBGrid::malformedLayoutsRestoreWhatTheyCan() {
    auto record = [](const char* field, int width, int index) {
        Variant r = Variant::MakeArray(VT_VARIANT, 0, 3);
        r.PutElement(0, Variant::FromAnsi(field));
        r.PutElement(1, Variant::FromInt32(width));
        r.PutElement(2, Variant::FromInt32(index));
        r.PutElement(3, Variant::FromBool(true));
        return r;
    };
    auto records = [](std::vector<Variant> list) {
        TQelStorageStream s;
        for (auto& r : list) s.SaveValue(r);
        return s.GetAsVariant();
    };
    Fixture f(3);
    // A column the grid does not have is skipped; the others restore.
    f.grid.SetColumnsAsVariant(records({record("GONE", 10, 0), record("NAME", 77, 0)}));
    QCOMPARE(QString::fromStdString(f.grid.Column(0).FieldName()), QString("NAME"));
    QCOMPARE(f.grid.Column(0).Width(), 77);
    // An index past the last column places the column last.
    f.grid.SetColumnsAsVariant(records({record("NAME", 77, 99)}));
    QCOMPARE(QString::fromStdString(f.grid.Column(3).FieldName()), QString("NAME"));
    // Random bytes, negative widths and absurd frozen counts change nothing they cannot.
    Variant bad = Variant::MakeArray(VT_VARIANT, 0, 6);
    bad.PutElement(0, Variant::FromUInt8(1));
    bad.PutElement(1, records({record("ID", -5, -3)}));
    bad.PutElement(6, Variant::FromInt32(1000000));
    f.grid.SetColumnsAsVariant(bad);
    QCOMPARE(f.grid.Column(0).Width(), 0);
    QCOMPARE(QString::fromStdString(f.grid.Column(0).FieldName()), QString("ID"));
    QCOMPARE(f.grid.FixedCols(), 4);
    std::vector<std::uint8_t> noise(300);
    for (std::size_t i = 0; i < noise.size(); ++i) noise[i] = static_cast<std::uint8_t>(i * 37 + 11);
    f.grid.SetColumnsAsVariant(Variant::FromBytes(noise));
    f.grid.SetColumnsAsVariant(Variant::FromAnsi("text"));
    QCOMPARE(f.grid.ColumnCount(), 4);
}

void TestQelDBGrid::topLeftCellOpensTheColumnsEditorAndCtrlFTheSearch() {
    Fixture f(3);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.grid.CellRect(0, 0).center());
    QVERIFY(f.grid.ColumnsEditor());
    QCOMPARE(f.grid.ColumnsEditor()->windowTitle(), QString("Редактор столбцов"));
    QCOMPARE(f.grid.ColumnsEditor()->qData().RealRecordCount(), 4);
    f.grid.ColumnsEditor()->bCancelClick();
    QTRY_VERIFY(!f.grid.ColumnsEditor());
    QVERIFY(f.grid.EditorFormProps.IsArray());
    f.grid.setFocus();
    QTest::keyClick(&f.grid, Qt::Key_F, Qt::ControlModifier);
    QVERIFY(f.grid.SearchForm());
    QVERIFY(f.grid.SearchForm()->isVisible());
    QCOMPARE(f.grid.SearchForm()->windowTitle(), QString("Поиск"));
}

void TestQelDBGrid::filteredRecordsAreSkipped() {
    Fixture f(20);
    f.ds.SetFilterText("ID > 15");
    f.ds.SetFiltered(true);
    QCOMPARE(f.grid.ShownRecordCount(), 5);
    QCOMPARE(f.grid.CellText(1, 1), QString("r16"));
    f.grid.setFocus();
    QTest::keyClick(&f.grid, Qt::Key_Down);
    QCOMPARE(f.Id(), 17);
}

void TestQelDBGrid::narrowingKeepsTheDatasetsRecord() {
    // The current row is far down when the records shrink to two: the grid follows the dataset's
    // record and moves nothing itself.
    Fixture f(100);
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    f.grid.MoveToPos(9);
    QCOMPARE(f.grid.Current().Row, 10);
    const std::vector<std::int32_t> subset{5, 6};
    f.ds.SetRecordFilter(&subset);
    QCOMPARE(f.grid.ShownRecordCount(), 2);
    QCOMPARE(f.Id(), 6);
    QCOMPARE(f.grid.Current().Row, 1);
    f.ds.SetRecordFilter(nullptr);
    QCOMPARE(f.grid.ShownRecordCount(), 100);
}


void TestQelDBGrid::pickListDropsDownAndPostsTheChoice() {
    Fixture f(3);
    TQelColumn& name = f.grid.Column(1);
    name.PickList = {"alpha", "бета"};
    int asked = 0;
    f.grid.OnGetPickListitems = [&](TQelColumn& c, QStringList& items) {
        ++asked;
        QCOMPARE(&c, &name);
        items << "гамма";
    };
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    // F2 on the second record's name opens the editor with a drop-down button.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(1, 2).center());
    QTest::keyClick(&f.grid, Qt::Key_F2);
    TQelDBGridInplaceEdit* edit = f.grid.InplaceEdit();
    QVERIFY(edit && f.grid.EditorMode());
    QCOMPARE(edit->EditStyle(), esPickList);
    QVERIFY(edit->Button()->isVisible());
    QCOMPARE(asked, 0);
    // The button lists the column's items and those added by the event, asked for each time.
    QTest::mouseClick(edit->Button(), Qt::LeftButton);
    QVERIFY(edit->ListVisible());
    QCOMPARE(asked, 1);
    QListWidget* list = edit->PickListWidget();
    QCOMPARE(list->count(), 3);
    QCOMPARE(list->item(1)->text(), QString("бета"));
    QCOMPARE(list->item(2)->text(), QString("гамма"));
    // Choosing an item sets the editor's text; Enter writes it, posting stores it.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(list->item(2)).center());
    QVERIFY(!edit->ListVisible());
    QCOMPARE(edit->text(), QString("гамма"));
    QTest::keyClick(edit, Qt::Key_Return);
    f.ds.Post();
    QCOMPARE(f.Id(), 2);
    QCOMPARE(QString::fromStdString(f.ds.FieldByName("NAME")->AsString()), QString("гамма"));
    // Alt+Down opens it from the keyboard; Escape closes it and keeps the text.
    QTest::keyClick(&f.grid, Qt::Key_F2);
    QTest::keyClick(edit, Qt::Key_Down, Qt::AltModifier);
    QVERIFY(edit->ListVisible());
    QCOMPARE(asked, 2);
    QCOMPARE(list->currentItem()->text(), QString("гамма"));
    QTest::keyClick(list, Qt::Key_Escape);
    QVERIFY(!edit->ListVisible());
    QCOMPARE(edit->text(), QString("гамма"));
    // A column without items has a plain editor.
    QTest::keyClick(&f.grid, Qt::Key_Escape);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(3, 1).center());
    QTest::keyClick(&f.grid, Qt::Key_F2);
    QVERIFY(f.grid.EditorMode());
    QCOMPARE(edit->EditStyle(), esSimple);
    QVERIFY(!edit->Button()->isVisible());
}

void TestQelDBGrid::editStyleAndEllipsisButton() {
    RecordingUiServices ui;
    UiServicesScope scope(ui);
    Fixture f(1);
    TQelColumn& name = f.grid.Column(1);
    name.PickList = {"alpha"};
    name.ButtonStyle = cbsEllipsis;
    TEditStyle from = esSimple;
    f.grid.OnGetEditStyle = [&](TQelColumn& c, TEditStyle& style) {
        from = style;
        if (&c == &f.grid.Column(3)) style = esEllipsis;
    };
    int actions = 0;
    f.grid.OnEditButtonClick = [&](TQelDBGrid& g) {
        QCOMPARE(&g, &f.grid);
        ++actions;
    };
    QVERIFY(QTest::qWaitForWindowExposed(&f.grid));
    // The column's button style wins over its pick list; the event sees it and may change it.
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(1, 1).center());
    QTest::keyClick(&f.grid, Qt::Key_F2);
    TQelDBGridInplaceEdit* edit = f.grid.InplaceEdit();
    QVERIFY(edit && f.grid.EditorMode());
    QCOMPARE(from, esEllipsis);
    QCOMPARE(edit->EditStyle(), esEllipsis);
    QCOMPARE(edit->Button()->text(), QString("..."));
    QTest::mouseClick(edit->Button(), Qt::LeftButton);
    QCOMPARE(actions, 1);
    QVERIFY(!edit->ListVisible());
    QVERIFY(ui.Messages.empty());
    QTest::keyClick(&f.grid, Qt::Key_Escape);
    QTest::mouseClick(f.grid.viewport(), Qt::LeftButton, {}, f.Cell(3, 1).center());
    QTest::keyClick(&f.grid, Qt::Key_F2);
    QCOMPARE(from, esSimple);
    QCOMPARE(edit->EditStyle(), esEllipsis);
    QTest::mouseClick(edit->Button(), Qt::LeftButton);
    QCOMPARE(actions, 2);
    // The last record deleted under the open editor: the editor closes rather than sit on the
    // titles, and its button asks for a record instead of running the action.
    f.ds.Delete();
    QVERIFY(f.ds.IsEmpty());
    QVERIFY(!f.grid.EditorMode());
    QTest::keyClick(&f.grid, Qt::Key_F2);
    QVERIFY(!f.grid.EditorMode());
    edit->EditButtonClick();
    QCOMPARE(actions, 2);
    QCOMPARE(ui.Messages.size(), std::size_t(1));
    QCOMPARE(QString::fromStdString(ui.Messages[0].Text), QString("Добавьте новую запись!"));
    QCOMPARE(ui.Messages[0].Flags & MB_BUTTONMASK, MB_OK);
    QCOMPARE(ui.Messages[0].Flags & MB_ICONMASK, MB_ICONQUESTION);
}

QTEST_MAIN(TestQelDBGrid)
#include "tst_QelDBGrid.moc"
