// Applying a layout from name lists, the full state string and its files: byte forms, round
// trips, moving a field between axes, and bytes that are cut or random.
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdlib.h>
#include <sys/resource.h>
#include <random>
#include <string>
#include <vector>

#include "pivot/KubrixState.h"
#include "pivot/PivotFixture.h"
#include "support/Errors.h"
#include "support/StorageStream.h"

using namespace kubrix;
using namespace kubrix::testing;

namespace {

Pivot Sales() {
    return Pivot({{"Region", ftString, 10}, {"Year", ftInteger}, {"Sum", ftFloat}, {"Note", ftMemo}},
                 {{S("N"), I(2020), D(1), S("n1")},
                  {S("N"), I(2021), D(5), S("n2")},
                  {S("S"), I(2020), D(10), S("s1")},
                  {S("S"), I(2021), D(2), N()},
                  {S("E"), I(2021), D(3), S("e1")}});
}

std::vector<std::string> Names(const TQelOLAPVisibleFields& list) {
    std::vector<std::string> out;
    for (int i = 0; i < list.Count(); ++i) out.push_back(list.Field(i).FieldName);
    return out;
}

using Names_t = std::vector<std::string>;

std::vector<std::uint8_t> Bytes(std::initializer_list<int> b) {
    std::vector<std::uint8_t> out;
    for (int x : b) out.push_back(static_cast<std::uint8_t>(x));
    return out;
}

void Append(std::vector<std::uint8_t>& out, const std::vector<std::uint8_t>& more) {
    out.insert(out.end(), more.begin(), more.end());
}

std::vector<std::uint8_t> AnsiBytes(const std::string& s) {
    std::vector<std::uint8_t> out = Bytes({0x00, 0x01, static_cast<int>(s.size()), 0, 0, 0});
    out.insert(out.end(), s.begin(), s.end());
    return out;
}

//! The saved form of one placed field [name, ShowTotals, DescSort].
std::vector<std::uint8_t> PlacedBytes(const std::string& name, bool totals, bool desc) {
    std::vector<std::uint8_t> out = Bytes({0x0C, 0x20, 2, 0, 0, 0, 0, 0, 0, 0});
    Append(out, AnsiBytes(name));
    Append(out, Bytes({0x0B, 0x00, totals ? 0xFF : 0, totals ? 0xFF : 0}));
    Append(out, Bytes({0x0B, 0x00, desc ? 0xFF : 0, desc ? 0xFF : 0}));
    return out;
}

//! The values of a full state, read back one by one.
std::vector<Variant> ReadValues(const std::string& s) {
    TQelStorageStream stream;
    stream.Write(s.data(), s.size());
    stream.Seek(0);
    std::vector<Variant> out;
    Variant v;
    while (stream.LoadValue(v)) out.push_back(v);
    return out;
}

//! Every axis row refers to a node of the built tree, numbered in order.
void ExpectConsistent(Pivot& p) {
    for (const TQelOLAPVisibleFields* axis : {&p.grid.XAxis, &p.grid.YAxis}) {
        if (axis->Count() == 0) continue;
        ASSERT_TRUE(axis->Root);
        EXPECT_EQ(axis->LevelCount(), axis->Count());
        for (int r = 0; r < axis->RowCount(); ++r) EXPECT_EQ(axis->Rows[static_cast<std::size_t>(r)]->OwnRow, r);
    }
}

}  // namespace

// ---------------------------------------------------------------- Config

TEST(Config, PlacesTheNamedFields) {
    struct Case {
        const char* name;
        std::string x, y, d;
        Names_t ex, ey, ed;
        std::string error;
    };
    const Case cases[] = {
        {"one field each", "Region;", "Year;", "Sum;", {"Region"}, {"Year"}, {"Sum"}, ""},
        {"name without ';' is ignored", "Region", "", "", {}, {}, {}, ""},
        {"text after the last ';' ignored", "Region;Ye", "", "Sum;x", {"Region"}, {}, {"Sum"}, ""},
        {"two vertical levels", "Region;Year;", "", "Sum;", {"Region", "Year"}, {}, {"Sum"}, ""},
        {"a field named twice ends on the later list", "Region;", "Region;", "", {}, {"Region"}, {}, ""},
        {"unknown name keeps what came before", "Region;Nope;Year;", "Year;", "Sum;", {"Region"}, {}, {},
         "Field not found: Nope"},
        {"empty name", "Region;;", "", "", {"Region"}, {}, {}, "Field not found: "},
        {"names are taken verbatim", " Region;", "", "", {}, {}, {}, "Field not found:  Region"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot p = Sales();
        p.grid.Config("Year;", "Region;", "Sum;", 0, 0);  // a layout to be replaced
        p.grid.VDataOrderBy = Variant::FromAnsi("stale");
        if (c.error.empty()) {
            p.grid.Config(c.x, c.y, c.d, 1, 2);
            EXPECT_EQ(p.grid.DataPlace, 1);
            EXPECT_EQ(p.grid.DataIndex, 2);
        } else {
            try {
                p.grid.Config(c.x, c.y, c.d, 1, 2);
                ADD_FAILURE() << "no error";
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), c.error);
            }
        }
        EXPECT_EQ(Names(p.grid.XAxis), c.ex);
        EXPECT_EQ(Names(p.grid.YAxis), c.ey);
        EXPECT_EQ(Names(p.grid.DataFields), c.ed);
        EXPECT_TRUE(p.grid.VDataOrderBy.IsEmpty());
        EXPECT_EQ(p.grid.UpdateLock, 0);
        EXPECT_EQ(p.grid.XAxis.UpdateCount() + p.grid.YAxis.UpdateCount() + p.grid.DataFields.UpdateCount(), 0);
        ExpectConsistent(p);
    }
}

// ---------------------------------------------------------------- byte forms

TEST(FullState, ByteFormOfASmallPivot) {
    Pivot p = Sales();
    p.grid.Config("Region;", "Year;", "Sum;", 0, 0);
    p.Field("Year").SetDescSort(true);
    p.Field("Year").Values[0]->Selected = false;  // 2020 (descending: the dictionary keeps value order)
    p.Field("Year").Values[1]->Expanded = false;
    const std::string s = p.grid.GetFullState();
    const std::vector<Variant> v = ReadValues(s);
    ASSERT_EQ(v.size(), 8u);
    EXPECT_EQ(static_cast<std::uint8_t>(s[0]), 0x0C);
    EXPECT_EQ(static_cast<std::uint8_t>(s[1]), 0x20);

    // Values 2 to 8, byte for byte.
    std::vector<std::uint8_t> tail;
    for (auto [name, totals, desc] : {std::tuple{"Region", true, false}, std::tuple{"Year", true, true},
                                       std::tuple{"Sum", true, false}}) {
        Append(tail, Bytes({0x0C, 0x20, 0, 0, 0, 0, 0, 0, 0, 0}));
        Append(tail, PlacedBytes(name, totals, desc));
    }
    Append(tail, Bytes({0x10, 0x00, 0x00}));  // DataPlace, 8-bit signed
    Append(tail, Bytes({0x11, 0x00, 0x00}));  // DataIndex, byte
    Append(tail, Bytes({0x00, 0x00, 0x00, 0x00}));  // no orderings: two empty values
    ASSERT_GE(s.size(), tail.size());
    EXPECT_EQ(std::vector<std::uint8_t>(s.end() - static_cast<std::ptrdiff_t>(tail.size()), s.end()), tail);

    // Grid state: mark, field list state, two width arrays of count, widths and a zero byte.
    const Variant& grid = v[0];
    ASSERT_TRUE(grid.IsArray());
    ASSERT_EQ(grid.ElementCount(), 4);
    EXPECT_EQ(grid.GetElement(0), Variant::FromUInt8(1));
    const int cols = p.grid.Geometry().Cols().Count();
    for (int k : {2, 3}) {
        const Variant w = grid.GetElement(k);
        ASSERT_TRUE(w.IsByteArray());
        ASSERT_EQ(w.Bytes().size(), static_cast<std::size_t>(cols) * 4 + 5);
        EXPECT_EQ(w.Bytes()[0] | (w.Bytes()[1] << 8), cols);
        EXPECT_EQ(w.Bytes().back(), 0);
    }
    // Field list state: one [name, values] per pivot field in field order.
    const Variant fields = grid.GetElement(1);
    EXPECT_EQ(fields.GetElement(0), Variant::FromUInt8(1));
    TQelStorageStream inner;
    inner.SetAsVariant(fields.GetElement(1));
    std::vector<std::string> names;
    Variant item;
    while (inner.LoadValue(item)) {
        names.push_back(item.GetElement(0).ToAnsi());
        const Variant values = item.GetElement(1);
        if (names.back() == "Year") {
            // Per entry: 4 unused, Expanded, Selected, 2 unused, then flag byte and the integer.
            EXPECT_EQ(values.Bytes(), Bytes({0, 0, 0, 0, 1, 0, 0, 0, 1, 0xE4, 0x07, 0, 0,  //
                                             0, 0, 0, 0, 0, 1, 0, 0, 1, 0xE5, 0x07, 0, 0}));
        } else if (names.back() == "Sum") {
            EXPECT_TRUE(values.IsNull()) << "a field never placed on an axis has no dictionary";
        } else if (names.back() == "Note") {
            EXPECT_TRUE(values.IsNull());
        }
    }
    EXPECT_EQ(names, (Names_t{"Region", "Year", "Sum", "Note"}));
}

// ---------------------------------------------------------------- round trips

TEST(FullState, RestoresTheWholeLayout) {
    Pivot a = Sales();
    a.grid.Config("Region;Note;", "Year;", "Sum;", 1, 1);
    a.Field("Region").SetShowTotals(false);
    a.Field("Region").Values[1]->Expanded = false;  // N
    a.Field("Note").Values[2]->Selected = false;    // n1 (memo)
    a.grid.UpdateGrid();
    a.grid.Geometry().Cols().SetSize(2, 123);
    a.grid.SortByData(false, true, nullptr, nullptr, 0, true);
    const std::string saved = a.grid.GetFullState();
    const Names_t rows = a.RowPaths(a.grid.XAxis);

    Pivot b = Sales();
    b.grid.Config("Year;", "Region;", "", 0, 0);  // another layout, the axes swapped
    b.grid.SetFullState(saved);
    EXPECT_EQ(Names(b.grid.XAxis), (Names_t{"Region", "Note"}));
    EXPECT_EQ(Names(b.grid.YAxis), (Names_t{"Year"}));
    EXPECT_EQ(Names(b.grid.DataFields), (Names_t{"Sum"}));
    EXPECT_EQ(b.grid.DataPlace, 1);
    EXPECT_EQ(b.grid.DataIndex, 1);
    EXPECT_FALSE(b.Field("Region").ShowTotals);
    EXPECT_FALSE(b.Field("Region").Values[1]->Expanded);
    EXPECT_FALSE(b.Field("Note").Values[2]->Selected);
    EXPECT_EQ(b.grid.Geometry().Cols().SavedSize(2), 123);
    EXPECT_EQ(b.grid.VDataOrderBy, a.grid.VDataOrderBy);
    EXPECT_EQ(b.RowPaths(b.grid.XAxis), rows);
    EXPECT_EQ(b.grid.GetFullState(), saved);
    ExpectConsistent(b);
}

TEST(FullState, MovesAFieldFromOneAxisToTheOther) {
    struct Case { const char* name; std::string x, y, savedX, savedY; };
    const Case cases[] = {
        {"horizontal to vertical", "Region;", "Year;", "Year;Region;", ""},
        {"vertical to horizontal", "Region;Year;", "", "Year;", "Region;"},
        {"the axes swap", "Region;", "Year;", "Year;", "Region;"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Pivot saved = Sales();
        saved.grid.Config(c.savedX, c.savedY, "Sum;", 0, 0);
        const std::string s = saved.grid.GetFullState();
        Pivot p = Sales();
        p.grid.Config(c.x, c.y, "Sum;", 0, 0);
        ASSERT_NO_THROW(p.grid.SetFullState(s));
        EXPECT_EQ(Names(p.grid.XAxis), Names(saved.grid.XAxis));
        EXPECT_EQ(Names(p.grid.YAxis), Names(saved.grid.YAxis));
        EXPECT_EQ(p.RowPaths(p.grid.XAxis), saved.RowPaths(saved.grid.XAxis));
        EXPECT_EQ(p.RowPaths(p.grid.YAxis), saved.RowPaths(saved.grid.YAxis));
        EXPECT_EQ(p.Cell("", ""), saved.Cell("", ""));
        ExpectConsistent(p);
    }
}

TEST(FullState, DeselectedValueMissingFromTheDataIsRestored) {
    Pivot a({{"Region", ftString, 10}, {"Sum", ftFloat}}, {{S("N"), D(1)}, {S("W"), D(2)}});
    a.grid.Config("Region;", "", "Sum;", 0, 0);
    a.Field("Region").Values[1]->Selected = false;  // W
    const std::string s = a.grid.GetFullState();
    Pivot b({{"Region", ftString, 10}, {"Sum", ftFloat}}, {{S("N"), D(1)}});
    b.grid.Config("Region;", "", "Sum;", 0, 0);
    b.grid.SetFullState(s);
    ASSERT_EQ(b.Field("Region").Values.size(), 2u);
    EXPECT_EQ(b.Field("Region").ValueToText(b.Field("Region").Values[1]->Buffer()), "W");
    EXPECT_FALSE(b.Field("Region").Values[1]->Selected);
    EXPECT_EQ(b.RowPaths(b.grid.XAxis), (Names_t{"N"}));
}

// ---------------------------------------------------------------- bad bytes

TEST(FullState, CutAndRandomBytesApplyWhatCanBeRead) {
    Pivot a = Sales();
    a.grid.Config("Region;Year;", "Note;", "Sum;", 0, 0);
    a.grid.SortByData(false, false, nullptr, nullptr, 0, true);
    const std::string full = a.grid.GetFullState();
    Pivot p = Sales();
    // Every prefix: no crash, and the grid stays usable whatever was applied.
    for (std::size_t n = 0; n <= full.size(); ++n) {
        SCOPED_TRACE(n);
        p.grid.Config("Year;", "Region;", "Sum;", 0, 0);
        try {
            p.grid.SetFullState(full.substr(0, n));
        } catch (const Exception&) {
            // a cut name is an unknown field: reported, not a crash
        }
        EXPECT_EQ(p.grid.UpdateLock, 0);
        ExpectConsistent(p);
        p.grid.UpdateGrid();
        EXPECT_FALSE(p.grid.GetFullState().empty());
    }
    p.grid.SetFullState(full);
    EXPECT_EQ(p.grid.GetFullState(), full);

    std::mt19937 rng(20240611);
    for (int round = 0; round < 300; ++round) {
        SCOPED_TRACE(round);
        std::string junk = full;
        const int flips = 1 + static_cast<int>(rng() % 8);
        for (int k = 0; k < flips; ++k) junk[rng() % junk.size()] = static_cast<char>(rng());
        if (round % 3 == 0) {
            junk.resize(rng() % 200);
            for (char& ch : junk) ch = static_cast<char>(rng());
        }
        try {
            p.grid.SetFullState(junk);
        } catch (const std::exception&) {
            // errors are fine, crashes and half-open brackets are not
        }
        EXPECT_EQ(p.grid.UpdateLock, 0);
        ExpectConsistent(p);
        p.grid.UpdateGrid();
        (void)p.grid.GetFullState();
    }
}

TEST(FullState, AHugeCountInAWidthArrayAllocatesNothingBeyondItsBytes) {
    Pivot p = Sales();
    p.grid.Config("Region;", "", "Sum;", 0, 0);
    const int before = p.grid.Geometry().Cols().Count();
    Variant widths = Variant::FromBytes(Bytes({0xFF, 0xFF, 0xFF, 0x7F, 50, 0, 0, 0, 0}));
    Variant state = Variant::MakeArray(VT_VARIANT, 0, 3);
    state.PutElement(0, Variant::FromUInt8(1));
    state.PutElement(1, Variant::Null());
    state.PutElement(2, widths);
    state.PutElement(3, widths);
    p.grid.SetState(state);
    EXPECT_EQ(p.grid.Geometry().Cols().Count(), before);
    EXPECT_EQ(p.grid.Geometry().Cols().SavedSize(0), 50);
}

// ---------------------------------------------------------------- files

TEST(FullState, Files) {
    const std::string path = ::testing::TempDir() + "kubrix_state_test.bin";
    std::remove(path.c_str());
    Pivot a = Sales();
    a.grid.Config("Year;", "Region;", "Sum;", 0, 0);
    Pivot b = Sales();
    b.grid.Config("Region;", "", "Sum;", 0, 0);
    const std::string before = b.grid.GetFullState();

    b.grid.LoadFullStateFromFile(path);  // missing: nothing happens
    EXPECT_EQ(b.grid.GetFullState(), before);

    a.grid.SaveFullStateToFile(path);
    std::ifstream in(path, std::ios::binary);
    const std::string written((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(written, a.grid.GetFullState());
    b.grid.LoadFullStateFromFile(path);
    EXPECT_EQ(b.grid.GetFullState(), a.grid.GetFullState());
    std::remove(path.c_str());

    EXPECT_THROW(a.grid.SaveFullStateToFile("/nonexistent-dir/x/state.bin"), Exception);
    EXPECT_THROW(b.grid.LoadFullStateFromFile(::testing::TempDir()), Exception);  // a folder
}

namespace {

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

//! While it lives, no file of this process may grow past a few bytes: a write past them fails
//! as on a full disk (the signal that would end the process is ignored).
class TinyFileSizeLimit {
public:
    TinyFileSizeLimit() {
        getrlimit(RLIMIT_FSIZE, &old_);
        oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
        rlimit tiny = old_;
        tiny.rlim_cur = 16;
        setrlimit(RLIMIT_FSIZE, &tiny);
    }
    ~TinyFileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &old_);
        std::signal(SIGXFSZ, oldHandler_);
    }

private:
    rlimit old_{};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace

// A save that cannot be written whole keeps the old file as it was and leaves nothing beside it;
// a save through a link replaces the link's target.
TEST(FullState, AFailedSaveKeepsTheOldFile) {
    namespace fs = std::filesystem;
    std::string tmpl = (fs::temp_directory_path() / "kubrix-state-save.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const fs::path dir = tmpl;
    const std::string path = (dir / "layout.state").string();
    Pivot a = Sales();
    a.grid.Config("Year;", "", "Sum;", 0, 0);
    a.grid.SaveFullStateToFile(path);
    const std::string old = a.grid.GetFullState();
    ASSERT_EQ(ReadFile(path), old);

    a.grid.Config("Region;Year;", "Note;", "Sum;", 0, 0);
    const std::string now = a.grid.GetFullState();
    ASSERT_GT(now.size(), 16u);
    try {
        TinyFileSizeLimit full;
        a.grid.SaveFullStateToFile(path);
        ADD_FAILURE() << "no exception";
    } catch (const Exception& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(ReadFile(path), old);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

    a.grid.SaveFullStateToFile(path);
    EXPECT_EQ(ReadFile(path), now);
    const std::string link = (dir / "link.state").string();
    fs::create_symlink("layout.state", link);
    a.grid.Config("Region;", "", "Sum;", 0, 0);
    a.grid.SaveFullStateToFile(link);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(ReadFile(path), a.grid.GetFullState());
    fs::remove_all(dir);
}

// A state file with no layout in it is refused and changes nothing; one cut after a field
// list applies what it holds and says that it was read only in part.
TEST(FullState, LoadingAFileWithoutALayoutIsRefused) {
    Pivot a = Sales();
    a.grid.Config("Region;Year;", "Note;", "Sum;", 0, 0);
    const std::string full = a.grid.GetFullState();
    // Where each value ends.
    std::vector<std::size_t> ends;
    {
        TQelStorageStream stream;
        stream.Write(full.data(), full.size());
        stream.Seek(0);
        Variant v;
        while (stream.LoadValue(v)) ends.push_back(static_cast<std::size_t>(stream.Position()));
        ASSERT_EQ(ends.size(), 8u);
    }
    std::string junk(300, '\0');
    std::mt19937 rng(7);
    for (char& ch : junk) ch = static_cast<char>(rng());
    struct FileCase {
        const char* name;
        std::string bytes;
        bool refused;
        bool complete;
        Names_t rows;
    };
    const FileCase cases[] = {
        {"empty", "", true, false, {"Year"}},
        {"random bytes", junk, true, false, {"Year"}},
        {"cut before the first field list", full.substr(0, ends[0]), true, false, {"Year"}},
        {"cut after the vertical list", full.substr(0, ends[1]), false, false, {"Region", "Year"}},
        {"whole", full, false, true, {"Region", "Year"}},
    };
    std::string tmpl = (std::filesystem::temp_directory_path() / "kubrix-state-refused.XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    const std::string path = tmpl + "/state.bin";
    for (const auto& fc : cases) {
        SCOPED_TRACE(fc.name);
        {
            std::ofstream out(path, std::ios::binary | std::ios::trunc);
            out << fc.bytes;
        }
        Pivot p = Sales();
        p.grid.Config("Year;", "", "Sum;", 0, 0);
        const std::string before = p.grid.GetFullState();
        if (fc.refused) {
            try {
                p.grid.LoadFullStateFromFile(path);
                ADD_FAILURE() << "no exception";
            } catch (const Exception& e) {
                EXPECT_EQ(std::string(e.what()), "Файл \"" + path + "\" не содержит сохранённой раскладки.");
            }
            EXPECT_EQ(p.grid.GetFullState(), before);
        } else {
            EXPECT_EQ(p.grid.LoadFullStateFromFile(path), fc.complete);
        }
        EXPECT_EQ(Names(p.grid.XAxis), fc.rows);
    }
    std::filesystem::remove_all(tmpl);
}
