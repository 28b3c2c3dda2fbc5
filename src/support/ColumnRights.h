#pragma once
// What a dataset asks of the per-user rights on table columns: whether the current user may
// update one column of one table. The access manager answers it; a dataset without one lets
// every column be written.

#include <string>

namespace kubrix {

class IColumnRights {
public:
    virtual ~IColumnRights() = default;
    //! Whether the current user may update column of table (names as the update scripts give them).
    virtual bool CanUpdateColumn(const std::string& table, const std::string& column) = 0;
};

}  // namespace kubrix
