#include <gtest/gtest.h>

#include <limits>

#include "support/Bcd.h"

namespace kubrix {
namespace {

// Builds a packed decimal from a digit string of exactly `precision` digits.
TBcd Make(int precision, int scale, bool negative, const std::string& digits) {
    TBcd b{};
    b[0] = static_cast<std::uint8_t>(precision);
    b[1] = static_cast<std::uint8_t>(scale | (negative ? 0x80 : 0));
    for (std::size_t k = 0; k < digits.size(); ++k) {
        const int d = digits[k] - '0';
        b[2 + k / 2] |= static_cast<std::uint8_t>(k % 2 == 0 ? d << 4 : d);
    }
    return b;
}

constexpr std::int64_t kMax = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();

// The byte layout: digits right-aligned within the precision, most significant nibble first.
TEST(Bcd, LayoutOfCurrencyValues) {
    const struct { const char* name; std::int64_t scaled; int precision; int decimals; TBcd bytes; } cases[] = {
        {"12.5 in 32/4", 125000, 32, 4, Make(32, 4, false, "00000000000000000000000000125000")},
        {"-12.5 in 32/4", -125000, 32, 4, Make(32, 4, true, "00000000000000000000000000125000")},
        {"12.5 in 5/2", 125000, 5, 2, Make(5, 2, false, "01250")},
        {"odd precision", 10000, 3, 0, Make(3, 0, false, "001")},
        {"zero has no sign", 0, 4, 2, Make(4, 2, false, "0000")},
        {"value rounding to zero has no sign", -40, 4, 2, Make(4, 2, false, "0000")},
        {"fewer decimals round half away from zero", -125050, 6, 2, Make(6, 2, true, "001251")},
        {"more decimals pad with zeros", 125000, 8, 6, Make(8, 6, false, "12500000")},
        {"largest currency", kMax, 19, 4, Make(19, 4, false, "9223372036854775807")},
        {"smallest currency", kMin, 19, 4, Make(19, 4, true, "9223372036854775808")},
        {"widest layout", 1, 64, 63, Make(64, 63, false, "0000100000000000000000000000000000000000000000000000000000000000")},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const TBcd b = CurrencyToBcd(Currency{c.scaled}, c.precision, c.decimals);
        EXPECT_EQ(b, c.bytes);
    }
}

TEST(Bcd, RoundTripsThroughCurrency) {
    const std::int64_t values[] = {0, 1, -1, 125000, -125000, 99990000, 1234567890123, kMax, kMin};
    for (const std::int64_t v : values) {
        SCOPED_TRACE(v);
        EXPECT_EQ(BcdToCurrency(CurrencyToBcd(Currency{v})).Scaled, v);
        EXPECT_EQ(BcdToCurrency(CurrencyToBcd(Currency{v}, 19, 4)).Scaled, v);
    }
}

TEST(Bcd, CurrencyThatDoesNotFitRaises) {
    const struct { const char* name; std::int64_t scaled; int precision; int decimals; } cases[] = {
        {"integer digits beyond precision", 1000000, 4, 2},
        {"rounding adds a digit", 99995000, 4, 0},  // 9999.5 -> 10000
        {"largest into 18 digits", kMax, 18, 4},
        {"zero precision", 0, 0, 0},
        {"precision above 64", 0, 65, 0},
        {"decimals above precision", 0, 4, 5},
        {"negative decimals", 0, 4, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            CurrencyToBcd(Currency{c.scaled}, c.precision, c.decimals);
            ADD_FAILURE() << "no error";
        } catch (const EBcdError& e) {
            EXPECT_STREQ(e.what(), "Ошибка перевода числа в формат BCD");
        }
        TBcd out{};
        EXPECT_FALSE(TryCurrencyToBcd(Currency{c.scaled}, c.precision, c.decimals, out));
    }
}

TEST(Bcd, ReadsForeignLayouts) {
    const struct { const char* name; TBcd bcd; std::int64_t scaled; const char* text; } cases[] = {
        {"six decimals round half away from zero", Make(8, 6, false, "12345650"), 123457, "12.345650"},
        {"six decimals negative", Make(8, 6, true, "12345650"), -123457, "-12.345650"},
        {"no decimals", Make(3, 0, false, "042"), 420000, "42"},
        {"all decimals", Make(2, 2, false, "05"), 500, "0.05"},
        {"zero precision is zero", Make(0, 0, false, ""), 0, "0"},
        {"negative zero", Make(2, 0, true, "00"), 0, "0"},
        {"leading zeros beyond currency digits", Make(40, 4, false, "0000000000000000000000000000000000125000"), 125000,
         "12.5000"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(BcdToCurrency(c.bcd).Scaled, c.scaled);
        EXPECT_EQ(BcdToText(c.bcd), c.text);
    }
}

TEST(Bcd, MalformedOrTooLargeRaises) {
    auto nibbleTen = Make(4, 0, false, "0012");
    nibbleTen[2] = 0xA0;
    auto digitBeyondPrecision = Make(3, 0, false, "001");
    digitBeyondPrecision[3] = 0x01;  // nibble 3 while precision is 3
    auto spareBit = Make(3, 0, false, "001");
    spareBit[1] |= 0x40;
    const struct { const char* name; TBcd bcd; } cases[] = {
        {"nibble above 9", nibbleTen},
        {"scale above precision", Make(2, 3, false, "12")},
        {"precision above 64", Make(65, 0, false, "")},
        {"digit beyond the precision", digitBeyondPrecision},
        {"spare bit set", spareBit},
        {"one past the largest currency", Make(19, 4, false, "9223372036854775808")},
        {"one past the smallest currency", Make(19, 4, true, "9223372036854775809")},
        {"twenty integer digits", Make(20, 0, false, "12345678901234567890")},
        {"sixty four nines", Make(64, 0, false, std::string(64, '9'))},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            BcdToCurrency(c.bcd);
            ADD_FAILURE() << "no error";
        } catch (const EBcdError& e) {
            EXPECT_STREQ(e.what(), "Ошибка перевода числа из формата BCD в Currency");
        }
        Currency out{77};
        EXPECT_FALSE(TryBcdToCurrency(c.bcd.data(), out));
        EXPECT_EQ(out.Scaled, 77);
    }
    // Text needs only a well-formed layout, not a currency-sized value.
    EXPECT_EQ(BcdToText(Make(20, 0, false, "12345678901234567890")), "12345678901234567890");
    EXPECT_THROW(BcdToText(nibbleTen), EBcdError);
}

}  // namespace
}  // namespace kubrix
