// Applying a layout from three name lists, as the host and the report editor do.

#include <exception>
#include <functional>
#include <string>

#include "pivot/Kubrix.h"
#include "support/CursorStack.h"
#include "support/ScopeGuard.h"

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
    // Every bracket closes, in order, even when one of the closes raises; the first error is
    // the one reported.
    UpdateBracket grid(*this);
    UpdateBracket data(DataFields);
    UpdateBracket x(XAxis);
    UpdateBracket y(YAxis);
    XAxis.Clear();
    YAxis.Clear();
    DataFields.Clear();
    GDataOrderBy = Variant();
    VDataOrderBy = Variant();
    // The axes' dictionaries are filled in one pass over the records before the fields are
    // placed one by one (a name that is no field is left to Add to report).
    std::vector<TQelOLAPField*> axisFields;
    auto collect = [&](const std::string& n) {
        if (TQelOLAPField* f = OLAPFields().FindField(n)) axisFields.push_back(f);
    };
    ForEachName(xFields, collect);
    ForEachName(yFields, collect);
    TQelOLAPField::FillValuesOf(axisFields);
    ForEachName(xFields, [this](const std::string& n) { XAxis.Add(n); });
    ForEachName(yFields, [this](const std::string& n) { YAxis.Add(n); });
    ForEachName(dFields, [this](const std::string& n) { DataFields.Add(n); });
    SetDataPlace(dataPlace);
    SetDataIndex(dataIndex);
}

}  // namespace kubrix
