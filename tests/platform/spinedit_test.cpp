// The spin box takes a number outside its range as typed and brings it into the range when
// the focus leaves it; numbers inside the range are reported key by key.
#include "platform/spinedit.h"
#include "tests/support/typing.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QSignalSpy>

namespace {

using testsupport::leave;
using testsupport::typeInto;

TEST(SpinEdit, NumbersBeyondTheRangeAreKeptWhileTypedAndClampedOnLeaving) {
    platform::SpinEdit box;
    box.setRange(0, 255);
    box.setValue(100);
    QSignalSpy changes(&box, &QSpinBox::valueChanged);

    typeInto(&box, QStringLiteral("300"));
    EXPECT_EQ(box.text(), QStringLiteral("300")); // not refused at the last keystroke
    EXPECT_EQ(changes.count(), 2);                // "3" and "30" were values of the range
    leave(&box);
    EXPECT_EQ(box.value(), 255);
    EXPECT_EQ(box.text(), QStringLiteral("255"));
    ASSERT_EQ(changes.count(), 3);
    EXPECT_EQ(changes.last().at(0).toInt(), 255);

    typeInto(&box, QStringLiteral("-7"));
    leave(&box);
    EXPECT_EQ(box.value(), 0);
}

TEST(SpinEdit, ZeroInACopiesBoxBecomesOneAndTheCharacterLimitHolds) {
    platform::SpinEdit copies(nullptr, 2);
    copies.setRange(1, 99);
    copies.setValue(5);
    typeInto(&copies, QStringLiteral("0"));
    leave(&copies);
    EXPECT_EQ(copies.value(), 1);

    typeInto(&copies, QStringLiteral("123"));
    leave(&copies);
    EXPECT_EQ(copies.value(), 12);
}

TEST(SpinEdit, TextThatIsNoNumberIsRefusedAndAnEmptyBoxBecomesTheMinimum) {
    platform::SpinEdit box;
    box.setRange(10, 90);
    box.setValue(50);
    typeInto(&box, QStringLiteral("x"));
    EXPECT_EQ(box.text(), QString());
    leave(&box);
    EXPECT_EQ(box.value(), 10);

    box.setValue(400); // set by the program: clamped as ever
    EXPECT_EQ(box.value(), 90);
}

} // namespace
