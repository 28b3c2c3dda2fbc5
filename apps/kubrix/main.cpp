// kubrix: with no arguments a window on the demo database; `kubrix export ...` writes the
// pivot without a display.

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstring>
#include <iostream>

#include "export/Export.h"
#include "export/Records.h"
#include "MainWindow.h"
#include "control/QtUiServices.h"
#include "ui/FrmQelLoginDlg.h"

namespace {

constexpr const char* kUsage =
    "usage: kubrix                       a window on the demo database\n"
    "       kubrix --screenshot FILE     the same; saves the window to FILE once shown and quits\n"
    "                                    when standard input ends\n"
    "       kubrix export --sql SQL ...  writes the pivot (kubrix export --help)\n"
    "       kubrix records --sql SQL ... writes the records (kubrix records --help)\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "export") == 0) {
        // No application object at all: the export needs no display.
        if (argc == 3 && std::strcmp(argv[2], "--help") == 0) return kubrix::app::RunExport(0, nullptr) == 2 ? 0 : 1;
        return kubrix::app::RunExport(argc - 2, argv + 2);
    }
    if (argc >= 2 && std::strcmp(argv[1], "records") == 0) {
        if (argc == 3 && std::strcmp(argv[2], "--help") == 0) return kubrix::app::RunRecords(0, nullptr) == 2 ? 0 : 1;
        return kubrix::app::RunRecords(argc - 2, argv + 2);
    }
    QString screenshot;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else {
            std::cerr << kUsage;
            return 2;
        }
    }
    QApplication app(argc, argv);
    kubrix::TQtUiServices ui;
    kubrix::UiServicesScope uiScope(ui);
    kubrix::InstallLoginDialog();
    kubrix::app::MainWindow window;
    window.show();
    const bool ok = window.RunAll();
    if (!screenshot.isEmpty()) {
        // Once the event loop has shown and painted the window.
        QTimer::singleShot(0, &window, [&window, screenshot, ok] {
            window.repaint();
            const bool saved = window.grab().save(screenshot, "PNG");
            std::cout << (saved ? "screenshot: " : "screenshot failed: ") << screenshot.toStdString() << std::endl;
            if (!saved || !ok) QApplication::exit(1);
        });
        // The caller closes the window by ending standard input (a script has no window manager).
        auto* input = new QSocketNotifier(STDIN_FILENO, QSocketNotifier::Read, &window);
        QObject::connect(input, &QSocketNotifier::activated, &window, [input] {
            char buf[256];
            if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) {
                input->setEnabled(false);
                QApplication::quit();
            }
        });
    }
    return app.exec();
}
