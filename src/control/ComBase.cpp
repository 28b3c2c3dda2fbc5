#include "control/ComBase.h"

#include <cstdio>

#include "support/Text.h"

namespace kubrix {

bool operator==(const GUID& a, const GUID& b) {
    if (a.Data1 != b.Data1 || a.Data2 != b.Data2 || a.Data3 != b.Data3) return false;
    for (int i = 0; i < 8; ++i)
        if (a.Data4[i] != b.Data4[i]) return false;
    return true;
}

std::string GUIDToString(const GUID& g) {
    char buf[40];
    std::snprintf(buf, sizeof buf, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", g.Data1, g.Data2, g.Data3,
                  g.Data4[0], g.Data4[1], g.Data4[2], g.Data4[3], g.Data4[4], g.Data4[5], g.Data4[6], g.Data4[7]);
    return buf;
}

std::atomic<long>& LiveObjectCount() {
    static std::atomic<long> count{0};
    return count;
}

namespace {
// The apartment is the thread: each thread sees only the errors of its own calls.
thread_local std::shared_ptr<const TErrorInfo> tErrorInfo;
}  // namespace

void SetErrorInfo(std::shared_ptr<const TErrorInfo> info) { tErrorInfo = std::move(info); }

HRESULT GetErrorInfo(std::shared_ptr<const TErrorInfo>& info) {
    info = std::move(tErrorInfo);
    tErrorInfo.reset();
    return info ? S_OK : S_FALSE;
}

HRESULT HandleSafeCallException(const GUID& iid, const WideString& source) {
    HRESULT code = E_UNEXPECTED;
    std::string message;
    try {
        throw;
    } catch (const EOleSysError& e) {
        if (e.ErrorCode < 0) code = e.ErrorCode;
        message = e.what();
    } catch (const std::exception& e) {
        message = e.what();
    } catch (...) {
        message = "Unknown error";
    }
    auto info = std::make_shared<TErrorInfo>();
    info->Description = Utf8ToUtf16(message);
    info->Guid = iid;
    info->Source = source;
    SetErrorInfo(std::move(info));
    return code;
}

}  // namespace kubrix
