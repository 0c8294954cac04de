// What the program's small dialogs share: a fixed size with only a close button on the title
// bar, a place in the middle of the screen each time they show, the framed bevel their
// controls sit on, and the font they are drawn in.
#pragma once

#include <QFont>
#include <QRect>

class QDialog;
class QFrame;
class QLabel;
class QPushButton;
class QString;
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

// A silver dialog of this fixed client size with a title but no title-bar buttons.
void makeSilverDialog(QDialog* dialog, int width, int height);

// A label of text at (left, top) in the dialog font of pixels, as large as its text.
QLabel* addLabel(QWidget* parent, const QString& name, const QString& text, int left, int top,
                 int pixels = 15);

// A push button at place with its hint, in the dialog font; Enter does not press it unless it
// is made the default.
QPushButton* addButton(QWidget* parent, const QString& name, const QString& caption,
                       const QRect& place, const QString& hint);

} // namespace dialogs
