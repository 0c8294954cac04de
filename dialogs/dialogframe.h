// What the program's small dialogs share: a fixed size with only a close button on the title
// bar, a place in the middle of the screen each time they show, the framed bevel their
// controls sit on, and the font they are drawn in.
#pragma once

#include <QFont>
#include <QRect>

class QDialog;
class QFrame;
class QWidget;

namespace dialogs {

// Gives the dialog this fixed client size and a title bar without minimise, maximise or
// context-help buttons.
void makeFixedDialog(QDialog* dialog, int width, int height);

// Moves the window so that it stands in the middle of its screen.
void centreOnScreen(QWidget* window);

// A sunken frame at this place on the dialog, below the controls created after it.
QFrame* addBevel(QWidget* dialog, const QRect& geometry);

// "ＭＳ Ｐゴシック" at this height in pixels.
QFont dialogFont(int pixels);

} // namespace dialogs
