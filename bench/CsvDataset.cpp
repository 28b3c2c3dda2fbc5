#include "CsvDataset.h"

#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>
#include <stdexcept>
#include <vector>

#include "dataset/Field.h"
#include "dataset/QelODBCClient.h"
#include "dataset/StoredValue.h"
#include "support/Variant.h"

namespace kubrix {

namespace {

//! Splits one line into fields; quoted fields may hold commas and doubled quotes. A quoted
//! empty field is the empty text, an unquoted empty field is NULL (flagged in isNull).
bool SplitLine(const std::string& line, std::vector<std::string>& out, std::vector<char>& isNull) {
    out.clear();
    isNull.clear();
    std::size_t i = 0;
    const std::size_t n = line.size();
    while (true) {
        std::string field;
        bool quoted = false;
        if (i < n && line[i] == '"') {
            quoted = true;
            ++i;
            while (true) {
                if (i >= n) return false;
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        } else {
            const std::size_t end = line.find(',', i);
            field.assign(line, i, (end == std::string::npos ? n : end) - i);
            i = end == std::string::npos ? n : end;
        }
        isNull.push_back(!quoted && field.empty());
        out.push_back(std::move(field));
        if (i >= n) return true;
        if (line[i] != ',') return false;
        ++i;
    }
}

struct Column {
    std::string name;
    TFieldType type = ftString;
    int size = 0;
};

TFieldType TypeOf(const std::string& t, std::size_t line) {
    if (t == "string") return ftString;
    if (t == "smallint") return ftSmallint;
    if (t == "integer") return ftInteger;
    if (t == "float") return ftFloat;
    if (t == "bcd") return ftBCD;
    if (t == "datetime") return ftDateTime;
    if (t == "boolean") return ftBoolean;
    if (t == "memo") return ftMemo;
    throw std::runtime_error("line " + std::to_string(line) + ": unknown column type \"" + t + "\"");
}

Variant ValueOf(const Column& c, const std::string& text, std::size_t line) {
    try {
        switch (c.type) {
            case ftString:
            case ftMemo: return Variant::FromAnsi(text);
            case ftSmallint: return Variant::FromInt16(static_cast<std::int16_t>(std::stoi(text)));
            case ftInteger: return Variant::FromInt32(std::stoi(text));
            case ftFloat: return Variant::FromDouble(std::stod(text));
            case ftBCD: return Variant::FromAnsi(text).ConvertTo(VT_CY);
            case ftDateTime: return Variant::FromDate(Variant::FromAnsi(text).ToDate());
            case ftBoolean: return Variant::FromBool(text == "1" || text == "true" || text == "True" || text == "TRUE");
            default: break;
        }
    } catch (const std::exception& e) {
        throw std::runtime_error("line " + std::to_string(line) + ", column " + c.name + ": \"" + text +
                                 "\" is no " + Variant::TypeName(VT_EMPTY) + " value (" + e.what() + ")");
    }
    return Variant::FromAnsi(text);
}

// Writes the stored form (flag byte, value, zero padding) of a value whose form is plain;
// false leaves the slot untouched for the Variant path.
bool WriteRaw(const Column& c, const TValueCodec& codec, bool isNull, const std::string& text, std::uint8_t* slot) {
    switch (c.type) {
        case ftString:
        case ftSmallint:
        case ftInteger:
        case ftFloat: break;
        default: return false;
    }
    if (isNull) {
        codec.SetNull(slot);
        return true;
    }
    try {
        switch (c.type) {
            case ftString:
                if (text.size() > static_cast<std::size_t>(c.size)) return false;
                return codec.SetText(slot, text) == TStoreResult::Stored;
            case ftSmallint:
            case ftInteger: return codec.SetInt64(slot, std::stoll(text)) == TStoreResult::Stored;
            default: return codec.SetDouble(slot, std::stod(text)) == TStoreResult::Stored;
        }
    } catch (const std::exception&) {
        return false;  // the Variant path reports the line and column
    }
}

}  // namespace

std::int64_t LoadCsvDataset(const std::string& fileName, TQelODBCClient& ds) {
    std::ifstream in(fileName, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + fileName);
    std::string line;
    std::vector<std::string> fields;
    std::vector<char> isNull;
    if (!std::getline(in, line)) throw std::runtime_error(fileName + ": no header");
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!SplitLine(line, fields, isNull)) throw std::runtime_error("line 1: malformed header");
    std::vector<Column> columns;
    for (const std::string& f : fields) {
        const std::size_t colon = f.rfind(':');
        if (colon == std::string::npos) throw std::runtime_error("line 1: \"" + f + "\" has no :type");
        columns.push_back({f.substr(0, colon), TypeOf(f.substr(colon + 1), 1), 0});
    }
    // The text of every field first: a string column's width is its longest value.
    std::vector<std::string> cells;
    std::vector<char> nulls;
    std::size_t lineNo = 1;
    while (std::getline(in, line)) {
        ++lineNo;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (line.empty()) continue;
        if (!SplitLine(line, fields, isNull) || fields.size() != columns.size()) {
            throw std::runtime_error("line " + std::to_string(lineNo) + ": expected " +
                                     std::to_string(columns.size()) + " fields");
        }
        for (std::size_t k = 0; k < columns.size(); ++k) {
            if (columns[k].type == ftString) columns[k].size = std::max<int>(columns[k].size, static_cast<int>(fields[k].size()));
            cells.push_back(std::move(fields[k]));
            nulls.push_back(isNull[k]);
        }
    }
    for (const Column& c : columns) {
        ds.FieldDefs().Add(c.name, c.type, c.type == ftString ? std::max(1, c.size) : 0);
    }
    ds.Open();
    const std::size_t width = columns.size();
    const std::size_t records = width ? cells.size() / width : 0;
    std::vector<const TField*> dsFields;
    for (std::size_t k = 0; k < width; ++k) dsFields.push_back(ds.Fields()[k]);
    std::vector<TValueCodec> codecs;
    for (std::size_t k = 0; k < width; ++k) codecs.push_back(dsFields[k]->Codec());
    for (std::size_t r = 0; r < records; ++r) {
        TMemoryRecord* rec = ds.AddRecord();
        for (std::size_t k = 0; k < width; ++k) {
            const std::size_t at = r * width + k;
            // Plain numbers and texts that fit go straight into the record's slot, in the
            // stored form the dataset writes itself; everything else through a Variant.
            if (std::uint8_t* slot = TQelODBCClient::FindFieldData(rec->Data, dsFields[k]);
                slot && WriteRaw(columns[k], codecs[k], nulls[at] != 0, cells[at], slot)) {
                continue;
            }
            const Variant v = nulls[at] ? Variant::Null() : ValueOf(columns[k], cells[at], r + 2);
            ds.SetFieldValueInBuffer(dsFields[k], rec, v);
        }
    }
    return static_cast<std::int64_t>(records);
}

void GenerateBenchCsv(const std::string& fileName, std::int64_t records) {
    std::FILE* f = std::fopen(fileName.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot create " + fileName);
    std::mt19937_64 rng(42);
    std::fputs("region:string,product:string,year:integer,month:integer,amount:float\n", f);
    for (std::int64_t i = 0; i < records; ++i) {
        const unsigned region = static_cast<unsigned>(rng() % 50), product = static_cast<unsigned>(rng() % 200);
        const unsigned year = 2015 + static_cast<unsigned>(rng() % 10), month = 1 + static_cast<unsigned>(rng() % 12);
        const double amount = static_cast<double>(rng() % 1000000) / 100.0;
        std::fprintf(f, "Регион %02u,Product %03u,%u,%u,%.2f\n", region, product, year, month, amount);
    }
    if (std::fclose(f) != 0) throw std::runtime_error("cannot write " + fileName);
}

}  // namespace kubrix
