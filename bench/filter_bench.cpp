// The filter language over 1 000 000 records: applying «region = 'X' AND amount > 100» (amount
// as a float and as a decimal), in nanoseconds and heap allocations per record; then Locate on
// an ordered key, searching by halves and by scan.
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <new>
#include <string>
#include <ctime>

#include "dataset/QelODBCClient.h"

using namespace kubrix;
using Clock = std::chrono::steady_clock;

namespace {

std::atomic<std::uint64_t> g_allocations{0};

double Nanos(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::nano>(b - a).count(); }

// Processor time of this thread: on a loaded machine it says what the work costs, where the
// wall clock also counts the waits for a core.
double CpuNanos() {
    timespec ts;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e9 + ts.tv_nsec;
}

}  // namespace

void* operator new(std::size_t n) {
    ++g_allocations;
    if (void* p = std::malloc(n ? n : 1)) return p;
    throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    TQelODBCClient ds;
    ds.FieldDefs().Add("ID", ftInteger);
    ds.FieldDefs().Add("region", ftString, 20);
    ds.FieldDefs().Add("amount", ftFloat);
    ds.FieldDefs().Add("price", ftBCD, 2);
    ds.Open();
    TField* id = ds.FieldByName("ID");
    TField* region = ds.FieldByName("region");
    TField* amount = ds.FieldByName("amount");
    TField* price = ds.FieldByName("price");
    const Variant regions[] = {Variant::FromAnsi("X"), Variant::FromAnsi("Москва"), Variant::FromAnsi("Казань"),
                               Variant::FromAnsi("Y")};
    ds.SetCapacity(records);
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        ds.SetFieldValueInBuffer(id, i, Variant::FromInt32(i));
        ds.SetFieldValueInBuffer(region, i, regions[(i * 7) % 4]);
        ds.SetFieldValueInBuffer(amount, i, Variant::FromDouble((i * 37) % 200));
        ds.SetFieldValueInBuffer(price, i, Variant::FromCurrency(Currency{((i * 37) % 200) * 10000LL}));
    }
    const char* filters[] = {"region = 'X' AND amount > 100", "region = 'X' AND price > 100", "amount > 100",
                             "region like '%ск%'"};
    for (const char* f : filters) {
        ds.ApplyFilter(f);  // warm
        const std::uint64_t before = g_allocations.load();
        const auto t0 = Clock::now();
        const double c0 = CpuNanos();
        const int rounds = 3;
        for (int r = 0; r < rounds; ++r) ds.ApplyFilter(f);
        const double c1 = CpuNanos();
        const auto t1 = Clock::now();
        const double perRecord = Nanos(t0, t1) / rounds / records;
        const double cpuPerRecord = (c1 - c0) / rounds / records;
        const double allocs = static_cast<double>(g_allocations.load() - before) / rounds / records;
        std::printf("filter %-36s %7.1f ns/record processor, %7.1f wall  %.4f allocations/record  visible %d\n",
                    (std::string("«") + f + "»").c_str(), cpuPerRecord, perRecord, allocs, ds.VisibleCount);
    }

    // Locate on ID, which the records are ordered by.
    ds.SetFiltered(false);
    ds.First();
    const int searches = 2000;
    ds.SetOrderBy(" ID ASC");
    double c0 = CpuNanos();
    int found = 0;
    for (int s = 0; s < searches; ++s) found += ds.Locate("ID", Variant::FromInt32((s * 7919) % records)) ? 1 : 0;
    double c1 = CpuNanos();
    std::printf("Locate by halves: %9.1f us/search processor (%d of %d found)\n", (c1 - c0) / searches / 1000, found,
                searches);
    ds.SetOrderBy("");
    const int scans = 5;
    c0 = CpuNanos();
    found = 0;
    for (int s = 0; s < scans; ++s) found += ds.Locate("ID", Variant::FromInt32(records - 1 - s)) ? 1 : 0;
    c1 = CpuNanos();
    std::printf("Locate by scan:   %9.1f us/search processor (%d of %d found, each near the end)\n",
                (c1 - c0) / scans / 1000, found, scans);
    return 0;
}
