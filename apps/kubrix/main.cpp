// kubrix: with no arguments a window on the demo database; `kubrix export ...` writes the
// pivot without a display.

#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <iostream>
#include <string>

#include "export/Export.h"
#include "export/Records.h"
#include "MainWindow.h"
#include "RecordsPanel.h"
#include "control/QtUiServices.h"
#include "support/UiServices.h"
#include "ui/FrmQelLoginDlg.h"

namespace {

constexpr const char* kUsage =
    "usage: kubrix                       a window on the demo database\n"
    "       kubrix --screenshot FILE     the same; saves the window to FILE once shown and quits\n"
    "                                    when standard input ends (errors go to standard error)\n"
    "              [--drill ROW,COL]     first drills down at the cell ROW,COL (as kubrix export\n"
    "                                    --drill addresses it), so the records panel shows its records\n"
    "       kubrix export --sql SQL ...  writes the pivot (kubrix export --help)\n"
    "       kubrix records --sql SQL ... writes the records (kubrix records --help)\n"
    "       kubrix --help                this text\n";

bool Set(const char* name) {
    const char* v = std::getenv(name);
    return v != nullptr && *v != '\0';
}

//! Whether Qt can open a window here: a platform chosen by hand is trusted (offscreen,
//! vnc...), otherwise an X or Wayland display must be named.
bool DisplayAvailable() {
    const std::string platform = Set("QT_QPA_PLATFORM") ? std::getenv("QT_QPA_PLATFORM") : "";
    if (platform.rfind("xcb", 0) == 0) return Set("DISPLAY");
    if (platform.rfind("wayland", 0) == 0) return Set("WAYLAND_DISPLAY");
    if (!platform.empty()) return true;
    return Set("DISPLAY") || Set("WAYLAND_DISPLAY");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "export") == 0) {
        // No application object at all: the export needs no display.
        return kubrix::app::RunExport(argc - 2, argv + 2);
    }
    if (argc >= 2 && std::strcmp(argv[1], "records") == 0) {
        if (argc == 3 && std::strcmp(argv[2], "--help") == 0) return kubrix::app::RunRecords(0, nullptr) == 2 ? 0 : 1;
        return kubrix::app::RunRecords(argc - 2, argv + 2);
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--help") == 0 || std::strcmp(argv[i], "-h") == 0) {
            std::cout << kUsage;
            return 0;
        }
    }
    QString screenshot;
    std::string drill;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--screenshot") == 0 && i + 1 < argc) {
            screenshot = QString::fromLocal8Bit(argv[++i]);
        } else if (std::strcmp(argv[i], "--drill") == 0 && i + 1 < argc) {
            drill = argv[++i];
        } else {
            std::cerr << "kubrix: unknown argument: " << argv[i] << "\n" << kUsage;
            return 2;
        }
    }
    if (!DisplayAvailable()) {
        std::cerr << "kubrix: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are not set).\n"
                     "Run it under a virtual display:  xvfb-run -a kubrix\n"
                     "or write the pivot without one:  kubrix export --sql \"SELECT ...\" --rows \"region;\" "
                     "--data \"amount;\" --format text\n";
        return 1;
    }
    const bool quiet = !screenshot.isEmpty();
    QApplication app(argc, argv);
    // A screenshot run has nobody to answer a dialog: questions and errors go to standard error.
    kubrix::TQtUiServices qtUi;
    kubrix::DefaultUiServices streamUi;
    kubrix::UiServicesScope uiScope(quiet ? static_cast<kubrix::IUiServices&>(streamUi)
                                          : static_cast<kubrix::IUiServices&>(qtUi));
    if (!quiet) kubrix::InstallLoginDialog();
    kubrix::app::MainWindow window;
    window.ReportErrorsToStream = quiet;
    window.show();
    bool ok = window.RunAll();
    if (ok && !drill.empty()) {
        std::string error;
        ok = kubrix::app::DrillAt(window.Control(), drill, error);
        if (!ok) std::cerr << "kubrix: " << error << std::endl;
    }
    if (quiet && !ok) return 1;
    if (!screenshot.isEmpty()) {
        // Once the event loop has shown and painted the window.
        QTimer::singleShot(0, &window, [&window, screenshot] {
            window.repaint();
            const bool saved = window.grab().save(screenshot, "PNG");
            std::cout << (saved ? "screenshot: " : "screenshot failed: ") << screenshot.toStdString() << std::endl;
            if (!saved) QApplication::exit(1);
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
