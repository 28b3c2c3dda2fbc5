#pragma once
// Date-time values: a double counting days from 1899-12-30 with the time of day as the
// fraction, and the dataset's stored form of it.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "support/FieldTypes.h"

namespace kubrix {

//! Day number of 1899-12-30 when 0001-01-01 is day 1.
inline constexpr std::int32_t DateDelta = 693594;
inline constexpr double MSecsPerDay = 86400000.0;

//! A date-time outside 0001-01-01 .. 9999-12-31 (or not a number) where a calendar date is needed.
class EDateTimeError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct TimeStampParts {
    int Year = 1899, Month = 12, Day = 30;
    int Hour = 0, Minute = 0, Second = 0, MSec = 0;
};

//! Builds a date-time; false when a part is out of range.
bool TryEncodeDateTime(const TimeStampParts& parts, double& out);
//! Splits a date-time into calendar parts (milliseconds rounded). Before 1899-12-30 the
//! fraction still counts forwards from midnight (-1.25 is 1899-12-29 06:00).
//! Raises EDateTimeError outside the calendar range.
TimeStampParts DecodeDateTime(double value);

//! Stored form: ftDate -> 32-bit day number (0001-01-01 is day 1), ftTime -> 32-bit
//! milliseconds since midnight, others the double day number * 86 400 000 + milliseconds.
//! Writes 4 or 8 bytes to out; raises EDateTimeError outside the calendar range.
void DateTimeToNative(TFieldType type, double value, void* out);
//! The inverse of DateTimeToNative for the same type.
double NativeToDateTime(TFieldType type, const void* in);

//! Formats with a pattern of d/dd, m/mm (month), yy/yyyy, h/hh, n/nn (minutes), s/ss,
//! z/zzz and literal text (also in quotes); "/" and ":" stand for the settings' date and
//! time separators, any other character (".", say) is written as it is.
std::string FormatDateTime(const std::string& pattern, double value);
//! The default form "dd.mm.yyyy hh:nn:ss".
std::string DateTimeToText(double value);
//! Reads "dd.mm.yyyy" (separator ".", "/" or the settings' date separator; a two-digit
//! year means 1950..2049) or "yyyy-mm-dd", either optionally followed by "hh:nn", "hh:nn:ss"
//! or "hh:nn:ss.zzz"; blanks around are ignored. False when the text is no valid date-time.
bool TryParseDateTime(std::string_view text, double& out);

}  // namespace kubrix
