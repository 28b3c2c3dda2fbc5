#include "dataset/DataSource.h"
#include "support/ScopeGuard.h"

#include <algorithm>

namespace kubrix {

TDataSource::TDataSource(TComponent* owner) : TComponent(owner) {}

TDataSource::~TDataSource() {
    auto links = links_;
    links_.clear();
    for (TDataLink* l : links) {
        l->dataSource_ = nullptr;
        l->UpdateState();
    }
    if (dataSet_) {
        auto& list = dataSet_->dataSources_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TDataSource::SetDataSet(TDataSet* dataSet) {
    if (dataSet == dataSet_) return;
    if (dataSet_) {
        auto& list = dataSet_->dataSources_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    dataSet_ = dataSet;
    if (dataSet_) dataSet_->dataSources_.push_back(this);
    NotifyLinks(TDataEvent::deUpdateState, 0);
    lastState_ = State();
}

void TDataSource::SetEnabled(bool value) {
    if (enabled_ == value) return;
    enabled_ = value;
    NotifyLinks(TDataEvent::deUpdateState, 0);
}

TDataSetState TDataSource::State() const { return dataSet_ && enabled_ ? dataSet_->State() : dsInactive; }

void TDataSource::Notification(TComponent* component, TOperation operation) {
    TComponent::Notification(component, operation);
}

void TDataSource::NotifyLinks(TDataEvent event, std::intptr_t info) {
    auto links = links_;
    for (TDataLink* l : links)
        if (std::find(links_.begin(), links_.end(), l) != links_.end()) l->DataEvent(event, info);
}

void TDataSource::DataEvent(TDataEvent event, std::intptr_t info) {
    if (!enabled_) return;
    if (event == TDataEvent::deUpdateState) {
        NotifyLinks(event, info);
        if (State() != lastState_) {
            lastState_ = State();
            if (OnStateChange) OnStateChange(*this);
        }
        return;
    }
    NotifyLinks(event, info);
    switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
        if (OnDataChange) OnDataChange(*this, reinterpret_cast<TField*>(info));
        break;
    case TDataEvent::deDataSetChange:
    case TDataEvent::deDataSetScroll:
    case TDataEvent::deLayoutChange:
        if (OnDataChange) OnDataChange(*this, nullptr);
        break;
    case TDataEvent::deUpdateRecord:
        if (OnUpdateData) OnUpdateData(*this);
        break;
    default: break;
    }
}

TDataLink::TDataLink() = default;

TDataLink::~TDataLink() {
    if (dataSource_) {
        auto& list = dataSource_->links_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
}

void TDataLink::SetDataSource(TDataSource* source) {
    if (source == dataSource_) return;
    if (dataSource_) {
        auto& list = dataSource_->links_;
        list.erase(std::remove(list.begin(), list.end(), this), list.end());
    }
    dataSource_ = source;
    if (dataSource_) dataSource_->links_.push_back(this);
    UpdateState();
}

TDataSet* TDataLink::DataSet() const { return dataSource_ ? dataSource_->DataSet() : nullptr; }

void TDataLink::UpdateState() {
    TDataSet* ds = DataSet();
    bool nowActive = dataSource_ && dataSource_->Enabled() && ds && ds->Active();
    if (nowActive != active_) {
        active_ = nowActive;
        ActiveChanged();
    }
    bool nowEditing = active_ && (ds->State() == dsEdit || ds->State() == dsInsert);
    if (nowEditing != editing_) {
        editing_ = nowEditing;
        EditingChanged();
    }
}

bool TDataLink::Edit() {
    TDataSet* ds = DataSet();
    if (active_ && !editing_ && dataSource_->AutoEdit && ds->State() == dsBrowse && ds->CanModify()) ds->Edit();
    return editing_;
}

void TDataLink::UpdateRecord() {
    updating_ = true;
    ScopeExit done([this] { updating_ = false; });
    UpdateData();
}

void TDataLink::DataEvent(TDataEvent event, std::intptr_t info) {
    if (event == TDataEvent::deUpdateState) {
        UpdateState();
        return;
    }
    if (!active_) return;
    switch (event) {
    case TDataEvent::deFieldChange:
    case TDataEvent::deRecordChange:
        if (!updating_) RecordChanged(reinterpret_cast<TField*>(info));
        break;
    case TDataEvent::deDataSetChange: DataSetChanged(); break;
    case TDataEvent::deDataSetScroll: DataSetScrolled(static_cast<int>(info)); break;
    case TDataEvent::deLayoutChange: LayoutChanged(); break;
    case TDataEvent::deUpdateRecord: UpdateRecord(); break;
    case TDataEvent::deCheckBrowseMode: CheckBrowseMode(); break;
    default: break;
    }
}

}  // namespace kubrix
