#include "sheet/interrupt.h"

#include <QFile>

#include <climits>
#include <cstring>

#include <unistd.h>

namespace {

constexpr int Signals[] = {SIGINT, SIGTERM, SIGHUP};

// The file to remove, ready for the handler, which may only make async-signal-safe calls.
char pathToRemove[PATH_MAX];

void removeAndEnd(int signal) {
    if (pathToRemove[0] != '\0')
        unlink(pathToRemove);
    // The handler was reset to the default action on entry (SA_RESETHAND): the signal raised
    // again ends the program once this handler returns.
    raise(signal);
}

} // namespace

RemoveOnInterrupt::RemoveOnInterrupt(const QString& path) {
    const QByteArray name = QFile::encodeName(path);
    if (size_t(name.size()) < sizeof pathToRemove)
        std::memcpy(pathToRemove, name.constData(), size_t(name.size()) + 1);
    else
        pathToRemove[0] = '\0'; // no such file can be made anyway
    struct sigaction action {};
    action.sa_handler = removeAndEnd;
    sigemptyset(&action.sa_mask);
    for (int signal : Signals)
        sigaddset(&action.sa_mask, signal); // one clean-up at a time
    action.sa_flags = SA_RESETHAND;
    for (size_t i = 0; i < std::size(Signals); ++i) {
        sigaction(Signals[i], nullptr, &previous_[i]);
        if (previous_[i].sa_handler != SIG_IGN)
            sigaction(Signals[i], &action, nullptr);
    }
}

RemoveOnInterrupt::~RemoveOnInterrupt() {
    for (size_t i = 0; i < std::size(Signals); ++i)
        sigaction(Signals[i], &previous_[i], nullptr);
    pathToRemove[0] = '\0';
}
