#include "support/FormatSettings.h"

#include <langinfo.h>
#include <locale.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <vector>

namespace kubrix {

namespace {

// First separator character in a date or time pattern such as "%d.%m.%Y" or "%H:%M:%S".
char PatternSeparator(const char* pattern, char fallback) {
    if (!pattern) return fallback;
    for (const char* p = pattern; *p; ++p) {
        if (*p == '%') {
            if (p[1] == '\0') break;
            ++p;
            continue;
        }
        const auto c = static_cast<unsigned char>(*p);
        if (c < 0x80 && c != ' ' && !std::isalnum(c)) return *p;
    }
    return fallback;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v'; }

struct ParsedDecimal {
    bool Negative = false;
    std::string Digits;     // significant digits, no leading zeros
    std::int64_t Point = 0; // value = 0.Digits * 10^Point
};

// Sign, digits with one decimal separator (the settings' or "."), optional exponent;
// blanks around the whole. False when the text is no number.
bool ParseDecimal(const std::string& text, const FormatSettings& fs, ParsedDecimal& out) {
    std::size_t i = 0, n = text.size();
    while (i < n && IsBlank(text[i])) ++i;
    while (n > i && IsBlank(text[n - 1])) --n;
    if (i == n) return false;
    out = ParsedDecimal{};
    if (text[i] == '+' || text[i] == '-') {
        out.Negative = text[i] == '-';
        ++i;
    }
    bool anyDigit = false, seenPoint = false;
    std::int64_t intDigits = 0;  // digits kept before the point
    for (; i < n; ++i) {
        const char c = text[i];
        if (c >= '0' && c <= '9') {
            anyDigit = true;
            if (out.Digits.empty() && c == '0') {
                if (seenPoint) --out.Point;  // leading zero after the point shifts the value down
                continue;
            }
            // Digits past what a double or currency can use only matter for their magnitude.
            if (out.Digits.size() < 40) out.Digits.push_back(c);
            if (!seenPoint) ++intDigits;
        } else if (!seenPoint && (c == fs.DecimalSeparator || c == '.')) {
            seenPoint = true;
        } else {
            break;
        }
    }
    if (!anyDigit) return false;
    std::int64_t exponent = 0;
    if (i < n && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        bool negExp = false;
        if (i < n && (text[i] == '+' || text[i] == '-')) {
            negExp = text[i] == '-';
            ++i;
        }
        if (i == n || text[i] < '0' || text[i] > '9') return false;
        for (; i < n && text[i] >= '0' && text[i] <= '9'; ++i)
            if (exponent < 100000) exponent = exponent * 10 + (text[i] - '0');
        if (negExp) exponent = -exponent;
    }
    if (i != n) return false;
    out.Point += intDigits + exponent;
    return true;
}

// Decimal digits of |value| rounded to `significant` digits: value = 0.digits * 10^point.
void DecimalDigits(double value, int significant, std::string& digits, int& point) {
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, std::fabs(value), std::chars_format::scientific,
                                 significant - 1);
    const std::string s(buf, r.ptr);
    const std::size_t e = s.find('e');
    digits.clear();
    for (std::size_t k = 0; k < e; ++k)
        if (s[k] >= '0' && s[k] <= '9') digits.push_back(s[k]);
    point = std::atoi(s.c_str() + e + 1) + 1;
    while (digits.size() > 1 && digits.back() == '0') digits.pop_back();
    if (digits == "0") point = 1;
}

// Rounds decimal digits (value = 0.digits * 10^point) to `decimals` places, half away from zero.
void RoundDigits(std::string& digits, int& point, int decimals) {
    const long keep = static_cast<long>(point) + decimals;
    if (keep < 0) {
        digits = "0";
        point = 1;
        return;
    }
    if (static_cast<std::size_t>(keep) >= digits.size()) return;
    const bool up = digits[static_cast<std::size_t>(keep)] >= '5';
    digits.resize(static_cast<std::size_t>(keep));
    if (up) {
        std::size_t k = digits.size();
        while (k > 0 && digits[k - 1] == '9') digits[--k] = '0';
        if (k == 0) {
            digits.insert(digits.begin(), '1');
            ++point;
        } else {
            ++digits[k - 1];
        }
    }
    while (!digits.empty() && digits.back() == '0') digits.pop_back();
    if (digits.empty()) {
        digits = "0";
        point = 1;
    }
}

std::string GroupThousands(const std::string& intPart, const std::string& sep) {
    if (sep.empty()) return intPart;
    std::string r;
    const std::size_t n = intPart.size();
    for (std::size_t k = 0; k < n; ++k) {
        if (k > 0 && (n - k) % 3 == 0) r += sep;
        r.push_back(intPart[k]);
    }
    return r;
}

std::string NonFinite(double value) {
    if (std::isnan(value)) return "NAN";
    return value < 0 ? "-INF" : "INF";
}

}  // namespace

FormatSettings& FormatSettings::Current() {
    static FormatSettings current = FromLocale();
    return current;
}

FormatSettings FormatSettings::FromLocale() {
    FormatSettings fs;
    // A private locale object: the process-wide C locale (and so printf and strtod) stays as it is.
    locale_t loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) loc = newlocale(LC_NUMERIC_MASK | LC_TIME_MASK, "C", static_cast<locale_t>(0));
    if (loc == static_cast<locale_t>(0)) return fs;
    const char* radix = nl_langinfo_l(RADIXCHAR, loc);
    if (radix && radix[0] && radix[1] == '\0') fs.DecimalSeparator = radix[0];
    const char* thousands = nl_langinfo_l(THOUSEP, loc);
    fs.ThousandSeparator = thousands ? thousands : "";
    if (fs.ThousandSeparator.size() == 1 && fs.ThousandSeparator[0] == fs.DecimalSeparator) fs.ThousandSeparator.clear();
    fs.DateSeparator = PatternSeparator(nl_langinfo_l(D_FMT, loc), '.');
    fs.TimeSeparator = PatternSeparator(nl_langinfo_l(T_FMT, loc), ':');
    freelocale(loc);
    return fs;
}

FormatSettingsScope::FormatSettingsScope(const FormatSettings& replacement) : saved_(FormatSettings::Current()) {
    FormatSettings::Current() = replacement;
}

FormatSettingsScope::~FormatSettingsScope() { FormatSettings::Current() = saved_; }

std::string FormatNumber2(double value, const FormatSettings& fs) {
    if (!std::isfinite(value)) return NonFinite(value);
    std::string digits;
    int point = 0;
    // Round on the value's 15-digit decimal form, so 1.005 gives 1.01 as written.
    DecimalDigits(value, 15, digits, point);
    RoundDigits(digits, point, 2);
    const bool negative = value < 0 && digits != "0";
    std::string intPart, frac;
    if (point <= 0) {
        intPart = "0";
        frac = std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        intPart = digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        intPart = digits.substr(0, static_cast<std::size_t>(point));
        frac = digits.substr(static_cast<std::size_t>(point));
    }
    frac.resize(2, '0');
    std::string r = negative ? "-" : "";
    r += GroupThousands(intPart, fs.ThousandSeparator);
    r.push_back(fs.DecimalSeparator);
    r += frac;
    return r;
}

std::string FormatFloatGeneral(double value, const FormatSettings& fs) { return FormatFloatGeneral(value, 15, fs); }

std::string FormatFloatGeneral(double value, int significant, const FormatSettings& fs) {
    if (!std::isfinite(value)) return NonFinite(value);
    if (value == 0) return "0";
    significant = std::clamp(significant, 1, 17);
    std::string digits;
    int point = 0;
    DecimalDigits(value, significant, digits, point);
    std::string r = value < 0 ? "-" : "";
    const int exponent = point - 1;  // value = d.ddd * 10^exponent
    if (exponent >= significant || exponent < -4) {
        r.push_back(digits[0]);
        if (digits.size() > 1) {
            r.push_back(fs.DecimalSeparator);
            r.append(digits, 1, std::string::npos);
        }
        r += "E" + std::to_string(exponent);
    } else if (point <= 0) {
        r += "0";
        r.push_back(fs.DecimalSeparator);
        r += std::string(static_cast<std::size_t>(-point), '0') + digits;
    } else if (static_cast<std::size_t>(point) >= digits.size()) {
        r += digits + std::string(static_cast<std::size_t>(point) - digits.size(), '0');
    } else {
        r += digits.substr(0, static_cast<std::size_t>(point));
        r.push_back(fs.DecimalSeparator);
        r += digits.substr(static_cast<std::size_t>(point));
    }
    return r;
}

std::string CurrencyToText(std::int64_t scaled, const FormatSettings& fs) {
    const bool negative = scaled < 0;
    // Magnitude in unsigned arithmetic: the most negative amount has no positive twin.
    const std::uint64_t mag = negative ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    std::string r = negative ? "-" : "";
    r += std::to_string(mag / 10000);
    std::uint64_t frac = mag % 10000;
    if (frac) {
        std::string f = std::to_string(frac);
        f.insert(f.begin(), 4 - f.size(), '0');
        while (f.back() == '0') f.pop_back();
        r.push_back(fs.DecimalSeparator);
        r += f;
    }
    return r;
}

namespace {

// One section of a number format, read once.
struct TNumberPattern {
    std::string Before, After;  // literal text around the number
    int IntDigits = 0;          // placeholders before the decimal point
    int IntForced = 0;          // of them, those from the first "0" on
    int FracDigits = 0;         // placeholders after it
    int FracForced = 0;         // up to the last "0" after it
    bool Grouped = false;
    bool HasDigits = false;
};

std::vector<std::string> FormatSections(const std::string& format) {
    std::vector<std::string> out(1);
    char quote = 0;
    for (char c : format) {
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == ';') {
            out.emplace_back();
            continue;
        }
        out.back().push_back(c);
    }
    return out;
}

TNumberPattern ReadPattern(const std::string& section) {
    TNumberPattern p;
    bool point = false;
    bool firstZero = false;
    char quote = 0;
    for (char c : section) {
        std::string& literal = p.HasDigits ? p.After : p.Before;
        if (quote) {
            if (c == quote) {
                quote = 0;
            } else {
                literal.push_back(c);
            }
            continue;
        }
        if (c == '\'' || c == '"') {
            quote = c;
        } else if (c == '0' || c == '#') {
            p.HasDigits = true;
            if (point) {
                ++p.FracDigits;
                if (c == '0') p.FracForced = p.FracDigits;
            } else {
                ++p.IntDigits;
                firstZero = firstZero || c == '0';
                if (firstZero) ++p.IntForced;
            }
        } else if (c == '.' && !point) {
            point = true;
            p.HasDigits = true;
        } else if (c == ',' && !point) {
            p.Grouped = true;
        } else if (c != '.' && c != ',') {
            literal.push_back(c);
        }
    }
    return p;
}

// Magnitude rounded to the pattern's decimals: the integer part and the decimal digits.
void RoundedParts(std::uint64_t mag, int decimals, std::uint64_t& whole, std::string& frac) {
    if (decimals >= 4) {
        whole = mag / 10000;
        frac = std::to_string(mag % 10000);
        frac.insert(frac.begin(), 4 - frac.size(), '0');
        frac.append(static_cast<std::size_t>(decimals - 4), '0');
        return;
    }
    std::uint64_t unit = 1;
    for (int i = decimals; i < 4; ++i) unit *= 10;
    const std::uint64_t q = mag / unit + (mag % unit >= unit / 2 ? 1 : 0);
    std::uint64_t scale = 1;
    for (int i = 0; i < decimals; ++i) scale *= 10;
    whole = q / scale;
    frac = decimals > 0 ? std::to_string(q % scale) : std::string();
    if (decimals > 0) frac.insert(frac.begin(), static_cast<std::size_t>(decimals) - frac.size(), '0');
}

}  // namespace

std::string FormatCurrency(const std::string& format, std::int64_t scaled, const FormatSettings& fs) {
    if (format.empty()) return CurrencyToText(scaled, fs);
    const std::vector<std::string> sections = FormatSections(format);
    const std::uint64_t mag = scaled < 0 ? 0 - static_cast<std::uint64_t>(scaled) : static_cast<std::uint64_t>(scaled);
    auto section = [&](std::size_t i) { return i < sections.size() && !sections[i].empty() ? i : 0; };
    const TNumberPattern first = ReadPattern(sections[0]);
    std::uint64_t whole;
    std::string frac;
    RoundedParts(mag, std::min(first.FracDigits, 30), whole, frac);
    const bool zero = whole == 0 && frac.find_first_not_of('0') == std::string::npos;
    std::size_t use = 0;
    if (zero && section(2) == 2) {
        use = 2;
    } else if (scaled < 0 && section(1) == 1) {
        use = 1;
    }
    const TNumberPattern p = use == 0 ? first : ReadPattern(sections[use]);
    if (use != 0) RoundedParts(mag, std::min(p.FracDigits, 30), whole, frac);
    std::string out = scaled < 0 && use == 0 && !zero ? "-" : "";
    out += p.Before;
    if (p.HasDigits) {
        std::string digits = whole == 0 ? std::string() : std::to_string(whole);
        if (static_cast<int>(digits.size()) < p.IntForced)
            digits.insert(digits.begin(), static_cast<std::size_t>(p.IntForced) - digits.size(), '0');
        if (p.Grouped) {
            std::string grouped;
            for (std::size_t i = 0; i < digits.size(); ++i) {
                if (i > 0 && (digits.size() - i) % 3 == 0) grouped += fs.ThousandSeparator;
                grouped.push_back(digits[i]);
            }
            digits.swap(grouped);
        }
        out += digits;
        while (static_cast<int>(frac.size()) > p.FracForced && frac.back() == '0') frac.pop_back();
        if (!frac.empty()) {
            out.push_back(fs.DecimalSeparator);
            out += frac;
        }
    }
    out += p.After;
    return out;
}

bool TryParseNumber(const std::string& text, double& out, const FormatSettings& fs) {
    ParsedDecimal p;
    if (!ParseDecimal(text, fs, p)) return false;
    if (p.Digits.empty()) {
        out = p.Negative ? -0.0 : 0.0;
        return true;
    }
    if (p.Point > 400) return false;  // beyond any double
    if (p.Point < -400) {
        out = p.Negative ? -0.0 : 0.0;
        return true;
    }
    const std::string s = "0." + p.Digits + "e" + std::to_string(p.Point);
    double d = 0;
    const auto r = std::from_chars(s.data(), s.data() + s.size(), d);
    if (r.ec == std::errc::result_out_of_range) {
        // Underflow becomes zero; overflow is no number we can hold.
        if (p.Point > 0) return false;
        d = 0;
    } else if (r.ec != std::errc()) {
        return false;
    }
    out = p.Negative ? -d : d;
    return std::isfinite(out);
}

bool TryParseCurrency(const std::string& text, std::int64_t& scaled, const FormatSettings& fs) {
    ParsedDecimal p;
    if (!ParseDecimal(text, fs, p)) return false;
    if (p.Digits.empty()) {
        scaled = 0;
        return true;
    }
    int point = static_cast<int>(std::max<std::int64_t>(std::min<std::int64_t>(p.Point, 100), -100));
    if (p.Point > 19) return false;
    std::string digits = p.Digits;
    RoundDigits(digits, point, 4);
    // Units of 1/10000: the digits shifted to four decimals.
    const long width = static_cast<long>(point) + 4;
    if (width > 20) return false;
    unsigned __int128 mag = 0;
    for (long k = 0; k < width; ++k) {
        const int d = static_cast<std::size_t>(k) < digits.size() ? digits[static_cast<std::size_t>(k)] - '0' : 0;
        mag = mag * 10 + static_cast<unsigned>(d);
    }
    const unsigned __int128 limit = static_cast<unsigned __int128>(std::numeric_limits<std::int64_t>::max()) + (p.Negative ? 1 : 0);
    if (mag > limit) return false;
    scaled = p.Negative ? static_cast<std::int64_t>(0 - static_cast<std::uint64_t>(mag))
                        : static_cast<std::int64_t>(static_cast<std::uint64_t>(mag));
    return true;
}

}  // namespace kubrix
