#pragma once
// The columns editor of a data grid ("Редактор столбцов"): a stay-on-top window listing the
// grid's columns in an in-memory dataset of its own, shown in a data grid of its own, where the
// user shows and hides columns, sets widths and totals switches, the totals band's place and
// colours and the frozen columns, and writes them back to the grid with "Ok".

#include <QComboBox>
#include <QWidget>

#include <memory>
#include <vector>

#include "support/Variant.h"

class QPushButton;
class QSpinBox;

namespace kubrix {

class TDataSource;
class TQelColumn;
class TQelDBGrid;
class TQelODBCClient;

//! A box of colours: a few standard ones and any colour put into it.
class TColorBox : public QComboBox {
    Q_OBJECT
public:
    explicit TColorBox(QWidget* parent = nullptr);
    QColor Color() const;
    void SetColor(const QColor& color);
};

class TfrmColumnsEditor : public QWidget {
    Q_OBJECT

public:
    //! Fills the editor from the grid (SetGrid); the editor is a window of the grid's.
    explicit TfrmColumnsEditor(TQelDBGrid* grid);
    ~TfrmColumnsEditor() override;

    //! Window width, height and its grid's layout, in the storage stream form.
    Variant GetFormProps() const;
    void SetFormProps(const Variant& props);
    //! Writes the changes to the grid ("Ok" does this, then closes).
    void SetChangies();
    void bOkClick();
    void bCancelClick();
    bool Changed() const { return ChangedFlag; }

    TQelODBCClient& qData() { return *Data; }
    TQelDBGrid* dbgData = nullptr;
    QComboBox* cbTotalsPlace = nullptr;
    TColorBox* cbBackColor = nullptr;
    TColorBox* cbColor = nullptr;
    QSpinBox* ceFixedCols = nullptr;
    QPushButton* bOk = nullptr;
    QPushButton* bCancel = nullptr;

protected:
    void closeEvent(QCloseEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void SetGrid();
    void RecordMoved();
    void AfterVisibleClick();
    void ChooseColor(TColorBox* box);

    TQelDBGrid* Grid;
    std::unique_ptr<TQelODBCClient> Data;
    std::unique_ptr<TDataSource> Source;
    std::vector<TQelColumn*> Handles;  // the grid's columns by the handle in the Column field
    bool ChangedFlag = false;
    bool InDialog = false;
    bool Closing = false;
    bool Accepted = false;
};

}  // namespace kubrix
