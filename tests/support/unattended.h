// Running the program's windows with nobody at the screen, for the benchmarks and the screenshot
// tool: message boxes answered on the error output, and a settings file of their own that opens
// the main window on a chosen folder.
#pragma once

#include "platform/interaction.h"

#include <QFile>
#include <QString>
#include <QTemporaryDir>

#include <cstdio>

namespace testsupport {

// A message box would wait for a user that never comes: its text goes to the error output,
// after the program's name, and is answered Ok.
class MessagePrinter : public platform::Answerer {
public:
    explicit MessagePrinter(const char* program) : program_(program) {}
    platform::MessageAnswer message(const platform::MessageRequest& request) override {
        std::fprintf(stderr, "%s: message: %s\n", program_, qPrintable(request.text));
        return platform::MessageAnswer::Ok;
    }

private:
    const char* program_;
};

// Writes a settings file into settings that opens the main window on folder, and names it in
// TAZU_INI, so that the user's own settings stay as they are; false when it cannot be written.
inline bool useSettingsOpeningFolder(const QTemporaryDir& settings, const QString& folder) {
    QFile ini(settings.filePath(QStringLiteral("tazu.INI")));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[TForm1]\r\nDirectory=" + QFile::encodeName(folder) + "\r\n") < 0)
        return false;
    ini.close();
    qputenv("TAZU_INI", QFile::encodeName(ini.fileName()));
    return true;
}

} // namespace testsupport
