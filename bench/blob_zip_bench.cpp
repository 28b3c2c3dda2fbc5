// Compressing and decompressing a 10 MB memo (or the megabytes given as the first argument):
//  - the packed form alone (ZipBytes / UnzipBytes) beside zlib's own compress2 / uncompress
//    at the same level, on the same bytes;
//  - the whole path of a DoZip blob field of the in-memory dataset: the field's text set
//    while editing and posted (compressed on the way in), then read back (decompressed).
// Times are processor time of this process (the machine is shared), best of three runs.
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <functional>
#include <random>
#include <string>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/ZipStream.h"

using namespace kubrix;

namespace {

double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

double BestOf3(const std::function<void()>& run) {
    double best = 1e300;
    for (int i = 0; i < 3; ++i) {
        const double t0 = NowMs();
        run();
        best = std::min(best, NowMs() - t0);
    }
    return best;
}

// Memo text of about bytes bytes: lines of a ledger with Cyrillic words and varying numbers.
std::string Memo(std::size_t bytes) {
    static const char* words[] = {"поставка", "оплата", "возврат", "Москва", "Казань", "склад", "счёт", "договор"};
    std::mt19937 rng(42);
    std::string s;
    s.reserve(bytes + 128);
    for (int line = 1; s.size() < bytes; ++line) {
        s += "Строка " + std::to_string(line) + ": " + words[rng() % 8] + " " + words[rng() % 8] + ", сумма " +
             std::to_string(rng() % 1000000) + "." + std::to_string(rng() % 100) + " руб.\n";
    }
    s.resize(bytes);
    return s;
}

void Report(const char* what, double ms, std::size_t bytes) {
    std::printf("%-44s %9.1f ms  %8.1f MB/s\n", what, ms, bytes / 1048576.0 / (ms / 1000.0));
}

}  // namespace

int main(int argc, char** argv) {
    const std::size_t mb = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : 10;
    const std::string plain = Memo(mb * 1048576);
    std::printf("memo: %zu bytes\n", plain.size());

    std::string packed, back;
    const double zip = BestOf3([&] { packed = ZipBytes(plain); });
    const double unzip = BestOf3([&] { back = UnzipBytes(packed); });
    if (back != plain) return std::puts("round trip differs"), 1;

    std::string ref(compressBound(static_cast<uLong>(plain.size())), '\0');
    uLongf refSize = 0;
    const double zref = BestOf3([&] {
        refSize = static_cast<uLongf>(ref.size());
        compress2(reinterpret_cast<Bytef*>(ref.data()), &refSize, reinterpret_cast<const Bytef*>(plain.data()),
                  static_cast<uLong>(plain.size()), 9);
    });
    if (std::string(ref.data(), refSize) != packed) return std::puts("packed form differs from compress2"), 1;
    std::string refBack(plain.size(), '\0');
    const double uref = BestOf3([&] {
        uLongf n = static_cast<uLongf>(refBack.size());
        uncompress(reinterpret_cast<Bytef*>(refBack.data()), &n, reinterpret_cast<const Bytef*>(ref.data()), refSize);
    });
    std::printf("packed: %zu bytes (%.1f%% of the memo)\n", packed.size(), 100.0 * packed.size() / plain.size());
    Report("ZipBytes (level 9)", zip, plain.size());
    Report("zlib compress2 (level 9)", zref, plain.size());
    Report("UnzipBytes", unzip, plain.size());
    Report("zlib uncompress (output size known)", uref, plain.size());

    TQelODBCClient ds;
    ds.FieldDefs().Add("Body", ftBlob);
    ds.Open();
    auto* body = dynamic_cast<TQelODBCBlobField*>(ds.FieldByName("Body"));
    body->DoZip = true;
    ds.AddRecord();
    ds.First();
    const double post = BestOf3([&] {
        ds.Edit();
        body->SetAsString(plain);
        ds.Post();
    });
    std::string read;
    const double get = BestOf3([&] { read = body->AsString(); });
    if (read != plain || *ds.RecordBlob(body, 0) != packed) return std::puts("dataset round trip differs"), 1;
    Report("DoZip field: set and post", post, plain.size());
    Report("DoZip field: read", get, plain.size());
    return 0;
}
