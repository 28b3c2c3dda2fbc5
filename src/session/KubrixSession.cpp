#include "session/KubrixSession.h"

#include "support/Text.h"

namespace kubrix {

std::uint8_t DataPlaceFromText(const std::string& text) { return text == "Y" ? 1 : 0; }

TKubrixSession::TKubrixSession(TQelKubrix& grid) : grid_(grid) {
    grid_.RowNum = true;
    grid_.ColNum = true;
    grid_.CanEditGrid = true;
    grid_.ShowRowTotal = true;
    grid_.ShowColTotal = true;

    connection_ = std::make_unique<TQelODBCConnection>();
    // The host hands over complete connection strings; nobody is there to answer a prompt.
    connection_->LoginPromt = false;

    data_ = std::make_unique<TKubrixDataSet>();
    data_->SetConnection(connection_.get());
    data_->ReadOnly = true;
    data_->DoResyncRecordOnFirstAccess = false;
    data_->SetCheckRecordCount(true);
    data_->SetMaxRecordCount(0);
    data_->SQL_Select_InitFields = true;

    source_ = std::make_unique<TDataSource>();
    source_->SetDataSet(data_.get());
    records_ = std::make_unique<TClientRecordSource>(*data_);
    grid_.SetRecordSource(records_.get());
}

TKubrixSession::~TKubrixSession() {
    grid_.SetRecordSource(nullptr);
    records_.reset();
    source_->SetDataSet(nullptr);
    data_->Close();
    data_->SetConnection(nullptr);
}

void TKubrixSession::SetSQL(const std::string& sqlText) {
    data_->Close();
    drillDown_.reset();  // closing gave every record back
    data_->ClearFields();
    // The fields were dropped, so even the same text must be described afresh.
    data_->SetSQL_Select(std::string());
    data_->SetSQL_Select(sqlText);
    if (!Trim(data_->GetSQL_Select()).empty()) data_->Open();
}

void TKubrixSession::Config(const std::string& xFields, const std::string& yFields, const std::string& dFields,
                            const std::string& dataPlace, std::int32_t dataIndex) {
    grid_.Config(xFields, yFields, dFields, DataPlaceFromText(dataPlace),
                 static_cast<std::uint8_t>(static_cast<std::uint32_t>(dataIndex) & 0xFF));
}

std::string TKubrixSession::GetState() const { return grid_.GetFullState(); }

void TKubrixSession::SetState(const std::string& state) {
    if (state.empty()) return;
    grid_.SetFullState(state);
}

void TKubrixSession::SaveState(const std::string& fileName) { grid_.SaveFullStateToFile(fileName); }

bool TKubrixSession::LoadState(const std::string& fileName) { return grid_.LoadFullStateFromFile(fileName); }

void TKubrixSession::Connect(const std::string& connectionString) {
    connection_->Disconnect();
    connection_->ConnectionString = connectionString;
    connection_->Connect();
}

void TKubrixSession::ConnectTo1C() { ConnectToBackEnd(*connection_, BackEndLibrary); }

void TKubrixSession::Disconnect() { connection_->Disconnect(); }

void TKubrixSession::Close() { data_->Close(); }

void TKubrixSession::DrillDown(const std::optional<std::vector<std::int32_t>>& records) {
    data_->SetRecordFilter(records ? &*records : nullptr);
    drillDown_ = records;
    data_->CalcTotals();
}

bool TKubrixSession::DrillDownCell(int col, int row) {
    const TKubrixDims d = grid_.Dims();
    if (!data_->Active() || col < d.FixedCols || row < d.FixedRows || col >= d.ColCount || row >= d.RowCount)
        return false;
    // The grand total cell gives no list: every record again.
    DrillDown(grid_.DrillDownRecords(col, row));
    return true;
}

}  // namespace kubrix
