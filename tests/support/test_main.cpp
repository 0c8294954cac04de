// Entry point of every test executable: the program's application object (with its guarded
// notify) on the offscreen platform, so that tests of windows run without a display, then
// GoogleTest.
#include <gtest/gtest.h>

#include "platform/guard.h"

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::Application app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
