// Errors thrown by the program's logic end in event handlers, never in Qt's own frames.
//
// Every event handler is entered through guarded() (or a slot made by guardedSlot()): an
// exception that reaches it is shown in the general error display, a modal box with the
// error's text, and the program goes on. Application::notify() does the same as a last resort
// for handlers that forgot.
#pragma once

#include <QApplication>
#include <exception>
#include <new>
#include <type_traits>
#include <utility>

namespace platform {

// The general error display.
void showGeneralError(const QString& text);

// The text the general error display shows for an exception.
QString errorText(const std::exception& error);

template <typename Handler> void guarded(Handler&& handler) noexcept {
    try {
        std::forward<Handler>(handler)();
    } catch (const std::exception& error) {
        showGeneralError(errorText(error));
    } catch (...) {
        showGeneralError(QStringLiteral("不明なエラーが発生しました"));
    }
}

// Wraps a handler for connect(): the slot runs the handler inside guarded(). A handler that
// takes no arguments ignores what the signal carries (as clicked(bool) does).
template <typename Handler> auto guardedSlot(Handler handler) {
    return [handler = std::move(handler)](auto&&... args) {
        guarded([&] {
            if constexpr (std::is_invocable_v<const Handler&, decltype(args)...>)
                handler(std::forward<decltype(args)>(args)...);
            else
                handler();
        });
    };
}

class Application : public QApplication {
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace platform
