#pragma once
// Process-wide number and date format settings: separators come from the process locale
// at start-up and can be replaced (tests, the ODBC decimal text path).

#include <cstdint>
#include <string>

namespace kubrix {

struct FormatSettings {
    char DecimalSeparator = '.';
    //! Empty for none; may be a multi-byte UTF-8 sequence (a no-break space, say).
    std::string ThousandSeparator;
    //! Written for "/" in date patterns and accepted when reading dates.
    char DateSeparator = '.';
    //! Written for ":" in time patterns.
    char TimeSeparator = ':';

    //! The settings in force for the process: read from the locale at first use, then
    //! changed only by assignment (tests, FormatSettingsScope).
    static FormatSettings& Current();
    //! Settings read from the environment's locale (LC_NUMERIC, LC_TIME), without changing
    //! the process locale that printf and strtod use.
    static FormatSettings FromLocale();
};

//! Replaces the current settings for one scope and puts them back on exit.
class FormatSettingsScope {
public:
    explicit FormatSettingsScope(const FormatSettings& replacement);
    ~FormatSettingsScope();
    FormatSettingsScope(const FormatSettingsScope&) = delete;
    FormatSettingsScope& operator=(const FormatSettingsScope&) = delete;

private:
    FormatSettings saved_;
};

//! The "%.2n" pattern: thousands separators and exactly two decimals, e.g. "1 234,50",
//! "-0,50"; rounds half away from zero on the value's 15-digit decimal form (1.005 -> "1,01").
std::string FormatNumber2(double value, const FormatSettings& fs = FormatSettings::Current());
//! General floating-point text with up to 15 significant digits and no trailing zeros,
//! e.g. "0,1", "-1234,5", "1E20", "1,5E-10": plain digits while the decimal exponent is
//! within -4..14 (0.0001 and 999999999999999 are plain, 0.00001 is "1E-5");
//! "NAN", "INF" and "-INF" for the non-finite values.
std::string FormatFloatGeneral(double value, const FormatSettings& fs = FormatSettings::Current());
//! The same with up to `significant` digits (1..17); 7 suits single-precision values.
std::string FormatFloatGeneral(double value, int significant, const FormatSettings& fs = FormatSettings::Current());
//! Exact text of a currency amount (scaled by 10 000): no trailing zeros, e.g. "12.5", "-0.0001".
std::string CurrencyToText(std::int64_t scaled, const FormatSettings& fs = FormatSettings::Current());
//! A currency amount (scaled by 10 000) by a number format: up to three sections split by
//! ";" (positive, negative without its sign, zero; an empty or missing one falls back to the
//! first, which then marks a negative amount with "-"); in a section "0" is a digit always
//! written, "#" a digit written when significant, the first "." the decimal separator, a ","
//! before it groups thousands, text in single or double quotes and any other character stand
//! as written before or after the number. Rounds half away from zero, exactly. An empty
//! format gives CurrencyToText.
std::string FormatCurrency(const std::string& format, std::int64_t scaled,
                           const FormatSettings& fs = FormatSettings::Current());
//! Parses a decimal number written with the settings' decimal separator (or "."),
//! optional sign, exponent and surrounding blanks. False when the text is no number.
bool TryParseNumber(const std::string& text, double& out, const FormatSettings& fs = FormatSettings::Current());
//! Parses an amount exactly into currency (scaled by 10 000), further decimals rounding
//! half away from zero; false for no number and for amounts that do not fit.
bool TryParseCurrency(const std::string& text, std::int64_t& scaled, const FormatSettings& fs = FormatSettings::Current());

}  // namespace kubrix
