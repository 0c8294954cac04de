#include "platform/spinedit.h"

#include <QLineEdit>

#include <algorithm>
#include <optional>

namespace platform {

namespace {

// The typed text as a whole number: an optional sign and digits, nothing else.
std::optional<long long> typedNumber(const QString& text) {
    const QString trimmed = text.trimmed();
    if (trimmed.isEmpty() || trimmed.size() > 18)
        return std::nullopt;
    bool ok = false;
    const long long value = trimmed.toLongLong(&ok);
    return ok ? std::optional<long long>(value) : std::nullopt;
}

} // namespace

SpinEdit::SpinEdit(QWidget* parent, int maxCharacters) : QSpinBox(parent) {
    if (maxCharacters > 0)
        lineEdit()->setMaxLength(maxCharacters);
    setCorrectionMode(QAbstractSpinBox::CorrectToNearestValue);
}

QValidator::State SpinEdit::validate(QString& input, int& pos) const {
    const QValidator::State own = QSpinBox::validate(input, pos);
    if (own != QValidator::Invalid)
        return own;
    // A number beyond the range is kept while it is typed; fixup() brings it in on leaving.
    if (typedNumber(input))
        return QValidator::Intermediate;
    const QString trimmed = input.trimmed();
    return trimmed == QLatin1String("-") || trimmed == QLatin1String("+") ? QValidator::Intermediate
                                                                          : QValidator::Invalid;
}

void SpinEdit::fixup(QString& input) const {
    const auto typed = typedNumber(input);
    const long long value = typed ? std::clamp<long long>(*typed, minimum(), maximum()) : minimum();
    input = textFromValue(int(value));
}

} // namespace platform
