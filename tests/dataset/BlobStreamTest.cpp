// Blob values through streams and the dataset's blob accessors: a DoZip field keeps its value
// compressed in the record and shows the plain bytes to the field object and the stream.
#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>

#include "dataset/MemBlobStream.h"
#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/Errors.h"
#include "support/ZipStream.h"
#include "testsupport/OdbcTestEnv.h"

using namespace kubrix;

namespace {

// A dataset with Id (integer) and Data (blob, DoZip), one record per stored value (kept as
// given), cursor on the first.
struct BlobFixture {
    std::unique_ptr<TQelODBCClient> ds = std::make_unique<TQelODBCClient>();
    TQelODBCBlobField* data = nullptr;

    explicit BlobFixture(std::initializer_list<std::string> stored, bool doZip = true) {
        ds->FieldDefs().Add("Id", ftInteger);
        ds->FieldDefs().Add("Data", ftBlob);
        ds->Open();
        data = dynamic_cast<TQelODBCBlobField*>(ds->FieldByName("Data"));
        data->DoZip = doZip;
        int id = 0;
        for (const auto& s : stored) {
            ds->AddRecord();
            const int i = ds->RealRecordCount() - 1;
            ds->SetFieldValueInBuffer(ds->FieldByName("Id"), i, Variant::FromInt32(++id));
            if (!s.empty()) ds->SetFieldValueInBuffer(data, i, Variant::FromBytes(s.data(), s.size()));
        }
        ds->First();
    }
    std::string Stored(int index) { return *ds->RecordBlob(data, index); }
    std::string ReadAll(TBlobStreamMode mode = bmRead) {
        auto s = ds->CreateBlobStream(data, mode);
        std::string out(static_cast<std::size_t>(s->GetBlobSize()), '\0');
        EXPECT_EQ(s->Read(out.data(), out.size()), out.size());
        return out;
    }
};

const std::string kPlain = "Отчёт за март: " + std::string(300, '=');

}  // namespace

TEST(BlobStream, DoZipFieldStoresCompressedAndReadsPlain) {
    BlobFixture f({""});
    f.ds->Edit();
    {
        auto s = f.ds->CreateBlobStream(f.data, bmWrite);
        const std::string same(10000, 'z');
        EXPECT_EQ(s->Write(same.data(), same.size()), same.size());
    }
    f.ds->Post();
    const std::string stored = f.Stored(0);
    EXPECT_EQ(stored, ZipBytes(std::string(10000, 'z')));
    EXPECT_LT(stored.size(), 100u);
    EXPECT_EQ(f.ReadAll(), std::string(10000, 'z'));
    EXPECT_EQ(f.data->AsString(), std::string(10000, 'z'));
    // The Variant form is the stored form.
    const Variant v = f.data->AsVariant();
    ASSERT_TRUE(v.IsByteArray());
    EXPECT_EQ(std::string(v.Bytes().begin(), v.Bytes().end()), stored);
}

TEST(BlobStream, FieldTextIsPackedOnWriteAndAnEmptyValueStaysEmpty) {
    BlobFixture f({"", ""});
    f.ds->Edit();
    f.data->SetAsString(kPlain);
    f.ds->Post();
    EXPECT_EQ(f.Stored(0), ZipBytes(kPlain));
    EXPECT_EQ(f.data->AsString(), kPlain);
    f.ds->Next();
    f.ds->Edit();
    {
        auto s = f.ds->CreateBlobStream(f.data, bmReadWrite);
        s->Truncate();
    }
    f.ds->Post();
    EXPECT_EQ(f.Stored(1), "");  // never compressed
    EXPECT_TRUE(f.data->IsNull());
}

TEST(BlobStream, StoredValueThatDoesNotDecompressReadsAsStored) {
    const std::string cut = ZipBytes(kPlain).substr(0, 10);
    BlobFixture f({"written before compression was on", cut, ZipBytes(kPlain)});
    const char* expected[] = {"written before compression was on", nullptr, nullptr};
    for (int i = 0; i < 3; ++i, f.ds->Next()) {
        SCOPED_TRACE(i);
        const std::string want = i == 0 ? expected[0] : i == 1 ? cut : kPlain;
        EXPECT_EQ(f.ReadAll(), want);
        EXPECT_EQ(f.data->AsString(), want);
    }
}

TEST(BlobStream, ReadWriteSeekTruncateAndSize) {
    BlobFixture f({"0123456789"}, false);
    f.ds->Edit();
    auto s = f.ds->CreateBlobStream(f.data, bmReadWrite);
    EXPECT_TRUE(s->Opened());
    EXPECT_TRUE(s->UseBuffer());
    EXPECT_EQ(s->GetBlobSize(), 10);
    char buf[16] = {};
    struct Step {
        const char* name;
        std::function<std::int64_t()> act;
        std::int64_t result;
        std::int64_t position;
        const char* value;
    };
    const Step steps[] = {
        {"read 4", [&] { return static_cast<std::int64_t>(s->Read(buf, 4)); }, 4, 4, "0123456789"},
        {"seek from current", [&] { return s->Seek(2, SeekOrigin::Current); }, 6, 6, "0123456789"},
        {"read past the end is cut", [&] { return static_cast<std::int64_t>(s->Read(buf, 16)); }, 4, 10, "0123456789"},
        {"seek from end", [&] { return s->Seek(-3, SeekOrigin::End); }, 7, 7, "0123456789"},
        {"overwrite and lengthen", [&] { return static_cast<std::int64_t>(s->Write("ABCDE", 5)); }, 5, 12,
         "0123456ABCDE"},
        {"seek before the start", [&] { return s->Seek(-5, SeekOrigin::Begin); }, -5, -5, "0123456ABCDE"},
        {"no read before the start", [&] { return static_cast<std::int64_t>(s->Read(buf, 4)); }, 0, -5, "0123456ABCDE"},
        {"no write before the start", [&] { return static_cast<std::int64_t>(s->Write("x", 1)); }, 0, -5,
         "0123456ABCDE"},
        {"no write far beyond", [&] { s->Seek(std::int64_t{1} << 40, SeekOrigin::Begin); return static_cast<std::int64_t>(s->Write("x", 1)); },
         0, std::int64_t{1} << 40, "0123456ABCDE"},
        {"write past the end fills the gap", [&] { s->Seek(14, SeekOrigin::Begin); return static_cast<std::int64_t>(s->Write("!", 1)); },
         1, 15, nullptr},
        {"truncate", [&] { s->Truncate(); return s->GetBlobSize(); }, 0, 15, ""},
    };
    for (const auto& st : steps) {
        SCOPED_TRACE(st.name);
        EXPECT_EQ(st.act(), st.result);
        EXPECT_EQ(s->Position(), st.position);
        if (st.value) {
            EXPECT_EQ(s->Data(), st.value);
        }
    }
    EXPECT_EQ(s->Data(), "");
    s->Seek(0, SeekOrigin::Begin);
    s->Write("new", 3);
    s.reset();
    EXPECT_EQ(f.data->AsString(), "new");
    f.ds->Cancel();
    EXPECT_EQ(f.data->AsString(), "0123456789");
}

TEST(BlobStream, WriteModeStartsEmptyAndCancelKeepsTheRecord) {
    BlobFixture f({ZipBytes(kPlain)});
    f.ds->Edit();
    {
        auto s = f.ds->CreateBlobStream(f.data, bmWrite);
        EXPECT_EQ(s->GetBlobSize(), 0);
        s->Write("short", 5);
    }
    EXPECT_EQ(f.data->AsString(), "short");
    f.ds->Cancel();
    EXPECT_EQ(f.data->AsString(), kPlain);
    EXPECT_EQ(f.Stored(0), ZipBytes(kPlain));
}

TEST(BlobStream, WritingStreamsAreRefusedOutsideEditAndOnReadOnlyFields) {
    BlobFixture f({"abc"});
    EXPECT_THROW(
        {
            try {
                f.ds->CreateBlobStream(f.data, bmWrite);
            } catch (const EDatabaseError& e) {
                EXPECT_STREQ(e.what(), "Dataset not in edit or insert mode");
                throw;
            }
        },
        EDatabaseError);
    EXPECT_EQ(f.ReadAll(), "abc");  // reading is fine in browse
    f.ds->Edit();
    f.data->SetReadOnly(true);
    EXPECT_THROW(
        {
            try {
                f.ds->CreateBlobStream(f.data, bmReadWrite);
            } catch (const EDatabaseError& e) {
                EXPECT_STREQ(e.what(), "Field 'Data' cannot be modified");
                throw;
            }
        },
        EDatabaseError);
    EXPECT_THROW(f.ds->CreateBlobStream(f.ds->FieldByName("Id"), bmRead), EDatabaseError);
}

TEST(BlobStream, StreamOnAnotherBufferReadsTheCursorRecordAsStored) {
    BlobFixture f({ZipBytes("first"), ZipBytes("second")});
    f.ds->Next();
    std::string seen;
    std::int64_t size = -1;
    bool useBuffer = true;
    f.ds->OnCalcFields = [&](TDataSet&) {
        auto s = f.ds->CreateBlobStream(f.data, bmRead);
        useBuffer = s->UseBuffer();
        size = s->GetBlobSize();
        seen.assign(static_cast<std::size_t>(size), '\0');
        s->Read(seen.data(), seen.size());
    };
    ASSERT_TRUE(f.ds->GetCurrentRecord(f.ds->TempBuffer()));
    EXPECT_FALSE(useBuffer);
    EXPECT_EQ(seen, ZipBytes("second"));
}

TEST(BlobStream, CloseBlobPutsBackTheStoredValue) {
    BlobFixture f({ZipBytes(kPlain)});
    f.ds->Edit();
    f.data->SetAsString("changed");
    f.ds->CloseBlob(f.data);
    EXPECT_EQ(f.data->AsString(), kPlain);
    f.ds->Cancel();
    f.ds->Insert();
    f.data->SetAsString("changed");
    f.ds->CloseBlob(f.data);
    EXPECT_TRUE(f.data->IsNull());
    f.ds->Cancel();
}

// Values as the database keeps them: one compressed by zlib, one written plain.
class BlobLoad : public ::testing::TestWithParam<test::DriverCase> {};

TEST_P(BlobLoad, DoZipFieldReadsCompressedAndPlainDatabaseValues) {
    KUBRIX_REQUIRE_PG(GetParam().postgres);
    test::TempSqliteDb db;
    const std::string connStr = test::ConnStrFor(GetParam(), db);
    auto c = test::Connect(connStr);
    const bool pg = GetParam().postgres;
    test::Exec(*c, "drop table if exists blob_docs");
    test::Exec(*c, std::string("create table blob_docs (id integer, body ") + (pg ? "bytea" : "longvarbinary") + ")");
    auto hex = [](const std::string& s) {
        static const char* d = "0123456789abcdef";
        std::string h;
        for (unsigned char b : s) h += {d[b >> 4], d[b & 15]};
        return h;
    };
    auto lit = [&](const std::string& s) { return pg ? "'\\x" + hex(s) + "'::bytea" : "x'" + hex(s) + "'"; };
    test::Exec(*c, "insert into blob_docs values (1, " + lit(ZipBytes(kPlain)) + ")");
    test::Exec(*c, "insert into blob_docs values (2, " + lit("plain bytes") + ")");
    test::Exec(*c, "insert into blob_docs values (3, NULL)");

    TQelODBCClient ds;
    ds.SetConnection(c.get());
    ds.SetSQL_Select("select id, body from blob_docs order by id");
    auto* body = dynamic_cast<TQelODBCBlobField*>(ds.FieldByName("body"));
    ASSERT_NE(body, nullptr);
    body->DoZip = true;
    ds.Open();
    const char* want[] = {nullptr, "plain bytes", nullptr};
    int i = 0;
    for (ds.First(); !ds.Eof(); ds.Next(), ++i) {
        SCOPED_TRACE(i);
        if (i == 2) {
            EXPECT_TRUE(body->IsNull());
        } else {
            EXPECT_EQ(body->AsString(), i == 0 ? kPlain : std::string(want[i]));
        }
    }
    EXPECT_EQ(i, 3);
    test::Exec(*c, "drop table blob_docs");
}

INSTANTIATE_TEST_SUITE_P(Drivers, BlobLoad, ::testing::ValuesIn(test::kDrivers), test::DriverName);
