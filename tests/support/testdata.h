// Where the shared test pictures are (real camera photographs and the BMP test suite).
#pragma once

#include <QImage>
#include <QString>

namespace testsupport {

// The folder named by TAZU_TESTDATA, or an empty string when it is not set or missing.
QString testdataDir();

// The mean difference per colour channel of two pictures of one size, over a grid of about 4000
// samples: a picture decoded, turned and re-encoded lies within a few levels of its original.
// 256 (more than any two pictures of one size can differ) when the sizes differ or one is null.
double meanChannelDifference(const QImage& a, const QImage& b);

// Skips the calling test when the shared pictures are missing, unless TAZU_REQUIRE_TESTDATA is
// set (as in CI), where it fails instead.
#define TAZU_REQUIRE_TESTDATA()                                                                    \
    do {                                                                                           \
        if (::testsupport::testdataDir().isEmpty()) {                                              \
            if (qEnvironmentVariableIsSet("TAZU_REQUIRE_TESTDATA"))                                \
                FAIL() << "shared test pictures not found (TAZU_TESTDATA)";                        \
            else                                                                                   \
                GTEST_SKIP() << "shared test pictures not found (TAZU_TESTDATA)";                  \
        }                                                                                          \
    } while (0)

} // namespace testsupport
