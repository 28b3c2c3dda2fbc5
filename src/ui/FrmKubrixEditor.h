#pragma once
// The report editor: a modal dialog in which the user lays out the pivot report by dragging
// entries between four lists (all fields, vertical fields, horizontal fields, data). Nothing
// reaches the grid until "Применить", which hands the new layout to the grid in one call;
// "Отмена" leaves the grid alone.
//
// Dragging is done with the dialog's own press-move-release handling on the lists rather than
// a platform drag: the lists belong to one dialog, and the same code then runs on every
// platform plugin, the offscreen one included.

#include <QDialog>

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "pivot/EditorRules.h"

class QLabel;
class QListWidget;
class QPushButton;

namespace kubrix {

class TQelKubrix;

//! Applies a layout to the grid: vertical, horizontal and data name lists (each name followed
//! by ";"), data place and data index, in the order the grid's configuration takes them.
using TKubrixEditorApply = std::function<void(const std::string& xFields, const std::string& yFields,
                                              const std::string& dFields, int dataPlace, int dataIndex)>;

class TfrmKubrixEditor : public QDialog {
    Q_OBJECT

public:
    explicit TfrmKubrixEditor(QWidget* parent = nullptr);
    ~TfrmKubrixEditor() override;

    //! Fills the lists from the report and keeps apply for "Применить". Raises
    //! "Field not found: " + name for a placed name that is no field.
    void SetGrid(const TKubrixEditorInput& input, TKubrixEditorApply apply);

    //! The list widget showing one of the four lists.
    QListWidget* List(TEditorList list) const { return lists_[list]; }
    //! The heading over a list.
    QLabel* Heading(TEditorList list) const { return headings_[list]; }
    QPushButton* OkButton() const { return bOk_; }
    QPushButton* CancelButton() const { return bCancel_; }
    //! The working state the lists show.
    const TKubrixEditorLists& Lists() const { return model_; }

    //! Distance in pixels (along either axis) the mouse moves before a press becomes a drag.
    static constexpr int DragThreshold = 5;

public slots:
    //! "Применить": applies the layout under the busy cursor and closes with the OK result; an
    //! error from the grid is shown and the dialog stays open.
    void bOkClick();
    //! "Отмена": closes with the cancel result; nothing is applied.
    void bCancelClick();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // A press on a list entry, and whether it has become a drag.
    struct TPendingDrag {
        TEditorList Source = elAllFields;
        int Index = -1;
        QPoint PressGlobal;
        bool Started = false;
    };

    // The list whose widget (or part of it) lies under a screen point.
    std::optional<TEditorList> ListAt(const QPoint& global) const;
    std::optional<TEditorList> ListOfViewport(const QObject* viewport) const;
    // Shows the model in the four widgets; current = the entry to select in list current.
    void Refresh(std::optional<TEditorList> current = std::nullopt, int row = -1);
    void EndDrag();

    TKubrixEditorLists model_;
    TKubrixEditorApply apply_;
    std::array<QListWidget*, 4> lists_{};
    std::array<QLabel*, 4> headings_{};
    QPushButton* bOk_ = nullptr;
    QPushButton* bCancel_ = nullptr;
    std::optional<TPendingDrag> drag_;
};

//! Opens the report editor modally with its top-left corner at topLeft (screen coordinates),
//! on the report described by input; "Применить" calls apply. Returns the dialog's result.
int ShowKubrixEditor(QWidget* parent, const QPoint& topLeft, const TKubrixEditorInput& input,
                     TKubrixEditorApply apply);
//! The same on the report a grid holds now (the grid's own configuration is what apply calls).
int ShowKubrixEditor(QWidget* parent, const QPoint& topLeft, const TQelKubrix& grid, TKubrixEditorApply apply);

}  // namespace kubrix
