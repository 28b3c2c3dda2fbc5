#include "dataset/Collation.h"

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include <cstdlib>
#include <memory>
#include <vector>

#include "support/Errors.h"

namespace kubrix {

namespace {

struct CollatorClose {
    void operator()(UCollator* c) const { ucol_close(c); }
};
using CollatorPtr = std::unique_ptr<UCollator, CollatorClose>;

// "ru_RU.UTF-8@euro" -> "ru_RU"; "C" and "POSIX" name no language.
std::string LocaleFromEnvironment() {
    for (const char* name : {"LC_ALL", "LC_COLLATE", "LANG"}) {
        const char* v = std::getenv(name);
        if (!v || !*v) continue;
        std::string s(v);
        s = s.substr(0, s.find_first_of(".@"));
        if (s == "C" || s == "POSIX") return {};
        return s;
    }
    return {};
}

class Collators {
public:
    explicit Collators(std::string locale) : locale_(std::move(locale)) {
        caseSensitive_ = Open(UCOL_TERTIARY);
        caseInsensitive_ = Open(UCOL_SECONDARY);
    }
    const std::string& Locale() const { return locale_; }
    const UCollator* Get(bool ignoreCase) const { return ignoreCase ? caseInsensitive_.get() : caseSensitive_.get(); }

private:
    CollatorPtr Open(UColAttributeValue strength) {
        UErrorCode status = U_ZERO_ERROR;
        CollatorPtr c(ucol_open(locale_.c_str(), &status));
        if (U_FAILURE(status) || !c) {
            status = U_ZERO_ERROR;
            c.reset(ucol_open("", &status));
        }
        if (U_FAILURE(status) || !c) throw Exception(std::string("Collation unavailable: ") + u_errorName(status));
        if (status == U_USING_DEFAULT_WARNING) locale_.clear();
        status = U_ZERO_ERROR;
        ucol_setStrength(c.get(), strength);
        // Ordering compares accented text such as "ё" properly only with normalisation on.
        ucol_setAttribute(c.get(), UCOL_NORMALIZATION_MODE, UCOL_ON, &status);
        return c;
    }

    std::string locale_;
    CollatorPtr caseSensitive_;
    CollatorPtr caseInsensitive_;
};

std::unique_ptr<Collators>& Current() {
    static std::unique_ptr<Collators> current;
    return current;
}

const Collators& Active() {
    auto& c = Current();
    if (!c) c = std::make_unique<Collators>(LocaleFromEnvironment());
    return *c;
}

int Sign(UCollationResult r) { return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0); }

// UTF-8 to UTF-16 with invalid bytes as U+FFFD, into a reused buffer.
std::u16string_view ToUtf16(std::string_view text, std::u16string& buffer) {
    buffer.resize(text.size() + 1);
    UErrorCode status = U_ZERO_ERROR;
    int32_t length = 0;
    u_strFromUTF8WithSub(reinterpret_cast<UChar*>(buffer.data()), static_cast<int32_t>(buffer.size()), &length,
                         text.data(), static_cast<int32_t>(text.size()), 0xFFFD, nullptr, &status);
    if (U_FAILURE(status)) length = 0;
    return std::u16string_view(buffer.data(), static_cast<std::size_t>(length));
}

}  // namespace

std::string CollationLocale() { return Active().Locale(); }

void SetCollationLocale(const std::string& locale) { Current() = std::make_unique<Collators>(locale); }

int CompareTextByLocale(std::string_view a, std::string_view b, bool ignoreCase) {
    UErrorCode status = U_ZERO_ERROR;
    UCollationResult r = ucol_strcollUTF8(Active().Get(ignoreCase), a.data(), static_cast<int32_t>(a.size()), b.data(),
                                          static_cast<int32_t>(b.size()), &status);
    if (U_FAILURE(status)) return a.compare(b) < 0 ? -1 : (a == b ? 0 : 1);
    return Sign(r);
}

int CompareWideByLocale(std::u16string_view a, std::u16string_view b, bool ignoreCase) {
    return Sign(ucol_strcoll(Active().Get(ignoreCase), reinterpret_cast<const UChar*>(a.data()),
                             static_cast<int32_t>(a.size()), reinterpret_cast<const UChar*>(b.data()),
                             static_cast<int32_t>(b.size())));
}

void AppendCollationKeyWide(std::u16string_view text, bool ignoreCase, std::string& out) {
    const UCollator* c = Active().Get(ignoreCase);
    const std::size_t start = out.size();
    std::size_t room = text.size() * 4 + 16;
    for (;;) {
        out.resize(start + room);
        int32_t n = ucol_getSortKey(c, reinterpret_cast<const UChar*>(text.data()), static_cast<int32_t>(text.size()),
                                    reinterpret_cast<uint8_t*>(out.data() + start), static_cast<int32_t>(room));
        if (n <= 0) {
            out.resize(start);
            return;
        }
        if (static_cast<std::size_t>(n) <= room) {
            out.resize(start + static_cast<std::size_t>(n) - 1);  // without the terminating zero
            return;
        }
        room = static_cast<std::size_t>(n);
    }
}

void AppendCollationKey(std::string_view text, bool ignoreCase, std::string& out) {
    thread_local std::u16string buffer;
    AppendCollationKeyWide(ToUtf16(text, buffer), ignoreCase, out);
}

}  // namespace kubrix
