// The report editor under the offscreen platform: its texts, drags carried out with real mouse
// events on the list viewports, what "Применить" hands to the grid and that "Отмена" hands
// nothing.

#include "ui/FrmKubrixEditor.h"

#include <QApplication>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

#include "support/CursorStack.h"
#include "support/UiServices.h"

using namespace kubrix;

namespace {

// Report used by most cases: Region and Product down, Year across, Qty and Sum summed with
// the data block between Region and Product.
TKubrixEditorInput Report() {
    TKubrixEditorInput in;
    in.Fields = {
        {"Region", "Регион", ftString}, {"Product", "Товар", ftString}, {"Year", "Год", ftInteger},
        {"Qty", "Кол", ftInteger},      {"Sum", "Сумма", ftCurrency},   {"Amount", "Объём", ftFloat},
    };
    in.XFields = {"Region", "Product"};
    in.YFields = {"Year"};
    in.DFields = {"Qty", "Sum"};
    in.DataPlace = 0;
    in.DataIndex = 1;
    return in;
}

// The texts a list widget shows, joined by "|".
QString Shown(QListWidget* list) {
    QStringList out;
    for (int i = 0; i < list->count(); ++i) out << list->item(i)->text();
    return out.join(QLatin1Char('|'));
}

// One call of the apply hook.
struct Applied {
    std::string x, y, d;
    int place = -1, index = -1;
    std::size_t busyDepth = 0;
};

struct Recorder {
    std::vector<Applied> calls;
    TKubrixEditorApply Hook() {
        return [this](const std::string& x, const std::string& y, const std::string& d, int place, int index) {
            calls.push_back({x, y, d, place, index, CursorStack::Depth()});
        };
    }
};

// A point on entry row of list (below the last entry when row is -1).
QPoint EntryPoint(QListWidget* list, int row) {
    if (row >= 0) return list->visualItemRect(list->item(row)).center();
    return QPoint(10, list->viewport()->height() - 3);
}

// Drags entry row of list from onto entry toRow of list to (-1: below its last entry) with
// real mouse events: press, a move short of the threshold, a move onto the target, release.
// grabbed: the moves and the release go to the pressed viewport, as under a mouse grab;
// otherwise they go to the widget under the pointer.
void Drag(TfrmKubrixEditor& dialog, TEditorList from, int row, TEditorList to, int toRow, bool grabbed) {
    QWidget* source = dialog.List(from)->viewport();
    QWidget* target = dialog.List(to)->viewport();
    const QPoint press = EntryPoint(dialog.List(from), row);
    QTest::mousePress(source, Qt::LeftButton, Qt::NoModifier, press);
    QTest::mouseMove(source, press + QPoint(2, 2));
    const QPoint drop = EntryPoint(dialog.List(to), toRow);
    QWidget* receiver = grabbed ? source : target;
    const QPoint at = receiver->mapFromGlobal(target->mapToGlobal(drop));
    QTest::mouseMove(receiver, at);
    QTest::mouseRelease(receiver, Qt::LeftButton, Qt::NoModifier, at);
}

void Open(TfrmKubrixEditor& dialog, const TKubrixEditorInput& input, TKubrixEditorApply apply) {
    dialog.SetGrid(input, std::move(apply));
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
}

}  // namespace

class TstFrmKubrixEditor : public QObject {
    Q_OBJECT

private slots:
    void texts();
    void opensOnReport();
    void mouseDrags_data();
    void mouseDrags();
    void pressWithoutDragChangesNothing();
    void apply_data();
    void apply();
    void cancelAppliesNothing();
    void refusedLayoutKeepsDialogOpen();
    void opensModallyAtCell();
};

void TstFrmKubrixEditor::texts() {
    TfrmKubrixEditor dialog;
    QCOMPARE(dialog.windowTitle(), QStringLiteral("Редактор отчета"));
    QCOMPARE(dialog.Heading(elAllFields)->text(), QStringLiteral("   Список полей"));
    QCOMPARE(dialog.Heading(elXFields)->text(), QStringLiteral("   Вертикальные поля"));
    QCOMPARE(dialog.Heading(elYFields)->text(), QStringLiteral("   Горизонтальные поля"));
    QCOMPARE(dialog.Heading(elDFields)->text(), QStringLiteral("   Данные"));
    QCOMPARE(dialog.OkButton()->text(), QStringLiteral("Применить"));
    QCOMPARE(dialog.CancelButton()->text(), QStringLiteral("Отмена"));
    QCOMPARE(dialog.findChild<QListWidget*>(QStringLiteral("lbXFields")), dialog.List(elXFields));
    QCOMPARE(dialog.findChild<QListWidget*>(QStringLiteral("lbAllFields")), dialog.List(elAllFields));

    // All fields on the right half, the placed lists stacked on the left, vertical on top.
    dialog.SetGrid(Report(), {});
    dialog.show();
    QVERIFY(QTest::qWaitForWindowExposed(&dialog));
    const QRect all = dialog.List(elAllFields)->geometry();
    const QRect x = dialog.List(elXFields)->geometry(), y = dialog.List(elYFields)->geometry(),
                d = dialog.List(elDFields)->geometry();
    QVERIFY(all.left() >= dialog.width() / 2 - 10);
    QVERIFY(x.right() < all.left() && y.right() < all.left() && d.right() < all.left());
    QVERIFY(x.bottom() < y.top() && y.bottom() < d.top());
    QVERIFY(dialog.OkButton()->geometry().top() > d.bottom());
}

void TstFrmKubrixEditor::opensOnReport() {
    TfrmKubrixEditor dialog;
    dialog.SetGrid(Report(), {});
    QCOMPARE(Shown(dialog.List(elAllFields)), QStringLiteral("Регион|Товар|Год|Кол|Сумма|Объём"));
    QCOMPARE(Shown(dialog.List(elXFields)), QStringLiteral("Регион|\"Данные\"|Товар"));
    QCOMPARE(Shown(dialog.List(elYFields)), QStringLiteral("Год"));
    QCOMPARE(Shown(dialog.List(elDFields)), QStringLiteral("Кол|Сумма"));

    auto one = Report();
    one.DFields = {"Qty"};
    dialog.SetGrid(one, {});
    QCOMPARE(Shown(dialog.List(elXFields)), QStringLiteral("Регион|Товар"));

    auto bad = Report();
    bad.YFields = {"Nope"};
    QVERIFY_THROWS_EXCEPTION(std::exception, dialog.SetGrid(bad, {}));
}

void TstFrmKubrixEditor::mouseDrags_data() {
    QTest::addColumn<int>("from");
    QTest::addColumn<int>("row");
    QTest::addColumn<int>("to");
    QTest::addColumn<int>("toRow");
    QTest::addColumn<bool>("grabbed");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("d");

    // Opened as: vertical Регион|"Данные"|Товар, horizontal Год, data Кол|Сумма.
    QTest::newRow("vertical field onto a horizontal entry")
        << int(elXFields) << 0 << int(elYFields) << 0 << false << "\"Данные\"|Товар" << "Регион|Год" << "Кол|Сумма";
    QTest::newRow("vertical field onto a horizontal entry, grabbed")
        << int(elXFields) << 0 << int(elYFields) << 0 << true << "\"Данные\"|Товар" << "Регион|Год" << "Кол|Сумма";
    QTest::newRow("marker below the last horizontal entry")
        << int(elXFields) << 1 << int(elYFields) << -1 << true << "Регион|Товар" << "Год|\"Данные\"" << "Кол|Сумма";
    QTest::newRow("text field refused by data list")
        << int(elAllFields) << 0 << int(elDFields) << 0 << false << "Регион|\"Данные\"|Товар" << "Год" << "Кол|Сумма";
    QTest::newRow("marker refused by data list")
        << int(elXFields) << 1 << int(elDFields) << 0 << true << "Регион|\"Данные\"|Товар" << "Год" << "Кол|Сумма";
    QTest::newRow("marker refused by field list")
        << int(elXFields) << 1 << int(elAllFields) << 0 << false << "Регион|\"Данные\"|Товар" << "Год" << "Кол|Сумма";
    QTest::newRow("data field onto field list takes the marker away")
        << int(elDFields) << 1 << int(elAllFields) << 2 << true << "Регион|Товар" << "Год" << "Кол";
    QTest::newRow("reordering the data fields")
        << int(elDFields) << 1 << int(elDFields) << 0 << false << "Регион|\"Данные\"|Товар" << "Год" << "Сумма|Кол";
    QTest::newRow("field list onto data list")
        << int(elAllFields) << 5 << int(elDFields) << -1 << true << "Регион|\"Данные\"|Товар" << "Год"
        << "Кол|Сумма|Объём";
    QTest::newRow("field list onto horizontal takes the field off vertical")
        << int(elAllFields) << 1 << int(elYFields) << -1 << false << "Регион|\"Данные\"" << "Год|Товар" << "Кол|Сумма";
    QTest::newRow("reordering within vertical")
        << int(elXFields) << 2 << int(elXFields) << 0 << false << "Товар|Регион|\"Данные\"" << "Год" << "Кол|Сумма";
}

void TstFrmKubrixEditor::mouseDrags() {
    QFETCH(int, from);
    QFETCH(int, row);
    QFETCH(int, to);
    QFETCH(int, toRow);
    QFETCH(bool, grabbed);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QString, d);

    TfrmKubrixEditor dialog;
    Open(dialog, Report(), {});
    Drag(dialog, static_cast<TEditorList>(from), row, static_cast<TEditorList>(to), toRow, grabbed);
    QCOMPARE(Shown(dialog.List(elXFields)), x);
    QCOMPARE(Shown(dialog.List(elYFields)), y);
    QCOMPARE(Shown(dialog.List(elDFields)), d);
    QCOMPARE(Shown(dialog.List(elAllFields)), QStringLiteral("Регион|Товар|Год|Кол|Сумма|Объём"));
    // The widgets show exactly the working lists.
    for (int l = 0; l < 4; ++l) QCOMPARE(dialog.List(TEditorList(l))->count(), dialog.Lists().Count(TEditorList(l)));
    QCOMPARE(dialog.List(TEditorList(from))->viewport()->testAttribute(Qt::WA_SetCursor), false);  // drag cursor gone
}

void TstFrmKubrixEditor::pressWithoutDragChangesNothing() {
    TfrmKubrixEditor dialog;
    Open(dialog, Report(), {});
    QWidget* source = dialog.List(elXFields)->viewport();
    QWidget* target = dialog.List(elYFields)->viewport();

    // Short of the threshold: a click that selects the entry.
    const QPoint p = EntryPoint(dialog.List(elXFields), 2);
    QTest::mousePress(source, Qt::LeftButton, Qt::NoModifier, p);
    QTest::mouseMove(source, p + QPoint(4, -4));
    QTest::mouseRelease(source, Qt::LeftButton, Qt::NoModifier, p + QPoint(4, -4));
    QCOMPARE(dialog.List(elXFields)->currentRow(), 2);
    QCOMPARE(Shown(dialog.List(elXFields)), QStringLiteral("Регион|\"Данные\"|Товар"));

    // Released over the buttons, outside every list.
    const QPoint q = EntryPoint(dialog.List(elXFields), 0);
    QTest::mousePress(source, Qt::LeftButton, Qt::NoModifier, q);
    const QPoint button = source->mapFromGlobal(dialog.OkButton()->mapToGlobal(dialog.OkButton()->rect().center()));
    QTest::mouseMove(source, button);
    QTest::mouseRelease(source, Qt::LeftButton, Qt::NoModifier, button);
    QCOMPARE(Shown(dialog.List(elXFields)), QStringLiteral("Регион|\"Данные\"|Товар"));

    // A press below the last entry drags nothing.
    const QPoint below = EntryPoint(dialog.List(elXFields), -1);
    QTest::mousePress(source, Qt::LeftButton, Qt::NoModifier, below);
    const QPoint onY = source->mapFromGlobal(target->mapToGlobal(EntryPoint(dialog.List(elYFields), 0)));
    QTest::mouseMove(source, onY);
    QTest::mouseRelease(source, Qt::LeftButton, Qt::NoModifier, onY);
    QCOMPARE(Shown(dialog.List(elXFields)), QStringLiteral("Регион|\"Данные\"|Товар"));
    QCOMPARE(Shown(dialog.List(elYFields)), QStringLiteral("Год"));
}

struct DragStep {
    int from, row, to, toRow;
};
Q_DECLARE_METATYPE(std::vector<DragStep>)

void TstFrmKubrixEditor::apply_data() {
    QTest::addColumn<std::vector<DragStep>>("drags");
    QTest::addColumn<QString>("x");
    QTest::addColumn<QString>("y");
    QTest::addColumn<QString>("d");
    QTest::addColumn<int>("place");
    QTest::addColumn<int>("index");

    QTest::newRow("as opened") << std::vector<DragStep>{} << "Region;Product;" << "Year;" << "Qty;Sum;" << 0 << 1;
    QTest::newRow("marker dragged to horizontal")
        << std::vector<DragStep>{{elXFields, 1, elYFields, -1}} << "Region;Product;" << "Year;" << "Qty;Sum;" << 1 << 1;
    QTest::newRow("marker dragged before the horizontal field")
        << std::vector<DragStep>{{elXFields, 1, elYFields, 0}} << "Region;Product;" << "Year;" << "Qty;Sum;" << 1 << 0;
    QTest::newRow("no vertical fields")
        << std::vector<DragStep>{{elXFields, 0, elAllFields, -1}, {elXFields, 1, elAllFields, -1}} << "" << "Year;"
        << "Qty;Sum;" << 0 << 0;
    QTest::newRow("one data field left: no marker")
        << std::vector<DragStep>{{elDFields, 0, elYFields, -1}} << "Region;Product;" << "Year;Qty;" << "Sum;" << 0 << 0;
    QTest::newRow("third data field and reordered vertical")
        << std::vector<DragStep>{{elAllFields, 5, elDFields, 0}, {elXFields, 2, elXFields, 0}}
        << "Product;Region;" << "Year;" << "Amount;Qty;Sum;" << 0 << 2;
}

void TstFrmKubrixEditor::apply() {
    QFETCH(std::vector<DragStep>, drags);
    QFETCH(QString, x);
    QFETCH(QString, y);
    QFETCH(QString, d);
    QFETCH(int, place);
    QFETCH(int, index);

    Recorder recorder;
    TfrmKubrixEditor dialog;
    Open(dialog, Report(), recorder.Hook());
    for (const auto& s : drags) Drag(dialog, TEditorList(s.from), s.row, TEditorList(s.to), s.toRow, true);
    QVERIFY(recorder.calls.empty());
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);

    QCOMPARE(recorder.calls.size(), std::size_t(1));
    const Applied& a = recorder.calls.front();
    QCOMPARE(QString::fromStdString(a.x), x);
    QCOMPARE(QString::fromStdString(a.y), y);
    QCOMPARE(QString::fromStdString(a.d), d);
    QCOMPARE(a.place, place);
    QCOMPARE(a.index, index);
    QCOMPARE(a.busyDepth, std::size_t(1));  // applied under the busy cursor
    QCOMPARE(CursorStack::Depth(), std::size_t(0));
    QCOMPARE(dialog.result(), int(QDialog::Accepted));
    QVERIFY(!dialog.isVisible());
}

void TstFrmKubrixEditor::cancelAppliesNothing() {
    Recorder recorder;
    TfrmKubrixEditor dialog;
    Open(dialog, Report(), recorder.Hook());
    Drag(dialog, elXFields, 1, elYFields, -1, true);
    Drag(dialog, elDFields, 0, elAllFields, -1, false);
    Drag(dialog, elAllFields, 0, elYFields, 0, true);
    QTest::mouseClick(dialog.CancelButton(), Qt::LeftButton);
    QVERIFY(recorder.calls.empty());
    QCOMPARE(dialog.result(), int(QDialog::Rejected));
    QVERIFY(!dialog.isVisible());
}

void TstFrmKubrixEditor::refusedLayoutKeepsDialogOpen() {
    RecordingUiServices ui;
    UiServicesScope scope(ui);
    TfrmKubrixEditor dialog;
    int calls = 0;
    Open(dialog, Report(), [&](const std::string&, const std::string&, const std::string&, int, int) {
        ++calls;
        throw std::runtime_error("Field not found: Region");
    });
    QTest::mouseClick(dialog.OkButton(), Qt::LeftButton);
    QCOMPARE(calls, 1);
    QCOMPARE(ui.Messages.size(), std::size_t(1));
    QCOMPARE(ui.Messages[0].Text, std::string("Field not found: Region"));
    QVERIFY(dialog.isVisible());
    QCOMPARE(CursorStack::Depth(), std::size_t(0));  // the busy cursor is back to what it was
}

void TstFrmKubrixEditor::opensModallyAtCell() {
    Recorder recorder;
    QWidget host;
    host.resize(300, 200);
    host.show();
    QVERIFY(QTest::qWaitForWindowExposed(&host));
    const QPoint cell = host.mapToGlobal(QPoint(20, 30));
    QPoint shownAt;
    QString shownX;
    bool seen = false;
    QTimer::singleShot(0, [&] {
        auto* dialog = qobject_cast<TfrmKubrixEditor*>(QApplication::activeModalWidget());
        if (!dialog) return;
        seen = dialog->isModal();
        shownAt = dialog->pos();
        shownX = Shown(dialog->List(elXFields));
        Drag(*dialog, elXFields, 0, elYFields, 0, true);
        QTest::mouseClick(dialog->OkButton(), Qt::LeftButton);
    });
    const int result = ShowKubrixEditor(&host, cell, Report(), recorder.Hook());
    QVERIFY(seen);
    QCOMPARE(result, int(QDialog::Accepted));
    QCOMPARE(shownAt, cell);
    QCOMPARE(shownX, QStringLiteral("Регион|\"Данные\"|Товар"));
    QCOMPARE(recorder.calls.size(), std::size_t(1));
    QCOMPARE(recorder.calls[0].x, std::string("Product;"));
    QCOMPARE(recorder.calls[0].y, std::string("Region;Year;"));
    QCOMPARE(recorder.calls[0].index, 0);
}

QTEST_MAIN(TstFrmKubrixEditor)
#include "tst_FrmKubrixEditor.moc"
