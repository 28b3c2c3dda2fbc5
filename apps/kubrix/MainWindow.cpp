#include "MainWindow.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QElapsedTimer>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QSplitter>
#include <QTimer>
#include <QVBoxLayout>

#include <iostream>

#include "RecordsPanel.h"
#include "export/Demo.h"
#include "pivot/Kubrix.h"
#include "support/Text.h"
#include "WindowCommands.h"

namespace kubrix::app {
namespace {

std::u16string W(const QString& s) { return Utf8ToUtf16(s.toStdString()); }

}  // namespace

MainWindow::MainWindow() {
    setWindowTitle("Kubrix");
    auto* top = new QVBoxLayout(this);
    auto* inputs = new QFormLayout;
    connection_ = new QLineEdit(QString::fromStdString(DemoConnectionString()));
    sql_ = new QPlainTextEdit(QString::fromUtf8(kDemoSQL));
    sql_->setFixedHeight(sql_->fontMetrics().lineSpacing() * 3 + 12);
    rows_ = new QLineEdit(QString::fromUtf8(kDemoRows));
    cols_ = new QLineEdit(QString::fromUtf8(kDemoCols));
    data_ = new QLineEdit(QString::fromUtf8(kDemoData));
    dataPlace_ = new QComboBox;
    dataPlace_->addItems({"X", "Y"});
    dataIndex_ = new QSpinBox;
    dataIndex_->setRange(0, 255);
    stateFile_ = new QLineEdit(QDir::home().filePath("kubrix.state"));
    connection_->setObjectName("connection");
    sql_->setObjectName("sql");
    rows_->setObjectName("rows");
    cols_->setObjectName("cols");
    data_->setObjectName("data");
    dataPlace_->setObjectName("dataPlace");
    dataIndex_->setObjectName("dataIndex");
    stateFile_->setObjectName("stateFile");
    auto* fieldRow = new QHBoxLayout;
    fieldRow->addWidget(rows_);
    fieldRow->addWidget(cols_);
    fieldRow->addWidget(data_);
    fieldRow->addWidget(dataPlace_);
    fieldRow->addWidget(dataIndex_);
    inputs->addRow("Соединение", connection_);
    inputs->addRow("SQL", sql_);
    inputs->addRow("Строки; колонки; данные", fieldRow);
    inputs->addRow("Файл состояния", stateFile_);
    top->addLayout(inputs);

    auto* buttons = new QHBoxLayout;
    auto add = [&](const char* text, void (MainWindow::*slot)()) {
        auto* b = new QPushButton(QString::fromUtf8(text));
        connect(b, &QPushButton::clicked, this, slot);
        buttons->addWidget(b);
    };
    add("Подключить", &MainWindow::OnConnect);
    add("Выполнить", &MainWindow::OnRun);
    add("Применить", &MainWindow::OnApply);
    add("Сохранить состояние", &MainWindow::OnSaveState);
    add("Загрузить состояние", &MainWindow::OnLoadState);
    buttons->addStretch();
    top->addLayout(buttons);

    form_ = new TKubrixX(this);
    control_ = ComPtr<IKubrixX>(form_);
    // The boxes show the layout the report editor applied, so that "Применить" keeps it.
    connect(form_, &TKubrixX::layoutEdited, this, &MainWindow::ShowLayoutOfControl);
    records_ = new RecordsPanel(*form_);
    auto* split = new QSplitter(Qt::Vertical);
    split->addWidget(form_);
    split->addWidget(records_);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);
    split->setSizes({380, 260});
    top->addWidget(split, 1);
    commands_ = std::make_unique<WindowCommands>(*this, *top);
    resize(1000, 800);
}

MainWindow::~MainWindow() {
    // The commands listen to the control's model, the records panel watches its dataset: they go first.
    commands_.reset();
    delete records_;
    records_ = nullptr;
    // The control goes with its last reference, before the window frees its other children.
    form_ = nullptr;
    control_ = nullptr;
}

bool MainWindow::Check(HRESULT hr) {
    if (Succeeded(hr)) return true;
    std::shared_ptr<const TErrorInfo> info;
    const QString text = GetErrorInfo(info) == S_OK ? QString::fromStdString(Utf16ToUtf8(info->Description))
                                                    : QString("Ошибка 0x%1").arg(quint32(hr), 8, 16, QChar('0'));
    if (ReportErrorsToStream)
        std::cerr << "kubrix: " << text.toStdString() << std::endl;
    else
        QMessageBox::critical(this, "Kubrix", text);
    return false;
}

void MainWindow::ShowError(const QString& text) {
    if (ReportErrorsToStream)
        std::cerr << "kubrix: " << text.toStdString() << std::endl;
    else
        QMessageBox::critical(this, "Kubrix", text);
}

void MainWindow::OnConnect() {
    if (Check(control_->Connect(W(connection_->text())))) commands_->ConnectionOpened(connection_->text());
}
void MainWindow::OnRun() { RunQuery(); }
void MainWindow::OnApply() { ApplyLayout(); }

bool MainWindow::RunQuery() {
    QElapsedTimer clock;
    clock.start();
    HRESULT hr;
    {
        TLoadProgress::Scope progress(commands_->Progress());
        hr = control_->SetSQL(W(sql_->toPlainText()));
    }
    // A load stopped by the user is no error to show; the dataset is closed and the boxes keep
    // the layout for the next run.
    const bool cancelled = Failed(hr) && commands_->Progress().Cancelled();
    commands_->QueryDone(clock.elapsed(), cancelled);
    if (closeAfterLoad_) QTimer::singleShot(0, this, &QWidget::close);
    if (cancelled || !Check(hr)) return false;
    // A new result drops the placed fields: the layout of the boxes goes onto it again.
    return !form_->Session().qData().Active() || ApplyLayout();
}

bool MainWindow::ApplyLayout() {
    QElapsedTimer clock;
    clock.start();
    const bool ok = Check(control_->Config(W(rows_->text()), W(cols_->text()), W(data_->text()),
                                           W(dataPlace_->currentText()), dataIndex_->value()));
    records_->FollowLayout();
    commands_->LayoutDone(clock.elapsed());
    return ok;
}

void MainWindow::closeEvent(QCloseEvent* event) {
    if (commands_ && commands_->Progress().Running()) {
        closeAfterLoad_ = true;
        commands_->Progress().Cancel();
        event->ignore();
        return;
    }
    QWidget::closeEvent(event);
}

void MainWindow::ShowLayoutOfControl() {
    auto names = [](const TQelOLAPVisibleFields& list) {
        std::string text;
        for (int i = 0; i < list.Count(); ++i) text += list.Field(i).FieldName + ";";
        return QString::fromStdString(text);
    };
    const TQelKubrix& grid = form_->Grid();
    rows_->setText(names(grid.XAxis));
    cols_->setText(names(grid.YAxis));
    data_->setText(names(grid.DataFields));
    dataPlace_->setCurrentIndex(grid.DataPlace == 1 ? 1 : 0);
    dataIndex_->setValue(grid.DataIndex);
}
void MainWindow::OnSaveState() {
    if (!Check(control_->SaveState(W(stateFile_->text())))) return;
    try {
        records_->SaveLayout(stateFile_->text().toStdString());
    } catch (const std::exception& e) {
        ShowError(QString::fromUtf8(e.what()));
    }
}
void MainWindow::OnLoadState() {
    if (Check(control_->LoadState(W(stateFile_->text())))) records_->LoadLayout(stateFile_->text().toStdString());
    records_->FollowLayout();
}

bool MainWindow::RunAll() {
    // The start-up connection is the box's default, not the user's choice: it is not remembered.
    const bool ok = Check(control_->Connect(W(connection_->text()))) && RunQuery();
    records_->FollowLayout();
    return ok;
}

}  // namespace kubrix::app
