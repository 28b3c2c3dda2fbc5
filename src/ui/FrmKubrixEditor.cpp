#include "ui/FrmKubrixEditor.h"

#include <QBoxLayout>
#include <QFrame>
#include <QLabel>
#include <QListWidget>
#include <QMouseEvent>
#include <QPushButton>

#include <cstdlib>
#include <exception>

#include "support/CursorStack.h"
#include "support/UiServices.h"

namespace kubrix {

namespace {

constexpr const char* kCaption = "Редактор отчета";

const char* const kHeadings[4] = {
    "   Список полей",
    "   Вертикальные поля",
    "   Горизонтальные поля",
    "   Данные",
};

const char* const kListNames[4] = {"lbAllFields", "lbXFields", "lbYFields", "lbDFields"};

QLabel* MakeHeading(const char* text, QWidget* parent) {
    auto* label = new QLabel(QString::fromUtf8(text), parent);
    label->setFrameStyle(QFrame::Panel | QFrame::Raised);
    label->setAutoFillBackground(true);
    return label;
}

}  // namespace

TfrmKubrixEditor::TfrmKubrixEditor(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("frmKubrixEditor"));
    setWindowTitle(QString::fromUtf8(kCaption));
    resize(440, 380);

    for (int i = 0; i < 4; ++i) {
        headings_[i] = MakeHeading(kHeadings[i], this);
        auto* list = new QListWidget(this);
        list->setObjectName(QString::fromLatin1(kListNames[i]));
        list->setSelectionMode(QAbstractItemView::SingleSelection);
        list->setDragDropMode(QAbstractItemView::NoDragDrop);
        list->viewport()->installEventFilter(this);
        lists_[i] = list;
    }
    bOk_ = new QPushButton(QString::fromUtf8("Применить"), this);
    bOk_->setObjectName(QStringLiteral("bOk"));
    bCancel_ = new QPushButton(QString::fromUtf8("Отмена"), this);
    bCancel_->setObjectName(QStringLiteral("bCancel"));
    bOk_->setAutoDefault(false);
    bCancel_->setAutoDefault(false);
    connect(bOk_, &QPushButton::clicked, this, &TfrmKubrixEditor::bOkClick);
    connect(bCancel_, &QPushButton::clicked, this, &TfrmKubrixEditor::bCancelClick);

    // The three placed lists stacked on the left (vertical on top), all fields on the right
    // half, the buttons in a bar along the bottom.
    auto* left = new QVBoxLayout;
    left->setSpacing(0);
    for (TEditorList l : {elXFields, elYFields, elDFields}) {
        left->addWidget(headings_[l]);
        left->addWidget(lists_[l], 1);
    }
    auto* right = new QVBoxLayout;
    right->setSpacing(0);
    right->addWidget(headings_[elAllFields]);
    right->addWidget(lists_[elAllFields], 1);
    auto* panes = new QHBoxLayout;
    panes->addLayout(left, 1);
    panes->addLayout(right, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(bOk_);
    buttons->addWidget(bCancel_);
    auto* main = new QVBoxLayout(this);
    main->addLayout(panes, 1);
    main->addLayout(buttons);
}

TfrmKubrixEditor::~TfrmKubrixEditor() = default;

void TfrmKubrixEditor::SetGrid(const TKubrixEditorInput& input, TKubrixEditorApply apply) {
    TraceScope trace(this, "TfrmKubrixEditor.SetGrid");
    model_.SetReport(input);
    apply_ = std::move(apply);
    drag_.reset();
    Refresh();
}

void TfrmKubrixEditor::Refresh(std::optional<TEditorList> current, int row) {
    for (int i = 0; i < 4; ++i) {
        const auto l = static_cast<TEditorList>(i);
        QListWidget* list = lists_[i];
        list->clear();
        for (int e = 0; e < model_.Count(l); ++e) list->addItem(QString::fromStdString(model_.EntryText(l, e)));
    }
    if (current && row >= 0 && row < lists_[*current]->count()) lists_[*current]->setCurrentRow(row);
}

void TfrmKubrixEditor::bOkClick() {
    TraceScope trace(this, "TfrmKubrixEditor.bOkClick");
    try {
        BusyCursor busy;
        const TKubrixEditorLayout layout = model_.Layout();
        if (apply_) apply_(layout.XFields, layout.YFields, layout.DFields, layout.DataPlace, layout.DataIndex);
    } catch (const std::exception& e) {
        // The grid refused the layout: say why and let the user correct it.
        UiServices().MessageBox(e.what(), kCaption, MB_OK | MB_ICONERROR);
        return;
    }
    accept();
}

void TfrmKubrixEditor::bCancelClick() { reject(); }

std::optional<TEditorList> TfrmKubrixEditor::ListOfViewport(const QObject* viewport) const {
    for (int i = 0; i < 4; ++i)
        if (lists_[i]->viewport() == viewport) return static_cast<TEditorList>(i);
    return std::nullopt;
}

std::optional<TEditorList> TfrmKubrixEditor::ListAt(const QPoint& global) const {
    if (!rect().contains(mapFromGlobal(global))) return std::nullopt;
    for (QWidget* w = childAt(mapFromGlobal(global)); w && w != this; w = w->parentWidget())
        for (int i = 0; i < 4; ++i)
            if (lists_[i] == w) return static_cast<TEditorList>(i);
    return std::nullopt;
}

void TfrmKubrixEditor::EndDrag() {
    if (drag_ && drag_->Started) lists_[drag_->Source]->viewport()->unsetCursor();
    drag_.reset();
}

bool TfrmKubrixEditor::eventFilter(QObject* watched, QEvent* event) {
    const auto source = ListOfViewport(watched);
    if (!source) return QDialog::eventFilter(watched, event);

    switch (event->type()) {
        case QEvent::MouseButtonPress: {
            auto* me = static_cast<QMouseEvent*>(event);
            EndDrag();
            if (me->button() != Qt::LeftButton) break;
            QListWidget* list = lists_[*source];
            // The dragged entry is the one pressed on; a press below the last entry drags nothing.
            const int row = list->indexAt(me->position().toPoint()).row();
            if (row < 0) break;
            list->setCurrentRow(row);
            drag_ = TPendingDrag{*source, row, me->globalPosition().toPoint(), false};
            return true;
        }
        case QEvent::MouseMove: {
            if (!drag_) break;
            auto* me = static_cast<QMouseEvent*>(event);
            const QPoint global = me->globalPosition().toPoint();
            if (!(me->buttons() & Qt::LeftButton)) {
                EndDrag();
                break;
            }
            if (!drag_->Started) {
                const QPoint d = global - drag_->PressGlobal;
                if (std::abs(d.x()) < DragThreshold && std::abs(d.y()) < DragThreshold) return true;
                drag_->Started = true;
            }
            const auto target = ListAt(global);
            const bool accepted = target && model_.CanDrop(drag_->Source, drag_->Index, *target);
            lists_[drag_->Source]->viewport()->setCursor(accepted ? Qt::DragMoveCursor : Qt::ForbiddenCursor);
            return true;
        }
        case QEvent::MouseButtonRelease: {
            if (!drag_) break;
            auto* me = static_cast<QMouseEvent*>(event);
            if (me->button() != Qt::LeftButton) return true;
            const TPendingDrag drag = *drag_;
            EndDrag();
            if (!drag.Started) return true;  // a plain click: the entry is already selected
            const QPoint global = me->globalPosition().toPoint();
            const auto target = ListAt(global);
            if (!target) return true;
            QListWidget* list = lists_[*target];
            const int at = list->indexAt(list->viewport()->mapFromGlobal(global)).row();
            if (model_.Drop(drag.Source, drag.Index, *target, at)) Refresh(*target, model_.LastDropIndex());
            return true;
        }
        default:
            break;
    }
    return QDialog::eventFilter(watched, event);
}

int ShowKubrixEditor(QWidget* parent, const QPoint& topLeft, const TKubrixEditorInput& input,
                     TKubrixEditorApply apply) {
    TfrmKubrixEditor dialog(parent);
    dialog.SetGrid(input, std::move(apply));
    dialog.move(topLeft);
    return dialog.exec();
}

int ShowKubrixEditor(QWidget* parent, const QPoint& topLeft, const TQelKubrix& grid, TKubrixEditorApply apply) {
    return ShowKubrixEditor(parent, topLeft, EditorInputFromGrid(grid), std::move(apply));
}

}  // namespace kubrix
