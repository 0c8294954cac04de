// The program's entry. Until the main window is built this shows what the foundation can do:
// every picture of the program's folder, decoded through its decoder plug-in (or, for BMP,
// by the program itself), as a quarter-size thumbnail with its file name.

#include "platform/dib.h"
#include "platform/display.h"
#include "platform/guard.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "plugins/spi.h"

#include <QDir>
#include <QFile>
#include <QGridLayout>
#include <QLabel>
#include <QScrollArea>
#include <QVBoxLayout>

namespace {

// The offset of the JPEG stream in a J6I file (big-endian at byte 56), or 0.
int32_t j6iOffset(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly) || !file.seek(56))
        return 0;
    const QByteArray b = file.read(4);
    if (b.size() != 4 || uint8_t(b[0]) >= 0x80)
        return 0;
    return int32_t(uint8_t(b[0])) << 24 | uint8_t(b[1]) << 16 | uint8_t(b[2]) << 8 | uint8_t(b[3]);
}

QImage decodeThroughPlugin(const QString& plugin, const QString& path, bool preview,
                           QString& error) {
    platform::Library library(plugin);
    if (!library.isLoaded()) {
        error = plugin + QStringLiteral(" not found");
        return {};
    }
    auto getPicture = library.symbol<GetPictureFunc>(preview ? "GetPreview" : "GetPicture");
    if (!getPicture) {
        error = plugin + QStringLiteral(": no decoder export");
        return {};
    }
    const QByteArray name = QFile::encodeName(path);
    int32_t result = SPI_UNKNOWN_FORMAT;
    platform::OwnedBlock info, bits;
    for (int32_t offset : {0, 128, j6iOffset(path)}) {
        result = getPicture(name.constData(), offset, SPI_INPUT_FILE, info.receive(),
                            bits.receive(), nullptr, 0);
        if (result != SPI_UNKNOWN_FORMAT)
            break;
    }
    if (result != SPI_SUCCESS) {
        error = QStringLiteral("result %1").arg(result);
        return {};
    }
    platform::LockedBlock infoBytes(info.get()), pixelBytes(bits.get());
    const auto image = platform::dibToImage({infoBytes.as<uint8_t>(), infoBytes.size()},
                                            {pixelBytes.as<uint8_t>(), pixelBytes.size()});
    if (!image)
        error = QString::fromLatin1(platform::dibErrorName(image.error));
    return image.value;
}

QImage decodeBmp(const QString& path, QString& error) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        error = QStringLiteral("cannot open");
        return {};
    }
    const QByteArray bytes = file.readAll();
    if (bytes.size() < qsizetype(sizeof(platform::BitmapFileHeader))) {
        error = QStringLiteral("too short");
        return {};
    }
    const auto view = platform::byteView(bytes);
    platform::BitmapFileHeader header;
    std::memcpy(&header, view.data(), sizeof header);
    const auto dib = view.subspan(sizeof header);
    const size_t bitsAt = header.bfOffBits >= sizeof header ? header.bfOffBits : sizeof header;
    if (bitsAt > view.size()) {
        error = QStringLiteral("bits beyond the end");
        return {};
    }
    const auto image = platform::dibToImage(dib, view.subspan(bitsAt));
    if (!image)
        error = QString::fromLatin1(platform::dibErrorName(image.error));
    return image.value;
}

QImage decode(const QString& path, QString& error) {
    const QString ext = QFileInfo(path).suffix().toUpper();
    if (ext == u"BMP")
        return decodeBmp(path, error).scaled(160, 120, Qt::KeepAspectRatio);
    if (ext == u"JPG" || ext == u"J6I")
        return decodeThroughPlugin(QStringLiteral("ifjpeg.spi"), path, true, error);
    if (ext == u"TIF")
        return decodeThroughPlugin(QStringLiteral("iftiff.spi"), path, false, error)
            .scaled(160, 120, Qt::KeepAspectRatio);
    if (ext == u"GIF")
        return decodeThroughPlugin(QStringLiteral("ifgif.spi"), path, false, error)
            .scaled(160, 120, Qt::KeepAspectRatio);
    error = QStringLiteral("サポートされない拡張子");
    return {};
}

QWidget* makeOverview() {
    auto* window = new QScrollArea;
    window->setWindowTitle(QStringLiteral("タズ"));
    auto* page = new QWidget;
    auto* grid = new QGridLayout(page);
    const QDir folder(QCoreApplication::applicationDirPath());
    const QStringList names =
        folder.entryList({QStringLiteral("*.JPG"), QStringLiteral("*.J6I"), QStringLiteral("*.BMP"),
                          QStringLiteral("*.TIF"), QStringLiteral("*.GIF")},
                         QDir::Files, QDir::Name | QDir::IgnoreCase);
    int cell = 0;
    for (const QString& name : names) {
        QString error;
        const QImage thumbnail = decode(folder.filePath(name), error);
        auto* picture = new QLabel;
        picture->setFixedSize(200, 160);
        picture->setAlignment(Qt::AlignCenter);
        if (thumbnail.isNull())
            picture->setText(error);
        else
            picture->setPixmap(QPixmap::fromImage(
                thumbnail.scaled(picture->size(), Qt::KeepAspectRatio, Qt::SmoothTransformation)));
        auto* caption = new QLabel(QStringLiteral("%1 (%2 × %3)")
                                       .arg(name)
                                       .arg(thumbnail.width())
                                       .arg(thumbnail.height()));
        auto* box = new QVBoxLayout;
        box->addWidget(picture);
        box->addWidget(caption);
        grid->addLayout(box, cell / 4, cell % 4);
        ++cell;
    }
    if (names.isEmpty())
        grid->addWidget(new QLabel(QStringLiteral("No pictures in %1").arg(folder.path())));
    window->setWidget(page);
    window->resize(900, 600);
    return window;
}

} // namespace

int main(int argc, char** argv) {
    platform::Application app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("tazu"));
    platform::installFontSubstitutions();
    QWidget* window = makeOverview();
    window->show();
    const int result = app.exec();
    delete window;
    return result;
}
