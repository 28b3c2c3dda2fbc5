// Running totals of the in-memory dataset: computed at open, recomputed over the counting
// records, kept up to date by difference on post and delete, Null when nothing counts.
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

Variant Int(std::int32_t v) { return Variant::FromInt32(v); }
Variant Money(std::int64_t units) { return Variant::FromCurrency(Currency{units * 10000}); }

// A dataset with a total integer field QTY, a total BCD field SUM and a plain integer N;
// rows of (qty, sum), Null where the value is below 0.
struct TotalsFixture {
    TQelODBCClient ds;
    TQelODBCIntegerField* qty;
    TQelODBCBCDField* sum;

    explicit TotalsFixture(const std::vector<std::pair<int, int>>& rows) {
        qty = Add<TQelODBCIntegerField>("QTY");
        sum = Add<TQelODBCBCDField>("SUM");
        sum->SetSize(2);
        qty->Setcalc_total(true);
        sum->Setcalc_total(true);
        ds.Open();
        for (std::size_t i = 0; i < rows.size(); ++i) {
            ds.AddRecord();
            const int index = static_cast<int>(i);
            if (rows[i].first >= 0) ds.SetFieldValueInBuffer(qty, index, Int(rows[i].first));
            if (rows[i].second >= 0) ds.SetFieldValueInBuffer(sum, index, Money(rows[i].second));
        }
        ds.CalcTotals();
        ds.First();
    }
    template <class F>
    F* Add(const char* name) {
        auto* f = new F(&ds);
        f->SetFieldName(name);
        f->SetDataSet(&ds);
        return f;
    }
    Variant Qty() const {
        Variant v = Variant::FromAnsi("unset");
        ds.GetTotal(qty, v);
        return v;
    }
    Variant Sum() const {
        Variant v = Variant::FromAnsi("unset");
        ds.GetTotal(sum, v);
        return v;
    }
};

}  // namespace

TEST(Totals, SumTheCountingRecordsAndAreNullWhenNoneCounts) {
    TotalsFixture empty({});
    EXPECT_TRUE(empty.Qty().IsNull());
    EXPECT_TRUE(empty.Sum().IsNull());

    TotalsFixture t({{5, 10}, {-1, -1}, {7, 3}});
    EXPECT_EQ(t.Qty(), Int(12));
    EXPECT_EQ(t.Sum(), Money(13));

    // Only nulls: 0 when a record counts, Null when none does.
    TotalsFixture nulls({{-1, -1}});
    EXPECT_EQ(nulls.Qty(), Int(0));
    nulls.ds.SetFiltered(true);  // flags set by hand below count only while filtered
    nulls.ds.Records[0]->FilteredOut = true;
    nulls.ds.CalcTotals();
    EXPECT_TRUE(nulls.Qty().IsNull());

    t.ds.Close();
    EXPECT_TRUE(t.Qty().IsNull());
    EXPECT_TRUE(t.Sum().IsNull());
}

TEST(Totals, VisibleOrAllRecords) {
    TotalsFixture t({{1, 1}, {2, 2}, {4, 4}});
    t.ds.SetFiltered(true);
    t.ds.Records[1]->FilteredOut = true;
    t.ds.CalcTotals();
    EXPECT_EQ(t.Qty(), Int(5));
    t.ds.SetCalcTotalsType(cttAll);
    EXPECT_EQ(t.Qty(), Int(7));
    EXPECT_EQ(t.Sum(), Money(7));
    t.ds.SetCalcTotalsType(cttOnlyVisible);
    EXPECT_EQ(t.Sum(), Money(5));
}

TEST(Totals, PostsAndDeletesUpdateByDifference) {
    TotalsFixture t({{5, 10}, {3, 1}});
    ASSERT_EQ(t.Qty(), Int(8));
    t.ds.Edit();
    t.qty->SetAsInteger(7);
    // While editing, the BCD reading follows the record; the stored totals wait for the post.
    t.sum->SetAsCurrency(Currency{25 * 10000});
    EXPECT_EQ(t.Sum(), Money(26));
    EXPECT_EQ(t.Qty(), Int(8));
    t.ds.Post();
    EXPECT_EQ(t.Qty(), Int(10));
    EXPECT_EQ(t.Sum(), Money(26));

    // A second edit of the same record counts from its last posted value.
    t.ds.Edit();
    t.qty->SetAsInteger(1);
    t.ds.Post();
    EXPECT_EQ(t.Qty(), Int(4));

    t.ds.Append();
    t.qty->SetAsInteger(100);
    t.ds.Post();
    EXPECT_EQ(t.Qty(), Int(104));
    EXPECT_EQ(t.Sum(), Money(26));

    t.ds.Delete();
    EXPECT_EQ(t.Qty(), Int(4));
    t.ds.First();
    t.ds.Delete();
    EXPECT_EQ(t.Qty(), Int(3));
    EXPECT_EQ(t.Sum(), Money(1));
    // The incremental path agrees with a full recomputation.
    t.ds.CalcTotals();
    EXPECT_EQ(t.Qty(), Int(3));
}

TEST(Totals, PostedRecordHiddenByTheFilterCheckLeavesTheTotals) {
    TotalsFixture t({{5, 5}, {3, 3}});
    t.ds.SetFiltered(true);
    // The after-post filter check hides the record: it leaves the totals.
    t.ds.AfterPost = [](TDataSet& ds) {
        auto& client = static_cast<TQelODBCClient&>(ds);
        for (TMemoryRecord* r : client.Records) r->FilteredOut = r == client.Records[0];
    };
    t.ds.Edit();
    t.qty->SetAsInteger(50);
    t.ds.Post();
    EXPECT_EQ(t.Qty(), Int(3));
    t.ds.AfterPost = nullptr;
    t.ds.CalcTotals();
    EXPECT_EQ(t.Qty(), Int(3));
}

TEST(Totals, NestedUpdateBracketsRecomputeOnceAtTheEnd) {
    TotalsFixture t({{1, 1}, {2, 2}});
    t.ds.BeginTotalsUpdate();
    t.ds.BeginTotalsUpdate();
    t.ds.SetFieldValueInBuffer(t.qty, 0, Int(10));
    t.ds.CalcTotals();
    EXPECT_EQ(t.Qty(), Int(3));
    t.ds.EndTotalsUpdate();
    EXPECT_EQ(t.Qty(), Int(3));
    t.ds.EndTotalsUpdate();
    EXPECT_EQ(t.Qty(), Int(12));
    t.ds.EndTotalsUpdate();  // unbalanced: stays at 0
    EXPECT_EQ(t.ds.TotalsUpdateCount, 0);
}

TEST(Totals, OnlyIntegerSmallintAndBcdHoldATotal) {
    TQelODBCClient ds;
    auto* f = new TQelODBCFloatField(&ds);
    f->SetFieldName("F");
    f->SetDataSet(&ds);
    auto* s = new TQelODBCSmallintField(&ds);
    s->SetFieldName("S");
    s->SetDataSet(&ds);
    s->Setcalc_total(true);
    f->Setcalc_total(true);
    ds.Open();
    // Opening lists the holders only.
    EXPECT_EQ(ds.TotalFields, std::vector<TField*>{s});
    ds.AddRecord();
    ds.SetFieldValueInBuffer(s, 0, Variant::FromInt16(30000));
    ds.AddRecord();
    ds.SetFieldValueInBuffer(s, 1, Variant::FromInt16(30000));
    ds.CalcTotals();
    Variant v = Variant::FromAnsi("unset");
    ds.GetTotal(s, v);
    EXPECT_EQ(v, Int(60000));  // wider than the field's own type
    ds.SetTotal(f, Int(5));
    v = Variant::FromAnsi("unset");
    ds.GetTotal(f, v);
    EXPECT_EQ(v, Variant::FromAnsi("unset"));
    // A text total that is no number fails the addition; the others stay.
    ds.SetTotal(s, Variant::FromAnsi("много"));
    ds.First();
    ds.Edit();
    s->SetAsInteger(1);
    EXPECT_THROW(ds.Post(), EVariantError);
}
