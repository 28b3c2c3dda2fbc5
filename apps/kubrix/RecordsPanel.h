#pragma once
// The window's records panel: a data grid over the control's dataset showing the records behind
// the last drill-down (every record when none is in force), with the totals row on for the
// layout's number data fields, Ctrl+F search and the columns editor. Its column layout is saved
// beside the window's state file.

#include <QWidget>

#include <string>

#include "support/Variant.h"

class QLabel;

namespace kubrix {
class TKubrixX;
class TQelDBGrid;
}  // namespace kubrix

namespace kubrix::app {

class RecordsPanel : public QWidget {
    Q_OBJECT

public:
    explicit RecordsPanel(TKubrixX& control, QWidget* parent = nullptr);
    ~RecordsPanel() override;

    TQelDBGrid& Grid() { return *grid_; }
    //! Switches the totals of the layout's data fields on (and only those) and shows the totals
    //! row when any of them carries totals.
    void FollowLayout();
    //! The file the column layout is kept in beside a state file.
    static std::string LayoutFileOf(const std::string& stateFile);
    //! Writes the column layout beside the state file (a new file renamed over the old one).
    void SaveLayout(const std::string& stateFile);
    //! Restores the column layout kept beside the state file; a missing file changes nothing.
    void LoadLayout(const std::string& stateFile);

private:
    void UpdateCaption();

    TKubrixX& control_;
    TQelDBGrid* grid_ = nullptr;
    QLabel* caption_ = nullptr;
    Variant layout_;  // the last restored layout, applied again when the dataset opens anew
};

//! Drills down at the cell of "ROW,COL" (addressed as `kubrix export --drill` does: lines and
//! cells of the output without numbers, header lines included). False with a message otherwise.
bool DrillAt(TKubrixX& control, const std::string& spec, std::string& error);

}  // namespace kubrix::app
