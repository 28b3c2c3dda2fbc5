#include "MainWindow.h"

#include <QComboBox>
#include <QDir>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include "export/Demo.h"
#include "support/Text.h"

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
    top->addWidget(form_, 1);
    resize(1000, 700);
}

MainWindow::~MainWindow() {
    // The control goes with its last reference, before the window frees its other children.
    form_ = nullptr;
    control_ = nullptr;
}

bool MainWindow::Check(HRESULT hr) {
    if (Succeeded(hr)) return true;
    std::shared_ptr<const TErrorInfo> info;
    const QString text = GetErrorInfo(info) == S_OK ? QString::fromStdString(Utf16ToUtf8(info->Description))
                                                    : QString("Ошибка 0x%1").arg(quint32(hr), 8, 16, QChar('0'));
    QMessageBox::critical(this, "Kubrix", text);
    return false;
}

void MainWindow::OnConnect() { Check(control_->Connect(W(connection_->text()))); }
void MainWindow::OnRun() { Check(control_->SetSQL(W(sql_->toPlainText()))); }
void MainWindow::OnApply() {
    Check(control_->Config(W(rows_->text()), W(cols_->text()), W(data_->text()), W(dataPlace_->currentText()),
                           dataIndex_->value()));
}
void MainWindow::OnSaveState() { Check(control_->SaveState(W(stateFile_->text()))); }
void MainWindow::OnLoadState() { Check(control_->LoadState(W(stateFile_->text()))); }

bool MainWindow::RunAll() {
    return Check(control_->Connect(W(connection_->text()))) && Check(control_->SetSQL(W(sql_->toPlainText()))) &&
           Check(control_->Config(W(rows_->text()), W(cols_->text()), W(data_->text()), W(dataPlace_->currentText()),
                                  dataIndex_->value()));
}

}  // namespace kubrix::app
