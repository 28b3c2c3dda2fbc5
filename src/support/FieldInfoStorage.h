#pragma once
// Presentation metadata for the result columns of queries (display label and width, plus
// companion fields), kept by a connection and persisted as one byte string.

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "support/FieldTypes.h"

namespace kubrix {

//! One stored entry; 532 bytes in the string form, little-endian.
struct TFieldInfo {
    static constexpr std::size_t RecordSize = 532;

    //! Field name, at most 255 bytes (a longer name is cut on a character boundary).
    std::string Name;
    //! Field type number (TFieldType).
    std::uint8_t DataType = ftUnknown;
    std::int32_t Precision = 0;
    std::int32_t Size = 0;
    std::string DisplayLabel;
    std::int32_t DisplayWidth = 0;
    //! The last four bytes of the record, kept as read.
    std::uint32_t Reserved = 0;

    //! The 532-byte form.
    std::array<std::uint8_t, RecordSize> Pack() const;
    static TFieldInfo Unpack(const std::uint8_t* bytes);
};

class TFieldInfoStorage {
public:
    //! Appends a main entry with no sub-entries; returns its index.
    int AddFieldInfo(const TFieldInfo& rec);
    //! Appends a sub-entry to main entry index.
    void AddFieldInfo(int index, const TFieldInfo& rec);
    //! The last main entry with exactly this name (case-sensitive), type, precision and
    //! size; -1 when none.
    int IndexOf(const std::string& name, TFieldType dataType, std::int32_t precision, std::int32_t size) const;
    //! Main entry index.
    void GetFieldInfoM(int index, TFieldInfo& rec) const;
    //! Number of sub-entries of main entry index.
    int Count(int index) const;
    //! Sub-entry subIndex of main entry index.
    void GetFieldInfo(int index, int subIndex, TFieldInfo& rec) const;
    //! Number of main entries.
    int MainCount() const { return static_cast<int>(entries_.size()); }
    //! Drops the sub-entries of main entry index.
    void Clear(int index);
    //! Drops everything.
    void Clear();

    //! The string form: each main record, a 32-bit sub-entry count, the sub-records.
    std::string GetAsString() const;
    //! Appends what a string form holds; a short trailing fragment is ignored.
    void SetAsString(const std::string& text);

private:
    struct Entry {
        TFieldInfo Main;
        std::vector<TFieldInfo> Subs;
    };
    const Entry& At(int index) const;
    Entry& At(int index);

    std::vector<Entry> entries_;
};

}  // namespace kubrix
