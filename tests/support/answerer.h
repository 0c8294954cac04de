// An answerer for the user-interaction seam: records every message box, font dialog and printer
// dialog the code under test shows and answers from scripts (Ok, and a cancelled font or
// printer dialog, when the script is empty).
#pragma once

#include "platform/interaction.h"

#include <QStringList>

#include <deque>
#include <optional>
#include <vector>

namespace testsupport {

class RecordingAnswerer : public platform::Answerer {
public:
    RecordingAnswerer() : scope_(*this) {}

    platform::MessageAnswer message(const platform::MessageRequest& request) override {
        messages.push_back(request);
        if (script.empty())
            return platform::MessageAnswer::Ok;
        const platform::MessageAnswer answer = script.front();
        script.pop_front();
        return answer;
    }

    std::optional<QFont> font(const QFont& initial) override {
        fontRequests.push_back(initial);
        if (fonts.empty())
            return std::nullopt;
        std::optional<QFont> answer = fonts.front();
        fonts.pop_front();
        return answer;
    }

    bool printer(platform::Printer& printer) override {
        printerRequests.push_back(&printer);
        if (printers.empty())
            return false;
        const bool answer = printers.front();
        printers.pop_front();
        return answer;
    }

    std::optional<QString> saveFile(const platform::SaveFileRequest& request) override {
        saveFileRequests.push_back(request);
        if (saveFiles.empty())
            return std::nullopt;
        const QString answer = saveFiles.front();
        saveFiles.pop_front();
        if (answer.isEmpty())
            return std::nullopt;
        return answer;
    }

    QStringList texts() const {
        QStringList list;
        for (const auto& m : messages)
            list << m.text;
        return list;
    }

    std::vector<platform::MessageRequest> messages;
    std::deque<platform::MessageAnswer> script;
    std::vector<QFont> fontRequests; // the initial font of each font dialog
    std::deque<std::optional<QFont>> fonts;
    std::vector<platform::Printer*> printerRequests; // the printer of each printer dialog
    std::deque<bool> printers;
    std::vector<platform::SaveFileRequest> saveFileRequests;
    std::deque<QString> saveFiles; // answers of the save dialog; an empty one, or none, cancels

private:
    platform::ScopedAnswerer scope_;
};

} // namespace testsupport
