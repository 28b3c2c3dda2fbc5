#include "server/Registry.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

namespace kubrix {
namespace {

constexpr const char* kHeader = "Kubrix registry 1";
// A registry of one server is a few kilobytes; anything this large is not ours.
constexpr std::streamoff kMaxFileBytes = 16 << 20;

char Lower(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

std::string Quote(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') out += '\\', out += c;
        else if (c == '\n') out += "\\n";
        else if (c == '\r') out += "\\r";
        else out += c;
    }
    return out + '"';
}

[[noreturn]] void Malformed(const std::string& path, int line, const std::string& what) {
    throw ERegistryError("Registry file " + path + ", line " + std::to_string(line) + ": " + what, false);
}

//! Reads a quoted string starting at text[pos] (the opening quote); pos ends past the closing one.
bool Unquote(const std::string& text, std::size_t& pos, std::string& out) {
    if (pos >= text.size() || text[pos] != '"') return false;
    out.clear();
    for (++pos; pos < text.size(); ++pos) {
        char c = text[pos];
        if (c == '"') {
            ++pos;
            return true;
        }
        if (c == '\\') {
            if (++pos >= text.size()) return false;
            c = text[pos];
            if (c == 'n') c = '\n';
            else if (c == 'r') c = '\r';
            else if (c != '"' && c != '\\') return false;
        }
        out += c;
    }
    return false;
}

//! A key path as stored: no empty parts, no leading or trailing backslash.
bool ValidKey(const std::string& key) {
    if (key.empty() || key.front() == '\\' || key.back() == '\\' || key.find("\\\\") != std::string::npos)
        return false;
    for (char c : key)
        if (c == '\n' || c == '\r' || c == ']' || c == '[') return false;
    return true;
}

std::string SystemError(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

void MakeDirectories(const std::string& dir) {
    if (dir.empty()) return;
    std::string partial;
    std::size_t start = 0;
    while (start <= dir.size()) {
        const std::size_t slash = dir.find('/', start);
        partial = dir.substr(0, slash == std::string::npos ? dir.size() : slash);
        if (!partial.empty() && ::mkdir(partial.c_str(), 0700) != 0 && errno != EEXIST)
            throw ERegistryError(SystemError("Cannot create the folder", partial), true);
        if (slash == std::string::npos) break;
        start = slash + 1;
    }
}

}  // namespace

bool TFileRegistry::NoCase::operator()(const std::string& a, const std::string& b) const {
    const std::size_t n = std::min(a.size(), b.size());
    for (std::size_t i = 0; i < n; ++i) {
        const char x = Lower(a[i]), y = Lower(b[i]);
        if (x != y) return static_cast<unsigned char>(x) < static_cast<unsigned char>(y);
    }
    return a.size() < b.size();
}

std::string TFileRegistry::DefaultPath() {
    if (const char* p = std::getenv("KUBRIX_REGISTRY"); p && *p) return p;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x == '/') return std::string(x) + "/kubrix/registry";
    const char* home = std::getenv("HOME");
    return std::string(home && *home ? home : ".") + "/.config/kubrix/registry";
}

void TFileRegistry::Load(const std::string& path) {
    keys_.clear();
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0) {
        if (errno == ENOENT || errno == ENOTDIR) return;  // no such file: nothing registered yet
        throw ERegistryError(SystemError("Cannot read the registry file", path), false);
    }
    if (!S_ISREG(st.st_mode)) throw ERegistryError("Registry file " + path + " is not a file", false);
    std::ifstream in(path, std::ios::binary);
    if (!in) throw ERegistryError(SystemError("Cannot read the registry file", path), false);
    in.seekg(0, std::ios::end);
    const std::streamoff size = in.tellg();
    if (size < 0) throw ERegistryError("Cannot read the registry file " + path, false);
    if (size > kMaxFileBytes) throw ERegistryError("Registry file " + path + " is too large", false);
    in.seekg(0);
    std::string text(static_cast<std::size_t>(size), '\0');
    if (size > 0 && !in.read(text.data(), size)) throw ERegistryError("Cannot read the registry file " + path, false);
    if (text.empty()) return;

    std::istringstream lines(text);
    std::string line;
    int number = 0;
    Values* current = nullptr;
    while (std::getline(lines, line)) {
        ++number;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (number == 1) {
            if (line != kHeader) Malformed(path, number, "not a registry file");
            continue;
        }
        if (line.empty() || line[0] == ';') continue;
        if (line[0] == '[') {
            if (line.back() != ']') Malformed(path, number, "a key without its closing bracket");
            const std::string key = line.substr(1, line.size() - 2);
            if (!ValidKey(key)) Malformed(path, number, "an invalid key name");
            current = &keys_[key];
            continue;
        }
        if (!current) Malformed(path, number, "a value outside any key");
        std::size_t pos = 0;
        std::string name, data;
        if (line[0] == '@') pos = 1;
        else if (!Unquote(line, pos, name)) Malformed(path, number, "a value name that is not quoted");
        if (pos >= line.size() || line[pos] != '=') Malformed(path, number, "a value without '='");
        ++pos;
        if (!Unquote(line, pos, data) || pos != line.size()) Malformed(path, number, "a value that is not quoted");
        (*current)[name] = data;
    }
}

std::string TFileRegistry::Text() const {
    std::string out = std::string(kHeader) + "\n";
    for (const auto& [key, values] : keys_) {
        out += "\n[" + key + "]\n";
        for (const auto& [name, data] : values) out += (name.empty() ? "@" : Quote(name)) + "=" + Quote(data) + "\n";
    }
    return out;
}

void TFileRegistry::Save(const std::string& path) const {
    const std::size_t slash = path.rfind('/');
    const std::string dir = slash == std::string::npos ? "." : path.substr(0, slash == 0 ? 1 : slash);
    MakeDirectories(slash == std::string::npos ? "" : dir);
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) throw ERegistryError(SystemError("Cannot write the registry file", path), true);
    const std::string text = Text();
    std::size_t done = 0;
    bool ok = true;
    while (ok && done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        ok = n > 0;
        if (ok) done += static_cast<std::size_t>(n);
    }
    ok = ok && ::fchmod(fd, 0600) == 0 && ::fsync(fd) == 0;
    const int savedErrno = errno;
    ok = (::close(fd) == 0) && ok;
    if (!ok || ::rename(temp.c_str(), path.c_str()) != 0) {
        if (ok) errno = savedErrno;
        const std::string message = SystemError("Cannot write the registry file", path);
        ::unlink(temp.c_str());
        throw ERegistryError(message, true);
    }
}

void TFileRegistry::CreateKey(const std::string& key) {
    if (!ValidKey(key)) throw ERegistryError("Invalid registry key: " + key, true);
    keys_[key];
}

void TFileRegistry::SetValue(const std::string& key, const std::string& name, const std::string& data) {
    CreateKey(key);
    keys_[key][name] = data;
}

std::optional<std::string> TFileRegistry::Value(const std::string& key, const std::string& name) const {
    const auto k = keys_.find(key);
    if (k == keys_.end()) return std::nullopt;
    const auto v = k->second.find(name);
    if (v == k->second.end()) return std::nullopt;
    return v->second;
}

bool TFileRegistry::HasKey(const std::string& key) const {
    if (keys_.count(key)) return true;
    // A parent of a held key exists too.
    const auto below = keys_.lower_bound(key + "\\");
    return below != keys_.end() && !NoCase()(key + "\\", below->first.substr(0, key.size() + 1)) &&
           !NoCase()(below->first.substr(0, key.size() + 1), key + "\\");
}

bool TFileRegistry::DeleteTree(const std::string& key) {
    bool any = keys_.erase(key) > 0;
    const std::string prefix = key + "\\";
    for (auto it = keys_.lower_bound(prefix); it != keys_.end();) {
        const std::string head = it->first.substr(0, prefix.size());
        if (NoCase()(head, prefix) || NoCase()(prefix, head)) break;
        it = keys_.erase(it);
        any = true;
    }
    return any;
}

}  // namespace kubrix
