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

    QStringList texts() const {
        QStringList list;
        for (const auto& m : messages)
            list << m.text;
        return list;
    }

    std::vector<platform::MessageRequest> messages;
    std::deque<platform::MessageAnswer> script;

private:
    platform::ScopedAnswerer scope_;
};

} // namespace testsupport
