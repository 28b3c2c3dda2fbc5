#include "pivot/Kubrix.h"

#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"

namespace kubrix {

void TQelKubrixDataLink::ActiveChanged() {
    TraceScope trace(this, "TQelKubrixDataLink.ActiveChanged");
    grid_.DataSetActiveChanged();
}

TQelKubrix::TQelKubrix()
    : XAxis(*this, true),
      YAxis(*this, true),
      DataFields(*this, false),
      fields_(std::make_unique<TQelOLAPFields>(*this)),
      dataLink_(*this) {
    // The empty layout from the start: a view never shows a provisional grid of totals.
    UpdateGrid();
}

TQelKubrix::~TQelKubrix() {
    destroying_ = true;
    fields_->OnChange = nullptr;  // whoever listens may already be gone
    try {
        dataLink_.SetDataSource(nullptr);
    } catch (...) {
        // Leaving the data source only drops what this grid holds; nothing to report here.
    }
    XAxis.ClearIndex();
    YAxis.ClearIndex();
    fields_->FillFromData(nullptr);
}

TQelODBCClient* TQelKubrix::DataSet() const {
    auto* ds = dynamic_cast<TQelODBCClient*>(dataLink_.DataSet());
    return ds && ds->Active() ? ds : nullptr;
}

int TQelKubrix::RecordCount() const {
    TQelODBCClient* ds = DataSet();
    return ds ? ds->RealRecordCount() : 0;
}

void TQelKubrix::DataSetActiveChanged() {
    // The trees hold record indices and dictionary entries of the data just left behind.
    XAxis.ClearIndex();
    YAxis.ClearIndex();
    RecordIncluded.reset();
    TDataSet* ds = dataLink_.Active() ? dataLink_.DataSet() : nullptr;
    fields_->FillFromData(ds);
    // The old numbers must not stay on screen: lay out what the model holds now (an empty grid
    // when nothing is placed).
    UpdateGrid();
}

void TQelKubrix::ReleaseField(const TQelOLAPField* field) {
    XAxis.ForgetField(field);
    YAxis.ForgetField(field);
    DataFields.ForgetField(field);
    if (DataFields.Count() == 0) DataFields.IndexNames.clear();
}

void TQelKubrix::Repaint() {
    if (OnRepaint && !destroying_) OnRepaint();
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
    ++gridUpdates_;
    Repaint();
}

void TQelKubrix::CheckRecsVisible() {
    TraceScope trace(this, "TQelKubrix.CheckRecsVisible");
    TQelODBCClient* ds = DataSet();
    if (!ds) {
        RecordIncluded.reset();
        return;
    }
    RecordIncluded.emplace(static_cast<std::size_t>(ds->RealRecordCount()), std::uint8_t{1});
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
