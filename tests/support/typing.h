// Typing into a spin box as a user does: the old text selected and replaced key by key, then
// the focus leaving the box.
#pragma once

#include <QApplication>
#include <QFocusEvent>
#include <QSpinBox>
#include <QString>
#include <QTest>

namespace testsupport {

inline void typeInto(QSpinBox* box, const QString& text) {
    box->selectAll();
    QTest::keyClick(box, Qt::Key_Delete);
    QTest::keyClicks(box, text);
}

inline void leave(QSpinBox* box) {
    QFocusEvent out(QEvent::FocusOut, Qt::TabFocusReason);
    QApplication::sendEvent(box, &out);
}

} // namespace testsupport
