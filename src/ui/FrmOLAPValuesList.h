#pragma once
// The values popup of a pivot field: a borderless modal list of the field's distinct values
// with a check box each, a search, "check all" and "uncheck all" over what the search shows,
// and the check states handed back by position after "Ok". The list lives in an in-memory
// dataset of the popup's own (Name, Object, Checked) shown in a data grid.

#include <QDialog>

#include <memory>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QToolButton;

namespace kubrix {

class TDataSet;
class TDataSource;
class TQelDBGrid;
class TQelODBCClient;
class TQelOLAPField;

class TfrmOLAPValuesList : public QDialog {
    Q_OBJECT

public:
    explicit TfrmOLAPValuesList(QWidget* parent = nullptr);
    ~TfrmOLAPValuesList() override;

    //! Appends a value: its display text, the caller's key and its check state.
    void AddItem(const std::string& text, int object, bool checked);
    //! Records held, whether the search shows them or not.
    int ItemCount() const;
    //! The key and the check state of record index, by position.
    int GetItemObject(int index) const;
    bool GetItemChecked(int index) const;

    //! The filter expression of a search text: the text between single quotes, a quote in it
    //! made a wildcard, so that no text can end the literal early or break the expression.
    static std::string SearchFilter(const std::string& text);

    void bFindClick();
    void aCheckAllExecute() { SetAllChecked(true); }
    void aUncheckAllExecute() { SetAllChecked(false); }
    void bOkClick();
    void bCancelClick() { reject(); }
    //! The status panel's text for the dataset as it is now.
    QString StatusText() const;

    TQelODBCClient& qData() { return *Data; }
    TQelDBGrid* dbgData = nullptr;
    QLineEdit* eFind = nullptr;
    QToolButton* bFind = nullptr;
    QToolButton* bCheckAll = nullptr;
    QToolButton* bUncheckAll = nullptr;
    QPushButton* bOk = nullptr;
    QPushButton* bCancel = nullptr;
    QLabel* sbInfo = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetAllChecked(bool value);
    void PostPending();
    void UpdateStatus();
    void FitNameColumn();
    void FilterByQuotedText(TDataSet& ds, bool& hide);

    std::unique_ptr<TQelODBCClient> Data;
    std::unique_ptr<TDataSource> Source;
    // The search text upper-cased when it holds a quote (the expression alone cannot match one).
    std::string QuotedSearch;
};

//! Opens the values popup of a pivot field with its top-left corner at topLeft: every value in
//! the field's order with its Selected flag; on "Ok" the check states become the flags and the
//! grid is laid out anew. Returns whether the flags were written.
bool ShowValuesFilter(QWidget* parent, const QPoint& topLeft, TQelOLAPField& field);

}  // namespace kubrix
