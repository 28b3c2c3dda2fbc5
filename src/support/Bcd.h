#pragma once
// The 34-byte packed decimal of the dataset: precision byte, sign-and-scale byte
// (bit 7 negative, bits 0..5 decimal places), 32 bytes of digits two per byte, high nibble first.

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

//! Currency to packed decimal with the given precision and decimal places;
//! raises EBcdError(kMsgCurrencyToBcd) when it does not fit.
TBcd CurrencyToBcd(Currency value, int precision = 32, int decimals = 4);
//! False instead of raising.
bool TryCurrencyToBcd(Currency value, int precision, int decimals, TBcd& out);
//! Packed decimal to currency; raises EBcdError(kMsgBcdToCurrency) when malformed or too large.
Currency BcdToCurrency(const TBcd& value);
bool TryBcdToCurrency(const std::uint8_t* bcd34, Currency& out);
//! Plain decimal text of a packed decimal ("-12.5000" keeps its scale).
std::string BcdToText(const TBcd& value);

}  // namespace kubrix
