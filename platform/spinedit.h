// The program's spin box. A number typed outside the box's range is taken as typed and brought
// into the range when the box loses the focus (or Enter is pressed), as it is when the program
// sets the value: "300" in a box of 0..255 becomes 255, "0" in a box of 1..99 becomes 1. Text that
// is not a number becomes the minimum. Values inside the range are reported on every keystroke.
#pragma once

#include <QSpinBox>

namespace platform {

class SpinEdit : public QSpinBox {
    Q_OBJECT

public:
    // maxCharacters limits what can be typed (0: no limit beyond the range's own digits).
    explicit SpinEdit(QWidget* parent = nullptr, int maxCharacters = 0);

protected:
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString& input) const override;
};

} // namespace platform
