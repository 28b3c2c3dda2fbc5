#pragma once
// The system's exception classes: the general error carrying a (Russian) message and
// the database error of the dataset framework with its English texts.

#include <cstdio>
#include <stdexcept>
#include <string>

namespace kubrix {

//! General error with a message for the user.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

//! An operation the user stopped (a load cancelled); the caller knows it and shows no error.
class EAbort : public Exception {
public:
    using Exception::Exception;
};

//! Error of the dataset framework ("Field 'X' not found", "Dataset not in edit or insert mode").
class EDatabaseError : public Exception {
public:
    using Exception::Exception;
};

//! A text that does not convert to the number or date asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

//! An index outside a list ("List index out of bounds (5)").
class EListError : public Exception {
public:
    using Exception::Exception;
};

//! Raises EDatabaseError with the message.
[[noreturn]] inline void DatabaseError(const std::string& message) { throw EDatabaseError(message); }

//! Replaces the first "%s" of format by arg (the framework's messages carry one name each).
inline std::string FormatMessage1(const std::string& format, const std::string& arg) {
    std::string out = format;
    auto pos = out.find("%s");
    if (pos != std::string::npos) out.replace(pos, 2, arg);
    return out;
}

//! Raises EDatabaseError with format's "%s" replaced by arg.
[[noreturn]] inline void DatabaseErrorFmt(const std::string& format, const std::string& arg) {
    throw EDatabaseError(FormatMessage1(format, arg));
}

//! Raises EListError for an index outside a list.
[[noreturn]] inline void ListIndexError(long long index) {
    throw EListError("List index out of bounds (" + std::to_string(index) + ")");
}

}  // namespace kubrix
