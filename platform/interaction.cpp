#include "platform/interaction.h"

#include <QApplication>
#include <QFontDialog>
#include <QMessageBox>

namespace platform {

namespace {

Answerer* installedAnswerer = nullptr;

QMessageBox::StandardButtons standardButtons(MessageButtons buttons) {
    switch (buttons) {
    case MessageButtons::Ok:
        return QMessageBox::Ok;
    case MessageButtons::OkCancel:
        return QMessageBox::Ok | QMessageBox::Cancel;
    case MessageButtons::AbortRetry:
        return QMessageBox::Abort | QMessageBox::Retry;
    case MessageButtons::YesNo:
        return QMessageBox::Yes | QMessageBox::No;
    case MessageButtons::YesNoCancel:
        return QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
    }
    return QMessageBox::Ok;
}

QMessageBox::Icon boxIcon(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::None:
        return QMessageBox::NoIcon;
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Warning:
        return QMessageBox::Warning;
    case MessageIcon::Error:
        return QMessageBox::Critical;
    case MessageIcon::Question:
        return QMessageBox::Question;
    }
    return QMessageBox::NoIcon;
}

MessageAnswer answerOf(int button, MessageButtons buttons) {
    switch (button) {
    case QMessageBox::Ok:
        return MessageAnswer::Ok;
    case QMessageBox::Cancel:
        return MessageAnswer::Cancel;
    case QMessageBox::Abort:
        return MessageAnswer::Abort;
    case QMessageBox::Retry:
        return MessageAnswer::Retry;
    case QMessageBox::Yes:
        return MessageAnswer::Yes;
    case QMessageBox::No:
        return MessageAnswer::No;
    default:
        break;
    }
    switch (buttons) {
    case MessageButtons::Ok:
        return MessageAnswer::Ok;
    case MessageButtons::AbortRetry:
        return MessageAnswer::Abort;
    case MessageButtons::YesNo:
        return MessageAnswer::No;
    default:
        return MessageAnswer::Cancel;
    }
}

} // namespace

std::optional<QFont> chooseFont(const QFont& initial, QWidget* parent) {
    if (installedAnswerer)
        return installedAnswerer->font(initial);
    bool ok = false;
    const QFont chosen = QFontDialog::getFont(&ok, initial, parent);
    return ok ? std::optional<QFont>(chosen) : std::nullopt;
}

MessageAnswer showMessage(const MessageRequest& request) {
    if (installedAnswerer)
        return installedAnswerer->message(request);
    const QString caption =
        request.caption.isEmpty() ? QApplication::applicationName() : request.caption;
    QMessageBox box(boxIcon(request.icon), caption, request.text, standardButtons(request.buttons),
                    QApplication::activeWindow());
    return answerOf(box.exec(), request.buttons);
}

ScopedAnswerer::ScopedAnswerer(Answerer& answerer) : previous_(installedAnswerer) {
    installedAnswerer = &answerer;
}

ScopedAnswerer::~ScopedAnswerer() {
    installedAnswerer = previous_;
}

} // namespace platform
