// Compiles any text as a filter over a small dataset and evaluates it on every record.
// Nothing may crash, hang or recurse without bound: a text compiles and evaluates, or fails
// with an error that carries a message.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <exception>
#include <string>

#include "dataset/QelODBCClient.h"

using namespace kubrix;

namespace {

struct SmallDataset {
    SmallDataset() {
        ds.FieldDefs().Add("Region", ftString, 6);
        ds.FieldDefs().Add("Year", ftInteger, 0);
        ds.FieldDefs().Add("Amount", ftFloat, 0);
        ds.FieldDefs().Add("Day", ftDateTime, 0);
        ds.FieldDefs().Add("Note", ftMemo, 0);
        ds.Open();
        const char* regions[] = {"N", "Юг", "E'", ""};
        for (int i = 0; i < 6; ++i) {
            ds.AddRecord();
            const int r = ds.RealRecordCount() - 1;
            ds.SetFieldValueInBuffer(ds.Fields()[0], r, i == 5 ? Variant::Null() : Variant::FromAnsi(regions[i % 4]));
            ds.SetFieldValueInBuffer(ds.Fields()[1], r, Variant::FromInt32(2019 + i % 3));
            ds.SetFieldValueInBuffer(ds.Fields()[2], r, i == 4 ? Variant::Null() : Variant::FromDouble(i * 1.5 - 2));
            ds.SetFieldValueInBuffer(ds.Fields()[3], r, Variant::FromDate(45000 + i));
            ds.SetFieldValueInBuffer(ds.Fields()[4], r, Variant::FromAnsi(i % 2 ? "a%b" : ""));
        }
        ds.Expression().RegisterIntegerList({2019, 2021});
        ds.Expression().RegisterDateList({45001.0, std::nullopt});
    }
    TQelODBCClient ds;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    SmallDataset small;
    TQelODBCClient& ds = small.ds;
    const std::string text(reinterpret_cast<const char*>(data), size);
    try {
        ds.ApplyFilter(text);
    } catch (const std::exception& e) {
        if (e.what()[0] == '\0') std::abort();
    }
    // The evaluator is usable again after whatever happened.
    ds.ApplyFilter("Year >= 2020");
    if (ds.VisibleCount != 4) std::abort();
    return 0;
}
