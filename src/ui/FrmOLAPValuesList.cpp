#include "ui/FrmOLAPValuesList.h"

#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStatusBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <algorithm>

#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "pivot/Kubrix.h"
#include "pivot/OLAPField.h"
#include "support/CursorStack.h"
#include "support/ScopeGuard.h"
#include "support/Text.h"
#include "ui/QelDBGrid.h"

namespace kubrix {

namespace {

constexpr int kNameWidth = 196;
constexpr int kCheckedWidth = 43;

QIcon ImageIcon(int index) { return QIcon(QPixmap::fromImage((*StandardImageList())[static_cast<std::size_t>(index)])); }

}  // namespace

TfrmOLAPValuesList::TfrmOLAPValuesList(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::FramelessWindowHint), Data(std::make_unique<TQelODBCClient>()),
      Source(std::make_unique<TDataSource>()) {
    setObjectName("frmOLAPValuesList");
    Data->FieldDefs().Add("Name", ftMemo);
    Data->FieldDefs().Add("Object", ftInteger);
    Data->FieldDefs().Add("Checked", ftBoolean);
    Data->SetOnFilterRecord([this](TDataSet& ds, bool& hide) { FilterByQuotedText(ds, hide); });
    Data->Open();
    Data->FieldByName("Name")->SetReadOnly(true);
    Data->SetOrderBy(" name ASC");
    // The list is the caller's values: a row the grid would add is dropped at once.
    Data->AfterInsert = [](TDataSet& ds) { ds.Cancel(); };
    Source->SetDataSet(Data.get());

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(2, 2, 2, 2);
    top->setSpacing(2);
    auto* row = new QHBoxLayout;
    eFind = new QLineEdit;
    eFind->setObjectName("eFind");
    eFind->setToolTip(QString::fromUtf8("Введите искомую строку"));
    eFind->installEventFilter(this);
    bFind = new QToolButton;
    bFind->setObjectName("bFind");
    bFind->setAutoRaise(true);
    bFind->setText(QString::fromUtf8("Поиск"));
    bFind->setToolTip(QString::fromUtf8("Выполнить поиск"));
    bCheckAll = new QToolButton;
    bCheckAll->setObjectName("bCheckAll");
    bCheckAll->setIcon(ImageIcon(1));
    bCheckAll->setToolTip(QString::fromUtf8("Выбрать все"));
    bUncheckAll = new QToolButton;
    bUncheckAll->setObjectName("bUncheckAll");
    bUncheckAll->setIcon(ImageIcon(0));
    bUncheckAll->setToolTip(QString::fromUtf8("Отменить все"));
    bOk = new QPushButton("Ok");
    bOk->setObjectName("bOk");
    bOk->setToolTip(QString::fromUtf8("Установить отбор"));
    bCancel = new QPushButton("Cancel");
    bCancel->setObjectName("bCancel");
    bCancel->setToolTip(QString::fromUtf8("Закрыть"));
    // Enter belongs to the search box, not to a default button.
    for (QPushButton* b : {bOk, bCancel}) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
    row->addWidget(eFind, 1);
    row->addWidget(bFind);
    row->addWidget(bCheckAll);
    row->addWidget(bUncheckAll);
    row->addWidget(bOk);
    row->addWidget(bCancel);
    top->addLayout(row);

    dbgData = new TQelDBGrid;
    dbgData->setObjectName("dbgData");
    dbgData->CanEditCols = false;
    dbgData->TotalsInfo().Setshow_totals(false);
    dbgData->SetShowVerticalScroll(true);
    TQelColumn& name = dbgData->AddColumn("Name");
    name.SetWidth(kNameWidth);
    name.ReadOnly = true;
    name.LocalFilter = false;
    TQelColumn& checked = dbgData->AddColumn("Checked");
    checked.SetWidth(kCheckedWidth);
    checked.LocalFilter = false;
    checked.Color = palette().color(QPalette::Midlight);
    checked.ImageList = StandardImageList();
    checked.ImageList_TrueInd = 1;
    checked.ImageList_FalseInd = 0;
    dbgData->OnResize = [this] { FitNameColumn(); };
    dbgData->SetDataSource(Source.get());
    top->addWidget(dbgData, 1);

    auto* status = new QStatusBar;
    status->setSizeGripEnabled(false);
    sbInfo = new QLabel;
    sbInfo->setObjectName("sbInfo");
    sbInfo->setMinimumWidth(150);
    status->addWidget(sbInfo);
    top->addWidget(status);

    connect(bFind, &QToolButton::clicked, this, &TfrmOLAPValuesList::bFindClick);
    connect(bCheckAll, &QToolButton::clicked, this, &TfrmOLAPValuesList::aCheckAllExecute);
    connect(bUncheckAll, &QToolButton::clicked, this, &TfrmOLAPValuesList::aUncheckAllExecute);
    connect(bOk, &QPushButton::clicked, this, &TfrmOLAPValuesList::bOkClick);
    connect(bCancel, &QPushButton::clicked, this, &TfrmOLAPValuesList::bCancelClick);
    connect(dbgData, &TQelDBGrid::recordsChanged, this, &TfrmOLAPValuesList::UpdateStatus);
    resize(269, 352);
    UpdateStatus();
}

TfrmOLAPValuesList::~TfrmOLAPValuesList() {
    dbgData->OnResize = nullptr;
    dbgData->SetDataSource(nullptr);
}

void TfrmOLAPValuesList::AddItem(const std::string& text, int object, bool checked) {
    Data->AddRecord();
    const int r = Data->RealRecordCount() - 1;
    Data->SetFieldValueInBuffer(Data->FieldByName("Name"), r, Variant::FromAnsi(text));
    Data->SetFieldValueInBuffer(Data->FieldByName("Object"), r, Variant::FromInt32(object));
    Data->SetFieldValueInBuffer(Data->FieldByName("Checked"), r, Variant::FromBool(checked));
}

int TfrmOLAPValuesList::ItemCount() const { return Data->RealRecordCount(); }

int TfrmOLAPValuesList::GetItemObject(int index) const {
    Variant v;
    Data->GetFieldValueFromBuffer(Data->FieldByName("Object"), index, v);
    return v.IsEmptyOrNull() ? 0 : v.ToInt32();
}

bool TfrmOLAPValuesList::GetItemChecked(int index) const {
    Variant v;
    Data->GetFieldValueFromBuffer(Data->FieldByName("Checked"), index, v);
    return !v.IsEmptyOrNull() && v.ToBool();
}

std::string TfrmOLAPValuesList::SearchFilter(const std::string& text) {
    // The filter language keeps a doubled quote doubled inside a literal, so no literal can
    // stand for a quote: each one becomes a wildcard here, and OnFilterRecord keeps only the
    // names that hold the text itself.
    std::string pattern = text;
    std::replace(pattern.begin(), pattern.end(), '\'', '%');
    return "name like '%" + pattern + "%'";
}

void TfrmOLAPValuesList::FilterByQuotedText(TDataSet&, bool& hide) {
    if (hide || QuotedSearch.empty()) return;
    Variant v;
    Data->GetFilterFieldValue(Data->FieldByName("Name"), "new", v);
    hide = v.IsEmptyOrNull() || Utf8Upper(v.ToAnsi()).find(QuotedSearch) == std::string::npos;
}

void TfrmOLAPValuesList::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    Data->RefreshOrderBy();
    Data->Refresh();
    Data->First();
    FitNameColumn();
    UpdateStatus();
}

void TfrmOLAPValuesList::bFindClick() {
    PostPending();
    if (eFind->text().trimmed().isEmpty()) {
        Data->SetFiltered(false);
    } else {
        Data->DisableControls();
        ScopeExit enable([this] { Data->EnableControls(); });
        Data->SetFiltered(false);
        const std::string text = eFind->text().toStdString();
        QuotedSearch = text.find('\'') == std::string::npos ? std::string() : Utf8Upper(text);
        Data->SetFilterText(SearchFilter(text));
        Data->SetFiltered(true);
    }
    UpdateStatus();
}

void TfrmOLAPValuesList::SetAllChecked(bool value) {
    if (Data->IsEmpty()) return;
    BusyCursor busy;
    PostPending();
    TField* checked = Data->FieldByName("Checked");
    // Only what the search shows: the values it hides keep their state.
    for (int r = 0; r < Data->RealRecordCount(); ++r)
        if (Data->IsRecordVisible(r)) Data->SetFieldValueInBuffer(checked, r, Variant::FromBool(value));
    Data->Refresh();
    dbgData->viewport()->update();
}

void TfrmOLAPValuesList::PostPending() {
    if (Data->State() == dsEdit || Data->State() == dsInsert) Data->Post();
}

void TfrmOLAPValuesList::bOkClick() {
    PostPending();
    accept();
}

QString TfrmOLAPValuesList::StatusText() const {
    if (!Data->Active()) return {};
    // The dataset's RecordCount counts the records the search hides too.
    int shown = 0;
    for (int r = 0; r < Data->RealRecordCount(); ++r)
        if (Data->IsRecordVisible(r)) ++shown;
    QString text = QString::fromUtf8("Количество значений = ") + QString::number(shown);
    if (Data->Filtered()) text += QString::fromUtf8(" (Фильтр)");
    return text;
}

void TfrmOLAPValuesList::UpdateStatus() { sbInfo->setText(StatusText()); }

void TfrmOLAPValuesList::FitNameColumn() {
    if (dbgData->ColumnCount() < 2) return;
    const int width = dbgData->viewport()->width() - dbgData->Column(1).Width() - 2 - TQelDBGrid::IndicatorWidth;
    if (width > 0) dbgData->Column(0).SetWidth(width);
}

bool TfrmOLAPValuesList::eventFilter(QObject* watched, QEvent* event) {
    if (watched == eFind && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            bFindClick();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ShowValuesFilter(QWidget* parent, const QPoint& topLeft, TQelOLAPField& field) {
    TfrmOLAPValuesList popup(parent);
    popup.move(topLeft);
    {
        BusyCursor busy;
        // The key is the entry's place in the field's dictionary.
        for (std::size_t i = 0; i < field.Values.size(); ++i) {
            const TOLAPValueEntry& entry = *field.Values[i];
            popup.AddItem(field.ValueToText(entry.Buffer()), static_cast<int>(i), entry.Selected);
        }
    }
    if (popup.exec() != QDialog::Accepted) return false;
    BusyCursor busy;
    for (int i = 0; i < popup.ItemCount(); ++i) {
        const int key = popup.GetItemObject(i);
        if (key < 0 || static_cast<std::size_t>(key) >= field.Values.size()) continue;
        field.Values[static_cast<std::size_t>(key)]->Selected = popup.GetItemChecked(i);
    }
    field.Grid().UpdateGrid();
    return true;
}

}  // namespace kubrix
