// The registry file and what registration writes into it.

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "control/KubrixProj_TLB.h"
#include "server/ServerRegistration.h"

namespace kubrix {
namespace {

namespace fs = std::filesystem;

// A fresh folder per test, removed afterwards.
class RegistryFile : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/kubrix-registry-XXXXXX";
        ASSERT_NE(::mkdtemp(pattern), nullptr);
        dir_ = pattern;
        path_ = dir_ + "/registry";
    }
    void TearDown() override { fs::remove_all(dir_); }

    void Write(const std::string& text) { std::ofstream(path_, std::ios::binary) << text; }
    std::string Read() const {
        std::ifstream in(path_, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    }

    std::string dir_, path_;
};

TEST_F(RegistryFile, ValuesSurviveTheFileWithEscapesAndCase) {
    TFileRegistry r;
    r.SetValue("CLSID\\{A}\\InprocServer32", "", "/lib/\"odd\" \\ path");
    r.SetValue("CLSID\\{A}\\InprocServer32", "ThreadingModel", "Apartment");
    r.SetValue("Some.ProgID", "", "Строка\nс переводом");
    r.CreateKey("CLSID\\{A}\\Control");
    r.Save(path_);

    TFileRegistry back;
    back.Load(path_);
    EXPECT_EQ(back.Text(), r.Text());
    EXPECT_EQ(back.Value("clsid\\{a}\\INPROCSERVER32", ""), "/lib/\"odd\" \\ path");
    EXPECT_EQ(back.Value("CLSID\\{A}\\InprocServer32", "threadingmodel"), "Apartment");
    EXPECT_EQ(back.Value("Some.ProgID", ""), "Строка\nс переводом");
    EXPECT_TRUE(back.HasKey("CLSID\\{A}\\Control"));
    EXPECT_TRUE(back.HasKey("CLSID"));  // a parent of held keys
    EXPECT_FALSE(back.HasKey("CLSI"));
    EXPECT_EQ(back.Value("CLSID\\{A}\\Control", ""), std::nullopt);
    EXPECT_EQ(back.Value("CLSID\\{B}", ""), std::nullopt);
}

TEST_F(RegistryFile, MissingAndEmptyFilesAreEmptyRegistries) {
    TFileRegistry r;
    r.Load(path_);
    EXPECT_FALSE(r.HasKey("CLSID"));
    Write("");
    r.Load(path_);
    EXPECT_FALSE(r.HasKey("CLSID"));
}

// A damaged file is refused with its line, and registering over it leaves it as it was.
TEST_F(RegistryFile, MalformedFilesAreErrorsAndStayUntouched) {
    struct Case {
        const char* name;
        const char* text;
        const char* message;
    };
    const Case cases[] = {
        {"no header", "[CLSID]\n", "line 1: not a registry file"},
        {"binary", "\x7f" "ELF\x02\x01\x01", "line 1: not a registry file"},
        {"value before any key", "Kubrix registry 1\n@=\"x\"\n", "line 2: a value outside any key"},
        {"unclosed key", "Kubrix registry 1\n[CLSID\n", "line 2: a key without its closing bracket"},
        {"empty key part", "Kubrix registry 1\n[CLSID\\\\{A}]\n", "line 2: an invalid key name"},
        {"unquoted name", "Kubrix registry 1\n[K]\nName=\"x\"\n", "line 3: a value name that is not quoted"},
        {"no equals", "Kubrix registry 1\n[K]\n\"Name\" \"x\"\n", "line 3: a value without '='"},
        {"unterminated", "Kubrix registry 1\n[K]\n@=\"x\n", "line 3: a value that is not quoted"},
        {"bad escape", "Kubrix registry 1\n[K]\n@=\"a\\qb\"\n", "line 3: a value that is not quoted"},
        {"trailing text", "Kubrix registry 1\n[K]\n@=\"a\" b\n", "line 3: a value that is not quoted"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.text);
        TFileRegistry r;
        try {
            r.Load(path_);
            ADD_FAILURE() << "loaded";
        } catch (const ERegistryError& e) {
            EXPECT_NE(std::string(e.what()).find(c.message), std::string::npos) << e.what();
            EXPECT_FALSE(e.Writing);
        }
        EXPECT_THROW(RegisterServer(path_, "/lib/libkubrix.so"), ERegistryError);
        EXPECT_THROW(UnregisterServer(path_), ERegistryError);
        EXPECT_EQ(Read(), c.text);
    }
}

TEST_F(RegistryFile, AFolderInsteadOfTheFileIsAnError) {
    fs::create_directory(path_);
    TFileRegistry r;
    EXPECT_THROW(r.Load(path_), ERegistryError);
}

TEST_F(RegistryFile, AnUnwritablePlaceIsAWriteError) {
    Write("Kubrix registry 1\n");
    // A file where a folder should be: no permission trick that root would pass.
    const std::string below = path_ + "/registry";
    try {
        RegisterServer(below, "/lib/libkubrix.so");
        ADD_FAILURE() << "registered";
    } catch (const ERegistryError& e) {
        EXPECT_TRUE(e.Writing);
        EXPECT_NE(std::string(e.what()).find(path_), std::string::npos) << e.what();
    }
    EXPECT_EQ(Read(), "Kubrix registry 1\n");
}

// Registering writes the class, ProgID, interfaces and library; registering again changes
// nothing; unregistering gives back exactly the file there was, with other servers' keys.
TEST_F(RegistryFile, RegisterTwiceThenUnregisterRestoresTheFile) {
    TFileRegistry other;
    other.SetValue("CLSID\\{11111111-2222-3333-4444-555555555555}\\InprocServer32", "", "/lib/other.so");
    other.SetValue("Other.Control\\Clsid", "", "{11111111-2222-3333-4444-555555555555}");
    other.SetValue("TypeLib\\" + GUIDToString(LIBID_KubrixProj) + "\\2.0", "", "A later library");
    other.Save(path_);
    const std::string before = Read();

    RegisterServer(path_, "/opt/kubrix/lib/libkubrix.so");
    const std::string once = Read();
    RegisterServer(path_, "/opt/kubrix/lib/libkubrix.so");
    EXPECT_EQ(Read(), once);

    TFileRegistry r;
    r.Load(path_);
    const std::string cls = "CLSID\\" + GUIDToString(CLASS_KubrixX);
    struct Expected {
        std::string key, name, data;
    };
    const Expected expected[] = {
        {cls, "", "KubrixX Control"},
        {cls + "\\InprocServer32", "", "/opt/kubrix/lib/libkubrix.so"},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {cls + "\\ProgID", "", "KubrixProj.KubrixX"},
        {cls + "\\TypeLib", "", GUIDToString(LIBID_KubrixProj)},
        {cls + "\\Version", "", "1.0"},
        {cls + "\\MiscStatus", "", "0"},
        {cls + "\\MiscStatus\\1", "", "205201"},
        {cls + "\\ToolboxBitmap32", "", "/opt/kubrix/lib/libkubrix.so,1"},
        {cls + "\\Control", "", ""},
        {cls + "\\Verb", "", ""},
        {cls + "\\Verb\\0", "", "Properties,0,2"},
        {"KubrixProj.KubrixX", "", "KubrixX Control"},
        {"KubrixProj.KubrixX\\Clsid", "", GUIDToString(CLASS_KubrixX)},
        {"TypeLib\\" + GUIDToString(LIBID_KubrixProj) + "\\1.0", "", "KubrixProj Library"},
        {"Interface\\" + GUIDToString(IID_IKubrixX), "", "IKubrixX"},
        {"Interface\\" + GUIDToString(DIID_IKubrixXEvents), "", "IKubrixXEvents"},
    };
    for (const auto& e : expected) {
        SCOPED_TRACE(e.key + " " + e.name);
        EXPECT_EQ(r.Value(e.key, e.name), e.data);
    }
    CLSID found{};
    EXPECT_EQ(ClassFromProgID(path_, "kubrixproj.kubrixx", found), S_OK);
    EXPECT_EQ(found, CLASS_KubrixX);

    UnregisterServer(path_);
    EXPECT_EQ(Read(), before);
    EXPECT_EQ(ClassFromProgID(path_, "KubrixProj.KubrixX", found), CO_E_CLASSSTRING);
    UnregisterServer(path_);  // nothing left to remove
    EXPECT_EQ(Read(), before);
}

TEST_F(RegistryFile, ProgIDLookUps) {
    Write("Kubrix registry 1\n[Bad.Class\\Clsid]\n@=\"{not a guid}\"\n");
    CLSID clsid{};
    EXPECT_EQ(ClassFromProgID(path_, "Bad.Class", clsid), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassFromProgID(path_, "No.Such", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(ClassFromProgID(path_, "", clsid), CO_E_CLASSSTRING);
    EXPECT_EQ(ClassFromProgID(path_, "Bad.Class\\Clsid", clsid), CO_E_CLASSSTRING);
}

TEST(RegistryPath, EnvironmentChoosesTheFile) {
    struct Case {
        const char* name;
        const char* registry;
        const char* xdg;
        const char* home;
        const char* expected;
    };
    const Case cases[] = {
        {"explicit file", "/srv/reg", "/x", "/h", "/srv/reg"},
        {"per-user config", nullptr, "/x/conf", "/h", "/x/conf/kubrix/registry"},
        {"relative config ignored", nullptr, "conf", "/h", "/h/.config/kubrix/registry"},
        {"home only", "", nullptr, "/h", "/h/.config/kubrix/registry"},
    };
    const auto set = [](const char* name, const char* value) {
        if (value) ::setenv(name, value, 1);
        else ::unsetenv(name);
    };
    const auto keep = [](const char* name) {
        const char* v = std::getenv(name);
        return v ? std::optional<std::string>(v) : std::nullopt;
    };
    const auto registry = keep("KUBRIX_REGISTRY"), xdg = keep("XDG_CONFIG_HOME"), home = keep("HOME");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        set("KUBRIX_REGISTRY", c.registry);
        set("XDG_CONFIG_HOME", c.xdg);
        set("HOME", c.home);
        EXPECT_EQ(TFileRegistry::DefaultPath(), c.expected);
    }
    set("KUBRIX_REGISTRY", registry ? registry->c_str() : nullptr);
    set("XDG_CONFIG_HOME", xdg ? xdg->c_str() : nullptr);
    set("HOME", home ? home->c_str() : nullptr);
}

TEST(RegistryGuid, TextFormsOfClassIdentifiers) {
    GUID g{};
    EXPECT_TRUE(ParseGUID(GUIDToString(CLASS_KubrixX), g));
    EXPECT_EQ(g, CLASS_KubrixX);
    EXPECT_TRUE(ParseGUID("{5b0e3a44-8c2d-4f6e-9a71-3d52e018b401}", g));
    EXPECT_EQ(g, CLASS_KubrixX);
    for (const char* bad : {"", "{5B0E3A44-8C2D-4F6E-9A71-3D52E018B401", "5B0E3A44-8C2D-4F6E-9A71-3D52E018B401",
                            "{5B0E3A44-8C2D-4F6E-9A71-3D52E018B40G}", "{5B0E3A44-8C2D-4F6E-9A71-3D52E018B401}x"})
        EXPECT_FALSE(ParseGUID(bad, g)) << bad;
}

}  // namespace
}  // namespace kubrix
