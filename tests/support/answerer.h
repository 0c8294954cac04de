// An answerer for the user-interaction seam: records every message box the code under test
// shows and answers from a script (Ok when the script is empty).
#pragma once

#include "platform/interaction.h"

#include <deque>
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
        const std::optional<QFont> answer = fonts.front();
        fonts.pop_front();
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
    std::vector<QFont> fontRequests;
    std::deque<std::optional<QFont>> fonts; // answers of the font dialog; cancelled when empty

private:
    platform::ScopedAnswerer scope_;
};

} // namespace testsupport
