#include "LoadProgress.h"

#include <QApplication>
#include <QProgressDialog>

namespace kubrix::app {
namespace {

// How often the window gets to run its events while rows arrive.
constexpr qint64 kEventsEveryMs = 30;

}  // namespace

TLoadProgress::TLoadProgress(QWidget* window) : QObject(window), window_(window) {}

TLoadProgress::~TLoadProgress() { End(); }

void TLoadProgress::Begin() {
    End();
    running_ = true;
    cancelled_ = false;
    lastEvents_ = 0;
    clock_.start();
}

bool TLoadProgress::Step(std::int64_t rows) {
    if (!running_) return true;
    if (cancelled_) return false;
    const qint64 now = clock_.elapsed();
    if (now < ShowAfterMs) return true;
    if (!dialog_) {
        dialog_ = new QProgressDialog(window_);
        dialog_->setObjectName("loadProgress");
        dialog_->setWindowTitle("Kubrix");
        dialog_->setCancelButtonText("Отмена");
        dialog_->setRange(0, 0);  // the number of rows is not known in advance
        dialog_->setWindowModality(Qt::WindowModal);
        dialog_->setAutoReset(false);
        dialog_->setAutoClose(false);
        dialog_->setMinimumDuration(0);
        connect(dialog_, &QProgressDialog::canceled, this, [this] { Cancel(); });
        // The load's wait cursor would hide that the button can be pressed.
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        arrowCursor_ = true;
        dialog_->show();
    } else if (now - lastEvents_ < kEventsEveryMs) {
        return !cancelled_;
    }
    lastEvents_ = now;
    dialog_->setLabelText(QString("Загружено строк: %1").arg(rows));
    QApplication::processEvents();
    return !cancelled_;
}

void TLoadProgress::End() {
    running_ = false;
    if (dialog_) delete dialog_.data();
    if (arrowCursor_) QApplication::restoreOverrideCursor();
    arrowCursor_ = false;
}

}  // namespace kubrix::app
