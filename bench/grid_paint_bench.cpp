// Paints a full-HD viewport of the base grid over a million rows with text in every cell, at the top,
// the middle and the end of the scroll range, and prints milliseconds per frame. Run offscreen:
//   QT_QPA_PLATFORM=offscreen ./grid_paint_bench [frames]

#include "ui/QelCustomGrid.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <QScrollBar>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

using namespace kubrix;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Text in every cell: numbers right-aligned in the scrolled cells, labels in the fixed ones.
class TTextGrid : public TQelCustomGrid {
public:
    using TQelCustomGrid::TQelCustomGrid;
    long Cells = 0;

protected:
    void DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state) override {
        ++Cells;
        if (state & csFixed) {
            painter.drawText(rect.adjusted(2, 0, -2, 0), Qt::AlignLeft | Qt::AlignVCenter,
                             QString::number(col == 0 ? row : col));
            return;
        }
        painter.drawText(rect.adjusted(2, 0, -3, 0), Qt::AlignRight | Qt::AlignVCenter,
                         QString::number(static_cast<double>(row) * 20 + col + 0.25, 'f', 2));
    }
};

struct TResult {
    double ms;
    double cellsPerFrame;
};

TResult Measure(TTextGrid& grid, QImage& image, int scrollValue, int frames) {
    grid.verticalScrollBar()->setValue(scrollValue);
    grid.viewport()->render(&image);  // warm-up
    grid.Cells = 0;
    const auto start = Clock::now();
    for (int i = 0; i < frames; ++i) {
        // Move by one row each frame, as when scrolling, so nothing can be reused between frames.
        grid.verticalScrollBar()->setValue(scrollValue + (i % 2) * grid.DefaultRowHeight());
        grid.viewport()->render(&image);
    }
    return {MsSince(start) / frames, static_cast<double>(grid.Cells) / frames};
}

void Run(const char* title, int rows, int keepEvery, int frames) {
    const int cols = 20;
    TTextGrid grid;
    grid.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    grid.setFrameShape(QFrame::NoFrame);
    auto start = Clock::now();
    {
        TGridUpdateGuard batch(grid.Geometry());
        grid.SetColCount(cols);
        grid.SetRowCount(rows);
        grid.SetFixedCols(1);
        grid.SetFixedRows(2);
        grid.SetColWidth(0, 70);
        for (int c = 1; c < cols; ++c) grid.SetColWidth(c, 96);
        if (keepEvery > 1) {
            TGridAxis& axis = grid.Geometry().Rows();
            axis.FillActual(2, rows - 1, 0);
            for (int r = 2; r < rows; r += keepEvery) axis.Show(r);
        }
    }
    const double setupMs = MsSince(start);
    grid.resize(1920, 1080);
    grid.show();
    QApplication::processEvents();
    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const int max = grid.verticalScrollBar()->maximum();
    const TResult top = Measure(grid, image, 0, frames);
    const TResult middle = Measure(grid, image, max / 2, frames);
    const TResult end = Measure(grid, image, std::max(0, max - grid.DefaultRowHeight()), frames);
    std::printf("%-44s %9d rows  setup %7.1f ms  frame ms: top %6.2f  middle %6.2f  end %6.2f  (%.0f cells/frame)\n",
                title, rows, setupMs, top.ms, middle.ms, end.ms, middle.cellsPerFrame);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int frames = argc > 1 ? std::max(1, std::atoi(argv[1])) : 60;
    std::printf("viewport 1920x1080, 20 columns, text in every cell, %d frames per position\n", frames);
    Run("all rows visible", 10'000, 1, frames);
    Run("all rows visible", 1'000'000, 1, frames);
    Run("one row in ten visible (collapsed groups)", 1'000'000, 10, frames);
    Run("one row in a thousand visible", 1'000'000, 1000, frames);

    // Geometry alone: the line at an offset near the end of a million mostly hidden rows.
    TGridGeometry geometry;
    TGridAxis& rows = geometry.Rows();
    rows.SetCount(1'000'000);
    rows.FillActual(0, rows.Count() - 1, 0);
    for (int r = 0; r < rows.Count(); r += 10) rows.Show(r);
    const auto start = Clock::now();
    long sum = 0;
    const int lookups = 1'000'000;
    for (int i = 0; i < lookups; ++i) sum += rows.LineAt((static_cast<std::int64_t>(i) * 7919) % rows.Extent());
    std::printf("line at offset over 1,000,000 rows: %.3f us per lookup (checksum %ld)\n",
                MsSince(start) * 1000.0 / lookups, sum % 1000);
    return 0;
}
