#pragma once
// The search window of a data grid ("Поиск"): finds the next cell after the current one whose
// shown value contains a text, row by row or column by column, wrapping around, reading the
// dataset's records directly, and moves the grid there.

#include <QWidget>

class QLineEdit;
class QRadioButton;
class QPushButton;

namespace kubrix {

class TQelDBGrid;

class TfrmLocalSearch : public QWidget {
    Q_OBJECT

public:
    //! A window of the grid's, hidden (not freed) when closed.
    explicit TfrmLocalSearch(TQelDBGrid* grid);

    QLineEdit* eFind = nullptr;
    QRadioButton* rbByRows = nullptr;     //!< "по строкам", index 0
    QRadioButton* rbByColumns = nullptr;  //!< "по столбцам", index 1 (the default)
    QPushButton* bSearch = nullptr;

    //! 0 row by row, 1 column by column.
    int Direction() const;
    void SetDirection(int index);
    //! Searches; false (after "Не найдено") when nothing was found.
    bool bSearchClick();

protected:
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    bool event(QEvent* event) override;

private:
    TQelDBGrid* Grid;
};

}  // namespace kubrix
