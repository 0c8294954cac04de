#include "dialogs/Unit3.h"

#include "dialogs/dialogframe.h"
#include "platform/guard.h"

#include <QLabel>
#include <QPushButton>
#include <QShowEvent>

TOKBottomDlg1* OKBottomDlg1 = nullptr;

namespace {

// A line of text centred across the bevel.
QLabel* label(QWidget* dialog, const QString& name, const QString& text, int pixels, int top,
              int height) {
    auto* l = new QLabel(text, dialog);
    l->setObjectName(name);
    l->setFont(dialogs::dialogFont(pixels));
    l->setAlignment(Qt::AlignCenter);
    l->setGeometry(16, top, 228, height);
    return l;
}

} // namespace

TOKBottomDlg1::TOKBottomDlg1(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg1"));
    setWindowTitle(QStringLiteral("バージョン情報"));
    dialogs::makeFixedDialog(this, 260, 160);
    dialogs::addBevel(this, QRect(8, 8, 244, 104));
    Label1 = label(this, QStringLiteral("Label1"), QStringLiteral("タズ"), 27, 18, 36);
    Label2 = label(this, QStringLiteral("Label2"), QStringLiteral("ver. 1.2"), 16, 58, 20);
    Label3 = label(this, QStringLiteral("Label3"), QStringLiteral("1996/12"), 16, 82, 20);
    OKBtn = new QPushButton(QStringLiteral("OK"), this);
    OKBtn->setObjectName(QStringLiteral("OKBtn"));
    OKBtn->setGeometry(92, 124, 75, 25);
    OKBtn->setDefault(true);
    connect(OKBtn, &QPushButton::clicked, this, platform::guardedSlot([this] { OKBtnClick(); }));
}

void TOKBottomDlg1::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        dialogs::centreOnScreen(this);
}

void TOKBottomDlg1::OKBtnClick() {
    accept();
}
