#include "support/StorageStream.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>

#include "support/CursorStack.h"

using namespace kubrix;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes Encode(const Variant& v) {
    TQelStorageStream s;
    s.SaveValue(v);
    return s.Data();
}

TQelStorageStream StreamOf(const Bytes& bytes) {
    TQelStorageStream s;
    s.SetAsVariant(Variant::FromBytes(bytes));
    return s;
}

Variant VarArray(std::int32_t low, std::vector<Variant> items) {
    Variant a = Variant::MakeArray(VT_VARIANT, low, low + static_cast<std::int32_t>(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i) a.PutElement(low + static_cast<std::int32_t>(i), items[i]);
    return a;
}

Variant Int32Array(std::int32_t low, std::vector<std::int32_t> items) {
    Variant a = Variant::MakeArray(VT_I4, low, low + static_cast<std::int32_t>(items.size()) - 1);
    for (std::size_t i = 0; i < items.size(); ++i) a.PutElement(low + static_cast<std::int32_t>(i), Variant::FromInt32(items[i]));
    return a;
}

// Arrays of variants with bounds 0..0, nested `levels` deep around the 32-bit integer 1.
Bytes NestedArrays(int levels) {
    const Bytes header = {0x0C, 0x20, 0, 0, 0, 0, 0, 0, 0, 0};
    Bytes out;
    out.reserve(header.size() * static_cast<std::size_t>(levels) + 6);
    for (int i = 0; i < levels; ++i) out.insert(out.end(), header.begin(), header.end());
    const Bytes leaf = {0x03, 0x00, 0x01, 0x00, 0x00, 0x00};
    out.insert(out.end(), leaf.begin(), leaf.end());
    return out;
}

}  // namespace

// Byte forms of single values: written exactly so, and read back as the same value.
TEST(StorageStream, WritesAndReadsEachKind) {
    struct Case {
        const char* name;
        Variant value;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", Variant(), {0x00, 0x00}},
        {"null", Variant::Null(), {0x01, 0x00}},
        {"int16 -2", Variant::FromInt16(-2), {0x02, 0x00, 0xFE, 0xFF}},
        {"int32 5", Variant::FromInt32(5), {0x03, 0x00, 0x05, 0x00, 0x00, 0x00}},
        {"int32 min", Variant::FromInt32(INT32_MIN), {0x03, 0x00, 0x00, 0x00, 0x00, 0x80}},
        {"double 1.5", Variant::FromDouble(1.5), {0x05, 0x00, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F}},
        {"currency 12.3456", Variant::FromCurrency({123456}), {0x06, 0x00, 0x40, 0xE2, 0x01, 0, 0, 0, 0, 0}},
        {"currency -0.0001", Variant::FromCurrency({-1}), {0x06, 0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"date 2.25", Variant::FromDate(2.25), {0x07, 0x00, 0, 0, 0, 0, 0, 0, 0x02, 0x40}},
        {"wide aЖ", Variant::FromWide(u"aЖ"), {0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x61, 0x00, 0x16, 0x04}},
        {"wide empty", Variant::FromWide(u""), {0x08, 0x00, 0x00, 0x00, 0x00, 0x00}},
        {"boolean true", Variant::FromBool(true), {0x0B, 0x00, 0xFF, 0xFF}},
        {"boolean false", Variant::FromBool(false), {0x0B, 0x00, 0x00, 0x00}},
        {"int8 -1", Variant::FromInt8(-1), {0x10, 0x00, 0xFF}},
        {"uint8 200", Variant::FromUInt8(200), {0x11, 0x00, 0xC8}},
        {"uint16", Variant::FromUInt16(0xBEEF), {0x12, 0x00, 0xEF, 0xBE}},
        {"uint32", Variant::FromUInt32(0xFFFFFFFEu), {0x13, 0x00, 0xFE, 0xFF, 0xFF, 0xFF}},
        {"int64 -2", Variant::FromInt64(-2), {0x14, 0x00, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"8-bit abc", Variant::FromAnsi("abc"), {0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x61, 0x62, 0x63}},
        {"8-bit empty", Variant::FromAnsi(""), {0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
        {"8-bit Cyrillic", Variant::FromAnsi("Ж"), {0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0xD0, 0x96}},
        {"byte array 1 2 3", Variant::FromBytes(Bytes{1, 2, 3}), {0x11, 0x20, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02, 0x03}},
        {"byte array empty", Variant::FromBytes(Bytes{}), {0x11, 0x20, 0xFF, 0xFF, 0xFF, 0xFF}},
        {"variant array 1 and x",
         VarArray(0, {Variant::FromInt32(1), Variant::FromAnsi("x")}),
         {0x0C, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
          0x03, 0x00, 0x01, 0x00, 0x00, 0x00,                          //
          0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x78}},
        {"variant array empty", VarArray(0, {}), {0x0C, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {"int32 array with bounds 1..2",
         Int32Array(1, {7, 8}),
         {0x03, 0x20, 0x02, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00,  //
          0x03, 0x00, 0x07, 0x00, 0x00, 0x00, 0x03, 0x00, 0x08, 0x00, 0x00, 0x00}},
        {"int32 array with negative bounds",
         Int32Array(-1, {9}),
         {0x03, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x03, 0x00, 0x09, 0x00, 0x00, 0x00}},
        {"byte array inside a variant array",
         VarArray(0, {Variant::FromBytes(Bytes{5})}),
         {0x0C, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x11, 0x20, 0x00, 0x00, 0x00, 0x00, 0x05}},
        {"variant array inside a variant array",
         VarArray(0, {VarArray(3, {Variant::Null()})}),
         {0x0C, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,  //
          0x0C, 0x20, 0x03, 0x00, 0x00, 0x00, 0x03, 0x00, 0x00, 0x00, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Encode(c.value), c.bytes);
        TQelStorageStream s = StreamOf(c.bytes);
        Variant read = Variant::FromInt32(-99);
        ASSERT_TRUE(s.LoadValue(read));
        EXPECT_EQ(read, c.value);
        EXPECT_EQ(s.Position(), static_cast<std::int64_t>(c.bytes.size()));
        EXPECT_FALSE(s.LoadValue(read));
    }
}

// Values whose stored form is not their own: what is written, and what reads back.
TEST(StorageStream, WritesNormalisedForms) {
    struct Case {
        const char* name;
        Variant value;
        Bytes bytes;
        bool readable;
        Variant readBack;
    };
    Variant shiftedBytes = Variant::MakeArray(VT_UI1, 1, 2);
    shiftedBytes.PutElement(1, Variant::FromInt32(0xAA));
    shiftedBytes.PutElement(2, Variant::FromInt32(0xBB));
    const Case cases[] = {
        {"single 1.5 widens to double", Variant::FromSingle(1.5f), {0x04, 0x00, 0x00, 0x00, 0xC0, 0x3F}, true,
         Variant::FromDouble(1.5)},
        {"single 0.1 keeps single precision", Variant::FromSingle(0.1f), {0x04, 0x00, 0xCD, 0xCC, 0xCC, 0x3D}, true,
         Variant::FromDouble(0.1f)},
        {"8-bit text cut at NUL", Variant::FromAnsi(std::string("ab\0c", 4)),
         {0x00, 0x01, 0x02, 0x00, 0x00, 0x00, 0x61, 0x62}, true, Variant::FromAnsi("ab")},
        {"wide text cut at NUL", Variant::FromWide(std::u16string(u"й\0z", 3)),
         {0x08, 0x00, 0x01, 0x00, 0x00, 0x00, 0x39, 0x04}, true, Variant::FromWide(u"й")},
        {"byte array with low bound 1 reads back from 0", shiftedBytes,
         {0x11, 0x20, 0x01, 0x00, 0x00, 0x00, 0xAA, 0xBB}, true, Variant::FromBytes(Bytes{0xAA, 0xBB})},
        {"interface: the code alone", Variant::FromCode(VT_UNKNOWN), {0x0D, 0x00}, false, Variant()},
        {"unsigned 64-bit: the code alone", Variant::FromUInt64(5), {0x15, 0x00}, false, Variant()},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Encode(c.value), c.bytes);
        TQelStorageStream s = StreamOf(c.bytes);
        Variant read = Variant::FromInt32(-99);
        EXPECT_EQ(s.LoadValue(read), c.readable);
        EXPECT_EQ(read, c.readable ? c.readBack : Variant::FromInt32(-99));
    }
}

TEST(StorageStream, ReadsAnyNonZeroBooleanWordAsTrue) {
    for (const Bytes& bytes : {Bytes{0x0B, 0x00, 0x01, 0x00}, Bytes{0x0B, 0x00, 0x00, 0x80}}) {
        TQelStorageStream s = StreamOf(bytes);
        Variant v;
        ASSERT_TRUE(s.LoadValue(v));
        EXPECT_EQ(v, Variant::FromBool(true));
    }
}

// Malformed and cut data: the read is false, the target keeps its value, the position goes
// to the end and every later read is false as well.
TEST(StorageStream, RejectsMalformedData) {
    struct Case {
        const char* name;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", {}},
        {"one byte of a code", {0x03}},
        {"int32 cut", {0x03, 0x00, 0x05, 0x00}},
        {"double cut", {0x05, 0x00, 0, 0, 0, 0, 0, 0, 0xF8}},
        {"text length cut", {0x00, 0x01, 0x03, 0x00}},
        {"text payload cut", {0x00, 0x01, 0x03, 0x00, 0x00, 0x00, 0x61, 0x62}},
        {"text length huge", {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0x61}},
        {"text length negative", {0x00, 0x01, 0xFE, 0xFF, 0xFF, 0xFF, 0x61, 0x62, 0x00, 0x00}},
        {"wide length counts units, not bytes", {0x08, 0x00, 0x02, 0x00, 0x00, 0x00, 0x61, 0x00, 0x62}},
        {"wide length huge", {0x08, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0x00}},
        {"wide length negative", {0x08, 0x00, 0x00, 0x00, 0x00, 0x80, 0x61, 0x00}},
        {"byte array cut", {0x11, 0x20, 0x02, 0x00, 0x00, 0x00, 0x01, 0x02}},
        {"byte array bound huge", {0x11, 0x20, 0xFF, 0xFF, 0xFF, 0x7F, 0x01}},
        {"byte array bound below -1", {0x11, 0x20, 0xFE, 0xFF, 0xFF, 0xFF, 0x01}},
        {"array without low bound", {0x0C, 0x20, 0x00, 0x00, 0x00, 0x00}},
        {"array bound huge", {0x0C, 0x20, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00}},
        {"array of 2^32 elements", {0x0C, 0x20, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00}},
        {"array high below low - 1", {0x0C, 0x20, 0x00, 0x00, 0x00, 0x00, 0x05, 0x00, 0x00, 0x00, 0x01, 0x00}},
        {"array element cut", {0x0C, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00, 0x03, 0x00, 0x01}},
        {"array element of unreadable kind",
         {0x0C, 0x20, 0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x0D, 0x00, 0x01, 0x00}},
        {"array of interfaces", {0x0D, 0x20, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {"array of by-reference integers", {0x03, 0x60, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x00}},
        {"int32 array holding text",
         {0x03, 0x20, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x00, 0x00, 0x00, 0x78}},
        {"arrays nested 65 deep", NestedArrays(TQelStorageStream::MaxNesting + 1)},
        {"arrays nested 100000 deep", NestedArrays(100000)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TQelStorageStream s = StreamOf(c.bytes);
        Variant v = Variant::FromAnsi("kept");
        EXPECT_FALSE(s.LoadValue(v));
        EXPECT_EQ(v, Variant::FromAnsi("kept"));
        EXPECT_EQ(s.Position(), s.Size());
        EXPECT_FALSE(s.LoadValue(v));
        EXPECT_EQ(v, Variant::FromAnsi("kept"));
    }
}

TEST(StorageStream, ReadsArraysNestedToTheLimit) {
    TQelStorageStream s = StreamOf(NestedArrays(TQelStorageStream::MaxNesting));
    Variant v;
    ASSERT_TRUE(s.LoadValue(v));
    for (int level = 0; level < TQelStorageStream::MaxNesting; ++level) {
        ASSERT_EQ(v.Type(), VT_ARRAY | VT_VARIANT) << level;
        v = v.GetElement(0);
    }
    EXPECT_EQ(v, Variant::FromInt32(1));
}

#if defined(__SANITIZE_ADDRESS__)
#define KUBRIX_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KUBRIX_ASAN 1
#endif
#endif

#ifndef KUBRIX_ASAN
namespace {
// Caps the address space 256 MiB above what the process uses now, then reads headers whose
// lengths and bounds claim gigabytes; exits 0 when every read was false.
[[noreturn]] void ReadLyingHeadersUnderCap() {
    const Bytes lies[] = {
        {0x00, 0x01, 0xFF, 0xFF, 0xFF, 0x7F, 0x61},
        {0x08, 0x00, 0xFF, 0xFF, 0xFF, 0x7F, 0x61, 0x00},
        {0x11, 0x20, 0xFE, 0xFF, 0xFF, 0x7F, 0x01},
        {0x0C, 0x20, 0xFF, 0xFF, 0xFF, 0x7F, 0x00, 0x00, 0x00, 0x80, 0x01, 0x00},
        {0x0C, 0x20, 0xFF, 0xFF, 0xFF, 0x3F, 0x00, 0x00, 0x00, 0x00, 0x01, 0x00},
    };
    std::size_t pages = 0;
    std::ifstream("/proc/self/statm") >> pages;
    const rlim_t cap = static_cast<rlim_t>(pages) * 4096 + (rlim_t{256} << 20);
    const rlimit limit{cap, cap};
    if (setrlimit(RLIMIT_AS, &limit) != 0) std::exit(2);
    for (const Bytes& b : lies) {
        TQelStorageStream s = StreamOf(b);
        Variant v;
        if (s.LoadValue(v)) std::exit(3);
    }
    std::exit(0);
}
}  // namespace
#endif

// Stored lengths and bounds never size an allocation: a child process whose address space
// is capped far below those sizes reads every lying header and gets false.
TEST(StorageStream, LyingSizesAllocateNothingBig) {
#ifdef KUBRIX_ASAN
    GTEST_SKIP() << "the address sanitizer reserves more address space than the cap allows";
#else
    EXPECT_EXIT(ReadLyingHeadersUnderCap(), ::testing::ExitedWithCode(0), "");
#endif
}

TEST(StorageStream, UnreadableCodeConsumesOnlyItsCode) {
    TQelStorageStream s;
    s.SaveValue(Variant::FromCode(VT_DISPATCH));
    s.SaveValue(Variant::FromInt32(5));
    s.Seek(0);
    Variant v = Variant::FromInt32(1);
    EXPECT_FALSE(s.LoadValue(v));
    EXPECT_EQ(v, Variant::FromInt32(1));
    EXPECT_EQ(s.Position(), 2);
    ASSERT_TRUE(s.LoadValue(v));
    EXPECT_EQ(v, Variant::FromInt32(5));
}

TEST(StorageStream, SequenceReadsBackInOrder) {
    const Variant values[] = {
        Variant::FromAnsi("Поле;Сумма;"), Variant::FromInt32(3), Variant::FromBool(true),
        VarArray(0, {Variant::FromAnsi("a"), Variant::FromBytes(Bytes{1, 2}), VarArray(0, {})}),
        Variant::FromDouble(-0.25), Variant(),
    };
    TQelStorageStream out;
    for (const Variant& v : values) out.SaveValue(v);
    const Variant saved = out.GetAsVariant();

    TQelStorageStream in;
    in.SetAsVariant(saved);
    for (const Variant& expected : values) {
        Variant v;
        ASSERT_TRUE(in.LoadValue(v));
        EXPECT_EQ(v, expected);
    }
    Variant v;
    EXPECT_FALSE(in.LoadValue(v));
}

TEST(StorageStream, WholeContentAndPosition) {
    TQelStorageStream s;
    EXPECT_EQ(s.GetAsVariant(), Variant());

    s.SaveValue(Variant::FromInt16(1));
    s.SaveValue(Variant::FromInt16(2));
    s.Seek(2);
    const Variant whole = s.GetAsVariant();
    EXPECT_EQ(whole, Variant::FromBytes(Bytes{0x02, 0x00, 0x01, 0x00, 0x02, 0x00, 0x02, 0x00}));
    EXPECT_EQ(whole.LowBound(), 0);
    EXPECT_EQ(s.Position(), 2);

    s.SetAsVariant(whole);
    EXPECT_EQ(s.Position(), 0);
    EXPECT_EQ(s.Size(), 8);

    struct Case {
        const char* name;
        Variant value;
        Bytes content;
    };
    Variant shifted = Variant::MakeArray(VT_UI1, 5, 6);
    shifted.PutElement(5, Variant::FromInt32(1));
    shifted.PutElement(6, Variant::FromInt32(0));
    const Case cases[] = {
        {"not an array", Variant::FromAnsi("abc"), {}},
        {"empty", Variant(), {}},
        {"byte array", Variant::FromBytes(Bytes{1, 0, 0, 0, 0, 0}), {1, 0, 0, 0, 0, 0}},
        {"byte array with low bound 5", shifted, {1, 0}},
        {"array of integers", Int32Array(1, {1, 0x100}), {1, 0}},
        {"array of texts that are no numbers", VarArray(0, {Variant::FromAnsi("x")}), {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        s.Seek(3);
        s.SetAsVariant(c.value);
        EXPECT_EQ(s.Data(), c.content);
        EXPECT_EQ(s.Position(), 0);
        Variant v;
        EXPECT_EQ(s.LoadValue(v), !c.content.empty());
    }
}

TEST(StorageStream, RawReadWriteAndSeek) {
    TQelStorageStream s;
    s.Write("abcd", 4);
    EXPECT_EQ(s.Seek(1), 1);
    s.Write("XY", 2);  // overwrites in place
    EXPECT_EQ(s.Seek(0, SeekOrigin::End), 4);
    EXPECT_EQ(s.Seek(2, SeekOrigin::Current), 6);
    s.Write("Z", 1);  // past the end: the gap is filled with zeros
    EXPECT_EQ(s.Data(), (Bytes{'a', 'X', 'Y', 'd', 0, 0, 'Z'}));
    EXPECT_THROW(s.Seek(-1), std::out_of_range);

    char buf[8] = {};
    s.Seek(5);
    EXPECT_EQ(s.Read(buf, sizeof buf), 2u);
    EXPECT_EQ(s.Position(), 7);
    EXPECT_EQ(s.Read(buf, sizeof buf), 0u);
    s.Seek(100);
    EXPECT_EQ(s.Read(buf, sizeof buf), 0u);
    Variant v = Variant::FromInt32(1);
    EXPECT_FALSE(s.LoadValue(v));
    EXPECT_EQ(v, Variant::FromInt32(1));
}

namespace {
std::vector<std::string> g_traced;
std::int32_t NoteEnter(const void*, const char* method) {
    g_traced.emplace_back(method);
    return 0;
}
}  // namespace

TEST(StorageStream, BracketsItsMethodsForTracing) {
    g_traced.clear();
    SetTraceHooks(NoteEnter, nullptr);
    TQelStorageStream s;
    s.SaveValue(Variant::FromInt32(1));
    const Variant whole = s.GetAsVariant();
    s.SetAsVariant(whole);
    Variant v;
    s.LoadValue(v);
    SetTraceHooks(nullptr, nullptr);
    EXPECT_EQ(g_traced, (std::vector<std::string>{"TQelStorageStream.SaveValue", "TQelStorageStream.GetAsVariant",
                                                   "TQelStorageStream.SetAsVariant", "TQelStorageStream.LoadValue"}));
}
