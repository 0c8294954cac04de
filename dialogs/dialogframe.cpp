#include "dialogs/dialogframe.h"

#include <QDialog>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QScreen>

namespace dialogs {

void makeFixedDialog(QDialog* dialog, int width, int height) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                           Qt::MSWindowsFixedSizeDialogHint);
    dialog->setFixedSize(width, height);
}

void centreOnScreen(QWidget* window) {
    const QScreen* screen = window->screen();
    if (!screen)
        return;
    QRect frame = window->frameGeometry();
    frame.moveCenter(screen->geometry().center());
    window->move(frame.topLeft());
}

QFrame* addBevel(QWidget* dialog, const QRect& geometry) {
    auto* bevel = new QFrame(dialog);
    bevel->setObjectName(QStringLiteral("Bevel1"));
    bevel->setFrameStyle(QFrame::Box | QFrame::Sunken);
    bevel->setGeometry(geometry);
    return bevel;
}

QFont dialogFont(int pixels) {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPixelSize(pixels);
    return font;
}

void makeSilverDialog(QDialog* dialog, int width, int height) {
    dialog->setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    dialog->setFixedSize(width, height);
    QPalette silver = dialog->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    dialog->setPalette(silver);
    dialog->setAutoFillBackground(true);
}

QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int left, int top,
                 int pixels) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setFont(dialogFont(pixels));
    label->move(left, top);
    label->adjustSize();
    return label;
}

QPushButton* addButton(QWidget* parent, const QString& name, const QString& caption,
                       const QRect& place, const QString& hint) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(name);
    button->setFont(dialogFont(15));
    button->setGeometry(place);
    button->setToolTip(hint);
    button->setAutoDefault(false);
    return button;
}

} // namespace dialogs
