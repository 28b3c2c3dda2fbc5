#include "WindowCommands.h"

#include <QAction>
#include <QApplication>
#include <QBoxLayout>
#include <QClipboard>
#include <QElapsedTimer>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSaveFile>
#include <QStatusBar>

#include <iostream>
#include <sstream>

#include "MainWindow.h"
#include "RecordsPanel.h"
#include "session/GridCopy.h"
#include "support/Text.h"
#include "ui/QelKubrixView.h"

namespace kubrix::app {
namespace {

QString Seconds(qint64 ms) { return QString::number(static_cast<double>(ms) / 1000.0, 'f', 2).replace('.', ',') + " с"; }

}  // namespace

WindowCommands::WindowCommands(MainWindow& window, QBoxLayout& layout)
    : QObject(&window), window_(window), progress_(&window) {
    menuBar_ = new QMenuBar(&window);
    menuBar_->setObjectName("menuBar");
    layout.setMenuBar(menuBar_);
    BuildMenus();

    statusBar_ = new QStatusBar(&window);
    statusBar_->setObjectName("statusBar");
    records_ = new QLabel(statusBar_);
    records_->setObjectName("recordCount");
    times_ = new QLabel(statusBar_);
    times_->setObjectName("timings");
    statusBar_->addPermanentWidget(records_);
    statusBar_->addPermanentWidget(times_);
    layout.addWidget(statusBar_);

    // Cells are selected for copying as in a spreadsheet.
    TQelKubrixView* view = window_.Control().ogData();
    view->SetOptions(view->Options() | TQelCustomGrid::goRangeSelect);
    window_.Control().Session().qData().OnLoadProgress = [this](std::int64_t rows) { return progress_.Step(rows); };
    window_.Control().Grid().AddListener(this);
    UpdateRecordCount();
}

WindowCommands::~WindowCommands() {
    window_.Control().Grid().RemoveListener(this);
    window_.Control().Session().qData().OnLoadProgress = nullptr;
}

void WindowCommands::BuildMenus() {
    QMenu* file = menuBar_->addMenu("&Файл");
    file->setObjectName("fileMenu");
    auto add = [this](QMenu* menu, const char* name, const char* text, auto slot) {
        QAction* action = menu->addAction(QString::fromUtf8(text));
        action->setObjectName(name);
        connect(action, &QAction::triggered, this, slot);
        return action;
    };
    add(file, "openState", "&Открыть состояние...", [this] { AskOpenState(); });
    add(file, "saveState", "&Сохранить состояние...", [this] { AskSaveState(); });
    file->addSeparator();
    add(file, "exportCsv", "Экспорт в &CSV...", [this] { AskExport(TExportFormat::Csv); });
    add(file, "exportHtml", "Экспорт в &HTML...", [this] { AskExport(TExportFormat::Html); });
    file->addSeparator();
    recentMenu_ = file->addMenu("&Последние соединения");
    recentMenu_->setObjectName("recentMenu");
    connect(recentMenu_, &QMenu::aboutToShow, this, &WindowCommands::FillRecentMenu);
    FillRecentMenu();
    file->addSeparator();
    add(file, "quit", "В&ыход", [this] { window_.close(); })->setShortcut(QKeySequence::Quit);

    QMenu* edit = menuBar_->addMenu("&Правка");
    edit->setObjectName("editMenu");
    QAction* copy = add(edit, "copy", "&Копировать", [this] { CopyCells(); });
    copy->setShortcut(QKeySequence::Copy);
    // The text boxes keep their own Ctrl+C: a shortcut the focused widget takes is not run here.
    copy->setShortcutContext(Qt::WindowShortcut);
    window_.addAction(copy);

    QMenu* help = menuBar_->addMenu("&Справка");
    help->setObjectName("helpMenu");
    add(help, "about", "&О программе", [this] { window_.Check(window_.control_->AboutBox()); });
}

void WindowCommands::FillRecentMenu() {
    recentMenu_->clear();
    recent_.Load();
    if (recent_.Items().isEmpty()) {
        recentMenu_->addAction("(пусто)")->setEnabled(false);
        return;
    }
    for (const QString& connection : recent_.Items()) {
        const QString shown = connection.size() > 80 ? connection.left(77) + "..." : connection;
        QAction* action = recentMenu_->addAction(shown);
        action->setToolTip(connection);
        connect(action, &QAction::triggered, this, [this, connection] {
            window_.connection_->setText(connection);
            window_.OnConnect();
        });
    }
}

// ---- the status bar

void WindowCommands::QueryDone(qint64 ms, bool cancelled) {
    queryMs_ = ms;
    layoutMs_ = -1;
    times_->setText("Запрос: " + Seconds(ms));
    if (cancelled) statusBar_->showMessage("Загрузка отменена");
    else statusBar_->clearMessage();
    UpdateRecordCount();
}

void WindowCommands::LayoutDone(qint64 ms) {
    layoutMs_ = ms;
    QString text = "Раскладка: " + Seconds(ms);
    if (queryMs_ >= 0) text = "Запрос: " + Seconds(queryMs_) + ", " + text.toLower();
    times_->setText(text);
    UpdateRecordCount();
}

void WindowCommands::UpdateRecordCount() {
    TKubrixSession& session = window_.Control().Session();
    if (!session.qData().Active()) {
        records_->setText("Нет данных");
        return;
    }
    QString text = QString("Записей: %1").arg(window_.Control().Grid().RecordCount());
    if (const auto& drill = session.DrillDownRecords()) text += QString(", отобрано: %1").arg(drill->size());
    records_->setText(text);
}

void WindowCommands::KubrixShown(TQelKubrix&) { UpdateRecordCount(); }

void WindowCommands::KubrixDrillDown(TQelKubrix&, const std::optional<std::vector<std::int32_t>>&) {
    // The control, listening before us, has narrowed the dataset already.
    UpdateRecordCount();
}

void WindowCommands::ConnectionOpened(const QString& connection) {
    QString error;
    // Not remembering a connection is no reason to stop the user's work: a line in the status bar.
    if (!recent_.Add(connection, &error))
        statusBar_->showMessage(QString("Не удалось запомнить соединение: %1").arg(error));
}

// ---- copying

void WindowCommands::CopyCells() {
    TQelKubrixView* view = window_.Control().ogData();
    const TQelKubrix& grid = window_.Control().Grid();
    std::string text;
    if (view->HasSelection()) {
        const TGridRange r = view->Selection();
        text = CellsAsTabText(grid, {r.Left, r.Top, r.Right, r.Bottom});
    } else {
        text = GridAsTabText(grid);
    }
    QApplication::clipboard()->setText(QString::fromStdString(text));
}

// ---- files

void WindowCommands::ShowError(const QString& text) {
    if (window_.ReportErrorsToStream)
        std::cerr << "kubrix: " << text.toStdString() << std::endl;
    else
        QMessageBox::critical(&window_, "Kubrix", text);
}

bool WindowCommands::OpenState(const QString& fileName) {
    // The control leaves a missing file alone and says little of an unreadable one: the user
    // who chose the file hears why it cannot be read.
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || QFileInfo(fileName).isDir()) {
        ShowError(QString("Не удалось прочитать файл \"%1\".\n%2")
                      .arg(fileName, QFileInfo(fileName).isDir() ? "Это папка." : file.errorString()));
        return false;
    }
    file.close();
    QElapsedTimer clock;
    clock.start();
    if (!window_.Check(window_.control_->LoadState(Utf8ToUtf16(fileName.toStdString())))) return false;
    window_.records_->LoadLayout(fileName.toStdString());
    window_.records_->FollowLayout();
    LayoutDone(clock.elapsed());
    window_.ShowLayoutOfControl();
    window_.stateFile_->setText(fileName);
    return true;
}

bool WindowCommands::SaveState(const QString& fileName) {
    if (!window_.Check(window_.control_->SaveState(Utf8ToUtf16(fileName.toStdString())))) return false;
    window_.stateFile_->setText(fileName);
    try {
        window_.records_->SaveLayout(fileName.toStdString());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
        return false;
    }
    return true;
}

bool WindowCommands::ExportGrid(const QString& fileName, TExportFormat format) {
    std::ostringstream out;
    WriteGrid(window_.Control().Grid(), {format, false}, out);
    const std::string bytes = out.str();
    // A new file renamed over the old one: a failed export keeps what was there.
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes.data(), static_cast<qint64>(bytes.size())) !=
                                                static_cast<qint64>(bytes.size()) ||
        !file.commit()) {
        ShowError(QString("Не удалось записать файл \"%1\".\n%2").arg(fileName, file.errorString()));
        return false;
    }
    statusBar_->showMessage(QString("Таблица записана в %1").arg(fileName), 5000);
    return true;
}

QString WindowCommands::AskFile(const QString& title, const QString& filter, bool save, const QString& suffix) {
    QFileDialog dialog(&window_, title, lastFolder_, filter);
    dialog.setObjectName("fileDialog");
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
    dialog.setDefaultSuffix(suffix);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return {};
    const QString name = dialog.selectedFiles().front();
    lastFolder_ = QFileInfo(name).absolutePath();
    return name;
}

void WindowCommands::AskOpenState() {
    const QString name = AskFile("Открыть состояние", "Состояние (*.state);;Все файлы (*)", false, "state");
    if (!name.isEmpty()) OpenState(name);
}

void WindowCommands::AskSaveState() {
    const QString name = AskFile("Сохранить состояние", "Состояние (*.state);;Все файлы (*)", true, "state");
    if (!name.isEmpty()) SaveState(name);
}

void WindowCommands::AskExport(TExportFormat format) {
    const bool html = format == TExportFormat::Html;
    const QString name = html ? AskFile("Экспорт в HTML", "HTML (*.html *.htm)", true, "html")
                              : AskFile("Экспорт в CSV", "CSV (*.csv)", true, "csv");
    if (!name.isEmpty()) ExportGrid(name, format);
}

}  // namespace kubrix::app
