#include "session/RecordsExport.h"

#include <ostream>

#include "support/ValueCodec.h"

namespace kubrix {

std::vector<std::vector<TKubrixCell>> VisibleRecords(TQelODBCClient& dataSet) {
    std::vector<std::vector<TKubrixCell>> rows;
    std::vector<TField*> fields;
    for (TField* f : dataSet.Fields())
        if (f->Visible()) fields.push_back(f);
    std::vector<TKubrixCell> header;
    for (TField* f : fields) {
        TKubrixCell cell;
        cell.Text = f->FieldName();
        header.push_back(std::move(cell));
    }
    rows.push_back(std::move(header));
    if (!dataSet.Active()) return rows;
    for (dataSet.First(); !dataSet.Eof(); dataSet.Next()) {
        std::vector<TKubrixCell> row;
        for (TField* f : fields) {
            TKubrixCell cell;
            cell.Text = f->IsNull() ? std::string() : f->DisplayText();
            cell.Align = IsNumericType(f->DataType()) ? TKubrixCellAlign::Right : TKubrixCellAlign::Left;
            row.push_back(std::move(cell));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

void WriteRecords(TQelODBCClient& dataSet, TExportFormat format, std::ostream& out) {
    WriteCells(VisibleRecords(dataSet), format, out);
}

}  // namespace kubrix
