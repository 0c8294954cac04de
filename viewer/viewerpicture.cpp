#include "viewer/viewerpicture.h"

#include "correction/pipeline.h"
#include "imaging/fullsize.h"
#include "imaging/j6i.h"
#include "imaging/shootingdate.h"
#include "platform/dib.h"
#include "platform/memory.h"

#include <QLocale>

#include <cstring>
#include <new>

using platform::LockedBlock;
using platform::OwnedBlock;

namespace {

constexpr int SideBand = 4; // white pixel columns at each edge of a J6I picture

OwnedBlock allocate(size_t bytes, bool zeroed = false) {
    OwnedBlock block(platform::GlobalAlloc(
        platform::GMEM_MOVEABLE | (zeroed ? platform::GMEM_ZEROINIT : 0), bytes));
    if (!block)
        throw std::bad_alloc();
    return block;
}

} // namespace

bool SmoothJ6IPicture() {
    constexpr size_t rowBytes = J6IPictureWidth * 3;
    platform::BitmapInfoHeader decoded{};
    {
        const LockedBlock info(DecodedDib.info);
        if (!info.data() || info.size() < sizeof decoded)
            return false;
        std::memcpy(&decoded, info.data(), sizeof decoded);
    }
    if (decoded.biWidth != J6IPictureWidth || decoded.biHeight != J6IDecodedHeight ||
        decoded.biBitCount != 24 ||
        platform::GlobalSize(DecodedDib.pixels) < rowBytes * J6IDecodedHeight)
        return false;

    const int32_t imageSize = DibImageSizeOf(J6IPictureWidth, J6ISmoothedHeight);
    OwnedBlock header = allocate(CurrentDibHeaderBytes, true);
    OwnedBlock pixels = allocate(size_t(imageSize));
    {
        const LockedBlock headerBytes(header.get());
        platform::BitmapInfoHeader smoothed{};
        smoothed.biSize = sizeof smoothed;
        smoothed.biWidth = J6IPictureWidth;
        smoothed.biHeight = J6ISmoothedHeight;
        smoothed.biPlanes = 1;
        smoothed.biBitCount = 24;
        smoothed.biCompression = platform::BI_RGB;
        smoothed.biSizeImage = uint32_t(imageSize);
        std::memcpy(headerBytes.data(), &smoothed, sizeof smoothed);

        const LockedBlock sourceBytes(DecodedDib.pixels);
        const LockedBlock outputBytes(pixels.get());
        const auto* source = sourceBytes.as<const uint8_t>();
        auto* out = outputBytes.as<uint8_t>();
        for (int l = 0; l < J6ISmoothedHeight; ++l, out += rowBytes) {
            const int q = l / 6;
            const int m = l % 6;
            // Output row l blends source rows a (weight m) and b (weight 5 - m).
            const int a = m == 0 ? 5 * q : 5 * q + m - 1;
            const int b = m == 0 ? 5 * q : m == 5 ? 5 * q + 4 : 5 * q + m;
            const int weightA = m == 0 ? 5 : m;
            const uint8_t* rowA = source + size_t(a) * rowBytes;
            const uint8_t* rowB = source + size_t(b) * rowBytes;
            for (size_t i = 0; i < rowBytes; ++i)
                out[i] = uint8_t((weightA * rowA[i] + (5 - weightA) * rowB[i]) / 5);
            std::memset(out, 255, SideBand * 3);
            std::memset(out + rowBytes - SideBand * 3, 255, SideBand * 3);
        }
    }
    FreeDecodedDib();
    CurrentDib = {header.release(), pixels.release()};
    DibImageSize = imageSize;
    DibHeaderSize = CurrentDibHeaderBytes;
    return true;
}

QByteArray PackedCurrentDib() {
    const LockedBlock headerBlock(CurrentDib.header);
    const LockedBlock pixelBlock(CurrentDib.pixels);
    platform::BitmapInfoHeader header{};
    std::memcpy(&header, headerBlock.data(), sizeof header);
    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;
    DibImageSize = DibImageSizeOf(width, height);
    CheckDibSize(DibImageSize, int32_t(header.biSizeImage));
    DibHeaderSize = int32_t(sizeof header);
    // The rows follow the header directly. A true-colour picture read from a file may have
    // declared a colour table there, which the held picture never kept; left declared, it
    // would place the rows past the end of this DIB for everyone who reads it.
    header.biClrUsed = 0;

    QByteArray packed(qsizetype(sizeof header) + DibImageSize, Qt::Uninitialized);
    std::memcpy(packed.data(), &header, sizeof header);
    auto* rows = reinterpret_cast<uint8_t*>(packed.data()) + sizeof header;
    std::memcpy(rows, pixelBlock.data(), size_t(DibImageSize));
    CorrectDibForExport(rows, width, height);
    return packed;
}

QByteArray bmpFileOf(const QByteArray& packedDib) {
    const auto header = platform::bmpFileHeaderFor(platform::byteView(packedDib));
    if (!header)
        return {};
    return QByteArray(reinterpret_cast<const char*>(&header.value), sizeof header.value) +
           packedDib;
}

namespace {

QString statusLine(const QString& fileName, const QString& date, const QString& time) {
    return fileName + QStringLiteral("   ") + date + QStringLiteral("  ") + time;
}

} // namespace

QString j6iStatusLine(const QString& fileName, const J6IInfo& info) {
    return statusLine(fileName, j6iDateText(info), j6iTimeText(info));
}

QString shootingStatusLine(const QString& fileName, const ExifDateTime& taken) {
    return statusLine(fileName, shootingDateText(taken), shootingTimeText(taken));
}

QString fileStatusLine(const QString& fileName, const QDateTime& modified) {
    const QLocale locale;
    return fileName + QStringLiteral("   ") +
           locale.toString(modified.date(), QLocale::ShortFormat) + u' ' +
           modified.time().toString(QStringLiteral("HH:mm:ss"));
}

QSize zoomedSize(Zoom zoom, QSize original, bool camAspect) {
    const int w = original.width();
    const int h = original.height();
    switch (zoom) {
    case Zoom::Full:
        return {camAspect ? h * 4 / 3 : w, h};
    case Zoom::Half:
        return {camAspect ? h * 4 / 6 : w / 2, h / 2};
    case Zoom::ThreeQuarters:
        return {camAspect ? h : w * 3 / 4, h * 3 / 4};
    }
    return original;
}

QRect fittedToScreen(const QRect& frame, const QRect& screen) {
    QRect fitted = frame;
    const int screenRight = screen.x() + screen.width();
    const int screenBottom = screen.y() + screen.height();
    if (screenRight < frame.x() + frame.width())
        fitted.setWidth(screenRight - frame.x());
    if (screenBottom < frame.y() + frame.height())
        fitted.setHeight(screenBottom - frame.y() - 30);
    return fitted;
}
