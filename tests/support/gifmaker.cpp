#include "tests/support/gifmaker.h"

#include <QFile>

#include <gif_lib.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {
namespace {

void require(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error("makeGif: " + what);
}

int appendBytes(GifFileType* gif, const GifByteType* bytes, int count) {
    static_cast<QByteArray*>(gif->UserData)->append(reinterpret_cast<const char*>(bytes), count);
    return count;
}

struct ColourMapFree {
    void operator()(ColorMapObject* map) const { GifFreeMapObject(map); }
};
using ColourMap = std::unique_ptr<ColorMapObject, ColourMapFree>;

struct EncoderClose {
    void operator()(GifFileType* gif) const {
        int error = 0;
        EGifCloseFile(gif, &error);
    }
};

// giflib wants tables of a power of two entries: the colours, padded with black.
ColourMap makeColourMap(const QList<QRgb>& colours) {
    require(!colours.isEmpty() && colours.size() <= 256, "a colour table of 1 to 256 entries");
    int entries = 2;
    while (entries < colours.size())
        entries *= 2;
    std::vector<GifColorType> table(size_t(entries), GifColorType{0, 0, 0});
    for (qsizetype i = 0; i < colours.size(); ++i)
        table[size_t(i)] = GifColorType{uint8_t(qRed(colours[i])), uint8_t(qGreen(colours[i])),
                                        uint8_t(qBlue(colours[i]))};
    ColourMap map(GifMakeMapObject(entries, table.data()));
    require(map != nullptr, "giflib cannot make a colour table");
    return map;
}

// The order in which an image's rows are written: interlaced images store every 8th row from
// row 0, every 8th from row 4, every 4th from row 2, then every 2nd from row 1.
std::vector<int> rowOrder(int height, bool interlaced) {
    std::vector<int> rows;
    if (!interlaced) {
        for (int y = 0; y < height; ++y)
            rows.push_back(y);
        return rows;
    }
    const int passes[4][2] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
    for (const auto& pass : passes)
        for (int y = pass[0]; y < height; y += pass[1])
            rows.push_back(y);
    return rows;
}

void writeFrame(GifFileType* gif, const GifFrame& frame, bool interlaced) {
    const QImage& image = frame.image;
    require(image.format() == QImage::Format_Indexed8, "frames must be Indexed8");
    if (frame.transparentIndex >= 0 || frame.delayCentiseconds > 0) {
        GraphicsControlBlock control{};
        control.DisposalMode = DISPOSAL_UNSPECIFIED;
        control.UserInputFlag = false;
        control.DelayTime = frame.delayCentiseconds;
        control.TransparentColor = frame.transparentIndex;
        GifByteType extension[4];
        const size_t length = EGifGCBToExtension(&control, extension);
        require(EGifPutExtension(gif, GRAPHICS_EXT_FUNC_CODE, int(length), extension) == GIF_OK,
                "graphic control extension refused");
    }
    ColourMap local;
    if (frame.localPalette) {
        local = makeColourMap(image.colorTable());
    } else if (gif->Image.ColorMap) {
        // giflib 5.2 drops, without freeing, the previous frame's local table when a frame has
        // none of its own.
        GifFreeMapObject(gif->Image.ColorMap);
        gif->Image.ColorMap = nullptr;
    }
    require(EGifPutImageDesc(gif, frame.left, frame.top, image.width(), image.height(), interlaced,
                             local.get()) == GIF_OK,
            "image descriptor refused");
    std::vector<GifPixelType> line(static_cast<size_t>(image.width()));
    for (const int y : rowOrder(image.height(), interlaced)) {
        const uchar* source = image.constScanLine(y);
        std::copy(source, source + image.width(), line.begin());
        require(EGifPutLine(gif, line.data(), image.width()) == GIF_OK, "line refused");
    }
}

} // namespace

QByteArray makeGif(const QList<GifFrame>& frames, const GifOptions& options) {
    require(!frames.isEmpty(), "no frames");
    QByteArray bytes;
    {
        int error = 0;
        std::unique_ptr<GifFileType, EncoderClose> gif(EGifOpen(&bytes, appendBytes, &error));
        require(gif != nullptr, "giflib cannot start a file");
        EGifSetGifVersion(gif.get(), options.gif89);
        const QImage& first = frames.first().image;
        ColourMap global;
        if (options.globalPalette)
            global = makeColourMap(options.globalColours.isEmpty() ? first.colorTable()
                                                                   : options.globalColours);
        const int screenWidth = options.screenWidth ? options.screenWidth : first.width();
        const int screenHeight = options.screenHeight ? options.screenHeight : first.height();
        require(EGifPutScreenDesc(gif.get(), screenWidth, screenHeight,
                                  global ? global->BitsPerPixel : 8, options.backgroundIndex,
                                  global.get()) == GIF_OK,
                "screen descriptor refused");
        if (!options.comment.isEmpty())
            require(EGifPutComment(gif.get(), options.comment.constData()) == GIF_OK,
                    "comment refused");
        for (const GifFrame& frame : frames)
            writeFrame(gif.get(), frame, options.interlaced);
    } // closing writes the trailer
    // The screen descriptor's aspect byte follows the signature, sizes, flags and background.
    bytes[12] = char(options.aspectByte);
    return bytes;
}

void writeGif(const QString& path, const QList<GifFrame>& frames, const GifOptions& options) {
    const QByteArray bytes = makeGif(frames, options);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("writeGif: cannot write " + path.toStdString());
}

} // namespace testsupport
