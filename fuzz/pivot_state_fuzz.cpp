// Restores a pivot's layout from any byte string. Nothing may crash, hang or allocate beyond
// the input's size, every update bracket must be closed afterwards, and the grid must still
// update and save its state.
//
// The first input byte picks the form: even, the rest of the input is the state string as it
// stands; odd, it is laid over a valid state of the same pivot (so that deep values are reached
// with few mutations), byte for byte, and the result cut to the input's length when shorter.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"

using namespace kubrix;

namespace {

struct SmallPivot {
    SmallPivot() {
        ds.FieldDefs().Add("Region", ftString, 6);
        ds.FieldDefs().Add("Year", ftInteger, 0);
        ds.FieldDefs().Add("Sum", ftFloat, 0);
        ds.FieldDefs().Add("Note", ftMemo, 0);
        grid.SetRecordSource(&source);
        ds.Open();
        const char* regions[] = {"N", "S", "E", "W"};
        for (int i = 0; i < 12; ++i) {
            ds.AddRecord();
            const int r = ds.RealRecordCount() - 1;
            ds.SetFieldValueInBuffer(ds.Fields()[0], r, i % 5 == 4 ? Variant::Null() : Variant::FromAnsi(regions[i % 4]));
            ds.SetFieldValueInBuffer(ds.Fields()[1], r, Variant::FromInt32(2019 + i % 3));
            ds.SetFieldValueInBuffer(ds.Fields()[2], r, Variant::FromDouble(i * 1.5));
            ds.SetFieldValueInBuffer(ds.Fields()[3], r, Variant::FromAnsi(i % 2 ? "a" : "b"));
        }
    }
    TQelODBCClient ds;
    TClientRecordSource source{ds};
    TQelKubrix grid;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    SmallPivot p;
    p.grid.Config("Region;Note;", "Year;", "Sum;", 0, 0);
    std::string state(reinterpret_cast<const char*>(data) + 1, size - 1);
    if (data[0] & 1) {
        p.grid.SortByData(false, true, nullptr, nullptr, 0, true);
        std::string valid = p.grid.GetFullState();
        for (std::size_t i = 0; i < state.size() && i < valid.size(); ++i) valid[i] ^= state[i];
        if (state.size() < valid.size() && (data[0] & 2)) valid.resize(state.size());
        state = valid;
        p.grid.Config("Year;", "Region;", "Sum;", 1, 0);
    }
    try {
        p.grid.SetFullState(state);
    } catch (const std::exception&) {
        // a clear error is an accepted outcome
    }
    if (p.grid.UpdateLock != 0 || p.grid.XAxis.UpdateCount() != 0 || p.grid.YAxis.UpdateCount() != 0 ||
        p.grid.DataFields.UpdateCount() != 0) {
        std::abort();
    }
    for (const TQelOLAPVisibleFields* axis : {&p.grid.XAxis, &p.grid.YAxis}) {
        for (int r = 0; r < axis->RowCount(); ++r) {
            if (axis->Rows[static_cast<std::size_t>(r)]->OwnRow != r) std::abort();
        }
    }
    try {
        p.grid.UpdateGrid();
        const std::string again = p.grid.GetFullState();
        // What was restored restores again without error.
        SmallPivot q;
        q.grid.SetFullState(again);
    } catch (const std::exception&) {
        // the saved ordering may name a value the restored data lacks; still no crash
    }
    return 0;
}
