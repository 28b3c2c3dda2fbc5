// The program's window over the control: its grid never shows numbers the dataset no longer
// holds, "Выполнить" keeps the layout, and the layout boxes follow the report editor.

#include <gtest/gtest.h>

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>

#include "ControlTestEnv.h"
#include "kubrix/MainWindow.h"
#include "pivot/Kubrix.h"

namespace kubrix::test {
namespace {

struct Window {
    TempSqliteDb db;
    app::MainWindow window;

    Window() {
        FillSales(db.ConnStr());
        window.ReportErrorsToStream = true;  // no dialog waits for a click in a test
        Box("connection")->setText(QString::fromStdString(db.ConnStr()));
        SetSql("SELECT region, manager, year, amount FROM sales");
        Box("rows")->setText("region;");
        Box("cols")->setText("year;");
        Box("data")->setText("amount;");
    }
    QLineEdit* Box(const char* name) { return window.findChild<QLineEdit*>(name); }
    void SetSql(const char* sql) { window.findChild<QPlainTextEdit*>("sql")->setPlainText(QString::fromUtf8(sql)); }
    void Press(const char* caption) {
        for (auto* b : window.findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8(caption)) return b->click();
        ADD_FAILURE() << "no button " << caption;
    }
    TQelKubrix& Grid() { return window.Control().Grid(); }
    //! Every text the grid would paint, row by row.
    std::string Texts() {
        std::string out;
        const TGridGeometry& g = Grid().Geometry();
        for (int r = 0; r < g.Rows().Count(); ++r) {
            for (int c = 0; c < g.Cols().Count(); ++c) {
                const TKubrixCell cell = Grid().CellInfo(c, r);
                if (cell.Case != TKubrixCellCase::RowNumber && cell.Case != TKubrixCellCase::ColNumber)
                    out += cell.Text + "|";
            }
            out += "\n";
        }
        return out;
    }
};

bool Has(const std::string& text, const char* part) { return text.find(part) != std::string::npos; }

TEST(MainWindow, TheGridFollowsTheQueryAndTheLayout) {
    Window w;
    // Before anything runs the grid is blank, not a provisional sheet of totals.
    EXPECT_LT(w.Grid().Geometry().Rows().Count(), 5);
    EXPECT_FALSE(Has(w.Texts(), "Итог")) << w.Texts();

    ASSERT_TRUE(w.window.RunAll());
    ASSERT_TRUE(Has(w.Texts(), "Москва")) << w.Texts();

    struct Step {
        const char* name;
        std::function<void()> act;
        bool shown;  // the layout's values are on screen afterwards
    };
    const Step steps[] = {
        {"a failed query leaves a blank grid", [&] { w.SetSql("SELECT nope FROM nowhere"); w.Press("Выполнить"); }, false},
        {"running again lays the boxes' layout onto the new result",
         [&] { w.SetSql("SELECT region, manager, year, amount FROM sales"); w.Press("Выполнить"); }, true},
        {"closing the control's dataset blanks the grid", [&] { w.window.Control().Close(); }, false},
    };
    for (const auto& step : steps) {
        SCOPED_TRACE(step.name);
        step.act();
        const std::string texts = w.Texts();
        EXPECT_EQ(Has(texts, "Москва"), step.shown) << texts;
        EXPECT_EQ(Has(texts, "Итог"), step.shown) << texts;
        EXPECT_EQ(w.Grid().XAxis.Count(), step.shown ? 1 : 0);
    }
}

TEST(MainWindow, TheBoxesShowTheLayoutTheEditorApplied) {
    Window w;
    ASSERT_TRUE(w.window.RunAll());
    w.window.Control().ApplyEditedLayout("manager;region;", "", "amount;year;", 1, 1);
    EXPECT_EQ(w.Box("rows")->text(), "manager;region;");
    EXPECT_EQ(w.Box("cols")->text(), "");
    EXPECT_EQ(w.Box("data")->text(), "amount;year;");
    EXPECT_EQ(w.window.findChild<QComboBox*>("dataPlace")->currentText(), "Y");
    EXPECT_EQ(w.window.findChild<QSpinBox*>("dataIndex")->value(), 1);
    // "Применить" now applies that same layout.
    w.Press("Применить");
    ASSERT_EQ(w.Grid().XAxis.Count(), 2);
    EXPECT_EQ(w.Grid().XAxis.Field(0).FieldName, "manager");
    EXPECT_EQ(w.Grid().DataFields.Count(), 2);
    EXPECT_EQ(w.Grid().DataPlace, 1);
}

}  // namespace
}  // namespace kubrix::test
