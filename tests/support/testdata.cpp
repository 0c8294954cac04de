#include "tests/support/testdata.h"

#include <QDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace testsupport {

QString testdataDir() {
    const QString dir = qEnvironmentVariable("TAZU_TESTDATA");
    if (dir.isEmpty() || !QDir(dir).exists(QStringLiteral("camera")))
        return {};
    return dir;
}

double meanChannelDifference(const QImage& a, const QImage& b) {
    if (a.isNull() || a.size() != b.size())
        return 256;
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    // Odd strides, so that the grid does not follow the 8-pixel blocks of JPEG pictures.
    const int step = std::max(1, int(std::sqrt(double(a.width()) * a.height() / 4000.0))) | 1;
    long difference = 0, samples = 0;
    for (int y = step / 2; y < a.height(); y += step)
        for (int x = step / 2; x < a.width(); x += step) {
            const QRgb p = first.pixel(x, y), q = second.pixel(x, y);
            difference += std::abs(qRed(p) - qRed(q)) + std::abs(qGreen(p) - qGreen(q)) +
                          std::abs(qBlue(p) - qBlue(q));
            samples += 3;
        }
    return double(difference) / double(samples);
}

} // namespace testsupport
