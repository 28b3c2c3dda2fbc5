#include "server/ServerRegistration.h"

#include <cstdio>

#include "control/KubrixProj_TLB.h"
#include "control/OleInterfaces.h"
#include "support/Text.h"

namespace kubrix {
namespace {

// The standard marshaller of dispatch interfaces, named as other servers name it.
constexpr const char* kDispatchProxy = "{00020424-0000-0000-C000-000000000046}";
constexpr const char* kDescription = "KubrixX Control";
// The platform's name in the type library's key (one build per architecture).
constexpr const char* kPlatform = sizeof(void*) == 8 ? "linux64" : "linux32";

std::string ClassKey() { return "CLSID\\" + GUIDToString(CLASS_KubrixX); }
std::string LibraryKey() { return "TypeLib\\" + GUIDToString(LIBID_KubrixProj); }
std::string ProgID() { return Utf16ToUtf8(KubrixXProgID); }

}  // namespace

std::vector<TRegistryEntry> ServerEntries(const std::string& path) {
    const std::string cls = ClassKey(), lib = LibraryKey() + "\\1.0", libid = GUIDToString(LIBID_KubrixProj);
    const std::string folder = path.substr(0, path.rfind('/') == std::string::npos ? 0 : path.rfind('/'));
    std::vector<TRegistryEntry> e = {
        {cls, "", kDescription},
        {cls + "\\InprocServer32", "", path},
        {cls + "\\InprocServer32", "ThreadingModel", "Apartment"},
        {cls + "\\ProgID", "", ProgID()},
        {cls + "\\TypeLib", "", libid},
        {cls + "\\Version", "", "1.0"},
        {cls + "\\MiscStatus", "", "0"},
        {cls + "\\MiscStatus\\1", "", std::to_string(KubrixXMiscStatus)},
        {cls + "\\ToolboxBitmap32", "", path + ",1"},
        {cls + "\\Control", "", ""},
        {cls + "\\Verb", "", ""},
        {cls + "\\Verb\\0", "", "Properties,0,2"},
        {ProgID(), "", kDescription},
        {ProgID() + "\\Clsid", "", GUIDToString(CLASS_KubrixX)},
        {lib, "", "KubrixProj Library"},
        {lib + "\\0\\" + kPlatform, "", path},
        {lib + "\\FLAGS", "", "2"},  // a control library
        {lib + "\\HELPDIR", "", folder},
    };
    for (const auto& [iid, name] : {std::pair{IID_IKubrixX, "IKubrixX"}, std::pair{DIID_IKubrixXEvents, "IKubrixXEvents"}}) {
        const std::string key = "Interface\\" + GUIDToString(iid);
        e.push_back({key, "", name});
        e.push_back({key + "\\ProxyStubClsid32", "", kDispatchProxy});
        e.push_back({key + "\\TypeLib", "", libid});
        e.push_back({key + "\\TypeLib", "Version", "1.0"});
    }
    return e;
}

std::vector<std::string> ServerKeys() {
    return {ClassKey(), ProgID(), LibraryKey() + "\\1.0", "Interface\\" + GUIDToString(IID_IKubrixX),
            "Interface\\" + GUIDToString(DIID_IKubrixXEvents)};
}

void RegisterServer(const std::string& registryPath, const std::string& libraryPath) {
    TFileRegistry registry;
    registry.Load(registryPath);
    for (const auto& e : ServerEntries(libraryPath)) registry.SetValue(e.Key, e.Name, e.Data);
    registry.Save(registryPath);
}

void UnregisterServer(const std::string& registryPath) {
    TFileRegistry registry;
    registry.Load(registryPath);
    bool changed = false;
    for (const auto& key : ServerKeys()) changed = registry.DeleteTree(key) || changed;
    if (changed) registry.Save(registryPath);
}

bool ParseGUID(const std::string& text, GUID& guid) {
    unsigned d1 = 0, d2 = 0, d3 = 0, b[8] = {};
    int end = 0;
    if (text.size() != 38 ||
        std::sscanf(text.c_str(), "{%8x-%4x-%4x-%2x%2x-%2x%2x%2x%2x%2x%2x}%n", &d1, &d2, &d3, &b[0], &b[1], &b[2], &b[3],
                    &b[4], &b[5], &b[6], &b[7], &end) != 11 ||
        end != 38)
        return false;
    guid.Data1 = d1;
    guid.Data2 = static_cast<std::uint16_t>(d2);
    guid.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) guid.Data4[i] = static_cast<std::uint8_t>(b[i]);
    return true;
}

HRESULT ClassFromProgID(const std::string& registryPath, const std::string& progId, CLSID& clsid) {
    TFileRegistry registry;
    registry.Load(registryPath);
    const auto text = registry.Value(progId + "\\Clsid", "");
    if (progId.empty() || progId.find('\\') != std::string::npos || !text) return CO_E_CLASSSTRING;
    return ParseGUID(*text, clsid) ? S_OK : REGDB_E_CLASSNOTREG;
}

}  // namespace kubrix
