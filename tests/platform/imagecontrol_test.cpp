#include "platform/imagecontrol.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

using platform::ImageControl;

namespace {

QImage twoColours() {
    // Left half red, right half blue.
    QImage image(4, 2, QImage::Format_RGB32);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 4; ++x)
            image.setPixel(x, y, x < 2 ? qRgb(255, 0, 0) : qRgb(0, 0, 255));
    return image;
}

} // namespace

TEST(ImageControl, PaintsAtOneToOneOrStretched) {
    ImageControl control;
    control.resize(8, 4);
    control.setPicture(twoColours());
    EXPECT_EQ(control.size(), QSize(8, 4)); // AutoSize is off by default

    QImage plain = control.grab().toImage();
    EXPECT_EQ(plain.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(plain.pixel(3, 1), qRgb(0, 0, 255));
    control.setStretch(true);
    QImage stretched = control.grab().toImage();
    EXPECT_EQ(stretched.pixel(1, 1), qRgb(255, 0, 0));
    EXPECT_EQ(stretched.pixel(6, 3), qRgb(0, 0, 255));

    control.setAutoSize(true);
    EXPECT_EQ(control.size(), QSize(4, 2));
    control.clearPicture();
    EXPECT_FALSE(control.hasPicture());
}

TEST(ImageControl, ReportsClicksAndDoubleClicks) {
    ImageControl control;
    control.resize(10, 10);
    QSignalSpy clicks(&control, &ImageControl::clicked);
    QSignalSpy doubles(&control, &ImageControl::doubleClicked);
    QTest::mouseClick(&control, Qt::LeftButton, {}, QPoint(5, 5));
    QTest::mouseClick(&control, Qt::RightButton, {}, QPoint(5, 5));
    QTest::mouseDClick(&control, Qt::LeftButton, {}, QPoint(5, 5));
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_EQ(doubles.count(), 1);
}
