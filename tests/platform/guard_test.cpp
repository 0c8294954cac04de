#include "platform/checked.h"
#include "platform/guard.h"
#include "platform/memory.h"
#include "tests/support/answerer.h"

#include <gtest/gtest.h>

#include <QPushButton>

using namespace platform;
using testsupport::RecordingAnswerer;

TEST(Guard, ErrorsFromHandlersAreShownAndTheProgramGoesOn) {
    RecordingAnswerer answers;
    guarded([] { throw OverflowError(); });
    guarded(
        [] { throw IoError(QStringLiteral("ファイルを開けません"), QStringLiteral("/p/a.J6I")); });
    guarded([] { throw std::bad_alloc(); });
    guarded([] { throw 42; });
    bool ran = false;
    guarded([&] { ran = true; });
    EXPECT_TRUE(ran);
    ASSERT_EQ(answers.messages.size(), 4u);
    EXPECT_EQ(answers.messages[0].text, OverflowError().text());
    EXPECT_EQ(answers.messages[1].text, QStringLiteral("ファイルを開けません [/p/a.J6I]"));
    EXPECT_EQ(answers.messages[2].icon, MessageIcon::Error);

    // A slot made guarded: clicking the button shows the error instead of unwinding into Qt.
    QPushButton button;
    QObject::connect(&button, &QPushButton::clicked,
                     guardedSlot([](bool) { throw OverflowError(); }));
    button.click();
    EXPECT_EQ(answers.messages.size(), 5u);
}

namespace {

// An object whose event handler throws, as a handler without its own guard might.
class ThrowingObject : public QObject {
public:
    bool event(QEvent* e) override {
        if (e->type() == QEvent::User)
            throw IoError(QStringLiteral("読めません"), QStringLiteral("/x"));
        return QObject::event(e);
    }
};

} // namespace

TEST(Guard, ApplicationNotifyCatchesWhatAHandlerLetThrough) {
    // The test programs run on platform::Application, so events pass its notify().
    ASSERT_NE(dynamic_cast<Application*>(QCoreApplication::instance()), nullptr);
    RecordingAnswerer answers;
    ThrowingObject object;
    QEvent event(QEvent::User);
    QCoreApplication::sendEvent(&object, &event);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("読めません [/x]"));
}

TEST(Memory, BlocksCrossTheInterfaceAndLocksAreScoped) {
    HGLOBAL block = GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, 44);
    ASSERT_NE(block, nullptr);
    EXPECT_EQ(GlobalSize(block), 44u);
    {
        LockedBlock locked(block);
        ASSERT_NE(locked.data(), nullptr);
        EXPECT_EQ(locked.as<unsigned char>()[43], 0);
        locked.as<unsigned char>()[0] = 7;
    }
    // A block made with the interface's own functions, as a plug-in makes it, is owned here.
    OwnedBlock owned(SpiBlockAlloc(3, 0));
    EXPECT_EQ(GlobalSize(owned.get()), 3u);
    OwnedBlock other(std::move(owned));
    EXPECT_FALSE(owned);
    EXPECT_TRUE(other);
    EXPECT_EQ(GlobalLock(nullptr), nullptr);
    EXPECT_EQ(GlobalFree(block), nullptr);
}
