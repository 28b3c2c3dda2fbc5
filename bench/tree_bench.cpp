// The tree over a dataset: building a tree of 100 000 records (or the count given as the
// first argument), about ten children per node over five levels below the root, from records
// in random order; then 1 000 records inserted one by one through Append and Post under
// random parents. Every insert re-walks the whole tree into Records, so the per-insert cost
// is also measured on a tenth and a half of the size, to show that it grows linearly.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <memory>
#include <random>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/ODBCClientTree2.h"
#include "dataset/QelODBCClient.h"

using namespace kubrix;

namespace {

// Processor time of this process: the machine is shared, so wall time says little.
double NowMs() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

struct Result {
    double buildMs = 0;
    double insertMs = 0;
    int depth = 0;
};

Result Run(int records, int inserts, std::mt19937& rng) {
    TQelODBCClient ds;
    ds.FieldDefs().Add("Key", ftInteger);
    ds.FieldDefs().Add("idParent", ftInteger);
    ds.FieldDefs().Add("Ord", ftInteger);
    ds.FieldDefs().Add("Name", ftString, 20);
    ds.Open();
    TField* key = ds.FieldByName("Key");
    TField* parent = ds.FieldByName("idParent");
    TField* order = ds.FieldByName("Ord");
    TField* name = ds.FieldByName("Name");
    // Breadth-first keys: key k hangs below (k - 1) / 10, so each node has ten children.
    std::vector<int> keys(static_cast<std::size_t>(records));
    for (int i = 0; i < records; ++i) keys[static_cast<std::size_t>(i)] = i + 1;
    std::shuffle(keys.begin(), keys.end(), rng);
    for (int k : keys) {
        TMemoryRecord* r = ds.AddRecord();
        ds.SetFieldValueInBuffer(key, r, Variant::FromInt32(k));
        ds.SetFieldValueInBuffer(parent, r, Variant::FromInt32((k - 1) / 10));
        ds.SetFieldValueInBuffer(order, r, Variant::FromInt32(static_cast<std::int32_t>(rng() % 1000)));
        ds.SetFieldValueInBuffer(name, r, Variant::FromAnsi("запись " + std::to_string(k)));
    }
    TQelODBCClientIndex index;
    index.SetData(&ds);
    index.SetFieldName("Key");
    TQelODBCClientTree2 tree;
    tree.KeyField = key;
    tree.idParentField = parent;
    tree.OrderField = order;
    tree.KeyIndex = &index;
    tree.DefaultExpandedState = true;

    Result out;
    double t0 = NowMs();
    tree.SetDataSet(&ds);
    out.buildMs = NowMs() - t0;
    for (const TTreeNode* n = tree.Root(); n->FirstChild; n = n->FirstChild) ++out.depth;

    ds.First();
    t0 = NowMs();
    for (int i = 0; i < inserts; ++i) {
        ds.Append();
        key->SetAsInteger(records + 1 + i);
        parent->SetAsInteger(1 + static_cast<std::int32_t>(rng() % static_cast<unsigned>(records)));
        order->SetAsInteger(static_cast<std::int32_t>(rng() % 1000));
        ds.Post();
    }
    out.insertMs = NowMs() - t0;
    if (ds.RealRecordCount() != records + inserts) std::fprintf(stderr, "records lost\n");
    tree.SetDataSet(nullptr);
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 100000;
    const int inserts = 1000;
    std::mt19937 rng(2024);
    for (int n : {records / 10, records / 2, records}) {
        const int count = n == records ? inserts : inserts / 10;
        Result r = Run(n, count, rng);
        std::printf("records %7d (depth %d): build %8.1f ms; %4d inserts %9.1f ms, %7.3f ms per insert, %6.2f us per insert and 1000 records\n",
                    n, r.depth, r.buildMs, count, r.insertMs, r.insertMs / count, 1000.0 * r.insertMs / count / (n / 1000.0));
    }
    return 0;
}
