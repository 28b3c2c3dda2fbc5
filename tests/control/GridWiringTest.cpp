// The control's pivot grid widget over the control's model: the top-left cell opens the report
// editor whose "Применить" lays the pivot out again, the grid repaints when a state is put, and the
// header columns are wide enough for the names they show. Offscreen, against a real SQLite database.

#include <gtest/gtest.h>

#include <QApplication>
#include <QListWidget>
#include <QPushButton>
#include <QRegularExpression>
#include <QLineEdit>
#include <QToolButton>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>

#include "ControlTestEnv.h"
#include "pivot/Kubrix.h"
#include "support/UiServices.h"
#include "ui/FrmKubrixEditor.h"
#include "ui/FrmOLAPValuesList.h"
#include "ui/QelDBGrid.h"
#include "ui/QelKubrixView.h"

namespace kubrix::test {
namespace {

class GridWiring : public ::testing::Test {
protected:
    void SetUp() override {
        FillSales(db.ConnStr());
        form = new TKubrixX();
        control = ComPtr<IKubrixX>(form);
        form->resize(682, 484);
        form->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(form));
        ASSERT_EQ(control->Connect(W(db.ConnStr())), S_OK) << LastErrorDescription();
        ASSERT_EQ(control->SetSQL(W(kQuery)), S_OK) << LastErrorDescription();
        ASSERT_EQ(control->Config(W("region;manager;"), W("year;"), W("amount;"), W("X"), 0), S_OK)
            << LastErrorDescription();
    }
    void TearDown() override {
        control = nullptr;
        form = nullptr;
    }

    TQelKubrixView& View() const { return *form->ogData(); }
    QPoint CornerCenter() const { return View().CellRect(0, 0).center(); }

    static constexpr const char* kQuery = "SELECT region, manager, year, amount FROM sales";
    TempSqliteDb db;
    TKubrixX* form = nullptr;
    ComPtr<IKubrixX> control;
};

// Counts the new states the grid model shows.
class ShownCounter : public IKubrixListener {
public:
    explicit ShownCounter(TQelKubrix& grid) : grid_(grid) { grid_.AddListener(this); }
    ~ShownCounter() { grid_.RemoveListener(this); }
    void KubrixShown(TQelKubrix&) override { ++Count; }
    int Count = 0;

private:
    TQelKubrix& grid_;
};

// Runs action on a modal window of type W once it shows; Seen tells whether it ever did.
// The window is modal, so the click that opens it returns only after action has closed it.
template <class W>
class OnModal {
public:
    explicit OnModal(std::function<void(W&)> action) : action_(std::move(action)) {
        timer_.setInterval(0);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* window = qobject_cast<W*>(QApplication::activeModalWidget());
            if (!window || !window->isVisible()) return;
            timer_.stop();
            seen_ = true;
            pos_ = window->pos();
            action_(*window);
        });
        timer_.start();
    }
    bool Seen() const { return seen_; }
    QPoint Pos() const { return pos_; }

private:
    std::function<void(W&)> action_;
    QTimer timer_;
    bool seen_ = false;
    QPoint pos_;
};
using OnEditor = OnModal<TfrmKubrixEditor>;
using OnValues = OnModal<TfrmOLAPValuesList>;

TEST_F(GridWiring, TopLeftCellOpensTheEditorAndApplyLaysOut) {
    struct Case {
        const char* name;
        Qt::MouseButton button;
        bool canEdit;
        const char* newQuery;  // run while the editor is open (nullptr: none)
        bool apply;            // "Применить", else "Отмена"
        bool wantEditor;
        bool wantConfig;       // the editor's layout reached the grid's configuration
        const char* wantMessage;  // the error shown while the editor stays open ("" for none)
    };
    const Case cases[] = {
        {"left click, apply", Qt::LeftButton, true, nullptr, true, true, true, ""},
        {"right click opens it too", Qt::RightButton, true, nullptr, true, true, true, ""},
        {"cancel changes nothing", Qt::LeftButton, true, nullptr, false, true, false, ""},
        {"refused layout is shown, the editor stays open", Qt::LeftButton, true,
         "SELECT region, year, amount FROM sales", true, true, true, "Field not found: manager"},
        {"not editable: no editor", Qt::LeftButton, false, nullptr, true, false, false, ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(control->SetSQL(W(kQuery)), S_OK);
        ASSERT_EQ(control->Config(W("region;manager;"), W("year;"), W("amount;"), W("X"), 0), S_OK);
        form->Grid().CanEditGrid = c.canEdit;
        RecordingUiServices ui;
        UiServicesScope scope(ui);
        ShownCounter shown(form->Grid());
        int afterQuery = 0;
        bool stayedOpen = false;
        OnEditor editor([&](TfrmKubrixEditor& dlg) {
            if (c.newQuery) {
                ASSERT_EQ(control->SetSQL(W(c.newQuery)), S_OK) << LastErrorDescription();
                afterQuery = shown.Count;
            }
            // The editor shows the layout it was opened on.
            EXPECT_EQ(dlg.List(elXFields)->count(), 2);
            QTest::mouseClick(c.apply ? dlg.OkButton() : dlg.CancelButton(), Qt::LeftButton);
            stayedOpen = dlg.isVisible();
            if (stayedOpen) QTest::mouseClick(dlg.CancelButton(), Qt::LeftButton);
        });
        QTest::mouseClick(View().viewport(), c.button, {}, CornerCenter());
        EXPECT_EQ(editor.Seen(), c.wantEditor);
        if (!editor.Seen()) QApplication::processEvents();  // let the timer go before it is freed
        if (c.wantEditor) {
            // At the top-left corner of the top-left cell.
            EXPECT_EQ(editor.Pos(), View().viewport()->mapToGlobal(View().CellRect(0, 0).topLeft()));
        }
        EXPECT_EQ(shown.Count > afterQuery, c.wantConfig);
        EXPECT_EQ(stayedOpen, *c.wantMessage != '\0');
        if (*c.wantMessage) {
            ASSERT_EQ(ui.Messages.size(), 1u);
            EXPECT_EQ(ui.Messages[0].Text.rfind(c.wantMessage, 0), 0u) << ui.Messages[0].Text;
        } else {
            EXPECT_TRUE(ui.Messages.empty());
        }
        if (c.wantConfig && !*c.wantMessage) {
            EXPECT_EQ(form->Grid().XAxis.Count(), 2);
            EXPECT_EQ(form->Grid().YAxis.Count(), 1);
        }
    }
    form->Grid().CanEditGrid = true;
}

// A double click on a data or total cell hands its records to the session; the filter button of a
// caption asks for the field's value filter below the caption cell.
TEST_F(GridWiring, DrillDownAndValueFilterReachTheControl) {
    TQelKubrix& grid = form->Grid();
    const TKubrixDims d = grid.Dims();
    struct Case {
        const char* name;
        int col, row;
    } cases[] = {
        {"first data cell", d.FixedCols, d.FixedRows},
        {"column total", d.FixedCols, d.RowCount - 1},
        {"grand total", d.ColCount - 1 - d.nY, d.RowCount - 1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        View().SetCurrent(c.col, c.row);
        QTest::mouseDClick(View().viewport(), Qt::LeftButton, {}, View().CellRect(c.col, c.row).center());
        EXPECT_EQ(form->Session().DrillDownRecords(), grid.DrillDownRecords(c.col, c.row));
    }
    EXPECT_FALSE(form->Session().DrillDownRecords().has_value());  // the last one was every record
    EXPECT_TRUE(grid.DrillDownRecords(d.FixedCols, d.RowCount - 1).has_value());

    std::vector<std::pair<QString, QPoint>> filters;
    QObject::connect(form, &TKubrixX::valueFilterRequested,
                     [&](const QString& field, const QPoint& at) { filters.emplace_back(field, at); });
    const QRect manager = View().CellRect(2, d.FixedRows - 1);  // the second vertical caption
    OnValues popup([](TfrmOLAPValuesList& p) { QTest::mouseClick(p.bCancel, Qt::LeftButton); });
    QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, TQelKubrixView::BtnRect(manager).center());
    EXPECT_TRUE(popup.Seen());
    ASSERT_EQ(filters.size(), 1u);
    EXPECT_EQ(filters[0].first, "manager");
    EXPECT_EQ(filters[0].second, View().viewport()->mapToGlobal(QPoint(manager.left(), manager.bottom() + 1)));
}

// The filter button of a caption opens the field's values with their flags below the caption
// cell; "Ok" makes the check states the flags, and the sums, the drill-down and the saved state
// follow; "Cancel" changes nothing.
TEST_F(GridWiring, ValueFilterThroughThePopup) {
    TQelKubrix& grid = form->Grid();
    TQelOLAPField& manager = grid.OLAPFields().FieldByName("manager");
    auto managerRows = [&] {
        QStringList names;
        const TKubrixDims d = grid.Dims();
        for (int row = d.FixedRows; row < d.RowCount; ++row)
            if (grid.Geometry().Rows().Visible(row)) names << QString::fromStdString(grid.GetEditText(2, row));
        return names;
    };
    auto grandTotal = [&] {
        const TKubrixDims d = grid.Dims();
        return grid.GetEditText(d.ColCount - 1 - d.nY, d.RowCount - 1);
    };
    const std::string allTotal = grandTotal();
    ASSERT_TRUE(managerRows().contains(QString::fromUtf8("Иванов")));
    auto clickFilter = [&] {
        const QRect caption = View().CellRect(2, grid.Dims().FixedRows - 1);
        QTest::mouseClick(View().viewport(), Qt::LeftButton, {}, TQelKubrixView::BtnRect(caption).center());
        return caption;
    };

    // "Cancel" after unchecking everything: no flag changes.
    OnValues cancel([](TfrmOLAPValuesList& p) {
        QTest::mouseClick(p.bUncheckAll, Qt::LeftButton);
        QTest::mouseClick(p.bCancel, Qt::LeftButton);
    });
    clickFilter();
    ASSERT_TRUE(cancel.Seen());
    for (const auto& entry : manager.Values) EXPECT_TRUE(entry->Selected);
    EXPECT_EQ(grandTotal(), allTotal);

    // Uncheck Иванов found by the search, then "Ok".
    QStringList listed;
    OnValues pick([&](TfrmOLAPValuesList& p) {
        for (int row = 1; row <= p.dbgData->ShownRecordCount(); ++row) listed << p.dbgData->CellText(0, row);
        for (QChar ch : QString::fromUtf8("иван"))  // typed; keyClicks takes ASCII only
            QTest::sendKeyEvent(QTest::Click, p.eFind, Qt::Key_unknown, QString(ch), Qt::NoModifier);
        QTest::keyClick(p.eFind, Qt::Key_Return);
        ASSERT_EQ(p.dbgData->ShownRecordCount(), 1);
        QTest::mouseClick(p.dbgData->viewport(), Qt::LeftButton, {}, p.dbgData->CellRect(p.dbgData->GridColOf(1), 1).center());
        QTest::mouseClick(p.bOk, Qt::LeftButton);
    });
    const QRect caption = clickFilter();
    ASSERT_TRUE(pick.Seen());
    EXPECT_EQ(pick.Pos(), View().viewport()->mapToGlobal(QPoint(caption.left(), caption.bottom() + 1)));
    EXPECT_EQ(listed, QStringList({QString::fromUtf8("Иванов"), QString::fromUtf8("Новиков"), QString::fromUtf8("Петрова")}));
    for (const auto& entry : manager.Values)
        EXPECT_EQ(entry->Selected, manager.ValueToText(entry->Buffer()) != "Иванов") << manager.ValueToText(entry->Buffer());
    EXPECT_FALSE(managerRows().contains(QString::fromUtf8("Иванов")));
    EXPECT_NE(grandTotal(), allTotal);
    EXPECT_EQ(QString::fromStdString(grandTotal()).remove(QRegularExpression("[^0-9]")), "23425");  // 33.75 + 200.50

    // The drill-down of the 2022 column total holds only Новиков's record now.
    const TKubrixDims d = grid.Dims();
    View().SetCurrent(d.FixedCols, d.RowCount - 1);
    QTest::mouseDClick(View().viewport(), Qt::LeftButton, {}, View().CellRect(d.FixedCols, d.RowCount - 1).center());
    EXPECT_EQ(form->Session().DrillDownRecords(), (std::optional<std::vector<std::int32_t>>(std::vector<std::int32_t>{3})));

    // The selection is part of the saved state.
    WideString state;
    ASSERT_EQ(control->get_State(&state), S_OK);
    OnValues all([](TfrmOLAPValuesList& p) {
        QTest::mouseClick(p.bCheckAll, Qt::LeftButton);
        QTest::mouseClick(p.bOk, Qt::LeftButton);
    });
    clickFilter();
    ASSERT_TRUE(all.Seen());
    EXPECT_EQ(grandTotal(), allTotal);
    ASSERT_EQ(control->put_State(state), S_OK) << LastErrorDescription();
    EXPECT_FALSE(managerRows().contains(QString::fromUtf8("Иванов")));
}

// Counts the paint events of a widget.
class PaintCounter : public QObject {
public:
    int Paints = 0;

protected:
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++Paints;
        return false;
    }
};

TEST_F(GridWiring, GridRepaintsAfterStatePut) {
    TQelKubrix& grid = form->Grid();
    WideString ascending;
    ASSERT_EQ(control->get_State(&ascending), S_OK);
    const std::string firstAscending = grid.GetEditText(1, grid.Geometry().Rows().FixedCount());
    grid.XAxis.Field(0).OLAPField->SetDescSort(true);
    const std::string firstDescending = grid.GetEditText(1, grid.Geometry().Rows().FixedCount());
    ASSERT_NE(firstAscending, firstDescending);

    PaintCounter counter;
    View().viewport()->installEventFilter(&counter);
    QApplication::processEvents();  // whatever was pending
    const QImage before = View().viewport()->grab().toImage();
    counter.Paints = 0;

    ASSERT_EQ(control->put_State(ascending), S_OK) << LastErrorDescription();
    QApplication::processEvents();
    EXPECT_GT(counter.Paints, 0);
    EXPECT_EQ(grid.GetEditText(1, grid.Geometry().Rows().FixedCount()), firstAscending);
    EXPECT_NE(View().viewport()->grab().toImage(), before);
    View().viewport()->removeEventFilter(&counter);
}

TEST_F(GridWiring, ColumnsFitTheirNamesAndSums) {
    TQelKubrix& grid = form->Grid();
    const TGridAxis& cols = grid.Geometry().Cols();
    // Sums of whole regions are wider than a default column too.
    ASSERT_EQ(control->SetSQL(W("SELECT region, manager, year, amount * 1000000 AS amount FROM sales")), S_OK);
    ASSERT_EQ(control->Config(W("region;manager;"), W("year;"), W("amount;"), W("X"), 0), S_OK);
    int widestSum = 0;
    for (int col = 0; col < cols.Count(); ++col) {
        if (!cols.Visible(col)) continue;
        SCOPED_TRACE(col);
        int widest = 0;
        for (int row = 0; row < grid.Geometry().Rows().Count(); ++row) {
            const TKubrixCell cell = grid.CellInfo(col, row);
            QFont f = View().font();
            f.setBold(cell.Bold);
            f.setItalic(cell.Italic);
            const int w = QFontMetrics(f).horizontalAdvance(QString::fromStdString(cell.Text));
            widest = std::max(widest, w);
            if (cell.IsData || cell.IsTotal) widestSum = std::max(widestSum, w);
        }
        EXPECT_GE(cols.Size(col), widest);
        EXPECT_LE(cols.Size(col), TKubrixX::ColumnFitLimit);
        // The widths kept for the saved state are the layout's own.
        EXPECT_EQ(cols.SavedSize(col), cols.DefaultSize());
    }
    EXPECT_GT(widestSum, cols.DefaultSize());
    // A width the user chose stays across a new layout.
    View().SetColWidth(2, 200);
    ASSERT_EQ(control->Config(W("region;manager;"), W("year;"), W("amount;"), W("X"), 0), S_OK);
    EXPECT_EQ(cols.Size(2), 200);
}

}  // namespace
}  // namespace kubrix::test
