#include "support/StorageStream.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <stdexcept>
#include <string>

#include "support/CursorStack.h"

namespace kubrix {

namespace {

// Little-endian encoding of unsigned values of 1, 2, 4 or 8 bytes.
template <typename T>
void PutLE(std::uint8_t* out, T value) {
    auto u = static_cast<std::uint64_t>(value);
    for (std::size_t i = 0; i < sizeof(T); ++i, u >>= 8) out[i] = static_cast<std::uint8_t>(u);
}

template <typename T>
T GetLE(const std::uint8_t* in) {
    std::uint64_t u = 0;
    for (std::size_t i = sizeof(T); i-- > 0;) u = (u << 8) | in[i];
    return static_cast<T>(u);
}

// The single form of a double held by a single-precision value; out-of-range magnitudes
// become infinities instead of an undefined narrowing.
std::uint32_t FloatBits(double d) {
    float f;
    if (d > static_cast<double>(std::numeric_limits<float>::max())) f = std::numeric_limits<float>::infinity();
    else if (d < -static_cast<double>(std::numeric_limits<float>::max())) f = -std::numeric_limits<float>::infinity();
    else f = static_cast<float>(d);
    std::uint32_t u;
    std::memcpy(&u, &f, sizeof u);
    return u;
}

std::uint64_t DoubleBits(double d) {
    std::uint64_t u;
    std::memcpy(&u, &d, sizeof u);
    return u;
}

float BitsFloat(std::uint32_t u) {
    float f;
    std::memcpy(&f, &u, sizeof f);
    return f;
}

double BitsDouble(std::uint64_t u) {
    double d;
    std::memcpy(&d, &u, sizeof d);
    return d;
}

// Element kinds an array may declare: those whose values read back, plus Variant.
bool IsStorableElementType(VarType t) {
    switch (t) {
    case VT_EMPTY: case VT_NULL: case VT_I2: case VT_I4: case VT_R4: case VT_R8: case VT_CY: case VT_DATE:
    case VT_BSTR: case VT_BOOL: case VT_VARIANT: case VT_I1: case VT_UI1: case VT_UI2: case VT_UI4:
    case VT_I8: case VT_STRING:
        return true;
    default:
        return false;
    }
}

// The smallest tagged value is its 2-byte code: a stored element count can be checked
// against the bytes that remain before anything is built for it.
constexpr std::size_t kMinValueBytes = 2;

std::int32_t ClampLength(std::size_t n) {
    return static_cast<std::int32_t>(std::min<std::size_t>(n, std::numeric_limits<std::int32_t>::max()));
}

}  // namespace

// ---- raw bytes ----

std::size_t TQelStorageStream::Remaining() const {
    const auto size = static_cast<std::int64_t>(data_.size());
    return position_ < size ? static_cast<std::size_t>(size - position_) : 0;
}

std::size_t TQelStorageStream::Read(void* buffer, std::size_t count) {
    const std::size_t n = std::min(count, Remaining());
    if (n) std::memcpy(buffer, data_.data() + position_, n);
    position_ += static_cast<std::int64_t>(n);
    return n;
}

void TQelStorageStream::Write(const void* data, std::size_t count) {
    if (!count) return;
    const auto end = static_cast<std::size_t>(position_) + count;
    if (end > data_.size()) data_.resize(end);
    std::memcpy(data_.data() + position_, data, count);
    position_ = static_cast<std::int64_t>(end);
}

bool TQelStorageStream::Take(void* buffer, std::size_t count) {
    if (Remaining() < count) {
        // A short payload: what remains is consumed, as a plain read would.
        position_ = std::max<std::int64_t>(position_, Size());
        return false;
    }
    Read(buffer, count);
    return true;
}

std::int64_t TQelStorageStream::Seek(std::int64_t offset, SeekOrigin origin) {
    std::int64_t base = 0;
    if (origin == SeekOrigin::Current) base = position_;
    else if (origin == SeekOrigin::End) base = Size();
    const std::int64_t target = base + offset;
    if (target < 0) throw std::out_of_range("Stream position before the start");
    position_ = target;
    return position_;
}

void TQelStorageStream::Clear() {
    data_.clear();
    data_.shrink_to_fit();
    position_ = 0;
}

// ---- whole content ----

Variant TQelStorageStream::GetAsVariant() const {
    TraceScope trace(this, "TQelStorageStream.GetAsVariant");
    if (data_.empty()) return Variant();
    return Variant::FromBytes(data_);
}

void TQelStorageStream::SetAsVariant(const Variant& v) {
    TraceScope trace(this, "TQelStorageStream.SetAsVariant");
    Clear();
    if (v.IsByteArray()) {
        data_ = v.Bytes();
    } else if (v.IsArray()) {
        // Not what GetAsVariant gives, but its elements still name bytes; a stream that
        // cannot be made from them stays empty.
        try {
            data_.reserve(static_cast<std::size_t>(v.ElementCount()));
            for (std::int64_t i = v.LowBound(); i <= v.HighBound(); ++i)
                data_.push_back(static_cast<std::uint8_t>(v.GetElement(static_cast<std::int32_t>(i)).ToInt64()));
        } catch (const EVariantError&) {
            data_.clear();
        }
    }
}

// ---- writing ----

void TQelStorageStream::SaveValue(const Variant& v) {
    TraceScope trace(this, "TQelStorageStream.SaveValue");
    WriteValue(v);
}

void TQelStorageStream::WriteValue(const Variant& v) {
    const VarType code = v.Type();
    std::uint8_t b[8];
    auto put = [&](auto value) {
        PutLE(b, value);
        Write(b, sizeof value);
    };
    put(static_cast<std::uint16_t>(code));
    switch (code) {
    case VT_EMPTY: case VT_NULL: return;
    case VT_I2: put(static_cast<std::uint16_t>(v.RawInt())); return;
    case VT_I4: put(static_cast<std::uint32_t>(v.RawInt())); return;
    case VT_R4: put(FloatBits(v.RawDouble())); return;
    case VT_R8: case VT_DATE: put(DoubleBits(v.RawDouble())); return;
    case VT_CY: case VT_I8: put(static_cast<std::uint64_t>(v.RawInt())); return;
    case VT_BOOL: put(static_cast<std::uint16_t>(v.RawInt())); return;  // 0xFFFF for true, as held
    case VT_I1: case VT_UI1: put(static_cast<std::uint8_t>(v.RawInt())); return;
    case VT_UI2: put(static_cast<std::uint16_t>(v.RawInt())); return;
    case VT_UI4: put(static_cast<std::uint32_t>(v.RawInt())); return;
    case VT_BSTR: {
        // Stored up to the first NUL unit: readers of this form stop there.
        const std::u16string& s = v.RawWide();
        const std::int32_t n = ClampLength(std::min(s.find(u'\0'), s.size()));
        put(static_cast<std::uint32_t>(n));
        std::vector<std::uint8_t> units(static_cast<std::size_t>(n) * 2);
        for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) PutLE(&units[2 * i], static_cast<std::uint16_t>(s[i]));
        Write(units.data(), units.size());
        return;
    }
    case VT_STRING: {
        const std::string& s = v.RawAnsi();
        const std::int32_t n = ClampLength(std::min(s.find('\0'), s.size()));
        put(static_cast<std::uint32_t>(n));
        Write(s.data(), static_cast<std::size_t>(n));
        return;
    }
    case VT_ARRAY | VT_UI1: {
        // No low bound is stored: the elements go out from the first one and read back
        // with bounds 0..count-1.
        const std::vector<std::uint8_t>& bytes = v.Bytes();
        put(static_cast<std::uint32_t>(ClampLength(bytes.size()) - 1));
        Write(bytes.data(), static_cast<std::size_t>(ClampLength(bytes.size())));
        return;
    }
    default:
        break;
    }
    if (code & VT_ARRAY) {
        const std::int32_t low = v.LowBound(), high = v.HighBound();
        put(static_cast<std::uint32_t>(high));
        put(static_cast<std::uint32_t>(low));
        for (std::int64_t i = low; i <= high; ++i) WriteValue(v.GetElement(static_cast<std::int32_t>(i)));
    }
    // Any other kind has no payload form: the code alone is written.
}

// ---- reading ----

bool TQelStorageStream::LoadValue(Variant& v) {
    TraceScope trace(this, "TQelStorageStream.LoadValue");
    switch (ReadValue(v, 0)) {
    case ReadOutcome::Ok:
        return true;
    case ReadOutcome::UnreadableCode:
        // Only the code was consumed: the next value can still be read.
        return false;
    case ReadOutcome::Broken:
    default:
        // Nothing after a malformed payload can be trusted to start a value.
        position_ = std::max<std::int64_t>(position_, Size());
        return false;
    }
}

TQelStorageStream::ReadOutcome TQelStorageStream::ReadValue(Variant& v, int depth) {
    std::uint8_t b[8];
    if (!Take(b, 2)) return ReadOutcome::Broken;
    const VarType code = GetLE<std::uint16_t>(b);

    switch (code) {
    case VT_EMPTY: v = Variant(); return ReadOutcome::Ok;
    case VT_NULL: v = Variant::Null(); return ReadOutcome::Ok;
    case VT_I2:
        if (!Take(b, 2)) return ReadOutcome::Broken;
        v = Variant::FromInt16(GetLE<std::int16_t>(b));
        return ReadOutcome::Ok;
    case VT_I4:
        if (!Take(b, 4)) return ReadOutcome::Broken;
        v = Variant::FromInt32(GetLE<std::int32_t>(b));
        return ReadOutcome::Ok;
    case VT_R4:
        // A single reads back widened to a double of the same value.
        if (!Take(b, 4)) return ReadOutcome::Broken;
        v = Variant::FromDouble(BitsFloat(GetLE<std::uint32_t>(b)));
        return ReadOutcome::Ok;
    case VT_R8:
        if (!Take(b, 8)) return ReadOutcome::Broken;
        v = Variant::FromDouble(BitsDouble(GetLE<std::uint64_t>(b)));
        return ReadOutcome::Ok;
    case VT_CY:
        if (!Take(b, 8)) return ReadOutcome::Broken;
        v = Variant::FromCurrency(Currency{GetLE<std::int64_t>(b)});
        return ReadOutcome::Ok;
    case VT_DATE:
        if (!Take(b, 8)) return ReadOutcome::Broken;
        v = Variant::FromDate(BitsDouble(GetLE<std::uint64_t>(b)));
        return ReadOutcome::Ok;
    case VT_BOOL:
        if (!Take(b, 2)) return ReadOutcome::Broken;
        v = Variant::FromBool(GetLE<std::uint16_t>(b) != 0);
        return ReadOutcome::Ok;
    case VT_I1:
        if (!Take(b, 1)) return ReadOutcome::Broken;
        v = Variant::FromInt8(static_cast<std::int8_t>(b[0]));
        return ReadOutcome::Ok;
    case VT_UI1:
        if (!Take(b, 1)) return ReadOutcome::Broken;
        v = Variant::FromUInt8(b[0]);
        return ReadOutcome::Ok;
    case VT_UI2:
        if (!Take(b, 2)) return ReadOutcome::Broken;
        v = Variant::FromUInt16(GetLE<std::uint16_t>(b));
        return ReadOutcome::Ok;
    case VT_UI4:
        if (!Take(b, 4)) return ReadOutcome::Broken;
        v = Variant::FromUInt32(GetLE<std::uint32_t>(b));
        return ReadOutcome::Ok;
    case VT_I8:
        if (!Take(b, 8)) return ReadOutcome::Broken;
        v = Variant::FromInt64(GetLE<std::int64_t>(b));
        return ReadOutcome::Ok;
    case VT_BSTR:
    case VT_STRING: {
        if (!Take(b, 4)) return ReadOutcome::Broken;
        const std::int32_t length = GetLE<std::int32_t>(b);
        const std::size_t unit = code == VT_BSTR ? 2 : 1;
        // The length is checked against the bytes present before anything is allocated.
        if (length < 0 || static_cast<std::uint64_t>(length) * unit > Remaining()) return ReadOutcome::Broken;
        const auto n = static_cast<std::size_t>(length);
        if (code == VT_STRING) {
            std::string s(n, '\0');
            Read(s.data(), n);
            v = Variant::FromAnsi(std::move(s));
        } else {
            std::u16string s(n, u'\0');
            const std::uint8_t* p = data_.data() + position_;
            for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char16_t>(GetLE<std::uint16_t>(p + 2 * i));
            position_ += static_cast<std::int64_t>(2 * n);
            v = Variant::FromWide(std::move(s));
        }
        return ReadOutcome::Ok;
    }
    case VT_ARRAY | VT_UI1: {
        if (!Take(b, 4)) return ReadOutcome::Broken;
        const std::int64_t count = static_cast<std::int64_t>(GetLE<std::int32_t>(b)) + 1;
        if (count < 0 || static_cast<std::uint64_t>(count) > Remaining()) return ReadOutcome::Broken;
        const std::uint8_t* p = data_.data() + position_;
        Variant bytes = Variant::FromBytes(p, static_cast<std::size_t>(count));
        position_ += count;
        v = std::move(bytes);
        return ReadOutcome::Ok;
    }
    default:
        break;
    }

    if (!(code & VT_ARRAY)) return ReadOutcome::UnreadableCode;

    if (!Take(b, 8)) return ReadOutcome::Broken;
    const std::int32_t high = GetLE<std::int32_t>(b);
    const std::int32_t low = GetLE<std::int32_t>(b + 4);
    const auto elementType = static_cast<VarType>(code & ~VT_ARRAY);
    const std::int64_t count = static_cast<std::int64_t>(high) - low + 1;
    if (depth >= MaxNesting || !IsStorableElementType(elementType) || count < 0 ||
        static_cast<std::uint64_t>(count) * kMinValueBytes > Remaining())
        return ReadOutcome::Broken;

    // Elements are gathered as they are read, so memory follows the bytes actually present
    // rather than the stored bounds.
    std::vector<Variant> items;
    for (std::int64_t i = 0; i < count; ++i) {
        Variant item;
        if (ReadValue(item, depth + 1) != ReadOutcome::Ok) return ReadOutcome::Broken;
        items.push_back(std::move(item));
    }
    try {
        Variant array = Variant::MakeArray(elementType, low, high);
        for (std::int64_t i = 0; i < count; ++i)
            array.PutElement(static_cast<std::int32_t>(low + i), items[static_cast<std::size_t>(i)]);
        v = std::move(array);
    } catch (const EVariantError&) {
        // An element that does not convert to the array's element type.
        return ReadOutcome::Broken;
    }
    return ReadOutcome::Ok;
}

}  // namespace kubrix
