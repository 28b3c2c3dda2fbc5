#include "ui/QelDBGrid.h"

#include <QApplication>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QLineEdit>
#include <QListWidget>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollBar>
#include <QToolButton>
#include <QToolTip>
#include <QUuid>
#include <QWheelEvent>

#include <algorithm>
#include <exception>

#include "dataset/ODBCFields.h"
#include "dataset/QelODBCClient.h"
#include "support/ColumnsLayout.h"
#include "support/FormatSettings.h"
#include "support/UiServices.h"
#include "support/ValueCodec.h"
#include "ui/FrmColumnsEditor.h"
#include "ui/FrmLocalSearch.h"

namespace kubrix {

namespace {

QString Q(const std::string& s) { return QString::fromUtf8(s.data(), static_cast<qsizetype>(s.size())); }

// Colours travel in layouts as 0x00BBGGRR; negative values name system colours.
std::int32_t ColorToInt(const QColor& c) { return c.red() | (c.green() << 8) | (c.blue() << 16); }
QColor IntToColor(std::int32_t v, const QColor& system) {
    if (v < 0) return system;
    return QColor(v & 0xFF, (v >> 8) & 0xFF, (v >> 16) & 0xFF);
}

// Runs an action of the user's: a dataset error is shown instead of leaving the event handler.
template <class F>
void Guarded(F action) {
    try {
        action();
    } catch (const std::exception& e) {
        UiServices().MessageBox(e.what(), "Kubrix", MB_OK | MB_ICONERROR);
    }
}

QImage CheckImage(bool checked) {
    QImage img(13, 13, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::white);
    QPainter p(&img);
    p.setPen(QColor(0x80, 0x80, 0x80));
    p.drawRect(0, 0, 12, 12);
    if (checked) {
        p.setPen(QPen(Qt::black, 2));
        p.drawLine(3, 6, 5, 9);
        p.drawLine(5, 9, 10, 3);
    }
    return img;
}

QImage FunnelImage(const QColor& color) {
    QImage img(10, 10, QImage::Format_ARGB32_Premultiplied);
    img.fill(Qt::transparent);
    QPainter p(&img);
    p.setPen(Qt::NoPen);
    p.setBrush(color);
    const QPoint funnel[] = {{0, 1}, {9, 1}, {6, 5}, {6, 9}, {3, 9}, {3, 5}};
    p.drawPolygon(funnel, 6);
    return img;
}

}  // namespace

std::shared_ptr<const TImageList> StandardImageList() {
    static const std::shared_ptr<const TImageList> list = [] {
        auto images = std::make_shared<TImageList>(56);
        (*images)[0] = CheckImage(false);
        (*images)[1] = CheckImage(true);
        (*images)[8] = CheckImage(true);
        (*images)[9] = CheckImage(false);
        (*images)[43] = FunnelImage(QColor(0x40, 0x40, 0x40));
        (*images)[44] = FunnelImage(QColor(0xE0, 0x20, 0x20));
        (*images)[55] = FunnelImage(QColor(0xB0, 0xB0, 0xB0));
        return std::shared_ptr<const TImageList>(images);
    }();
    return list;
}

// ----------------------------------------------------------------------------------------------------
// TQelColumn

TQelColumn::TQelColumn(TQelDBGrid* grid)
    : Guid(QUuid::createUuid().toString(QUuid::WithBraces).toUpper().toStdString()), Grid(grid) {}

int TQelColumn::Index() const {
    for (int i = 0; i < Grid->ColumnCount(); ++i)
        if (&Grid->Column(i) == this) return i;
    return -1;
}

void TQelColumn::SetIndex(int index) {
    const int from = Index();
    const int to = std::clamp(index, 0, Grid->ColumnCount() - 1);
    if (from < 0 || from == to) return;
    auto& list = Grid->Columns;
    std::unique_ptr<TQelColumn> self = std::move(list[static_cast<std::size_t>(from)]);
    list.erase(list.begin() + from);
    list.insert(list.begin() + to, std::move(self));
    Grid->ColumnsChanged();
}

void TQelColumn::SetFieldName(const std::string& name) {
    FieldNameText = name;
    TQelODBCClient* ds = Grid->DataSet();
    FieldPtr = ds && ds->Active() ? ds->FindField(name) : nullptr;
    Grid->ColumnsChanged();
}

QString TQelColumn::Title() const {
    if (!TitleText.isNull()) return TitleText;
    return FieldPtr ? Q(FieldPtr->DisplayLabel()) : Q(FieldNameText);
}

void TQelColumn::SetWidth(int width) {
    WidthPx = std::clamp(width, 0, TGridAxis::MaxSize);
    Grid->ColumnsChanged();
    if (Grid->OnColWidthChange) Grid->OnColWidthChange(*this);
}

void TQelColumn::SetVisible(bool value) {
    if (IsVisible == value) return;
    IsVisible = value;
    Grid->ColumnsChanged();
}

void TQelColumn::SetFiltered(bool value) {
    IsFiltered = value;
    if (value) IsVisible = true;
    Grid->ColumnsChanged();
}

bool TQelColumn::Fixed() const { return Index() < Grid->FixedCols(); }

void TQelColumn::SetFixed(bool value) {
    if (value == Fixed()) return;
    if (value) {
        if (Grid->FixedCols() >= Grid->ColumnCount() - 1) return;
        Grid->SetFixedCols(Grid->FixedCols() + 1);
        SetIndex(Grid->FixedCols() - 1);
    } else {
        SetIndex(Grid->FixedCols() - 1);
        Grid->SetFixedCols(Grid->FixedCols() - 1);
    }
}

void TQelColumn::Assign(const TQelColumn& o) {
    ReadOnly = o.ReadOnly;
    Color = o.Color;
    PickList = o.PickList;
    ButtonStyle = o.ButtonStyle;
    EnabledForEditor = o.EnabledForEditor;
    ImageList = o.ImageList;
    ImageList_TrueInd = o.ImageList_TrueInd;
    ImageList_FalseInd = o.ImageList_FalseInd;
    ImageList_FilterInd = o.ImageList_FilterInd;
    ImageList_ActFilterInd = o.ImageList_ActFilterInd;
    ImageList_NActFilterInd = o.ImageList_NActFilterInd;
    LocalFilter = o.LocalFilter;
    KeyField = o.KeyField;
    OnGetTextOfs = o.OnGetTextOfs;
    Group = o.Group;
    Guid = o.Guid;
    IsFiltered = o.IsFiltered;
    FilterText = o.FilterText;
    FilterValue = o.FilterValue;
    TitleText = o.TitleText;
    WidthPx = o.WidthPx;
    IsVisible = o.IsVisible;
    SetFieldName(o.FieldNameText);
}

// ----------------------------------------------------------------------------------------------------
// TTotalsInfo

TTotalsInfo::TTotalsInfo() : BackColorValue(QApplication::palette().color(QPalette::Button)) {}

void TTotalsInfo::Changed() {
    if (OnChange) OnChange();
}

void TTotalsInfo::Setshow_totals(bool value) {
    if (Show == value) return;
    Show = value;
    Changed();
}

void TTotalsInfo::SetFont(const QFont& font) {
    FontValue = font;
    HeightValue = std::max(HeightValue, QFontMetrics(font).height() + 2);
    Changed();
}

void TTotalsInfo::SetColor(const QColor& color) {
    if (ColorValue == color) return;
    ColorValue = color;
    Changed();
}

void TTotalsInfo::SetBackColor(const QColor& color) {
    if (BackColorValue == color) return;
    BackColorValue = color;
    Changed();
}

void TTotalsInfo::SetHeight(int height) {
    height = std::clamp(height, 0, 1000);
    if (HeightValue == height) return;
    HeightValue = height;
    Changed();
}

void TTotalsInfo::SetFormat(const std::string& format) {
    if (FormatValue == format) return;
    FormatValue = format;
    Changed();
}

void TTotalsInfo::SetPlace(TTotalsInfoPlace place) {
    if (PlaceValue == place) return;
    PlaceValue = place;
    Changed();
}

void TTotalsInfo::Assign(const TTotalsInfo& o) {
    Show = o.Show;
    FontValue = o.FontValue;
    ColorValue = o.ColorValue;
    BackColorValue = o.BackColorValue;
    HeightValue = o.HeightValue;
    FormatValue = o.FormatValue;
    PlaceValue = o.PlaceValue;
    Changed();
}

// ----------------------------------------------------------------------------------------------------
// TQelDBGrid: set-up

TQelDBGrid::TQelDBGrid(QWidget* parent) : TQelCustomGrid(parent) {
    SetRowsWindowed(true);
    SetOptions(goColSizing | goEditing);
    Totals.SetColor(Qt::white);
    Totals.SetBackColor(Qt::white);
    Totals.OnChange = [this] { UpdateBands(); };
    SetFixedRows(0);
    connect(this, &TQelCustomGrid::currentChanged, this, [this](int col, int row) {
        if (Syncing) return;
        if (col >= 1) SelectedCol = ColumnOfGridCol(col);
        if (row >= 1) Guarded([&] { MoveRecord(Top + row - 1); });
    });
    LayoutColumns();
    LayoutRows();
}

TQelDBGrid::~TQelDBGrid() { Link.SetDataSource(nullptr); }

void TQelDBGrid::SetDataSource(TDataSource* source) {
    Link.SetDataSource(source);
    LinkActiveChanged();
}

TQelODBCClient* TQelDBGrid::DataSet() const { return dynamic_cast<TQelODBCClient*>(Link.DataSet()); }

void TQelDBGrid::LinkActiveChanged() {
    TQelODBCClient* ds = DataSet();
    const bool active = ds && ds->Active();
    if (active && Defaults) BuildDefaultColumns();
    BindFields();
    Top = 0;
    RebuildVisibleMap();
    LayoutColumns();
    LayoutRows();
    SyncCurrent();
    if (active) emit columnsRebound();
    emit recordsChanged();
}

void TQelDBGrid::LinkDataSetChanged() {
    FloatTotalsValid = false;
    RebuildVisibleMap();
    LayoutRows();
    SyncCurrent();
    viewport()->update();
    emit recordsChanged();
}

void TQelDBGrid::LinkScrolled() {
    SyncCurrent();
    viewport()->update();
}

void TQelDBGrid::BuildDefaultColumns() {
    TQelODBCClient* ds = DataSet();
    // An open columns editor refers to the columns that go now.
    if (Editor_) delete Editor_.data();
    Columns.clear();
    const QFontMetrics fm(font());
    for (TField* f : ds->Fields()) {
        if (!f->Visible()) continue;
        auto c = std::make_unique<TQelColumn>(this);
        c->FieldNameText = f->FieldName();
        const int chars = std::clamp(IsNumericType(f->DataType()) ? std::max(f->DisplayWidth(), 12) : f->DisplayWidth(), 4, 24);
        const int titleWidth = fm.horizontalAdvance(Q(f->DisplayLabel())) + 8;
        c->WidthPx = std::max(chars * fm.averageCharWidth() + 8, titleWidth);
        c->WidthPx = std::min(c->WidthPx, 200);
        Columns.push_back(std::move(c));
    }
    SelectedCol = 0;
}

void TQelDBGrid::BindFields() {
    TQelODBCClient* ds = DataSet();
    const bool active = ds && ds->Active();
    for (auto& c : Columns) c->FieldPtr = active ? ds->FindField(c->FieldNameText) : nullptr;
    TextCache.clear();
}

TQelColumn& TQelDBGrid::AddColumn(const std::string& fieldName) {
    Defaults = false;
    Columns.push_back(std::make_unique<TQelColumn>(this));
    TQelColumn& c = *Columns.back();
    c.SetFieldName(fieldName);
    return c;
}

void TQelDBGrid::ClearColumns() {
    if (Editor_) delete Editor_.data();
    Defaults = false;
    Columns.clear();
    SelectedCol = 0;
    ColumnsChanged();
}

void TQelDBGrid::ColumnsChanged() {
    if (LayingOut) return;
    LayoutColumns();
}

TQelColumn* TQelDBGrid::ColumnByField(const TField* field) const {
    for (const auto& c : Columns)
        if (c->FieldPtr == field && field) return c.get();
    return nullptr;
}

int TQelDBGrid::SelectedIndex() const { return Columns.empty() ? -1 : std::clamp(SelectedCol, 0, ColumnCount() - 1); }

void TQelDBGrid::SetSelectedIndex(int index) {
    if (index < 0 || index >= ColumnCount()) return;
    SelectedCol = index;
    SyncCurrent();
    ScrollToCell(GridColOf(index), std::max(0, Current().Row));
}

TField* TQelDBGrid::SelectedField() const {
    const int i = SelectedIndex();
    return i < 0 ? nullptr : Columns[static_cast<std::size_t>(i)]->FieldPtr;
}

void TQelDBGrid::SetSelectedField(const TField* field) {
    for (int i = 0; i < ColumnCount(); ++i)
        if (Columns[static_cast<std::size_t>(i)]->FieldPtr == field) {
            SetSelectedIndex(i);
            return;
        }
}

void TQelDBGrid::SetFixedCols(int value) {
    FixedColsValue = std::clamp(value, 0, ColumnCount());
    LayoutColumns();
}

void TQelDBGrid::SetShowVerticalScroll(bool value) {
    VScroll = value;
    setVerticalScrollBarPolicy(value ? Qt::ScrollBarAsNeeded : Qt::ScrollBarAlwaysOff);
}

void TQelDBGrid::SetShowColumnsGroups(bool value) {
    ShowGroups = value;
    UpdateBands();
}

// ----------------------------------------------------------------------------------------------------
// Layout of columns and rows

int TQelDBGrid::TitleRowHeight() const { return DefaultRowHeight(); }

void TQelDBGrid::LayoutColumns() {
    const bool wasSyncing = Syncing;
    Syncing = true;
    LayingOut = true;
    {
        TGridUpdateGuard batch(Geometry());
        TGridAxis& cols = Geometry().Cols();
        const int n = ColumnCount();
        cols.SetFixedCount(0);
        cols.SetCount(1 + n);
        cols.SetSize(0, IndicatorWidth);
        for (int i = 0; i < n; ++i) {
            const TQelColumn& c = *Columns[static_cast<std::size_t>(i)];
            cols.SetSize(i + 1, c.WidthPx);
            if (!c.IsVisible) cols.SetActualSize(i + 1, 0);
        }
        FixedColsValue = std::clamp(FixedColsValue, 0, n);
        cols.SetFixedCount(1 + FixedColsValue);
    }
    LayingOut = false;
    Syncing = wasSyncing;
    TextCache.clear();
    SyncCurrent();
    viewport()->update();
}

void TQelDBGrid::GeometryChanged(TGridChange kind) {
    if (LayingOut || kind != TGridChange::ColsChanged) return;
    // A column border dragged by the user.
    for (int i = 0; i < ColumnCount(); ++i) {
        TQelColumn& c = *Columns[static_cast<std::size_t>(i)];
        const int w = ColWidth(i + 1);
        if (c.IsVisible && w > 0 && w != c.WidthPx) {
            c.WidthPx = w;
            if (OnColWidthChange) OnColWidthChange(c);
        }
    }
}

int TQelDBGrid::WindowRows() const {
    const int h = RowAreaHeight() - TitleRowHeight();
    return std::max(1, h / std::max(1, DefaultRowHeight()));
}

int TQelDBGrid::ShownRecordCount() const {
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active()) return 0;
    return MapIdentity ? ds->RealRecordCount() : static_cast<int>(VisibleMap.size());
}

int TQelDBGrid::RecordAtPos(int pos) const {
    if (pos < 0 || pos >= ShownRecordCount()) return -1;
    return MapIdentity ? pos : VisibleMap[static_cast<std::size_t>(pos)];
}

int TQelDBGrid::ActivePos() const {
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty()) return -1;
    const int index = ds->GetActiveRecordIndex();
    if (index < 0 || index >= ds->RealRecordCount()) return -1;
    if (MapIdentity) return index;
    auto it = std::lower_bound(VisibleMap.begin(), VisibleMap.end(), index);
    return it != VisibleMap.end() && *it == index ? static_cast<int>(it - VisibleMap.begin()) : -1;
}

void TQelDBGrid::RebuildVisibleMap() {
    VisibleMap.clear();
    MapIdentity = true;
    TextCache.clear();
    FloatTotalsValid = false;
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active()) return;
    // Without a filter or a tree every record in the list is shown: nothing to walk, so a big
    // dataset opens in the time of the rows in view.
    if (!ds->Filtered() && !ds->TreeAttached) return;
    MapIdentity = false;
    const int n = ds->RealRecordCount();
    for (int i = 0; i < n; ++i)
        if (ds->IsRecordVisible(i)) VisibleMap.push_back(i);
}

void TQelDBGrid::LayoutRows() {
    const int count = ShownRecordCount();
    const int window = WindowRows();
    Top = std::clamp(Top, 0, std::max(0, count - window));
    const int rows = 1 + std::clamp(count - Top, 0, window);
    // The base grid clamps its current cell to the new rows; that is no move of the user's.
    const bool wasSyncing = Syncing;
    Syncing = true;
    LayingOut = true;
    {
        TGridUpdateGuard batch(Geometry());
        TGridAxis& axis = Geometry().Rows();
        axis.SetFixedCount(0);
        if (axis.Count() != rows) axis.SetCount(rows);
        axis.SetSize(0, TitleRowHeight());
        axis.SetFixedCount(1);
    }
    LayingOut = false;
    Syncing = wasSyncing;
    TextCache.assign(static_cast<std::size_t>(rows), std::nullopt);
    // With no record left the current cell falls back onto the titles; an editor there would
    // show a caption and write into no record.
    if (rows == 1) HideEditor();
    UpdateVScroll();
}

void TQelDBGrid::UpdateVScroll() {
    const bool was = Syncing;
    Syncing = true;
    QScrollBar* v = verticalScrollBar();
    const int window = WindowRows();
    v->setRange(0, std::max(0, ShownRecordCount() - window));
    v->setPageStep(window);
    v->setSingleStep(1);
    v->setValue(Top);
    Syncing = was;
}

void TQelDBGrid::SyncCurrent() {
    if (Syncing) return;
    Syncing = true;
    const int window = WindowRows();
    const int pos = ActivePos();
    if (pos >= 0) {
        if (pos < Top) Top = pos;
        if (pos >= Top + window) Top = pos - window + 1;
    }
    Syncing = false;
    LayoutRows();
    Syncing = true;
    const int col = Columns.empty() ? 0 : GridColOf(SelectedIndex());
    const int row = pos >= 0 ? pos - Top + 1 : 0;
    SetCurrent(col, std::min(row, RowCount() - 1));
    Syncing = false;
}

void TQelDBGrid::MoveRecord(int pos) {
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active()) return;
    const int index = RecordAtPos(pos);
    if (index < 0) {
        SyncCurrent();
        return;
    }
    if (index != ds->GetActiveRecordIndex()) {
        if (BevoreMoveBy) BevoreMoveBy();
        ds->SetRecNo(index + 1);
    }
    SyncCurrent();
}

void TQelDBGrid::MoveToPos(int pos) { MoveRecord(std::clamp(pos, 0, std::max(0, ShownRecordCount() - 1))); }

void TQelDBGrid::UpdateBands() {
    const bool totals = Totals.show_totals();
    const int top = GroupBandHeight() + (totals && Totals.Place() == tipTop ? Totals.Height() : 0);
    const int bottom = totals && Totals.Place() == tipBottom ? Totals.Height() : 0;
    SetBands(top, bottom);
    LayoutRows();
    SyncCurrent();
    viewport()->update();
}

void TQelDBGrid::resizeEvent(QResizeEvent* event) {
    TQelCustomGrid::resizeEvent(event);
    LayoutRows();
    SyncCurrent();
    if (OnResize) OnResize();
}

void TQelDBGrid::scrollContentsBy(int dx, int dy) {
    TQelCustomGrid::scrollContentsBy(dx, dy);
    if (dy == 0 || Syncing) return;
    // The bar moves the window; the current record stays inside it, as in any data grid.
    Top = verticalScrollBar()->value();
    LayoutRows();
    const int window = WindowRows();
    const int pos = ActivePos();
    Guarded([&] {
        if (pos >= 0 && pos < Top) MoveRecord(Top);
        else if (pos >= Top + window) MoveRecord(Top + window - 1);
        else SyncCurrent();
    });
    viewport()->update();
}

// ----------------------------------------------------------------------------------------------------
// Column groups

QString TQelDBGrid::ColumnsGroups() const {
    QStringList lines;
    std::function<void(const TGroup&, int)> walk = [&](const TGroup& g, int depth) {
        for (const auto& child : g.Children) {
            lines << QString(depth, QChar('\t')) + child->Name;
            walk(*child, depth + 1);
        }
    };
    walk(GroupRoot, 0);
    return lines.join('\n');
}

void TQelDBGrid::SetColumnsGroups(const QString& text) {
    GroupRoot.Children.clear();
    TGroup* last = &GroupRoot;
    int lastDepth = -1;
    QStringList lines = text.split('\n');
    while (!lines.isEmpty() && lines.back().trimmed().isEmpty()) lines.pop_back();
    for (QString line : lines) {
        if (line.endsWith('\r')) line.chop(1);
        int depth = 0;
        while (depth < line.size() && line[depth] == '\t') ++depth;
        // A line more than one level deeper than the one before ends the tree.
        if (depth > lastDepth + 1) break;
        TGroup* parent = last;
        for (int d = lastDepth; d >= depth; --d) parent = parent->Parent;
        auto g = std::make_unique<TGroup>();
        g->Name = line.mid(depth).left(MaxGroupName);
        g->Parent = parent;
        last = g.get();
        parent->Children.push_back(std::move(g));
        lastDepth = depth;
    }
    UpdateBands();
}

int TQelDBGrid::GroupDepth() const {
    std::function<int(const TGroup&)> depth = [&](const TGroup& g) {
        int d = 0;
        for (const auto& c : g.Children) d = std::max(d, 1 + depth(*c));
        return d;
    };
    return depth(GroupRoot);
}

int TQelDBGrid::GroupBandHeight() const {
    const int depth = GroupDepth();
    return ShowGroups && depth > 0 ? depth * (DefaultRowHeight() + GridLineWidth()) : 0;
}

void TQelDBGrid::ComputeGroupEdges() {
    std::function<void(TGroup&, const QString&)> place = [&](TGroup& g, const QString& path) {
        g.Placed = false;
        for (int i = 0; i < ColumnCount(); ++i) {
            const TQelColumn& c = *Columns[static_cast<std::size_t>(i)];
            QString own;
            for (const QString& line : c.Group) own += line + '\n';
            if (own != path) continue;
            const QRect r = CellRect(GridColOf(i), 0);
            if (r.isEmpty()) continue;
            const int right = r.right() + 1 + GridLineWidth();
            if (!g.Placed) {
                g.Left = r.left();
                g.Right = right;
                g.Placed = true;
            } else {
                g.Left = std::min(g.Left, r.left());
                g.Right = std::max(g.Right, right);
            }
        }
        for (auto& child : g.Children) {
            place(*child, path + child->Name + '\n');
            if (!child->Placed) continue;
            if (!g.Placed) {
                g.Left = child->Left;
                g.Right = child->Right;
                g.Placed = true;
            } else {
                g.Left = std::min(g.Left, child->Left);
                g.Right = std::max(g.Right, child->Right);
            }
        }
    };
    for (auto& top : GroupRoot.Children) place(*top, top->Name + '\n');
}

void TQelDBGrid::PaintGroups(QPainter& painter, const QRect& band) {
    ComputeGroupEdges();
    const int rowH = DefaultRowHeight() + GridLineWidth();
    const int fixedRight = [&] {
        int x = 0;
        for (int c = 0; c < Geometry().Cols().FixedCount(); ++c) x += ColWidth(c);
        return x;
    }();
    int lastRight = 0;
    for (int i = ColumnCount() - 1; i >= 0; --i) {
        const QRect r = CellRect(GridColOf(i), 0);
        if (!r.isEmpty()) {
            lastRight = std::max(lastRight, r.right() + 1 + GridLineWidth());
            break;
        }
    }
    painter.save();
    painter.setClipRect(band);
    painter.fillRect(band, FixedColor());
    if (lastRight < band.right()) painter.fillRect(QRect(QPoint(lastRight, band.top()), band.bottomRight()), Color());
    painter.setFont(font());
    std::function<void(const TGroup&, int)> draw = [&](const TGroup& g, int depth) {
        if (g.Placed) {
            const QRect r(g.Left, band.top() + depth * rowH, g.Right - g.Left, rowH);
            painter.save();
            // Scrolled groups never draw over the frozen columns.
            const bool frozen = g.Right <= fixedRight;
            if (!frozen) painter.setClipRect(QRect(QPoint(fixedRight, band.top()), band.bottomRight()) & band);
            painter.setPen(GridLineColor());
            painter.drawLine(r.left(), r.bottom(), r.right(), r.bottom());
            painter.drawLine(r.left(), r.top(), r.left(), r.bottom());
            painter.drawLine(r.right(), r.top(), r.right(), r.bottom());
            painter.setPen(palette().color(QPalette::Text));
            painter.drawText(r, Qt::AlignCenter, g.Name);
            painter.restore();
        }
        for (const auto& child : g.Children) draw(*child, depth + 1);
    };
    for (const auto& top : GroupRoot.Children) draw(*top, 0);
    painter.restore();
}

// ----------------------------------------------------------------------------------------------------
// Totals

bool TQelDBGrid::HasTotalSwitch(const TField* f) {
    return dynamic_cast<const TQelODBCIntegerField*>(f) || dynamic_cast<const TQelODBCSmallintField*>(f) ||
           dynamic_cast<const TQelODBCBCDField*>(f) || dynamic_cast<const TQelODBCFloatField*>(f);
}

bool TQelDBGrid::TotalSwitch(const TField* f) {
    if (auto* x = dynamic_cast<const TQelODBCIntegerField*>(f)) return x->calc_total();
    if (auto* x = dynamic_cast<const TQelODBCSmallintField*>(f)) return x->calc_total();
    if (auto* x = dynamic_cast<const TQelODBCBCDField*>(f)) return x->calc_total();
    if (auto* x = dynamic_cast<const TQelODBCFloatField*>(f)) return x->calc_total();
    return false;
}

void TQelDBGrid::SetTotalSwitch(TField* f, bool value) {
    if (auto* x = dynamic_cast<TQelODBCIntegerField*>(f)) x->Setcalc_total(value);
    else if (auto* x = dynamic_cast<TQelODBCSmallintField*>(f)) x->Setcalc_total(value);
    else if (auto* x = dynamic_cast<TQelODBCBCDField*>(f)) x->Setcalc_total(value);
    else if (auto* x = dynamic_cast<TQelODBCFloatField*>(f)) x->Setcalc_total(value);
    else return;
    if (auto* ds = dynamic_cast<TQelODBCClient*>(f->DataSet()); ds && ds->Active()) ds->CalcTotals();
}

QString TQelDBGrid::TotalText(int column) const {
    if (column < 0 || column >= ColumnCount()) return {};
    const TField* f = Columns[static_cast<std::size_t>(column)]->FieldPtr;
    TQelODBCClient* ds = DataSet();
    if (!f || !ds || !ds->Active() || !HasTotalSwitch(f) || !TotalSwitch(f)) return {};
    Variant v;
    if (f->DataType() == ftFloat) {
        if (!FloatTotalsValid) {
            FloatTotals.clear();
            FloatTotalsValid = true;
        }
        auto it = std::find_if(FloatTotals.begin(), FloatTotals.end(), [f](const auto& p) { return p.first == f; });
        if (it == FloatTotals.end()) {
            double sum = 0;
            const bool all = ds->CalcTotalsType() == cttAll;
            Variant x;
            for (int i = 0; i < ds->RealRecordCount(); ++i) {
                if (!all && !ds->IsRecordVisible(i)) continue;
                x = Variant::Null();
                ds->GetFieldValueFromBuffer(f, i, x);
                if (!x.IsEmptyOrNull()) sum += x.ToDouble();
            }
            it = FloatTotals.insert(FloatTotals.end(), {f, sum});
        }
        v = Variant::FromDouble(it->second);
    } else {
        ds->GetTotal(f, v);
    }
    if (v.IsEmptyOrNull()) return {};
    // The band's format, else the field's own, applied to the total as an amount.
    const std::string format = !Totals.Format().empty() ? Totals.Format() : f->DisplayFormat();
    if (!format.empty()) {
        try {
            return Q(FormatCurrency(format, v.ToCurrency().Scaled));
        } catch (const std::exception&) {
            // beyond an amount: written as plain text below
        }
    }
    try {
        if (format.empty() && (f->DataType() == ftFloat || f->DataType() == ftBCD))
            return Q(FormatFloatGeneral(v.ToDouble()));
        return Q(v.ToAnsi());
    } catch (const std::exception&) {
        return {};
    }
}

QRect TQelDBGrid::TotalsRect() const {
    if (!Totals.show_totals()) return {};
    if (Totals.Place() == tipTop) return QRect(0, GroupBandHeight(), viewport()->width(), Totals.Height());
    return QRect(0, viewport()->height() - BottomBand(), viewport()->width(), Totals.Height());
}

void TQelDBGrid::PaintTotals(QPainter& painter, const QRect& band) {
    painter.save();
    painter.setClipRect(band);
    painter.fillRect(band, Totals.BackColor());
    painter.setFont(Totals.Font());
    for (int i = 0; i < ColumnCount(); ++i) {
        const QString text = TotalText(i);
        if (text.isNull() && !(Columns[static_cast<std::size_t>(i)]->FieldPtr &&
                               HasTotalSwitch(Columns[static_cast<std::size_t>(i)]->FieldPtr) &&
                               TotalSwitch(Columns[static_cast<std::size_t>(i)]->FieldPtr)))
            continue;
        const QRect title = CellRect(GridColOf(i), 0);
        if (title.isEmpty()) continue;
        const QRect cell(title.left(), band.top(), title.width() + GridLineWidth(), band.height());
        painter.fillRect(cell, Totals.Color());
        painter.setPen(palette().color(QPalette::Text));
        painter.drawText(cell.adjusted(2, 2, -2, 0), Qt::AlignRight | Qt::AlignTop, text);
        painter.setPen(GridLineColor());
        painter.drawLine(cell.left(), cell.top(), cell.left(), cell.bottom());
        painter.drawLine(cell.right(), cell.top(), cell.right(), cell.bottom());
    }
    painter.restore();
}

void TQelDBGrid::PaintBands(QPainter& painter, const QRect& top, const QRect& bottom) {
    if (ShowGroups && GroupDepth() > 0) PaintGroups(painter, QRect(0, 0, top.width(), GroupBandHeight()));
    if (Totals.show_totals()) PaintTotals(painter, Totals.Place() == tipTop ? TotalsRect() : bottom);
}

// ----------------------------------------------------------------------------------------------------
// Cells

const std::vector<std::string>& TQelDBGrid::RowTexts(int row) const {
    static const std::vector<std::string> none;
    if (row < 1 || row >= RowCount()) return none;
    if (TextCache.size() != static_cast<std::size_t>(RowCount())) TextCache.assign(static_cast<std::size_t>(RowCount()), std::nullopt);
    auto& slot = TextCache[static_cast<std::size_t>(row)];
    if (slot) return *slot;
    TQelODBCClient* ds = DataSet();
    const int index = RecordAtPos(Top + row - 1);
    std::vector<TField*> fields;
    for (const auto& c : Columns) fields.push_back(c->FieldPtr);
    if (!ds || index < 0) {
        slot.emplace(fields.size());
    } else if (index == ds->GetActiveRecordIndex() && (ds->State() == dsEdit || ds->State() == dsInsert)) {
        // The record being edited shows its buffer, not the stored record.
        std::vector<std::string> texts(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            if (fields[i]) texts[i] = fields[i]->DisplayText();
        slot = std::move(texts);
    } else {
        slot = ds->RecordDisplayTexts(index, fields);
    }
    return *slot;
}

QString TQelDBGrid::CellText(int column, int row) const {
    if (column < 0 || column >= ColumnCount()) return {};
    TextCache.assign(static_cast<std::size_t>(RowCount()), std::nullopt);
    const auto& texts = RowTexts(row);
    return static_cast<std::size_t>(column) < texts.size() ? Q(texts[static_cast<std::size_t>(column)]) : QString();
}

bool TQelDBGrid::CellBool(int column, int recordIndex, bool& value) const {
    TQelODBCClient* ds = DataSet();
    TField* f = Columns[static_cast<std::size_t>(column)]->FieldPtr;
    if (!ds || !f || recordIndex < 0) return false;
    Variant v;
    if (recordIndex == ds->GetActiveRecordIndex() && (ds->State() == dsEdit || ds->State() == dsInsert))
        v = f->AsVariant();
    else
        ds->GetFieldValueFromBuffer(f, recordIndex, v);
    try {
        value = !v.IsEmptyOrNull() && v.ToBool();
    } catch (const std::exception&) {
        value = false;
    }
    return true;
}

QRect TQelDBGrid::FilterButtonRect(int column) const {
    if (column < 0 || column >= ColumnCount()) return {};
    const TQelColumn& c = *Columns[static_cast<std::size_t>(column)];
    if (!c.LocalFilter || !c.ImageList || c.ImageList_FilterInd < 0 || c.ImageList_ActFilterInd < 0) return {};
    const QRect cell = CellRect(GridColOf(column), 0);
    if (cell.isEmpty()) return {};
    const int imageWidth = c.ImageList->empty() ? 0 : c.ImageList->front().width();
    int w = imageWidth;
    for (int i : {c.ImageList_FilterInd, c.ImageList_ActFilterInd})
        if (i < static_cast<int>(c.ImageList->size())) w = std::max(w, (*c.ImageList)[static_cast<std::size_t>(i)].width());
    const int right = cell.right() + 1;
    return QRect(QPoint(right - w - 6, cell.top() + 1), QPoint(right - 4 - 1, cell.bottom() - 1));
}

void TQelDBGrid::DrawCell(QPainter& painter, int col, int row, const QRect& rect, TCellState state) {
    const int column = ColumnOfGridCol(col);
    TQelODBCClient* ds = DataSet();
    if (column < 0) {
        // The indicator: the current record's mark.
        if (row >= 1 && row == Current().Row && ds && !ds->IsEmpty()) {
            painter.setBrush(palette().color(QPalette::Text));
            painter.setPen(Qt::NoPen);
            const QPoint c = rect.center();
            if (ds->State() == dsEdit || ds->State() == dsInsert) {
                painter.drawRect(c.x() - 1, c.y() - 4, 2, 9);
            } else {
                const QPoint tri[] = {{c.x() - 2, c.y() - 4}, {c.x() + 2, c.y()}, {c.x() - 2, c.y() + 4}};
                painter.drawPolygon(tri, 3);
            }
        }
        return;
    }
    const TQelColumn& c = *Columns[static_cast<std::size_t>(column)];
    if (row == 0) {
        QRect textRect = rect.adjusted(2, 0, -2, 0);
        const QRect button = FilterButtonRect(column);
        if (!button.isEmpty()) {
            textRect.setRight(button.left() - 1);
            int image = c.IsFiltered ? c.ImageList_ActFilterInd
                                     : (!c.FilterText.empty() ? c.ImageList_NActFilterInd : c.ImageList_FilterInd);
            if (image < 0) image = c.ImageList_FilterInd;
            painter.fillRect(button, palette().color(QPalette::Button));
            if (image >= 0 && image < static_cast<int>(c.ImageList->size())) {
                const QImage& img = (*c.ImageList)[static_cast<std::size_t>(image)];
                painter.drawImage(button.center() - QPoint(img.width() / 2, img.height() / 2) + QPoint(1, 1), img);
            }
        }
        painter.drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter, c.Title());
        return;
    }
    const int recordIndex = RecordAtPos(Top + row - 1);
    if (recordIndex < 0) return;
    if (c.Color.isValid()) painter.fillRect(rect, c.Color);
    TField* f = c.FieldPtr;
    bool drawn = false;
    if (f && f->DataType() == ftBoolean && c.ImageList) {
        bool value = false;
        CellBool(column, recordIndex, value);
        const int image = value ? c.ImageList_TrueInd : c.ImageList_FalseInd;
        if (image >= 0) {
            if (state & csFocused) {
                painter.setPen(QPen(palette().color(QPalette::Text), 1, Qt::DotLine));
                painter.drawRect(rect.adjusted(0, 0, -1, -1));
            }
            if (image < static_cast<int>(c.ImageList->size())) {
                const QImage& img = (*c.ImageList)[static_cast<std::size_t>(image)];
                painter.drawImage(rect.center() - QPoint(img.width() / 2, img.height() / 2) + QPoint(0, 1), img);
            }
            drawn = true;
        }
    }
    if (!drawn) {
        const auto& texts = RowTexts(row);
        if (static_cast<std::size_t>(column) < texts.size()) {
            int offset = 0;
            if (c.OnGetTextOfs) c.OnGetTextOfs(const_cast<TQelColumn&>(c), offset);
            const Qt::Alignment align = f && IsNumericType(f->DataType()) ? Qt::AlignRight : Qt::AlignLeft;
            painter.drawText(rect.adjusted(2 + offset, 0, -2, 0), align | Qt::AlignVCenter,
                             Q(texts[static_cast<std::size_t>(column)]));
        }
    }
    // The current row's frame, except on the focused current cell, which has its own.
    if (row == Current().Row && ds && !ds->IsEmpty() && !((state & csSelected) && (state & csFocused))) {
        painter.setPen(QColor(Qt::blue));
        painter.drawLine(rect.left(), rect.top(), rect.right(), rect.top());
        painter.drawLine(rect.left(), rect.bottom(), rect.right(), rect.bottom());
    }
}

void TQelDBGrid::paintEvent(QPaintEvent* event) {
    TextCache.assign(static_cast<std::size_t>(RowCount()), std::nullopt);
    TQelCustomGrid::paintEvent(event);
}

QString TQelDBGrid::GetEditText(int col, int row) const {
    const int column = ColumnOfGridCol(col);
    if (column < 0 || column >= ColumnCount()) return {};
    if (row == 0) return Columns[static_cast<std::size_t>(column)]->Title();
    TField* f = Columns[static_cast<std::size_t>(column)]->FieldPtr;
    TQelODBCClient* ds = DataSet();
    if (!f || !ds || !ds->Active() || ds->IsEmpty()) return {};
    if (row == Current().Row) return Q(f->Text());
    const auto& texts = RowTexts(row);
    return static_cast<std::size_t>(column) < texts.size() ? Q(texts[static_cast<std::size_t>(column)]) : QString();
}

bool TQelDBGrid::CanEditShow() const {
    const int column = ColumnOfGridCol(Current().Col);
    if (column < 0 || column >= ColumnCount() || Current().Row < 1) return false;
    TQelColumn& c = *Columns[static_cast<std::size_t>(column)];
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty()) return false;
    if (OnCanEditShow) {
        bool allow = true;
        OnCanEditShow(const_cast<TQelDBGrid&>(*this), c, allow);
        return allow;
    }
    return c.FieldPtr && c.FieldPtr->DataType() != ftBoolean && !c.ReadOnly && c.FieldPtr->CanModify();
}

QLineEdit* TQelDBGrid::CreateEditor() { return new TQelDBGridInplaceEdit(*this, viewport()); }

TQelDBGridInplaceEdit* TQelDBGrid::InplaceEdit() const { return static_cast<TQelDBGridInplaceEdit*>(InplaceEditor()); }

TEditStyle TQelDBGrid::GetEditStyle(TQelColumn& column) const {
    TEditStyle style = esSimple;
    if (column.ButtonStyle == cbsEllipsis)
        style = esEllipsis;
    else if (column.ButtonStyle == cbsAuto && !column.PickList.isEmpty())
        style = esPickList;
    if (OnGetEditStyle) OnGetEditStyle(column, style);
    return style;
}

void TQelDBGrid::EditorShowing() {
    TQelDBGridInplaceEdit* editor = InplaceEdit();
    const int column = ColumnOfGridCol(Current().Col);
    if (column < 0 || column >= ColumnCount() || Current().Row < 1) {
        editor->SetEditStyle(esSimple);
        return;
    }
    editor->SetEditStyle(GetEditStyle(*Columns[static_cast<std::size_t>(column)]));
}

void TQelDBGrid::CommitEditor() {
    QLineEdit* editor = InplaceEditor();
    if (!editor || !EditorMode()) return;
    const int column = ColumnOfGridCol(Current().Col);
    TQelODBCClient* ds = DataSet();
    if (column < 0 || column >= ColumnCount() || !ds) return;
    TField* f = Columns[static_cast<std::size_t>(column)]->FieldPtr;
    QString text = editor->text();
    if (!f || text == EditorStartText) return;
    if (f->DataType() == ftBCD) {
        // Either separator typed means the decimal separator.
        const QChar sep = QChar::fromLatin1(FormatSettings::Current().DecimalSeparator);
        text.replace(',', sep).replace('.', sep);
    }
    Guarded([&] {
        if (ds->State() != dsEdit && ds->State() != dsInsert) ds->Edit();
        f->SetEditText(text.toStdString());
        EditorStartText = text;
    });
    viewport()->update();
}

// ----------------------------------------------------------------------------------------------------
// Editing operations

void TQelDBGrid::RevertBooleanValue() {
    TQelODBCClient* ds = DataSet();
    if (!ds || !ds->Active() || ds->IsEmpty()) return;
    TField* f = SelectedField();
    if (!f || f->DataType() != ftBoolean || !f->CanModify()) return;
    const TDataSetState s = ds->State();
    if (s != dsEdit && s != dsInsert && s != dsSetKey) ds->Edit();
    f->SetAsBoolean(!f->AsBoolean());
    viewport()->update();
}

void TQelDBGrid::EditColumns() {
    if (OnEditColumns) {
        OnEditColumns();
        return;
    }
    if (Editor_) {
        Editor_->raise();
        Editor_->activateWindow();
        return;
    }
    auto* editor = new TfrmColumnsEditor(this);
    Editor_ = editor;
    editor->move(viewport()->mapToGlobal(CellRect(0, 0).topLeft()));
    editor->SetFormProps(EditorFormProps);
    editor->show();
}

TfrmColumnsEditor* TQelDBGrid::ColumnsEditor() const { return static_cast<TfrmColumnsEditor*>(Editor_.data()); }

void TQelDBGrid::ShowSearch() {
    if (!Search) {
        Search = new TfrmLocalSearch(this);
        if (OnInitSearchForm) OnInitSearchForm(*this, *Search);
    }
    Search->setEnabled(true);
    Search->show();
    Search->raise();
    Search->activateWindow();
}

// ----------------------------------------------------------------------------------------------------
// Layout saving

Variant TQelDBGrid::GetColumnsAsVariant() const {
    TSavedColumnsLayout layout;
    for (int i = 0; i < ColumnCount(); ++i) {
        const TQelColumn& c = *Columns[static_cast<std::size_t>(i)];
        TSavedColumn s;
        s.FieldName = c.FieldNameText;
        s.Width = c.WidthPx;
        s.Index = i;
        s.Visible = c.IsVisible;
        s.Totals = c.FieldPtr && HasTotalSwitch(c.FieldPtr) && TotalSwitch(c.FieldPtr);
        s.FilterValue = c.FilterValue;
        layout.Columns.push_back(std::move(s));
    }
    layout.FormProps = EditorFormProps;
    layout.TotalsPlace = static_cast<std::int8_t>(Totals.Place());
    layout.TotalsColor = ColorToInt(Totals.Color());
    layout.TotalsBackColor = ColorToInt(Totals.BackColor());
    layout.FixedCols = FixedColsValue;
    return SaveColumnsLayout(layout);
}

void TQelDBGrid::SetColumnsAsVariant(const Variant& stored) {
    const TSavedColumnsLayout layout = ReadColumnsLayout(stored);
    LayingOut = true;
    bool sawTotals = false, anyTotals = false;
    for (const TSavedColumn& s : layout.Columns) {
        TQelColumn* c = nullptr;
        for (auto& candidate : Columns)
            if (candidate->FieldNameText == s.FieldName) {
                c = candidate.get();
                break;
            }
        if (!c) continue;
        c->WidthPx = std::clamp(s.Width, 0, TGridAxis::MaxSize);
        c->SetIndex(std::clamp(s.Index, 0, ColumnCount() - 1));
        if (s.Visible) c->IsVisible = c->EnabledForEditor && *s.Visible;
        if (s.Totals && c->FieldPtr && HasTotalSwitch(c->FieldPtr)) {
            SetTotalSwitch(c->FieldPtr, *s.Totals);
            sawTotals = true;
            anyTotals = anyTotals || *s.Totals;
        }
        if (s.FilterValue) c->FilterValue = *s.FilterValue;
    }
    LayingOut = false;
    if (!layout.FormProps.IsEmpty()) EditorFormProps = layout.FormProps;
    if (layout.TotalsPlace) Totals.SetPlace(*layout.TotalsPlace == 0 ? tipBottom : tipTop);
    if (layout.TotalsColor) Totals.SetColor(IntToColor(*layout.TotalsColor, Qt::white));
    if (layout.TotalsBackColor) Totals.SetBackColor(IntToColor(*layout.TotalsBackColor, palette().color(QPalette::Button)));
    if (layout.FixedCols) FixedColsValue = *layout.FixedCols;
    if (sawTotals) Totals.Setshow_totals(anyTotals);
    LayoutColumns();
}

// ----------------------------------------------------------------------------------------------------
// Mouse and keys

QString TQelDBGrid::HintAt(const QPoint& pos) {
    const TGridCoord cell = MouseCoord(pos);
    if (!cell.Valid() || cell.Col == 0) return {};
    bool doHint = true;
    if (OnDoHint) OnDoHint(*this, cell.Col, cell.Row, doHint);
    if (!doHint) return {};
    const int column = ColumnOfGridCol(cell.Col);
    TQelColumn& c = *Columns[static_cast<std::size_t>(column)];
    QString text;
    if (cell.Row == 0) {
        text = c.Title();
    } else {
        TextCache.assign(static_cast<std::size_t>(RowCount()), std::nullopt);
        const auto& texts = RowTexts(cell.Row);
        if (static_cast<std::size_t>(column) < texts.size()) text = Q(texts[static_cast<std::size_t>(column)]);
    }
    int offset = 0;
    if (c.OnGetTextOfs) c.OnGetTextOfs(c, offset);
    if (text.size() > MaxHintLength) text = text.left(MaxHintLength) + "...";
    if (QFontMetrics(font()).horizontalAdvance(text) <= ColWidth(cell.Col) - offset) return {};
    return text;
}

void TQelDBGrid::MouseDown(QMouseEvent* event, TGridCoord cell) {
    const QPoint pos = event->position().toPoint();
    if (cell.Col == 0 && cell.Row == 0 && event->button() == Qt::LeftButton) {
        if (CanEditCols) EditColumns();
        return;
    }
    if (cell.Row == 0 && cell.Col >= 1 && OnFilterBtnClick && SizingColAt(pos) < 0) {
        const int column = ColumnOfGridCol(cell.Col);
        if (FilterButtonRect(column).contains(pos)) {
            FilterPressed = true;
            OnFilterBtnClick(*Columns[static_cast<std::size_t>(column)], event->button());
            return;
        }
    }
    TQelCustomGrid::MouseDown(event, cell);
    if (event->button() == Qt::LeftButton && cell.Row >= 1 && cell.Col >= 1) {
        const TQelColumn& c = *Columns[static_cast<std::size_t>(ColumnOfGridCol(cell.Col))];
        if (!c.ReadOnly) Guarded([&] { RevertBooleanValue(); });
    }
}

void TQelDBGrid::MouseUp(QMouseEvent* event, TGridCoord cell) {
    if (FilterPressed) {
        FilterPressed = false;
        return;
    }
    TQelCustomGrid::MouseUp(event, cell);
}

void TQelDBGrid::MouseMove(QMouseEvent* event, TGridCoord cell) {
    TQelCustomGrid::MouseMove(event, cell);
    const QPoint pos = event->position().toPoint();
    const bool overButton = cell.Row == 0 && cell.Col >= 1 && FilterButtonRect(ColumnOfGridCol(cell.Col)).contains(pos);
    if (overButton != HandCursor) {
        HandCursor = overButton;
        if (overButton) viewport()->setCursor(Qt::PointingHandCursor);
        else viewport()->unsetCursor();
    }
    if (event->buttons() != Qt::NoButton) return;
    const QString hint = HintAt(pos);
    if (hint.isEmpty()) QToolTip::hideText();
    else QToolTip::showText(viewport()->mapToGlobal(pos), hint, viewport());
}

void TQelDBGrid::MouseLeave() {
    if (HandCursor) viewport()->unsetCursor();
    HandCursor = false;
}

void TQelDBGrid::DblClick(QMouseEvent* event, TGridCoord cell) {
    TQelCustomGrid::DblClick(event, cell);
    if (event->button() == Qt::LeftButton && cell.Row >= 1 && cell.Col >= 1)
        emit recordDoubleClicked(ColumnOfGridCol(cell.Col), RecordAtPos(Top + cell.Row - 1));
}

void TQelDBGrid::wheelEvent(QWheelEvent* event) {
    const int dy = event->angleDelta().y();
    if (dy != 0) {
        bool handled = false;
        if (const auto& ask = dy < 0 ? OnMouseWheelDown : OnMouseWheelUp)
            ask(*this, event->modifiers(), event->position().toPoint(), handled);
        if (handled) {
            event->accept();
            return;
        }
    }
    if (dy == 0 || !Link.Active()) {
        TQelCustomGrid::wheelEvent(event);
        return;
    }
    const int pos = ActivePos();
    Guarded([&] { MoveToPos(dy < 0 ? pos + 1 : pos - 1); });
    event->accept();
}

void TQelDBGrid::focusInEvent(QFocusEvent* event) {
    TQelCustomGrid::focusInEvent(event);
    viewport()->update();
}

void TQelDBGrid::focusOutEvent(QFocusEvent* event) {
    TQelCustomGrid::focusOutEvent(event);
    viewport()->update();
}

void TQelDBGrid::keyPressEvent(QKeyEvent* event) {
    const bool ctrl = event->modifiers() & Qt::ControlModifier;
    TQelODBCClient* ds = DataSet();
    const int pos = ActivePos();
    const int window = WindowRows();
    if (ctrl && event->key() == Qt::Key_F) {
        ShowSearch();
        return;
    }
    if (ctrl && event->key() == Qt::Key_Delete) {
        if (DeleteAction) Guarded([&] { DeleteAction(); });
        return;
    }
    auto move = [&](int target) { Guarded([&] { MoveToPos(target); }); };
    switch (event->key()) {
    case Qt::Key_Space:
        if (!EditorMode()) {
            const int column = SelectedIndex();
            if (column >= 0 && !Columns[static_cast<std::size_t>(column)]->ReadOnly) Guarded([&] { RevertBooleanValue(); });
            return;
        }
        break;
    case Qt::Key_Down:
        move(pos + 1);
        return;
    case Qt::Key_Up:
        move(pos - 1);
        return;
    case Qt::Key_PageDown:
        move(pos + window);
        return;
    case Qt::Key_PageUp:
        move(pos - window);
        return;
    case Qt::Key_Home:
    case Qt::Key_End:
        if (ctrl) {
            move(event->key() == Qt::Key_Home ? 0 : ShownRecordCount() - 1);
            return;
        }
        break;
    case Qt::Key_Escape:
        if (!EditorMode() && ds && (ds->State() == dsEdit || ds->State() == dsInsert)) {
            Guarded([&] { ds->Cancel(); });
            viewport()->update();
            return;
        }
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (EditorMode()) CommitEditor();
        break;
    default:
        break;
    }
    const bool wasEditing = EditorMode();
    const QString typed = event->text();
    if (!wasEditing && !ctrl && !typed.isEmpty() && typed[0].isPrint() && (Options() & goEditing)) {
        ShowEditor();
        if (EditorMode()) {
            PrepareEditor();
            InplaceEditor()->setText(typed);
            return;
        }
    }
    TQelCustomGrid::keyPressEvent(event);
    if (!wasEditing && EditorMode()) PrepareEditor();
}

void TQelDBGrid::PrepareEditor() {
    // The base editor only shows a text; here it writes the field.
    QLineEdit* editor = InplaceEditor();
    editor->setReadOnly(false);
    EditorStartText = editor->text();
    editor->disconnect(this);
    connect(editor, &QLineEdit::returnPressed, this, [this] { CommitEditor(); });
}

// ----------------------------------------------------------------------------------------------------
// In-place editor

TQelDBGridInplaceEdit::TQelDBGridInplaceEdit(TQelDBGrid& grid, QWidget* parent) : QLineEdit(parent), Grid(grid) {
    Btn = new QToolButton(this);
    Btn->setCursor(Qt::ArrowCursor);
    Btn->setFocusPolicy(Qt::NoFocus);
    Btn->hide();
    connect(Btn, &QToolButton::clicked, this, [this] { EditButtonClick(); });
}

TQelDBGridInplaceEdit::~TQelDBGridInplaceEdit() { delete List; }

void TQelDBGridInplaceEdit::SetEditStyle(TEditStyle style) {
    if (style != esPickList) CloseUp(false);
    Style = style;
    Btn->setText(style == esEllipsis ? QStringLiteral("...") : QStringLiteral("\u25BE"));
    Btn->setVisible(style != esSimple);
    setTextMargins(0, 0, style == esSimple ? 0 : Btn->sizeHint().width(), 0);
    PlaceButton();
}

void TQelDBGridInplaceEdit::PlaceButton() {
    const int w = std::min(Btn->sizeHint().width(), width() / 2);
    Btn->setGeometry(width() - w, 0, w, height());
}

void TQelDBGridInplaceEdit::resizeEvent(QResizeEvent* event) {
    QLineEdit::resizeEvent(event);
    PlaceButton();
}

void TQelDBGridInplaceEdit::hideEvent(QHideEvent* event) {
    CloseUp(false);
    QLineEdit::hideEvent(event);
}

bool TQelDBGridInplaceEdit::ListVisible() const { return List && List->isVisible(); }

void TQelDBGridInplaceEdit::DropDown() {
    if (Style != esPickList || isReadOnly()) return;
    const int column = Grid.ColumnOfGridCol(Grid.Current().Col);
    if (column < 0 || column >= Grid.ColumnCount()) return;
    TQelColumn& c = Grid.Column(column);
    QStringList items = c.PickList;
    if (Grid.OnGetPickListitems) Grid.OnGetPickListitems(c, items);
    if (!List) {
        // A top-level popup: it closes on a click outside, as a drop-down does.
        List = new QListWidget();
        List->setWindowFlags(Qt::Popup);
        List->setFocusPolicy(Qt::NoFocus);
        List->installEventFilter(this);
        connect(List, &QListWidget::itemClicked, this, [this] { CloseUp(true); });
    }
    List->clear();
    List->addItems(items);
    const QList<QListWidgetItem*> same = List->findItems(text(), Qt::MatchExactly);
    List->setCurrentRow(same.isEmpty() ? 0 : List->row(same.first()));
    const int rowH = std::max(1, List->sizeHintForRow(0));
    const int shown = std::clamp(static_cast<int>(items.size()), 1, 8);
    List->resize(std::max(width(), List->sizeHintForColumn(0) + 24), rowH * shown + 2 * List->frameWidth());
    List->move(mapToGlobal(QPoint(0, height())));
    List->show();
}

void TQelDBGridInplaceEdit::CloseUp(bool accept) {
    if (!ListVisible()) return;
    List->hide();
    if (accept && List->currentItem()) {
        setText(List->currentItem()->text());
        selectAll();
    }
}

void TQelDBGridInplaceEdit::EditButtonClick() {
    if (Style == esPickList) {
        if (ListVisible())
            CloseUp(false);
        else
            DropDown();
        return;
    }
    if (Style != esEllipsis) return;
    TQelODBCClient* ds = Grid.DataSet();
    // No record to pick a value for: the action would write nowhere.
    if (ds && ds->Active() && (ds->IsEmpty() || Grid.ShownRecordCount() == 0)) {
        UiServices().MessageBox("Добавьте новую запись!", "Kubrix", MB_OK | MB_ICONQUESTION);
        return;
    }
    if (Grid.OnEditButtonClick) Guarded([&] { Grid.OnEditButtonClick(Grid); });
}

void TQelDBGridInplaceEdit::keyPressEvent(QKeyEvent* event) {
    const bool alt = event->modifiers() & Qt::AltModifier;
    if (Style == esPickList && (event->key() == Qt::Key_F4 || (alt && (event->key() == Qt::Key_Down || event->key() == Qt::Key_Up)))) {
        EditButtonClick();
        return;
    }
    if (Style == esEllipsis && event->key() == Qt::Key_Return && (event->modifiers() & Qt::ControlModifier)) {
        EditButtonClick();
        return;
    }
    QLineEdit::keyPressEvent(event);
}

bool TQelDBGridInplaceEdit::eventFilter(QObject* watched, QEvent* event) {
    if (watched == List && event->type() == QEvent::KeyPress) {
        auto* key = static_cast<QKeyEvent*>(event);
        switch (key->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            CloseUp(true);
            return true;
        case Qt::Key_Escape:
            CloseUp(false);
            return true;
        default:
            break;
        }
    }
    return QLineEdit::eventFilter(watched, event);
}

}  // namespace kubrix
