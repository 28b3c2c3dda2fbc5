// A window with a title above the pivot control, which shows a query's pivot.
//
//   kubrix_embed CONNECTION-STRING SQL ROWS COLS DATA [--show]
//
// Without --show it lays the window out, paints it once into an image, checks that the
// control painted its grid and exits: this is how the tests run it.

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>
#include <cstring>
#include <memory>

#include <kubrix/KubrixWidget.h>

namespace {

std::u16string Wide(const char* text) { return QString::fromUtf8(text).toStdU16String(); }

//! Prints the control's error for a failed call.
bool Check(kubrix::HRESULT hr, const char* what) {
    if (kubrix::Succeeded(hr)) return true;
    std::shared_ptr<const kubrix::TErrorInfo> info;
    const QString description = kubrix::GetErrorInfo(info) == kubrix::S_OK
                                    ? QString::fromStdU16String(info->Description) : QString();
    std::fprintf(stderr, "%s failed (0x%08X): %s\n", what, unsigned(hr), description.toUtf8().constData());
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 6) {
        std::fprintf(stderr, "usage: kubrix_embed CONNECTION-STRING SQL ROWS COLS DATA [--show]\n");
        return 2;
    }
    const bool show = argc > 6 && std::strcmp(argv[6], "--show") == 0;
    QApplication app(argc, argv);

    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    layout->addWidget(new QLabel("Продажи по регионам"));
    kubrix::ComPtr<kubrix::IKubrixX> control;
    layout->addWidget(kubrix::CreateKubrixWidget(&window, &control), 1);
    window.resize(800, 500);

    if (!Check(control->Connect(Wide(argv[1])), "Connect") || !Check(control->SetSQL(Wide(argv[2])), "SetSQL") ||
        !Check(control->Config(Wide(argv[3]), Wide(argv[4]), Wide(argv[5]), u"X", 0), "Config"))
        return 1;
    window.show();
    if (show) return app.exec();

    QApplication::processEvents();
    QImage image = window.grab().toImage();
    // The grid paints its header cells in another colour than the window's background.
    const QColor background = window.palette().color(QPalette::Window);
    int other = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            if (image.pixelColor(x, y) != background) ++other;
    std::printf("window %dx%d, %d sampled pixels painted\n", image.width(), image.height(), other);
    if (other == 0) return 1;
    // The control goes with its last reference, before the window frees its children.
    control = nullptr;
    return 0;
}
