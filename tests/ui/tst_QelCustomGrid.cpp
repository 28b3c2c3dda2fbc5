// The base grid widget under the offscreen platform: current cell, cell geometry, column sizing,
// scrolling with fixed lines, huge mostly hidden grids, keyboard movement, the in-place editor.

#include "ui/QelCustomGrid.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QSignalSpy>
#include <QtTest>

using namespace kubrix;

namespace kubrix {
// Readable failures for cell addresses.
char* toString(const TGridCoord& cell) {
    return QTest::toString(QStringLiteral("(%1, %2)").arg(cell.Col).arg(cell.Row));
}
}  // namespace kubrix

namespace {

// Paints every cell in a colour that names it, so a pixel tells which cell was painted there.
class TIdentityGrid : public TQelCustomGrid {
public:
    using TQelCustomGrid::TQelCustomGrid;

    static QRgb Identity(int col, int row) { return qRgb(col % 256, row % 256, (row / 256) % 256); }

    int Drawn = 0;
    bool Paint = true;
    bool CanEdit = true;

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState) override {
        ++Drawn;
        if (Paint) painter.fillRect(rect, QColor::fromRgb(Identity(col, row)));
    }
    QString GetEditText(int col, int row) const override { return QStringLiteral("%1,%2").arg(col).arg(row); }
    bool CanEditShow() const override { return CanEdit; }
};

// 64 x 18 cells (grid line included), one fixed column and row, column 2 and row 3 hidden:
// columns start at 0, 64, -, 128, 192 ...; rows at 0, 18, 36, -, 54, 72 ...
void Setup(TQelCustomGrid& grid, int cols = 10, int rows = 20, int fixedCols = 1, int fixedRows = 1) {
    grid.SetColCount(cols);
    grid.SetRowCount(rows);
    grid.SetFixedCols(fixedCols);
    grid.SetFixedRows(fixedRows);
    grid.Geometry().Cols().Hide(2);
    grid.Geometry().Rows().Hide(3);
    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
}

void SendMove(QWidget* widget, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, QPointF(pos), widget->mapToGlobal(QPointF(pos)), Qt::NoButton, buttons,
                     Qt::NoModifier);
    QApplication::sendEvent(widget, &move);
}

QRgb Pixel(const QImage& image, QPoint p) { return image.pixel(p) | 0xFF000000u; }

}  // namespace

class TstQelCustomGrid : public QObject {
    Q_OBJECT

private slots:
    void clickSetsCurrentCell_data();
    void clickSetsCurrentCell();
    void cellRectangles_data();
    void cellRectangles();
    void dragColumnBorder_data();
    void dragColumnBorder();
    void fixedLinesStayWhenScrolled_data();
    void fixedLinesStayWhenScrolled();
    void defaultColours();
    void millionRowsMostlyHidden();
    void keyboardSkipsHiddenLines_data();
    void keyboardSkipsHiddenLines();
    void pageKeysKeepCurrentInView();
    void inplaceEditor_data();
    void inplaceEditor();
    void doubleClickAndContextMenu();
    void externalGeometry();
};

void TstQelCustomGrid::clickSetsCurrentCell_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::newRow("fixed corner") << QPoint(10, 5) << 0 << 0;
    QTest::newRow("fixed row") << QPoint(100, 5) << 1 << 0;
    QTest::newRow("fixed column") << QPoint(10, 40) << 0 << 2;
    QTest::newRow("scrolled cell") << QPoint(100, 40) << 1 << 2;
    QTest::newRow("past hidden column and row") << QPoint(130, 60) << 3 << 4;
    QTest::newRow("last pixel before hidden column") << QPoint(127, 20) << 1 << 1;
    QTest::newRow("first pixel after hidden column") << QPoint(128, 20) << 3 << 1;
}

void TstQelCustomGrid::clickSetsCurrentCell() {
    QFETCH(QPoint, pos);
    QFETCH(int, col);
    QFETCH(int, row);
    TIdentityGrid grid;
    Setup(grid);
    grid.SetCurrent(5, 5);
    QSignalSpy changed(&grid, &TQelCustomGrid::currentChanged);
    QCOMPARE(grid.MouseCoord(pos), (TGridCoord{col, row}));
    QTest::mouseClick(grid.viewport(), Qt::RightButton, {}, pos);
    QCOMPARE(grid.Current(), (TGridCoord{5, 5}));  // only the left button moves the current cell
    QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, pos);
    QCOMPARE(grid.Current(), (TGridCoord{col, row}));
    QCOMPARE(changed.count(), 1);
}

void TstQelCustomGrid::cellRectangles_data() {
    QTest::addColumn<int>("leftCol");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QRect>("rect");
    QTest::newRow("corner") << 1 << 0 << 0 << QRect(0, 0, 63, 17);
    QTest::newRow("after hidden lines") << 1 << 3 << 4 << QRect(128, 54, 63, 17);
    QTest::newRow("hidden column") << 1 << 2 << 1 << QRect();
    QTest::newRow("hidden row") << 1 << 1 << 3 << QRect();
    QTest::newRow("outside the grid") << 1 << 10 << 0 << QRect();
    QTest::newRow("negative") << 1 << -1 << 0 << QRect();
    QTest::newRow("scrolled: under the fixed column") << 3 << 1 << 1 << QRect();
    QTest::newRow("scrolled: first column in view") << 3 << 3 << 1 << QRect(64, 18, 63, 17);
    QTest::newRow("scrolled: fixed column stays") << 3 << 0 << 4 << QRect(0, 54, 63, 17);
    QTest::newRow("scrolled: fixed row moves along") << 3 << 4 << 0 << QRect(128, 0, 63, 17);
}

void TstQelCustomGrid::cellRectangles() {
    QFETCH(int, leftCol);
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QRect, rect);
    TIdentityGrid grid;
    Setup(grid, 30);
    grid.SetLeftCol(leftCol);
    QCOMPARE(grid.LeftCol(), leftCol);
    const QRect got = grid.CellRect(col, row);
    QCOMPARE(got.isEmpty(), rect.isEmpty());
    if (!rect.isEmpty()) {
        QCOMPARE(got, rect);
        QCOMPARE(grid.MouseCoord(got.center()), (TGridCoord{col, row}));
    }
}

void TstQelCustomGrid::dragColumnBorder_data() {
    QTest::addColumn<bool>("sizing");
    QTest::addColumn<QPoint>("press");
    QTest::addColumn<int>("dx");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("width");
    QTest::newRow("right border of a column") << true << QPoint(127, 5) << 30 << 1 << 94;
    QTest::newRow("just inside the border") << true << QPoint(125, 5) << 10 << 1 << 74;
    QTest::newRow("border left of the next column") << true << QPoint(129, 5) << -20 << 1 << 44;
    QTest::newRow("border of a fixed column") << true << QPoint(63, 5) << 16 << 0 << 80;
    QTest::newRow("narrowed to the minimum") << true << QPoint(127, 5) << -200 << 1
                                             << int(TQelCustomGrid::MinDragWidth);
    QTest::newRow("middle of the header") << true << QPoint(100, 5) << 30 << 1 << 64;
    QTest::newRow("border below the fixed rows") << true << QPoint(127, 40) << 30 << 1 << 64;
    QTest::newRow("sizing switched off") << false << QPoint(127, 5) << 30 << 1 << 64;
}

void TstQelCustomGrid::dragColumnBorder() {
    QFETCH(bool, sizing);
    QFETCH(QPoint, press);
    QFETCH(int, dx);
    QFETCH(int, col);
    QFETCH(int, width);
    TIdentityGrid grid;
    Setup(grid);
    grid.SetOptions(sizing ? TQelCustomGrid::goColSizing : TQelCustomGrid::TGridOptions());
    QSignalSpy resized(&grid, &TQelCustomGrid::columnResized);
    QWidget* vp = grid.viewport();
    SendMove(vp, press, Qt::NoButton);
    const bool resizes = width != 64;
    QCOMPARE(vp->cursor().shape() == Qt::SplitHCursor, resizes);
    QTest::mousePress(vp, Qt::LeftButton, {}, press);
    SendMove(vp, press + QPoint(dx / 2, 0), Qt::LeftButton);
    SendMove(vp, press + QPoint(dx, 0), Qt::LeftButton);
    QTest::mouseRelease(vp, Qt::LeftButton, {}, press + QPoint(dx, 0));
    QCOMPARE(grid.ColWidth(col), width);
    QCOMPARE(grid.Geometry().Cols().SavedSize(col), width);  // a user's width is remembered
    QCOMPARE(resized.count(), resizes ? 1 : 0);
    // A width the user chose survives the layout hiding and showing the column.
    grid.Geometry().Cols().Hide(col);
    QCOMPARE(grid.ColWidth(col), 0);
    grid.Geometry().Cols().Show(col);
    QCOMPARE(grid.ColWidth(col), width);
}

void TstQelCustomGrid::fixedLinesStayWhenScrolled_data() {
    QTest::addColumn<QPoint>("pos");
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    // Two fixed columns [0,128) and rows [0,36); scrolled to column 5 and row 40.
    QTest::newRow("fixed corner") << QPoint(10, 5) << 0 << 0;
    QTest::newRow("second fixed corner cell") << QPoint(70, 20) << 1 << 1;
    QTest::newRow("fixed row over scrolled column") << QPoint(140, 5) << 5 << 0;
    QTest::newRow("fixed column beside scrolled row") << QPoint(10, 40) << 0 << 40;
    QTest::newRow("first scrolled cell") << QPoint(140, 40) << 5 << 40;
    QTest::newRow("next scrolled cell") << QPoint(200, 60) << 6 << 41;
}

void TstQelCustomGrid::fixedLinesStayWhenScrolled() {
    QFETCH(QPoint, pos);
    QFETCH(int, col);
    QFETCH(int, row);
    TIdentityGrid grid;
    grid.SetColCount(50);
    grid.SetRowCount(200);
    grid.SetFixedCols(2);
    grid.SetFixedRows(2);
    grid.resize(400, 300);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    grid.SetLeftCol(5);
    grid.SetTopRow(40);
    QCOMPARE(grid.TopRow(), 40);
    QCOMPARE(grid.MouseCoord(pos), (TGridCoord{col, row}));
    const QImage image = grid.viewport()->grab().toImage();
    QCOMPARE(Pixel(image, pos), TIdentityGrid::Identity(col, row));
    QCOMPARE(grid.CellRect(0, 0), QRect(0, 0, 63, 17));
}

void TstQelCustomGrid::defaultColours() {
    TIdentityGrid grid;
    grid.Paint = false;
    Setup(grid, 4, 4);  // columns end at 256, rows at 72: white beyond
    QImage image = grid.viewport()->grab().toImage();
    QCOMPARE(Pixel(image, QPoint(10, 5)), grid.palette().color(QPalette::Button).rgb());
    QCOMPARE(Pixel(image, QPoint(100, 30)), qRgb(255, 255, 255));
    QCOMPARE(Pixel(image, QPoint(63, 30)), TQelCustomGrid::GridGreyRgb);   // vertical grid line
    QCOMPARE(Pixel(image, QPoint(100, 35)), TQelCustomGrid::GridGreyRgb);  // horizontal grid line
    QCOMPARE(Pixel(image, QPoint(300, 100)), qRgb(255, 255, 255));         // past the last cell
    grid.SetFixedColor(QColor::fromRgb(TQelCustomGrid::SilverRgb));
    image = grid.viewport()->grab().toImage();
    QCOMPARE(Pixel(image, QPoint(100, 5)), TQelCustomGrid::SilverRgb);
}

void TstQelCustomGrid::millionRowsMostlyHidden() {
    const int rows = 1'000'001;
    TIdentityGrid grid;
    grid.SetColCount(20);
    grid.SetRowCount(rows);
    grid.SetFixedCols(1);
    grid.SetFixedRows(1);
    {
        // One row per thousand stays visible, as with collapsed groups.
        TGridUpdateGuard batch(grid.Geometry());
        TGridAxis& axis = grid.Geometry().Rows();
        axis.FillActual(1, rows - 1, 0);
        for (int r = 1; r < rows; r += 1000) axis.Show(r);
    }
    grid.resize(800, 600);
    grid.show();
    QVERIFY(QTest::qWaitForWindowExposed(&grid));
    const int last = rows - 1000;
    QScrollBar* bar = grid.verticalScrollBar();
    QCOMPARE(bar->maximum() + bar->pageStep(), 1000 * grid.DefaultRowHeight());
    bar->setValue(bar->maximum());
    grid.Drawn = 0;
    const QImage image = grid.viewport()->grab().toImage();
    const QRect lastRect = grid.CellRect(1, last);
    QVERIFY(!lastRect.isEmpty());
    QVERIFY(lastRect.bottom() < grid.viewport()->height());
    QCOMPARE(Pixel(image, lastRect.center()), TIdentityGrid::Identity(1, last));
    const int above = grid.Geometry().Rows().PrevVisible(last);
    QCOMPARE(above, last - 1000);
    QCOMPARE(Pixel(image, grid.CellRect(1, above).center()), TIdentityGrid::Identity(1, above));
    // Only the cells in view were painted.
    const int rowsInView = grid.viewport()->height() / grid.DefaultRowHeight() + 2;
    const int colsInView = grid.viewport()->width() / grid.DefaultColWidth() + 2;
    QVERIFY2(grid.Drawn <= rowsInView * colsInView, qPrintable(QString::number(grid.Drawn)));
    // The keyboard reaches the last visible row directly.
    grid.SetCurrent(1, 1);
    bar->setValue(0);
    QTest::keyClick(&grid, Qt::Key_End, Qt::ControlModifier);
    QCOMPARE(grid.Current(), (TGridCoord{19, last}));
    QVERIFY(!grid.CellRect(19, last).isEmpty());
}

void TstQelCustomGrid::keyboardSkipsHiddenLines_data() {
    QTest::addColumn<QPoint>("from");  // column, row
    QTest::addColumn<int>("key");
    QTest::addColumn<int>("modifiers");
    QTest::addColumn<QPoint>("to");
    // Columns 2 and 9, rows 3 and 19 hidden.
    const int none = Qt::NoModifier;
    const int ctrl = Qt::ControlModifier;
    QTest::newRow("down over a hidden row") << QPoint(1, 2) << int(Qt::Key_Down) << none << QPoint(1, 4);
    QTest::newRow("up over a hidden row") << QPoint(1, 4) << int(Qt::Key_Up) << none << QPoint(1, 2);
    QTest::newRow("right over a hidden column") << QPoint(1, 1) << int(Qt::Key_Right) << none << QPoint(3, 1);
    QTest::newRow("left over a hidden column") << QPoint(3, 1) << int(Qt::Key_Left) << none << QPoint(1, 1);
    QTest::newRow("left stops at the fixed column") << QPoint(1, 1) << int(Qt::Key_Left) << none << QPoint(1, 1);
    QTest::newRow("up stops at the fixed row") << QPoint(1, 1) << int(Qt::Key_Up) << none << QPoint(1, 1);
    QTest::newRow("down from a fixed row") << QPoint(1, 0) << int(Qt::Key_Down) << none << QPoint(1, 1);
    QTest::newRow("up from a fixed row") << QPoint(1, 0) << int(Qt::Key_Up) << none << QPoint(1, 1);
    QTest::newRow("right from a fixed column") << QPoint(0, 5) << int(Qt::Key_Right) << none << QPoint(1, 5);
    QTest::newRow("down stops at the last visible row") << QPoint(1, 18) << int(Qt::Key_Down) << none
                                                       << QPoint(1, 18);
    QTest::newRow("end: last visible column") << QPoint(1, 1) << int(Qt::Key_End) << none << QPoint(8, 1);
    QTest::newRow("ctrl+end: last visible cell") << QPoint(1, 1) << int(Qt::Key_End) << ctrl << QPoint(8, 18);
    QTest::newRow("home: first scrolled column") << QPoint(5, 5) << int(Qt::Key_Home) << none << QPoint(1, 5);
    QTest::newRow("ctrl+home: first scrolled cell") << QPoint(5, 5) << int(Qt::Key_Home) << ctrl << QPoint(1, 1);
}

void TstQelCustomGrid::keyboardSkipsHiddenLines() {
    QFETCH(QPoint, from);
    QFETCH(int, key);
    QFETCH(int, modifiers);
    QFETCH(QPoint, to);
    TIdentityGrid grid;
    Setup(grid);
    grid.Geometry().Cols().Hide(9);
    grid.Geometry().Rows().Hide(19);
    grid.SetCurrent(from.x(), from.y());
    QTest::keyClick(&grid, Qt::Key(key), Qt::KeyboardModifiers(modifiers));
    QCOMPARE(grid.Current(), (TGridCoord{to.x(), to.y()}));
    QVERIFY(!grid.CellRect(to.x(), to.y()).isEmpty());  // scrolled into view
}

void TstQelCustomGrid::pageKeysKeepCurrentInView() {
    TIdentityGrid grid;
    Setup(grid, 10, 500);
    grid.SetCurrent(1, 1);
    int previous = 1;
    for (int i = 0; i < 5; ++i) {
        QTest::keyClick(&grid, Qt::Key_PageDown);
        QVERIFY(grid.Row() > previous + 5);
        const QRect rect = grid.CellRect(1, grid.Row());
        QVERIFY(!rect.isEmpty());
        QVERIFY(rect.bottom() < grid.viewport()->height());
        previous = grid.Row();
    }
    for (int i = 0; i < 5; ++i) QTest::keyClick(&grid, Qt::Key_PageUp);
    QCOMPARE(grid.Row(), 1);
    QCOMPARE(grid.verticalScrollBar()->value(), 0);
}

void TstQelCustomGrid::inplaceEditor_data() {
    QTest::addColumn<bool>("option");
    QTest::addColumn<bool>("allowed");
    QTest::addColumn<int>("key");
    QTest::addColumn<bool>("shown");
    QTest::newRow("F2 opens") << true << true << int(Qt::Key_F2) << true;
    QTest::newRow("Enter opens") << true << true << int(Qt::Key_Return) << true;
    QTest::newRow("refused by the cell") << true << false << int(Qt::Key_F2) << false;
    QTest::newRow("editing switched off") << false << true << int(Qt::Key_F2) << false;
}

void TstQelCustomGrid::inplaceEditor() {
    QFETCH(bool, option);
    QFETCH(bool, allowed);
    QFETCH(int, key);
    QFETCH(bool, shown);
    TIdentityGrid grid;
    Setup(grid);
    grid.SetOptions(option ? TQelCustomGrid::goEditing : TQelCustomGrid::TGridOptions());
    grid.CanEdit = allowed;
    grid.SetCurrent(3, 4);
    QTest::keyClick(&grid, Qt::Key(key));
    QCOMPARE(grid.EditorMode(), shown);
    if (!shown) return;
    QLineEdit* editor = grid.InplaceEditor();
    QCOMPARE(editor->text(), QStringLiteral("3,4"));
    QVERIFY(editor->isReadOnly());
    QCOMPARE(editor->geometry(), grid.CellRect(3, 4));
    QTest::keyClick(editor, Qt::Key_X);
    QCOMPARE(editor->text(), QStringLiteral("3,4"));  // typing changes nothing
    QTest::keyClick(editor, Qt::Key_Escape);
    QVERIFY(!grid.EditorMode());
    // Moving to another cell closes the editor.
    QTest::keyClick(&grid, Qt::Key_F2);
    QVERIFY(grid.EditorMode());
    QTest::keyClick(editor, Qt::Key_Down);
    QVERIFY(!grid.EditorMode());
    QCOMPARE(grid.Current(), (TGridCoord{3, 5}));
}

void TstQelCustomGrid::doubleClickAndContextMenu() {
    TIdentityGrid grid;
    Setup(grid);
    QSignalSpy doubled(&grid, &TQelCustomGrid::cellDoubleClicked);
    QSignalSpy menu(&grid, &TQelCustomGrid::contextMenuAtCell);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(130, 60));
    QCOMPARE(grid.Current(), (TGridCoord{3, 4}));
    QCOMPARE(doubled.count(), 1);
    QCOMPARE(doubled.at(0).at(0).toInt(), 3);
    QCOMPARE(doubled.at(0).at(1).toInt(), 4);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(10, 40));  // a fixed cell too
    QCOMPARE(doubled.count(), 2);
    QCOMPARE(doubled.at(1).at(0).toInt(), 0);
    QCOMPARE(doubled.at(1).at(1).toInt(), 2);
    QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, QPoint(390, 290));  // past the last column
    QCOMPARE(doubled.count(), 2);

    const QPoint at(100, 40);
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, at, grid.viewport()->mapToGlobal(at));
    QApplication::sendEvent(grid.viewport(), &byMouse);
    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(0, 0), grid.viewport()->mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(grid.viewport(), &byKey);
    QCOMPARE(menu.count(), 2);
    QCOMPARE(menu.at(0).at(0).toInt(), 1);
    QCOMPARE(menu.at(0).at(1).toInt(), 2);
    QCOMPARE(menu.at(1).at(0).toInt(), 0);  // the current cell
    QCOMPARE(menu.at(1).at(1).toInt(), 2);
}

void TstQelCustomGrid::externalGeometry() {
    TGridGeometry geometry;
    geometry.Cols().SetCount(3);
    geometry.Rows().SetCount(3);
    {
        TIdentityGrid grid(&geometry);
        grid.resize(400, 300);
        grid.show();
        QVERIFY(QTest::qWaitForWindowExposed(&grid));
        QCOMPARE(grid.verticalScrollBar()->maximum(), 0);
        geometry.Rows().SetCount(1000);  // the owner of the geometry grows it
        QVERIFY(grid.verticalScrollBar()->maximum() > 0);
        grid.SetCurrent(2, 900);
        geometry.Rows().SetCount(10);  // the current cell follows a shrinking grid
        QCOMPARE(grid.Current(), (TGridCoord{2, 9}));
        grid.SetColWidth(1, 100);
        QCOMPARE(geometry.Cols().SavedSize(1), 100);
        grid.SetGeometry(nullptr);
        QCOMPARE(grid.ColCount(), 0);
        QCOMPARE(grid.Current(), (TGridCoord{-1, -1}));
    }
    geometry.Rows().SetCount(5);  // no listener of the gone grid is left behind
    QCOMPARE(geometry.Rows().Count(), 5);
}

QTEST_MAIN(TstQelCustomGrid)
#include "tst_QelCustomGrid.moc"
