// An interrupted run (Ctrl-C, SIGTERM, a closed terminal) leaves no half-written file behind.
#pragma once

#include <QString>

#include <csignal>

// While it lives, SIGINT, SIGTERM or SIGHUP removes the file at path and then ends the program
// by that same signal, as it would have ended without this, so that the shell sees 130, 143 or
// 129. A signal that was ignored when it was made stays ignored. One at a time.
class RemoveOnInterrupt {
public:
    explicit RemoveOnInterrupt(const QString& path);
    ~RemoveOnInterrupt();
    RemoveOnInterrupt(const RemoveOnInterrupt&) = delete;
    RemoveOnInterrupt& operator=(const RemoveOnInterrupt&) = delete;

private:
    struct sigaction previous_[3];
};
