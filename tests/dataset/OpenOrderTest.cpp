// What opening from SQL does after the load: the records ordered by OrderBy, every attached
// key index built, the totals computed; closing empties the indexes and the totals.
#include <gtest/gtest.h>

#include <string>

#include "dataset/ClientIndex.h"
#include "dataset/Collation.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "dataset/SqliteDataset.h"
#include "support/Errors.h"
#include "testsupport/OdbcTestEnv.h"

namespace kubrix {
namespace {

struct SqliteSales : test::SqliteDataset {
    SqliteSales() {
        connection.Execute("create table sales (id integer, name varchar(20), qty integer)");
        connection.Execute(
            "insert into sales values (1, 'Жук', 5), (2, 'ёж', 7), (3, 'Ель', NULL), (4, NULL, 1), (5, 'абв', 2)");
        ds->SetName("qData");
        ds->SetSQL_Select("select id, name, qty from sales order by id");
    }
    std::string Ids() {
        std::string out;
        Variant v;
        for (int i = 0; i < ds->RealRecordCount(); ++i) {
            ds->GetFieldValueFromBuffer(ds->FieldByName("id"), i, v);
            out += v.ToAnsi();
        }
        return out;
    }
};

}  // namespace

TEST(OpenOrder, EveryOpenOrdersIndexesAndTotals) {
    SetCollationLocale("ru_RU");
    SqliteSales s;
    auto* qty = dynamic_cast<TQelODBCIntegerField*>(s.ds->FieldByName("qty"));
    ASSERT_NE(qty, nullptr);
    qty->Setcalc_total(true);
    TQelODBCClientIndex index;
    index.SetData(s.ds);
    index.SetFieldName("name");
    s.ds->SetOrderBy("name DESC");
    s.ds->Open();
    EXPECT_EQ(s.Ids(), "13254");
    EXPECT_TRUE(s.ds->FieldByName("name")->IsIndexField());
    EXPECT_EQ(index.Groups().size(), 5u);
    EXPECT_EQ(index.FindRecordByValue(Variant::FromAnsi("ёж")), 2);
    Variant total;
    s.ds->GetTotal(qty, total);
    EXPECT_EQ(total, Variant::FromInt32(15));

    s.ds->Close();
    EXPECT_TRUE(index.Groups().empty());
    EXPECT_FALSE(s.ds->FieldByName("name")->IsIndexField());
    s.ds->GetTotal(qty, total);
    EXPECT_TRUE(total.IsNull());

    // Reopening orders again by the text it keeps.
    qty->Setcalc_total(true);
    s.ds->SetOrderBy("qty, id DESC");
    s.ds->Open();
    EXPECT_EQ(s.Ids(), "34512");
    EXPECT_EQ(index.Groups().size(), 5u);
    s.ds->GetTotal(qty, total);
    EXPECT_EQ(total, Variant::FromInt32(15));

    // An unknown field in the kept text fails the open with the framework's error.
    s.ds->Close();
    s.ds->SetOrderBy("nope");
    EXPECT_THROW(s.ds->Open(), EDatabaseError);
    EXPECT_FALSE(s.ds->Active());
    SetCollationLocale("");
}

}  // namespace kubrix
