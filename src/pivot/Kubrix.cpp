#include "pivot/Kubrix.h"

#include <algorithm>

#include "support/CursorStack.h"

namespace kubrix {

TQelKubrix::TQelKubrix()
    : XAxis(*this, true), YAxis(*this, true), DataFields(*this, false), fields_(std::make_unique<TQelOLAPFields>(*this)) {
    // A provisional grid until the first UpdateGrid gives the real dimensions.
    TGridUpdateGuard batch(geometry_);
    geometry_.Cols().SetCount(5000);
    geometry_.Rows().SetCount(5000);
    geometry_.Cols().SetFixedCount(1);
    geometry_.Rows().SetFixedCount(1);
}

TQelKubrix::~TQelKubrix() {
    destroying_ = true;
    fields_->OnChange = nullptr;  // whoever listens may already be gone
    listeners_.clear();
    if (source_) source_->RemoveListener(this);
    source_ = nullptr;
    XAxis.ClearIndex();
    YAxis.ClearIndex();
    fields_->FillFromData(nullptr);
}

void TQelKubrix::SetRecordSource(TRecordSource* source) {
    if (source == source_) return;
    if (source_) source_->RemoveListener(this);
    const bool wasActive = Records() != nullptr;
    source_ = source;
    if (source_) source_->AddListener(this);
    if (wasActive || Records()) RecordsChanged();
}

void TQelKubrix::RecordSourceChanged(TRecordSource& source, TRecordSourceChange change) {
    if (&source != source_) return;
    TraceScope trace(this, "TQelKubrix.RecordSourceChanged");
    if (change == TRecordSourceChange::Destroyed) {
        source_->RemoveListener(this);
        source_ = nullptr;
    }
    RecordsChanged();
}

int TQelKubrix::RecordCount() const {
    const TRecordSource* records = Records();
    return records ? records->RecordCount() : 0;
}

void TQelKubrix::RecordsChanged() {
    // The trees hold record indices and dictionary entries of the data just left behind.
    XAxis.ClearIndex();
    YAxis.ClearIndex();
    RecordIncluded.reset();
    fields_->FillFromData(Records());
}

void TQelKubrix::AddListener(IKubrixListener* listener) {
    if (listener && std::find(listeners_.begin(), listeners_.end(), listener) == listeners_.end())
        listeners_.push_back(listener);
}

void TQelKubrix::RemoveListener(IKubrixListener* listener) { std::erase(listeners_, listener); }

void TQelKubrix::Tell(const std::function<void(IKubrixListener&)>& call) {
    if (destroying_) return;
    const std::vector<IKubrixListener*> listeners = listeners_;
    for (IKubrixListener* l : listeners) {
        if (std::find(listeners_.begin(), listeners_.end(), l) != listeners_.end()) call(*l);
    }
}

void TQelKubrix::ReleaseField(const TQelOLAPField* field) {
    XAxis.ForgetField(field);
    YAxis.ForgetField(field);
    DataFields.ForgetField(field);
    if (DataFields.Count() == 0) DataFields.IndexNames.clear();
}

void TQelKubrix::Repaint() {
    Tell([this](IKubrixListener& l) { l.KubrixShown(*this); });
}

void TQelKubrix::ApplyDataOrderBy(bool horizontal) { RefreshDataOrder(horizontal ? 'G' : 'V'); }

void TQelKubrix::EndUpdate() {
    if (UpdateLock > 0) --UpdateLock;
    if (UpdateLock != 0) return;
    const bool g = GDataOrderBy.IsArray(), v = VDataOrderBy.IsArray();
    if (g) ApplyDataOrderBy(true);
    if (v) ApplyDataOrderBy(false);
    if (!g && !v) UpdateGrid();
}

void TQelKubrix::UpdateGrid() {
    if (UpdateLock > 0 || destroying_) return;
    TraceScope trace(this, "TQelKubrix.UpdateGrid");
    UpdateNodesVisible();
    LayoutGrid();
    UpdateGridLayout();
    DataFields.UpdateCalcData();
    Repaint();
}

void TQelKubrix::CheckRecsVisible() {
    TraceScope trace(this, "TQelKubrix.CheckRecsVisible");
    const TRecordSource* records = Records();
    if (!records) {
        RecordIncluded.reset();
        return;
    }
    RecordIncluded.emplace(static_cast<std::size_t>(records->RecordCount()), std::uint8_t{1});
    auto& included = *RecordIncluded;
    auto walk = [&included](auto& self, const TOLAPNode* node, bool inherited) -> void {
        const bool selected = node->Entry->Selected;
        if (!node->Leaf) {
            for (const TOLAPNode* child : node->Children) self(self, child, inherited && selected);
            return;
        }
        for (std::int32_t r : node->Records) {
            if (r < 0 || static_cast<std::size_t>(r) >= included.size()) continue;
            auto& flag = included[static_cast<std::size_t>(r)];
            flag = static_cast<std::uint8_t>(inherited && flag && selected);
        }
    };
    for (const TQelOLAPVisibleFields* axis : {&XAxis, &YAxis}) {
        if (axis->Count() == 0 || !axis->Root || axis->Root->Leaf) continue;
        for (const TOLAPNode* child : axis->Root->Children) walk(walk, child, true);
    }
}

void TQelKubrix::UpdateNodesVisible() {
    TraceScope trace(this, "TQelKubrix.UpdateNodesVisible");
    CheckRecsVisible();
    XAxis.UpdateNodesVisible();
    YAxis.UpdateNodesVisible();
}

bool TQelKubrix::IsNodeVisible(const TQelOLAPVisibleFields&, const TOLAPNode* node) const {
    if (!node) return false;
    for (const TOLAPNode* p = node->Parent; p && p->Entry; p = p->Parent) {
        if (!p->Entry->Expanded) return false;
    }
    return true;
}

}  // namespace kubrix
