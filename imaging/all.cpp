#include "imaging/all.h"

#include "imaging/plugin_messages.h"
#include "platform/checked.h"
#include "platform/dib.h"
#include "platform/display.h"
#include "platform/library.h"
#include "platform/memory.h"
#include "plugins/spi.h"

#include <QFile>
#include <QImageReader>
#include <QPainter>

#include <algorithm>
#include <vector>

struct TAll::Decoder {
    const char* extension; // upper case, with its dot
    DecoderKind kind;
    const char* pluginFile; // null: read by Qt
    const char* label;      // names the plug-in in "IF<label>.SPI not found"
};

struct TAll::Exports {
    GetPictureInfoFunc getPictureInfo = nullptr;
    GetPictureFunc getPicture = nullptr;
    GetPreviewFunc getPreview = nullptr;
};

namespace {

const QString unsupportedExtensionText = QStringLiteral("サポートされない拡張子");

// BMP files are read with the program's own DIB conversion, which scales bit fields of any
// width and lays alpha over white; what it does not take (run-length encoded rows, OS/2
// headers, embedded JPEG or PNG) is left to Qt. Null when it is left.
QImage readBmpFile(const QString& fileName) {
    QFile file(fileName);
    if (!file.open(QIODevice::ReadOnly) || file.size() > INT32_MAX)
        return {};
    const QByteArray bytes = file.readAll();
    return platform::bmpFileToImage(platform::byteView(bytes)).value;
}

struct DecodedDib {
    QImage image;
    int32_t bitCount = 0;
    int32_t result = SPI_SUCCESS;
};

// Converts the two blocks a plug-in returned; both are freed by their owners afterwards.
DecodedDib decodeDib(const platform::OwnedBlock& info, const platform::OwnedBlock& bits) {
    const platform::LockedBlock infoBytes(info.get());
    const platform::LockedBlock pixelBytes(bits.get());
    const platform::ByteView infoView{infoBytes.as<const uint8_t>(), infoBytes.size()};
    const platform::ByteView pixelView{pixelBytes.as<const uint8_t>(), pixelBytes.size()};
    auto converted = platform::dibToImage(infoView, pixelView);
    if (!converted)
        return {{}, 0, resultOfDibError(converted.error)};
    return {std::move(converted.value), platform::readDibHeader(infoView).value.bitCount};
}

// A quarter of a length, rounded up: the size of the plug-in's preview.
int32_t quarterRoundedUp(int32_t length) {
    return length / 4 + (length % 4 != 0 ? 1 : 0);
}

// The picture at exactly the given size: what does not fit is cut off at the right and bottom,
// what is not covered stays black, as when the pixels are copied into a bitmap of that size.
// Null when the picture cannot be allocated.
QImage fittedTo(const QImage& image, QSize size) {
    if (image.size() == size)
        return image;
    QImage fitted(size, QImage::Format_RGB32);
    if (fitted.isNull())
        return {};
    fitted.fill(Qt::black);
    QPainter painter(&fitted);
    painter.setCompositionMode(QPainter::CompositionMode_Source);
    painter.drawImage(0, 0, image);
    return fitted;
}

// Stretches a picture whose pixels are not square so that they become square. A density of 0
// says nothing about the aspect and leaves the picture as it is. Null when the stretched
// picture cannot be allocated.
QImage withSquarePixels(const QImage& image, int32_t xDensity, int32_t yDensity) {
    if ((xDensity == 1 && yDensity == 1) || xDensity == 0 || yDensity == 0)
        return image;
    int32_t width = image.width();
    int32_t height = image.height();
    if (xDensity < yDensity)
        width = platform::checkedMul(width, yDensity) / xDensity;
    else
        height = platform::checkedMul(height, xDensity) / yDensity;
    return image.scaled(width, height, Qt::IgnoreAspectRatio, Qt::FastTransformation);
}

} // namespace

QString pictureExtension(const QString& name) {
    const qsizetype nameStart =
        std::max({name.lastIndexOf(u'/'), name.lastIndexOf(u'\\'), name.lastIndexOf(u':')}) + 1;
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < nameStart)
        return {};
    return name.mid(dot).toUpper();
}

TAll::TAll(QWidget* parent) : platform::ImageControl(parent) {
    setAutoSize(true);
}

void TAll::setPictureName(const QString& name) {
    pictureName_ = name;
    clearPicture();
    if (name.isEmpty())
        error_ = 0;
    else
        load();
}

void TAll::setPreView(bool preView) {
    preView_ = preView;
    if (!pictureName_.isEmpty())
        load();
}

const TAll::Decoder* TAll::findDecoder(const QString& extension) {
    // In the order the extensions have always been tested.
    static const Decoder decoders[] = {
        {".BMP", NativeKind, nullptr, nullptr},    {".ICO", NativeKind, nullptr, nullptr},
        {".WMF", NativeKind, nullptr, nullptr},    {".EMF", NativeKind, nullptr, nullptr},
        {".JPG", JpegKind, "ifjpeg.spi", "JPG"},   {".JPE", JpegKind, "ifjpeg.spi", "JPG"},
        {".J6I", JpegKind, "ifjpeg.spi", "JPG"},   {".GIF", GifKind, "ifgif.spi", "GIF"},
        {".CAM", CamKind, "ifcam.spi", "CAM"},     {".TIF", TiffKind, "iftiff.spi", "TIFF"},
        {".PIC", PicKind, "ifpic.spi", "PIC"},     {".P2", Pic2Kind, "ifpic2.spi", "PIC2"},
        {".MAG", MagKind, "ifmag.spi", "MAG"},     {".Q4", Xld4Kind, "ifxld4.spi", "XLD4"},
        {".PI", PiKind, "ifpi.spi", "PI"},         {".HEIC", HeifKind, "ifheif.spi", "HEIF"},
        {".HEIF", HeifKind, "ifheif.spi", "HEIF"}, {".HIF", HeifKind, "ifheif.spi", "HEIF"},
        {".PNG", PngKind, "ifpng.spi", "PNG"},     {".WEBP", WebpKind, "ifwebp.spi", "WEBP"},
    };
    for (const Decoder& decoder : decoders) {
        if (extension == QLatin1String(decoder.extension))
            return &decoder;
    }
    return nullptr;
}

void TAll::load() {
    error_ = 0;
    paletteMode_ = false;
    const QString extension = pictureExtension(pictureName_);
    const Decoder* decoder = findDecoder(extension);
    if (!decoder) {
        forgetThumbnailState();
        fail(ExtensionNotSupported, unsupportedExtensionText);
        return;
    }
    decoderKind_ = decoder->kind;
    try {
        if (decoder->kind == NativeKind)
            loadNative(extension);
        else
            loadThroughPlugin(*decoder);
    } catch (...) {
        // An overflow abandons the load; it leaves no half-loaded picture behind.
        clearPicture();
        pictureName_.clear();
        throw;
    }
}

void TAll::loadNative(const QString& extension) {
    QImage image;
    if (extension == QLatin1String(".BMP"))
        image = readBmpFile(pictureName_);
    if (image.isNull()) {
        // The extension decides the format, as it does for the plug-ins: a ".BMP" must be a BMP.
        QImageReader reader(pictureName_, extension.mid(1).toLower().toLatin1());
        reader.setAutoDetectImageFormat(false);
        // Transparency shows the white of the paper, on the screen as in print; the canvas is
        // then one opaque format that Qt draws on whatever the file held.
        image = platform::flattenedOverWhite(reader.read());
    }
    if (image.isNull()) {
        fail(NativeLoadFailed, pluginResultText(SPI_UNKNOWN_FORMAT));
        return;
    }
    forgetThumbnailState();
    setPicture(image);
}

namespace {

// The kinds whose size is asked for before decoding and whose thumbnails come from the
// plug-in's preview: JPEG always, today's formats where their plug-in has one.
bool isSizedKind(int kind) {
    return kind == TAll::JpegKind || kind == TAll::HeifKind || kind == TAll::PngKind ||
           kind == TAll::WebpKind;
}

} // namespace

void TAll::loadThroughPlugin(const Decoder& decoder) {
    // Loaded for this one picture; freed on every way out of this function.
    const platform::Library library(QString::fromLatin1(decoder.pluginFile));
    const bool sized = isSizedKind(decoder.kind);
    if (!sized)
        forgetThumbnailState(); // only these pictures have thumbnails and reported sizes
    const QString notFoundText = QStringLiteral("IF%1.SPI not found").arg(decoder.label);
    if (!library.isLoaded()) {
        fail(PluginNotFound, notFoundText);
        return;
    }

    Exports exports;
    exports.getPicture = library.symbol<GetPictureFunc>("GetPicture");
    // Sized pictures for their size; the formats of older computers for their dot proportions.
    const bool asksForInfo = sized || decoder.kind == PicKind || decoder.kind == Pic2Kind ||
                             decoder.kind == MagKind || decoder.kind == PiKind;
    if (asksForInfo) {
        exports.getPictureInfo = library.symbol<GetPictureInfoFunc>("GetPictureInfo");
        exports.getPreview = library.symbol<GetPreviewFunc>("GetPreview");
    }
    // A plug-in without a function this load calls cannot serve it: it counts as missing. A
    // JPEG thumbnail needs the preview; the other sized kinds fall back on the whole picture.
    const bool jpegThumbnail = decoder.kind == JpegKind && preView_;
    const bool complete = (jpegThumbnail ? exports.getPreview : exports.getPicture) &&
                          (!asksForInfo || exports.getPictureInfo);
    if (!complete) {
        fail(PluginNotFound, notFoundText);
        return;
    }

    // The plug-ins take the name as the file system spells it, NUL-terminated.
    const QByteArray fileName = QFile::encodeName(pictureName_);
    if (sized)
        loadSized(fileName, exports, decoder.kind == JpegKind);
    else
        loadOther(fileName, exports);
}

void TAll::loadSized(const QByteArray& fileName, const Exports& exports, bool isJpeg) {
    // A JPEG stream starts at 0 in JPEG files and at 128 or 172 in the usual J6I files; the main
    // window gives the offset from the J6I header for the others. Other files start at 0.
    const std::vector<int32_t> offsets =
        isJpeg ? std::vector<int32_t>{0, 128, 172, JpegOffset} : std::vector<int32_t>{0};
    PictureInfo info{};
    int32_t result = SPI_UNKNOWN_FORMAT;
    int32_t offset = 0;
    for (const int32_t candidate : offsets) {
        info = {};
        result = exports.getPictureInfo(fileName.constData(), candidate, SPI_INPUT_FILE, &info);
        if (result == SPI_SUCCESS) {
            offset = candidate;
            break;
        }
    }
    if (result != SPI_SUCCESS) {
        failWithResult(result);
        return;
    }
    platform::GlobalFree(info.hInfo); // the text information is not used
    orgWidth_ = info.width;
    orgHeight_ = info.height;

    platform::OwnedBlock infoBlock;
    platform::OwnedBlock bitsBlock;
    const auto decode = [&](GetPictureFunc function) {
        return function(fileName.constData(), offset, SPI_INPUT_FILE, infoBlock.receive(),
                        bitsBlock.receive(), nullptr, 0);
    };
    // A thumbnail is the plug-in's quarter-size preview; a picture other than JPEG whose
    // plug-in has none shows whole.
    bool preview = preView_ && exports.getPreview;
    result = preview ? decode(exports.getPreview) : SPI_NOT_IMPLEMENTED;
    if (!preview || (!isJpeg && result == SPI_NOT_IMPLEMENTED)) {
        preview = false;
        result = decode(exports.getPicture);
    }
    const QSize size = preview ? QSize(quarterRoundedUp(info.width), quarterRoundedUp(info.height))
                               : QSize(info.width, info.height);
    if (size.isEmpty()) {
        failWithResult(SPI_BROKEN_DATA);
        return;
    }
    if (result != SPI_SUCCESS) {
        failWithResult(result);
        return;
    }
    const DecodedDib decoded = decodeDib(infoBlock, bitsBlock);
    if (decoded.result != SPI_SUCCESS) {
        failWithResult(decoded.result);
        return;
    }
    paletteMode_ = decoded.bitCount <= 8 && platform::screenBitsPerPixel() == 8;
    const QImage picture = fittedTo(decoded.image, size);
    if (picture.isNull()) {
        failWithResult(SPI_NO_MEMORY);
        return;
    }
    setPicture(picture);
}

void TAll::loadOther(const QByteArray& fileName, const Exports& exports) {
    platform::OwnedBlock infoBlock;
    platform::OwnedBlock bitsBlock;
    const auto decodeAt = [&](int32_t offset) {
        return exports.getPicture(fileName.constData(), offset, SPI_INPUT_FILE, infoBlock.receive(),
                                  bitsBlock.receive(), nullptr, 0);
    };
    // Some files carry a 128-byte header in front of the picture.
    int32_t offset = 0;
    int32_t result = decodeAt(offset);
    if (result == SPI_UNKNOWN_FORMAT) {
        offset = 128;
        result = decodeAt(offset);
    }
    if (result != SPI_SUCCESS) {
        failWithResult(result);
        return;
    }
    const DecodedDib decoded = decodeDib(infoBlock, bitsBlock);
    if (decoded.result != SPI_SUCCESS) {
        failWithResult(decoded.result);
        return;
    }
    // On a palette display such a picture would get a palette of its own; Qt draws the colours
    // of its table directly, so only the fact is kept.
    paletteMode_ = decoded.bitCount <= 8 && platform::screenBitsPerPixel() == 8;

    QImage picture = decoded.image;
    if (exports.getPictureInfo) {
        // PIC, PIC2, MAG and Pi pictures may have dots that are not square; they are described
        // where they were found.
        PictureInfo info{};
        if (exports.getPictureInfo(fileName.constData(), offset, SPI_INPUT_FILE, &info) ==
            SPI_SUCCESS) {
            platform::GlobalFree(info.hInfo);
            picture = withSquarePixels(picture, info.x_density, info.y_density);
            if (picture.isNull()) {
                failWithResult(SPI_NO_MEMORY);
                return;
            }
        }
    }
    setPicture(picture);
}

void TAll::forgetThumbnailState() {
    preView_ = false;
    orgWidth_ = 0;
    orgHeight_ = 0;
}

void TAll::failWithResult(int32_t result) {
    fail(result, pluginResultText(result));
}

void TAll::fail(int error, const QString& text) {
    error_ = error;
    clearPicture();
    showFileMessage(text, pictureName_);
    pictureName_.clear();
}
