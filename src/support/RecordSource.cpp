#include "support/RecordSource.h"

#include <algorithm>

namespace kubrix {

TRecordSource::~TRecordSource() { Notify(TRecordSourceChange::Destroyed); }

const void* TRecordSource::FieldData(int record, int field) const {
    const TRecordField f = Field(field);
    if (f.Blob) return BlobData(record, field);
    if (f.Offset < 0) return nullptr;
    return RecordData(record) + f.Offset;
}

void TRecordSource::AddListener(IRecordSourceListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TRecordSource::RemoveListener(IRecordSourceListener* listener) { std::erase(listeners_, listener); }

void TRecordSource::Notify(TRecordSourceChange change) {
    Touch();
    const std::vector<IRecordSourceListener*> listeners = listeners_;
    for (IRecordSourceListener* l : listeners) {
        // A listener removed by an earlier one is no longer there to hear it.
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end()) l->RecordSourceChanged(*this, change);
    }
}

}  // namespace kubrix
