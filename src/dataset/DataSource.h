#pragma once
// Data sources connect a dataset to the controls that show it; a data link is one
// control's listener: it hears that the dataset opened or closed, that its contents or the
// current record changed, or that the cursor scrolled.

#include <cstdint>
#include <functional>
#include <vector>

#include "dataset/Component.h"
#include "dataset/DataSet.h"

namespace kubrix {

class TDataLink;

class TDataSource : public TComponent {
public:
    explicit TDataSource(TComponent* owner = nullptr);
    ~TDataSource() override;

    TDataSet* DataSet() const { return dataSet_; }
    void SetDataSet(TDataSet* dataSet);
    //! A disabled source tells its links nothing and shows them an inactive dataset.
    bool Enabled() const { return enabled_; }
    void SetEnabled(bool value);
    //! Controls may put the dataset in edit state when the user types.
    bool AutoEdit = true;
    TDataSetState State() const;

    std::function<void(TDataSource&)> OnStateChange;
    //! Called with the changed field, or nullptr for the whole record.
    std::function<void(TDataSource&, TField*)> OnDataChange;
    std::function<void(TDataSource&)> OnUpdateData;

    const std::vector<TDataLink*>& DataLinks() const { return links_; }

protected:
    void Notification(TComponent* component, TOperation operation) override;

private:
    friend class TDataSet;
    friend class TDataLink;
    void DataEvent(TDataEvent event, std::intptr_t info);
    void NotifyLinks(TDataEvent event, std::intptr_t info);

    TDataSet* dataSet_ = nullptr;
    bool enabled_ = true;
    TDataSetState lastState_ = dsInactive;
    std::vector<TDataLink*> links_;
};

class TDataLink {
public:
    TDataLink();
    virtual ~TDataLink();
    TDataLink(const TDataLink&) = delete;
    TDataLink& operator=(const TDataLink&) = delete;

    TDataSource* DataSource() const { return dataSource_; }
    void SetDataSource(TDataSource* source);
    TDataSet* DataSet() const;
    //! The source's dataset is open (and the source enabled).
    bool Active() const { return active_; }
    //! The dataset is in edit or insert state (as seen by this link).
    bool Editing() const { return editing_; }
    //! Puts the dataset in edit state when allowed; true when it is editing.
    bool Edit();
    //! Asks the linked control to write its pending change (UpdateData).
    void UpdateRecord();
    //! Records the control shows at once; one current record here.
    int BufferCount() const { return 1; }
    int ActiveRecord() const { return 0; }

protected:
    //! The dataset was opened or closed (Active tells which).
    virtual void ActiveChanged() {}
    //! The whole contents changed.
    virtual void DataSetChanged() { RecordChanged(nullptr); }
    //! The cursor moved by distance records.
    virtual void DataSetScrolled(int) { DataSetChanged(); }
    //! The fields or their display changed.
    virtual void LayoutChanged() { DataSetChanged(); }
    //! A value of the current record changed (nullptr: the whole record).
    virtual void RecordChanged(TField*) {}
    virtual void EditingChanged() {}
    //! The control must write its pending change into the field.
    virtual void UpdateData() {}
    virtual void CheckBrowseMode() {}

private:
    friend class TDataSource;
    void DataEvent(TDataEvent event, std::intptr_t info);
    void UpdateState();

    TDataSource* dataSource_ = nullptr;
    bool active_ = false;
    bool editing_ = false;
    bool updating_ = false;
};

}  // namespace kubrix
