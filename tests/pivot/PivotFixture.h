#pragma once
// A pivot over a real in-memory dataset whose rows are added in code: the dataset, its data
// source and the grid model, wired as the control wires them.

#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/ClientRecordSource.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"
#include "support/FormatSettings.h"
#include "support/Variant.h"

namespace kubrix::testing {

//! The message of what f raises, or "<no error>".
inline std::string ErrorOf(const std::function<void()>& f) {
    try {
        f();
    } catch (const std::exception& e) {
        return e.what();
    }
    return "<no error>";
}

//! Number settings that make sums read "1234.50": "." and no thousands separator.
inline FormatSettings Plain() {
    FormatSettings fs;
    fs.DecimalSeparator = '.';
    fs.ThousandSeparator = "";
    return fs;
}

struct Column {
    std::string name;
    TFieldType type;
    int size = 0;
};

inline Variant S(const char* text) { return Variant::FromAnsi(text); }
inline Variant I(int v) { return Variant::FromInt32(v); }
inline Variant D(double v) { return Variant::FromDouble(v); }
inline Variant N() { return Variant::Null(); }

//! Grid model that counts its layout passes (the hook a view overrides).
class CountingKubrix : public TQelKubrix {
public:
    int Layouts = 0;

protected:
    void UpdateGridLayout() override { ++Layouts; }
};

class Pivot {
public:
    //! Opens a dataset with the columns and the rows (one Variant per column).
    Pivot(const std::vector<Column>& columns, const std::vector<std::vector<Variant>>& rows) {
        for (const auto& c : columns) ds.FieldDefs().Add(c.name, c.type, c.size);
        grid.SetRecordSource(&source);
        ds.Open();
        for (const auto& row : rows) AddRow(row);
    }

    void AddRow(const std::vector<Variant>& row) {
        ds.AddRecord();
        const int index = ds.RealRecordCount() - 1;
        for (std::size_t k = 0; k < row.size(); ++k) ds.SetFieldValueInBuffer(ds.Fields()[k], index, row[k]);
    }

    //! Places the fields as a layout is applied: all lists cleared and filled inside update
    //! brackets, trees then sums built when the brackets close.
    void Config(const std::vector<std::string>& x, const std::vector<std::string>& y,
                const std::vector<std::string>& d) {
        grid.BeginUpdate();
        grid.DataFields.BeginUpdate();
        grid.XAxis.BeginUpdate();
        grid.YAxis.BeginUpdate();
        auto close = [this] {
            grid.YAxis.EndUpdate();
            grid.XAxis.EndUpdate();
            grid.DataFields.EndUpdate();
            grid.EndUpdate();
        };
        try {
            grid.XAxis.Clear();
            grid.YAxis.Clear();
            grid.DataFields.Clear();
            for (const auto& n : x) grid.XAxis.Add(n);
            for (const auto& n : y) grid.YAxis.Add(n);
            for (const auto& n : d) grid.DataFields.Add(n);
        } catch (...) {
            close();
            throw;
        }
        close();
    }

    TQelOLAPField& Field(const std::string& name) { return grid.OLAPFields().FieldByName(name); }

    //! Text of a node's path of values, "A1·B2"; "root" for the root.
    std::string Path(const TOLAPNode* node) {
        if (!node || !node->Entry) return "root";
        std::string s;
        for (const TOLAPNode* n = node; n && n->Entry; n = n->Parent) {
            const TQelOLAPVisibleFields& axis = Owns(grid.XAxis, node) ? grid.XAxis : grid.YAxis;
            const std::string text = axis.LevelField(n->Level)->ValueToText(n->Entry->Buffer());
            s = s.empty() ? text : text + "·" + s;
        }
        return s;
    }

    //! Paths of an axis's rows, in row order.
    std::vector<std::string> RowPaths(const TQelOLAPVisibleFields& axis) {
        std::vector<std::string> out;
        for (const TOLAPNode* n : axis.Rows) out.push_back(Path(n));
        return out;
    }

    //! The row of the node with that path, -1 when none.
    int RowOf(const TQelOLAPVisibleFields& axis, const std::string& path) {
        for (int r = 0; r < axis.RowCount(); ++r) {
            if (Path(axis.Rows[static_cast<std::size_t>(r)]) == path) return r;
        }
        return -1;
    }

    //! The cell text of the nodes with those paths ("" for a root), data field 0.
    std::string Cell(const std::string& xPath, const std::string& yPath, int dataIndex = 0) {
        const int xr = xPath.empty() ? grid.XAxis.RowCount() : RowOf(grid.XAxis, xPath);
        const int yr = yPath.empty() ? grid.YAxis.RowCount() : RowOf(grid.YAxis, yPath);
        if (xr < 0 || yr < 0) return "<no row>";
        std::string text;
        grid.DataFields.DataText(xr, yr, text, dataIndex);
        return text;
    }

    // Destroyed in reverse: the grid leaves the source before the dataset goes.
    TQelODBCClient ds;
    TClientRecordSource source{ds};
    CountingKubrix grid;

private:
    static bool Owns(const TQelOLAPVisibleFields& axis, const TOLAPNode* node) {
        const TOLAPNode* n = node;
        while (n->Parent) n = n->Parent;
        return axis.Root.get() == n;
    }
};

}  // namespace kubrix::testing
