#include "support/DateTime.h"

#include <cmath>
#include <cstring>

#include "support/FormatSettings.h"

namespace kubrix {

namespace {

// Date-time values outside 0001-01-01 .. 9999-12-31 23:59:59.999.
constexpr double kMinDateTime = -693593.0;
constexpr double kMaxDateTime = 2958466.0;
// Day count from 1970-01-01 of 1899-12-30.
constexpr std::int64_t kEpochShift = -25569;

bool IsLeap(int y) { return y % 4 == 0 && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
    static const int days[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    return m == 2 && IsLeap(y) ? 29 : days[m - 1];
}

// Proleptic Gregorian calendar: days since 1970-01-01 and back.
std::int64_t DaysFromCivil(std::int64_t y, unsigned m, unsigned d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const auto yoe = static_cast<unsigned>(y - era * 400);
    const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

void CivilFromDays(std::int64_t z, int& y, int& m, int& d) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const auto doe = static_cast<unsigned>(z - era * 146097);
    const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const unsigned mp = (5 * doy + 2) / 153;
    d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    y = static_cast<int>(static_cast<std::int64_t>(yoe) + era * 400 + (m <= 2));
}

void CheckRange(double value) {
    if (!std::isfinite(value) || value <= kMinDateTime - 1 || value >= kMaxDateTime)
        throw EDateTimeError("Invalid date-time value " + FormatFloatGeneral(value));
}

// Whole days (towards zero) and milliseconds of the time of day. Before 1899-12-30 the
// fraction still counts forwards from midnight: -1.25 is 1899-12-29 06:00.
void SplitDateTime(double value, std::int64_t& days, std::int64_t& msecs) {
    CheckRange(value);
    const auto total = static_cast<std::int64_t>(std::llround(value * MSecsPerDay));
    const auto perDay = static_cast<std::int64_t>(MSecsPerDay);
    days = total / perDay;
    msecs = total % perDay;
    if (msecs < 0) msecs = -msecs;
}

char Lower(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

void AppendNumber(std::string& out, int value, int width) {
    std::string s = std::to_string(value);
    if (static_cast<int>(s.size()) < width) s.insert(s.begin(), static_cast<std::size_t>(width) - s.size(), '0');
    out += s;
}

}  // namespace

bool TryEncodeDateTime(const TimeStampParts& p, double& out) {
    if (p.Year < 1 || p.Year > 9999 || p.Month < 1 || p.Month > 12 || p.Day < 1 ||
        p.Day > DaysInMonth(p.Year, p.Month) || p.Hour < 0 || p.Hour > 23 || p.Minute < 0 || p.Minute > 59 ||
        p.Second < 0 || p.Second > 59 || p.MSec < 0 || p.MSec > 999)
        return false;
    const double date = static_cast<double>(DaysFromCivil(p.Year, static_cast<unsigned>(p.Month),
                                                          static_cast<unsigned>(p.Day)) - kEpochShift);
    const double time = (((p.Hour * 60.0 + p.Minute) * 60.0 + p.Second) * 1000.0 + p.MSec) / MSecsPerDay;
    out = date < 0 ? date - time : date + time;
    return true;
}

TimeStampParts DecodeDateTime(double value) {
    std::int64_t days = 0, msecs = 0;
    SplitDateTime(value, days, msecs);
    TimeStampParts p;
    CivilFromDays(days + kEpochShift, p.Year, p.Month, p.Day);
    p.MSec = static_cast<int>(msecs % 1000);
    msecs /= 1000;
    p.Second = static_cast<int>(msecs % 60);
    msecs /= 60;
    p.Minute = static_cast<int>(msecs % 60);
    p.Hour = static_cast<int>(msecs / 60);
    return p;
}

void DateTimeToNative(TFieldType type, double value, void* out) {
    std::int64_t days = 0, msecs = 0;
    SplitDateTime(value, days, msecs);
    const std::int64_t dayNumber = days + DateDelta;
    if (type == ftDate) {
        const auto v = static_cast<std::int32_t>(dayNumber);
        std::memcpy(out, &v, sizeof v);
    } else if (type == ftTime) {
        const auto v = static_cast<std::int32_t>(msecs);
        std::memcpy(out, &v, sizeof v);
    } else {
        const double v = static_cast<double>(dayNumber) * MSecsPerDay + static_cast<double>(msecs);
        std::memcpy(out, &v, sizeof v);
    }
}

double NativeToDateTime(TFieldType type, const void* in) {
    if (type == ftDate) {
        std::int32_t v = 0;
        std::memcpy(&v, in, sizeof v);
        return static_cast<double>(v) - DateDelta;
    }
    if (type == ftTime) {
        std::int32_t v = 0;
        std::memcpy(&v, in, sizeof v);
        return static_cast<double>(v) / MSecsPerDay;
    }
    double v = 0;
    std::memcpy(&v, in, sizeof v);
    v = std::round(v);  // whole milliseconds
    // Plain double arithmetic: stored bytes of any value give a number (or NaN), never a trap.
    const double dayNumber = std::floor(v / MSecsPerDay);
    const double msecs = v - dayNumber * MSecsPerDay;
    const double date = dayNumber - DateDelta;
    return date < 0 ? date - msecs / MSecsPerDay : date + msecs / MSecsPerDay;
}

std::string FormatDateTime(const std::string& pattern, double value) {
    const TimeStampParts p = DecodeDateTime(value);
    const FormatSettings& fs = FormatSettings::Current();
    std::string out;
    std::size_t i = 0;
    const std::size_t n = pattern.size();
    while (i < n) {
        const char c = pattern[i];
        if (c == '"' || c == '\'') {
            const std::size_t end = pattern.find(c, i + 1);
            const std::size_t stop = end == std::string::npos ? n : end;
            out.append(pattern, i + 1, stop - i - 1);
            i = stop == n ? n : stop + 1;
            continue;
        }
        const char lc = Lower(c);
        std::size_t run = 1;
        while (i + run < n && Lower(pattern[i + run]) == lc) ++run;
        switch (lc) {
        case 'd': AppendNumber(out, p.Day, run >= 2 ? 2 : 1); break;
        case 'm': AppendNumber(out, p.Month, run >= 2 ? 2 : 1); break;
        case 'y':
            if (run <= 2) AppendNumber(out, p.Year % 100, 2);
            else AppendNumber(out, p.Year, 4);
            break;
        case 'h': AppendNumber(out, p.Hour, run >= 2 ? 2 : 1); break;
        case 'n': AppendNumber(out, p.Minute, run >= 2 ? 2 : 1); break;
        case 's': AppendNumber(out, p.Second, run >= 2 ? 2 : 1); break;
        case 'z': AppendNumber(out, p.MSec, run >= 2 ? 3 : 1); break;
        case '/': out.append(run, fs.DateSeparator); break;
        case ':': out.append(run, fs.TimeSeparator); break;
        default: out.append(pattern, i, run); break;
        }
        i += run;
    }
    return out;
}

std::string DateTimeToText(double value) { return FormatDateTime("dd.mm.yyyy hh:nn:ss", value); }

namespace {

// A run of 1..maxDigits digits at pos; false when there is none.
bool ReadNumber(std::string_view s, std::size_t& pos, std::size_t maxDigits, int& value, std::size_t& digits) {
    digits = 0;
    value = 0;
    while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9' && digits < maxDigits) {
        value = value * 10 + (s[pos] - '0');
        ++pos;
        ++digits;
    }
    return digits > 0;
}

bool ReadChar(std::string_view s, std::size_t& pos, char c) {
    if (pos < s.size() && s[pos] == c) {
        ++pos;
        return true;
    }
    return false;
}

}  // namespace

bool TryParseDateTime(std::string_view text, double& out) {
    const FormatSettings& fs = FormatSettings::Current();
    std::size_t b = 0, e = text.size();
    while (b < e && static_cast<unsigned char>(text[b]) <= 0x20) ++b;
    while (e > b && static_cast<unsigned char>(text[e - 1]) <= 0x20) --e;
    const std::string_view s = text.substr(b, e - b);
    TimeStampParts p;
    std::size_t pos = 0, digits = 0;
    int first = 0;
    if (!ReadNumber(s, pos, 4, first, digits)) return false;
    if (digits == 4 && ReadChar(s, pos, '-')) {
        p.Year = first;
        std::size_t dm = 0, dd = 0;
        if (!ReadNumber(s, pos, 2, p.Month, dm) || !ReadChar(s, pos, '-') || !ReadNumber(s, pos, 2, p.Day, dd))
            return false;
    } else {
        if (digits > 2 || pos >= s.size()) return false;
        const char sep = s[pos];
        if (sep != '.' && sep != '/' && sep != fs.DateSeparator) return false;
        ++pos;
        p.Day = first;
        std::size_t dm = 0, dy = 0;
        if (!ReadNumber(s, pos, 2, p.Month, dm) || !ReadChar(s, pos, sep) || !ReadNumber(s, pos, 4, p.Year, dy))
            return false;
        if (dy == 3) return false;
        if (dy <= 2) p.Year += p.Year < 50 ? 2000 : 1900;
    }
    if (pos < s.size()) {
        if (s[pos] != ' ' && s[pos] != 'T') return false;
        while (pos < s.size() && (s[pos] == ' ' || s[pos] == 'T')) ++pos;
        const char tsep = fs.TimeSeparator;
        auto timeSep = [&](std::size_t& at) { return ReadChar(s, at, ':') || (tsep != ':' && ReadChar(s, at, tsep)); };
        std::size_t dh = 0, dn = 0, ds = 0, dz = 0;
        if (!ReadNumber(s, pos, 2, p.Hour, dh) || !timeSep(pos) || !ReadNumber(s, pos, 2, p.Minute, dn)) return false;
        if (timeSep(pos)) {
            if (!ReadNumber(s, pos, 2, p.Second, ds)) return false;
            if (ReadChar(s, pos, '.') || (fs.DecimalSeparator != '.' && ReadChar(s, pos, fs.DecimalSeparator))) {
                if (!ReadNumber(s, pos, 3, p.MSec, dz)) return false;
                for (std::size_t k = dz; k < 3; ++k) p.MSec *= 10;
                while (pos < s.size() && s[pos] >= '0' && s[pos] <= '9') ++pos;  // finer than milliseconds
            }
        }
        if (pos != s.size()) return false;
    }
    return TryEncodeDateTime(p, out);
}

}  // namespace kubrix
