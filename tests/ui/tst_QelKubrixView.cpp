// The pivot grid widget under the offscreen platform, over a real in-memory dataset and the real
// model: painting, double-click toggling, the context menu and its commands, the hint, the request
// signals and a user's column width across collapsing.

#include "ui/QelKubrixView.h"

#include "pivot/Kubrix.h"
#include "pivot/PivotFixture.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QSignalSpy>
#include <QtTest>

#include <memory>
#include <string>
#include <vector>

using namespace kubrix;
using kubrix::testing::Column;
using kubrix::testing::D;
using kubrix::testing::I;
using kubrix::testing::S;

namespace {

// Six sales: two regions, five cities, two years.
std::unique_ptr<testing::Pivot> Sales() {
    return std::make_unique<testing::Pivot>(
        std::vector<Column>{{"Region", ftString, 20}, {"City", ftString, 20}, {"Year", ftInteger}, {"Qty", ftFloat}},
        std::vector<std::vector<Variant>>{{S("North"), S("Aa"), I(2020), D(1)},
                                          {S("North"), S("Bb"), I(2020), D(2)},
                                          {S("North"), S("Bb"), I(2021), D(3)},
                                          {S("South"), S("Cc"), I(2020), D(4)},
                                          {S("South"), S("Dd"), I(2021), D(5)},
                                          {S("South"), S("Ee"), I(2021), D(6)}});
}

// The two layouts used below.
//  Rows: vertical Region, City; horizontal Year; data Qty. Columns 0 numbers, 1 Region, 2 City, 3 2020,
//  4 2021, 5 total, 6 spare. Rows 0 numbers, 1 captions, 2 years and vertical captions, 3 Aa, 4 Bb,
//  5 North, 6 Cc, 7 Dd, 8 Ee, 9 South, 10 total.
void ConfigRows(testing::Pivot& p) { p.Config({"Region", "City"}, {"Year"}, {"Qty"}); }
//  Cols: vertical City; horizontal Region, Year. Columns 0, 1 City, 2 North 2020, 3 North 2021,
//  4 North, 5 South 2020, 6 South 2021, 7 South, 8 total, 9-10 spare. Rows 0, 1 captions, 2 regions,
//  3 years, 4.. cities.
void ConfigCols(testing::Pivot& p) { p.Config({"City"}, {"Region", "Year"}, {"Qty"}); }

// An owner of the model that records what the view's input asked of it.
struct TRequests : IKubrixListener {
    explicit TRequests(TQelKubrix& grid) : Grid(grid) { Grid.AddListener(this); }
    ~TRequests() { Grid.RemoveListener(this); }
    void KubrixShown(TQelKubrix&) override { ++Shown; }
    void KubrixEditGrid(TQelKubrix&) override { ++Editors; }
    void KubrixValueFilter(TQelKubrix&, TQelOLAPField& field, int col, int row) override {
        Filters << QString("%1 %2 %3").arg(QString::fromStdString(field.FieldName)).arg(col).arg(row);
    }
    void KubrixDrillDown(TQelKubrix&, const std::optional<std::vector<std::int32_t>>& records) override {
        DrillDowns.push_back(records);
    }
    TQelKubrix& Grid;
    int Shown = 0, Editors = 0;
    QStringList Filters;
    std::vector<std::optional<std::vector<std::int32_t>>> DrillDowns;
};

struct TViewFixture {
    explicit TViewFixture(void (*config)(testing::Pivot&)) : pivot(Sales()) {
        config(*pivot);
        view = std::make_unique<TQelKubrixView>(pivot->grid);
        view->resize(640, 320);
        view->show();
        if (!QTest::qWaitForWindowExposed(view.get())) qWarning("view not exposed");
    }
    ~TViewFixture() {
        if (view) view->PopupMenu()->hide();
    }
    QWidget* vp() const { return view->viewport(); }
    QPoint Center(int col, int row) const { return view->CellRect(col, row).center(); }
    std::unique_ptr<testing::Pivot> pivot;
    std::unique_ptr<TQelKubrixView> view;
};

// Lines of an axis from first on that are shown, as "3 6 10".
QString ShownLines(const TGridAxis& axis, int first) {
    QStringList out;
    for (int i = first; i < axis.Count(); ++i)
        if (axis.Visible(i)) out << QString::number(i);
    return out.join(' ');
}

QStringList VisibleMenu(const QMenu* menu) {
    QStringList out;
    for (const QAction* a : menu->actions())
        if (a->isVisible()) out << (a->isSeparator() ? QStringLiteral("-") : a->text());
    return out;
}

QRgb Pixel(const QImage& image, QPoint p) { return image.pixel(p) | 0xFF000000u; }

QString OutputDir() {
    const QByteArray dir = qgetenv("KUBRIX_BUILD_DIR");
    return dir.isEmpty() ? QDir::tempPath() : QString::fromLocal8Bit(dir);
}

}  // namespace

class TstQelKubrixView : public QObject {
    Q_OBJECT

private slots:
    void rendersCells_data();
    void rendersCells();
    void doubleClickToggles_data();
    void doubleClickToggles();
    void menuEntries_data();
    void menuEntries();
    void menuCommands_data();
    void menuCommands();
    void hintRule_data();
    void hintRule();
    void requestsAndCursor();
    void userWidthSurvivesCollapse();
    void repaintNotification();
    void headerFit_data();
    void headerFit();
};

// ----------------------------------------------------------------------------------------------------
// Painting: one render of a small pivot, saved as a PNG; each row compares one cell with the same text
// drawn the way the cell must look (font, colour, italic, placement) on the background it must have.

struct TCellLook {
    int col, row;
    const char* text;  // "" for none
    QRgb back;
    QRgb ink;          // 0: the palette's text colour
    bool italic;
    Qt::Alignment align;
    bool button;       // a filter button at the top right
    int dy = 2;        // the text's top below the cell's top
};

void TstQelKubrixView::rendersCells_data() {
    QTest::addColumn<int>("index");
    const char* names[] = {"corner is plain silver", "row number", "column number", "data caption",
                           "vertical caption with button", "horizontal caption with button",
                           "group value on its first line", "repeated group value is silver",
                           "leaf value (plain)", "subtotal line: group value italic", "subtotal line: deeper column empty",
                           "sum right-aligned", "cell without records empty", "total label", "grand total"};
    for (int i = 0; i < int(std::size(names)); ++i) QTest::newRow(names[i]) << i;
}

void TstQelKubrixView::rendersCells() {
    QFETCH(int, index);
    const QRgb silver = TQelKubrixView::SilverRgb, grey = TQelKubrixView::GrayTextRgb, white = 0xFFFFFFFF;
    const TCellLook looks[] = {
        {0, 0, "", silver, 0, false, Qt::AlignLeft, false},
        {0, 3, "3", grey, white, false, Qt::AlignHCenter, false, 1},
        {4, 0, "4", grey, white, false, Qt::AlignHCenter, false, 1},
        {1, 1, "Qty", silver, 0, false, Qt::AlignLeft, false},
        {1, 2, "Region", silver, 0, false, Qt::AlignLeft, true},
        {3, 1, "Year", silver, 0, false, Qt::AlignLeft, true},
        {1, 3, "North", white, 0, false, Qt::AlignLeft, false},
        {1, 4, "North", white, silver, false, Qt::AlignLeft, false},
        {2, 4, "Bb", white, 0, false, Qt::AlignLeft, false},
        {1, 5, "North", white, 0, true, Qt::AlignLeft, false},
        {2, 5, "", white, 0, false, Qt::AlignLeft, false},
        {4, 4, "3,00", white, 0, false, Qt::AlignRight, false},
        {4, 3, "", white, 0, false, Qt::AlignLeft, false},
        {1, 10, "Итог", white, 0, false, Qt::AlignLeft, false},
        {5, 10, "21,00", white, 0, false, Qt::AlignRight, false},
    };
    const TCellLook& look = looks[index];
    TViewFixture f(ConfigRows);
    f.view->SetCurrent(6, 10);  // keep the focus frame off the cells checked
    QImage image(f.vp()->size(), QImage::Format_RGB32);
    f.vp()->render(&image);
    const QString path = OutputDir() + QStringLiteral("/kubrix_view_render.png");
    if (index == 0) {
        QVERIFY(image.save(path));
        qInfo("rendered pivot: %s", qPrintable(path));
    }

    const QRect rect = f.view->CellRect(look.col, look.row);
    QVERIFY(!rect.isEmpty());
    // Sums follow the decimal separator of the format settings: compare them with either.
    const QString modelText = QString::fromStdString(f.pivot->grid.GetEditText(look.col, look.row));
    QCOMPARE(QString(modelText).replace('.', ','), QString::fromUtf8(look.text));

    QImage expected(rect.size(), QImage::Format_RGB32);
    expected.fill(look.back);
    {
        QPainter p(&expected);
        QFont font = f.view->font();
        font.setItalic(look.italic);
        p.setFont(font);
        p.setPen(look.ink ? QColor::fromRgb(look.ink) : f.view->palette().color(QPalette::Text));
        const QFontMetrics m(font);
        const int w = m.horizontalAdvance(modelText);
        int x = 1;
        if (look.align == Qt::AlignRight) x = rect.width() - w - 3;
        if (look.align == Qt::AlignHCenter) x = rect.width() / 2 - w / 2;
        if (!modelText.isEmpty()) p.drawText(QPoint(x, look.dy + m.ascent()), modelText);
        if (look.button) p.fillRect(QRect(rect.width() - 11, 1, 10, 10), QColor::fromRgb(grey));
    }
    const QImage actual = image.copy(rect);
    if (actual != expected) {
        const QString base = OutputDir() + QStringLiteral("/kubrix_view_cell_%1").arg(index);
        actual.save(base + QStringLiteral("_actual.png"));
        expected.save(base + QStringLiteral("_expected.png"));
        QFAIL(qPrintable(QStringLiteral("cell (%1, %2) differs; see %3_*.png").arg(look.col).arg(look.row).arg(base)));
    }
    // The checks above would pass for a wrong style if text were missing: make sure it is drawn.
    if (!modelText.isEmpty()) {
        int inked = 0;
        for (int y = 0; y < actual.height(); ++y)
            for (int x = 0; x < actual.width(); ++x) inked += Pixel(actual, {x, y}) != (look.back | 0xFF000000u);
        QVERIFY(inked > 0);
    }
}

// ----------------------------------------------------------------------------------------------------
// Double-click on header values.

struct TToggleCase {
    void (*config)(testing::Pivot&);
    std::vector<QPoint> clicks;  // (col, row) double-clicked in turn
    bool rows;                   // check rows (else columns)
    const char* shown;           // data lines shown afterwards, from the first data line on
};

void TstQelKubrixView::doubleClickToggles_data() {
    QTest::addColumn<int>("index");
    const char* names[] = {"vertical group collapses to its first line", "vertical group expands again",
                           "value under a collapsed group does nothing", "horizontal group collapses",
                           "horizontal group expands again", "caption cell toggles nothing"};
    for (int i = 0; i < int(std::size(names)); ++i) QTest::newRow(names[i]) << i;
}

void TstQelKubrixView::doubleClickToggles() {
    QFETCH(int, index);
    const TToggleCase cases[] = {
        {ConfigRows, {{1, 3}}, true, "3 6 7 8 9 10"},
        {ConfigRows, {{1, 3}, {1, 3}}, true, "3 4 5 6 7 8 9 10"},
        {ConfigRows, {{1, 3}, {2, 3}}, true, "3 6 7 8 9 10"},
        {ConfigCols, {{2, 2}}, false, "2 5 6 7 8"},
        {ConfigCols, {{2, 2}, {2, 2}}, false, "2 3 4 5 6 7 8"},
        {ConfigRows, {{1, 2}}, true, "3 4 5 6 7 8 9 10"},
    };
    const TToggleCase& c = cases[index];
    TViewFixture f(c.config);
    const TKubrixDims dims = f.pivot->grid.Dims();
    const int updates = f.pivot->grid.Layouts;
    TRequests requests(f.pivot->grid);
    for (const QPoint& cell : c.clicks) {
        QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, f.Center(cell.x(), cell.y()));
        QCOMPARE(f.view->Current(), (TGridCoord{cell.x(), cell.y()}));
    }
    if (c.rows)
        QCOMPARE(ShownLines(f.view->Geometry().Rows(), dims.FixedRows), QString::fromUtf8(c.shown));
    else
        QCOMPARE(ShownLines(f.view->Geometry().Cols(), dims.FixedCols), QString::fromUtf8(c.shown));
    // Toggling re-lays only the affected lines: no full grid update, and no drill-down request.
    QCOMPARE(f.pivot->grid.Layouts, updates);
    QCOMPARE(int(requests.DrillDowns.size()), 0);
}

// ----------------------------------------------------------------------------------------------------
// The context menu.

void TstQelKubrixView::menuEntries_data() {
    const QStringList caption = {"Свернуть все", "Раскрыть все", "-", "Упорядочить по возрастанию",
                                 "Упорядочить по убыванию", "-", "Показать итоги", "Скрыть итоги"};
    const QStringList data = {"Упорядочить по возрастанию - вертикально", "Упорядочить по убыванию - вертикально", "-",
                              "Упорядочить по возрастанию - горизонтально",
                              "Упорядочить по убыванию - горизонтально"};
    QTest::addColumn<int>("col");
    QTest::addColumn<int>("row");
    QTest::addColumn<QStringList>("entries");
    QTest::newRow("caption of the second vertical field") << 2 << 2 << caption;
    QTest::newRow("caption of the horizontal field") << 3 << 1 << caption;
    QTest::newRow("data cell") << 3 << 4 << data;
    QTest::newRow("total cell") << 5 << 10 << data;
    QTest::newRow("row number: no menu") << 0 << 4 << QStringList();
    QTest::newRow("data field caption: no menu") << 1 << 1 << QStringList();
    QTest::newRow("vertical value: no menu") << 1 << 3 << QStringList();
}

void TstQelKubrixView::menuEntries() {
    QFETCH(int, col);
    QFETCH(int, row);
    QFETCH(QStringList, entries);
    TViewFixture f(ConfigRows);
    QTest::mouseClick(f.vp(), Qt::RightButton, {}, f.Center(col, row));
    QCOMPARE(f.view->PopupMenu()->isVisible(), !entries.isEmpty());
    if (entries.isEmpty()) return;
    QCOMPARE(VisibleMenu(f.view->PopupMenu()), entries);
    QCOMPARE(f.view->MenuCol(), col);
    QCOMPARE(f.view->MenuRow(), row);
}

struct TCommandStep {
    TKubrixCommand command;
    int col, row;
};

struct TCommandCase {
    std::vector<TCommandStep> steps;
    int probeCol, probeRow;  // a cell whose text shows the effect
    const char* probeText;
    const char* shownRows;   // data rows shown afterwards
    bool vOrdered, gOrdered; // orderings by data values kept afterwards
};

void TstQelKubrixView::menuCommands_data() {
    QTest::addColumn<int>("index");
    const char* names[] = {"collapse all of the first field", "expand all again", "hide totals of the first field",
                           "show totals again", "sort down", "sort up again", "sort by column sums, descending",
                           "sort down on the field drops the data order", "sort by column sums, ascending again",
                           "sort by row sums, descending",
                           "sort by row sums, ascending"};
    for (int i = 0; i < int(std::size(names)); ++i) QTest::newRow(names[i]) << i;
}

void TstQelKubrixView::menuCommands() {
    QFETCH(int, index);
    using V = TKubrixCommand;
    const char* all = "3 4 5 6 7 8 9 10";
    const TCommandCase cases[] = {
        {{{V::CollapseAll, 1, 2}}, 1, 3, "North", "3 6 10", false, false},
        {{{V::CollapseAll, 1, 2}, {V::ExpandAll, 1, 2}}, 1, 3, "North", all, false, false},
        {{{V::HideTotal, 1, 2}}, 1, 3, "North", "3 4 6 7 8 10", false, false},
        {{{V::HideTotal, 1, 2}, {V::ShowTotal, 1, 2}}, 1, 3, "North", all, false, false},
        {{{V::SortDown, 1, 2}}, 1, 3, "South", all, false, false},
        {{{V::SortDown, 1, 2}, {V::SortUp, 1, 2}}, 1, 3, "North", all, false, false},
        // Totals per region: North 6, South 15.
        {{{V::SortDownDataV, 5, 3}}, 1, 3, "South", all, true, false},
        {{{V::SortDownDataV, 5, 3}, {V::SortDown, 1, 2}}, 1, 3, "South", all, false, false},
        {{{V::SortDownDataV, 5, 3}, {V::SortUpDataV, 5, 9}}, 1, 3, "North", all, true, false},
        // Totals per year: 2020 7, 2021 14.
        {{{V::SortDownDataG, 3, 10}}, 3, 2, "2021", all, false, true},
        {{{V::SortUpDataG, 3, 10}}, 3, 2, "2020", all, false, true},
    };
    const TCommandCase& c = cases[index];
    TViewFixture f(ConfigRows);
    for (const TCommandStep& step : c.steps) {
        QTest::mouseClick(f.vp(), Qt::RightButton, {}, f.Center(step.col, step.row));
        QVERIFY(f.view->PopupMenu()->isVisible());
        QAction* action = f.view->MenuAction(step.command);
        QVERIFY(action && action->isVisible());
        f.view->PopupMenu()->hide();
        action->trigger();
    }
    QCOMPARE(QString::fromStdString(f.pivot->grid.GetEditText(c.probeCol, c.probeRow)), QString::fromUtf8(c.probeText));
    QCOMPARE(ShownLines(f.view->Geometry().Rows(), 3), QString::fromUtf8(c.shownRows));
    QCOMPARE(f.pivot->grid.VDataOrderBy.IsArray(), c.vOrdered);
    QCOMPARE(f.pivot->grid.GDataOrderBy.IsArray(), c.gOrdered);
}

// ----------------------------------------------------------------------------------------------------
// The hint: only for texts wider than their column.

void TstQelKubrixView::hintRule_data() {
    QTest::addColumn<QString>("value");  // the cell's value, found in the vertical header column
    QTest::addColumn<int>("width");      // the column's width
    QTest::addColumn<QString>("hint");
    const QString longText = QString(900, QChar(0x0436));
    QTest::newRow("wider than the column") << "Длинное название города" << 30 << "Длинное название города";
    QTest::newRow("fits the column") << "Длинное название города" << 600 << "";
    QTest::newRow("blanks around are trimmed") << "  Ёлкино \t" << 20 << "Ёлкино";
    QTest::newRow("short text fits") << "Ab" << 64 << "";
    QTest::newRow("long text is cut") << longText << 30 << QString(800, QChar(0x0436)) + "...";
}

void TstQelKubrixView::hintRule() {
    QFETCH(QString, value);
    QFETCH(int, width);
    QFETCH(QString, hint);
    testing::Pivot p({{"Name", ftString, 2000}, {"Qty", ftFloat}},
                     {{S(value.toUtf8().constData()), D(1)}, {S("other"), D(2)}});
    p.Config({"Name"}, {}, {"Qty"});
    TQelKubrixView view(p.grid);
    view.resize(640, 240);
    view.show();
    QVERIFY(QTest::qWaitForWindowExposed(&view));
    const int col = 1;
    int row = -1;
    for (int r = 0; r < view.RowCount() && row < 0; ++r)
        if (QString::fromStdString(p.grid.GetEditText(col, r)).trimmed() == value.trimmed()) row = r;
    QVERIFY(row >= 0);
    view.SetColWidth(col, width);
    QCOMPARE(view.HintFor(col, row), hint);
    // Empty cells and cells outside the grid never hint.
    QCOMPARE(view.HintFor(-1, row), QString());
    for (int r = 0; r < view.RowCount(); ++r)
        if (p.grid.GetEditText(col, r).empty()) QCOMPARE(view.HintFor(col, r), QString());

    // Moving onto the cell shows the hint; leaving the grid hides it.
    const QPoint at = view.CellRect(col, row).center();
    QMouseEvent move(QEvent::MouseMove, QPointF(at), view.viewport()->mapToGlobal(QPointF(at)), Qt::NoButton,
                     Qt::NoButton, Qt::NoModifier);
    QApplication::sendEvent(view.viewport(), &move);
    QCOMPARE(view.Hint(), hint);
    QEvent leave(QEvent::Leave);
    QApplication::sendEvent(view.viewport(), &leave);
    QCOMPARE(view.Hint(), QString());
}

// ----------------------------------------------------------------------------------------------------
// Requests for the value filter, the report editor and the drill-down, and the cursor over them.

void TstQelKubrixView::requestsAndCursor() {
    TViewFixture f(ConfigRows);
    TRequests requests(f.pivot->grid);
    auto moveTo = [&](QPoint at) {
        QMouseEvent move(QEvent::MouseMove, QPointF(at), f.vp()->mapToGlobal(QPointF(at)), Qt::NoButton, Qt::NoButton,
                         Qt::NoModifier);
        QApplication::sendEvent(f.vp(), &move);
        return f.vp()->cursor().shape();
    };

    // The filter button of the second vertical field: its edges belong to it.
    const QRect cityCaption = f.view->CellRect(2, 2);
    const QRect button = TQelKubrixView::BtnRect(cityCaption);
    QCOMPARE(button, QRect(cityCaption.left() + cityCaption.width() - 11, cityCaption.top() + 1, 10, 10));
    QCOMPARE(moveTo(button.topLeft()), Qt::PointingHandCursor);
    QCOMPARE(moveTo(button.bottomRight()), Qt::PointingHandCursor);
    QCOMPARE(moveTo(cityCaption.bottomLeft() + QPoint(8, 0)), Qt::ArrowCursor);
    QCOMPARE(moveTo(f.Center(0, 0)), Qt::PointingHandCursor);
    QCOMPARE(moveTo(f.Center(3, 4)), Qt::ArrowCursor);

    f.view->SetCurrent(4, 4);
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, button.center());
    QCOMPARE(requests.Filters, QStringList({"City 2 2"}));  // the second vertical field
    QCOMPARE(f.view->Current(), (TGridCoord{4, 4}));  // the grid did not see the click
    // The horizontal caption's button names the first horizontal field.
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, TQelKubrixView::BtnRect(f.view->CellRect(3, 1)).center());
    QCOMPARE(requests.Filters, QStringList({"City 2 2", "Year 3 1"}));
    // Elsewhere in the caption cell the click is the grid's.
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, cityCaption.bottomLeft() + QPoint(2, 0));
    QCOMPARE(requests.Filters.size(), 2);
    QCOMPARE(f.view->Current(), (TGridCoord{2, 2}));

    // The top-left cell asks for the report editor with either button, unless editing is off.
    QTest::mouseClick(f.vp(), Qt::RightButton, {}, f.Center(0, 0));
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, f.Center(0, 0));
    QCOMPARE(requests.Editors, 2);
    f.pivot->grid.CanEditGrid = false;
    QTest::mouseClick(f.vp(), Qt::LeftButton, {}, f.Center(0, 0));
    QCOMPARE(requests.Editors, 2);

    // A data cell and a total cell ask for the drill-down with their records; header cells do not.
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, f.Center(4, 4));
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, f.Center(5, 10));
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, f.Center(0, 5));
    QCOMPARE(int(requests.DrillDowns.size()), 2);
    QCOMPARE(requests.DrillDowns[0], f.pivot->grid.DrillDownRecords(4, 4));
    QVERIFY(requests.DrillDowns[0].has_value());
    QCOMPARE(requests.DrillDowns[1], f.pivot->grid.DrillDownRecords(5, 10));

    // The in-place editor opens on any cell but the top-left one and shows the cell's text.
    f.view->SetCurrent(4, 4);
    f.view->ShowEditor();
    QVERIFY(f.view->EditorMode());
    QCOMPARE(f.view->InplaceEditor()->text(), QString::fromStdString(f.pivot->grid.GetEditText(4, 4)));
    f.view->HideEditor();
    f.view->SetCurrent(0, 0);
    f.view->ShowEditor();
    QVERIFY(!f.view->EditorMode());
}

// ----------------------------------------------------------------------------------------------------
// A width the user dragged survives hiding the column by collapsing its group and showing it again.

void TstQelKubrixView::userWidthSurvivesCollapse() {
    TViewFixture f(ConfigCols);
    const int col = 3;  // North 2021
    const QRect r = f.view->CellRect(col, 0);
    const QPoint border(r.left() + f.view->ColWidth(col) - 1, r.center().y());
    auto send = [&](QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent e(type, QPointF(at), f.vp()->mapToGlobal(QPointF(at)), button, buttons, Qt::NoModifier);
        QApplication::sendEvent(f.vp(), &e);
    };
    send(QEvent::MouseMove, border, Qt::NoButton, Qt::NoButton);
    send(QEvent::MouseButtonPress, border, Qt::LeftButton, Qt::LeftButton);
    send(QEvent::MouseMove, border + QPoint(40, 0), Qt::NoButton, Qt::LeftButton);
    send(QEvent::MouseButtonRelease, border + QPoint(40, 0), Qt::LeftButton, Qt::NoButton);
    const int width = TGridGeometry::StdColWidth + 40;
    QCOMPARE(f.view->ColWidth(col), width);

    const QPoint north = f.Center(2, 2);
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, north);
    QCOMPARE(f.view->ColWidth(col), 0);
    QCOMPARE(f.view->Geometry().Cols().SavedSize(col), width);
    QTest::mouseDClick(f.vp(), Qt::LeftButton, {}, f.Center(2, 2));
    QCOMPARE(f.view->ColWidth(col), width);
    // A full update of the grid keeps it as well.
    f.pivot->grid.UpdateGrid();
    QCOMPARE(f.view->ColWidth(col), width);
}

// ----------------------------------------------------------------------------------------------------
// The model tells its view when it shows a new state, and forgets the view when the view goes.

namespace {
class PaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Paints;
        return false;
    }
};
}  // namespace

void TstQelKubrixView::repaintNotification() {
    TViewFixture f(ConfigRows);
    TRequests requests(f.pivot->grid);
    PaintCounter counter;
    f.vp()->installEventFilter(&counter);
    QApplication::processEvents();
    counter.Paints = 0;
    // Descending order moves texts without touching a single row height or column width.
    f.pivot->grid.XAxis.Field(0).OLAPField->SetDescSort(true);
    QApplication::processEvents();
    QVERIFY(counter.Paints > 0);
    QCOMPARE(QString::fromStdString(f.pivot->grid.GetEditText(1, 3)), QString("South"));
    f.vp()->removeEventFilter(&counter);

    QCOMPARE(requests.Shown, 1);

    // Without the view the model lays out and tells the listeners still there.
    f.view.reset();
    f.pivot->grid.UpdateGrid();
    QCOMPARE(requests.Shown, 2);
}

// ----------------------------------------------------------------------------------------------------
// Shown columns widen to their texts whenever the model shows a new state, up to the limit, leaving
// the remembered widths (what the saved state keeps) and the user's widths alone.

void TstQelKubrixView::headerFit_data() {
    QTest::addColumn<int>("limit");
    QTest::addColumn<int>("fontPx");
    QTest::newRow("off: default widths") << 0 << 40;
    QTest::newRow("wide limit: every text fits") << 1000 << 40;
    QTest::newRow("narrow limit caps the width") << 80 << 40;
    QTest::newRow("short texts keep the default") << 1000 << 6;
}

void TstQelKubrixView::headerFit() {
    QFETCH(int, limit);
    QFETCH(int, fontPx);
    TViewFixture f(ConfigRows);
    QFont font = f.view->font();
    font.setPixelSize(fontPx);
    f.view->setFont(font);
    f.view->SetColumnFitLimit(limit);
    const TGridAxis& cols = f.view->Geometry().Cols();
    const int deflt = TGridGeometry::StdColWidth;
    for (int col = 0; col < cols.Count(); ++col) {
        if (!cols.Visible(col)) continue;
        int widest = 0;
        for (int row = 0; row < f.view->RowCount(); ++row) {
            const TKubrixCell cell = f.pivot->grid.CellInfo(col, row);
            QFont cellFont = font;
            cellFont.setBold(cell.Bold);
            cellFont.setItalic(cell.Italic);
            widest = std::max(widest, QFontMetrics(cellFont).horizontalAdvance(QString::fromStdString(cell.Text)));
        }
        const QString where = QString("column %1").arg(col);
        if (limit == 0) QVERIFY2(cols.Size(col) == deflt, qPrintable(where));
        else if (widest + 4 <= deflt) QVERIFY2(cols.Size(col) == deflt, qPrintable(where));
        else if (widest >= limit) QVERIFY2(cols.Size(col) == limit, qPrintable(where));
        else QVERIFY2(cols.Size(col) > widest && cols.Size(col) <= limit, qPrintable(where));
        QVERIFY2(cols.SavedSize(col) == deflt, qPrintable(where));
    }
    // A full layout shows the remembered widths; the fitting follows it.
    const int before = cols.Size(1);
    f.pivot->grid.UpdateGrid();
    QCOMPARE(cols.Size(1), before);
    // Hiding fitted columns (collapsing North) leaves their remembered widths alone.
    ConfigCols(*f.pivot);
    QCOMPARE(cols.FixedCount(), 2);
    f.pivot->grid.RevertExpandedStateY(2, 2, true);
    QCOMPARE(cols.Size(3), 0);  // North 2021
    for (int col = 0; col < cols.Count(); ++col) QCOMPARE(cols.SavedSize(col), deflt);
    // A width the user chose is not fitted.
    f.view->SetColWidth(1, 30);
    f.pivot->grid.UpdateGrid();
    QCOMPARE(cols.Size(1), 30);
}

QTEST_MAIN(TstQelKubrixView)
#include "tst_QelKubrixView.moc"
