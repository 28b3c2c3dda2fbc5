#pragma once
// The classes root of the component registry, kept in a text file. Keys are backslash paths
// compared without regard to ASCII case; each key holds named string values ("" is the
// default value). The file is read whole and written whole: a new file beside it, then a
// rename, so that a reader never sees it half written.
//
//   Kubrix registry 1
//   [CLSID\{...}\InprocServer32]
//   @="/usr/lib/libkubrix.so"
//   "ThreadingModel"="Apartment"

#include <map>
#include <optional>
#include <string>

#include "support/Errors.h"

namespace kubrix {

//! An unreadable, malformed or unwritable registry file; the message names the file.
class ERegistryError : public Exception {
public:
    ERegistryError(const std::string& message, bool writing) : Exception(message), Writing(writing) {}
    bool Writing;
};

class TFileRegistry {
public:
    //! KUBRIX_REGISTRY, else $XDG_CONFIG_HOME/kubrix/registry, else ~/.config/kubrix/registry.
    static std::string DefaultPath();

    //! Reads path; a missing or empty file is an empty registry.
    void Load(const std::string& path);
    //! Writes the whole registry to path through a new file and a rename.
    void Save(const std::string& path) const;
    //! The file's text for the keys held.
    std::string Text() const;

    //! Creates the key (and keeps its values) if it is not there.
    void CreateKey(const std::string& key);
    void SetValue(const std::string& key, const std::string& name, const std::string& data);
    //! The value, or nothing when the key or the value is missing.
    std::optional<std::string> Value(const std::string& key, const std::string& name) const;
    bool HasKey(const std::string& key) const;
    //! Removes the key and every key below it; false when there was none.
    bool DeleteTree(const std::string& key);

private:
    struct NoCase {
        bool operator()(const std::string& a, const std::string& b) const;
    };
    using Values = std::map<std::string, std::string, NoCase>;
    //! Only keys that were created are held; their parents exist implicitly.
    std::map<std::string, Values, NoCase> keys_;
};

}  // namespace kubrix
