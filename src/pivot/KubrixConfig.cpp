// Applying a layout from three name lists, as the host and the report editor do.

#include <exception>
#include <functional>
#include <string>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"

namespace kubrix {

namespace {

//! Every name followed by ";", in order; what follows the last ";" is no name.
void ForEachName(const std::string& list, const std::function<void(const std::string&)>& place) {
    std::size_t start = 0;
    for (std::size_t end; (end = list.find(';', start)) != std::string::npos; start = end + 1) {
        place(list.substr(start, end - start));
    }
}

}  // namespace

void TQelKubrix::Config(const std::string& xFields, const std::string& yFields, const std::string& dFields,
                        std::uint8_t dataPlace, std::uint8_t dataIndex) {
    TraceScope trace(this, "TQelKubrix.Config");
    BusyCursor busy;
    BeginUpdate();
    DataFields.BeginUpdate();
    XAxis.BeginUpdate();
    YAxis.BeginUpdate();
    // Closes every bracket still open, in order, even when one of the closes raises; the
    // first error is the one reported.
    auto close = [this] {
        std::exception_ptr first;
        for (auto step : {+[](TQelKubrix& g) { g.YAxis.EndUpdate(); }, +[](TQelKubrix& g) { g.XAxis.EndUpdate(); },
                          +[](TQelKubrix& g) { g.DataFields.EndUpdate(); }, +[](TQelKubrix& g) { g.EndUpdate(); }}) {
            try {
                step(*this);
            } catch (...) {
                if (!first) first = std::current_exception();
            }
        }
        if (first) std::rethrow_exception(first);
    };
    try {
        XAxis.Clear();
        YAxis.Clear();
        DataFields.Clear();
        GDataOrderBy = Variant();
        VDataOrderBy = Variant();
        ForEachName(xFields, [this](const std::string& n) { XAxis.Add(n); });
        ForEachName(yFields, [this](const std::string& n) { YAxis.Add(n); });
        ForEachName(dFields, [this](const std::string& n) { DataFields.Add(n); });
        SetDataPlace(dataPlace);
        SetDataIndex(dataIndex);
    } catch (...) {
        try {
            close();
        } catch (...) {
            // the first error is the one the caller hears of
        }
        throw;
    }
    close();
}

}  // namespace kubrix
