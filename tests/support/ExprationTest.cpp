// The filter language: precedence by the operator table, constants, fields, sets, the like
// match, the null rules, failures, and texts that are malformed on purpose.
#include <gtest/gtest.h>

#include <map>
#include <optional>
#include <string>

#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/QelExpration.h"

namespace kubrix {
namespace {

// A record of named values (current and before editing) that the language reads.
class Row : public IQelExprDataSet {
public:
    std::map<std::string, Variant> Current, Old;
    int Reads = 0;

    const void* ExprFindField(std::string_view name) const override {
        auto it = Current.find(std::string(name));
        return it == Current.end() ? nullptr : &it->first;
    }
    void ExprGetFieldValue(const void* field, bool old, Variant& value) override {
        ++Reads;
        const auto& name = *static_cast<const std::string*>(field);
        value = old && Old.count(name) ? Old.at(name) : Current.at(name);
    }
};

Row Sample() {
    Row r;
    r.Current = {{"a", Variant::FromInt32(1)},        {"b", Variant::Null()},
                 {"x", Variant::FromInt32(2)},        {"y", Variant::FromInt32(2)},
                 {"n", Variant::Null()},              {"m", Variant::Null()},
                 {"name", Variant::FromAnsi("ABC")},  {"city", Variant::FromAnsi("Москва")},
                 {"d", Variant::FromDate(45296.0)},   {"s", Variant::FromAnsi("b")},
                 {"q", Variant::FromAnsi("it's")},    {"t", Variant::FromAnsi("")}};
    r.Old = {{"a", Variant::FromInt32(7)}};
    return r;
}

Variant Eval(Row& row, const std::string& text) {
    TQelExpration e;
    e.SetDataSet(&row);
    e.SetCode(text);
    return e.GetValue();
}

std::string ErrorOf(Row& row, const std::string& text) {
    try {
        Eval(row, text);
    } catch (const Exception& e) {
        return e.what();
    }
    return "(no error)";
}

Variant B(bool v) { return Variant::FromBool(v); }
Variant D(double v) { return Variant::FromDouble(v); }
Variant S(const char* v) { return Variant::FromAnsi(v); }

struct ValueCase {
    const char* text;
    Variant expected;
};

TEST(Expration, SplitsAtTheFirstOperatorOfTheTable) {
    FormatSettingsScope scope(FormatSettings{});
    Row row = Sample();
    const ValueCase cases[] = {
        {"2 + 3 * 4", D(20)},
        {"10 - 4 - 3", D(9)},
        {"8 / 4 / 2", D(4)},
        {"2 * 3 + 4", D(14)},
        {"-5", D(-5)},
        {"a - -5", D(6)},
        {"2 * -3", D(-6)},
        {"(2 + 3) * 4", D(20)},
        {"((7))", D(7)},
        {"1.5", D(1.5)},
        {"1e3", D(1000)},
        {"True", B(true)},
        {"False", B(false)},
        {"'it''s'", S("it''s")},
        {"[a b]", S("a b")},
        {"'a=b' = 'a=b'", B(true)},
        {"'(' = '('", B(true)},
        {"'x' & 'y'", S("xy")},
        {"n & 'y'", S("y")},
        {"NOT x = 1", B(true)},
        {"NOT x = 2", B(false)},
        {"y = 2 AND (NOT x = 1)", B(true)},
        {"x = 1 OR y = 2", B(true)},
        {"x = 1 AND y = 2", B(false)},
        {"(x in i[1;2;3;]) AND y = 2", B(true)},
        {"x in i[1;2;3]", B(true)},
        {"3 in i[1;2;3]", B(false)},
        {"n in i[1;;]", B(true)},
        {"n in i[1;2;]", B(false)},
        {"x in n[1.5;2;]", B(true)},
        {"d in d[06.01.2024;05.01.2024;]", B(true)},
        {"d = 05.01.2024", B(true)},
        {"s in ' a; b;'", B(true)},
        {"'a' in ' a; b;'", B(true)},
        {"'a' in 'a; b;'", B(false)},
        {"'a' in s[ 'a'; 'b';]", B(true)},
        {"'a' in s['a'; 'b';]", B(false)},
        {"q in s[ 'it''s';]", B(true)},
        {"name like 'ab%'", B(true)},
        {"'xab' like 'ab%'", B(false)},
        {"name like '%b%'", B(true)},
        {"name like 'bc'", B(true)},
        {"name like '%bc'", B(true)},
        {"name like 'a%c'", B(true)},
        {"name like 'a%b%c'", B(true)},
        {"name like 'a%x%'", B(false)},
        {"name like '%'", B(true)},
        {"t like '%'", B(false)},
        {"n like '%'", B(false)},
        {"city like '%СК%'", B(true)},
        {"n >= m", B(true)},
        {"n > m", B(false)},
        {"n = m", B(true)},
        {"n <> m", B(false)},
        {"a > n", B(true)},
        {"n < a", B(true)},
        {"n <= a", B(true)},
        {"a <= n", B(false)},
        {"a >= n", B(true)},
        {"n = a", B(false)},
        {"a / 0", Variant::Null()},
        {"a / b", Variant::Null()},
        {"a + b", Variant::FromInt32(1)},
        {"b * 3", D(0)},
        {"n is null", B(true)},
        {"a is null", B(false)},
        {"t is null", B(false)},
        {"name = 'ABC'", B(true)},
        {"name = 'abc'", B(false)},
        {"name < 'B'", B(true)},
        {"x = '2'", B(true)},
        {"OLD_a + 0", D(7)},
        {"OLD_x", Variant::FromInt32(2)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Variant v;
        ASSERT_NO_THROW(v = Eval(row, c.text));
        EXPECT_EQ(v, c.expected) << Variant::TypeName(v.Type());
    }
}

struct ErrorCase {
    const char* text;
    const char* message;
};

TEST(Expration, ReportsEachFailureWithItsMessage) {
    FormatSettingsScope scope(FormatSettings{});
    Row row = Sample();
    const ErrorCase cases[] = {
        {"(a = 1", "Несоответствие скобок"},
        {"a = ('x' ", "Несоответствие скобок"},
        {"-a", "Ошибка в выражении\r-a"},
        {"y = 2 AND NOT x = 1", "Ошибка в выражении\r2 AND"},
        {"a and b", "Ошибка в выражении\ra and b"},
        {"x in q[1;]", "Ошибка в выражении\rq[1;]"},
        {"x in i[1;z;]", "Ошибка в выражени"},
        {"x in i[99999999999;]", "Ошибка в выражени"},
        {"x in n[1;z z;]", "Ошибка в выражени.\rz z"},
        {"x in d[1;z;]", "Ошибка в выражении"},
        {"x in i[&7]", "Ошибка в выражении\ri[&7]"},
        {"x in d[&abc]", "Ошибка в выражении\rd[&abc]"},
        {"a =", "Не определена операция\r\"\""},
        {"= 1", "Не определена операция\r\"\""},
        {"x in", "Ошибка в выражении\rx in"},
        {"x in ", "Ошибка в выражении\rx in"},
        {"1 in ", "Ошибка в выражении\r1 in"},
        {"i[1;2;]", "Не определена операция\r\"i[1;2;]\""},
        {"OLD_zzz", "Ошибка в выражении\rOLD_zzz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(ErrorOf(row, c.text), c.message);
    }
}

TEST(Expration, WithoutDataSetOnlyConstantsCompile) {
    TQelExpration e;
    e.SetCode("1 + 2");
    EXPECT_EQ(e.GetValue(), D(3));
    try {
        e.SetCode("1 + a");
        FAIL() << "a field compiled without a data set";
    } catch (const Exception& ex) {
        EXPECT_STREQ(ex.what(), "Ошибка в выражении\ra");
    }
    // A failed compilation leaves nothing to evaluate.
    EXPECT_FALSE(e.Compiled());
    EXPECT_EQ(e.Code(), "");
    EXPECT_THROW(e.GetValue(), Exception);
    e.SetCode(" 4 ");
    EXPECT_EQ(e.Code(), "4");
    EXPECT_EQ(e.GetValue(), D(4));
}

TEST(Expration, TreeGroupsOneLevelToTheRight) {
    TQelExpration e;
    e.SetCode("10 - 4 - 3");
    ASSERT_EQ(e.Kind(), TQelExpration::TKind::Subtract);
    EXPECT_EQ(e.Text(), " 10 - 4 - 3");
    ASSERT_NE(e.Left(), nullptr);
    EXPECT_EQ(e.Left()->Kind(), TQelExpration::TKind::Constant);
    EXPECT_EQ(e.Left()->Constant(), D(10));
    ASSERT_NE(e.Right(), nullptr);
    EXPECT_EQ(e.Right()->Kind(), TQelExpration::TKind::Subtract);
    EXPECT_EQ(e.Right()->Text(), " 4 - 3");

    // A set literal's elements: sorted, without duplicates, the null flag from an empty one.
    e.SetCode("1 in i[3; 1;3;;2;9]");
    ASSERT_NE(e.Right(), nullptr);
    EXPECT_EQ(e.Right()->SetKind(), TQelExpration::TSetKind::Integer);
    EXPECT_EQ(e.Right()->SetValues(), (std::vector<double>{1, 2, 3}));
    EXPECT_TRUE(e.Right()->SetHasNull());
    // Recompiling drops what the earlier text built.
    e.SetCode("5");
    EXPECT_EQ(e.Kind(), TQelExpration::TKind::Constant);
    EXPECT_EQ(e.Left(), nullptr);
    EXPECT_EQ(e.Right(), nullptr);
}

TEST(Expration, EveryEvaluationReadsTheFieldsAgain) {
    Row row = Sample();
    TQelExpration e;
    e.SetDataSet(&row);
    e.SetCode("x + 1");
    EXPECT_EQ(e.GetValue(), D(3));
    row.Current["x"] = Variant::FromInt32(10);
    EXPECT_EQ(e.GetValue(), D(11));
    EXPECT_EQ(row.Reads, 2);
}

TEST(Expration, ReplacedReaderGetsTheVersionText) {
    Row row = Sample();
    TQelExpration e;
    e.SetDataSet(&row);
    std::vector<std::string> versions;
    e.OnGetFieldValue = [&](const void*, const std::string& version, Variant& v) {
        versions.push_back(version);
        v = Variant::FromInt32(version == "new" ? 1 : 100);
    };
    e.SetCode("a + OLD_a");
    EXPECT_EQ(e.GetValue(), Variant::FromInt32(101));
    EXPECT_EQ(versions, (std::vector<std::string>{"new", "old"}));
}

TEST(Expration, RegisteredListsAreNamedByHandle) {
    Row row = Sample();
    TQelExpration e;
    e.SetDataSet(&row);
    const std::int32_t ints = e.RegisterIntegerList({5, 2, 9, 2});
    const std::int32_t dates = e.RegisterDateList({45296.0, std::nullopt});
    ASSERT_NE(ints, dates);
    const struct { std::string text; bool expected; } cases[] = {
        {"x in i[&" + std::to_string(ints) + "]", true},
        {"a in i[&" + std::to_string(ints) + "]", false},
        {"n in i[&" + std::to_string(ints) + "]", false},
        {"d in d[&" + std::to_string(dates) + "]", true},
        {"n in d[ &" + std::to_string(dates) + " ]", true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        e.SetCode(c.text);
        EXPECT_EQ(e.GetValue(), B(c.expected));
    }
    // The list was copied when the text was compiled; a released handle is an unknown one.
    e.SetCode("x in i[&" + std::to_string(ints) + "]");
    e.ReleaseList(ints);
    EXPECT_EQ(e.GetValue(), B(true));
    EXPECT_THROW(e.SetCode("x in i[&" + std::to_string(ints) + "]"), Exception);
    // An integer list is no date list.
    EXPECT_THROW(e.SetCode("d in d[&" + std::to_string(ints) + "]"), Exception);
}

// Texts malformed on purpose: each compiles and evaluates, or fails with a clear error.
TEST(Expration, MalformedTextsFailCleanly) {
    Row row = Sample();
    std::vector<std::string> texts = {
        "", " ", "'", "''", "'''", "(", ")", "((", "))", "()", "(()", "[", "]", "[]", "i[", "i[]", "i[;]",
        "x in", "NOT", " NOT ", "NOT NOT", " AND ", "a AND", "AND a", "%", "like", "a like", "a like ",
        "is null", " is null", "a is nullx", "&", "a & ", "<>", ">=<=", "a = = b", "a in in b",
        "1 / 0 / 0", "'a' * 2", "name + 1", "name - 1", "d * d", "-", "--", "- -1", "+", "1e", "1e+",
        ".", "1.2.3", std::string("a\0b", 3), "\x01\x02\x03", "\xff\xfe", "\xd0", "'\xd0'", "x in s[\xd0]",
        "x in i[&]", "x in i[&-1]", "x in i[& 1 2]", "OLD_", "OLD_OLD_a", "x in n[1e400;]", "1e400 * 1e400",
        "99999999999999999999 + 1", "(((a)))", "((a) = (1)) AND ((b) is null)",
    };
    std::string deep(100000, '(');
    texts.push_back(deep + "1" + std::string(100000, ')'));
    texts.push_back(deep);
    std::string chain = "a";
    for (int i = 0; i < 2000; ++i) chain += " + a";
    texts.push_back(chain);
    std::string big = "x in i[";
    for (int i = 0; i < 100000; ++i) big += std::to_string((i * 7919) % 100003) + ";";
    texts.push_back(big + "]");
    for (const auto& t : texts) {
        SCOPED_TRACE(t.size() > 60 ? t.substr(0, 60) + "..." : t);
        try {
            Eval(row, t);
        } catch (const std::exception& e) {
            EXPECT_STRNE(e.what(), "");
        }
    }
    // The bound on nesting says so.
    EXPECT_NE(ErrorOf(row, deep + "1" + std::string(100000, ')')).find("вложенность"), std::string::npos);
    EXPECT_EQ(Eval(row, big + "]"), B(true));
}

}  // namespace
}  // namespace kubrix
