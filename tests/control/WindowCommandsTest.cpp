// The window's own commands, driven with real mouse and key events: a long load shows its
// progress and stops on "Отмена", the status bar, Ctrl+C, the File and Help menus, and the
// recent connections kept between runs.

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QPushButton>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <functional>
#include <memory>
#include <sstream>

#include "ControlTestEnv.h"
#include "kubrix/MainWindow.h"
#include "kubrix/RecentConnections.h"
#include "kubrix/WindowCommands.h"
#include "pivot/Kubrix.h"
#include "session/GridCopy.h"
#include "session/GridExport.h"
#include "ui/KubrixXAbout.h"
#include "ui/QelKubrixView.h"

namespace kubrix::test {
namespace {

//! The user's configuration folder is a fresh one for the test.
struct ConfigHome {
    QTemporaryDir dir;
    QByteArray before = qgetenv("XDG_CONFIG_HOME");
    ConfigHome() { qputenv("XDG_CONFIG_HOME", dir.path().toUtf8()); }
    ~ConfigHome() {
        if (before.isEmpty()) qunsetenv("XDG_CONFIG_HOME");
        else qputenv("XDG_CONFIG_HOME", before);
    }
};

const char* kSales = "SELECT region, manager, year, amount FROM sales";

struct Window {
    ConfigHome config;
    TempSqliteDb db;
    app::MainWindow window;

    Window() {
        FillSales(db.ConnStr());
        window.ReportErrorsToStream = true;  // no dialog waits for a click in a test
        Box("connection")->setText(QString::fromStdString(db.ConnStr()));
        SetSql(kSales);
        Box("rows")->setText("region;");
        Box("cols")->setText("year;");
        Box("data")->setText("amount;");
        window.show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(&window));
    }
    QLineEdit* Box(const char* name) { return window.findChild<QLineEdit*>(name); }
    void SetSql(const char* sql) { window.findChild<QPlainTextEdit*>("sql")->setPlainText(QString::fromUtf8(sql)); }
    void Press(const char* caption) {
        for (auto* b : window.findChildren<QPushButton*>())
            if (b->text() == QString::fromUtf8(caption)) return QTest::mouseClick(b, Qt::LeftButton);
        ADD_FAILURE() << "no button " << caption;
    }
    TQelKubrix& Grid() { return window.Control().Grid(); }
    TQelKubrixView* View() { return window.Control().ogData(); }
    TKubrixDataSet& Data() { return window.Control().Session().qData(); }
    QString Status(const char* label) { return window.findChild<QLabel*>(label)->text(); }
    //! The middle of a cell of the grid view, in its viewport.
    QPoint CellPoint(int col, int row) { return View()->CellRect(col, row).center(); }
    void ClickCell(int col, int row, Qt::KeyboardModifiers mods = {}) {
        QTest::mouseClick(View()->viewport(), Qt::LeftButton, mods, CellPoint(col, row));
    }
    //! Opens a menu of the menu bar with the mouse and clicks one of its items.
    void ClickMenu(const char* menuName, const char* actionName) {
        QMenuBar* bar = window.Commands().MenuBar();
        auto* menu = bar->findChild<QMenu*>(menuName);
        ASSERT_NE(menu, nullptr) << menuName;
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(menu->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(menu)) << menuName;
        auto* action = menu->findChild<QAction*>(actionName);
        ASSERT_NE(action, nullptr) << actionName;
        QTest::mouseClick(menu, Qt::LeftButton, {}, menu->actionGeometry(action).center());
    }
};

//! Runs handle on the first modal dialog of type T that shows (from the event loop, while the
//! caller is blocked in it). Whatever is still modal after ten seconds is closed, so that a
//! failing test ends.
template <class T>
void WhenModal(std::function<void(T*)> handle) {
    // Owned by the application, so that a timer still watching when the test ends goes with it.
    auto* timer = new QTimer(QCoreApplication::instance());
    auto ticks = std::make_shared<int>(0);
    auto handled = std::make_shared<bool>(false);
    QObject::connect(timer, &QTimer::timeout, [timer, ticks, handled, handle] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!*handled) {
            if (T* dialog = qobject_cast<T*>(modal)) {
                *handled = true;
                handle(dialog);
                return;
            }
        } else if (!modal) {
            timer->stop();
            timer->deleteLater();
            return;
        }
        if (++*ticks < 500) return;
        ADD_FAILURE() << "a modal dialog did not close";
        if (modal) modal->close();
        timer->stop();
        timer->deleteLater();
    });
    timer->start(20);
}

//! Goes to the folder of path in a file dialog, types the file's name and presses Open or Save.
void ChooseFile(const QString& path) {
    WhenModal<QFileDialog>([path](QFileDialog* d) {
        // Typed whole, a path would have the dialog complete and select each folder on the way.
        d->setDirectory(QFileInfo(path).absolutePath());
        auto* edit = d->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(edit, nullptr);
        edit->clear();
        QTest::keyClicks(edit, QFileInfo(path).fileName());
        auto* buttons = d->findChild<QDialogButtonBox*>();
        ASSERT_NE(buttons, nullptr);
        for (QAbstractButton* b : buttons->buttons())
            if (buttons->buttonRole(b) == QDialogButtonBox::AcceptRole) return QTest::mouseClick(b, Qt::LeftButton);
        ADD_FAILURE() << "no Open or Save button";
    });
}

bool Has(const QString& text, const char* part) { return text.contains(QString::fromUtf8(part)); }

// A load long enough to need it shows its rows in a window-modal dialog, the window repaints
// meanwhile, and "Отмена" stops it: the dataset is closed and empty, no error is shown, and the
// boxes keep the layout, which the next run lays out again.
TEST(WindowCommands, ALongLoadShowsProgressAndStopsOnCancel) {
    Window w;
    // Row by row: the driver's default runs the whole select before handing out its first row.
    w.Box("connection")->setText(QString::fromStdString(w.db.ConnStr() + ";StepAPI=1"));
    ASSERT_TRUE(w.window.RunAll());
    ASSERT_EQ(w.Grid().XAxis.Count(), 1);
    // Millions of rows: seconds to load, far more than the half second before the dialog.
    w.SetSql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 5000000) "
             "SELECT i % 7 AS region, i AS amount FROM n");

    int paints = 0;
    struct PaintCounter : QObject {
        int& n;
        explicit PaintCounter(int& count) : n(count) {}
        bool eventFilter(QObject*, QEvent* e) override {
            if (e->type() == QEvent::Paint) ++n;
            return false;
        }
    } counter(paints);
    w.window.findChild<QStatusBar*>("statusBar")->installEventFilter(&counter);

    QString shownText;
    bool modal = false;
    int paintsAsked = -1;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        auto* dialog = w.window.Commands().Progress().Dialog();
        if (!dialog || !dialog->isVisible()) return;
        if (paintsAsked < 0) {
            // Something of the window asks to be painted while rows arrive.
            paintsAsked = paints;
            w.window.findChild<QStatusBar*>("statusBar")->update();
            return;
        }
        if (paints == paintsAsked) return;
        shownText = dialog->labelText();
        modal = dialog->isModal() || dialog->windowModality() != Qt::NonModal;
        poll.stop();
        auto* cancel = dialog->findChild<QPushButton*>();
        ASSERT_NE(cancel, nullptr);
        EXPECT_EQ(cancel->text(), "Отмена");
        QTest::mouseClick(cancel, Qt::LeftButton);
    });
    poll.start(20);
    testing::internal::CaptureStderr();
    w.Press("Выполнить");
    const std::string errors = testing::internal::GetCapturedStderr();
    poll.stop();

    EXPECT_TRUE(Has(shownText, "Загружено строк: ")) << shownText.toStdString();
    EXPECT_GT(shownText.section(' ', -1).toLongLong(), 0);
    EXPECT_LT(shownText.section(' ', -1).toLongLong(), 5000000);
    EXPECT_TRUE(modal);
    EXPECT_GT(paints, paintsAsked);
    EXPECT_EQ(errors, "");
    EXPECT_FALSE(w.Data().Active());
    EXPECT_EQ(w.Data().RealRecordCount(), 0);
    EXPECT_EQ(w.Grid().XAxis.Count(), 0);
    EXPECT_EQ(w.window.Commands().Progress().Dialog(), nullptr);
    EXPECT_EQ(w.window.findChild<QStatusBar*>("statusBar")->currentMessage(), "Загрузка отменена");
    EXPECT_EQ(w.Status("recordCount"), "Нет данных");
    EXPECT_EQ(w.Box("rows")->text(), "region;");
    EXPECT_EQ(w.Box("data")->text(), "amount;");

    // The next run lays the kept layout onto its result.
    w.SetSql(kSales);
    w.Press("Выполнить");
    ASSERT_EQ(w.Grid().XAxis.Count(), 1);
    EXPECT_EQ(w.Grid().XAxis.Field(0).FieldName, "region");
    EXPECT_EQ(w.Grid().DataFields.Field(0).FieldName, "amount");
    EXPECT_EQ(w.Status("recordCount"), "Записей: 5");
}

// A quick load shows no dialog; the status bar gives the records and the drill-down's, and the
// times of the last query and layout.
TEST(WindowCommands, TheStatusBarCountsRecordsAndTimesTheRun) {
    Window w;
    EXPECT_EQ(w.Status("recordCount"), "Нет данных");
    bool dialogSeen = false;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] { dialogSeen = dialogSeen || w.window.Commands().Progress().Dialog(); });
    poll.start(1);
    ASSERT_TRUE(w.window.RunAll());
    EXPECT_FALSE(dialogSeen);
    EXPECT_EQ(w.Status("recordCount"), "Записей: 5");
    EXPECT_TRUE(w.Status("timings").contains(QRegularExpression("^Запрос: \\d+,\\d\\d с, раскладка: \\d+,\\d\\d с$")))
        << w.Status("timings").toStdString();

    // Moscow's 2023 sum: two records behind it.
    const TGridGeometry& g = w.Grid().Geometry();
    int col = -1, row = -1;
    for (int r = 0; r < g.Rows().Count(); ++r)
        for (int c = 0; c < g.Cols().Count(); ++c) {
            const std::string text = w.Grid().CellInfo(c, r).Text;
            if (row < 0 && (text.find("1200") == 0 || text.find("1 200") == 0)) col = c, row = r;
        }
    ASSERT_GE(row, 0);
    QTest::mouseDClick(w.View()->viewport(), Qt::LeftButton, {}, w.CellPoint(col, row));
    EXPECT_EQ(w.Status("recordCount"), "Записей: 5, отобрано: 2");
    w.Press("Применить");
    EXPECT_TRUE(w.Status("timings").startsWith("Запрос: "));
}

// Ctrl+C copies the selected block (a click, Shift+click, Shift+arrow), or the whole grid when
// nothing is selected; in a text box it stays the box's own.
TEST(WindowCommands, CtrlCCopiesTheSelectedCellsOrTheWholeGrid) {
    Window w;
    ASSERT_TRUE(w.window.RunAll());
    QClipboard* clipboard = QApplication::clipboard();
    auto copy = [&](QWidget* target) {
        clipboard->setText("-");
        QTest::keyClick(target, Qt::Key_C, Qt::ControlModifier);
        return clipboard->text().toStdString();
    };
    EXPECT_EQ(copy(w.View()), GridAsTabText(w.Grid())) << "nothing selected yet";

    struct CopyCase {
        const char* name;
        std::function<void()> select;
        TCellBlock block;
    };
    const CopyCase cases[] = {
        {"one cell", [&] { w.ClickCell(2, 3); }, {2, 3, 2, 3}},
        {"Shift+click grows a block", [&] { w.ClickCell(3, 4); w.ClickCell(1, 2, Qt::ShiftModifier); }, {1, 2, 3, 4}},
        {"Shift+arrows grow it from the clicked cell",
         [&] {
             w.ClickCell(1, 3);
             QTest::keyClick(w.View(), Qt::Key_Right, Qt::ShiftModifier);
             QTest::keyClick(w.View(), Qt::Key_Down, Qt::ShiftModifier);
         },
         {1, 3, 2, 4}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.select();
        ASSERT_TRUE(w.View()->HasSelection());
        EXPECT_EQ(copy(w.View()), CellsAsTabText(w.Grid(), c.block));
    }
    // A drag selects too; Escape drops the selection and the whole grid is copied again.
    QTest::mousePress(w.View()->viewport(), Qt::LeftButton, {}, w.CellPoint(2, 2));
    QMouseEvent move(QEvent::MouseMove, w.CellPoint(3, 3), w.View()->viewport()->mapToGlobal(w.CellPoint(3, 3)),
                     Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(w.View()->viewport(), &move);
    QTest::mouseRelease(w.View()->viewport(), Qt::LeftButton, {}, w.CellPoint(3, 3));
    EXPECT_EQ(copy(w.View()), CellsAsTabText(w.Grid(), {2, 2, 3, 3}));
    QTest::keyClick(w.View(), Qt::Key_Escape);
    EXPECT_FALSE(w.View()->HasSelection());
    EXPECT_EQ(copy(w.View()), GridAsTabText(w.Grid()));

    QLineEdit* rows = w.Box("rows");
    rows->setFocus();
    rows->selectAll();
    EXPECT_EQ(copy(rows), "region;");
}

// File ▸ Open and Save go through file dialogs; a file that cannot be read gets a message and
// changes nothing.
TEST(WindowCommands, LayoutsAreSavedAndOpenedThroughTheFileMenu) {
    Window w;
    ASSERT_TRUE(w.window.RunAll());
    QTemporaryDir dir;
    const QString saved = dir.filePath("regions.state");
    ChooseFile(saved);
    w.ClickMenu("fileMenu", "saveState");
    ASSERT_TRUE(QFile::exists(saved));

    w.Box("rows")->setText("manager;");
    w.Press("Применить");
    ASSERT_EQ(w.Grid().XAxis.Field(0).FieldName, "manager");
    ChooseFile(saved);
    w.ClickMenu("fileMenu", "openState");
    ASSERT_EQ(w.Grid().XAxis.Count(), 1);
    EXPECT_EQ(w.Grid().XAxis.Field(0).FieldName, "region");
    EXPECT_EQ(w.Box("rows")->text(), "region;") << "the boxes follow the opened layout";
    EXPECT_EQ(w.Box("stateFile")->text(), saved);

    QFile junk(dir.filePath("junk.state"));
    ASSERT_TRUE(junk.open(QIODevice::WriteOnly));
    junk.write("not a layout");
    junk.close();
    struct BadCase {
        const char* name;
        QString file;
        const char* message;
    };
    const BadCase cases[] = {
        {"missing", dir.filePath("none.state"), "Не удалось прочитать файл"},
        {"a folder", dir.path(), "Это папка."},
        {"no layout in it", junk.fileName(), "не содержит сохранённой раскладки"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        testing::internal::CaptureStderr();
        EXPECT_FALSE(w.window.Commands().OpenState(c.file));
        const std::string errors = testing::internal::GetCapturedStderr();
        EXPECT_NE(errors.find(c.message), std::string::npos) << errors;
        EXPECT_EQ(w.Grid().XAxis.Field(0).FieldName, "region");
    }
}

// File ▸ Export writes what `kubrix export` writes; a file that cannot be written is reported.
TEST(WindowCommands, TheGridIsExportedAsTheExportCommandWritesIt) {
    Window w;
    ASSERT_TRUE(w.window.RunAll());
    QTemporaryDir dir;
    struct ExportCase {
        const char* action;
        const char* typed;
        const char* written;  // the extension is added when none is typed
        TExportFormat format;
    };
    const ExportCase cases[] = {
        {"exportCsv", "grid", "grid.csv", TExportFormat::Csv},
        {"exportHtml", "grid.htm", "grid.htm", TExportFormat::Html},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.action);
        ChooseFile(dir.filePath(c.typed));
        w.ClickMenu("fileMenu", c.action);
        QFile file(dir.filePath(c.written));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        std::ostringstream expected;
        WriteGrid(w.Grid(), {c.format, false}, expected);
        EXPECT_EQ(file.readAll().toStdString(), expected.str());
    }
    testing::internal::CaptureStderr();
    EXPECT_FALSE(w.window.Commands().ExportGrid(dir.filePath("no/such/folder/grid.csv"), TExportFormat::Csv));
    EXPECT_NE(testing::internal::GetCapturedStderr().find("Не удалось записать файл"), std::string::npos);
}

// Help ▸ About opens the control's about box.
TEST(WindowCommands, TheAboutBoxOpensFromTheHelpMenu) {
    Window w;
    bool shown = false;
    WhenModal<TKubrixXAbout>([&shown](TKubrixXAbout* about) {
        shown = about->NameLbl()->text() == "KubrixX";
        QTest::mouseClick(about->OkBtn(), Qt::LeftButton);
    });
    w.ClickMenu("helpMenu", "about");
    EXPECT_TRUE(shown);
}

// Connections opened with "Подключить" are remembered newest first, without their passwords,
// across runs; choosing one from the menu connects to it.
TEST(WindowCommands, RecentConnectionsAreRememberedBetweenRuns) {
    ConfigHome config;
    const QString path = config.dir.filePath("kubrix/recent-connections");
    EXPECT_EQ(app::TRecentConnections::DefaultPath(), path);

    struct PasswordCase {
        const char* given;
        const char* kept;
    };
    const PasswordCase passwords[] = {
        {"Driver=PG;Uid=u;Pwd=secret;Port=5", "Driver=PG;Uid=u;Port=5"},
        {"DSN=x;PASSWORD={a;b}}c};UID=me", "DSN=x;UID=me"},
        {"Driver=SQLite3;Database=/tmp/a;b.db", "Driver=SQLite3;Database=/tmp/a;b.db"},
        {"pwd = p", ""},
    };
    for (const auto& c : passwords) {
        SCOPED_TRACE(c.given);
        EXPECT_EQ(app::TRecentConnections::WithoutPassword(c.given), c.kept);
    }

    {
        app::TRecentConnections recent;
        for (int i = 0; i < 12; ++i) ASSERT_TRUE(recent.Add(QString("DSN=n%1;PWD=x").arg(i)));
        ASSERT_TRUE(recent.Add("DSN=n5"));
        EXPECT_EQ(recent.Items().size(), app::TRecentConnections::MaxCount);
        EXPECT_EQ(recent.Items().front(), "DSN=n5");
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray text = file.readAll();
    EXPECT_FALSE(text.contains("PWD")) << text.toStdString();
    EXPECT_EQ(file.permissions() & (QFileDevice::ReadOther | QFileDevice::ReadGroup), 0);
    file.close();
    // Read back in another run: the same list, lines that are not connections skipped.
    ASSERT_TRUE(file.open(QIODevice::Append));
    file.write("\xff\xfe bad\n" + QByteArray(app::TRecentConnections::MaxLineBytes + 1, 'x') + "\n");
    file.close();
    app::TRecentConnections again;
    EXPECT_EQ(again.Items().size(), app::TRecentConnections::MaxCount);
    EXPECT_EQ(again.Items().front(), "DSN=n5");
    EXPECT_EQ(again.Items()[1], "DSN=n11");

    // The window remembers what "Подключить" opened and connects to a connection chosen from the menu.
    TempSqliteDb other;
    FillSales(other.ConnStr());
    {
        Window w;  // a configuration folder of its own
        w.Press("Подключить");
        EXPECT_EQ(w.window.Commands().Recent().Items().value(0).toStdString(), w.db.ConnStr());
        w.Box("connection")->setText(QString::fromStdString(other.ConnStr()));
        w.Press("Подключить");
        w.Box("connection")->setText("");
        QMenu* recentMenu = w.window.Commands().MenuBar()->findChild<QMenu*>("recentMenu");
        QMenuBar* bar = w.window.Commands().MenuBar();
        auto* fileMenu = bar->findChild<QMenu*>("fileMenu");
        QTest::mouseClick(bar, Qt::LeftButton, {}, bar->actionGeometry(fileMenu->menuAction()).center());
        ASSERT_TRUE(QTest::qWaitForWindowExposed(fileMenu));
        // Down to the submenu with the keyboard, then into it.
        for (int i = 0; i < 20 && fileMenu->activeAction() != recentMenu->menuAction(); ++i)
            QTest::keyClick(fileMenu, Qt::Key_Down);
        QTest::keyClick(fileMenu, Qt::Key_Right);
        ASSERT_TRUE(QTest::qWaitForWindowExposed(recentMenu));
        ASSERT_EQ(recentMenu->actions().size(), 2);
        EXPECT_EQ(recentMenu->actions()[0]->toolTip().toStdString(), other.ConnStr());
        QTest::mouseClick(recentMenu, Qt::LeftButton, {}, recentMenu->actionGeometry(recentMenu->actions()[1]).center());
        EXPECT_EQ(w.Box("connection")->text().toStdString(), w.db.ConnStr());
        w.Press("Выполнить");
        EXPECT_EQ(w.Status("recordCount"), "Записей: 5");
    }
}

}  // namespace
}  // namespace kubrix::test
