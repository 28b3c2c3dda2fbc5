#pragma once
// The control as a form: a widget holding the pivot grid `ogData` over the whole client area
// and the working components (connection, dataset, data source), exposed through IKubrixX.
// Every interface call runs in an error frame: errors come back as failing HRESULTs with the
// thread's error info set, never as exceptions. The form's own events go to the host's
// IKubrixXEvents sink when one is connected.

#include <QWidget>

#include <memory>
#include <string>

#include "control/IKubrixX.h"
#include "pivot/Kubrix.h"
#include "session/KubrixSession.h"
#include "support/UiServices.h"

namespace kubrix {

class TQelKubrixView;
class TKubrixXOle;

class TKubrixX : public QWidget, public IKubrixX, private IKubrixListener {
    Q_OBJECT

public:
    explicit TKubrixX(QWidget* parent = nullptr);
    ~TKubrixX() override;

    //! A new control with one reference held by the result.
    static ComPtr<IKubrixX> Create(QWidget* parent = nullptr);

    // ---- IUnknown
    HRESULT QueryInterface(const IID& iid, void** object) override;
    std::uint32_t AddRef() override;
    std::uint32_t Release() override;

    // ---- IDispatch (KubrixXDispatch.cpp): the members by name, arguments as variants
    HRESULT GetTypeInfoCount(std::uint32_t* count) override;
    HRESULT GetTypeInfo(std::uint32_t index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(const IID& iid, char16_t** names, std::uint32_t count, LCID lcid, DISPID* ids) override;
    HRESULT Invoke(DISPID id, const IID& iid, LCID lcid, std::uint16_t flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO* exception, std::uint32_t* argError) override;

    // ---- standard form properties
    HRESULT get_Visible(VARIANT_BOOL* value) override;
    HRESULT put_Visible(VARIANT_BOOL value) override;
    HRESULT get_AutoScroll(VARIANT_BOOL* value) override;
    HRESULT put_AutoScroll(VARIANT_BOOL value) override;
    HRESULT get_AutoSize(VARIANT_BOOL* value) override;
    HRESULT put_AutoSize(VARIANT_BOOL value) override;
    HRESULT get_AxBorderStyle(TxActiveFormBorderStyle* value) override;
    HRESULT put_AxBorderStyle(TxActiveFormBorderStyle value) override;
    HRESULT get_Caption(WideString* value) override;
    HRESULT put_Caption(const WideString& value) override;
    HRESULT get_Color(OLE_COLOR* value) override;
    HRESULT put_Color(OLE_COLOR value) override;
    HRESULT get_Font(TOleFont* value) override;
    HRESULT put_Font(const TOleFont& value) override;
    HRESULT putref_Font(const TOleFont& value) override;
    HRESULT get_KeyPreview(VARIANT_BOOL* value) override;
    HRESULT put_KeyPreview(VARIANT_BOOL value) override;
    HRESULT get_PixelsPerInch(std::int32_t* value) override;
    HRESULT put_PixelsPerInch(std::int32_t value) override;
    HRESULT get_PrintScale(TxPrintScale* value) override;
    HRESULT put_PrintScale(TxPrintScale value) override;
    HRESULT get_Scaled(VARIANT_BOOL* value) override;
    HRESULT put_Scaled(VARIANT_BOOL value) override;
    HRESULT get_Active(VARIANT_BOOL* value) override;
    HRESULT get_DropTarget(VARIANT_BOOL* value) override;
    HRESULT put_DropTarget(VARIANT_BOOL value) override;
    HRESULT get_HelpFile(WideString* value) override;
    HRESULT put_HelpFile(const WideString& value) override;
    HRESULT get_DoubleBuffered(VARIANT_BOOL* value) override;
    HRESULT put_DoubleBuffered(VARIANT_BOOL value) override;
    HRESULT get_AlignDisabled(VARIANT_BOOL* value) override;
    HRESULT get_VisibleDockClientCount(std::int32_t* value) override;
    HRESULT get_Enabled(VARIANT_BOOL* value) override;
    HRESULT put_Enabled(VARIANT_BOOL value) override;
    HRESULT get_Cursor(std::int16_t* value) override;
    HRESULT put_Cursor(std::int16_t value) override;
    HRESULT get_HelpType(TxHelpType* value) override;
    HRESULT put_HelpType(TxHelpType value) override;
    HRESULT get_HelpKeyword(WideString* value) override;
    HRESULT put_HelpKeyword(const WideString& value) override;

    // ---- the control's members
    HRESULT AboutBox() override;
    HRESULT SetSQL(const WideString& SQLText) override;
    HRESULT Config(const WideString& XFields, const WideString& YFields, const WideString& DFields,
                   const WideString& DataPlace, std::int32_t DataIndex) override;
    HRESULT get_State(WideString* value) override;
    HRESULT put_State(const WideString& value) override;
    HRESULT SaveState(const WideString& FileName) override;
    HRESULT LoadState(const WideString& FileName) override;
    HRESULT Connect(const WideString& ConnectionString) override;
    HRESULT ConnectTo1C() override;
    HRESULT Disconnect() override;
    HRESULT Close() override;

    // ---- events
    //! The host connects (or, with null, disconnects) its sink; kept only if it is an IKubrixXEvents.
    HRESULT EventSinkChanged(IUnknown* sink);
    IKubrixXEvents* EventSink() const { return eventSink_.Get(); }

    // ---- the components
    //! The pivot grid widget over the whole client area (a view of Grid()).
    TQelKubrixView* ogData() const { return view_; }
    //! The pivot grid's model.
    TQelKubrix& Grid() { return *grid_; }
    //! Widest a column of the grid grows to show its texts, in pixels.
    static constexpr int ColumnFitLimit = 320;
    TKubrixSession& Session() { return *session_; }
    //! The container-facing side of the control.
    TKubrixXOle& Ole() { return *ole_; }
    //! The back-end library ConnectTo1C loads.
    void SetBackEndLibrary(const std::string& name) { session_->BackEndLibrary = name; }
    //! What the report editor's "Применить" does: lays the pivot out from the name lists, then
    //! tells whoever shows the layout elsewhere (layoutEdited).
    void ApplyEditedLayout(const std::string& x, const std::string& y, const std::string& d, int place, int index);

signals:
    //! The user laid the pivot out anew in the report editor.
    void layoutEdited();

signals:
    //! The filter button of a field's caption was pressed: its value filter opens at the screen
    //! position of the caption cell's bottom-left corner (told before the popup shows).
    void valueFilterRequested(const QString& fieldName, const QPoint& globalPos);

protected:
    //! The form goes on with a character key after the host's sink saw it (0 never arrives here).
    virtual void KeyPressed(QKeyEvent* event);

    void changeEvent(QEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    template <typename F>
    HRESULT Call(F&& body) {
        return SafeCall(IID_IKubrixX, KubrixXProgID, std::forward<F>(body));
    }
    template <typename F>
    void Fire(F&& call) {
        if (eventSink_) call(*eventSink_.Get());
    }
    //! Opens the report editor on the grid at a screen position; "Применить" lays the pivot out anew.
    void EditGrid(const QPoint& topLeft);
    // What the grid's input asks of the control.
    void KubrixEditGrid(TQelKubrix& grid) override;
    void KubrixValueFilter(TQelKubrix& grid, TQelOLAPField& field, int col, int row) override;
    void KubrixDrillDown(TQelKubrix& grid, const std::optional<std::vector<std::int32_t>>& records) override;
    //! Screen position of a corner of a cell of the grid view (bottom: its bottom-left corner).
    QPoint CellCorner(int col, int row, bool bottom) const;

    TRefCounted refs_;
    // The model outlives the session bound to it, and the view showing it (see the destructor).
    std::unique_ptr<TQelKubrix> grid_;
    TQelKubrixView* view_ = nullptr;
    std::unique_ptr<TKubrixSession> session_;
    ComPtr<IKubrixXEvents> eventSink_;
    // The container-facing interfaces (connection point, persistence, drawing, activation).
    std::unique_ptr<TKubrixXOle> ole_;

    // Form properties the widget has no place for; stored as set.
    bool autoScroll_ = false, autoSize_ = false, keyPreview_ = false, scaled_ = true;
    bool dropTarget_ = false, doubleBuffered_ = false;
    TxActiveFormBorderStyle borderStyle_ = afbNone;
    TxPrintScale printScale_ = poProportional;
    TxHelpType helpType_ = htContext;
    std::int32_t pixelsPerInch_ = 96;
    std::int16_t cursor_ = 0;
    WideString helpFile_, helpKeyword_;
    OLE_COLOR color_ = clBtnFace;
};

}  // namespace kubrix
