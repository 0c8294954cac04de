// The plug-in loader in tests: plug-ins whose broken promises are test failures, and assertions
// on the pictures they decode.
#pragma once

#include "tests/support/spiloader.h"

#include <gtest/gtest.h>

#include <QImage>
#include <QString>

namespace testsupport {

// The plug-in of that file name, loaded once for the whole test program; every fault the
// loader sees is a failure of the test that made the call. Throws, failing the test, when the
// plug-in cannot be loaded.
const SpiPlugin& testedPlugin(const QString& fileName);

// Success when every pixel of dib shows the colour of the same pixel of expected.
::testing::AssertionResult showsPicture(const Dib& dib, const QImage& expected);

// Success when the 8-bit dib holds the palette indices of the Indexed8 image.
::testing::AssertionResult holdsIndices(const Dib& dib, const QImage& expected);

} // namespace testsupport
