#include "ui/FrmLocalSearch.h"

#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include <exception>

#include "dataset/QelODBCClient.h"
#include "support/CursorStack.h"
#include "support/UiServices.h"
#include "ui/QelDBGrid.h"

namespace kubrix {

TfrmLocalSearch::TfrmLocalSearch(TQelDBGrid* grid) : QWidget(grid, Qt::Tool | Qt::WindowStaysOnTopHint), Grid(grid) {
    setWindowTitle(QString::fromUtf8("Поиск"));
    setObjectName("frmLocalSearch");
    auto* top = new QVBoxLayout(this);
    auto* findRow = new QHBoxLayout;
    findRow->addWidget(new QLabel(QString::fromUtf8("Найти:")));
    eFind = new QLineEdit;
    eFind->setObjectName("eFind");
    findRow->addWidget(eFind, 1);
    top->addLayout(findRow);
    auto* rgDirection = new QGroupBox(QString::fromUtf8("Направление поиска"));
    rgDirection->setObjectName("rgDirection");
    auto* radios = new QVBoxLayout(rgDirection);
    rbByRows = new QRadioButton(QString::fromUtf8("по строкам"));
    rbByColumns = new QRadioButton(QString::fromUtf8("по столбцам"));
    radios->addWidget(rbByRows);
    radios->addWidget(rbByColumns);
    rbByColumns->setChecked(true);
    top->addWidget(rgDirection);
    bSearch = new QPushButton(QString::fromUtf8("Найти"));
    bSearch->setObjectName("bSearch");
    bSearch->setAutoDefault(false);
    connect(bSearch, &QPushButton::clicked, this, [this] { bSearchClick(); });
    top->addWidget(bSearch);
}

int TfrmLocalSearch::Direction() const { return rbByRows->isChecked() ? 0 : 1; }

void TfrmLocalSearch::SetDirection(int index) { (index == 0 ? rbByRows : rbByColumns)->setChecked(true); }

bool TfrmLocalSearch::bSearchClick() {
    BusyCursor busy;
    auto notFound = [] {
        UiServices().MessageBox("Не найдено", "Поиск", MB_OK | MB_ICONINFORMATION);
        return false;
    };
    const QString pattern = eFind->text().toUpper();
    TQelODBCClient* ds = Grid->DataSet();
    if (pattern.isEmpty() || !ds || !ds->Active()) return notFound();
    std::vector<TField*> fields;
    for (int i = 0; i < Grid->ColumnCount(); ++i) {
        const TQelColumn& c = Grid->Column(i);
        if (c.Visible() && c.Field() && (c.Field()->FieldKind() == fkData || c.Field()->FieldKind() == fkLookup))
            fields.push_back(c.Field());
    }
    const std::int64_t n = ds->RealRecordCount();
    const std::int64_t f = static_cast<std::int64_t>(fields.size());
    if (n == 0 || f == 0) return notFound();
    std::int64_t c0 = 0;
    for (std::int64_t i = 0; i < f; ++i)
        if (fields[static_cast<std::size_t>(i)] == Grid->SelectedField()) c0 = i;
    std::int64_t r0 = ds->IsEmpty() ? 0 : ds->GetActiveRecordIndex();
    if (r0 < 0 || r0 >= n) r0 = 0;
    const bool byRows = Direction() == 0;
    const std::int64_t start = byRows ? r0 * f + c0 : n * c0 + r0;
    Variant value;
    for (std::int64_t k = 1; k < n * f; ++k) {
        const std::int64_t s = start + k;
        const std::int64_t record = byRows ? (s / f) % n : s % n;
        TField* field = fields[static_cast<std::size_t>(byRows ? s % f : (s / n) % f)];
        const int index = static_cast<int>(record);
        if (!ds->IsRecordVisible(index)) continue;
        value = Variant::Null();
        ds->GetFieldValueFromBuffer(field, index, value, "new");
        QString text;
        try {
            if (!value.IsEmptyOrNull()) text = QString::fromStdString(value.ToAnsi()).toUpper();
        } catch (const std::exception&) {
            continue;  // a value without a text form (an array, a blob) matches nothing
        }
        if (!text.contains(pattern)) continue;
        Grid->SetSelectedField(field);
        if (index != ds->GetActiveRecordIndex()) ds->SetRecNo(index + 1);
        return true;
    }
    return notFound();
}

void TfrmLocalSearch::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        try {
            bSearchClick();
        } catch (const std::exception& e) {
            UiServices().MessageBox(e.what(), "Поиск", MB_OK | MB_ICONERROR);
        }
        return;
    case Qt::Key_Escape:
        hide();
        return;
    default:
        QWidget::keyPressEvent(event);
    }
}

void TfrmLocalSearch::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    eFind->setFocus();
    eFind->selectAll();
}

bool TfrmLocalSearch::event(QEvent* event) {
    if (event->type() == QEvent::WindowActivate) {
        eFind->setFocus();
        eFind->selectAll();
    }
    return QWidget::event(event);
}

}  // namespace kubrix
