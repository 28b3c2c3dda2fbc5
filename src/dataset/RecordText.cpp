#include "dataset/QelODBCClient.h"

#include "support/ScopeGuard.h"

namespace kubrix {

std::vector<std::string> TQelODBCClient::RecordDisplayTexts(int index, const std::vector<TField*>& fields) {
    std::vector<std::string> texts(fields.size());
    if (!Active() || index < 0 || index >= RealRecordCount() || !TempBuffer()) return texts;
    // The record goes into the spare buffer and the fields read it there under the filter state,
    // which reads the spare buffer and sends no data events.
    RecordToBuffer(Records[static_cast<std::size_t>(index)], TempBuffer(), index);
    const TDataSetState saved = SetTempState(dsFilter);
    ScopeExit restore([this, saved] { RestoreState(saved); });
    // Calculated and lookup fields were computed into the spare buffer with the record.
    for (std::size_t i = 0; i < fields.size(); ++i)
        if (fields[i]) texts[i] = fields[i]->DisplayText();
    return texts;
}

}  // namespace kubrix
