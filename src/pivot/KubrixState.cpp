// The pivot's whole layout as one string of storage-stream values, and back: placed fields,
// data place and index, orderings by data values, every field's value flags and the column
// widths. Reading applies whatever can be read; bad bytes never size an allocation beyond
// the bytes themselves and never leave the grid half-built.

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sys/stat.h>
#include <unistd.h>

#include "pivot/KubrixState.h"

#include "pivot/Kubrix.h"
#include "pivot/KubrixOrder.h"
#include "support/CursorStack.h"
#include "support/Errors.h"
#include "support/StorageStream.h"
#include "support/ScopeGuard.h"

namespace kubrix {

namespace {

constexpr std::uint8_t kFormatMark = 1;
// Bytes of one saved dictionary entry before its value buffer: 4 unused, Expanded, Selected, 2 unused.
constexpr int kEntryHeader = 8;

Variant VariantList(std::vector<Variant> items) {
    Variant a = Variant::MakeArray(VT_VARIANT, 0, static_cast<std::int32_t>(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i) a.PutElement(static_cast<std::int32_t>(i), items[i]);
    return a;
}

//! Element i of an array counted from its low bound; empty when outside it or not an array.
Variant Element(const Variant& a, std::int64_t i) {
    if (!a.IsArray() || i < 0 || i >= a.ElementCount()) return Variant();
    return a.GetElement(static_cast<std::int32_t>(a.LowBound() + i));
}

//! A saved flag as a Boolean; fallback when it is no flag at all.
bool FlagOf(const Variant& v, bool fallback) {
    if (v.IsArray() || v.IsEmptyOrNull()) return fallback;
    try {
        return v.ToBool();
    } catch (const std::exception&) {
        return fallback;
    }
}

bool IsMark(const Variant& v) {
    if (v.IsArray() || v.IsEmptyOrNull() || !v.IsNumeric()) return false;
    try {
        return v.ToInt32() == kFormatMark;
    } catch (const std::exception&) {
        return false;
    }
}

//! Count, widths, one zero byte: the saved form of one width array.
Variant WidthsToVariant(const TGridAxis& cols, bool saved) {
    const int n = cols.Count();
    std::vector<std::uint8_t> bytes(static_cast<std::size_t>(n) * 4 + 5, 0);
    auto put = [&bytes](std::size_t at, std::uint32_t value) {
        for (int b = 0; b < 4; ++b) bytes[at + b] = static_cast<std::uint8_t>(value >> (8 * b));
    };
    put(0, static_cast<std::uint32_t>(n));
    for (int i = 0; i < n; ++i) {
        put(4 + static_cast<std::size_t>(i) * 4, static_cast<std::uint32_t>(saved ? cols.SavedSize(i) : cols.Size(i)));
    }
    return Variant::FromBytes(bytes);
}

//! Restores one width array: the counted widths the bytes really hold, the rest of the grid's
//! columns zero (a later layout pass shows them).
void VariantToWidths(const Variant& v, TGridAxis& cols, bool saved) {
    if (!v.IsByteArray()) return;
    const std::vector<std::uint8_t>& bytes = v.Bytes();
    if (bytes.size() < 4) return;
    auto get = [&bytes](std::size_t at) {
        std::uint32_t value = 0;
        for (int b = 0; b < 4; ++b) value |= static_cast<std::uint32_t>(bytes[at + b]) << (8 * b);
        return value;
    };
    const std::uint64_t held = (bytes.size() - 4) / 4;
    const std::uint64_t stored = std::min<std::uint64_t>(get(0), held);
    const int count = static_cast<int>(std::min<std::uint64_t>(
        std::max<std::uint64_t>(stored, static_cast<std::uint64_t>(cols.Count())), TGridAxis::MaxCount));
    if (count != cols.Count()) cols.SetCount(count);
    for (int i = 0; i < count; ++i) {
        int w = 0;
        if (static_cast<std::uint64_t>(i) < stored) {
            const auto raw = static_cast<std::int32_t>(get(4 + static_cast<std::size_t>(i) * 4));
            w = std::clamp(raw, 0, TGridAxis::MaxSize);
        }
        if (saved) {
            cols.SetSavedSize(i, w == 0 ? cols.DefaultSize() : w);
        } else {
            cols.SetActualSize(i, w);
        }
    }
}

}  // namespace

void WriteFileReplacing(const std::string& fileName, const std::string& bytes) {
    namespace fs = std::filesystem;
    // A link is followed, so that the link stays and its target gets the new bytes.
    std::error_code ec;
    fs::path target = fileName;
    if (fs::is_symlink(target, ec)) {
        fs::path to = fs::read_symlink(target, ec);
        if (!ec) target = to.is_absolute() ? to : target.parent_path() / to;
    }
    auto fail = [&fileName](int err) {
        throw Exception("Cannot create file \"" + fileName + "\". " + std::strerror(err));
    };
    std::string temp = target.string() + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) fail(errno);
    bool done = false;
    struct Cleanup {
        int fd;
        const std::string& temp;
        bool& done;
        ~Cleanup() {
            if (fd >= 0) ::close(fd);
            if (!done) ::unlink(temp.c_str());
        }
    } cleanup{fd, temp, done};
    // The old file's permissions carry over to its replacement.
    struct stat old {};
    ::fchmod(fd, ::stat(target.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644);
    for (std::size_t at = 0; at < bytes.size();) {
        const ssize_t n = ::write(fd, bytes.data() + at, bytes.size() - at);
        if (n < 0) {
            if (errno == EINTR) continue;
            fail(errno);
        }
        at += static_cast<std::size_t>(n);
    }
    if (::fsync(fd) != 0) fail(errno);
    const int closed = ::close(cleanup.fd);
    cleanup.fd = -1;
    if (closed != 0) fail(errno);
    if (::rename(temp.c_str(), target.c_str()) != 0) fail(errno);
    done = true;
    // The rename itself reaches the disk with its folder.
    const std::string dir = target.has_parent_path() ? target.parent_path().string() : ".";
    if (const int dfd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY); dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

// ---------------------------------------------------------------- fields' value flags

void GetFieldsState(const TQelOLAPFields& fields, Variant& v) {
    TQelStorageStream stream;
    for (const auto& f : fields.Fields()) {
        Variant values = Variant::Null();
        if (!f->Values.empty()) {
            if (f->IsMemo()) {
                std::vector<Variant> entries;
                entries.reserve(f->Values.size());
                for (const auto& e : f->Values) {
                    entries.push_back(VariantList({Variant::FromAnsi(e->Text), Variant::FromBool(e->Expanded),
                                                   Variant::FromBool(e->Selected)}));
                }
                values = VariantList(std::move(entries));
            } else {
                const std::size_t size = static_cast<std::size_t>(f->ValueSize) + kEntryHeader;
                std::vector<std::uint8_t> bytes(size * f->Values.size(), 0);
                for (std::size_t j = 0; j < f->Values.size(); ++j) {
                    const TOLAPValueEntry& e = *f->Values[j];
                    std::uint8_t* at = bytes.data() + j * size;
                    at[4] = e.Expanded ? 1 : 0;
                    at[5] = e.Selected ? 1 : 0;
                    std::memcpy(at + kEntryHeader, e.Value.data(),
                                std::min<std::size_t>(e.Value.size(), static_cast<std::size_t>(f->ValueSize)));
                }
                values = Variant::FromBytes(bytes);
            }
        }
        stream.SaveValue(VariantList({Variant::FromAnsi(f->FieldName), values}));
    }
    v = VariantList({Variant::FromUInt8(kFormatMark), stream.GetAsVariant()});
}

void SetFieldsState(TQelOLAPFields& fields, const Variant& v) {
    if (!v.IsArray() || !IsMark(Element(v, 0))) return;
    TQelStorageStream stream;
    stream.SetAsVariant(Element(v, 1));
    Variant item;
    while (stream.LoadValue(item)) {
        const Variant name = Element(item, 0);
        if (!name.IsText()) continue;
        TQelOLAPField* f = fields.FindField(name.ToAnsi());
        if (!f) continue;
        const Variant values = Element(item, 1);
        if (!values.IsArray()) continue;
        if (f->IsMemo()) {
            for (std::int64_t i = 0; i < values.ElementCount(); ++i) {
                const Variant e = Element(values, i);
                const Variant text = e.IsArray() ? Element(e, 0) : e;
                if (text.IsArray()) continue;
                std::string s;
                try {
                    s = text.IsEmptyOrNull() ? std::string() : text.ToAnsi();
                } catch (const std::exception&) {
                    continue;  // a value that is not text has no place in a memo dictionary
                }
                TOLAPValueEntry& entry = *f->Values[static_cast<std::size_t>(f->AddValueM(&s))];
                const Variant expanded = Element(e, 1), selected = Element(e, 2);
                entry.Expanded = FlagOf(expanded, entry.Expanded);
                entry.Selected = FlagOf(selected, entry.Selected);
            }
        } else {
            if (!values.IsByteArray() || f->ValueSize <= 0) continue;
            const std::vector<std::uint8_t>& bytes = values.Bytes();
            const std::size_t size = static_cast<std::size_t>(f->ValueSize) + kEntryHeader;
            std::vector<std::uint8_t> buffer(static_cast<std::size_t>(f->ValueSize));
            // Only whole slices: a cut last entry has no complete value.
            for (std::size_t at = 0; at + size <= bytes.size(); at += size) {
                std::memcpy(buffer.data(), bytes.data() + at + kEntryHeader, buffer.size());
                // One stored form per value: a null carries no value bytes, a present value flag 1.
                if (buffer[0] == 0) {
                    std::fill(buffer.begin(), buffer.end(), std::uint8_t{0});
                } else {
                    buffer[0] = 1;
                }
                TOLAPValueEntry& entry = *f->Values[static_cast<std::size_t>(f->AddValue(buffer.data()))];
                entry.Expanded = bytes[at + 4] != 0;
                entry.Selected = bytes[at + 5] != 0;
            }
        }
    }
}

// ---------------------------------------------------------------- placed fields of one list

void GetPlacedFields(const TQelOLAPVisibleFields& list, Variant& v) {
    std::vector<Variant> items;
    for (int i = 0; i < list.Count(); ++i) {
        const TQelOLAPVisibleField& placed = list.Field(i);
        const TQelOLAPField* f = placed.OLAPField;
        items.push_back(VariantList({Variant::FromAnsi(placed.FieldName), Variant::FromBool(f && f->ShowTotals),
                                     Variant::FromBool(f && f->DescSort)}));
    }
    v = VariantList(std::move(items));
}

void PlaceFields(TQelOLAPVisibleFields& list, const Variant& v) {
    for (std::int64_t i = 0; i < v.ElementCount(); ++i) {
        const Variant e = Element(v, i);
        const Variant name = e.IsArray() ? Element(e, 0) : e;
        if (name.IsArray() || name.IsEmptyOrNull()) continue;
        TQelOLAPVisibleField& placed = list.Add(name.ToAnsi());
        TQelOLAPField* f = placed.OLAPField;
        if (!f || !e.IsArray()) continue;
        const Variant totals = Element(e, 1), desc = Element(e, 2);
        if (e.ElementCount() > 1) f->SetShowTotals(FlagOf(totals, f->ShowTotals));
        if (e.ElementCount() > 2) f->SetDescSort(FlagOf(desc, f->DescSort));
    }
}

void ApplyPlacedFields(TQelKubrix& grid, const Variant* x, const Variant* y, const Variant* d) {
    auto given = [](const Variant* v) { return v && v->IsArray(); };
    if (!given(x) && !given(y) && !given(d)) return;
    // Every bracket is closed even when a rebuild raises; the first error is the one reported.
    UpdateBracket closeData(grid.DataFields);
    UpdateBracket closeX(grid.XAxis);
    UpdateBracket closeY(grid.YAxis);
    // Both trees go: an axis that keeps its fields but loses one to the other axis is
    // rebuilt from scratch when the bracket closes.
    grid.XAxis.ClearIndex();
    grid.YAxis.ClearIndex();
    if (given(x)) grid.XAxis.Clear();
    if (given(y)) grid.YAxis.Clear();
    if (given(d)) grid.DataFields.Clear();
    if (given(x)) PlaceFields(grid.XAxis, *x);
    if (given(y)) PlaceFields(grid.YAxis, *y);
    if (given(d)) PlaceFields(grid.DataFields, *d);
}

// ---------------------------------------------------------------- the grid

void TQelKubrix::GetState(Variant& v) const {
    Variant fieldsState;
    GetFieldsState(OLAPFields(), fieldsState);
    const TGridAxis& cols = Geometry().Cols();
    v = VariantList({Variant::FromUInt8(kFormatMark), fieldsState, WidthsToVariant(cols, false),
                     WidthsToVariant(cols, true)});
}

void TQelKubrix::SetState(const Variant& v) {
    TraceScope trace(this, "TQelKubrix.SetState");
    if (!v.IsArray() || !IsMark(Element(v, 0))) return;
    SetFieldsState(OLAPFields(), Element(v, 1));
    {
        TGridUpdateGuard batch(Geometry());
        VariantToWidths(Element(v, 2), Geometry().Cols(), false);
        VariantToWidths(Element(v, 3), Geometry().Cols(), true);
    }
    if (UpdateLock == 0) {
        UpdateNodesVisible();
        UpdateGrid();
    }
}

void TQelKubrix::GetFullState(std::string& s) const {
    BusyCursor busy;
    Variant grid, x, y, d;
    GetState(grid);
    GetPlacedFields(XAxis, x);
    GetPlacedFields(YAxis, y);
    GetPlacedFields(DataFields, d);
    TQelStorageStream stream;
    stream.SaveValue(grid);
    stream.SaveValue(x);
    stream.SaveValue(y);
    stream.SaveValue(d);
    stream.SaveValue(Variant::FromInt8(static_cast<std::int8_t>(DataPlace)));
    stream.SaveValue(Variant::FromUInt8(DataIndex));
    stream.SaveValue(VDataOrderBy);
    stream.SaveValue(GDataOrderBy);
    const auto& data = stream.Data();
    s.assign(data.begin(), data.end());
}

void TQelKubrix::SetFullState(const std::string& s) {
    if (s.empty()) return;
    TraceScope trace(this, "TQelKubrix.SetFullState");
    BusyCursor busy;
    TQelStorageStream stream;
    stream.Write(s.data(), s.size());
    stream.Seek(0);
    // Everything that can be read first: a cut stream leaves the missing settings as they are.
    Variant values[8];
    bool read[8] = {};
    for (int i = 0; i < 8; ++i) {
        read[i] = stream.LoadValue(values[i]);
        if (!read[i]) break;
    }
    BeginUpdate();
    ScopeExit close([this] { CloseUpdateWithDataOrder(*this); });
    if (read[0]) SetState(values[0]);
    ApplyPlacedFields(*this, read[1] ? &values[1] : nullptr, read[2] ? &values[2] : nullptr,
                      read[3] ? &values[3] : nullptr);
    auto asByte = [](const Variant& v, std::uint8_t& out) {
        if (v.IsArray() || v.IsEmptyOrNull()) return;
        try {
            out = static_cast<std::uint8_t>(v.ToInt32());
        } catch (const std::exception&) {
            // not a number: the setting stays
        }
    };
    if (read[4]) {
        std::uint8_t place = DataPlace;
        asByte(values[4], place);
        SetDataPlace(place);
    }
    if (read[5]) {
        std::uint8_t index = DataIndex;
        asByte(values[5], index);
        SetDataIndex(index);
    }
    if (read[6]) SetVDataOrderBy(values[6]);
    if (read[7]) SetGDataOrderBy(values[7]);
}

void TQelKubrix::SaveFullStateToFile(const std::string& fileName) const {
    BusyCursor busy;
    WriteFileReplacing(fileName, GetFullState());
}

bool TQelKubrix::LoadFullStateFromFile(const std::string& fileName) {
    struct stat st {};
    if (::stat(fileName.c_str(), &st) != 0 && errno == ENOENT) return true;
    BusyCursor busy;
    std::ifstream in(fileName, std::ios::binary);
    std::string s;
    if (in && !S_ISDIR(st.st_mode)) {
        s.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    if (!in || in.bad() || S_ISDIR(st.st_mode)) {
        throw Exception("Cannot open file \"" + fileName + "\". " + std::strerror(errno ? errno : EIO));
    }
    // A file with no layout in it (empty, cut before the first field list, not a state at
    // all) is refused: applying it would silently show an empty pivot.
    const TFullStateReading reading = ReadFullStateParts(s);
    if (!reading.HasLayout) throw Exception("Файл \"" + fileName + "\" не содержит сохранённой раскладки.");
    SetFullState(s);
    return reading.Complete;
}

TFullStateReading ReadFullStateParts(const std::string& s) {
    TFullStateReading r;
    TQelStorageStream stream;
    stream.Write(s.data(), s.size());
    stream.Seek(0);
    Variant values[kFullStateValues];
    bool lists = true;
    for (; r.Values < kFullStateValues; ++r.Values) {
        if (!stream.LoadValue(values[r.Values])) break;
        if (r.Values >= 1 && r.Values <= 3) {
            if (values[r.Values].IsArray())
                r.HasLayout = true;
            else
                lists = false;
        }
    }
    const Variant& grid = values[0];
    r.Complete = r.Values == kFullStateValues && lists && grid.IsArray() && IsMark(Element(grid, 0));
    return r;
}

}  // namespace kubrix
