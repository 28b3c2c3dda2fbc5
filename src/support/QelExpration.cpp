#include "support/QelExpration.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "support/DateTime.h"
#include "support/Errors.h"
#include "support/FormatSettings.h"
#include "support/Text.h"
#include "support/VariantOps.h"

namespace kubrix {

namespace {

using TKind = TQelExpration::TKind;
using TSetKind = TQelExpration::TSetKind;

struct TOperator {
    std::string_view Text;
    TKind Kind;
};

// Search order: earlier binds looser.
constexpr TOperator kOperators[] = {
    {" in ", TKind::In},          {" NOT ", TKind::Not},     {" OR ", TKind::Or},       {" AND ", TKind::And},
    {"<>", TKind::NotEqual},      {">=", TKind::GreaterEqual}, {"<=", TKind::LessEqual}, {"=", TKind::Equal},
    {">", TKind::Greater},        {"<", TKind::Less},        {" like ", TKind::Like},   {"*", TKind::Multiply},
    {"/", TKind::Divide},         {"+", TKind::Add},         {"-", TKind::Subtract},    {" is null", TKind::IsNull},
    {" & ", TKind::Concat},
};
constexpr std::size_t kOperatorCount = sizeof kOperators / sizeof kOperators[0];

const char* const kExprError = "Ошибка в выражении";
const std::string kNew = "new";
const std::string kOld = "old";

[[noreturn]] void ExprError(const std::string& operand) { throw Exception(std::string(kExprError) + "\r" + operand); }

bool IsBlank(char c) { return static_cast<unsigned char>(c) <= 0x20; }

// Position after the quoted string opening at i (doubled quotes stand for one); npos when the
// text ends inside it.
std::size_t SkipQuoted(std::string_view s, std::size_t i) {
    for (std::size_t j = i + 1; j < s.size(); ++j) {
        if (s[j] != '\'') continue;
        if (j + 1 < s.size() && s[j + 1] == '\'') {
            ++j;
            continue;
        }
        return j + 1;
    }
    return std::string_view::npos;
}

// Position after the ")" matching the "(" at i, quoted strings inside skipped whole; npos when
// the text ends first.
std::size_t SkipParens(std::string_view s, std::size_t i) {
    int depth = 0;
    for (std::size_t j = i; j < s.size(); ++j) {
        if (s[j] == '(') {
            ++depth;
        } else if (s[j] == ')') {
            if (--depth == 0) return j + 1;
        } else if (s[j] == '\'') {
            const std::size_t end = SkipQuoted(s, j);
            if (end == std::string_view::npos) return end;
            j = end - 1;
        }
    }
    return std::string_view::npos;
}

// The operator a text splits at: index into kOperators and its position, or false. Every
// operator's scan visits the same positions, so one pass records each operator's first
// occurrence; an unmatched "(" stops every scan that has not found its operator before it,
// so past one only the first operator of the table can still be found.
bool FindOperator(std::string_view s, std::size_t& opIndex, std::size_t& pos) {
    std::size_t first[kOperatorCount];
    std::fill(std::begin(first), std::end(first), std::string_view::npos);
    std::size_t firstNonBlank = 0;
    while (firstNonBlank < s.size() && IsBlank(s[firstNonBlank])) ++firstNonBlank;
    bool unmatched = false;
    std::size_t i = 0;
    while (i < s.size()) {
        if (s[i] == '(') {
            const std::size_t end = SkipParens(s, i);
            if (end == std::string_view::npos) {
                unmatched = true;
                break;
            }
            i = end;
        }
        if (i < s.size() && s[i] == '\'') {
            i = SkipQuoted(s, i);
            if (i == std::string_view::npos) break;
        }
        if (i >= s.size()) break;
        // Every operator starts with one of a few characters.
        const char c = s[i];
        if (c != ' ' && c != '<' && c != '>' && c != '=' && c != '*' && c != '/' && c != '+' && c != '-') {
            ++i;
            continue;
        }
        for (std::size_t k = 0; k < kOperatorCount; ++k) {
            if (first[k] != std::string_view::npos) continue;
            const std::string_view op = kOperators[k].Text;
            if (op[0] != c || s.compare(i, op.size(), op) != 0) continue;
            // A minus with nothing before it belongs to a number.
            if (kOperators[k].Kind == TKind::Subtract && firstNonBlank >= i) continue;
            first[k] = i;
        }
        ++i;
    }
    if (unmatched) {
        if (first[0] == std::string_view::npos) throw Exception("Несоответствие скобок");
        opIndex = 0;
        pos = first[0];
        return true;
    }
    for (std::size_t k = 0; k < kOperatorCount; ++k)
        if (first[k] != std::string_view::npos) {
            opIndex = k;
            pos = first[k];
            return true;
        }
    return false;
}

// A number written the locale-independent way: optional sign, digits with an optional "."
// fraction, optional exponent.
bool ParsePlainNumber(const std::string& t, double& out) {
    std::size_t i = 0;
    if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
    std::size_t digits = 0;
    while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    if (i < t.size() && t[i] == '.') {
        ++i;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++digits;
    }
    if (digits == 0) return false;
    if (i < t.size() && (t[i] == 'e' || t[i] == 'E')) {
        ++i;
        if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < t.size() && t[i] >= '0' && t[i] <= '9') ++i, ++expDigits;
        if (expDigits == 0) return false;
    }
    if (i != t.size()) return false;
    const char* begin = t.data() + (t[0] == '+' ? 1 : 0);
    const auto r = std::from_chars(begin, t.data() + t.size(), out);
    // Out of range is still a number: the nearest infinity or zero, as strtod gives.
    if (r.ec == std::errc::result_out_of_range) out = std::strtod(t.c_str(), nullptr);
    return r.ptr == t.data() + t.size();
}

// A date alone (no time of day) in the system's form.
bool ParseShortDate(const std::string& t, double& out) {
    if (t.find_first_of(" :") != std::string::npos) return false;
    return TryParseDateTime(t, out);
}

bool ParseInt32(const std::string& t, std::int32_t& out) {
    const char* begin = t.data();
    if (!t.empty() && t[0] == '+') ++begin;
    if (begin == t.data() + t.size() || *begin == '+') return false;
    const auto r = std::from_chars(begin, t.data() + t.size(), out);
    return r.ec == std::errc() && r.ptr == t.data() + t.size();
}

void SortUnique(std::vector<double>& v) {
    std::sort(v.begin(), v.end());
    v.erase(std::unique(v.begin(), v.end()), v.end());
}

// The handle of "&N" content, or false when the content has another form.
bool HandleOf(const std::string& content, std::int32_t& handle) {
    const std::string t = Trim(content);
    if (t.empty() || t[0] != '&') return false;
    if (!ParseInt32(Trim(std::string_view(t).substr(1)), handle)) handle = -1;
    return true;
}

bool Contains(const std::string& hay, std::string_view needle) { return hay.find(needle) != std::string::npos; }

// Like match of the upper-cased subject x against the upper-cased pattern p; "%" is the only
// wildcard, and a pattern without one means "ends with".
bool LikeMatch(std::string_view x, std::string_view p) {
    const std::size_t k = p.find('%');
    if (k != std::string_view::npos && k > 0) {
        if (x.size() < k || x.substr(0, k) != p.substr(0, k)) return false;
        x.remove_prefix(k);
        p.remove_prefix(k + 1);
    }
    while (p.find('%') != std::string_view::npos && !x.empty() && !p.empty()) {
        if (p[0] == '%') {
            p.remove_prefix(1);
            continue;
        }
        const std::size_t next = p.find('%');
        const std::string_view g = p.substr(0, next);
        const std::size_t at = x.find(g);
        if (at == std::string_view::npos) return false;
        x.remove_prefix(at + g.size());
        p.remove_prefix(next + 1);
    }
    if (p.empty()) return true;
    return x.size() >= p.size() && x.substr(x.size() - p.size()) == p;
}

std::string TextOf(const Variant& v) { return v.IsNull() ? std::string() : v.ToAnsi(); }

// The order of two values of the kinds a filter meets most (texts, reals, 32-bit integers)
// without the general conversion rules; false for any other pair.
bool QuickCompare(const Variant& a, const Variant& b, int& c) {
    const VarType ta = a.Type(), tb = b.Type();
    if (ta == VT_STRING && tb == VT_STRING) {
        const int r = a.RawAnsi().compare(b.RawAnsi());
        c = r < 0 ? -1 : (r > 0 ? 1 : 0);
        return true;
    }
    const bool ra = ta == VT_R8 || ta == VT_I4, rb = tb == VT_R8 || tb == VT_I4;
    if (!ra || !rb) return false;
    const double x = ta == VT_R8 ? a.RawDouble() : static_cast<double>(a.RawInt());
    const double y = tb == VT_R8 ? b.RawDouble() : static_cast<double>(b.RawInt());
    if (x != x || y != y) return false;  // NaN: the general rules decide
    c = x < y ? -1 : (x > y ? 1 : 0);
    return true;
}

int Compare(const Variant& a, const Variant& b) {
    int c;
    return QuickCompare(a, b, c) ? c : VarCompare(a, b);
}

const Variant& ZeroIfNull(const Variant& v) {
    static const Variant zero = Variant::FromInt32(0);
    return v.IsNull() ? zero : v;
}

}  // namespace

TQelExpration::TQelExpration() = default;

TQelExpration::~TQelExpration() = default;

void TQelExpration::FreeSet() {
    setKind_ = TSetKind::None;
    setHasNull_ = false;
    setValues_.clear();
    setValues_.shrink_to_fit();
}

std::int32_t TQelExpration::RegisterIntegerList(std::vector<std::int32_t> values) {
    if (!lists_) lists_ = std::make_shared<TQelExprLists>();
    const std::int32_t handle = ++lists_->LastHandle;
    lists_->Integers[handle] = std::move(values);
    return handle;
}

std::int32_t TQelExpration::RegisterDateList(std::vector<std::optional<double>> values) {
    if (!lists_) lists_ = std::make_shared<TQelExprLists>();
    const std::int32_t handle = ++lists_->LastHandle;
    lists_->Dates[handle] = std::move(values);
    return handle;
}

void TQelExpration::ReleaseList(std::int32_t handle) {
    if (!lists_) return;
    lists_->Integers.erase(handle);
    lists_->Dates.erase(handle);
}

void TQelExpration::SetCode(const std::string& text) {
    compiled_ = false;
    code_.clear();
    try {
        Compile(Trim(text), 0);
    } catch (...) {
        // Nothing half-built may be evaluated.
        kind_ = TKind::None;
        left_.reset();
        right_.reset();
        throw;
    }
    code_ = Trim(text);
    compiled_ = true;
}

TQelExpration& TQelExpration::Child(std::unique_ptr<TQelExpration>& slot) {
    if (!slot) slot = std::make_unique<TQelExpration>();
    slot->dataSet_ = dataSet_;
    slot->OnGetFieldValue = OnGetFieldValue;
    slot->lists_ = lists_;
    return *slot;
}

void TQelExpration::Compile(std::string t, int depth) {
    FreeSet();
    kind_ = TKind::None;
    constant_ = Variant();
    field_ = nullptr;
    fieldOld_ = false;
    for (;;) {
        if (depth > kMaxDepth)
            throw Exception("Выражение слишком сложное: вложенность больше " + std::to_string(kMaxDepth));
        text_ = t;
        if (t.empty()) {
            left_.reset();
            right_.reset();
            return;
        }
        // A set literal: a letter, "[", elements, "]".
        if (t.size() > 2 && t[1] == '[' && t.back() == ']') {
            left_.reset();
            right_.reset();
            ParseSet(t);
            return;
        }
        const std::string s = " " + t;
        std::size_t opIndex = 0, pos = 0;
        if (FindOperator(s, opIndex, pos)) {
            const TOperator& op = kOperators[opIndex];
            std::string leftText = Trim(std::string_view(s).substr(0, pos));
            std::string rightText = Trim(std::string_view(s).substr(pos + op.Text.size()));
            if (leftText.empty()) {
                left_.reset();
            } else {
                Child(left_).Compile(std::move(leftText), depth + 1);
            }
            Child(right_).Compile(std::move(rightText), depth + 1);
            kind_ = op.Kind;
            text_ = s;
            return;
        }
        left_.reset();
        right_.reset();
        double number = 0;
        if (t == "True" || t == "False") {
            constant_ = Variant::FromBool(t == "True");
        } else if (t.size() >= 2 && t.front() == '\'' && t.back() == '\'') {
            constant_ = Variant::FromAnsi(t.substr(1, t.size() - 2));
        } else if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
            constant_ = Variant::FromAnsi(t.substr(1, t.size() - 2));
        } else if (ParsePlainNumber(t, number)) {
            constant_ = Variant::FromDouble(number);
        } else if (ParseShortDate(t, number)) {
            constant_ = Variant::FromDate(number);
        } else if (t.front() == '(') {
            // The same node again, from the text inside the parentheses.
            t = Trim(std::string_view(t).substr(1, t.size() >= 2 ? t.size() - 2 : 0));
            ++depth;
            continue;
        } else {
            if (!dataSet_) ExprError(t);
            const bool old = t.compare(0, 4, "OLD_") == 0;
            const void* field = dataSet_->ExprFindField(old ? std::string_view(t).substr(4) : std::string_view(t));
            if (!field) ExprError(t);
            field_ = field;
            fieldOld_ = old;
            kind_ = TKind::Field;
            return;
        }
        kind_ = TKind::Constant;
        return;
    }
}

void TQelExpration::ParseSet(const std::string& t) {
    const char letter = t[0];
    const std::string content = t.substr(2, t.size() - 3);
    switch (letter) {
    case 'i': setKind_ = TSetKind::Integer; break;
    case 'n': setKind_ = TSetKind::Float; break;
    case 'd': setKind_ = TSetKind::Date; break;
    case 's': setKind_ = TSetKind::String; return;
    default: ExprError(t);
    }
    std::int32_t handle = 0;
    if (setKind_ != TSetKind::Float && HandleOf(content, handle)) {
        if (!lists_) ExprError(t);
        if (setKind_ == TSetKind::Integer) {
            const auto it = lists_->Integers.find(handle);
            if (it == lists_->Integers.end()) ExprError(t);
            setValues_.assign(it->second.begin(), it->second.end());
        } else {
            const auto it = lists_->Dates.find(handle);
            if (it == lists_->Dates.end()) ExprError(t);
            for (const auto& d : it->second) {
                if (d) setValues_.push_back(*d);
                else setHasNull_ = true;
            }
        }
        SortUnique(setValues_);
        return;
    }
    // Elements end with ";"; what follows the last ";" is ignored.
    std::size_t start = 0;
    for (std::size_t semi = content.find(';'); semi != std::string::npos; semi = content.find(';', start)) {
        const std::string element = Trim(std::string_view(content).substr(start, semi - start));
        start = semi + 1;
        if (element.empty()) {
            setHasNull_ = true;
            continue;
        }
        double value = 0;
        switch (setKind_) {
        case TSetKind::Integer: {
            std::int32_t i = 0;
            if (!ParseInt32(element, i)) throw Exception("Ошибка в выражени");
            value = i;
            break;
        }
        case TSetKind::Float:
            if (!TryParseNumber(element, value)) throw Exception("Ошибка в выражени.\r" + element);
            break;
        default:
            if (!TryParseDateTime(element, value)) throw Exception(kExprError);
            break;
        }
        setValues_.push_back(value);
    }
    SortUnique(setValues_);
}

void TQelExpration::DefaultGetFieldValue(const void* field, const std::string& version, Variant& value) {
    if (!dataSet_) throw Exception(std::string(kExprError) + "\r" + text_);
    dataSet_->ExprGetFieldValue(field, version != kNew, value);
}

Variant TQelExpration::GetValue() {
    Variant scratch;
    const Variant& r = Evaluate(scratch);
    return &r == &scratch ? std::move(scratch) : r;
}

const Variant& TQelExpration::Evaluate(Variant& scratch) {
    if (!compiled_) throw Exception("Не определена операция\r\"" + text_ + "\"");
    return Eval(scratch);
}

const Variant& TQelExpration::EvalChild(TQelExpration* child, Variant& scratch) {
    if (!child) throw Exception("Не определена операция\r\"\"");
    return child->Eval(scratch);
}

bool TQelExpration::Member(const Variant& value) {
    if (value.IsNull()) return setHasNull_;
    const double x = setKind_ == TSetKind::Date ? (value.IsEmpty() ? 0.0 : value.ToDate()) : VarToReal(value);
    return std::binary_search(setValues_.begin(), setValues_.end(), x);
}

const Variant& TQelExpration::Eval(Variant& out) {
    switch (kind_) {
    case TKind::None: throw Exception("Не определена операция\r\"" + text_ + "\"");
    case TKind::Constant: return constant_;
    case TKind::Field:
        if (OnGetFieldValue) OnGetFieldValue(field_, fieldOld_ ? kOld : kNew, out);
        else if (dataSet_) dataSet_->ExprGetFieldValue(field_, fieldOld_, out);
        else ExprError(text_);
        return out;
    case TKind::Not: VarNot(EvalChild(right_.get(), rightValue_), out); return out;
    case TKind::Or:
    case TKind::And: {
        const Variant& a = EvalChild(left_.get(), leftValue_);
        const Variant& b = EvalChild(right_.get(), rightValue_);
        if (a.Type() == VT_BOOL && b.Type() == VT_BOOL) {
            const bool x = a.RawInt() != 0, y = b.RawInt() != 0;
            out = Variant::FromBool(kind_ == TKind::Or ? x || y : x && y);
        } else if (kind_ == TKind::Or) {
            VarOr(a, b, out);
        } else {
            VarAnd(a, b, out);
        }
        return out;
    }
    case TKind::Equal:
    case TKind::NotEqual:
    case TKind::Greater:
    case TKind::Less:
    case TKind::GreaterEqual:
    case TKind::LessEqual: {
        const Variant& a = EvalChild(left_.get(), leftValue_);
        const Variant& b = EvalChild(right_.get(), rightValue_);
        const bool an = a.IsNull(), bn = b.IsNull();
        bool r = false;
        switch (kind_) {
        case TKind::Equal: r = an || bn ? an == bn : Compare(a, b) == 0; break;
        case TKind::NotEqual: r = an || bn ? an != bn : Compare(a, b) != 0; break;
        case TKind::Greater: r = an || bn ? !an && bn : Compare(a, b) > 0; break;
        case TKind::Less: r = an || bn ? an && !bn : Compare(a, b) < 0; break;
        case TKind::GreaterEqual: r = an || bn ? bn : Compare(a, b) >= 0; break;
        default: r = an || bn ? an : Compare(a, b) <= 0; break;
        }
        out = Variant::FromBool(r);
        return out;
    }
    case TKind::Like: {
        const Variant& a = EvalChild(left_.get(), leftValue_);
        if (a.IsNull()) {
            out = Variant::FromBool(false);
            return out;
        }
        const std::string subject = Utf8Upper(a.ToAnsi());
        const std::string pattern = Utf8Upper(TextOf(EvalChild(right_.get(), rightValue_)));
        out = Variant::FromBool(LikeMatch(subject, pattern));
        return out;
    }
    case TKind::Multiply:
    case TKind::Add:
    case TKind::Subtract: {
        const Variant& a = ZeroIfNull(EvalChild(left_.get(), leftValue_));
        const Variant& b = ZeroIfNull(EvalChild(right_.get(), rightValue_));
        if (kind_ == TKind::Multiply) VarMul(a, b, out);
        else if (kind_ == TKind::Add) VarAdd(a, b, out);
        else VarSub(a, b, out);
        return out;
    }
    case TKind::Divide: {
        const Variant& b = EvalChild(right_.get(), rightValue_);
        const double divisor = b.IsNull() ? 0.0 : VarToReal(b);
        if (divisor == 0) {
            out = Variant::Null();
            return out;
        }
        const Variant& a = EvalChild(left_.get(), leftValue_);
        out = Variant::FromDouble((a.IsNull() ? 0.0 : VarToReal(a)) / divisor);
        return out;
    }
    case TKind::IsNull: out = Variant::FromBool(EvalChild(left_.get(), leftValue_).IsNull()); return out;
    case TKind::Concat: {
        std::string s = TextOf(EvalChild(left_.get(), leftValue_));
        s += TextOf(EvalChild(right_.get(), rightValue_));
        out = Variant::FromAnsi(std::move(s));
        return out;
    }
    case TKind::In: {
        TQelExpration* set = right_.get();
        if (!set) throw Exception("Не определена операция\r\"\"");
        if (set->setKind_ == TSetKind::None) {
            const std::string s = TextOf(set->Eval(rightValue_));
            const std::string v = TextOf(EvalChild(left_.get(), leftValue_));
            out = Variant::FromBool(Contains(s, " " + v + ";"));
            return out;
        }
        const Variant& a = EvalChild(left_.get(), leftValue_);
        if (set->setKind_ == TSetKind::String) {
            std::string quoted = " '";
            for (char c : TextOf(a)) {
                quoted += c;
                if (c == '\'') quoted += '\'';
            }
            quoted += "';";
            out = Variant::FromBool(Contains(set->text_, quoted));
            return out;
        }
        out = Variant::FromBool(set->Member(a));
        return out;
    }
    }
    throw Exception("Не определена операция\r\"" + text_ + "\"");
}

}  // namespace kubrix
