#pragma once
// What the window offers around the control, as users of desktop pivot tools expect it: the
// File, Edit and Help menus (layouts and exports through file dialogs, recent connections, the
// about box), Ctrl+C copying cells as tab-separated text, the status bar with the record count
// and the time the last query and layout took, and the progress of long loads.

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>

#include "LoadProgress.h"
#include "RecentConnections.h"
#include "pivot/Kubrix.h"
#include "session/GridExport.h"

class QBoxLayout;
class QLabel;
class QMenu;
class QMenuBar;
class QStatusBar;

namespace kubrix::app {

class MainWindow;

class WindowCommands : public QObject, private IKubrixListener {
    Q_OBJECT

public:
    //! Puts the menu bar at the top of layout and the status bar at its bottom.
    WindowCommands(MainWindow& window, QBoxLayout& layout);
    ~WindowCommands() override;

    TLoadProgress& Progress() { return progress_; }
    TRecentConnections& Recent() { return recent_; }
    QMenuBar* MenuBar() const { return menuBar_; }
    QStatusBar* StatusBar() const { return statusBar_; }

    //! A query ran (ms: its execution and load); cancelled when the user stopped its load.
    void QueryDone(qint64 ms, bool cancelled);
    //! A layout was applied in ms.
    void LayoutDone(qint64 ms);
    //! A connection opened: it goes first among the recent ones.
    void ConnectionOpened(const QString& connection);
    //! Shows the record counts of the dataset (and of the drill-down in force).
    void UpdateRecordCount();

    //! Copies the selected cells, or every shown cell when none are selected, as tab-separated
    //! text to the clipboard.
    void CopyCells();
    //! Restores a layout from a state file; an error message when it cannot be read.
    bool OpenState(const QString& fileName);
    bool SaveState(const QString& fileName);
    //! Writes the grid as the export command does; an error message when it cannot be written.
    bool ExportGrid(const QString& fileName, TExportFormat format);

private:
    void BuildMenus();
    void FillRecentMenu();
    //! The file the user chose in a file dialog (empty when none); the dialog opens in the folder
    //! of the last file chosen and adds suffix to a name without one.
    QString AskFile(const QString& title, const QString& filter, bool save, const QString& suffix);
    void AskOpenState();
    void AskSaveState();
    void AskExport(TExportFormat format);
    void ShowError(const QString& text);
    void KubrixShown(TQelKubrix& grid) override;
    void KubrixDrillDown(TQelKubrix& grid, const std::optional<std::vector<std::int32_t>>& records) override;

    MainWindow& window_;
    TLoadProgress progress_;
    TRecentConnections recent_;
    QMenuBar* menuBar_ = nullptr;
    QMenu* recentMenu_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QLabel* records_ = nullptr;
    QLabel* times_ = nullptr;
    qint64 queryMs_ = -1;
    qint64 layoutMs_ = -1;
    //! Folder of the last file chosen, where the next dialog opens.
    QString lastFolder_;
};

}  // namespace kubrix::app
