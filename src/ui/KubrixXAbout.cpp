#include "ui/KubrixXAbout.h"

#include <QGuiApplication>
#include <QIcon>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QScreen>
#include <QToolButton>

namespace kubrix {

namespace {

QPixmap IconPixmap(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter p(&pixmap);
    // Three by three cells: a shaded header row and column around the summed cells.
    const int cell = size / 3;
    const int off = (size - cell * 3) / 2;
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            const QRect rc(off + c * cell, off + r * cell, cell - 1, cell - 1);
            const bool header = r == 0 || c == 0;
            p.fillRect(rc, header ? QColor(0x1f, 0x3a, 0x5f) : QColor(0xf2, 0xc1, 0x4e));
        }
    }
    p.fillRect(QRect(off, off, cell - 1, cell - 1), QColor(0x2e, 0x86, 0x8c));
    return pixmap;
}

}  // namespace

QIcon KubrixXIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48}) icon.addPixmap(IconPixmap(size));
    return icon;
}

TKubrixXAbout::TKubrixXAbout(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                          Qt::WindowCloseButtonHint) {
    setObjectName(QStringLiteral("KubrixXAbout"));
    setWindowTitle(QStringLiteral("About"));
    setFixedSize(267, 127);

    ctlImage_ = new QToolButton(this);
    ctlImage_->setObjectName(QStringLiteral("CtlImage"));
    ctlImage_->setGeometry(48, 16, 23, 22);
    ctlImage_->setAutoRaise(true);
    ctlImage_->setFocusPolicy(Qt::NoFocus);
    ctlImage_->setIcon(KubrixXIcon());
    ctlImage_->setIconSize(QSize(16, 16));

    nameLbl_ = new QLabel(QStringLiteral("KubrixX"), this);
    nameLbl_->setObjectName(QStringLiteral("NameLbl"));
    QFont bold = nameLbl_->font();
    bold.setPixelSize(13);
    bold.setBold(true);
    nameLbl_->setFont(bold);
    nameLbl_->move(80, 16);
    nameLbl_->adjustSize();

    descLbl_ = new QLabel(QStringLiteral("для 1С 7.7"), this);
    descLbl_->setObjectName(QStringLiteral("DescLbl"));
    descLbl_->move(80, 34);
    descLbl_->adjustSize();

    okBtn_ = new QPushButton(QStringLiteral("OK"), this);
    okBtn_->setObjectName(QStringLiteral("OkBtn"));
    okBtn_->setGeometry(96, 96, 75, 25);
    okBtn_->setDefault(true);
    connect(okBtn_, &QPushButton::clicked, this, &QDialog::accept);

    if (QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - QPoint(width() / 2, height() / 2));
}

TKubrixXAbout::~TKubrixXAbout() = default;

void TKubrixXAbout::keyPressEvent(QKeyEvent* event) {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
        okBtn_->click();
        return;
    }
    QDialog::keyPressEvent(event);
}

int ShowAboutBox(QWidget* parent) {
    TKubrixXAbout about(parent);
    return about.exec();
}

}  // namespace kubrix
