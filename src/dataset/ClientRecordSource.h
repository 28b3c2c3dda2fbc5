#pragma once
// The in-memory dataset as a record source: its records in the stored form, addressed by
// their position in the full record list even while a record subset is in force, and its
// opening and closing told to the source's listeners (through a data link of its own, so
// they hear it exactly when the dataset's other links do).

#include "dataset/DataSource.h"
#include "support/RecordSource.h"

namespace kubrix {

class TQelODBCClient;
class TMemoryRecord;

class TClientRecordSource : public TRecordSource {
public:
    //! A source over client, which may go first (the source then reads as closed).
    explicit TClientRecordSource(TQelODBCClient& client);
    ~TClientRecordSource() override;

    bool Active() const override;
    int RecordCount() const override;
    int FieldCount() const override;
    TRecordField Field(int index) const override;
    const std::uint8_t* RecordData(int record) const override;
    const std::string* BlobData(int record, int field) const override;
    //! Told changes and the record store's own count of writes together.
    std::uint64_t Generation() const override;

private:
    class TLink : public TDataLink {
    public:
        explicit TLink(TClientRecordSource& owner) : owner_(owner) {}

    protected:
        void ActiveChanged() override;
        // Any change of the contents (a post, a delete, a refresh, a filter, an edit under
        // way) is a new generation of the records; a scroll is none.
        void DataSetChanged() override { owner_.Touch(); }
        void RecordChanged(TField*) override { owner_.Touch(); }
        void LayoutChanged() override { owner_.Touch(); }
        void DataSetScrolled(int) override {}

    private:
        TClientRecordSource& owner_;
    };

    //! The record at a position of the full list (loaded before it is read).
    TMemoryRecord* Record(int record) const;

    TQelODBCClient& client_;
    TDataSource source_;
    TLink link_;
};

}  // namespace kubrix
