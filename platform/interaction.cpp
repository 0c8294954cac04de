#include "platform/interaction.h"

#include "platform/printer.h"

#include <QApplication>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontDialog>
#include <QMessageBox>
#include <QPrintDialog>

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

std::optional<QFont> Answerer::font(const QFont&) {
    return std::nullopt;
}

bool Answerer::printer(Printer&) {
    return false;
}

std::optional<QString> Answerer::saveFile(const SaveFileRequest&) {
    return std::nullopt;
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

std::optional<QFont> chooseFont(const QFont& initial, QWidget* parent) {
    if (installedAnswerer)
        return installedAnswerer->font(initial);
    bool ok = false;
    const QFont chosen =
        QFontDialog::getFont(&ok, initial, parent ? parent : QApplication::activeWindow());
    if (!ok)
        return std::nullopt;
    return chosen;
}

bool choosePrinter(Printer& printer, QWidget* parent) {
    if (installedAnswerer)
        return installedAnswerer->printer(printer);
    auto* system = dynamic_cast<QtPrinter*>(&printer);
    if (!system)
        return true;
    QPrintDialog dialog(&system->qprinter(), parent ? parent : QApplication::activeWindow());
    // Every sheet is printed; which pictures and how many copies is chosen in the program.
    dialog.setOption(QAbstractPrintDialog::PrintPageRange, false);
    return dialog.exec() == QDialog::Accepted;
}

std::optional<QString> chooseSaveFile(const SaveFileRequest& request, QWidget* parent) {
    std::optional<QString> chosen;
    if (installedAnswerer) {
        chosen = installedAnswerer->saveFile(request);
    } else {
        // "BMP|*.bmp" in Qt's spelling: "BMP (*.bmp)".
        const qsizetype bar = request.filter.indexOf(u'|');
        const QString filter = bar < 0 ? request.filter
                                       : QStringLiteral("%1 (%2)").arg(request.filter.left(bar),
                                                                       request.filter.mid(bar + 1));
        QFileDialog dialog(parent ? parent : QApplication::activeWindow(), QString(),
                           request.initialPath, filter);
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setOption(QFileDialog::DontConfirmOverwrite);
        dialog.setDefaultSuffix(request.defaultExtension);
        dialog.selectFile(request.initialPath);
        if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
            chosen = dialog.selectedFiles().constFirst();
    }
    if (chosen && !chosen->isEmpty() && QFileInfo(*chosen).suffix().isEmpty() &&
        !request.defaultExtension.isEmpty())
        *chosen += u'.' + request.defaultExtension;
    if (chosen && chosen->isEmpty())
        chosen.reset();
    return chosen;
}

ScopedAnswerer::ScopedAnswerer(Answerer& answerer) : previous_(installedAnswerer) {
    installedAnswerer = &answerer;
}

ScopedAnswerer::~ScopedAnswerer() {
    installedAnswerer = previous_;
}

} // namespace platform
