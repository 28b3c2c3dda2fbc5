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
    char DateSeparator = '.';
    char TimeSeparator = ':';

    //! The settings in force for the process.
    static FormatSettings& Current();
    //! Settings read from the process locale (LC_NUMERIC), as at start-up.
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

//! The "%.2n" pattern: thousands separators and exactly two decimals, e.g. "1 234,50".
std::string FormatNumber2(double value, const FormatSettings& fs = FormatSettings::Current());
//! General floating-point text with up to 15 significant digits, e.g. "0,1", "1E20".
std::string FormatFloatGeneral(double value, const FormatSettings& fs = FormatSettings::Current());
//! Exact text of a currency amount (scaled by 10 000): no trailing zeros, e.g. "12.5", "-0.0001".
std::string CurrencyToText(std::int64_t scaled, const FormatSettings& fs = FormatSettings::Current());
//! Parses a decimal number written with the settings' decimal separator (or "."),
//! optional sign, exponent and surrounding blanks. False when the text is no number.
bool TryParseNumber(const std::string& text, double& out, const FormatSettings& fs = FormatSettings::Current());
//! Parses an exact amount with up to 4 decimals into currency (rounding further decimals).
bool TryParseCurrency(const std::string& text, std::int64_t& scaled, const FormatSettings& fs = FormatSettings::Current());

}  // namespace kubrix
