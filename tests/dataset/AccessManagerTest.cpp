// Column rights from a permission catalogue held in four in-memory datasets: the role flags,
// grants and denials with their column bit masks, the caches, and the read-only verdict the
// in-memory dataset takes from them.
#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/AccessManager.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"

using namespace kubrix;

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Protect {
    int id, action, protectType;
    std::optional<Bytes> mask;  // nullopt: null
};

// Tables "orders" (id 10: id 1, amount 2, note 3, "Сумма" 9) and "clients" (id 20: name 1).
struct Catalogue {
    std::unique_ptr<TQelODBCClient> objects = Make({{"name", ftString, 30}, {"id", ftInteger, 0}});
    std::unique_ptr<TQelODBCClient> columns =
        Make({{"id", ftInteger, 0}, {"name", ftString, 30}, {"colid", ftInteger, 0}});
    std::unique_ptr<TQelODBCClient> members = Make({{"name", ftString, 30}});
    std::unique_ptr<TQelODBCClient> protects = Make(
        {{"id", ftInteger, 0}, {"action", ftInteger, 0}, {"ProtectType", ftInteger, 0}, {"Columns", ftVarBytes, 32}});
    TQelAccessManager manager;

    struct Def {
        const char* name;
        TFieldType type;
        int size;
    };
    static std::unique_ptr<TQelODBCClient> Make(std::initializer_list<Def> defs) {
        auto ds = std::make_unique<TQelODBCClient>();
        for (const auto& d : defs) ds->FieldDefs().Add(d.name, d.type, d.size);
        ds->Open();
        return ds;
    }
    static void Row(TQelODBCClient& ds, std::initializer_list<Variant> values) {
        ds.AddRecord();
        const int i = ds.RealRecordCount() - 1;
        int f = 0;
        for (const auto& v : values) ds.SetFieldValueInBuffer(ds.Fields()[static_cast<std::size_t>(f++)], i, v);
    }

    Catalogue(const std::vector<const char*>& roles, const std::vector<Protect>& rows) {
        Row(*objects, {Variant::FromAnsi("orders"), Variant::FromInt32(10)});
        Row(*objects, {Variant::FromAnsi("clients"), Variant::FromInt32(20)});
        for (auto [name, colid] : {std::pair{"id", 1}, {"amount", 2}, {"note", 3}, {"Сумма", 9}})
            Row(*columns, {Variant::FromInt32(10), Variant::FromAnsi(name), Variant::FromInt32(colid)});
        Row(*columns, {Variant::FromInt32(20), Variant::FromAnsi("name"), Variant::FromInt32(1)});
        for (const char* r : roles) Row(*members, {Variant::FromAnsi(r)});
        for (const auto& p : rows)
            Row(*protects, {Variant::FromInt32(p.id), Variant::FromInt32(p.action), Variant::FromInt32(p.protectType),
                            p.mask ? Variant::FromBytes(*p.mask) : Variant::Null()});
        manager.SetqObjects(objects.get());
        manager.SetqColumns(columns.get());
        manager.SetqMembers(members.get());
        manager.SetqProtects(protects.get());
    }
};

Protect Grant(std::optional<Bytes> mask, int id = 10) { return {id, kActionUpdate, kProtectGrant, std::move(mask)}; }
Protect Deny(std::optional<Bytes> mask, int id = 10) { return {id, kActionUpdate, kProtectDeny, std::move(mask)}; }

}  // namespace

TEST(AccessManager, ColumnMaskBits) {
    EXPECT_TRUE(ColumnMaskCovers({0x01}, 5));
    EXPECT_TRUE(ColumnMaskCovers({0x04}, 2));
    EXPECT_FALSE(ColumnMaskCovers({0x04}, 1));
    EXPECT_FALSE(ColumnMaskCovers({0x04}, 3));
    EXPECT_TRUE(ColumnMaskCovers({0x00, 0x02}, 9));
    EXPECT_FALSE(ColumnMaskCovers({0x00, 0x02}, 17));  // beyond the mask
    EXPECT_FALSE(ColumnMaskCovers({}, 1));
}

TEST(AccessManager, UpdateRightsByRolesGrantsAndDenials) {
    const struct {
        const char* name;
        std::vector<const char*> roles;
        std::vector<Protect> rows;
        const char* table;
        const char* column;
        bool canUpdate;
    } cases[] = {
        {"no rights", {"public"}, {}, "orders", "amount", false},
        {"grant of every column", {}, {Grant(Bytes{0x01})}, "orders", "note", true},
        {"grant of column 2 allows it", {}, {Grant(Bytes{0x04})}, "orders", "amount", true},
        {"grant of column 2 only", {}, {Grant(Bytes{0x04})}, "orders", "id", false},
        {"grant of column 2, not 3", {}, {Grant(Bytes{0x04})}, "orders", "note", false},
        {"bit of the second byte", {}, {Grant(Bytes{0x00, 0x02})}, "orders", "Сумма", true},
        {"a later grant row counts", {}, {Grant(Bytes{0x08}), Grant(Bytes{0x04})}, "orders", "amount", true},
        {"grant of another table", {}, {Grant(Bytes{0x01}, 20)}, "orders", "amount", false},
        {"grant of another action", {}, {{10, 193, kProtectGrant, Bytes{0x01}}}, "orders", "amount", false},
        {"owner updates every column", {"db_owner"}, {Deny(Bytes{0x01})}, "orders", "amount", true},
        {"owner and an unlisted column", {"db_owner"}, {}, "orders", "missing", false},
        {"unknown table", {"db_owner"}, {}, "nowhere", "id", false},
        {"role names are exact", {"DB_OWNER"}, {}, "orders", "amount", false},
        {"datawriter", {"db_datawriter"}, {}, "orders", "amount", true},
        {"datawriter refused a denied column", {"db_datawriter"}, {Deny(Bytes{0x04})}, "orders", "amount", false},
        {"datawriter and another column denied", {"db_datawriter"}, {Deny(Bytes{0x04})}, "orders", "id", true},
        {"grant then denial of every column", {}, {Grant(Bytes{0x01}), Deny(Bytes{0x01})}, "orders", "amount", false},
        {"denydatawriter outweighs a grant", {"db_denydatawriter", "db_datawriter"}, {Grant(Bytes{0x01})}, "orders", "id",
         false},
        {"null grant mask grants nothing", {}, {Grant(std::nullopt)}, "orders", "amount", false},
        {"null denial mask denies all", {"db_datawriter"}, {Deny(std::nullopt)}, "orders", "amount", false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Catalogue cat(c.roles, c.rows);
        EXPECT_EQ(cat.manager.CanUpdate(c.table, c.column), c.canUpdate);
        EXPECT_FALSE(cat.protects->Filtered());
    }
}

TEST(AccessManager, LookupsIgnoreLetterCase) {
    Catalogue cat({}, {});
    EXPECT_EQ(cat.manager.ObjId("ORDERS"), 10);
    EXPECT_EQ(cat.manager.ObjId("Clients"), 20);
    EXPECT_EQ(cat.manager.ObjId("nowhere"), -1);
    EXPECT_EQ(cat.manager.ColId("Orders", "AMOUNT"), 2);
    EXPECT_EQ(cat.manager.ColId("orders", "сумма"), 9);
    EXPECT_EQ(cat.manager.ColId("clients", "amount"), -1);
    EXPECT_EQ(cat.manager.ColId("nowhere", "id"), -1);
}

TEST(AccessManager, NothingIsAnsweredOrCachedUntilEveryDatasetIsOpen) {
    Catalogue cat({"db_owner"}, {Grant(Bytes{0x01})});
    cat.manager.SetqMembers(nullptr);
    EXPECT_FALSE(cat.manager.Active());
    EXPECT_FALSE(cat.manager.CanUpdate("orders", "amount"));
    EXPECT_FALSE(cat.manager.is_dbo());
    cat.objects->Close();
    EXPECT_EQ(cat.manager.ObjId("orders"), -1);
    cat.objects->Open();
    Catalogue::Row(*cat.objects, {Variant::FromAnsi("orders"), Variant::FromInt32(10)});
    EXPECT_EQ(cat.manager.ObjId("orders"), 10);
    cat.manager.SetqMembers(cat.members.get());
    cat.columns->Close();
    EXPECT_FALSE(cat.manager.CanUpdate("orders", "amount"));
    cat.columns->Open();
    Catalogue::Row(*cat.columns, {Variant::FromInt32(10), Variant::FromAnsi("amount"), Variant::FromInt32(2)});
    EXPECT_TRUE(cat.manager.Active());
    EXPECT_TRUE(cat.manager.CanUpdate("orders", "amount"));
    EXPECT_TRUE(cat.manager.is_dbo());
}

TEST(AccessManager, AnswersAndObjectIdsAreCachedForTheManagersLifetime) {
    Catalogue cat({}, {Grant(Bytes{0x04})});
    EXPECT_TRUE(cat.manager.CanUpdate("orders", "amount"));
    EXPECT_FALSE(cat.manager.CanUpdate("orders", "note"));
    cat.protects->RemoveRecord(0);
    cat.objects->RemoveRecord(0);
    EXPECT_TRUE(cat.manager.CanUpdate("ORDERS", "Amount"));
    EXPECT_FALSE(cat.manager.CanUpdate("Orders", "NOTE"));
    EXPECT_EQ(cat.manager.ObjId("orders"), 10);
}

TEST(AccessManager, ADatasetErrorPassesAndTheFilterIsSwitchedOff) {
    Catalogue cat({}, {});
    auto bare = Catalogue::Make({{"id", ftInteger, 0}, {"action", ftInteger, 0}, {"ProtectType", ftInteger, 0}});
    Catalogue::Row(*bare, {Variant::FromInt32(10), Variant::FromInt32(kActionUpdate), Variant::FromInt32(kProtectGrant)});
    cat.manager.SetqProtects(bare.get());
    EXPECT_THROW(cat.manager.CanUpdate("orders", "amount"), EDatabaseError);
    EXPECT_FALSE(bare->Filtered());
    bare.reset();  // the manager forgets a destroyed dataset
    EXPECT_EQ(cat.manager.qProtects(), nullptr);
    EXPECT_FALSE(cat.manager.CanUpdate("orders", "amount"));
}

TEST(AccessManager, FieldColumnFromTableNameAndUpdateScript) {
    TQelODBCClient ds;
    ds.FieldDefs().Add("amount", ftFloat);
    ds.Open();
    auto* odbc = ds.FieldByName("amount")->GetODBCInterface();
    const struct {
        const char* table;
        const char* script;
        const char* wantTable;
        const char* wantColumn;
    } cases[] = {
        {" orders ", "amount = :amount", "orders", "amount"},
        {"orders", "[Сумма]=?", "orders", "Сумма"},
        {"orders", "  note  ", "orders", "note"},
        {"", "amount = 1", "", "amount"},
        {"orders", "", "orders", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.script);
        odbc->SetTableName(c.table);
        odbc->SetUpdate_ValueScript(c.script);
        const TFieldColumn col = FieldUpdateColumn(ds.FieldByName("amount"));
        EXPECT_EQ(col.Table, c.wantTable);
        EXPECT_EQ(col.Column, c.wantColumn);
    }
}

TEST(AccessManager, DatasetFieldsAreReadOnlyWhereTheManagerRefuses) {
    auto cat = std::make_unique<Catalogue>(std::vector<const char*>{}, std::vector<Protect>{Grant(Bytes{0x04})});
    TQelODBCClient ds;
    ds.FieldDefs().Add("id", ftInteger);
    ds.FieldDefs().Add("amount", ftFloat);
    ds.FieldDefs().Add("free", ftInteger);
    ds.Open();
    ds.AddRecord();
    ds.First();
    TField* id = ds.FieldByName("id");
    TField* amount = ds.FieldByName("amount");
    TField* free = ds.FieldByName("free");
    for (TField* f : {id, amount}) {
        f->GetODBCInterface()->SetTableName("orders");
        f->GetODBCInterface()->SetUpdate_ValueScript(f->FieldName() + " = :" + f->FieldName());
    }
    EXPECT_FALSE(ds.FieldReadOnly(id));  // no manager yet
    ds.SetAccessManager(&cat->manager);
    EXPECT_TRUE(ds.FieldReadOnly(id));
    EXPECT_FALSE(id->CanModify());
    EXPECT_FALSE(ds.FieldReadOnly(amount));
    EXPECT_FALSE(ds.FieldReadOnly(free));  // names no column
    dynamic_cast<TQelODBCIntegerField*>(id)->CheckAccess = false;
    EXPECT_FALSE(ds.FieldReadOnly(id));
    dynamic_cast<TQelODBCIntegerField*>(id)->CheckAccess = true;
    ds.Insert();  // a new row is not refused by column rights
    EXPECT_FALSE(ds.FieldReadOnly(id));
    ds.Cancel();
    cat.reset();
    EXPECT_EQ(ds.AccessManager(), nullptr);
    EXPECT_FALSE(ds.FieldReadOnly(id));
}
