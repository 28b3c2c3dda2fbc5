#pragma once
// The 34-byte packed decimal of the dataset:
//   byte 0      precision p, the number of digits (0..64; 0 holds zero);
//   byte 1      bit 7 set for a negative value, bit 6 clear, bits 0..5 the scale s (<= p);
//   bytes 2..33 64 digit nibbles, the high nibble of each byte first. The value is written
//               as exactly p digits (leading zeros included) in nibbles 0..p-1, the last s
//               of them after the decimal point; the nibbles after the p-th are zero.
// So 12.5 with precision 5 and scale 2 is 05 02 01 25 00 ... ("01250").

#include <array>
#include <cstdint>
#include <stdexcept>
#include <string>

#include "support/Variant.h"

namespace kubrix {

using TBcd = std::array<std::uint8_t, 34>;

inline constexpr const char* kMsgCurrencyToBcd = "Ошибка перевода числа в формат BCD";
inline constexpr const char* kMsgBcdToCurrency = "Ошибка перевода числа из формата BCD в Currency";

//! A conversion between currency and packed decimal that cannot be made.
class EBcdError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

//! Currency to packed decimal with the given precision (1..64) and decimal places
//! (0..precision); fewer than four places round half away from zero, and zero is never
//! negative. Raises EBcdError(kMsgCurrencyToBcd) when the integer digits do not fit or
//! the layout is impossible.
TBcd CurrencyToBcd(Currency value, int precision = 32, int decimals = 4);
//! False instead of raising.
bool TryCurrencyToBcd(Currency value, int precision, int decimals, TBcd& out);
//! Packed decimal to currency, digits past the fourth decimal rounding half away from
//! zero; raises EBcdError(kMsgBcdToCurrency) when malformed (a nibble above 9, scale above
//! precision, precision above 64, stray bits) or beyond the currency range.
Currency BcdToCurrency(const TBcd& value);
//! The same on 34 bytes in a record buffer; false (out unchanged) instead of raising.
bool TryBcdToCurrency(const std::uint8_t* bcd34, Currency& out);
//! Plain decimal text of a packed decimal with "." ("-12.5000" keeps its scale), for any
//! well-formed value; malformed input raises EBcdError(kMsgBcdToCurrency).
std::string BcdToText(const TBcd& value);
//! Numeric order of two packed decimals in a record (34 bytes each): -1, 0 or 1. Never
//! raises: a malformed value is read digit by digit as far as its layout allows, so that
//! sorting stays a total order whatever the bytes hold. Negative zero equals zero.
int BcdCompare(const std::uint8_t* a34, const std::uint8_t* b34);

}  // namespace kubrix
