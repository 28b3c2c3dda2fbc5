// Borrowing the back end's open connection: a fixture library exports the back end's accessor
// and holds a live unixODBC connection to an SQLite database.

#include <gtest/gtest.h>

#include <dlfcn.h>

#include "ControlTestEnv.h"
#include "session/BackEndConnect.h"
#include "pivot/Kubrix.h"

namespace kubrix::test {
namespace {

//! The fixture library, loaded for the test's own calls (the control loads it again by name).
class BackEndFixture {
public:
    BackEndFixture() {
        handle_ = dlopen(KUBRIX_BACKEND_FIXTURE, RTLD_NOW | RTLD_LOCAL);
        if (!handle_) throw std::runtime_error(dlerror());
        open = Sym<int (*)(const char*)>("BackEndFixtureOpen");
        setMode = Sym<void (*)(int)>("BackEndFixtureSetMode");
        scalar = Sym<long (*)(const char*)>("BackEndFixtureScalar");
        close = Sym<void (*)()>("BackEndFixtureClose");
    }
    ~BackEndFixture() {
        close();
        dlclose(handle_);
    }
    int (*open)(const char*);
    void (*setMode)(int);
    long (*scalar)(const char*);
    void (*close)();

private:
    template <typename F>
    F Sym(const char* name) {
        void* p = dlsym(handle_, name);
        if (!p) throw std::runtime_error(name);
        return reinterpret_cast<F>(p);
    }
    void* handle_ = nullptr;
};

TEST(ConnectTo1C, ExportsTheBackEndName) {
    void* h = dlopen(KUBRIX_BACKEND_FIXTURE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(h, nullptr);
    EXPECT_NE(dlsym(h, "?GetDefault@CDataBase7@@SAPAV1@XZ"), nullptr);
    dlclose(h);
}

TEST(ConnectTo1C, ReportsFailuresInMessageBoxesAndSucceeds) {
    TempSqliteDb db;
    FillSales(db.ConnStr());
    BackEndFixture fixture;
    ASSERT_EQ(fixture.open(db.ConnStr().c_str()), 0);

    struct Case {
        const char* name;
        std::string library;
        int mode;
        const char* boxStart;  // nullptr: no box, connected
    };
    const Case cases[] = {
        {"library not loaded", "/nonexistent/BkEnd.dll", 0, "Ошибка загрузки библиотеки BkEnd.dll\r\r"},
        {"accessor not exported", "libm.so.6", 0, "Ошибка получения процедуры GetDefault библиотеки BkEnd.dll\r\r"},
        {"accessor returns no object", KUBRIX_BACKEND_FIXTURE, 1, "Ошибка подключения к базе 1С\r\r"},
        {"object holds no connection object", KUBRIX_BACKEND_FIXTURE, 2, "Ошибка подключения к базе 1С\r\r"},
        {"borrowed connection", KUBRIX_BACKEND_FIXTURE, 0, nullptr},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        RecordingUiServices ui;
        UiServicesScope scope(ui);
        auto* form = new TKubrixX();
        ComPtr<IKubrixX> control(form);
        form->SetBackEndLibrary(c.library);
        fixture.setMode(c.mode);
        EXPECT_EQ(control->ConnectTo1C(), S_OK);
        auto& conn = form->Session()._1CConnection();
        if (c.boxStart) {
            ASSERT_EQ(ui.Messages.size(), 1u);
            EXPECT_EQ(ui.Messages[0].Text.rfind(c.boxStart, 0), 0u) << ui.Messages[0].Text;
            EXPECT_GT(ui.Messages[0].Text.size(), std::string(c.boxStart).size()) << "the reason follows";
            EXPECT_EQ(ui.Messages[0].Flags, MB_OK | MB_ICONERROR);
            EXPECT_FALSE(conn.Connected());
            continue;
        }
        EXPECT_TRUE(ui.Messages.empty());
        ASSERT_TRUE(conn.Connected());
        EXPECT_FALSE(conn.OwnsHandle());
        // The query runs through the borrowed handle.
        ASSERT_EQ(control->SetSQL(W("SELECT region, year, amount FROM sales")), S_OK) << LastErrorDescription();
        EXPECT_EQ(form->Session().qData().RecordCount(), 5);
        ASSERT_EQ(control->Config(W("region;"), W("year;"), W("amount;"), W("X"), 0), S_OK) << LastErrorDescription();
        // Disconnecting gives the handle back: the back end keeps working on it.
        ASSERT_EQ(control->Disconnect(), S_OK);
        EXPECT_FALSE(conn.Connected());
        EXPECT_EQ(fixture.scalar("SELECT COUNT(*) FROM sales"), 5);
    }
}

}  // namespace
}  // namespace kubrix::test
