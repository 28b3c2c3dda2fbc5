// The window's records panel: the records behind the last drill-down, the grand total bringing
// every record back, the totals of the layout's data fields, and its column layout kept beside
// the window's state file.

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <filesystem>

#include "ControlTestEnv.h"
#include "dataset/QelODBCClient.h"
#include "kubrix/MainWindow.h"
#include "kubrix/RecordsPanel.h"
#include "pivot/Kubrix.h"
#include "session/KubrixSession.h"
#include "ui/QelDBGrid.h"

namespace kubrix::test {
namespace {

struct PanelWindow {
    TempSqliteDb db;
    app::MainWindow window;

    PanelWindow() {
        FillSales(db.ConnStr());
        window.ReportErrorsToStream = true;
        Box("connection")->setText(QString::fromStdString(db.ConnStr()));
        window.findChild<QPlainTextEdit*>("sql")->setPlainText("SELECT region, manager, year, amount FROM sales");
        Box("rows")->setText("region;");
        Box("cols")->setText("year;");
        Box("data")->setText("amount;");
        window.resize(900, 700);
    }
    QLineEdit* Box(const char* name) { return window.findChild<QLineEdit*>(name); }
    void Press(const char* caption) {
        for (auto* b : window.findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8(caption)) return b->click();
        ADD_FAILURE() << "no button " << caption;
    }
    TQelDBGrid& Records() { return window.Records().Grid(); }
    int Column(const char* field) {
        TQelColumn* c = Records().ColumnByField(window.Control().Session().qData().FindField(field));
        return c ? c->Index() : -1;
    }
};

TEST(RecordsPanel, ShowsTheRecordsOfTheLastDrillDownWithTheirTotals) {
    PanelWindow w;
    ASSERT_TRUE(w.window.RunAll());
    EXPECT_EQ(w.Records().ShownRecordCount(), 5);
    EXPECT_TRUE(w.Records().TotalsInfo().show_totals());
    EXPECT_EQ(w.Records().TotalText(w.Column("amount")).toStdString(), "1334.5");
    // Line 3, cell 2 of the export: Москва in 2023, two records.
    std::string error;
    ASSERT_TRUE(app::DrillAt(w.window.Control(), "3,2", error)) << error;
    EXPECT_EQ(w.Records().ShownRecordCount(), 2);
    EXPECT_EQ(w.Records().TotalText(w.Column("amount")).toStdString(), "1200.5");
    QApplication::processEvents();
    EXPECT_EQ(w.window.findChild<QLabel*>("recordsCaption")->text().toStdString(), "Записи ячейки: 2");
    // What the panel paints: text in the rows of the two records, none below them.
    w.window.show();
    w.Records().viewport()->repaint();
    QImage image(w.Records().viewport()->size(), QImage::Format_ARGB32);
    w.Records().viewport()->render(&image);
    auto dark = [&](const QRect& r) {
        int n = 0;
        for (int y = r.top(); y <= r.bottom(); ++y)
            for (int x = r.left(); x <= r.right(); ++x) n += qGray(image.pixel(x, y)) < 100;
        return n;
    };
    const QRect second = w.Records().CellRect(w.Records().GridColOf(w.Column("region")), 2);
    EXPECT_GT(dark(second.adjusted(1, 1, -1, -1)), 0);
    EXPECT_EQ(w.Records().RowCount(), 3);
    // The grand total cell brings every record back.
    const TKubrixDims d = w.window.Control().Grid().Dims();
    ASSERT_TRUE(w.window.Control().Session().DrillDownCell(d.ColCount - 1, d.RowCount - 1));
    EXPECT_EQ(w.Records().ShownRecordCount(), 5);
    // A cell that is no data cell, and a malformed address, are refused.
    EXPECT_FALSE(app::DrillAt(w.window.Control(), "0,0", error));
    EXPECT_FALSE(app::DrillAt(w.window.Control(), "3;2", error));
    EXPECT_EQ(error, "--drill must be ROW,COL (two numbers from 0)");
}

TEST(RecordsPanel, KeepsItsColumnLayoutWithTheWindowState) {
    PanelWindow w;
    const std::string state = std::filesystem::path(w.db.Path()).replace_filename("window.state").string();
    w.Box("stateFile")->setText(QString::fromStdString(state));
    ASSERT_TRUE(w.window.RunAll());
    TQelColumn& manager = w.Records().Column(w.Column("manager"));
    manager.SetVisible(false);
    w.Records().Column(w.Column("amount")).SetWidth(150);
    w.Press("Сохранить состояние");
    ASSERT_TRUE(std::filesystem::exists(app::RecordsPanel::LayoutFileOf(state)));
    manager.SetVisible(true);
    w.Records().Column(w.Column("amount")).SetWidth(60);
    w.Press("Загрузить состояние");
    EXPECT_FALSE(w.Records().Column(w.Column("manager")).Visible());
    EXPECT_EQ(w.Records().Column(w.Column("amount")).Width(), 150);
    // Running the query again keeps it.
    w.Press("Выполнить");
    EXPECT_FALSE(w.Records().Column(w.Column("manager")).Visible());
    // A layout file of garbage changes nothing and breaks nothing.
    if (FILE* f = std::fopen(app::RecordsPanel::LayoutFileOf(state).c_str(), "wb")) {
        std::fputs("\x0c\x20\xff\xff\xff\x7f garbage", f);
        std::fclose(f);
    }
    w.Press("Загрузить состояние");
    EXPECT_EQ(w.Records().ColumnCount(), 4);
    std::remove(app::RecordsPanel::LayoutFileOf(state).c_str());
    std::remove(state.c_str());
}

}  // namespace
}  // namespace kubrix::test
