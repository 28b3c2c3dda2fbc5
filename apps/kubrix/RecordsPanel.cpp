#include "RecordsPanel.h"

#include <QLabel>
#include <QVBoxLayout>

#include <cstdio>
#include <fstream>
#include <iterator>

#include "control/KubrixX.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"
#include "session/GridExport.h"
#include "session/KubrixSession.h"
#include "support/Errors.h"
#include "support/StorageStream.h"
#include "ui/QelDBGrid.h"

namespace kubrix::app {

RecordsPanel::RecordsPanel(TKubrixX& control, QWidget* parent) : QWidget(parent), control_(control) {
    setObjectName("recordsPanel");
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    caption_ = new QLabel;
    caption_->setObjectName("recordsCaption");
    grid_ = new TQelDBGrid;
    grid_->setObjectName("records");
    layout->addWidget(caption_);
    layout->addWidget(grid_, 1);
    // A viewer: the pivot sums the stored records, so the panel does not change them.
    grid_->SetOptions(TQelCustomGrid::goColSizing);
    grid_->OnCanEditShow = [](TQelDBGrid&, TQelColumn&, bool& allow) { allow = false; };
    // A new result brings new columns: the kept layout and the totals go onto them again.
    connect(grid_, &TQelDBGrid::columnsRebound, this, [this] {
        for (int i = 0; i < grid_->ColumnCount(); ++i) grid_->Column(i).ReadOnly = true;
        if (!layout_.IsEmpty()) grid_->SetColumnsAsVariant(layout_);
        FollowLayout();
    });
    connect(&control_, &TKubrixX::layoutEdited, this, &RecordsPanel::FollowLayout);
    // The drill-down changes which records the dataset shows; the grid hears it, the caption follows.
    // Queued: the session notes its drill-down only after the dataset has told its controls.
    connect(grid_, &TQelDBGrid::recordsChanged, this, &RecordsPanel::UpdateCaption, Qt::QueuedConnection);
    grid_->SetDataSource(&control_.Session().dsData());
    FollowLayout();
}

RecordsPanel::~RecordsPanel() {
    // Leaves the dataset's data source before the grid goes, so that it hears nothing more.
    disconnect(grid_, nullptr, this, nullptr);
    grid_->SetDataSource(nullptr);
}

void RecordsPanel::UpdateCaption() {
    TKubrixSession& session = control_.Session();
    const auto& drill = session.DrillDownRecords();
    QString text = drill ? QString::fromUtf8("Записи ячейки: %1").arg(grid_->ShownRecordCount())
                         : QString::fromUtf8("Все записи: %1").arg(grid_->ShownRecordCount());
    caption_->setText(text);
}

void RecordsPanel::FollowLayout() {
    TQelODBCClient& data = control_.Session().qData();
    if (!data.Active()) {
        UpdateCaption();
        return;
    }
    const TQelOLAPVisibleFields& dataFields = control_.Grid().DataFields;
    bool any = false;
    for (TField* f : data.Fields()) {
        if (!TQelDBGrid::HasTotalSwitch(f)) continue;
        bool placed = false;
        for (int i = 0; i < dataFields.Count(); ++i) placed = placed || dataFields.Field(i).FieldName == f->FieldName();
        if (TQelDBGrid::TotalSwitch(f) != placed) TQelDBGrid::SetTotalSwitch(f, placed);
        any = any || placed;
    }
    grid_->TotalsInfo().Setshow_totals(any);
    grid_->viewport()->update();
    UpdateCaption();
}

std::string RecordsPanel::LayoutFileOf(const std::string& stateFile) { return stateFile + ".columns"; }

void RecordsPanel::SaveLayout(const std::string& stateFile) {
    TQelStorageStream stream;
    stream.SaveValue(grid_->GetColumnsAsVariant());
    const std::string file = LayoutFileOf(stateFile);
    const std::string temp = file + ".new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(stream.Data().data()), static_cast<std::streamsize>(stream.Data().size()));
        if (!out) throw Exception("Не удалось записать " + temp);
    }
    if (std::rename(temp.c_str(), file.c_str()) != 0) {
        std::remove(temp.c_str());
        throw Exception("Не удалось записать " + file);
    }
}

void RecordsPanel::LoadLayout(const std::string& stateFile) {
    std::ifstream in(LayoutFileOf(stateFile), std::ios::binary);
    if (!in) return;
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    TQelStorageStream stream;
    stream.Write(bytes.data(), bytes.size());
    stream.Seek(0);
    Variant layout;
    if (!stream.LoadValue(layout)) return;
    layout_ = layout;
    grid_->SetColumnsAsVariant(layout_);
    FollowLayout();
}

bool DrillAt(TKubrixX& control, const std::string& spec, std::string& error) {
    unsigned line = 0, cell = 0;
    char tail = 0;
    if (std::sscanf(spec.c_str(), "%u,%u%c", &line, &cell, &tail) != 2 || line > 1000000 || cell > 1000000) {
        error = "--drill must be ROW,COL (two numbers from 0)";
        return false;
    }
    int col = 0, row = 0;
    if (!VisibleCellAt(control.Grid(), false, static_cast<int>(line), static_cast<int>(cell), col, row) ||
        !control.Session().DrillDownCell(col, row)) {
        error = "--drill " + spec + ": not a data or total cell";
        return false;
    }
    return true;
}

}  // namespace kubrix::app
