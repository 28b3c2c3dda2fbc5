#include "ui/FrmColumnsEditor.h"

#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QSpinBox>
#include <QVBoxLayout>

#include <algorithm>
#include <exception>

#include "dataset/DataSource.h"
#include "dataset/QelODBCClient.h"
#include "support/StorageStream.h"
#include "support/UiServices.h"
#include "ui/QelDBGrid.h"

namespace kubrix {

namespace {

const char* const kCaption = "Редактор столбцов";

QIcon Swatch(const QColor& color) {
    QPixmap pm(16, 12);
    pm.fill(color);
    QPainter p(&pm);
    p.setPen(Qt::gray);
    p.drawRect(0, 0, 15, 11);
    return QIcon(pm);
}

}  // namespace

TColorBox::TColorBox(QWidget* parent) : QComboBox(parent) {
    const std::pair<const char*, QColor> standard[] = {
        {"Белый", Qt::white},           {"Серебристый", QColor(0xC0, 0xC0, 0xC0)}, {"Светло-серый", QColor(230, 230, 230)},
        {"Серый", QColor(0x80, 0x80, 0x80)}, {"Жёлтый", Qt::yellow}, {"Светло-зелёный", QColor(0xC0, 0xFF, 0xC0)},
        {"Голубой", QColor(0xA6, 0xCA, 0xF0)}, {"Кремовый", QColor(0xFF, 0xFB, 0xF0)}};
    for (const auto& [name, color] : standard) addItem(Swatch(color), QString::fromUtf8(name), color);
}

QColor TColorBox::Color() const { return currentData().value<QColor>(); }

void TColorBox::SetColor(const QColor& color) {
    for (int i = 0; i < count(); ++i)
        if (itemData(i).value<QColor>() == color) {
            setCurrentIndex(i);
            return;
        }
    addItem(Swatch(color), color.name(), color);
    setCurrentIndex(count() - 1);
}

TfrmColumnsEditor::TfrmColumnsEditor(TQelDBGrid* grid)
    : QWidget(grid, Qt::Tool | Qt::WindowStaysOnTopHint), Grid(grid), Data(std::make_unique<TQelODBCClient>()),
      Source(std::make_unique<TDataSource>()) {
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf8(kCaption));
    setObjectName("frmColumnsEditor");
    Data->FieldDefs().Add("Column", ftInteger);
    Data->FieldDefs().Add("Name", ftString, 255);
    Data->FieldDefs().Add("Visible", ftBoolean);
    Data->FieldDefs().Add("Modified", ftBoolean);
    Data->FieldDefs().Add("Width", ftInteger);
    Data->FieldDefs().Add("show_totals", ftBoolean);
    Data->Open();
    Data->FieldByName("Column")->SetVisible(false);
    Data->FieldByName("Modified")->SetVisible(false);
    Data->FieldByName("Name")->SetReadOnly(true);
    Source->SetDataSet(Data.get());

    auto* top = new QVBoxLayout(this);
    dbgData = new TQelDBGrid;
    dbgData->setObjectName("dbgData");
    dbgData->CanEditCols = false;
    auto addColumn = [&](const char* field, const char* title, int width) -> TQelColumn& {
        TQelColumn& c = dbgData->AddColumn(field);
        c.SetTitle(QString::fromUtf8(title));
        c.SetWidth(width);
        c.LocalFilter = false;
        return c;
    };
    addColumn("Name", "Столбец", 221).ReadOnly = true;
    TQelColumn& visible = addColumn("Visible", "Видимость", 65);
    visible.Color = palette().color(QPalette::Window);
    visible.ImageList = StandardImageList();
    visible.ImageList_TrueInd = 1;
    visible.ImageList_FalseInd = 0;
    addColumn("Width", "Ширина", 64);
    TQelColumn& totals = addColumn("show_totals", "Итоги", 39);
    totals.Color = palette().color(QPalette::Midlight);
    totals.ImageList = StandardImageList();
    totals.ImageList_TrueInd = 1;
    totals.ImageList_FalseInd = 0;
    dbgData->TotalsInfo().Setshow_totals(false);
    dbgData->viewport()->installEventFilter(this);
    dbgData->installEventFilter(this);
    top->addWidget(dbgData, 1);

    auto* form = new QGridLayout;
    cbTotalsPlace = new QComboBox;
    cbTotalsPlace->setObjectName("cbTotalsPlace");
    cbTotalsPlace->addItems({QString::fromUtf8("Снизу"), QString::fromUtf8("Сверху")});
    cbBackColor = new TColorBox;
    cbBackColor->setObjectName("cbBackColor");
    cbColor = new TColorBox;
    cbColor->setObjectName("cbColor");
    ceFixedCols = new QSpinBox;
    ceFixedCols->setObjectName("ceFixedCols");
    ceFixedCols->setRange(0, 1000);
    auto* backButton = new QPushButton("...");
    auto* colorButton = new QPushButton("...");
    backButton->setObjectName("bBackColor");
    colorButton->setObjectName("bColor");
    connect(backButton, &QPushButton::clicked, this, [this] { ChooseColor(cbBackColor); });
    connect(colorButton, &QPushButton::clicked, this, [this] { ChooseColor(cbColor); });
    form->addWidget(new QLabel(QString::fromUtf8("Расположение итогов")), 0, 0);
    form->addWidget(cbTotalsPlace, 0, 1);
    form->addWidget(new QLabel(QString::fromUtf8("Цвет фона")), 1, 0);
    form->addWidget(cbBackColor, 1, 1);
    form->addWidget(backButton, 1, 2);
    form->addWidget(new QLabel(QString::fromUtf8("Цвет")), 2, 0);
    form->addWidget(cbColor, 2, 1);
    form->addWidget(colorButton, 2, 2);
    form->addWidget(new QLabel(QString::fromUtf8("Фиксированных полей")), 3, 0);
    form->addWidget(ceFixedCols, 3, 1);
    top->addLayout(form);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    bOk = new QPushButton("Ok");
    bCancel = new QPushButton("Cancel");
    bOk->setObjectName("bOk");
    bCancel->setObjectName("bCancel");
    connect(bOk, &QPushButton::clicked, this, &TfrmColumnsEditor::bOkClick);
    connect(bCancel, &QPushButton::clicked, this, &TfrmColumnsEditor::bCancelClick);
    buttons->addWidget(bOk);
    buttons->addWidget(bCancel);
    top->addLayout(buttons);
    resize(460, 420);

    SetGrid();
    dbgData->SetDataSource(Source.get());
    // Posting marks the record and the editor changed; new records are not wanted here.
    Data->BeforePost = [](TDataSet& ds) { ds.FieldByName("Modified")->SetAsBoolean(true); };
    Data->AfterPost = [this](TDataSet&) { ChangedFlag = true; };
    Data->AfterInsert = [](TDataSet& ds) { ds.Cancel(); };
    Data->AfterScroll = [this](TDataSet&) { RecordMoved(); };
    RecordMoved();
}

TfrmColumnsEditor::~TfrmColumnsEditor() {
    Data->AfterScroll = nullptr;
    dbgData->SetDataSource(nullptr);
}

void TfrmColumnsEditor::SetGrid() {
    Handles.clear();
    TField* fColumn = Data->FieldByName("Column");
    TField* fName = Data->FieldByName("Name");
    TField* fVisible = Data->FieldByName("Visible");
    TField* fModified = Data->FieldByName("Modified");
    TField* fWidth = Data->FieldByName("Width");
    TField* fTotals = Data->FieldByName("show_totals");
    int current = 0;
    for (int i = 0; i < Grid->ColumnCount(); ++i) {
        TQelColumn& c = Grid->Column(i);
        if (!c.EnabledForEditor) continue;
        if (i == Grid->SelectedIndex()) current = static_cast<int>(Handles.size());
        const int handle = static_cast<int>(Handles.size());
        Handles.push_back(&c);
        Data->AddRecord();
        const int r = Data->RealRecordCount() - 1;
        Data->SetFieldValueInBuffer(fColumn, r, Variant::FromInt32(handle));
        Data->SetFieldValueInBuffer(fName, r, Variant::FromAnsi(c.Title().toStdString()));
        Data->SetFieldValueInBuffer(fVisible, r, Variant::FromBool(c.Visible()));
        Data->SetFieldValueInBuffer(fModified, r, Variant::FromBool(false));
        Data->SetFieldValueInBuffer(fWidth, r, Variant::FromInt32(c.Width()));
        Data->SetFieldValueInBuffer(fTotals, r,
                                    Variant::FromBool(c.Field() && TQelDBGrid::TotalSwitch(c.Field())));
    }
    Data->First();
    if (!Handles.empty()) Data->SetRecNo(current + 1);
    cbTotalsPlace->setCurrentIndex(Grid->TotalsInfo().Place());
    cbColor->SetColor(Grid->TotalsInfo().Color());
    cbBackColor->SetColor(Grid->TotalsInfo().BackColor());
    ceFixedCols->setValue(Grid->FixedCols());
    ChangedFlag = false;
}

void TfrmColumnsEditor::RecordMoved() {
    if (Data->IsEmpty() || !dbgData) return;
    const int handle = Data->FieldByName("Column")->AsInteger();
    if (handle < 0 || handle >= static_cast<int>(Handles.size())) return;
    TQelColumn* column = Handles[static_cast<std::size_t>(handle)];
    // Only a data field that carries totals has a switch to change.
    TField* f = column->Field();
    const bool canTotal = f && f->FieldKind() == fkData && TQelDBGrid::HasTotalSwitch(f);
    if (TQelColumn* totals = dbgData->ColumnByField(Data->FieldByName("show_totals"))) totals->ReadOnly = !canTotal;
    Grid->SetSelectedIndex(column->Index());
}

void TfrmColumnsEditor::AfterVisibleClick() {
    if (Data->State() != dsEdit) return;
    const int handle = Data->FieldByName("Column")->AsInteger();
    if (handle < 0 || handle >= static_cast<int>(Handles.size())) return;
    if (!Data->FieldByName("Visible")->AsBoolean() && Handles[static_cast<std::size_t>(handle)]->Filtered()) {
        Data->Cancel();
        UiServices().MessageBox("Нельзя скрыть столбец, по которому производится фильтрация данных!", kCaption,
                                MB_OK | MB_ICONINFORMATION);
        return;
    }
    Data->Post();
}

bool TfrmColumnsEditor::eventFilter(QObject* watched, QEvent* event) {
    const bool release = event->type() == QEvent::MouseButtonRelease && watched == dbgData->viewport();
    const bool space = event->type() == QEvent::KeyRelease && watched == dbgData &&
                       static_cast<QKeyEvent*>(event)->key() == Qt::Key_Space;
    if ((release || space) && dbgData->SelectedField() == Data->FindField("Visible")) {
        try {
            AfterVisibleClick();
        } catch (const std::exception& e) {
            UiServices().MessageBox(e.what(), kCaption, MB_OK | MB_ICONERROR);
        }
        dbgData->viewport()->update();
    }
    return QWidget::eventFilter(watched, event);
}

void TfrmColumnsEditor::SetChangies() {
    if (Data->State() == dsEdit || Data->State() == dsInsert) Data->Post();
    const TBookmark place = Data->GetBookmark();
    bool anyTotals = false;
    TField* fColumn = Data->FieldByName("Column");
    TField* fVisible = Data->FieldByName("Visible");
    TField* fModified = Data->FieldByName("Modified");
    TField* fWidth = Data->FieldByName("Width");
    TField* fTotals = Data->FieldByName("show_totals");
    Data->DisableControls();
    for (int r = 0; r < Data->RealRecordCount(); ++r) {
        Variant v;
        auto read = [&](TField* f) {
            v = Variant::Null();
            Data->GetFieldValueFromBuffer(f, r, v);
            return v;
        };
        const bool totals = !read(fTotals).IsEmptyOrNull() && v.ToBool();
        anyTotals = anyTotals || totals;
        if (read(fModified).IsEmptyOrNull() || !v.ToBool()) continue;
        const int handle = read(fColumn).IsEmptyOrNull() ? -1 : v.ToInt32();
        if (handle < 0 || handle >= static_cast<int>(Handles.size())) continue;
        TQelColumn& c = *Handles[static_cast<std::size_t>(handle)];
        c.SetVisible(!read(fVisible).IsEmptyOrNull() && v.ToBool());
        if (!read(fWidth).IsEmptyOrNull()) c.SetWidth(v.ToInt32());
        if (c.Field() && TQelDBGrid::HasTotalSwitch(c.Field())) TQelDBGrid::SetTotalSwitch(c.Field(), totals);
    }
    Data->EnableControls();
    TTotalsInfo& info = Grid->TotalsInfo();
    info.Setshow_totals(anyTotals);
    info.SetPlace(cbTotalsPlace->currentIndex() == 0 ? tipBottom : tipTop);
    info.SetColor(cbColor->Color());
    info.SetBackColor(cbBackColor->Color());
    Grid->SetFixedCols(ceFixedCols->value());
    if (Data->BookmarkValid(place)) Data->GotoBookmark(place);
    ChangedFlag = false;
    Grid->viewport()->update();
}

void TfrmColumnsEditor::bOkClick() {
    try {
        SetChangies();
    } catch (const std::exception& e) {
        UiServices().MessageBox(e.what(), kCaption, MB_OK | MB_ICONERROR);
        return;
    }
    Accepted = true;
    close();
}

void TfrmColumnsEditor::bCancelClick() {
    if (Data->State() == dsEdit || Data->State() == dsInsert) Data->Cancel();
    ChangedFlag = false;
    Accepted = true;
    close();
}

void TfrmColumnsEditor::closeEvent(QCloseEvent* event) {
    if (!Accepted && (ChangedFlag || Data->State() == dsEdit || Data->State() == dsInsert)) {
        Closing = true;
        const int answer =
            UiServices().MessageBox("Сохранить изменения столбцов?", kCaption, MB_YESNOCANCEL | MB_ICONQUESTION);
        Closing = false;
        if (answer == IDCANCEL) {
            event->ignore();
            return;
        }
        if (answer == IDYES) {
            try {
                SetChangies();
            } catch (const std::exception& e) {
                UiServices().MessageBox(e.what(), kCaption, MB_OK | MB_ICONERROR);
                event->ignore();
                return;
            }
        }
    }
    Accepted = false;
    Grid->EditorFormProps = GetFormProps();
    event->accept();
}

void TfrmColumnsEditor::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    // Clicking into another window closes the editor (asking first), as a popup would.
    if (event->type() == QEvent::ActivationChange && !isActiveWindow() && isVisible() && !InDialog && !Closing &&
        !QApplication::activeModalWidget())
        QMetaObject::invokeMethod(this, [this] { if (!isActiveWindow()) close(); }, Qt::QueuedConnection);
}

void TfrmColumnsEditor::ChooseColor(TColorBox* box) {
    InDialog = true;
    const QColor chosen = QColorDialog::getColor(box->Color(), this);
    InDialog = false;
    if (chosen.isValid()) box->SetColor(chosen);
}

Variant TfrmColumnsEditor::GetFormProps() const {
    TQelStorageStream stream;
    stream.SaveValue(Variant::FromInt32(width()));
    stream.SaveValue(Variant::FromInt32(height()));
    stream.SaveValue(dbgData->GetColumnsAsVariant());
    return stream.GetAsVariant();
}

void TfrmColumnsEditor::SetFormProps(const Variant& props) {
    if (!props.IsArray()) return;
    TQelStorageStream stream;
    try {
        stream.SetAsVariant(props);
    } catch (const std::exception&) {
        return;
    }
    Variant w, h, layout;
    auto size = [](const Variant& v, int fallback) {
        try {
            return std::clamp(v.ToInt32(), 100, 4000);
        } catch (const std::exception&) {
            return fallback;
        }
    };
    if (!stream.LoadValue(w)) return;
    resize(size(w, width()), height());
    if (!stream.LoadValue(h)) return;
    resize(width(), size(h, height()));
    if (stream.LoadValue(layout)) dbgData->SetColumnsAsVariant(layout);
}

}  // namespace kubrix
