#include "tests/support/spitesting.h"

#include <map>
#include <memory>

namespace testsupport {

const SpiPlugin& testedPlugin(const QString& fileName) {
    static std::map<QString, std::unique_ptr<const SpiPlugin>> loaded;
    std::unique_ptr<const SpiPlugin>& plugin = loaded[fileName];
    if (!plugin)
        plugin = std::make_unique<const SpiPlugin>(
            fileName, [](const std::string& fault) { ADD_FAILURE() << fault; });
    return *plugin;
}

::testing::AssertionResult showsPicture(const Dib& dib, const QImage& expected) {
    if (dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure()
               << "size " << dib.width() << "x" << dib.height() << ", expected " << expected.width()
               << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.colour(x, y) != (expected.pixel(x, y) | 0xff000000u))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << std::hex
                       << dib.colour(x, y) << " instead of " << expected.pixel(x, y);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult holdsIndices(const Dib& dib, const QImage& expected) {
    if (dib.bitCount() != 8 || dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure()
               << dib.bitCount() << "-bit " << dib.width() << "x" << dib.height()
               << ", expected 8-bit " << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.index(x, y) != expected.pixelIndex(x, y))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << dib.index(x, y)
                       << " instead of " << expected.pixelIndex(x, y);
    return ::testing::AssertionSuccess();
}

} // namespace testsupport
