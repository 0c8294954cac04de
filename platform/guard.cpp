#include "platform/guard.h"

#include "platform/checked.h"
#include "platform/interaction.h"

namespace platform {

QString errorText(const std::exception& error) {
    if (dynamic_cast<const std::bad_alloc*>(&error))
        return QStringLiteral("メモリーが足りません");
    if (const auto* visible = dynamic_cast<const UserVisibleError*>(&error))
        return visible->text();
    return QString::fromLocal8Bit(error.what());
}

void showGeneralError(const QString& text) {
    // Showing the box can itself fail (no memory left); the error is then dropped rather than
    // thrown into Qt.
    try {
        showMessage(text, {}, MessageIcon::Error);
    } catch (...) {
    }
}

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool handled = false;
    guarded([&] { handled = QApplication::notify(receiver, event); });
    return handled;
}

} // namespace platform
