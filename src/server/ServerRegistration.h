#pragma once
// What registering the server writes into the registry and how it is taken out again.

#include <string>
#include <vector>

#include "control/ComBase.h"
#include "server/Registry.h"

namespace kubrix {

struct TRegistryEntry {
    std::string Key, Name, Data;
};

//! Every value registration writes for the library at libraryPath, class and type library.
std::vector<TRegistryEntry> ServerEntries(const std::string& libraryPath);
//! The keys registration owns: unregistering removes them with everything below.
std::vector<std::string> ServerKeys();

//! Writes the entries into the registry file (read first, then rewritten whole).
void RegisterServer(const std::string& registryPath, const std::string& libraryPath);
//! Removes the entries; a registry without them is left untouched.
void UnregisterServer(const std::string& registryPath);

//! The CLSID a ProgID is registered for: CO_E_CLASSSTRING when it is not registered.
HRESULT ClassFromProgID(const std::string& registryPath, const std::string& progId, CLSID& clsid);
//! "{XXXXXXXX-...}" back to a GUID; false when the text is not one.
bool ParseGUID(const std::string& text, GUID& guid);

}  // namespace kubrix
