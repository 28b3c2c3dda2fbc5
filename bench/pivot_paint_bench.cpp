// Paints a full-HD viewport of the pivot grid widget over a pivot of many records with two vertical
// and two horizontal fields, at the top, the middle and the end of the scroll range, and prints
// milliseconds per frame: first with every group expanded, then with the outer vertical groups
// collapsed (most rows hidden), then for a pivot of a tenth of the records, so that the cost of a frame
// can be compared across row counts. Run offscreen:
//   QT_QPA_PLATFORM=offscreen ./pivot_paint_bench [records] [frames]

#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"
#include "ui/QelKubrixView.h"

#include <QApplication>
#include <QImage>
#include <QScrollBar>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>

#include <time.h>

using namespace kubrix;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) {
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// Processor time of this thread: on a shared machine it varies less than the wall clock.
double ThreadCpuMs() {
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

struct TFrame {
    double wall, cpu;
};

TFrame Measure(TQelKubrixView& view, QImage& image, int scrollValue, int frames) {
    QScrollBar* bar = view.verticalScrollBar();
    bar->setValue(scrollValue);
    view.viewport()->render(&image);  // warm-up
    const int step = view.DefaultRowHeight();
    const auto start = Clock::now();
    const double cpu = ThreadCpuMs();
    for (int i = 0; i < frames; ++i) {
        // One row further each frame, as when scrolling: nothing is reused between frames.
        bar->setValue(std::min(bar->maximum(), scrollValue + (i % 2) * step));
        view.viewport()->render(&image);
    }
    return {MsSince(start) / frames, (ThreadCpuMs() - cpu) / frames};
}

void Report(const char* title, TQelKubrix& model, TQelKubrixView& view, int frames) {
    QImage image(view.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const int max = view.verticalScrollBar()->maximum();
    const TFrame top = Measure(view, image, 0, frames);
    const TFrame middle = Measure(view, image, max / 2, frames);
    const TFrame end = Measure(view, image, std::max(0, max - view.DefaultRowHeight()), frames);
    int shown = 0;
    const TGridAxis& rows = view.Geometry().Rows();
    for (int r = rows.NextVisible(-1); r < rows.Count(); r = rows.NextVisible(r)) ++shown;
    std::printf("  %-32s %7d grid rows (%7d shown) x %3d cols | ms per frame (wall/cpu): top %5.2f/%5.2f"
                "  middle %5.2f/%5.2f  end %5.2f/%5.2f\n",
                title, model.Geometry().Rows().Count(), shown, model.Geometry().Cols().Count(), top.wall, top.cpu,
                middle.wall, middle.cpu, end.wall, end.cpu);
}

// Vertical: A (outer, 1000 values), B (100 values); horizontal: C (10), E (10); data: Q.
void Run(int records, int frames) {
    TQelODBCClient ds;
    ds.FieldDefs().Add("A", ftInteger);
    ds.FieldDefs().Add("B", ftInteger);
    ds.FieldDefs().Add("C", ftInteger);
    ds.FieldDefs().Add("E", ftInteger);
    ds.FieldDefs().Add("Q", ftFloat);
    TClientRecordSource source{ds};
    TQelKubrix model;
    model.SetRecordSource(&source);
    ds.Open();

    auto start = Clock::now();
    std::mt19937 rng(11);
    TField* fa = ds.FieldByName("A");
    TField* fb = ds.FieldByName("B");
    TField* fc = ds.FieldByName("C");
    TField* fe = ds.FieldByName("E");
    TField* fq = ds.FieldByName("Q");
    ds.SetCapacity(records);
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        ds.SetFieldValueInBuffer(fa, i, Variant::FromInt32(static_cast<int>(rng() % 1000)));
        ds.SetFieldValueInBuffer(fb, i, Variant::FromInt32(static_cast<int>(rng() % 100)));
        ds.SetFieldValueInBuffer(fc, i, Variant::FromInt32(2000 + static_cast<int>(rng() % 10)));
        ds.SetFieldValueInBuffer(fe, i, Variant::FromInt32(static_cast<int>(rng() % 10)));
        ds.SetFieldValueInBuffer(fq, i, Variant::FromDouble(static_cast<double>(rng() % 100000) / 100));
    }
    const double loadMs = MsSince(start);

    start = Clock::now();
    model.BeginUpdate();
    model.DataFields.BeginUpdate();
    model.XAxis.BeginUpdate();
    model.YAxis.BeginUpdate();
    model.XAxis.Add("A");
    model.XAxis.Add("B");
    model.YAxis.Add("C");
    model.YAxis.Add("E");
    model.DataFields.Add("Q");
    model.YAxis.EndUpdate();
    model.XAxis.EndUpdate();
    model.DataFields.EndUpdate();
    model.EndUpdate();
    const double pivotMs = MsSince(start);

    TQelKubrixView view(model);
    view.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view.setFrameShape(QFrame::NoFrame);
    view.resize(1920, 1080);
    view.show();
    QApplication::processEvents();
    std::printf("%d records: records added %.0f ms, pivot built %.0f ms; viewport %dx%d\n", records, loadMs, pivotMs,
                view.viewport()->width(), view.viewport()->height());
    Report("all groups expanded", model, view, frames);

    // Collapse every value of the outer vertical field: one row per group stays.
    start = Clock::now();
    for (const auto& entry : model.OLAPFields().FieldByName("A").Values) entry->Expanded = false;
    model.UpdateGrid();
    const double collapseMs = MsSince(start);
    Report("outer vertical groups collapsed", model, view, frames);
    std::printf("  (collapsing and updating the grid: %.0f ms)\n", collapseMs);
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1'000'000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;
    std::printf("pivot grid paint, %d frames per position\n", frames);
    Run(records, frames);
    if (argc <= 1) Run(records / 10, frames);
    return 0;
}
