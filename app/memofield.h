// What a memo field accepts: at most 40 bytes of code page 932 text. An edit that would pass the
// limit is refused whole (a double-byte character is never half taken); an edit that brings in
// characters code page 932 cannot hold is refused too, and refused() tells the window so that it
// can say why. Text the program puts into the field (a memo as loaded) is taken as it is.
#pragma once

#include <QString>
#include <QValidator>

class MemoValidator : public QValidator {
    Q_OBJECT

public:
    explicit MemoValidator(QObject* parent = nullptr) : QValidator(parent) {}

    // The field's text as the program set it, the measure for the next edit.
    void setBaseline(const QString& text);
    State validate(QString& input, int& pos) const override;

signals:
    void refused(); // an edit brought in characters code page 932 cannot hold

private:
    // validate() is const by the interface; what it accepts becomes the new baseline.
    mutable QString baseline_;
    mutable int baselineBytes_ = 0;
    mutable int baselineMissing_ = 0;
};
