#include "app/memofield.h"

#include "app/memos.h"
#include "platform/codepage.h"

void MemoValidator::setBaseline(const QString& text) {
    baseline_ = text;
    baselineBytes_ = platform::cp932Length(text);
    baselineMissing_ = platform::cp932MissingCharacters(text);
}

// A memo loaded from a file may already stand beyond the rules (bytes that were not code page
// 932); an edit is only refused for making it worse, so such a memo can still be corrected.
QValidator::State MemoValidator::validate(QString& input, int&) const {
    if (input == baseline_)
        return Acceptable;
    const int missing = platform::cp932MissingCharacters(input);
    if (missing > baselineMissing_) {
        emit const_cast<MemoValidator*>(this)->refused();
        return Invalid;
    }
    const int bytes = platform::cp932Length(input);
    if (bytes > MemoBytes && bytes > baselineBytes_)
        return Invalid;
    baseline_ = input;
    baselineBytes_ = bytes;
    baselineMissing_ = missing;
    return Acceptable;
}
