// The one way the program asks the user something or tells them something modally.
//
// Every message box of the program goes through showMessage(); by default it is a modal
// QMessageBox. Tests install an Answerer that records each request and answers from a script,
// so no real modal dialog ever blocks a test. The font and printer dialogs go through the same
// seam (chooseFont(), choosePrinter()).
#pragma once

#include <QFont>
#include <QString>

#include <optional>

class QWidget;

namespace platform {

class Printer;

enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageButtons { Ok, OkCancel, AbortRetry, YesNo, YesNoCancel };
enum class MessageAnswer { Ok, Cancel, Abort, Retry, Yes, No };

struct MessageRequest {
    QString text;
    QString caption; // empty: the application's title
    MessageIcon icon = MessageIcon::None;
    MessageButtons buttons = MessageButtons::Ok;
};

// A save-file dialog: the file name it opens with (a full path), its filter ("BMP|*.bmp":
// description and pattern) and the extension a name without one gets ("BMP"). It does not ask
// before replacing a file.
struct SaveFileRequest {
    QString initialPath;
    QString filter;
    QString defaultExtension;
};

class Answerer {
public:
    virtual ~Answerer() = default;
    virtual MessageAnswer message(const MessageRequest& request) = 0;
    // The font dialog opened on initial: the font chosen, or nullopt when it is cancelled.
    // Answerers that expect no font dialog cancel it.
    virtual std::optional<QFont> font(const QFont& initial);
    // The printer dialog on printer, which the answerer may change as the user would: true to
    // print, false when it is cancelled. Answerers that expect no printer dialog cancel it, so
    // that nothing is printed unasked.
    virtual bool printer(Printer& printer);
    // The save-file dialog: the path chosen, or nullopt when it is cancelled (the default).
    virtual std::optional<QString> saveFile(const SaveFileRequest& request);
};

// Shows a modal message box and returns the button pressed (for a box closed without a button:
// Cancel where the box has one, else the box's first button).
MessageAnswer showMessage(const MessageRequest& request);
inline MessageAnswer showMessage(const QString& text, const QString& caption = {},
                                 MessageIcon icon = MessageIcon::None,
                                 MessageButtons buttons = MessageButtons::Ok) {
    return showMessage(MessageRequest{text, caption, icon, buttons});
}

// Shows the modal font dialog opened on initial; the font chosen, or nullopt when the user
// cancels.
std::optional<QFont> chooseFont(const QFont& initial, QWidget* parent = nullptr);

// Shows the system's modal printer dialog on printer (printer, paper, orientation, PDF
// output); true to print, false when the user cancels. A printer that is not a system printer
// has nothing to choose: true.
bool choosePrinter(Printer& printer, QWidget* parent = nullptr);

// Shows the modal save-file dialog; the path chosen (with the default extension added to a name
// that has none), or nullopt when the user cancels.
std::optional<QString> chooseSaveFile(const SaveFileRequest& request, QWidget* parent = nullptr);

// Installs an answerer for as long as the object lives (tests); the previous one comes back.
class ScopedAnswerer {
public:
    explicit ScopedAnswerer(Answerer& answerer);
    ~ScopedAnswerer();
    ScopedAnswerer(const ScopedAnswerer&) = delete;
    ScopedAnswerer& operator=(const ScopedAnswerer&) = delete;

private:
    Answerer* previous_;
};

} // namespace platform
