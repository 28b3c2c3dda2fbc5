// The data grid over a million records in memory: what opening the dataset in the grid costs
// (time and grid rows made), and milliseconds per frame of a full-HD grid at the top, the middle
// and the end of the records, with text in every cell, a check column and the totals band on.
// Run offscreen:
//   QT_QPA_PLATFORM=offscreen ./dbgrid_paint_bench [records] [frames]

#include "ui/QelDBGrid.h"

#include <QApplication>
#include <QImage>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"

using namespace kubrix;

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start) { return std::chrono::duration<double, std::milli>(Clock::now() - start).count(); }

}  // namespace

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    const int records = argc > 1 ? std::max(1, std::atoi(argv[1])) : 1'000'000;
    const int frames = argc > 2 ? std::max(1, std::atoi(argv[2])) : 30;

    TQelODBCClient ds;
    ds.FieldDefs().Add("ID", ftInteger);
    ds.FieldDefs().Add("REGION", ftString, 30);
    ds.FieldDefs().Add("MANAGER", ftString, 30);
    ds.FieldDefs().Add("YEAR", ftInteger);
    ds.FieldDefs().Add("PAID", ftBoolean);
    ds.FieldDefs().Add("QTY", ftInteger);
    ds.FieldDefs().Add("AMOUNT", ftFloat);
    ds.FieldDefs().Add("NOTE", ftString, 40);
    ds.Open();
    auto start = Clock::now();
    const char* regions[] = {"Москва", "Казань", "Самара", "Новосибирск", "Санкт-Петербург"};
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        ds.SetFieldValueInBuffer(ds.Fields()[0], i, Variant::FromInt32(i + 1));
        ds.SetFieldValueInBuffer(ds.Fields()[1], i, Variant::FromAnsi(regions[i % 5]));
        ds.SetFieldValueInBuffer(ds.Fields()[2], i, Variant::FromAnsi("Менеджер " + std::to_string(i % 97)));
        ds.SetFieldValueInBuffer(ds.Fields()[3], i, Variant::FromInt32(2020 + i % 6));
        ds.SetFieldValueInBuffer(ds.Fields()[4], i, Variant::FromBool(i % 3 == 0));
        ds.SetFieldValueInBuffer(ds.Fields()[5], i, Variant::FromInt32(i % 50));
        ds.SetFieldValueInBuffer(ds.Fields()[6], i, Variant::FromDouble(i * 1.25));
        ds.SetFieldValueInBuffer(ds.Fields()[7], i, Variant::FromAnsi("запись номер " + std::to_string(i)));
    }
    ds.First();
    std::printf("records: %d, filled in %.0f ms\n", records, MsSince(start));

    TDataSource source;
    source.SetDataSet(&ds);
    TQelDBGrid grid;
    grid.resize(1920, 1080);
    start = Clock::now();
    grid.SetDataSource(&source);
    const double openMs = MsSince(start);
    std::printf("opening in the grid: %.3f ms, grid rows made: %d (window of %d records)\n", openMs, grid.RowCount(),
                grid.WindowRows());
    grid.Column(4).ImageList = StandardImageList();
    grid.TotalsInfo().Setshow_totals(true);
    TQelDBGrid::SetTotalSwitch(ds.FieldByName("QTY"), true);
    grid.show();
    QApplication::processEvents();

    QImage image(grid.viewport()->size(), QImage::Format_ARGB32_Premultiplied);
    const struct {
        const char* name;
        int pos;
    } places[] = {{"top", 0}, {"middle", records / 2}, {"end", records - 1}};
    for (const auto& place : places) {
        grid.MoveToPos(place.pos);
        grid.viewport()->render(&image);  // warm-up
        start = Clock::now();
        for (int f = 0; f < frames; ++f) grid.viewport()->render(&image);
        std::printf("paint at the %-6s (record %7d): %.2f ms per frame\n", place.name, place.pos + 1, MsSince(start) / frames);
    }
    // Scrolling one record and painting, as the wheel does.
    start = Clock::now();
    for (int f = 0; f < frames; ++f) {
        grid.MoveToPos(records / 2 + f);
        grid.viewport()->render(&image);
    }
    std::printf("move one record and paint: %.2f ms per frame\n", MsSince(start) / frames);
    return 0;
}
