#include "support/Bcd.h"

#include <algorithm>
#include <limits>

namespace kubrix {

namespace {

constexpr int kMaxPrecision = 64;  // 32 bytes, two digits each
constexpr std::uint8_t kNegative = 0x80;
constexpr std::uint8_t kScaleMask = 0x3F;

int Nibble(const std::uint8_t* digits, int k) {
    const std::uint8_t b = digits[k / 2];
    return k % 2 == 0 ? b >> 4 : b & 0x0F;
}

void SetNibble(std::uint8_t* digits, int k, int value) {
    std::uint8_t& b = digits[k / 2];
    if (k % 2 == 0) b = static_cast<std::uint8_t>((b & 0x0F) | (value << 4));
    else b = static_cast<std::uint8_t>((b & 0xF0) | value);
}

// Checks the layout: precision and scale in range, the spare bit clear, only the
// precision's nibbles used and each of them a decimal digit.
bool WellFormed(const std::uint8_t* bcd) {
    const int precision = bcd[0];
    const int scale = bcd[1] & kScaleMask;
    if (precision > kMaxPrecision || scale > precision || (bcd[1] & 0x40) != 0) return false;
    const std::uint8_t* digits = bcd + 2;
    for (int k = 0; k < kMaxPrecision; ++k) {
        const int d = Nibble(digits, k);
        if (k < precision ? d > 9 : d != 0) return false;
    }
    return true;
}

}  // namespace

bool TryCurrencyToBcd(Currency value, int precision, int decimals, TBcd& out) {
    if (precision < 1 || precision > kMaxPrecision || decimals < 0 || decimals > precision) return false;
    const bool negative = value.Scaled < 0;
    const std::uint64_t mag =
        negative ? 0 - static_cast<std::uint64_t>(value.Scaled) : static_cast<std::uint64_t>(value.Scaled);
    // The magnitude in units of 10^-decimals: fewer than four places round half away from zero.
    std::string digits;
    if (decimals < 4) {
        std::uint64_t divisor = 1;
        for (int k = decimals; k < 4; ++k) divisor *= 10;
        std::uint64_t q = mag / divisor;
        if ((mag % divisor) * 2 >= divisor) ++q;
        digits = std::to_string(q);
    } else {
        digits = std::to_string(mag) + std::string(static_cast<std::size_t>(decimals - 4), '0');
    }
    if (digits.size() > static_cast<std::size_t>(precision)) {
        // Leading zeros never count against the precision.
        const std::size_t first = digits.find_first_not_of('0');
        if (first == std::string::npos) digits = "0";
        else digits.erase(0, first);
        if (digits.size() > static_cast<std::size_t>(precision)) return false;
    }
    out.fill(0);
    out[0] = static_cast<std::uint8_t>(precision);
    const bool isZero = digits.find_first_not_of('0') == std::string::npos;
    out[1] = static_cast<std::uint8_t>(decimals | (negative && !isZero ? kNegative : 0));
    // Digits right-aligned within the precision, the most significant nibble first.
    const int offset = precision - static_cast<int>(digits.size());
    for (int k = 0; k < static_cast<int>(digits.size()); ++k) SetNibble(out.data() + 2, offset + k, digits[static_cast<std::size_t>(k)] - '0');
    return true;
}

TBcd CurrencyToBcd(Currency value, int precision, int decimals) {
    TBcd r{};
    if (!TryCurrencyToBcd(value, precision, decimals, r)) throw EBcdError(kMsgCurrencyToBcd);
    return r;
}

bool TryBcdToCurrency(const std::uint8_t* bcd, Currency& out) {
    if (!WellFormed(bcd)) return false;
    const int precision = bcd[0];
    const int scale = bcd[1] & kScaleMask;
    const std::uint8_t* digits = bcd + 2;
    // Integer part and up to four decimals, in units of 1/10000; further decimals round
    // half away from zero.
    const int used = precision - scale + std::min(scale, 4);
    unsigned __int128 mag = 0;
    for (int k = 0; k < used; ++k) {
        mag = mag * 10 + static_cast<unsigned>(Nibble(digits, k));
        if (mag > (static_cast<unsigned __int128>(1) << 64)) return false;
    }
    for (int k = scale; k < 4; ++k) mag *= 10;
    if (scale > 4 && Nibble(digits, used) >= 5) ++mag;
    const bool negative = (bcd[1] & kNegative) != 0;
    const unsigned __int128 limit =
        static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + (negative ? 1 : 0);
    if (mag > limit) return false;
    const auto m = static_cast<std::uint64_t>(mag);
    out.Scaled = negative ? static_cast<std::int64_t>(0 - m) : static_cast<std::int64_t>(m);
    return true;
}

Currency BcdToCurrency(const TBcd& value) {
    Currency r;
    if (!TryBcdToCurrency(value.data(), r)) throw EBcdError(kMsgBcdToCurrency);
    return r;
}

std::string BcdToText(const TBcd& value) {
    if (!WellFormed(value.data())) throw EBcdError(kMsgBcdToCurrency);
    const int precision = value[0];
    const int scale = value[1] & kScaleMask;
    const std::uint8_t* digits = value.data() + 2;
    std::string intPart, frac;
    for (int k = 0; k < precision - scale; ++k) {
        const char d = static_cast<char>('0' + Nibble(digits, k));
        if (!intPart.empty() || d != '0') intPart.push_back(d);
    }
    if (intPart.empty()) intPart = "0";
    for (int k = precision - scale; k < precision; ++k) frac.push_back(static_cast<char>('0' + Nibble(digits, k)));
    const bool isZero = intPart == "0" && frac.find_first_not_of('0') == std::string::npos;
    std::string r = (value[1] & kNegative) && !isZero ? "-" : "";
    r += intPart;
    if (!frac.empty()) r += "." + frac;
    return r;
}

}  // namespace kubrix

namespace kubrix {

namespace {

// Digits of a packed decimal split at the decimal point, leading integer zeros and
// trailing fraction zeros dropped; nibbles above 9 are kept as they are.
struct BcdDigits {
    bool negative = false;
    std::string integer;
    std::string fraction;
};

BcdDigits SplitBcd(const std::uint8_t* bcd) {
    BcdDigits out;
    const int precision = std::min<int>(bcd[0], kMaxPrecision);
    const int scale = std::min<int>(bcd[1] & kScaleMask, precision);
    const std::uint8_t* digits = bcd + 2;
    for (int k = 0; k < precision; ++k) {
        const char d = static_cast<char>('0' + Nibble(digits, k));
        if (k < precision - scale) {
            if (!(out.integer.empty() && d == '0')) out.integer += d;
        } else {
            out.fraction += d;
        }
    }
    while (!out.fraction.empty() && out.fraction.back() == '0') out.fraction.pop_back();
    out.negative = (bcd[1] & kNegative) != 0 && !(out.integer.empty() && out.fraction.empty());
    return out;
}

int CompareMagnitude(const BcdDigits& a, const BcdDigits& b) {
    if (a.integer.size() != b.integer.size()) return a.integer.size() < b.integer.size() ? -1 : 1;
    if (int c = a.integer.compare(b.integer)) return c < 0 ? -1 : 1;
    // Fractions without trailing zeros: plain text order is numeric order.
    if (int c = a.fraction.compare(b.fraction)) return c < 0 ? -1 : 1;
    return 0;
}

}  // namespace

int BcdCompare(const std::uint8_t* a34, const std::uint8_t* b34) {
    const BcdDigits a = SplitBcd(a34);
    const BcdDigits b = SplitBcd(b34);
    if (a.negative != b.negative) return a.negative ? -1 : 1;
    const int m = CompareMagnitude(a, b);
    return a.negative ? -m : m;
}

}  // namespace kubrix
