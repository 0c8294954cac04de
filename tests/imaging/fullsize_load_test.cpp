// Full-size loading through the decoder plug-ins: which plug-in is asked at which offsets in
// which order, what the user is told, and which blocks are left to the caller. The scripted
// stand-in (fakespi/scripted.c) decides the plug-in's answers; the real JPEG plug-in shows the
// same on real files.
#include "imaging/fullsize.h"
#include "platform/checked.h"
#include "tests/support/answerer.h"
#include "tests/support/cammaker.h"
#include "tests/support/jpegmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QtEndian>

#include <malloc.h>
#include <utility>
#include <vector>

using namespace testsupport;

namespace {

using Lines = std::vector<std::pair<int, QByteArray>>;

// A script for the stand-in: each line at its offset, newlines everywhere else, and with
// j6iOffset >= 0 that offset big-endian at bytes 56..59 as a J6I header holds it.
QByteArray script(const Lines& lines, int j6iOffset = -1) {
    QByteArray bytes(j6iOffset >= 0 ? 60 : 0, '\n');
    for (const auto& [offset, line] : lines) {
        const QByteArray text = line + '\n';
        if (bytes.size() < offset + text.size())
            bytes.append(QByteArray(offset + text.size() - bytes.size(), '\n'));
        bytes.replace(offset, text.size(), text);
    }
    if (j6iOffset >= 0)
        qToBigEndian<quint32>(quint32(j6iOffset), bytes.data() + 56);
    return bytes;
}

// Restores an environment variable, or its absence, when it goes.
class SavedVariable {
public:
    explicit SavedVariable(const char* name)
        : name_(name), wasSet_(qEnvironmentVariableIsSet(name)), value_(qgetenv(name)) {}
    ~SavedVariable() { wasSet_ ? qputenv(name_, value_) : qunsetenv(name_); }
    const QByteArray& value() const { return value_; }

private:
    const char* name_;
    bool wasSet_;
    QByteArray value_;
};

class FullSizeLoad : public ::testing::Test {
protected:
    void SetUp() override {
        qputenv("SCRIPTED_SPI_LOG", QFile::encodeName(logFile));
        usePlugins(SCRIPTED_SPI_DIR);
    }
    void TearDown() override {
        FreeDecodedDib();
        FreeCurrentDib();
    }

    static void usePlugins(const QByteArray& folders) { qputenv("TAZU_PLUGIN_PATH", folders); }
    void useRealPlugins() const { usePlugins(pluginPath.value()); }

    QString write(const QString& name, const QByteArray& bytes) const {
        const QString file = folder.filePath(name);
        EXPECT_TRUE(writeFile(file, bytes));
        return file;
    }

    int32_t load(const QString& file, const char* ext) {
        answerer.messages.clear();
        QFile::remove(logFile);
        return LoadFullSize(file, QString::fromLatin1(ext), minimum);
    }

    QStringList calls() const {
        QFile log(logFile);
        if (!log.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLatin1(log.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    static QString reported(const QString& text, const QString& file) {
        return text + QStringLiteral(" [") + file + u']';
    }

    // Loads a file of this extension and expects the result, the plug-in calls (as logged, joined
    // by ", ") and the message of a code's text, if any.
    void expectLoad(const char* ext, const QByteArray& bytes, int32_t result, const char* calls,
                    const char* message = nullptr) {
        const QString file = write(QStringLiteral("%1%2").arg(++files).arg(ext), bytes);
        SCOPED_TRACE(QByteArray(bytes).replace('\0', ' ').simplified().constData());
        EXPECT_EQ(load(file, ext), result);
        EXPECT_EQ(this->calls().join(QStringLiteral(", ")), QString::fromLatin1(calls));
        EXPECT_EQ(answerer.texts(), message
                                        ? QStringList{reported(QString::fromUtf8(message), file)}
                                        : QStringList{});
        if (result != HeldAsDib) {
            EXPECT_EQ(DecodedDib.info, nullptr);
            EXPECT_EQ(DecodedDib.pixels, nullptr);
        }
        FreeDecodedDib();
    }

    SavedVariable pluginPath{"TAZU_PLUGIN_PATH"};
    SavedVariable savedLog{"SCRIPTED_SPI_LOG"};
    QTemporaryDir temporary;
    QDir folder{temporary.path()};
    QString logFile = folder.filePath(QStringLiteral("calls.log"));
    RecordingAnswerer answerer;
    int files = 0;
    QSize minimum; // what load() asks LoadFullSize for
};

TEST_F(FullSizeLoad, JpegPluginTriesZeroThen128ThenTheJ6iHeaderOffset) {
    expectLoad(".JPG", script({{0, "info=0"}}), HeldAsDib, "GetPictureInfo 0, GetPicture 0");
    expectLoad(".J6I", script({{0, "info=2"}, {128, "info=0"}, {200, "info=0"}}, 200), HeldAsDib,
               "GetPictureInfo 0, GetPictureInfo 128, GetPicture 128");
    expectLoad(".J6I", script({{0, "info=2"}, {200, "info=0"}}, 200), HeldAsDib,
               "GetPictureInfo 0, GetPictureInfo 128, GetPictureInfo 200, GetPicture 200");
    // The last attempt's code is reported; a JPG is never looked for at a J6I header offset.
    expectLoad(".JPG", script({{0, "info=3"}, {128, "info=5"}, {200, "info=0"}}, 200), LoadFailed,
               "GetPictureInfo 0, GetPictureInfo 128", "メモリーエラー");
    expectLoad(".J6I", script({{0, "info=3"}, {128, "info=4"}, {200, "info=6"}}, 200), LoadFailed,
               "GetPictureInfo 0, GetPictureInfo 128, GetPictureInfo 200", "ファイルリードエラー");
    expectLoad(".JPG", script({{0, "info=0 picture=3"}, {128, "info=0"}}), LoadFailed,
               "GetPictureInfo 0, GetPicture 0", "データが壊れている");
}

TEST_F(FullSizeLoad, TiffAndCamRetryAt128OnlyAfterAnUnknownFormat) {
    expectLoad(".TIF", script({{0, "picture=4"}, {128, "picture=0"}}), LoadFailed, "GetPicture 0",
               "メモリーが確保出来ない");
    expectLoad(".TIF", script({{0, "picture=2"}, {128, "picture=0"}}), HeldAsDib,
               "GetPicture 0, GetPicture 128");
    expectLoad(".CAM", script({{128, "picture=0"}}), HeldAsDib, "GetPicture 0, GetPicture 128");
    expectLoad(".CAM", script({{0, "picture=2"}, {128, "picture=7"}}), LoadFailed,
               "GetPicture 0, GetPicture 128", "その他のエラー");
    expectLoad(".TIF", script({{0, "picture=-1"}, {128, "picture=0"}}), LoadFailed, "GetPicture 0",
               "その他のエラー");
    expectLoad(".TIF", script({{0, "picture=2"}, {128, "picture=2"}}), LoadFailed,
               "GetPicture 0, GetPicture 128", "未知のフォーマット");
}

TEST_F(FullSizeLoad, MissingPluginIsNamedAfterTheExtension) {
    const QString tiff = write(QStringLiteral("a.TIF"), script({{0, "picture=0"}}));
    const QString j6i = write(QStringLiteral("a.J6I"), script({{0, "info=0"}}, 200));
    const QString jpeg = write(QStringLiteral("a.JPG"), script({{0, "info=0"}}));
    QTemporaryDir empty;
    usePlugins(QFile::encodeName(empty.path()));
    EXPECT_EQ(load(tiff, ".TIF"), LoadFailed);
    EXPECT_EQ(answerer.texts(), QStringList{QStringLiteral("IF.TIF.SPI not found")});
    EXPECT_EQ(load(j6i, ".J6I"), LoadFailed);
    EXPECT_EQ(answerer.texts(), QStringList{QStringLiteral("IF.J6I.SPI not found")});

    // The JPEG plug-in needs GetPictureInfo as well as GetPicture.
    usePlugins(SCRIPTED_NO_INFO_SPI_DIR);
    EXPECT_EQ(load(jpeg, ".JPG"), LoadFailed);
    EXPECT_EQ(answerer.texts(), QStringList{QStringLiteral("IF.JPG.SPI not found")});
    EXPECT_TRUE(calls().isEmpty());

    // The J6I header is read before any plug-in is looked for: a short one throws, whether
    // the plug-in is there or not, and no box is shown.
    const QString shortJ6i =
        write(QStringLiteral("short.J6I"), script({{0, "info=0"}}).leftJustified(59, '\n'));
    for (const QByteArray& plugins :
         {QFile::encodeName(empty.path()), QByteArray(SCRIPTED_SPI_DIR)}) {
        usePlugins(plugins);
        EXPECT_THROW(load(shortJ6i, ".J6I"), platform::IoError);
        EXPECT_TRUE(answerer.messages.empty());
        EXPECT_TRUE(calls().isEmpty());
    }
}

// The blue, green and red of pixel (x, row) of CurrentDib, 5 pixels wide, row 0 at the bottom.
QRgb currentPixel(int x, int row) {
    const platform::LockedBlock pixels(CurrentDib.pixels);
    const uint8_t* p = pixels.as<uint8_t>() + row * 16 + x * 3;
    return qRgb(p[2], p[1], p[0]);
}

// What the stand-in writes at (x, row), as 24 bits.
QRgb scriptedPixel(int bits, int x, int row) {
    if (bits == 16) {
        const int levels[] = {0, 132, 255}; // the 5-bit levels 0, 16 and 31 at 8 bits
        return qRgb(levels[(x + row) % 3], levels[row % 3], levels[x % 3]);
    }
    return qRgb(0xC0 - x, 0x40 + row, x * 16 + row);
}

TEST_F(FullSizeLoad, DeepPicturesComeBackAt24BitsAndShallowOnesAreLeftToTheComponent) {
    expectLoad(".TIF", script({{0, "bits=8"}}), HeldByComponent, "GetPicture 0");

    for (const int bits : {16, 24, 32}) {
        SCOPED_TRACE(bits);
        const QByteArray line = "width=5 height=3 bits=" + QByteArray::number(bits);
        ASSERT_EQ(load(write(QStringLiteral("deep.CAM"), script({{0, line}})), ".CAM"), HeldAsDib);
        EXPECT_EQ(
            platform::LockedBlock(DecodedDib.info).as<platform::BitmapInfoHeader>()->biBitCount,
            24);
        EXPECT_EQ(AdoptDecodedPicture(false), QSize(5, 3));
        EXPECT_EQ(DecodedDib.info, nullptr);
        EXPECT_EQ(DibImageSize, 48);
        for (int row = 0; row < 3; ++row) {
            for (int x = 0; x < 5; ++x)
                EXPECT_EQ(currentPixel(x, row), scriptedPixel(bits, x, row)) << x << ", " << row;
        }
        FreeCurrentDib();
    }

    // A pixel block one byte shorter than its header says is broken data; nothing is kept.
    for (const char* line : {"bits=24 missing=1", "bits=16 missing=1", "bits=32 missing=1"})
        expectLoad(".TIF", script({{0, line}}), LoadFailed, "GetPicture 0", "データが壊れている");
}

TEST_F(FullSizeLoad, AMinimumSizeGoesToGetPictureScaledAtTheOffsetsFound) {
    usePlugins(SCRIPTED_SCALED_SPI_DIR);
    minimum = {120, 90};
    expectLoad(".JPG", script({{0, "info=0"}}), HeldAsDib,
               "GetPictureInfo 0, GetPictureScaled 0 120x90");
    expectLoad(
        ".J6I", script({{0, "info=2"}, {200, "info=0"}}, 200), HeldAsDib,
        "GetPictureInfo 0, GetPictureInfo 128, GetPictureInfo 200, GetPictureScaled 200 120x90");
    expectLoad(".TIF", script({{0, "picture=2"}, {128, "picture=0"}}), HeldAsDib,
               "GetPictureScaled 0 120x90, GetPictureScaled 128 120x90");
    expectLoad(".JPG", script({{0, "info=0 picture=3"}}), LoadFailed,
               "GetPictureInfo 0, GetPictureScaled 0 120x90", "データが壊れている");
    // Its DIB passes the same checks as GetPicture's.
    expectLoad(".TIF", script({{0, "bits=8"}}), HeldByComponent, "GetPictureScaled 0 120x90");
    expectLoad(".TIF", script({{0, "bits=24 missing=1"}}), LoadFailed, "GetPictureScaled 0 120x90",
               "データが壊れている");
    ASSERT_EQ(
        load(write(QStringLiteral("deep.TIF"), script({{0, "width=5 height=3 bits=32"}})), ".TIF"),
        HeldAsDib);
    EXPECT_EQ(AdoptDecodedPicture(false), QSize(5, 3));
    EXPECT_EQ(DibImageSize, 48);
    EXPECT_EQ(currentPixel(4, 2), scriptedPixel(32, 4, 2));
    FreeCurrentDib();

    // Without a minimum, or with a side of 0, the picture is decoded at full size.
    for (const QSize none : {QSize(), QSize(0, 90), QSize(120, -1)}) {
        minimum = none;
        expectLoad(".JPG", script({{0, "info=0"}}), HeldAsDib, "GetPictureInfo 0, GetPicture 0");
        expectLoad(".CAM", script({{0, "picture=0"}}), HeldAsDib, "GetPicture 0");
    }

    // A plug-in without the export decodes at full size.
    usePlugins(SCRIPTED_SPI_DIR);
    minimum = {120, 90};
    expectLoad(".JPG", script({{0, "info=0"}}), HeldAsDib, "GetPictureInfo 0, GetPicture 0");
    expectLoad(".CAM", script({{0, "picture=2"}, {128, "picture=0"}}), HeldAsDib,
               "GetPicture 0, GetPicture 128");
}

TEST_F(FullSizeLoad, RealPluginsDecodeAtTheScaleThatCoversTheMinimum) {
    useRealPlugins();
    const QByteArray photo = makeJpeg(makePhotoLikePicture(640, 480));
    const QString jpeg = write(QStringLiteral("photo.JPG"), photo);
    J6iOptions j6iOptions;
    j6iOptions.jpeg = photo;
    const QString j6i = write(QStringLiteral("CAM1.J6I"), makeJ6i(j6iOptions));
    const QString cam = write(QStringLiteral("jfif.CAM"), makeJfifCam(photo));
    const struct {
        QSize minimum, loaded;
    } cases[] = {{{80, 60}, {80, 60}},
                 {{81, 60}, {160, 120}},
                 {{300, 1}, {320, 240}},
                 {{641, 480}, {640, 480}},
                 {{}, {640, 480}}};
    for (const auto& [asked, loaded] : cases) {
        minimum = asked;
        for (const auto& [file, ext] :
             {std::pair(jpeg, ".JPG"), std::pair(j6i, ".J6I"), std::pair(cam, ".CAM")}) {
            SCOPED_TRACE(::testing::Message()
                         << ext << " " << asked.width() << "x" << asked.height());
            ASSERT_EQ(load(file, ext), HeldAsDib);
            EXPECT_EQ(AdoptDecodedPicture(qstrcmp(ext, ".J6I") == 0), loaded);
            EXPECT_EQ(DibImageSize, DibImageSizeOf(loaded.width(), loaded.height()));
            FreeCurrentDib();
        }
    }
    EXPECT_TRUE(answerer.messages.empty());
}

// A JPEG stream cut just after its scan header: the real plug-in reads its size but no rows.
QByteArray cutAfterScanHeader(const QByteArray& jpeg) {
    const qsizetype scan = jpeg.indexOf("\xFF\xDA");
    const int length = uint8_t(jpeg[scan + 2]) << 8 | uint8_t(jpeg[scan + 3]);
    return jpeg.left(scan + 2 + length + 4);
}

TEST_F(FullSizeLoad, RealJpegPluginLoadsJpegAndJ6iFiles) {
    useRealPlugins();
    const QByteArray photo = makeJpeg(makePhotoLikePicture(64, 48));
    EXPECT_EQ(load(write(QStringLiteral("photo.jpg"), photo), ".JPG"), HeldAsDib);
    EXPECT_EQ(AdoptDecodedPicture(false), QSize(64, 48));
    FreeCurrentDib();

    J6iOptions j6i;
    j6i.jpeg = photo;
    EXPECT_EQ(load(write(QStringLiteral("CAM1.J6I"), makeJ6i(j6i)), ".J6I"), HeldAsDib);
    AdoptDecodedPicture(true);
    EXPECT_NE(CurrentDib.pixels, nullptr);
    FreeCurrentDib();

    // The real plug-in logs no calls.
    JpegOptions grey;
    grey.colour = JpegColour::Greyscale;
    expectLoad(".JPG", makeJpeg(makeGreyRamp(64, 48), grey), HeldByComponent, "");
    expectLoad(".JPG", cutAfterScanHeader(photo), LoadFailed, "", "データが壊れている");
    // Twenty bytes are refused at 0 and not reached at 128: the second answer is reported.
    expectLoad(".JPG", photo.left(20), LoadFailed, "", "未知のフォーマット");
    j6i.jpegOffset = 100000;
    expectLoad(".J6I", makeJ6i(j6i), LoadFailed, "", "未知のフォーマット");

    QString deep;
    for (int level = 0; level < 3; ++level)
        deep += QStringLiteral("デジタルカメラの写真フォルダ").repeated(4) + u'/';
    ASSERT_TRUE(folder.mkpath(deep));
    const QString longName = write(deep + QStringLiteral("画像.JPG"), photo);
    ASSERT_GT(QFile::encodeName(longName).size(), 255);
    EXPECT_EQ(load(longName, ".JPG"), HeldAsDib);
    EXPECT_TRUE(answerer.messages.empty());
}

TEST_F(FullSizeLoad, AThousandLoadsLeaveNoBlockBehind) {
    qunsetenv("SCRIPTED_SPI_LOG");
    QTemporaryDir empty;
    const QByteArray real = pluginPath.value();
    const QByteArray scripted = SCRIPTED_SPI_DIR;
    const QByteArray photo = makeJpeg(makePhotoLikePicture(16, 16));
    JpegOptions grey;
    grey.colour = JpegColour::Greyscale;
    const struct {
        QString file;
        const char* ext;
        QByteArray plugins;
        int32_t result;
    } cases[] = {
        {write(QStringLiteral("good.jpg"), photo), ".JPG", real, HeldAsDib},
        {write(QStringLiteral("grey.jpg"), makeJpeg(makeGreyRamp(16, 16), grey)), ".JPG", real,
         HeldByComponent},
        {write(QStringLiteral("cut.jpg"), cutAfterScanHeader(photo)), ".JPG", real, LoadFailed},
        {write(QStringLiteral("a.J6I"), script({{128, "info=0 width=16 height=16"}}, 200)), ".J6I",
         scripted, HeldAsDib},
        {write(QStringLiteral("b.J6I"), script({{200, "info=0 picture=3"}}, 200)), ".J6I", scripted,
         LoadFailed},
        {write(QStringLiteral("c.TIF"), script({{0, "width=16 height=16 bits=32"}})), ".TIF",
         scripted, HeldAsDib},
        {write(QStringLiteral("d.TIF"), script({{0, "width=16 height=16 bits=8"}})), ".TIF",
         scripted, HeldByComponent},
        {write(QStringLiteral("e.CAM"), script({{0, "width=16 height=16 bits=16 missing=1"}})),
         ".CAM", scripted, LoadFailed},
        {write(QStringLiteral("f.TIF"), script({{0, "picture=0"}})), ".TIF",
         QFile::encodeName(empty.path()), LoadFailed},
    };
    const auto run = [&](int loads) {
        int wrong = 0;
        for (int i = 0; i < loads; ++i) {
            const auto& c = cases[size_t(i) % std::size(cases)];
            usePlugins(c.plugins);
            wrong += load(c.file, c.ext) != c.result;
            if (c.result == HeldAsDib && i % 2 == 0) {
                AdoptDecodedPicture(qstrcmp(c.ext, ".J6I") == 0);
                FreeCurrentDib();
            } else {
                FreeDecodedDib();
            }
        }
        return wrong;
    };
    ASSERT_EQ(run(2 * int(std::size(cases))), 0); // Qt's and the loader's own one-time setup

#ifdef __SANITIZE_ADDRESS__
    EXPECT_EQ(run(1000), 0); // the leak checker at exit sees anything left
#else
    const size_t before = mallinfo2().uordblks;
    EXPECT_EQ(run(1000), 0);
    const size_t after = mallinfo2().uordblks;
    EXPECT_LE(after, before + 64 * 1024) << "grew by " << (after - before) << " bytes";
#endif
}

} // namespace
