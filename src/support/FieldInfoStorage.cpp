#include "support/FieldInfoStorage.h"

#include <cstring>

#include "support/Errors.h"
#include "support/Text.h"

namespace kubrix {
namespace {

void PutInt32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(v >> (8 * i));
}

std::uint32_t GetInt32(const std::uint8_t* p) {
    std::uint32_t v = 0;
    for (int i = 0; i < 4; ++i) v |= static_cast<std::uint32_t>(p[i]) << (8 * i);
    return v;
}

// A counted text of at most 255 bytes; never cut inside a character.
void PutShortString(std::uint8_t* p, const std::string& text) {
    std::size_t n = Utf8FitBytes(text, 255);
    p[0] = static_cast<std::uint8_t>(n);
    std::memcpy(p + 1, text.data(), n);
}

std::string GetShortString(const std::uint8_t* p) { return std::string(reinterpret_cast<const char*>(p + 1), p[0]); }

}  // namespace

std::array<std::uint8_t, TFieldInfo::RecordSize> TFieldInfo::Pack() const {
    std::array<std::uint8_t, RecordSize> out{};
    PutShortString(out.data(), Name);
    out[256] = DataType;
    PutInt32(out.data() + 260, static_cast<std::uint32_t>(Precision));
    PutInt32(out.data() + 264, static_cast<std::uint32_t>(Size));
    PutShortString(out.data() + 268, DisplayLabel);
    PutInt32(out.data() + 524, static_cast<std::uint32_t>(DisplayWidth));
    PutInt32(out.data() + 528, Reserved);
    return out;
}

TFieldInfo TFieldInfo::Unpack(const std::uint8_t* bytes) {
    TFieldInfo r;
    r.Name = GetShortString(bytes);
    r.DataType = bytes[256];
    r.Precision = static_cast<std::int32_t>(GetInt32(bytes + 260));
    r.Size = static_cast<std::int32_t>(GetInt32(bytes + 264));
    r.DisplayLabel = GetShortString(bytes + 268);
    r.DisplayWidth = static_cast<std::int32_t>(GetInt32(bytes + 524));
    r.Reserved = GetInt32(bytes + 528);
    return r;
}

const TFieldInfoStorage::Entry& TFieldInfoStorage::At(int index) const {
    if (index < 0 || static_cast<std::size_t>(index) >= entries_.size()) ListIndexError(index);
    return entries_[static_cast<std::size_t>(index)];
}

TFieldInfoStorage::Entry& TFieldInfoStorage::At(int index) {
    return const_cast<Entry&>(static_cast<const TFieldInfoStorage*>(this)->At(index));
}

int TFieldInfoStorage::AddFieldInfo(const TFieldInfo& rec) {
    entries_.push_back({rec, {}});
    return static_cast<int>(entries_.size()) - 1;
}

void TFieldInfoStorage::AddFieldInfo(int index, const TFieldInfo& rec) { At(index).Subs.push_back(rec); }

int TFieldInfoStorage::IndexOf(const std::string& name, TFieldType dataType, std::int32_t precision,
                               std::int32_t size) const {
    for (int i = static_cast<int>(entries_.size()) - 1; i >= 0; --i) {
        const TFieldInfo& m = entries_[static_cast<std::size_t>(i)].Main;
        if (m.Name == name && m.DataType == static_cast<std::uint8_t>(dataType) && m.Precision == precision &&
            m.Size == size)
            return i;
    }
    return -1;
}

void TFieldInfoStorage::GetFieldInfoM(int index, TFieldInfo& rec) const { rec = At(index).Main; }

int TFieldInfoStorage::Count(int index) const { return static_cast<int>(At(index).Subs.size()); }

void TFieldInfoStorage::GetFieldInfo(int index, int subIndex, TFieldInfo& rec) const {
    const auto& subs = At(index).Subs;
    if (subIndex < 0 || static_cast<std::size_t>(subIndex) >= subs.size()) ListIndexError(subIndex);
    rec = subs[static_cast<std::size_t>(subIndex)];
}

void TFieldInfoStorage::Clear(int index) { At(index).Subs.clear(); }

void TFieldInfoStorage::Clear() { entries_.clear(); }

std::string TFieldInfoStorage::GetAsString() const {
    std::string out;
    for (const auto& e : entries_) {
        auto m = e.Main.Pack();
        out.append(reinterpret_cast<const char*>(m.data()), m.size());
        std::uint8_t n[4];
        PutInt32(n, static_cast<std::uint32_t>(e.Subs.size()));
        out.append(reinterpret_cast<const char*>(n), 4);
        for (const auto& s : e.Subs) {
            auto b = s.Pack();
            out.append(reinterpret_cast<const char*>(b.data()), b.size());
        }
    }
    return out;
}

void TFieldInfoStorage::SetAsString(const std::string& text) {
    const auto* p = reinterpret_cast<const std::uint8_t*>(text.data());
    std::size_t pos = 0;
    const std::size_t len = text.size();
    constexpr std::size_t R = TFieldInfo::RecordSize;
    while (len - pos >= R) {
        int main = AddFieldInfo(TFieldInfo::Unpack(p + pos));
        pos += R;
        if (len - pos < 4) continue;
        // The count is read as signed; a negative or oversized count only takes what is there.
        std::int32_t n = static_cast<std::int32_t>(GetInt32(p + pos));
        pos += 4;
        while (n > 0) {
            if (len - pos < R) break;
            AddFieldInfo(main, TFieldInfo::Unpack(p + pos));
            pos += R;
            --n;
        }
    }
}

}  // namespace kubrix
