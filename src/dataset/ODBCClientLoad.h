#pragma once
// Opening an in-memory dataset from an SQL select: the select statement's result columns
// become field definitions and field objects, and opening loads every row straight into the
// records (the fetched row blocks become the records' data areas, nothing is copied again).
//
// TQelODBCSQLClient is the in-memory dataset with its select statement, its connection and
// the list of success-with-information texts; closing clears everything loaded.

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "dataset/QelODBCClient.h"
#include "odbc/ODBCConnection.h"

namespace kubrix {

class TQelODBCQuery;
class TQelODBCParams;

class TQelODBCSQLClient : public TQelODBCClient, public IODBCConnectionClient {
public:
    explicit TQelODBCSQLClient(TComponent* owner = nullptr);
    ~TQelODBCSQLClient() override;

    TQelODBCConnection* Connection() const { return connection_; }
    //! Leaves the old connection's clients, joins the new one's; the select statement follows.
    void SetConnection(TQelODBCConnection* connection);

    //! The select text.
    const std::string& GetSQL_Select() const;
    //! Sets the select text; unless it is blank, unchanged or SQL_Select_InitFields is off,
    //! describes the result and creates one field definition and field object per column.
    void SetSQL_Select(const std::string& text);
    TQelODBCParams& SQL_Select_Params();
    //! Create the fields when the select text is set.
    bool SQL_Select_InitFields = true;
    //! Called after the select text was set.
    std::function<void(TQelODBCSQLClient&)> OnSQL_SelectChange;
    //! Records are marked not loaded (re-read on first access).
    bool DoResyncRecordOnFirstAccess = false;
    //! Called after the rows were loaded.
    std::function<void(TQelODBCSQLClient&)> AfterDataLoad;
    //! Row cap of the select statement (applied when the connection has one).
    void SetCheckRecordCount(bool value);
    void SetMaxRecordCount(int value);

    //! Diagnostic texts (SQLSTATE followed by the message) gathered since the last open.
    std::vector<std::string> Errors;

    //! Replaces the field definitions by the statement's described result columns.
    void CopyStructure(TQelODBCQuery& statement);
    //! Lays the statement's result columns onto the record: the hook of the select statement.
    void OnCreateODBCField(TQelODBCQuery& statement);
    //! The error handler of the statements: appends the text.
    void CheckODBCError(const std::string& sqlState, const std::string& message);

    void SetActive(bool value) override;

    void ConnectionClosing() override { Close(); }
    void ConnectionDestroyed(TQelODBCConnection* connection) override;

protected:
    void LoadData() override;

private:
    void CreateFieldObjects();
    std::string FieldComponentName(const std::string& fieldName, int defIndex) const;

    TQelODBCConnection* connection_ = nullptr;
    std::unique_ptr<TQelODBCQuery> select_;
};

}  // namespace kubrix
