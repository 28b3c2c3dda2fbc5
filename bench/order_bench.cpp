// Ordering, key indexes and totals of the in-memory dataset on 1 000 000 records (or the
// count given as the first argument):
//  - OrderBy on one text key and on one numeric key, each beside a plain std::sort of the
//    same keys extracted from the records, with the same comparison and the same ties;
//  - building a key index with every key distinct and with 100 distinct keys;
//  - CalcTotals over two total fields, and one posted edit that updates the totals.
#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "dataset/ClientIndex.h"
#include "dataset/Collation.h"
#include "dataset/FieldCompare.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/ValueCodec.h"

using namespace kubrix;

namespace {

// Processor time of this process: the machine is shared, so wall time says little.
struct Clock {
    using time_point = double;
    static double now() {
        timespec ts;
        clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
        return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
    }
};

double Ms(double a, double b) { return b - a; }

// The records in a fresh random order, so every sort starts from the same kind of input.
void Shuffle(TQelODBCClient& ds, std::mt19937& rng) { std::shuffle(ds.Records.begin(), ds.Records.end(), rng); }

std::string Word(std::mt19937& rng) {
    static const char* syllables[] = {"ка", "ли", "но", "жу", "ё",  "ра", "Ве", "то", "ша", "ми",
                                      "Де", "ло", "ю",  "за", "ре", "Ан", "ol", "Ma", "ri", "ее"};
    std::string w;
    const int n = 2 + static_cast<int>(rng() % 4);
    for (int i = 0; i < n; ++i) w += syllables[rng() % 20];
    return w;
}

}  // namespace

int main(int argc, char** argv) {
    const int records = argc > 1 ? std::atoi(argv[1]) : 1000000;
    SetCollationLocale("ru_RU");
    std::mt19937 rng(2024);

    TQelODBCClient ds;
    auto addField = [&](auto* f, const char* name, int size) {
        f->SetFieldName(name);
        if (size) f->SetSize(size);
        f->SetDataSet(&ds);
        return f;
    };
    TField* name = addField(new TQelODBCStringField(&ds), "NAME", 20);
    TField* amount = addField(new TQelODBCIntegerField(&ds), "AMOUNT", 0);
    auto* qty = addField(new TQelODBCIntegerField(&ds), "QTY", 0);
    auto* price = addField(new TQelODBCBCDField(&ds), "PRICE", 2);
    TField* id = addField(new TQelODBCIntegerField(&ds), "ID", 0);
    TField* region = addField(new TQelODBCIntegerField(&ds), "REGION", 0);
    ds.Open();

    auto t0 = Clock::now();
    ds.SetCapacity(records);
    std::vector<std::string> words(50000);
    for (auto& w : words) w = Word(rng);
    for (int i = 0; i < records; ++i) {
        ds.AddRecord();
        if (i % 50 != 0) ds.SetFieldValueInBuffer(name, i, Variant::FromAnsi(words[rng() % words.size()]));
        ds.SetFieldValueInBuffer(amount, i, Variant::FromInt32(static_cast<std::int32_t>(rng() % 2000000) - 1000000));
        ds.SetFieldValueInBuffer(qty, i, Variant::FromInt32(static_cast<std::int32_t>(rng() % 100)));
        ds.SetFieldValueInBuffer(price, i, Variant::FromCurrency(Currency{static_cast<std::int64_t>(rng() % 100000) * 100}));
        ds.SetFieldValueInBuffer(id, i, Variant::FromInt32(i));
        ds.SetFieldValueInBuffer(region, i, Variant::FromInt32(i % 100));
    }
    auto t1 = Clock::now();
    std::printf("records: %d (filled in %.0f ms; all times are processor time), collation locale \"%s\"\n", records, Ms(t0, t1), CollationLocale().c_str());

    // ---- ordering
    // The plain sorts take the keys out of the records into an array and sort it with the
    // comparison the dataset's order is defined by (nulls first, RecordID on ties).
    {
        Shuffle(ds, rng);
        const std::int32_t ofs = AsODBCField(name)->GetDataOfs();
        const TValueCodec codec(ftString, name->Size());
        struct Text {
            std::string_view text;
            std::uint8_t present;
            std::int32_t id;
        };
        auto p0 = Clock::now();
        std::vector<Text> plain(ds.Records.size());
        for (std::size_t i = 0; i < plain.size(); ++i) {
            const std::uint8_t* slot = ds.Records[i]->Data + ofs;
            plain[i] = {codec.Text(slot), slot[0], ds.Records[i]->RecordID};
        }
        std::sort(plain.begin(), plain.end(), [](const Text& a, const Text& b) {
            if (a.present != b.present) return a.present < b.present;
            if (a.present)
                if (int c = CompareTextByLocale(a.text, b.text, true)) return c < 0;
            return a.id < b.id;
        });
        auto p1 = Clock::now();
        // The same with the collation keys made first (what the dataset does).
        struct Keyed {
            std::size_t key;
            std::int32_t id;
        };
        std::string arena;
        std::vector<Keyed> keyed(ds.Records.size());
        auto k0 = Clock::now();
        for (std::size_t i = 0; i < keyed.size(); ++i) {
            const std::uint8_t* slot = ds.Records[i]->Data + ofs;
            keyed[i] = {arena.size(), ds.Records[i]->RecordID};
            arena += slot[0] ? '\2' : '\1';
            if (slot[0]) AppendCollationKey(codec.Text(slot), true, arena);
            arena += '\0';
        }
        const char* base = arena.data();
        std::sort(keyed.begin(), keyed.end(), [base](const Keyed& a, const Keyed& b) {
            if (int c = std::strcmp(base + a.key, base + b.key)) return c < 0;
            return a.id < b.id;
        });
        auto k1 = Clock::now();
        ds.SetOrderBy("");
        auto o0 = Clock::now();
        ds.SetOrderBy("NAME");
        auto o1 = Clock::now();
        bool same = true;
        for (std::size_t i = 0; i < plain.size() && same; ++i)
            same = ds.Records[i]->RecordID == plain[i].id && keyed[i].id == plain[i].id;
        std::printf("OrderBy text key NAME      %7.0f ms | plain std::sort, locale comparison %7.0f ms (ratio %.2f) | "
                    "plain std::sort of collation keys %7.0f ms (ratio %.2f) | same order: %s\n",
                    Ms(o0, o1), Ms(p0, p1), Ms(o0, o1) / Ms(p0, p1), Ms(k0, k1), Ms(o0, o1) / Ms(k0, k1), same ? "yes" : "NO");
    }
    {
        Shuffle(ds, rng);
        const std::int32_t ofs = AsODBCField(amount)->GetDataOfs();
        const TValueCodec codec(ftInteger, 0);
        const TValueCodec::TValueOrder order = codec.OrderFunction(true);
        struct Number {
            std::int32_t value;
            std::uint8_t present;
            std::int32_t id;
        };
        auto p0 = Clock::now();
        std::vector<Number> plain(ds.Records.size());
        for (std::size_t i = 0; i < plain.size(); ++i) {
            const std::uint8_t* slot = ds.Records[i]->Data + ofs;
            plain[i].present = slot[0];
            std::memcpy(&plain[i].value, slot + 1, 4);
            plain[i].id = ds.Records[i]->RecordID;
        }
        std::sort(plain.begin(), plain.end(), [&](const Number& a, const Number& b) {
            if (a.present != b.present) return a.present < b.present;
            if (a.present)
                if (int c = order(reinterpret_cast<const std::uint8_t*>(&a.value),
                                  reinterpret_cast<const std::uint8_t*>(&b.value), codec))
                    return c < 0;
            return a.id < b.id;
        });
        auto p1 = Clock::now();
        ds.SetOrderBy("");
        auto o0 = Clock::now();
        ds.SetOrderBy("AMOUNT");
        auto o1 = Clock::now();
        bool same = true;
        for (std::size_t i = 0; i < plain.size() && same; ++i) same = ds.Records[i]->RecordID == plain[i].id;
        std::printf("OrderBy numeric key AMOUNT %7.0f ms | plain std::sort, same comparison %7.0f ms (ratio %.2f) | same order: %s\n",
                    Ms(o0, o1), Ms(p0, p1), Ms(o0, o1) / Ms(p0, p1), same ? "yes" : "NO");
    }

    // ---- key index
    struct Key {
        const char* label;
        TField* field;
    };
    for (const Key& key : {Key{"1 000 000 distinct keys (ID)", id}, Key{"100 distinct keys (REGION)", region}}) {
        Shuffle(ds, rng);
        TQelODBCClientIndex index;
        index.SetData(&ds);
        auto i0 = Clock::now();
        index.SetFieldName(key.field->FieldName());
        auto i1 = Clock::now();
        std::printf("key index build, %-30s %8.0f ms   groups %zu\n", key.label, Ms(i0, i1), index.Groups().size());
        index.SetData(nullptr);
    }

    // ---- totals
    qty->Setcalc_total(true);
    price->Setcalc_total(true);
    auto c0 = Clock::now();
    ds.CalcTotals();
    auto c1 = Clock::now();
    Variant before, after;
    ds.GetTotal(qty, before);
    ds.First();
    ds.Edit();
    qty->SetAsInteger(qty->AsInteger() + 5);
    auto e0 = Clock::now();
    ds.Post();
    auto e1 = Clock::now();
    ds.GetTotal(qty, after);
    std::printf("CalcTotals, 2 total fields %8.1f ms;   one posted edit with totals %8.3f ms (total %s -> %s)\n", Ms(c0, c1),
                Ms(e0, e1), before.ToAnsi().c_str(), after.ToAnsi().c_str());
    return 0;
}
