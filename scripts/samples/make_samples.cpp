// Makes the sample pictures the program shows on its first run: a few pictures of every kind it
// reads (JPEG in landscape, portrait and greyscale; J6I camera files, one taken on its side;
// BMP in 24, 8, 4 and 1 bits; TIFF; GIF; MAG, Pi and PIC pictures of older computers), written into
// the folder given on the command line. Files that are there already are left alone.

#include "platform/codepage.h"
#include "platform/dib.h"
#include "tests/support/gifmaker.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/magmaker.h"
#include "tests/support/picmaker.h"
#include "tests/support/pimaker.h"
#include "tests/support/tiffmaker.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QPainter>
#include <QTransform>

#include <cstdio>
#include <cstring>
#include <functional>

using namespace testsupport;

namespace {

// A photograph-like scene with a caption saying what kind of file the picture came from.
QImage scene(int width, int height, const QString& caption, uint32_t seed) {
    QImage image = makePhotoLikePicture(width, height, seed).convertToFormat(QImage::Format_RGB32);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::Antialiasing);
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(std::max(12, std::min(width, height) / 9));
    font.setBold(true);
    painter.setFont(font);
    const QRect box(0, height * 2 / 3, width, height / 4);
    painter.fillRect(box, QColor(255, 255, 255, 170));
    painter.setPen(Qt::black);
    painter.drawText(box, Qt::AlignCenter, caption);
    return image;
}

QByteArray bmpFile(const QImage& image, int bitCount) {
    const auto dib = platform::imageToDib(image, bitCount);
    if (!dib)
        throw std::runtime_error(platform::dibErrorName(dib.error));
    const auto header = platform::bmpFileHeaderFor(platform::byteView(dib.value));
    if (!header)
        throw std::runtime_error(platform::dibErrorName(header.error));
    QByteArray file(reinterpret_cast<const char*>(&header.value), sizeof header.value);
    return file + dib.value;
}

QImage withColours(const QImage& image, int colours) {
    QImage indexed = image.convertToFormat(QImage::Format_Indexed8, Qt::DiffuseDither);
    if (colours >= 256)
        return indexed;
    // Reduce to a fixed table of `colours` levels of colour.
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i) {
        const int r = (i & 1) ? 255 : (i & 8 ? 128 : 0);
        const int g = (i & 2) ? 255 : (i & 8 ? 128 : 0);
        const int b = (i & 4) ? 255 : (i & 8 ? 128 : 0);
        table << qRgb(r, g, b);
    }
    return image.convertToFormat(QImage::Format_Indexed8, table, Qt::DiffuseDither);
}

struct Sample {
    const char* name;
    std::function<QByteArray()> make;
};

} // namespace

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    const char* const usage = "Usage: tazu-samples FOLDER\n"
                              "Makes sample pictures of every kind the program reads in FOLDER,\n"
                              "leaving files that are there already alone.\n";
    const bool option = argc >= 2 && argv[1][0] == '-';
    if (option && (std::strcmp(argv[1], "-h") == 0 || std::strcmp(argv[1], "--help") == 0)) {
        std::fputs(usage, stdout);
        return 0;
    }
    if (argc != 2 || option) {
        if (option)
            std::fprintf(stderr, "tazu-samples: unknown option %s\n", argv[1]);
        std::fputs(usage, stderr);
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!QDir().mkpath(folder.path())) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }

    // The J6I camera stores 768 × 480 pixels that are shown at 768 × 576.
    const auto cameraStream = [](const QString& caption, uint32_t seed, int turn) {
        QImage shown = scene(768, 576, caption, seed);
        if (turn)
            shown = shown.transformed(QTransform().rotate(turn));
        return makeJpeg(shown.scaled(768, 480, Qt::IgnoreAspectRatio, Qt::SmoothTransformation));
    };

    const std::vector<Sample> samples = {
        {"01_landscape.JPG",
         [] { return makeJpeg(scene(1024, 768, QStringLiteral("JPG 横 1024×768"), 1)); }},
        {"02_portrait.JPG", [] { return makeJpeg(scene(600, 800, QStringLiteral("JPG 縦"), 2)); }},
        {"03_camera.J6I",
         [&] {
             J6iOptions o;
             o.jpeg = cameraStream(QStringLiteral("J6I 99/10/01"), 3, 0);
             return makeJ6i(o);
         }},
        {"04_camera_side.J6I",
         [&] {
             // Taken with the camera on its side: stored turned a quarter counter-clockwise,
             // shown turned clockwise (orientation 1).
             J6iOptions o;
             o.shot = {98, 12, 24, 18, 5, 30};
             o.orientation = 1;
             o.jpeg = cameraStream(QStringLiteral("J6I 縦位置"), 4, -90);
             return makeJ6i(o);
         }},
        {"05_bmp24.BMP",
         [] { return bmpFile(scene(640, 480, QStringLiteral("BMP 24bit"), 5), 24); }},
        {"06_bmp8.BMP",
         [] {
             return bmpFile(withColours(scene(640, 480, QStringLiteral("BMP 8bit"), 6), 256), 8);
         }},
        {"07_bmp4.BMP",
         [] {
             return bmpFile(withColours(scene(320, 240, QStringLiteral("BMP 4bit"), 7), 16), 4);
         }},
        {"08_bmp1.BMP",
         [] {
             const QImage mono = scene(320, 240, QStringLiteral("BMP 1bit"), 8)
                                     .convertToFormat(QImage::Format_Mono, Qt::DiffuseDither);
             return bmpFile(mono, 1);
         }},
        {"09_tiff.TIF",
         [] {
             TiffOptions o;
             o.compression = TiffCompression::Lzw;
             o.resolution = TiffResolution{};
             return makeTiff({scene(800, 600, QStringLiteral("TIFF"), 9)}, o);
         }},
        {"10_gif.GIF",
         [] {
             GifFrame frame;
             frame.image = withColours(scene(320, 240, QStringLiteral("GIF"), 10), 256);
             return makeGif({frame});
         }},
        {"11_grey.JPG",
         [] {
             JpegOptions o;
             o.colour = JpegColour::Greyscale;
             return makeJpeg(scene(800, 600, QStringLiteral("JPG グレー"), 11), o);
         }},
        {"12_mag.MAG",
         [] {
             return makeMagFile(withColours(scene(640, 400, QStringLiteral("MAG 16色"), 12), 16),
                                {.user = "tazu", .comment = "sample 640x400 16 colours"});
         }},
        {"13_pi.PI",
         [] {
             // 640 × 200 dots twice as tall as wide (aspect bytes 2 and 1), shown at 640 × 400.
             const QImage shown = scene(640, 400, QStringLiteral("PI 256色"), 13);
             return makePiFile(
                 withColours(
                     shown.scaled(640, 200, Qt::IgnoreAspectRatio, Qt::SmoothTransformation), 256),
                 {.aspectN = 2, .aspectM = 1, .comment = "tazu sample"});
         }},
        {"14_pic.PIC",
         [] {
             // X68000 dots are 4/3 as wide as tall: the scene is drawn at 682 x 512 and stored
             // at 512 x 512, at 15 bits.
             const QImage shown = scene(682, 512, QStringLiteral("PIC X68000"), 14);
             return makePicFile(
                 shown.scaled(512, 512, Qt::IgnoreAspectRatio, Qt::SmoothTransformation),
                 {.comment = platform::toCp932(QStringLiteral("タズ サンプル"))});
         }},
    };

    int made = 0;
    for (const Sample& sample : samples) {
        const QString path = folder.filePath(QString::fromLatin1(sample.name));
        if (QFileInfo::exists(path))
            continue;
        try {
            if (!writeFile(path, sample.make()))
                throw std::runtime_error("cannot write the file");
            ++made;
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s: %s\n", qPrintable(path), e.what());
            return 1;
        }
    }
    std::printf("make-samples: %d new sample pictures in %s\n", made, qPrintable(folder.path()));
    return 0;
}
