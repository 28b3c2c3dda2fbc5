// Adds 1 000 000 records of 8 mixed fields to the in-memory dataset, reads every value back
// through the raw slot address and through the Variant accessor, and prints the time per
// value and the memory per record beside the size of its data area.
#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <vector>

#include "dataset/QelODBCClient.h"

using namespace kubrix;
using Clock = std::chrono::steady_clock;

namespace {

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

std::size_t HeapInUse() { return mallinfo2().uordblks; }

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    TQelODBCClient ds;
    ds.FieldDefs().Add("ID", ftInteger);
    ds.FieldDefs().Add("QTY", ftSmallint);
    ds.FieldDefs().Add("NAME", ftString, 12);
    ds.FieldDefs().Add("PRICE", ftFloat);
    ds.FieldDefs().Add("AMOUNT", ftBCD, 2);
    ds.FieldDefs().Add("WHEN", ftDateTime);
    ds.FieldDefs().Add("PAID", ftBoolean);
    ds.FieldDefs().Add("COST", ftCurrency);
    ds.Open();
    std::vector<TField*> fields(ds.Fields().begin(), ds.Fields().end());
    const int nf = static_cast<int>(fields.size());

    const std::size_t heapBefore = HeapInUse();
    auto t0 = Clock::now();
    ds.SetCapacity(records);
    const Variant names[] = {Variant::FromAnsi("Иванов"), Variant::FromAnsi("Petrov"), Variant::FromAnsi("Сидорова А.")};
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        ds.SetFieldValueInBuffer(fields[0], i, Variant::FromInt32(i));
        ds.SetFieldValueInBuffer(fields[1], i, Variant::FromInt16(static_cast<std::int16_t>(i % 1000)));
        ds.SetFieldValueInBuffer(fields[2], i, names[i % 3]);
        ds.SetFieldValueInBuffer(fields[3], i, Variant::FromDouble(i * 0.25));
        ds.SetFieldValueInBuffer(fields[4], i, Variant::FromCurrency(Currency{i * 100LL}));
        ds.SetFieldValueInBuffer(fields[5], i, Variant::FromDate(36526.5 + i % 365));
        ds.SetFieldValueInBuffer(fields[6], i, Variant::FromBool(i % 2 == 0));
        ds.SetFieldValueInBuffer(fields[7], i, Variant::FromCurrency(Currency{i * 10000LL}));
    }
    auto t1 = Clock::now();
    const std::size_t heapAfter = HeapInUse();

    // Raw: the slot address and a copy of flag and value bytes, as the pivot grid reads them.
    std::uint8_t sink[64];
    std::uint64_t check = 0;
    std::vector<std::uint16_t> lengths;
    for (TField* f : fields) lengths.push_back(static_cast<std::uint16_t>(CalcFieldLen(f->DataType(), f->Size()) + 1));
    auto t2 = Clock::now();
    for (int i = 0; i < records; ++i)
        for (int k = 0; k < nf; ++k) {
            const void* p = ds.GetRecordFieldData(fields[k], i);
            std::memcpy(sink, p, lengths[k]);
            check += sink[0];
        }
    auto t3 = Clock::now();

    Variant v;
    std::uint64_t present = 0;
    for (int i = 0; i < records; ++i)
        for (int k = 0; k < nf; ++k) {
            ds.GetFieldValueFromBuffer(fields[k], i, v);
            present += !v.IsNull();
        }
    auto t4 = Clock::now();

    const double values = static_cast<double>(records) * nf;
    std::printf("records: %d, fields: %d, data area: %u bytes\n", records, nf, ds.RecordSize);
    std::printf("add and write (Variant):  %.1f ns/value\n", Seconds(t0, t1) * 1e9 / values);
    std::printf("raw read (slot + copy):   %.1f ns/value (check %llu)\n", Seconds(t2, t3) * 1e9 / values,
                static_cast<unsigned long long>(check));
    std::printf("Variant read:             %.1f ns/value (present %llu)\n", Seconds(t3, t4) * 1e9 / values,
                static_cast<unsigned long long>(present));
    const double perRecord = static_cast<double>(heapAfter - heapBefore) / records;
    std::printf("heap per record:          %.1f bytes (data area %u, beyond it %.1f)\n", perRecord, ds.RecordSize,
                perRecord - ds.RecordSize);
    return 0;
}
