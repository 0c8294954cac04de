#include "printing/printpicture.h"

#include "correction/pipeline.h"
#include "imaging/all.h"
#include "imaging/fullsize.h"
#include "imaging/orientation.h"
#include "platform/checked.h"
#include "platform/memory.h"
#include "platform/printer.h"

#include <QCoreApplication>

#include <cmath>
#include <cstring>
#include <optional>

namespace {

// The work image stands for a picture of width × height that lies in CurrentDib; what it
// showed before is dropped.
void sizeWorkImageTo(TAll& workImage, QSize size) {
    workImage.clearPicture();
    workImage.resize(size);
}

// CurrentDib locked for drawing, its size checked against its header as every drawing does.
class HeldPicture {
public:
    HeldPicture() : header_(CurrentDib.header), pixels_(CurrentDib.pixels) {
        std::memcpy(&info_, header_.data(), sizeof info_);
        DibImageSize = DibImageSizeOf(info_.biWidth, info_.biHeight);
        CheckDibSize(DibImageSize, int32_t(info_.biSizeImage));
    }
    int32_t width() const { return info_.biWidth; }
    int32_t height() const { return info_.biHeight; }
    const uint8_t* rows() const { return pixels_.as<const uint8_t>(); }
    platform::ByteView infoBytes() const {
        return {reinterpret_cast<const uint8_t*>(&info_), sizeof info_};
    }
    platform::ByteView pixelBytes() const { return {rows(), size_t(DibImageSize)}; }

private:
    platform::LockedBlock header_;
    platform::LockedBlock pixels_;
    platform::BitmapInfoHeader info_{};
};

// A picture control's bitmap as a 24-bit DIB: the pixels of any depth come out at 24 bits.
QByteArray bitmapAsDib24(const QImage& bitmap) {
    platform::DibResult<QByteArray> dib = platform::imageToDib(bitmap, 24);
    if (!dib)
        throw std::bad_alloc(); // a picture that cannot be read out has no memory to go to
    return std::move(dib.value);
}

void stretchTurned(platform::Printer& printer, const QRect& target, const TurnedDib& turned) {
    printer.stretchImage(target,
                         {reinterpret_cast<const uint8_t*>(&turned.header), sizeof turned.header},
                         turned.pixels);
}

} // namespace

QSize PrintPictureSize(const TAll& workImage) {
    if (LoadResult == HeldAsDib)
        return workImage.size();
    return workImage.picture().size();
}

bool LoadPrintPicture(const QString& path, const QString& ext, TAll& workImage,
                      const MinimumForStoredSize& minimumFor, DecodedFile* decoded) {
    WriteBack = true;
    LoadResult = HeldByComponent;
    Correctable = true;

    if (ext == QLatin1String(".BMP")) {
        bool held = false;
        try {
            held = LoadBmp24(path);
        } catch (const platform::IoError&) {
            held = false; // the picture control reads it, or says why it cannot
        } catch (const platform::OverflowError&) {
            held = false; // too large to hold here: the same
        }
        if (held) {
            LoadResult = HeldAsDib;
            const HeldPicture picture;
            sizeWorkImageTo(workImage, {picture.width(), picture.height()});
        } else {
            workImage.setPictureName(path);
        }
        return false;
    }

    if (ext == QLatin1String(".JPG") || ext == QLatin1String(".J6I") ||
        ext == QLatin1String(".TIF") || ext == QLatin1String(".CAM")) {
        const bool isJ6I = ext == QLatin1String(".J6I");
        LoadResult = decoded && !decoded->skipped && ext == QLatin1String(".JPG")
                         ? KeepDecodedFile(std::move(*decoded), path, ext)
                         : LoadFullSize(path, ext, minimumFor);
        if (LoadResult == HeldAsDib) {
            sizeWorkImageTo(workImage, AdoptDecodedPicture(isJ6I));
            return false;
        }
        if (LoadResult == LoadFailed || isJ6I) {
            FreeDecodedDib();
            return true;
        }
    }
    workImage.setPictureName(path);
    return false;
}

bool OrientPrintPicture(TAll& workImage, int orientation, bool lieDown) {
    const bool turns = orientation >= 2 && orientation <= 8;
    if (LoadResult == HeldAsDib) {
        if (turns || lieDown)
            sizeWorkImageTo(workImage, UprightCurrentDib(turns ? orientation : AsStored, lieDown));
        return lieDown;
    }
    if (turns && !workImage.picture().isNull())
        workImage.setPicture(uprightImage(workImage.picture(), orientation));
    return false;
}

void CorrectPrintPicture(TAll& workImage) {
    // A picture in CurrentDib is printed from there: corrected where it lies, it needs no
    // drawing of its own on the work image. One the work image holds is drawn corrected over
    // itself, and its copies print that drawing.
    if (LoadResult == HeldAsDib)
        CorrectHeldPicture(BothCorrections);
    else
        DrawCorrected(workImage.picture(), workImage, BothCorrections);
}

QSizeF FittedPictureExtent(int cw, int ch, double p, bool keepUpright) {
    if (p < 1 && !keepUpright)
        p = 1 / p;
    if (p * ch >= cw)
        return {double(cw), cw / p};
    return {p * ch, double(ch)};
}

bool LiesOnItsSide(QSize size, bool keepUpright) {
    return !(size.width() > size.height() || keepUpright);
}

void PrintPictureInCell(platform::Printer& printer, int xc, int yc, int cw, int ch, double p,
                        TAll& image, int rotation, bool keepUpright, QSize shape, bool laidDown) {
    const QSizeF extent = FittedPictureExtent(cw, ch, p, keepUpright);
    const int left = int(std::lround(xc - extent.width() / 2));
    const int top = int(std::lround(yc - extent.height() / 2));
    const int width = int(std::lround(extent.width()));
    const int height = int(std::lround(extent.height()));

    QCoreApplication::processEvents();

    if (shape.isEmpty())
        shape = PrintPictureSize(image);
    std::optional<int> turn;
    if (rotation != 0 && keepUpright)
        turn = rotation;
    else if (LiesOnItsSide(shape, keepUpright))
        turn = TurnForLyingDown;

    if (turn && !(laidDown && *turn == TurnForLyingDown))
        RotateToPrinter(printer, image.picture(), left, top, *turn, height, width);
    else
        StretchToPrinter(printer, left, top, width, height, image.picture());
}

void StretchToPrinter(platform::Printer& printer, int left, int top, int width, int height,
                      const QImage& bitmap) {
    const QRect target(left, top, width, height);
    if (LoadResult == HeldAsDib) {
        const HeldPicture picture;
        printer.stretchImage(target, picture.infoBytes(), picture.pixelBytes());
    } else {
        printer.stretchImage(target, bitmap);
    }
}

void RotateToPrinter(platform::Printer& printer, const QImage& bitmap, int left, int top,
                     int rotation, int height, int width) {
    const QRect target(left, top, width, height);
    if (LoadResult == HeldAsDib) {
        const HeldPicture picture;
        stretchTurned(printer, target,
                      turnDib24(picture.rows(), picture.width(), picture.height(), rotation));
        return;
    }
    if (bitmap.isNull())
        return;
    const QByteArray dib = bitmapAsDib24(bitmap);
    const auto* rows =
        reinterpret_cast<const uint8_t*>(dib.constData()) + sizeof(platform::BitmapInfoHeader);
    stretchTurned(printer, target, turnDib24(rows, bitmap.width(), bitmap.height(), rotation));
}

TurnedDib turnDib24(const uint8_t* rows, int32_t width, int32_t height, int rotation) {
    TurnedDib turned;
    platform::BitmapInfoHeader& header = turned.header;
    header.biSize = sizeof header;
    header.biWidth = height;
    header.biHeight = width;
    header.biPlanes = 1;
    header.biBitCount = 24;
    header.biCompression = platform::BI_RGB;
    turned.pixels.resize(size_t(DibImageSizeOf(height, width)));

    const size_t sourceRowBytes = size_t(DibImageSizeOf(width, 1));
    const size_t turnedRowBytes = size_t(DibImageSizeOf(height, 1));
    const bool counterClockwise = rotation == TurnForLyingDown || rotation == TurnCounterClockwise;
    turnInBands(height, width, [&](int32_t y, int32_t x) {
        const uint8_t* in = rows + size_t(y) * sourceRowBytes + size_t(x) * 3;
        const size_t row = size_t(counterClockwise ? x : width - 1 - x);
        const size_t column = size_t(counterClockwise ? height - 1 - y : y);
        uint8_t* out = turned.pixels.data() + row * turnedRowBytes + column * 3;
        out[0] = in[0];
        out[1] = in[1];
        out[2] = in[2];
    });
    return turned;
}
