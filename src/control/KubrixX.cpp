#include "control/KubrixX.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QVBoxLayout>

#include "control/KubrixXOle.h"
#include "pivot/Kubrix.h"
#include "support/CursorStack.h"
#include "support/Text.h"
#include "support/UiServices.h"
#include "ui/FrmKubrixEditor.h"
#include "ui/FrmOLAPValuesList.h"
#include "ui/KubrixXAbout.h"
#include "ui/QelKubrixView.h"

namespace kubrix {
namespace {

std::string Narrow(const WideString& s) { return Utf16ToUtf8(s); }
WideString Widen(const std::string& s) { return Utf8ToUtf16(s); }
VARIANT_BOOL Bool(bool b) { return b ? VARIANT_TRUE : VARIANT_FALSE; }

//! Checks an out parameter before anything is done.
template <typename T>
void CheckOut(T* p) {
    if (!p) throw EOleSysError("Invalid pointer", E_POINTER);
}

QColor OleColorToQColor(OLE_COLOR c, const QPalette& system) {
    if (c & 0x80000000u) {
        switch (c & 0xFF) {
            case 5: return system.color(QPalette::Base);          // window
            case 8: return system.color(QPalette::WindowText);    // window text
            case 15: return system.color(QPalette::Button);       // button face
            default: return system.color(QPalette::Window);
        }
    }
    return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}

Qt::CursorShape CursorShape(std::int16_t c) {
    switch (c) {
        case crCross: return Qt::CrossCursor;
        case crIBeam: return Qt::IBeamCursor;
        case crSizeNESW: return Qt::SizeBDiagCursor;
        case crSizeNS: return Qt::SizeVerCursor;
        case crSizeNWSE: return Qt::SizeFDiagCursor;
        case crSizeWE: return Qt::SizeHorCursor;
        case crUpArrow: return Qt::UpArrowCursor;
        case crHourGlass: case crSQLWait: return Qt::WaitCursor;
        case crNo: case crNoDrop: return Qt::ForbiddenCursor;
        case crAppStart: return Qt::BusyCursor;
        case crHelp: return Qt::WhatsThisCursor;
        case crHandPoint: return Qt::PointingHandCursor;
        case crSizeAll: return Qt::SizeAllCursor;
        case crNone: return Qt::BlankCursor;
        default: return Qt::ArrowCursor;
    }
}

}  // namespace

TKubrixX::TKubrixX(QWidget* parent) : QWidget(parent) {
    setObjectName("KubrixX");
    setWindowTitle("KubrixX");
    resize(682, 484);
    setAutoFillBackground(true);
    QPalette pal = palette();
    pal.setColor(QPalette::Window, OleColorToQColor(color_, pal));
    setPalette(pal);
    QFont f("MS Sans Serif");
    f.setPixelSize(11);
    setFont(f);

    // Components in the form's order: the grid, the connection, the dataset, the data source.
    grid_ = std::make_unique<TQelKubrix>();
    view_ = new TQelKubrixView(*grid_, this);
    view_->setObjectName("ogData");
    // Names of real catalogues and sums of whole regions are wider than a default column.
    view_->SetColumnFitLimit(ColumnFitLimit);
    // The grid's input decides in the model; what it asks of the control comes back here.
    grid_->AddListener(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(view_);
    session_ = std::make_unique<TKubrixSession>(*grid_);
    ole_ = std::make_unique<TKubrixXOle>(*this);

    // No sink can be connected yet, so the creation event reaches nobody.
    Fire([](IKubrixXEvents& s) { s.OnCreate(); });
}

TKubrixX::~TKubrixX() {
    Fire([](IKubrixXEvents& s) { s.OnDestroy(); });
    eventSink_ = nullptr;
    grid_->RemoveListener(this);
    // Child widgets would go only after the members: the view must not outlive its model.
    delete view_;
    view_ = nullptr;
    session_.reset();
    grid_.reset();
}

ComPtr<IKubrixX> TKubrixX::Create(QWidget* parent) { return ComPtr<IKubrixX>(new TKubrixX(parent)); }

HRESULT TKubrixX::QueryInterface(const IID& iid, void** object) {
    if (!object) return E_POINTER;
    if (iid == IID_IUnknown || iid == IID_IKubrixX || iid == IID_IDispatch) {
        *object = static_cast<IKubrixX*>(this);
        AddRef();
        return S_OK;
    }
    return ole_->QueryInterface(iid, object);
}

std::uint32_t TKubrixX::AddRef() { return refs_.AddRefImpl(); }

std::uint32_t TKubrixX::Release() {
    std::uint32_t left = 0;
    if (refs_.ReleaseImpl(left)) delete this;
    return left;
}

// ---- standard form properties

HRESULT TKubrixX::get_Visible(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(isVisible()); }); }
HRESULT TKubrixX::put_Visible(VARIANT_BOOL v) { return Call([&] { setVisible(v != 0); }); }
HRESULT TKubrixX::get_AutoScroll(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(autoScroll_); }); }
HRESULT TKubrixX::put_AutoScroll(VARIANT_BOOL v) { return Call([&] { autoScroll_ = v != 0; }); }
HRESULT TKubrixX::get_AutoSize(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(autoSize_); }); }
HRESULT TKubrixX::put_AutoSize(VARIANT_BOOL v) {
    return Call([&] {
        autoSize_ = v != 0;
        if (autoSize_) adjustSize();
    });
}
HRESULT TKubrixX::get_AxBorderStyle(TxActiveFormBorderStyle* v) { return Call([&] { CheckOut(v); *v = borderStyle_; }); }
HRESULT TKubrixX::put_AxBorderStyle(TxActiveFormBorderStyle v) { return Call([&] { borderStyle_ = v; update(); }); }
HRESULT TKubrixX::get_Caption(WideString* v) {
    return Call([&] { CheckOut(v); *v = Widen(windowTitle().toStdString()); });
}
HRESULT TKubrixX::put_Caption(const WideString& v) {
    return Call([&] { setWindowTitle(QString::fromStdString(Narrow(v))); });
}
HRESULT TKubrixX::get_Color(OLE_COLOR* v) { return Call([&] { CheckOut(v); *v = color_; }); }
HRESULT TKubrixX::put_Color(OLE_COLOR v) {
    return Call([&] {
        color_ = v;
        QPalette pal = palette();
        pal.setColor(QPalette::Window, OleColorToQColor(v, pal));
        setPalette(pal);
    });
}
HRESULT TKubrixX::get_Font(TOleFont* v) {
    return Call([&] {
        CheckOut(v);
        const QFont f = font();
        v->Name = Widen(f.family().toStdString());
        v->Height = f.pixelSize() > 0 ? -f.pixelSize() : -int(f.pointSizeF() * pixelsPerInch_ / 72 + 0.5);
        v->Bold = f.bold();
        v->Italic = f.italic();
        v->Underline = f.underline();
        v->Strikeout = f.strikeOut();
    });
}
HRESULT TKubrixX::put_Font(const TOleFont& v) {
    return Call([&] {
        QFont f(QString::fromStdString(Narrow(v.Name)));
        if (v.Height != 0) f.setPixelSize(v.Height < 0 ? -v.Height : v.Height);
        f.setBold(v.Bold);
        f.setItalic(v.Italic);
        f.setUnderline(v.Underline);
        f.setStrikeOut(v.Strikeout);
        setFont(f);
    });
}
HRESULT TKubrixX::putref_Font(const TOleFont& v) { return put_Font(v); }
HRESULT TKubrixX::get_KeyPreview(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(keyPreview_); }); }
HRESULT TKubrixX::put_KeyPreview(VARIANT_BOOL v) { return Call([&] { keyPreview_ = v != 0; }); }
HRESULT TKubrixX::get_PixelsPerInch(std::int32_t* v) { return Call([&] { CheckOut(v); *v = pixelsPerInch_; }); }
HRESULT TKubrixX::put_PixelsPerInch(std::int32_t v) {
    return Call([&] {
        if (v <= 0) throw EOleSysError("Invalid property value", E_INVALIDARG);
        pixelsPerInch_ = v;
    });
}
HRESULT TKubrixX::get_PrintScale(TxPrintScale* v) { return Call([&] { CheckOut(v); *v = printScale_; }); }
HRESULT TKubrixX::put_PrintScale(TxPrintScale v) { return Call([&] { printScale_ = v; }); }
HRESULT TKubrixX::get_Scaled(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(scaled_); }); }
HRESULT TKubrixX::put_Scaled(VARIANT_BOOL v) { return Call([&] { scaled_ = v != 0; }); }
HRESULT TKubrixX::get_Active(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(isActiveWindow()); }); }
HRESULT TKubrixX::get_DropTarget(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(dropTarget_); }); }
HRESULT TKubrixX::put_DropTarget(VARIANT_BOOL v) { return Call([&] { dropTarget_ = v != 0; }); }
HRESULT TKubrixX::get_HelpFile(WideString* v) { return Call([&] { CheckOut(v); *v = helpFile_; }); }
HRESULT TKubrixX::put_HelpFile(const WideString& v) { return Call([&] { helpFile_ = v; }); }
HRESULT TKubrixX::get_DoubleBuffered(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(doubleBuffered_); }); }
HRESULT TKubrixX::put_DoubleBuffered(VARIANT_BOOL v) { return Call([&] { doubleBuffered_ = v != 0; }); }
HRESULT TKubrixX::get_AlignDisabled(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = VARIANT_FALSE; }); }
HRESULT TKubrixX::get_VisibleDockClientCount(std::int32_t* v) { return Call([&] { CheckOut(v); *v = 0; }); }
HRESULT TKubrixX::get_Enabled(VARIANT_BOOL* v) { return Call([&] { CheckOut(v); *v = Bool(isEnabled()); }); }
HRESULT TKubrixX::put_Enabled(VARIANT_BOOL v) { return Call([&] { setEnabled(v != 0); }); }
HRESULT TKubrixX::get_Cursor(std::int16_t* v) { return Call([&] { CheckOut(v); *v = cursor_; }); }
HRESULT TKubrixX::put_Cursor(std::int16_t v) {
    return Call([&] {
        cursor_ = v;
        if (v == crDefault) unsetCursor();
        else setCursor(CursorShape(v));
    });
}
HRESULT TKubrixX::get_HelpType(TxHelpType* v) { return Call([&] { CheckOut(v); *v = helpType_; }); }
HRESULT TKubrixX::put_HelpType(TxHelpType v) { return Call([&] { helpType_ = v; }); }
HRESULT TKubrixX::get_HelpKeyword(WideString* v) { return Call([&] { CheckOut(v); *v = helpKeyword_; }); }
HRESULT TKubrixX::put_HelpKeyword(const WideString& v) { return Call([&] { helpKeyword_ = v; }); }

// ---- the control's members

HRESULT TKubrixX::AboutBox() { return Call([&] { ShowAboutBox(this); }); }

HRESULT TKubrixX::SetSQL(const WideString& SQLText) { return Call([&] { session_->SetSQL(Narrow(SQLText)); }); }

HRESULT TKubrixX::Config(const WideString& XFields, const WideString& YFields, const WideString& DFields,
                         const WideString& DataPlace, std::int32_t DataIndex) {
    return Call([&] {
        session_->Config(Narrow(XFields), Narrow(YFields), Narrow(DFields), Narrow(DataPlace), DataIndex);
    });
}

HRESULT TKubrixX::get_State(WideString* value) {
    // One UTF-16 unit per byte: the state is binary and must come back unchanged.
    return Call([&] {
        CheckOut(value);
        *value = BytesToWide(session_->GetState());
    });
}

HRESULT TKubrixX::put_State(const WideString& value) {
    return Call([&] {
        std::string bytes;
        if (!WideToBytes(value, bytes)) throw Exception("Неверная строка состояния");
        session_->SetState(bytes);
    });
}

HRESULT TKubrixX::SaveState(const WideString& FileName) { return Call([&] { session_->SaveState(Narrow(FileName)); }); }
HRESULT TKubrixX::LoadState(const WideString& FileName) { return Call([&] { session_->LoadState(Narrow(FileName)); }); }
HRESULT TKubrixX::Connect(const WideString& ConnectionString) {
    return Call([&] { session_->Connect(Narrow(ConnectionString)); });
}
HRESULT TKubrixX::ConnectTo1C() { return Call([&] { session_->ConnectTo1C(); }); }
HRESULT TKubrixX::Disconnect() { return Call([&] { session_->Disconnect(); }); }
HRESULT TKubrixX::Close() { return Call([&] { session_->Close(); }); }

// ---- events

HRESULT TKubrixX::EventSinkChanged(IUnknown* sink) {
    eventSink_ = QueryAs<IKubrixXEvents>(sink, DIID_IKubrixXEvents);
    return S_OK;
}

void TKubrixX::changeEvent(QEvent* event) {
    if (event->type() == QEvent::ActivationChange) {
        if (isActiveWindow()) Fire([](IKubrixXEvents& s) { s.OnActivate(); });
        else Fire([](IKubrixXEvents& s) { s.OnDeactivate(); });
    }
    QWidget::changeEvent(event);
}

void TKubrixX::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        Fire([](IKubrixXEvents& s) { s.OnClick(); });
    QWidget::mouseReleaseEvent(event);
}

void TKubrixX::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) Fire([](IKubrixXEvents& s) { s.OnDblClick(); });
    QWidget::mouseDoubleClickEvent(event);
}

void TKubrixX::keyPressEvent(QKeyEvent* event) {
    const QString text = event->text();
    if (text.isEmpty() || !eventSink_) {
        if (!text.isEmpty()) KeyPressed(event);
        else QWidget::keyPressEvent(event);
        return;
    }
    std::int16_t key = static_cast<std::int16_t>(text.at(0).unicode());
    eventSink_->OnKeyPress(key);
    if (key == 0) {
        event->accept();
        return;
    }
    const QChar ch(static_cast<char16_t>(key));
    if (ch == text.at(0)) {
        KeyPressed(event);
        return;
    }
    QKeyEvent changed(event->type(), event->key(), event->modifiers(), QString(ch), event->isAutoRepeat(),
                      static_cast<quint16>(event->count()));
    KeyPressed(&changed);
}

void TKubrixX::KeyPressed(QKeyEvent* event) { QWidget::keyPressEvent(event); }

void TKubrixX::paintEvent(QPaintEvent* event) {
    QWidget::paintEvent(event);
    Fire([](IKubrixXEvents& s) { s.OnPaint(); });
}

void TKubrixX::ApplyEditedLayout(const std::string& x, const std::string& y, const std::string& d, int place,
                                 int index) {
    // A name the model refuses still leaves the fields before it placed: told either way.
    struct Tell {
        TKubrixX& form;
        ~Tell() { emit form.layoutEdited(); }
    } tell{*this};
    grid_->Config(x, y, d, static_cast<std::uint8_t>(place), static_cast<std::uint8_t>(index));
}

void TKubrixX::EditGrid(const QPoint& topLeft) {
    // Called from a mouse event: nothing may escape into the event loop.
    try {
        ShowKubrixEditor(this, topLeft, *grid_,
                         [this](const std::string& x, const std::string& y, const std::string& d, int place, int index) {
                             ApplyEditedLayout(x, y, d, place, index);
                         });
    } catch (const std::exception& e) {
        UiServices().MessageBox(e.what(), "KubrixX", MB_OK | MB_ICONERROR);
    }
}

QPoint TKubrixX::CellCorner(int col, int row, bool bottom) const {
    const QRect rect = view_->CellRect(col, row);
    if (rect.isEmpty()) return view_->viewport()->mapToGlobal(QPoint(0, 0));
    return view_->viewport()->mapToGlobal(bottom ? QPoint(rect.left(), rect.top() + rect.height()) : rect.topLeft());
}

void TKubrixX::KubrixEditGrid(TQelKubrix&) {
    TraceScope trace(this, "TQelKubrix.EditGrid");
    EditGrid(CellCorner(0, 0, false));
}

void TKubrixX::KubrixValueFilter(TQelKubrix&, TQelOLAPField& field, int col, int row) {
    const QPoint at = CellCorner(col, row, true);
    const std::string fieldName = field.FieldName;
    emit valueFilterRequested(QString::fromStdString(fieldName), at);
    // Called from a mouse event: nothing may escape into the event loop. The field is looked up
    // again: a receiver of the signal may have laid the grid out anew.
    try {
        if (TQelOLAPField* f = grid_->OLAPFields().FindField(fieldName))
            if (ShowValuesFilter(this, at, *f)) view_->viewport()->update();
    } catch (const std::exception& e) {
        UiServices().MessageBox(e.what(), "KubrixX", MB_OK | MB_ICONERROR);
    }
}

void TKubrixX::KubrixDrillDown(TQelKubrix&, const std::optional<std::vector<std::int32_t>>& records) {
    session_->DrillDown(records);
}

}  // namespace kubrix
