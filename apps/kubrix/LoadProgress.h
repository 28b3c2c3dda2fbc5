#pragma once
// A long load's progress and its "Отмена". The dataset reads rows on the window's own thread and
// tells Step how many it has every few hundred rows; after half a second Step shows a dialog
// with the count and runs the event loop, so the window repaints and the dialog's button works.
// The dialog is window-modal: nothing else of the window can start while the load runs.

#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QProgressDialog>

#include <cstdint>

class QWidget;

namespace kubrix::app {

class TLoadProgress : public QObject {
public:
    explicit TLoadProgress(QWidget* window);
    ~TLoadProgress() override;

    //! Loads shorter than this show nothing.
    static constexpr int ShowAfterMs = 500;

    //! A load begins: the clock starts; nothing shows yet.
    void Begin();
    //! Rows read so far; false once the user asked to stop. Outside Begin/End always true.
    bool Step(std::int64_t rows);
    //! The load ended, whichever way: the dialog goes.
    void End();
    //! Between Begin and End.
    bool Running() const { return running_; }
    //! The user stopped the load (Cancel or Escape in the dialog, or the window closing).
    bool Cancelled() const { return cancelled_; }
    //! Stops the running load at its next step.
    void Cancel() {
        if (running_) cancelled_ = true;
    }
    //! The dialog while it shows.
    QProgressDialog* Dialog() const { return dialog_; }

    //! Begin on construction, End on destruction.
    class Scope {
    public:
        explicit Scope(TLoadProgress& p) : p_(p) { p_.Begin(); }
        ~Scope() { p_.End(); }
        Scope(const Scope&) = delete;
        Scope& operator=(const Scope&) = delete;

    private:
        TLoadProgress& p_;
    };

private:
    QWidget* window_;
    QPointer<QProgressDialog> dialog_;
    QElapsedTimer clock_;
    qint64 lastEvents_ = 0;
    bool running_ = false;
    bool cancelled_ = false;
    bool arrowCursor_ = false;
};

}  // namespace kubrix::app
