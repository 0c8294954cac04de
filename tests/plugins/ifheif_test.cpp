// ifheif.spi as the program uses it: the shared HEIC and HEIF pictures of phones and cameras
// against their reference renderings, their previews, and broken files.
#include "tests/support/spitesting.h"
#include "tests/support/testdata.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <algorithm>
#include <cmath>
#include <cstdlib>

using namespace testsupport;

namespace {

const SpiPlugin& heifPlugin() {
    return testedPlugin(QStringLiteral("ifheif.spi"));
}

QString heifFile(const char* name) {
    return testdataDir() + QStringLiteral("/heic/") + QLatin1String(name);
}

// A decoded picture as the references are made: reduced to a quarter each way by averaging 4 × 4
// blocks when it is 64 pixels or more, else as it is.
QImage asReference(const Dib& dib) {
    const bool reduce = dib.width() >= 64 && dib.height() >= 64;
    const int factor = reduce ? 4 : 1;
    QImage out(dib.width() / factor, dib.height() / factor, QImage::Format_RGB32);
    for (int y = 0; y < out.height(); ++y)
        for (int x = 0; x < out.width(); ++x) {
            int red = 0, green = 0, blue = 0;
            for (int dy = 0; dy < factor; ++dy)
                for (int dx = 0; dx < factor; ++dx) {
                    const QRgb c = dib.colour(x * factor + dx, y * factor + dy);
                    red += qRed(c);
                    green += qGreen(c);
                    blue += qBlue(c);
                }
            const int n = factor * factor;
            out.setPixel(x, y, qRgb((red + n / 2) / n, (green + n / 2) / n, (blue + n / 2) / n));
        }
    return out;
}

struct Difference {
    double mean = 0;
    int largest = 0;
};

Difference differenceOf(const QImage& a, const QImage& b) {
    Difference d;
    if (a.size() != b.size())
        return {255, 255};
    double total = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            const QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            for (const int e : {std::abs(qRed(p) - qRed(q)), std::abs(qGreen(p) - qGreen(q)),
                                std::abs(qBlue(p) - qBlue(q))}) {
                total += e;
                d.largest = std::max(d.largest, e);
            }
        }
    d.mean = total / (3.0 * a.width() * a.height());
    return d;
}

TEST(HeifPlugin, DecodesThePrimaryPictureOfPhonesAndCamerasAsShown) {
    TAZU_REQUIRE_TESTDATA();
    const SpiPlugin& plugin = heifPlugin();
    EXPECT_EQ(plugin.pluginInfo(2), "*.HEIC;*.HEIF;*.HIF");
    struct Case {
        const char* file;
        int width, height; // 0: not checked
        double meanLimit = 0.5;
        int largestLimit = 2;
    };
    // Rotated and tiled (arrow), a depth map and gain map beside the primary (pug), 10 bits
    // 4:2:2 (cat), cropped (test), two eyes (spatial_photo), the primary not first (zPug_3), alpha
    // over white at 8 and 10 bits. Against the references the decodes differ by a level at most
    // (mean about 0.2), except the cropped test.heic: the reference places its odd clean-aperture
    // crop two rows lower than this libheif does, so there only the mean is held.
    for (const Case& c :
         {Case{"arrow.heic", 3024, 4032}, Case{"pug.heic", 4032, 3024}, Case{"cat.hif", 0, 0},
          Case{"xiaomi.heic", 0, 0}, Case{"test.heic", 1652, 1791, 3.0, 255},
          Case{"spatial_photo.heic", 0, 0}, Case{"zPug_3.heic", 64, 64},
          Case{"RGBA_10__128x128.heif", 128, 128}, Case{"alpha.heif", 0, 0}}) {
        SCOPED_TRACE(c.file);
        const QString path = heifFile(c.file);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_TRUE(plugin.supports(file.read(2048)));
        PictureDescription description;
        ASSERT_EQ(plugin.describeFile(path, 0, description), SPI_SUCCESS);
        Dib dib;
        ASSERT_EQ(plugin.decodeFile(path, 0, dib), SPI_SUCCESS);
        EXPECT_EQ(dib.bitCount(), 24);
        EXPECT_EQ(QSize(dib.width(), dib.height()),
                  QSize(description.info.width, description.info.height));
        if (c.width) {
            EXPECT_EQ(QSize(dib.width(), dib.height()), QSize(c.width, c.height));
        }
        const QString name = QString::fromLatin1(c.file);
        const QImage reference(testdataDir() + QStringLiteral("/heic/reference/") +
                               name.left(name.lastIndexOf(u'.')) + QStringLiteral(".png"));
        ASSERT_FALSE(reference.isNull());
        const Difference d =
            differenceOf(asReference(dib), reference.convertToFormat(QImage::Format_RGB32));
        EXPECT_LE(d.mean, c.meanLimit);
        EXPECT_LE(d.largest, c.largestLimit);
    }
}

TEST(HeifPlugin, PreviewsAreAQuarterFromTheFilesThumbnailOrFromThePicture) {
    TAZU_REQUIRE_TESTDATA();
    const SpiPlugin& plugin = heifPlugin();
    // arrow.heic's thumbnail (240 × 320) is smaller than a quarter: the picture reduced, which
    // is exactly how the reference is made. cat.hif's 1616 × 1080 thumbnail is more than a
    // quarter: the camera's own, with thin black bands at its right and bottom edges, so it is
    // only roughly the reduced picture.
    for (const char* name : {"arrow.heic", "cat.hif"}) {
        SCOPED_TRACE(name);
        const QString path = heifFile(name);
        PictureDescription description;
        ASSERT_EQ(plugin.describeFile(path, 0, description), SPI_SUCCESS);
        Dib preview;
        ASSERT_EQ(plugin.decodeFile(path, 0, preview, Call::Preview), SPI_SUCCESS);
        EXPECT_EQ(QSize(preview.width(), preview.height()),
                  QSize((description.info.width + 3) / 4, (description.info.height + 3) / 4));
        QString reference = QString::fromLatin1(name);
        reference = testdataDir() + QStringLiteral("/heic/reference/") +
                    reference.left(reference.lastIndexOf(u'.')) + QStringLiteral(".png");
        QImage shown(preview.width(), preview.height(), QImage::Format_RGB32);
        for (int y = 0; y < preview.height(); ++y)
            for (int x = 0; x < preview.width(); ++x)
                shown.setPixel(x, y, preview.colour(x, y));
        const QImage expected = QImage(reference).convertToFormat(QImage::Format_RGB32);
        const Difference d =
            differenceOf(shown.copy(0, 0, expected.width(), expected.height()), expected);
        EXPECT_LE(d.mean, QLatin1String(name) == QLatin1String("arrow.heic") ? 0.5 : 20.0);
    }
}

TEST(HeifPlugin, BrokenFilesGiveAResultCodeAndNothingElse) {
    TAZU_REQUIRE_TESTDATA();
    const SpiPlugin& plugin = heifPlugin();
    Dib dib;
    // Its data lies beyond the end of the file.
    EXPECT_NE(plugin.decodeFile(heifFile("truncated.heic"), 0, dib), SPI_SUCCESS);
    EXPECT_TRUE(dib.isEmpty());

    QFile file(heifFile("arrow.heic"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray arrow = file.readAll();
    // Cut in the middle of its tiles, and cut inside its boxes.
    for (const qsizetype cut : {arrow.size() / 2, qsizetype(400), qsizetype(20)}) {
        SCOPED_TRACE(cut);
        const int32_t result = plugin.decode(arrow.left(cut), dib);
        EXPECT_TRUE(result == SPI_BROKEN_DATA || result == SPI_UNKNOWN_FORMAT) << result;
        EXPECT_TRUE(dib.isEmpty());
    }
    // Not a HEIF file at all.
    PictureDescription description;
    EXPECT_EQ(plugin.describe(QByteArray(4096, 'x'), description), SPI_UNKNOWN_FORMAT);
    EXPECT_FALSE(plugin.supports(QByteArray("\xff\xd8\xff\xe0", 4) + QByteArray(100, 0)));
    // Whole, from memory as from the file.
    ASSERT_EQ(plugin.decode(arrow, dib), SPI_SUCCESS);
    EXPECT_EQ(QSize(dib.width(), dib.height()), QSize(3024, 4032));
}

} // namespace
