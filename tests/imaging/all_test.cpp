// The picture control, loading the test pictures through the built decoder plug-ins.
#include "imaging/all.h"
#include "platform/checked.h"
#include "platform/dib.h"
#include "platform/display.h"
#include "tests/support/answerer.h"
#include "tests/support/gifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/testdata.h"
#include "tests/support/testpatterns.h"
#include "tests/support/tiffmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

#include <cstring>
#include <vector>

using namespace testsupport;

namespace {

// Sets the plug-in search path for as long as it lives.
class ScopedPluginPath {
public:
    explicit ScopedPluginPath(const QByteArray& path) : saved_(qgetenv("TAZU_PLUGIN_PATH")) {
        qputenv("TAZU_PLUGIN_PATH", path);
    }
    ~ScopedPluginPath() { qputenv("TAZU_PLUGIN_PATH", saved_); }

private:
    QByteArray saved_;
};

// Puts the stand-in plug-ins in front of the real ones.
class StandInPlugins : public ScopedPluginPath {
public:
    StandInPlugins() : ScopedPluginPath(FAKE_SPI_DIR ":" + qgetenv("TAZU_PLUGIN_PATH")) {}
};

class TAllTest : public ::testing::Test {
protected:
    QString path(const QString& name) const { return folder.filePath(name); }

    QString writeJpeg(const QString& name, int width, int height) const {
        const QString file = path(name);
        EXPECT_TRUE(writeFile(file, makeJpeg(makeQuadrantPicture(width, height).image)));
        return file;
    }

    // Loads the file and expects it to fail with this message and Error.
    void expectFailure(const QString& file, const QString& text, int error) {
        answerer.messages.clear();
        control.setPictureName(file);
        EXPECT_EQ(answerer.texts(), QStringList{text + QStringLiteral(" [") + file + u']'});
        EXPECT_EQ(control.error(), error);
        EXPECT_TRUE(control.pictureName().isEmpty());
        EXPECT_FALSE(control.hasPicture());
    }

    QTemporaryDir temporary;
    QDir folder{temporary.path()};
    RecordingAnswerer answerer;
    TAll control;
};

TEST_F(TAllTest, JpegLoadsAsThumbnailOrAtFullSize) {
    EXPECT_TRUE(control.autoSize());
    EXPECT_EQ(control.JpegOffset, 0);
    const QString file = writeJpeg(QStringLiteral("a.jpg"), 641, 479);

    control.setPreView(true);
    control.setPictureName(file);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.decoderKind(), TAll::JpegKind);
    EXPECT_EQ(control.picture().size(), QSize(161, 120));
    EXPECT_EQ(control.size(), QSize(161, 120)) << "auto-size";
    EXPECT_EQ(control.property("OrgWidth").toInt(), 641);
    EXPECT_EQ(control.property("OrgHeight").toInt(), 479);

    control.setProperty("PreView", false); // loads again at full size
    EXPECT_EQ(control.picture().size(), QSize(641, 479));
    EXPECT_EQ(control.orgWidth(), 641);
    EXPECT_EQ(control.property("PictureName").toString(), file);
    EXPECT_TRUE(answerer.messages.empty());
}

TEST_F(TAllTest, J6iStreamIsFoundAtTheOffsetTheCallerGives) {
    J6iOptions options;
    options.headerLength = 300;
    const QString file = path(QStringLiteral("CAM1.J6I"));
    ASSERT_TRUE(writeFile(file, makeJ6i(options)));

    control.JpegOffset = 300;
    control.setPreView(true);
    control.setPictureName(file);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().size(), QSize(192, 120));

    control.JpegOffset = 0;
    control.setPreView(true);
    expectFailure(file, QStringLiteral("未知のフォーマット"), 2);
}

TEST_F(TAllTest, ExtensionsCompareWholeInAnyCase) {
    for (const char* name : {"a.jpg", "b.Jpg", "c.JPG", "d.jpe"}) {
        const QString file = writeJpeg(QString::fromLatin1(name), 32, 16);
        control.setPictureName(file);
        EXPECT_EQ(control.error(), 0) << name;
        EXPECT_EQ(control.pictureName(), file);
    }
    for (const char* name : {"e.JPEG", "f.TIFF", "noextension", "dot.jpg/inside"}) {
        const QString file = path(QString::fromLatin1(name));
        expectFailure(file, QStringLiteral("サポートされない拡張子"), 10);
    }
    EXPECT_EQ(pictureExtension(QStringLiteral("x.y\\z")), QString());
    EXPECT_EQ(pictureExtension(QStringLiteral("c:a.b.tif")), QStringLiteral(".TIF"));
}

TEST_F(TAllTest, OtherPluginFormatsLoadAtFullSizeWithoutReportedSize) {
    control.setPreView(true);
    control.setPictureName(writeJpeg(QStringLiteral("first.jpg"), 64, 48));
    ASSERT_EQ(control.orgWidth(), 64);

    const QString tiff = path(QStringLiteral("b.tif"));
    writeTiff(tiff, {colourPattern(40, 30)});
    control.setPictureName(tiff);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.decoderKind(), TAll::TiffKind);
    EXPECT_EQ(control.picture().size(), QSize(40, 30));
    EXPECT_FALSE(control.preView());
    EXPECT_EQ(control.orgWidth(), 0);
    EXPECT_EQ(control.orgHeight(), 0);

    // A GIF behind 128 bytes of another header is found on the second try; on an 8-bit
    // display its colour table puts the control in palette mode.
    const QString gif = path(QStringLiteral("c.gif"));
    ASSERT_TRUE(writeFile(gif, QByteArray(128, 'x') + makeGif({{indexedPattern(20, 10, 16)}})));
    platform::overrideScreenDepth(8);
    control.setPictureName(gif);
    platform::overrideScreenDepth(std::nullopt);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().size(), QSize(20, 10));
    EXPECT_EQ(control.picture().pixel(1, 0), indexedPattern(20, 10, 16).pixel(1, 0));
    EXPECT_TRUE(control.paletteMode());
    EXPECT_TRUE(answerer.messages.empty());
}

TEST_F(TAllTest, NativeFormatsLoadThroughQt) {
    const QString bmp = path(QStringLiteral("a.BMP"));
    ASSERT_TRUE(colourPattern(30, 20).save(bmp, "BMP"));
    const QString ico = path(QStringLiteral("b.ico"));
    ASSERT_TRUE(colourPattern(32, 32).save(ico, "ICO"));
    control.setPreView(true);
    for (const QString& file : {bmp, ico}) {
        control.setPictureName(file);
        EXPECT_EQ(control.error(), 0);
        EXPECT_EQ(control.decoderKind(), TAll::NativeKind);
        EXPECT_FALSE(control.preView());
    }
    EXPECT_EQ(control.picture().size(), QSize(32, 32));

    // The extension decides the format: a JPEG named ".bmp" is not read.
    writeJpeg(QStringLiteral("jpeg.bmp"), 16, 16);
    expectFailure(path(QStringLiteral("jpeg.bmp")), QStringLiteral("未知のフォーマット"), 2);
    const QString wmf = path(QStringLiteral("d.wmf"));
    ASSERT_TRUE(writeFile(wmf, QByteArray("\xd7\xcd\xc6\x9a metafile")));
    expectFailure(wmf, QStringLiteral("未知のフォーマット"), 2);
}

// A one-row BMP file of 32-bit pixels (0xAARRGGBB) with a 124-byte header that gives an alpha
// mask.
QByteArray argbBmp(const std::vector<uint32_t>& row) {
    constexpr uint32_t headerSize = 124;
    platform::BitmapInfoHeader header{};
    header.biSize = headerSize;
    header.biWidth = int32_t(row.size());
    header.biHeight = 1;
    header.biPlanes = 1;
    header.biBitCount = 32;
    header.biCompression = platform::BI_BITFIELDS;
    const uint32_t masks[] = {0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000};
    const uint32_t bitsOffset = 14 + headerSize;
    const platform::BitmapFileHeader fileHeader{
        platform::BmpFileType, uint32_t(bitsOffset + 4 * row.size()), 0, 0, bitsOffset};
    QByteArray file(bitsOffset, '\0');
    std::memcpy(file.data(), &fileHeader, sizeof fileHeader);
    std::memcpy(file.data() + 14, &header, sizeof header);
    std::memcpy(file.data() + 14 + sizeof header, masks, sizeof masks);
    return file + QByteArray(reinterpret_cast<const char*>(row.data()), qsizetype(4 * row.size()));
}

TEST_F(TAllTest, TransparencyOfNativePicturesIsLaidOverWhite) {
    const QString half = path(QStringLiteral("alpha.bmp"));
    ASSERT_TRUE(writeFile(half, argbBmp({0xFFFF0000, 0x00FF0000, 0x80FF0000})));
    control.setPictureName(half);
    ASSERT_EQ(control.error(), 0);
    EXPECT_FALSE(control.picture().hasAlphaChannel());
    EXPECT_EQ(control.picture().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(control.picture().pixel(1, 0), qRgb(255, 255, 255));
    EXPECT_EQ(control.picture().pixel(2, 0), qRgb(255, 127, 127));

    const QString zeros = path(QStringLiteral("zeros.bmp"));
    ASSERT_TRUE(writeFile(zeros, argbBmp({0x00FF0000, 0x0000FF00})));
    control.setPictureName(zeros);
    EXPECT_EQ(control.picture().pixel(0, 0), qRgb(255, 0, 0)) << "alpha all 0: opaque";
    EXPECT_EQ(control.picture().pixel(1, 0), qRgb(0, 255, 0));

    QImage icon(32, 32, QImage::Format_ARGB32);
    icon.fill(qRgba(0, 0, 255, 0));
    icon.setPixel(5, 5, qRgba(0, 0, 255, 255));
    const QString ico = path(QStringLiteral("clear.ico"));
    ASSERT_TRUE(icon.save(ico, "ICO"));
    control.setPictureName(ico);
    EXPECT_EQ(control.picture().pixel(0, 0), qRgb(255, 255, 255));
    EXPECT_EQ(control.picture().pixel(5, 5), qRgb(0, 0, 255));
    EXPECT_TRUE(answerer.messages.empty());
}

TEST_F(TAllTest, BmpSuiteAlphaPicturesShowOverWhite) {
    TAZU_REQUIRE_TESTDATA();
    const QString q = testdataDir() + QStringLiteral("/bmpsuite/q/");
    control.setPictureName(q + QStringLiteral("rgba32-1.bmp"));
    ASSERT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(control.picture().pixel(63, 32), qRgb(255, 255, 255)) << "transparent";
    const QRgb partly = control.picture().pixel(27, 38); // red at 118 of 255
    EXPECT_EQ(qRed(partly), 255);
    EXPECT_NEAR(qGreen(partly), 137, 1);
    EXPECT_NEAR(qBlue(partly), 137, 1);

    control.setPictureName(q + QStringLiteral("rgba16-5551.bmp"));
    ASSERT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().pixel(0, 0), qRgb(255, 0, 0));
    EXPECT_EQ(control.picture().pixel(63, 32), qRgb(255, 255, 255)) << "transparent";
}

TEST_F(TAllTest, MissingPluginIsNamedByItsLabel) {
    expectFailure(path(QStringLiteral("a.P2")), QStringLiteral("IFPIC2.SPI not found"), 20);
    expectFailure(path(QStringLiteral("b.q4")), QStringLiteral("IFXLD4.SPI not found"), 20);

    const QString jpeg = writeJpeg(QStringLiteral("c.jpg"), 16, 16);
    QTemporaryDir empty;
    const ScopedPluginPath onlyEmpty(QFile::encodeName(empty.path()));
    expectFailure(jpeg, QStringLiteral("IFJPG.SPI not found"), 20);
}

TEST_F(TAllTest, PicPixelsAreMadeSquare) {
    const StandInPlugins standIns;
    const auto loadPic = [&](const QByteArray& description) {
        const QString file = path(QStringLiteral("a.pic"));
        EXPECT_TRUE(writeFile(file, description));
        control.setPictureName(file);
        EXPECT_EQ(control.error(), 0) << description.constData();
        EXPECT_EQ(control.decoderKind(), TAll::PicKind);
        return control.picture().size();
    };
    EXPECT_EQ(loadPic("320 200 1 2 0 0"), QSize(640, 200));
    EXPECT_EQ(loadPic("320 200 3 1 0 0"), QSize(320, 600));
    EXPECT_EQ(loadPic("320 200 0 2 0 0"), QSize(320, 200)) << "a density of 0 says nothing";
    // A picture found behind a 128-byte header is described there too.
    EXPECT_EQ(loadPic(QByteArray(128, 'x') + "320 200 1 2 0 0"), QSize(640, 200));

    // A stretch beyond 32 bits abandons the load and leaves nothing behind.
    ASSERT_TRUE(writeFile(path(QStringLiteral("wide.pic")), "40000 1 1 65535 0 0"));
    EXPECT_THROW(control.setPictureName(path(QStringLiteral("wide.pic"))), platform::OverflowError);
    EXPECT_TRUE(control.pictureName().isEmpty());
    EXPECT_FALSE(control.hasPicture());

    // The PIC2 stand-in lacks GetPictureInfo, which this format needs.
    const QString pic2 = path(QStringLiteral("b.P2"));
    ASSERT_TRUE(writeFile(pic2, "320 200 1 1 0 0"));
    expectFailure(pic2, QStringLiteral("IFPIC2.SPI not found"), 20);
}

TEST_F(TAllTest, JpegPreviewOfAnotherSizeIsCutToTheThumbnail) {
    const StandInPlugins standIns;
    const QString file = path(QStringLiteral("odd.jpg"));
    ASSERT_TRUE(writeFile(file, "100 80 1 1 30 10"));
    control.setPreView(true);
    control.setPictureName(file);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.orgWidth(), 100);
    ASSERT_EQ(control.picture().size(), QSize(25, 20));
    EXPECT_EQ(control.picture().pixel(24, 9), qRgb(0xC0, 0x40, 0x20));
    EXPECT_EQ(control.picture().pixel(0, 10), qRgb(0, 0, 0));
}

TEST_F(TAllTest, TodaysFormatsShowThePluginsPreviewOrTheWholePictureInThumbnailMode) {
    const StandInPlugins standIns;
    control.setPreView(true);
    // A plug-in with a preview: the quarter rule, as for JPEG pictures.
    const QString png = path(QStringLiteral("shot.png"));
    ASSERT_TRUE(writeFile(png, "400 300 1 1 100 75"));
    control.setPictureName(png);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.decoderKind(), TAll::PngKind);
    EXPECT_EQ(QSize(control.orgWidth(), control.orgHeight()), QSize(400, 300));
    EXPECT_EQ(control.picture().size(), QSize(100, 75));
    // One without: the whole picture.
    const QString webp = path(QStringLiteral("web.WEBP"));
    ASSERT_TRUE(writeFile(webp, "40 30 1 1 -1 -1"));
    control.setPictureName(webp);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().size(), QSize(40, 30));
    // Thumbnail mode stays on after both: a JPEG picture that follows is a thumbnail too.
    EXPECT_TRUE(control.preView());
    const QString jpeg = path(QStringLiteral("after.jpg"));
    ASSERT_TRUE(writeFile(jpeg, "64 48 1 1 16 12"));
    control.setPictureName(jpeg);
    EXPECT_EQ(control.picture().size(), QSize(16, 12));
    // Out of thumbnail mode every picture shows whole.
    control.setPreView(false);
    control.setPictureName(png);
    EXPECT_EQ(control.picture().size(), QSize(400, 300));
    // HEIF names go to the HEIF plug-in, which knows this is no HEIF file.
    for (const char* name : {"phone.heic", "phone.HIF"}) {
        const QString heif = path(QString::fromLatin1(name));
        ASSERT_TRUE(writeFile(heif, "400 300 1 1 100 75"));
        expectFailure(heif, QStringLiteral("未知のフォーマット"), 2);
    }
}

TEST_F(TAllTest, CorruptJpegReportsThePluginResult) {
    const QString file = path(QStringLiteral("broken.jpg"));
    ASSERT_TRUE(writeFile(file, makeJpeg(makeQuadrantPicture(64, 64).image).left(20)));
    control.setPreView(true);
    expectFailure(file, QStringLiteral("データが壊れている"), 3);
}

TEST_F(TAllTest, EmptyNameClearsAndPreViewAloneLoadsNothing) {
    control.setPreView(true);
    EXPECT_FALSE(control.hasPicture());
    EXPECT_TRUE(answerer.messages.empty());

    control.setPictureName(path(QStringLiteral("none.xyz")));
    ASSERT_EQ(control.error(), 10);
    control.setPictureName(writeJpeg(QStringLiteral("a.jpg"), 16, 16));
    ASSERT_TRUE(control.hasPicture());
    control.setPictureName({});
    EXPECT_FALSE(control.hasPicture());
    EXPECT_EQ(control.error(), 0);
}

TEST_F(TAllTest, LongJapanesePathLoads) {
    QString relative;
    for (int level = 0; level < 3; ++level)
        relative += QStringLiteral("デジタルカメラの写真フォルダ").repeated(4) + u'/';
    ASSERT_TRUE(folder.mkpath(relative));
    const QString file = writeJpeg(relative + QStringLiteral("画像.jpg"), 48, 32);
    ASSERT_GT(QFile::encodeName(file).size(), 255);
    control.setPictureName(file);
    EXPECT_EQ(control.error(), 0);
    EXPECT_EQ(control.picture().size(), QSize(48, 32));
}

} // namespace
