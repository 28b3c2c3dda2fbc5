#pragma once
// The control's working parts without any window: the connection `_1CConnection`, the
// dataset `qData` and the data source `dsData`, bound to a pivot grid model `ogData` that
// the owner supplies (the control's model, which its grid view shows, or a bare model in a
// headless export). Each operation calls the components in a fixed order and lets their
// errors rise.

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "dataset/ClientRecordSource.h"
#include "session/BackEndConnect.h"
#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "odbc/ODBCConnection.h"
#include "pivot/Kubrix.h"

namespace kubrix {

//! The control's dataset: an in-memory dataset whose field objects and definitions the
//! control can drop before it sets a new query.
class TKubrixDataSet : public TQelODBCClient {
public:
    //! Frees the field objects and the field definitions (the dataset must be closed).
    void ClearFields() {
        DestroyFields();
        FieldDefs().Clear();
    }
};

class TKubrixSession {
public:
    //! Creates the components with their fixed settings and binds grid to the data source.
    explicit TKubrixSession(TQelKubrix& grid);
    ~TKubrixSession();
    TKubrixSession(const TKubrixSession&) = delete;
    TKubrixSession& operator=(const TKubrixSession&) = delete;

    TQelKubrix& ogData() { return grid_; }
    TQelODBCConnection& _1CConnection() { return *connection_; }
    TKubrixDataSet& qData() { return *data_; }
    TDataSource& dsData() { return *source_; }

    //! The back-end library that ConnectTo1C loads (a file name or path for dlopen).
    std::string BackEndLibrary = kDefaultBackEndLibrary;

    //! Closes the dataset, clears its fields, sets the text and opens it unless it is blank.
    void SetSQL(const std::string& sqlText);
    //! Lays out the pivot; dataPlace "Y" (exactly) runs the data fields along the columns.
    void Config(const std::string& xFields, const std::string& yFields, const std::string& dFields,
                const std::string& dataPlace, std::int32_t dataIndex);
    //! The full layout state (arbitrary bytes).
    std::string GetState() const;
    //! Restores a layout state; an empty string changes nothing.
    void SetState(const std::string& state);
    void SaveState(const std::string& fileName);
    //! A missing file changes nothing; one with no layout in it is refused. False when the
    //! file was read only in part (what was read is applied).
    bool LoadState(const std::string& fileName);
    //! Disconnects, stores the string as it is and connects.
    void Connect(const std::string& connectionString);
    //! Adopts the back end's open connection; failures are shown in message boxes.
    void ConnectTo1C();
    void Disconnect();
    void Close();
    //! Narrows qData to records, by their place in the full record list (nullopt: every record
    //! again), and recomputes its totals: the dataset's drill-down. The grid keeps addressing
    //! the full record list.
    void DrillDown(const std::optional<std::vector<std::int32_t>>& records);
    //! The drill-down of the data or total cell (col, row) of the grid (the grand total cell
    //! brings every record back). False (nothing done) for any other cell.
    bool DrillDownCell(int col, int row);
    //! The records of the drill-down in force (nullopt: none, every record shown).
    const std::optional<std::vector<std::int32_t>>& DrillDownRecords() const { return drillDown_; }

private:
    TQelKubrix& grid_;
    std::unique_ptr<TQelODBCConnection> connection_;
    std::unique_ptr<TKubrixDataSet> data_;
    std::unique_ptr<TDataSource> source_;
    //! What the pivot reads: every record of qData, a drill-down or not.
    std::unique_ptr<TClientRecordSource> records_;
    std::optional<std::vector<std::int32_t>> drillDown_;
};

//! "X" gives 0 and "Y" gives 1 (whole text, case-sensitive); anything else gives 0.
std::uint8_t DataPlaceFromText(const std::string& text);

}  // namespace kubrix
