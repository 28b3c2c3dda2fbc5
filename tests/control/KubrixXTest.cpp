// The control through its interface, against a real SQLite database over unixODBC.

#include <gtest/gtest.h>

#include <QKeyEvent>
#include <QMouseEvent>
#include <QTest>

#include <filesystem>
#include <fstream>

#include "ControlTestEnv.h"
#include "pivot/Kubrix.h"

namespace kubrix::test {
namespace {

class KubrixX : public ::testing::Test {
protected:
    void SetUp() override {
        FillSales(db.ConnStr());
        form = new TKubrixX();
        control = ComPtr<IKubrixX>(form);
        ASSERT_EQ(control->Connect(W(db.ConnStr())), S_OK) << LastErrorDescription();
        ASSERT_EQ(control->SetSQL(W("SELECT region, manager, year, amount FROM sales")), S_OK) << LastErrorDescription();
    }

    TempSqliteDb db;
    TKubrixX* form = nullptr;
    ComPtr<IKubrixX> control;
};

TEST_F(KubrixX, ConfigEdgeCases) {
    struct Case {
        const char* name;
        const char* dataPlace;
        std::int32_t dataIndex;
        std::uint8_t wantPlace, wantIndex;
    };
    const Case cases[] = {
        {"exactly X", "X", 0, 0, 0},
        {"exactly Y", "Y", 1, 1, 1},
        {"lower-case y is X", "y", 0, 0, 0},
        {"Y with a blank is X", "Y ", 0, 0, 0},
        {"empty is X", "", 0, 0, 0},
        {"index keeps its low 8 bits", "Y", 257, 1, 1},
        {"negative index wraps to 8 bits", "X", -1, 0, 255},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(control->Config(W("region;"), W("year;"), W("amount;"), W(c.dataPlace), c.dataIndex), S_OK)
            << LastErrorDescription();
        EXPECT_EQ(form->Grid().DataPlace, c.wantPlace);
        EXPECT_EQ(form->Grid().DataIndex, c.wantIndex);
        EXPECT_EQ(form->Grid().XAxis.Count(), 1);
        EXPECT_EQ(form->Grid().YAxis.Count(), 1);
    }
}

TEST_F(KubrixX, SetSQLAndFailures) {
    struct Case {
        const char* name;
        std::function<HRESULT()> call;
        HRESULT want;
        const char* descriptionStart;  // nullptr: success, no error info expected
        bool openAfter;
    };
    const std::string missing = (std::filesystem::path(db.Path()).parent_path() / "no-such.state").string();
    const std::string empty = (std::filesystem::path(db.Path()).parent_path() / "junk.state").string();
    const Case cases[] = {
        {"blank text closes and clears", [&] { return control->SetSQL(W("   \t")); }, S_OK, nullptr, false},
        {"rejected query", [&] { return control->SetSQL(W("SELECT nope FROM nowhere")); }, E_UNEXPECTED, "", false},
        {"unknown field in Config",
         [&] {
             control->SetSQL(W("SELECT region, amount FROM sales"));
             return control->Config(W("регион;"), W(""), W("amount;"), W("X"), 0);
         },
         E_UNEXPECTED, "Field not found: регион", true},
        {"missing state file changes nothing", [&] { return control->LoadState(W(missing)); }, S_OK, nullptr, true},
        {"state file without a layout is refused",
         [&] {
             std::ofstream(empty, std::ios::binary | std::ios::trunc) << "not a layout";
             return control->LoadState(W(empty));
         },
         E_UNEXPECTED, "Файл \"", true},
        {"Close closes", [&] { return control->Close(); }, S_OK, nullptr, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_EQ(control->SetSQL(W("SELECT region, manager, year, amount FROM sales")), S_OK);
        std::shared_ptr<const TErrorInfo> stale;
        GetErrorInfo(stale);
        EXPECT_EQ(c.call(), c.want);
        std::shared_ptr<const TErrorInfo> info;
        if (c.descriptionStart) {
            ASSERT_EQ(GetErrorInfo(info), S_OK);
            EXPECT_EQ(Utf16ToUtf8(info->Description).rfind(c.descriptionStart, 0), 0u) << Utf16ToUtf8(info->Description);
            EXPECT_FALSE(info->Description.empty());
            EXPECT_EQ(info->Guid, IID_IKubrixX);
            EXPECT_EQ(info->Source, std::u16string(u"KubrixProj.KubrixX"));
        }
        auto& data = form->Session().qData();
        EXPECT_EQ(data.Active(), c.openAfter);
        if (!c.openAfter) {
            EXPECT_EQ(form->Grid().OLAPFields().Count(), 0);
        }
    }
    // The blank text also dropped the fields of the previous query.
    ASSERT_EQ(control->SetSQL(W(" ")), S_OK);
    EXPECT_EQ(form->Session().qData().FieldCount(), 0);
    EXPECT_EQ(form->Session().qData().FieldDefs().Count(), 0);
}

TEST_F(KubrixX, StateGetThenPutRestoresTheLayout) {
    ASSERT_EQ(control->Config(W("region;manager;"), W("year;"), W("amount;"), W("X"), 0), S_OK) << LastErrorDescription();
    WideString state;
    ASSERT_EQ(control->get_State(&state), S_OK) << LastErrorDescription();
    ASSERT_FALSE(state.empty());

    // Lay out something else, then put the saved state back.
    ASSERT_EQ(control->SetSQL(W("SELECT region, manager, year, amount FROM sales")), S_OK);
    ASSERT_EQ(control->Config(W("year;"), W(""), W("amount;"), W("Y"), 0), S_OK);
    ASSERT_EQ(control->put_State(state), S_OK) << LastErrorDescription();
    WideString again;
    ASSERT_EQ(control->get_State(&again), S_OK);
    EXPECT_EQ(again, state);
    EXPECT_EQ(form->Grid().XAxis.Count(), 2);
    EXPECT_EQ(form->Grid().YAxis.Count(), 1);

    // A file holds the same bytes and restores them too; an empty string changes nothing.
    const std::string file = (std::filesystem::path(db.Path()).parent_path() / "layout.state").string();
    ASSERT_EQ(control->SaveState(W(file)), S_OK) << LastErrorDescription();
    ASSERT_EQ(control->Config(W("year;"), W(""), W("amount;"), W("X"), 0), S_OK);
    ASSERT_EQ(control->LoadState(W(file)), S_OK) << LastErrorDescription();
    ASSERT_EQ(control->get_State(&again), S_OK);
    EXPECT_EQ(again, state);
    ASSERT_EQ(control->put_State(WideString()), S_OK);
    ASSERT_EQ(control->get_State(&again), S_OK);
    EXPECT_EQ(again, state);

    // A state that cannot be bytes is refused with an error, not cut.
    EXPECT_EQ(control->put_State(u"\u0416"), E_UNEXPECTED);
    EXPECT_NE(LastErrorDescription(), "<no error info>");
}

TEST_F(KubrixX, NullOutParameterIsAPointerError) {
    EXPECT_EQ(control->get_State(nullptr), E_POINTER);
    EXPECT_EQ(control->get_Caption(nullptr), E_POINTER);
    LastErrorDescription();
}

TEST_F(KubrixX, FormProperties) {
    WideString caption;
    ASSERT_EQ(control->get_Caption(&caption), S_OK);
    EXPECT_EQ(caption, u"KubrixX");
    ASSERT_EQ(control->put_Caption(u"Продажи"), S_OK);
    ASSERT_EQ(control->get_Caption(&caption), S_OK);
    EXPECT_EQ(caption, u"Продажи");
    EXPECT_EQ(form->windowTitle(), QString::fromUtf8("Продажи"));
    VARIANT_BOOL enabled = 0;
    ASSERT_EQ(control->put_Enabled(VARIANT_FALSE), S_OK);
    ASSERT_EQ(control->get_Enabled(&enabled), S_OK);
    EXPECT_EQ(enabled, VARIANT_FALSE);
    EXPECT_FALSE(form->isEnabled());
    OLE_COLOR color = 0;
    ASSERT_EQ(control->put_Color(0x0000FF), S_OK);
    ASSERT_EQ(control->get_Color(&color), S_OK);
    EXPECT_EQ(color, 0x0000FFu);
    EXPECT_EQ(form->palette().color(QPalette::Window), QColor(255, 0, 0));
    TOleFont font;
    ASSERT_EQ(control->get_Font(&font), S_OK);
    EXPECT_EQ(font.Height, -11);
    font.Height = -13;
    font.Bold = true;
    ASSERT_EQ(control->put_Font(font), S_OK);
    EXPECT_EQ(form->font().pixelSize(), 13);
    EXPECT_TRUE(form->font().bold());
    EXPECT_EQ(control->put_PixelsPerInch(0), E_INVALIDARG);
    LastErrorDescription();
}

// ---- events

class RecordingSink : public IKubrixXEvents {
public:
    HRESULT QueryInterface(const IID& iid, void** object) override {
        if (iid == IID_IUnknown || iid == DIID_IKubrixXEvents) {
            *object = static_cast<IKubrixXEvents*>(this);
            AddRef();
            return S_OK;
        }
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return ++refs; }
    std::uint32_t Release() override { return --refs; }
    HRESULT OnActivate() override { return Log("Activate"); }
    HRESULT OnClick() override { return Log("Click"); }
    HRESULT OnCreate() override { return Log("Create"); }
    HRESULT OnDblClick() override { return Log("DblClick"); }
    HRESULT OnDestroy() override { return Log("Destroy"); }
    HRESULT OnDeactivate() override { return Log("Deactivate"); }
    HRESULT OnKeyPress(std::int16_t& key) override {
        events.push_back("KeyPress " + std::to_string(key));
        key = replacement;
        return S_OK;
    }
    HRESULT OnPaint() override { return Log("Paint"); }

    HRESULT Log(const char* e) {
        events.push_back(e);
        return S_OK;
    }
    std::vector<std::string> events;
    std::int16_t replacement = 0;
    std::uint32_t refs = 1;
};

//! Something that is no event sink.
class OtherObject : public IUnknown {
public:
    HRESULT QueryInterface(const IID&, void** object) override {
        *object = nullptr;
        return E_NOINTERFACE;
    }
    std::uint32_t AddRef() override { return 2; }
    std::uint32_t Release() override { return 1; }
};

//! The form records the keys it goes on to process.
class KeyForm : public TKubrixX {
public:
    std::vector<QString> keys;

protected:
    void KeyPressed(QKeyEvent* event) override { keys.push_back(event->text()); }
};

TEST(KubrixXEvents, SinkReceivesFormEventsAndKeys) {
    auto* form = new KeyForm();
    ComPtr<IKubrixX> control(form);
    RecordingSink sink;
    auto click = [&] {
        QTest::mouseClick(form, Qt::LeftButton, {}, QPoint(2, 2));
    };
    auto key = [&](const QString& text) {
        QKeyEvent e(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier, text);
        QCoreApplication::sendEvent(form, &e);
    };

    // Without a sink nothing is fired and nothing fails; the key goes on unchanged.
    click();
    key("a");
    EXPECT_TRUE(sink.events.empty());
    ASSERT_EQ(form->keys.size(), 1u);

    // An object that is no sink leaves the control without one.
    OtherObject other;
    ASSERT_EQ(form->EventSinkChanged(&other), S_OK);
    EXPECT_EQ(form->EventSink(), nullptr);

    ASSERT_EQ(form->EventSinkChanged(&sink), S_OK);
    EXPECT_EQ(sink.refs, 2u);
    click();
    EXPECT_EQ(sink.events, std::vector<std::string>{"Click"});

    struct KeyCase {
        const char* name;
        QString typed;
        std::int16_t replacement;
        const char* seenBySink;
        QString goesOn;  // empty: swallowed
    };
    const KeyCase cases[] = {
        {"sink swallows with 0", "a", 0, "KeyPress 97", QString()},
        {"sink keeps the key", "b", 'b', "KeyPress 98", "b"},
        {"sink replaces the key", "c", 'C', "KeyPress 99", "C"},
        {"Cyrillic key arrives whole", QString::fromUtf8("ж"), 0x0416, "KeyPress 1078", QString::fromUtf8("Ж")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        sink.events.clear();
        form->keys.clear();
        sink.replacement = c.replacement;
        key(c.typed);
        EXPECT_EQ(sink.events, std::vector<std::string>{c.seenBySink});
        if (c.goesOn.isEmpty()) {
            EXPECT_TRUE(form->keys.empty());
        } else {
            EXPECT_EQ(form->keys, std::vector<QString>{c.goesOn});
        }
    }

    ASSERT_EQ(form->EventSinkChanged(nullptr), S_OK);
    EXPECT_EQ(sink.refs, 1u);
    sink.events.clear();
    click();
    EXPECT_TRUE(sink.events.empty());
}

}  // namespace
}  // namespace kubrix::test
