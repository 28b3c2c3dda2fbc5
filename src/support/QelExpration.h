#pragma once
// The filter language: a text is compiled once into a tree of nodes (SetCode) and the tree is
// evaluated to a Variant as often as needed (GetValue), reading field values through the data
// set it was given.
//
// Precedence is one ordered operator table: a text splits at the first operator of the table
// found outside parentheses and quoted strings, so operators of one level group to the right
// («10 - 4 - 3» is 10 - (4 - 3)) and «2 + 3 * 4» is (2 + 3) * 4. The words " AND ", " OR ",
// " NOT " are upper case and " in ", " like ", " is null", " & " lower case, blanks included.
//
// Lists for the integer and date sets written "i[&N]" / "d[&N]" are registered with the root
// evaluator and named by their handle N; text never becomes an address.

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "support/Variant.h"

namespace kubrix {

//! What the evaluator needs of a data set: fields by name and their values in the record
//! being evaluated. A field is an opaque handle that only the data set interprets.
class IQelExprDataSet {
public:
    virtual ~IQelExprDataSet() = default;
    //! The field named name (letter case ignored), nullptr when the data set has none.
    virtual const void* ExprFindField(std::string_view name) const = 0;
    //! The current value of field (or, with old, its value before editing). A text field may
    //! reuse the buffer value already holds.
    virtual void ExprGetFieldValue(const void* field, bool old, Variant& value) = 0;
};

//! Lists handed to the language by handle (see RegisterIntegerList).
struct TQelExprLists {
    std::map<std::int32_t, std::vector<std::int32_t>> Integers;
    //! Date-time lists; an entry without value counts as null.
    std::map<std::int32_t, std::vector<std::optional<double>>> Dates;
    std::int32_t LastHandle = 0;
};

class TQelExpration {
public:
    //! What a node does.
    enum class TKind : std::uint8_t {
        None, Constant, Field, In, Not, Or, And, NotEqual, GreaterEqual, LessEqual, Equal, Greater, Less,
        Like, Multiply, Divide, Add, Subtract, IsNull, Concat
    };
    //! The kind of a set literal node.
    enum class TSetKind : std::uint8_t { None, Integer, Float, String, Date };

    //! Deepest nesting of operators and parentheses a text may have.
    static constexpr int kMaxDepth = 500;

    //! A field reader: the field, "new" or "old", and the value to fill.
    using TGetFieldValue = std::function<void(const void* field, const std::string& version, Variant& value)>;

    TQelExpration();
    ~TQelExpration();
    TQelExpration(const TQelExpration&) = delete;
    TQelExpration& operator=(const TQelExpration&) = delete;

    //! The data set in which field names are looked up (set before SetCode).
    void SetDataSet(IQelExprDataSet* dataSet) { dataSet_ = dataSet; }
    IQelExprDataSet* DataSet() const { return dataSet_; }
    //! Replaces the field reader; empty means DefaultGetFieldValue.
    TGetFieldValue OnGetFieldValue;

    //! Compiles text (trimmed). On failure the tree is unfit until the next successful call.
    void SetCode(const std::string& text);
    //! The text of the last successful SetCode (trimmed); empty after a failure.
    const std::string& Code() const { return code_; }
    //! Whether the last SetCode succeeded.
    bool Compiled() const { return compiled_; }
    //! Evaluates the tree.
    Variant GetValue();
    //! Evaluates the tree without copying a constant result: the result is scratch or a value
    //! the tree holds, valid until the next evaluation or SetCode.
    const Variant& Evaluate(Variant& scratch);
    //! Forgets the set data of this node.
    void FreeSet();
    //! Reads field through the data set: its old value unless version is "new".
    void DefaultGetFieldValue(const void* field, const std::string& version, Variant& value);

    //! Registers a list of 32-bit integers for "i[&N]"; returns N. The list is read by SetCode.
    std::int32_t RegisterIntegerList(std::vector<std::int32_t> values);
    //! Registers a list of date-times for "d[&N]" (an entry without value counts as null).
    std::int32_t RegisterDateList(std::vector<std::optional<double>> values);
    //! Forgets a registered list; later texts that name it are in error.
    void ReleaseList(std::int32_t handle);

    // ---- the compiled node (for inspection)
    TKind Kind() const { return kind_; }
    //! The node's source text (an operator node's with one leading blank).
    const std::string& Text() const { return text_; }
    const TQelExpration* Left() const { return left_.get(); }
    const TQelExpration* Right() const { return right_.get(); }
    TSetKind SetKind() const { return setKind_; }
    //! Elements of an integer, float or date set, ascending, no duplicates.
    const std::vector<double>& SetValues() const { return setValues_; }
    bool SetHasNull() const { return setHasNull_; }
    const Variant& Constant() const { return constant_; }

private:
    void Compile(std::string text, int depth);
    TQelExpration& Child(std::unique_ptr<TQelExpration>& slot);
    void ParseSet(const std::string& text);
    const Variant& Eval(Variant& out);
    const Variant& EvalChild(TQelExpration* child, Variant& scratch);
    bool Member(const Variant& value);

    TKind kind_ = TKind::None;
    TSetKind setKind_ = TSetKind::None;
    bool setHasNull_ = false;
    bool fieldOld_ = false;
    bool compiled_ = false;
    std::vector<double> setValues_;
    Variant constant_;
    const void* field_ = nullptr;
    std::string text_;
    std::string code_;
    std::unique_ptr<TQelExpration> left_, right_;
    IQelExprDataSet* dataSet_ = nullptr;
    //! The root's registered lists; children share the root's.
    std::shared_ptr<TQelExprLists> lists_;
    // Results of the children, kept between evaluations so that reads reuse their buffers.
    Variant leftValue_, rightValue_;
};

}  // namespace kubrix
