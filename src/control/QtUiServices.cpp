#include "control/QtUiServices.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace kubrix {

void TQtUiServices::SetScreenCursor(TCursor cursor) {
    const bool had = cursor_ != crDefault;
    cursor_ = cursor;
    if (had) QApplication::restoreOverrideCursor();
    if (cursor == crDefault) return;
    const Qt::CursorShape shape = cursor == crHourGlass || cursor == crSQLWait ? Qt::WaitCursor
                                  : cursor == crAppStart                      ? Qt::BusyCursor
                                                                              : Qt::ArrowCursor;
    QApplication::setOverrideCursor(QCursor(shape));
}

int TQtUiServices::MessageBox(const std::string& text, const std::string& caption, int flags) {
    QMessageBox box;
    box.setWindowTitle(QString::fromStdString(caption));
    // Carriage returns separate the lines of the system's messages.
    box.setText(QString::fromStdString(text).replace("\r\n", "\n").replace('\r', '\n'));
    switch (flags & MB_ICONMASK) {
        case MB_ICONERROR: box.setIcon(QMessageBox::Critical); break;
        case MB_ICONQUESTION: box.setIcon(QMessageBox::Question); break;
        case MB_ICONWARNING: box.setIcon(QMessageBox::Warning); break;
        case MB_ICONINFORMATION: box.setIcon(QMessageBox::Information); break;
        default: break;
    }
    const std::vector<int> ids = MessageBoxButtons(flags);
    const int def = DefaultMessageBoxResult(flags);
    std::vector<std::pair<QAbstractButton*, int>> buttons;
    for (int id : ids) {
        QMessageBox::StandardButton b = QMessageBox::Ok;
        switch (id) {
            case IDOK: b = QMessageBox::Ok; break;
            case IDCANCEL: b = QMessageBox::Cancel; break;
            case IDABORT: b = QMessageBox::Abort; break;
            case IDRETRY: b = QMessageBox::Retry; break;
            case IDIGNORE: b = QMessageBox::Ignore; break;
            case IDYES: b = QMessageBox::Yes; break;
            case IDNO: b = QMessageBox::No; break;
        }
        QPushButton* pb = box.addButton(b);
        if (id == def) box.setDefaultButton(pb);
        buttons.emplace_back(pb, id);
    }
    box.exec();
    for (const auto& [button, id] : buttons)
        if (box.clickedButton() == button) return id;
    return ids.empty() ? IDOK : (std::find(ids.begin(), ids.end(), IDCANCEL) != ids.end() ? IDCANCEL : def);
}

}  // namespace kubrix
