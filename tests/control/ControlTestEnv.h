#pragma once
// Pieces shared by the control's tests: UTF-16 texts and the error info of the thread.

#include <string>

#include "control/KubrixX.h"
#include "testsupport/OdbcTestEnv.h"
#include "support/Text.h"

namespace kubrix::test {

inline std::u16string W(const std::string& s) { return Utf8ToUtf16(s); }

//! The description of the thread's error info, taken (and cleared).
inline std::string LastErrorDescription() {
    std::shared_ptr<const TErrorInfo> info;
    if (GetErrorInfo(info) != S_OK) return "<no error info>";
    return Utf16ToUtf8(info->Description);
}

}  // namespace kubrix::test
