#pragma once
// The control's pivot grid widget `ogData`: a grid over the model's own geometry that shows
// each cell's text as the model describes it, and opens the report editor from the top-left cell.

#include <functional>

#include "pivot/Kubrix.h"
#include "ui/QelCustomGrid.h"

namespace kubrix {

class TKubrixGridPane : public TQelCustomGrid {
    Q_OBJECT

public:
    explicit TKubrixGridPane(QWidget* parent = nullptr);
    ~TKubrixGridPane() override;

    TQelKubrix& Model() { return model_; }
    //! Called by a double click on the top-left cell when the grid may be edited.
    std::function<void()> EditGrid;

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state) override;
    QString GetEditText(int col, int row) const override;
    void DblClick(QMouseEvent* event, TGridCoord cell) override;

private:
    //! Repaints when the model shows a new state.
    class Model_ : public TQelKubrix {
    public:
        explicit Model_(TKubrixGridPane& pane) : pane_(pane) {}

    protected:
        void Repaint() override { pane_.viewport()->update(); }

    private:
        TKubrixGridPane& pane_;
    };
    Model_ model_;
};

}  // namespace kubrix
