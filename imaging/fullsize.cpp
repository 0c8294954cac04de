#include "imaging/fullsize.h"

#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "imaging/plugin_messages.h"
#include "platform/checked.h"
#include "platform/imagecontrol.h"
#include "platform/interaction.h"
#include "platform/library.h"
#include "plugins/spi.h"

#include <QFile>

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

using platform::checkedAdd;
using platform::checkedMul;
using platform::GlobalAlloc;
using platform::GlobalFree;
using platform::LockedBlock;
using platform::OwnedBlock;

TCurrentDib CurrentDib;
int32_t DibImageSize = 0;
int32_t DibHeaderSize = CurrentDibHeaderBytes;
TDecodedDib DecodedDib;
int32_t LoadResult = HeldByComponent;
platform::BitmapFileHeader BmpFileHeader{};
bool Correctable = true;

namespace {

constexpr int32_t InfoHeaderBytes = 40;

// A movable block of the given size; std::bad_alloc when there is no memory for it.
OwnedBlock allocate(int32_t bytes, bool zeroed = false) {
    OwnedBlock block(GlobalAlloc(platform::GMEM_MOVEABLE | (zeroed ? platform::GMEM_ZEROINIT : 0),
                                 size_t(bytes)));
    if (!block)
        throw std::bad_alloc();
    return block;
}

platform::ByteView viewOf(const LockedBlock& block) {
    return {block.as<const uint8_t>(), block.data() ? block.size() : 0};
}

void reportResult(int32_t code, const QString& fileName) {
    showFileMessage(pluginResultText(code), fileName);
}

// The two blocks of a 24-bit bottom-up DIB of picture (a 40-byte header, then the rows).
int32_t blocksOf(const QImage& picture, OwnedBlock& info, OwnedBlock& bits) {
    const auto packed = platform::imageToDib(picture, 24);
    if (!packed)
        return resultOfDibError(packed.error);
    const QByteArray& dib = packed.value;
    OwnedBlock newInfo = allocate(InfoHeaderBytes);
    OwnedBlock newBits = allocate(int32_t(dib.size() - InfoHeaderBytes));
    std::memcpy(LockedBlock(newInfo.get()).data(), dib.constData(), InfoHeaderBytes);
    std::memcpy(LockedBlock(newBits.get()).data(), dib.constData() + InfoHeaderBytes,
                size_t(dib.size() - InfoHeaderBytes));
    info = std::move(newInfo);
    bits = std::move(newBits);
    return SPI_SUCCESS;
}

// What a plug-in returned, kept as DecodedDib when it has more than 8 bits per pixel. Output
// that is not already a plain 24-bit bottom-up DIB (16 or 32 bits, bit fields, rows stored top
// down) is converted, since everything after this assumes 3 bytes a pixel; a pixel block too
// short for its header is refused as broken data rather than read past its end.
int32_t keepDecoded(OwnedBlock& info, OwnedBlock& bits, const QString& fileName) {
    bool plain = false;
    QImage converted;
    {
        const LockedBlock infoBytes(info.get());
        const LockedBlock pixelBytes(bits.get());
        const platform::ByteView infoView = viewOf(infoBytes);
        if (infoView.size() < 16) {
            reportResult(SPI_BROKEN_DATA, fileName);
            return LoadFailed;
        }
        uint16_t bitCount = 0;
        std::memcpy(&bitCount, infoView.data() + 14, sizeof bitCount);
        if (bitCount <= 8)
            return HeldByComponent; // the blocks go with info and bits
        const auto layout = platform::readDibHeader(infoView);
        if (layout) {
            const platform::DibLayout& l = layout.value;
            plain = l.bitCount == 24 && !l.topDown && l.header.biCompression == platform::BI_RGB &&
                    pixelBytes.size() >= size_t(DibImageSizeOf(l.width, l.height));
        }
        if (!plain) {
            auto image = platform::dibToImage(infoView, viewOf(pixelBytes));
            if (!image) {
                reportResult(resultOfDibError(image.error), fileName);
                return LoadFailed;
            }
            converted = std::move(image.value);
        }
    }
    if (!plain) {
        const int32_t result = blocksOf(converted, info, bits);
        if (result != SPI_SUCCESS) {
            reportResult(result, fileName);
            return LoadFailed;
        }
    }
    DecodedDib = {info.release(), bits.release()};
    return HeldAsDib;
}

// The plug-in's decoding call: GetPictureScaled where a minimum size is asked for and the
// plug-in exports it, else GetPicture.
class PictureDecoder {
public:
    PictureDecoder(const platform::Library& library, const QByteArray& name)
        : name_(name), getPicture_(library.symbol<GetPictureFunc>("GetPicture")),
          getPictureScaled_(library.symbol<GetPictureScaledFunc>("GetPictureScaled")) {}

    int32_t operator()(int32_t offset, QSize minimum, OwnedBlock& info, OwnedBlock& bits) const {
        if (getPictureScaled_ && !minimum.isEmpty())
            return getPictureScaled_(name_.constData(), offset, SPI_INPUT_FILE, minimum.width(),
                                     minimum.height(), info.receive(), bits.receive(), nullptr, 0);
        return getPicture_(name_.constData(), offset, SPI_INPUT_FILE, info.receive(),
                           bits.receive(), nullptr, 0);
    }

private:
    const QByteArray& name_;
    GetPictureFunc getPicture_;
    GetPictureScaledFunc getPictureScaled_;
};

// The JPEG plug-in finds the stream at 0 in JPEG files, at 128 in some camera files, and else
// where the J6I header says.
int32_t decodeJpeg(const platform::Library& library, const QByteArray& name,
                   const PictureDecoder& decode, const MinimumForStoredSize& minimumFor, bool isJ6I,
                   int32_t j6iOffset, OwnedBlock& info, OwnedBlock& bits,
                   bool* skipFullSize = nullptr) {
    const auto getPictureInfo = library.symbol<GetPictureInfoFunc>("GetPictureInfo");
    std::vector<int32_t> offsets{0, 128};
    if (isJ6I)
        offsets.push_back(j6iOffset);
    int32_t result = SPI_UNKNOWN_FORMAT;
    int32_t found = 0;
    QSize stored;
    for (const int32_t offset : offsets) {
        PictureInfo pictureInfo{};
        result = getPictureInfo(name.constData(), offset, SPI_INPUT_FILE, &pictureInfo);
        if (result == SPI_SUCCESS) {
            GlobalFree(pictureInfo.hInfo); // the text information is not used
            found = offset;
            stored = QSize(pictureInfo.width, pictureInfo.height);
            break;
        }
    }
    if (result != SPI_SUCCESS)
        return result;
    const QSize minimum = minimumFor ? minimumFor(stored) : QSize();
    if (skipFullSize && minimum.isEmpty())
        return SPI_SUCCESS; // *skipFullSize stays set: nothing decoded
    if (skipFullSize)
        *skipFullSize = false;
    return decode(found, minimum, info, bits);
}

// TIFF and CAM files may carry a 128-byte header in front of the picture.
int32_t decodeOther(const PictureDecoder& decode, const MinimumForStoredSize& minimumFor,
                    OwnedBlock& info, OwnedBlock& bits) {
    const QSize minimum = minimumFor ? minimumFor(QSize()) : QSize();
    const int32_t result = decode(0, minimum, info, bits);
    return result == SPI_UNKNOWN_FORMAT ? decode(128, minimum, info, bits) : result;
}

// Paints the 4 leftmost and 4 rightmost pixels of every row white.
void whitenSideBands(uint8_t* pixels, int32_t width, int32_t height, int32_t rowBytes) {
    const int32_t band = std::min(4, width);
    for (int32_t row = 0; row < height; ++row) {
        uint8_t* line = pixels + size_t(row) * size_t(rowBytes);
        std::memset(line, 255, size_t(band) * 3);
        std::memset(line + size_t(width - band) * 3, 255, size_t(band) * 3);
    }
}

platform::BitmapInfoHeader headerOf(const LockedBlock& block) {
    platform::BitmapInfoHeader header{};
    std::memcpy(&header, block.data(), InfoHeaderBytes);
    return header;
}

void setHeader(const LockedBlock& block, const platform::BitmapInfoHeader& header) {
    std::memcpy(block.data(), &header, InfoHeaderBytes);
}

} // namespace

int32_t DibImageSizeOf(int32_t width, int32_t height) {
    const int32_t rowBytes = checkedMul(width, 3);
    if (rowBytes % 4 == 0)
        return checkedMul(checkedMul(width, height), 3);
    return checkedMul(checkedMul(checkedAdd(rowBytes / 4, 1), 4), height);
}

void CheckDibSize(int32_t computed, int32_t reported) {
    if (reported != 0 && reported != computed)
        platform::showMessage(QString::asprintf(
            "このメッセージがでたら作者まで連絡してくださいmm(%d %d)", computed, reported));
}

int32_t LoadFullSize(const QString& fileName, const QString& ext, QSize minimum) {
    MinimumForStoredSize minimumFor;
    if (!minimum.isEmpty())
        minimumFor = [minimum](QSize) { return minimum; };
    return LoadFullSize(fileName, ext, minimumFor);
}

namespace {

// The plug-in for ext, or none when it or an export this load calls is missing.
QString pluginFor(const QString& ext) {
    return ext == QLatin1String(".J6I") || ext == QLatin1String(".JPG")
               ? QStringLiteral("ifjpeg.spi")
           : ext == QLatin1String(".TIF") ? QStringLiteral("iftiff.spi")
                                          : QStringLiteral("ifcam.spi");
}

bool servesLoad(const platform::Library& library, bool isJpeg) {
    return library.isLoaded() && library.symbol<GetPictureFunc>("GetPicture") &&
           (!isJpeg || library.symbol<GetPictureInfoFunc>("GetPictureInfo"));
}

DecodedFile decodeFile(const QString& fileName, const QString& ext,
                       const MinimumForStoredSize& minimumFor, bool onlySmaller) {
    const bool isJ6I = ext == QLatin1String(".J6I");
    const bool isJpeg = isJ6I || ext == QLatin1String(".JPG");
    const int32_t j6iOffset = isJ6I ? J6IDataOffset(fileName) : 0;
    DecodedFile decoded;
    // Loaded for this one picture; freed on every way out of this function.
    const platform::Library library(pluginFor(ext));
    if (!servesLoad(library, isJpeg)) {
        decoded.pluginMissing = true;
        return decoded;
    }
    // The whole name, NUL-terminated, as the file system spells it.
    const QByteArray name = QFile::encodeName(fileName);
    const PictureDecoder decode(library, name);
    decoded.skipped = onlySmaller;
    decoded.result =
        isJpeg ? decodeJpeg(library, name, decode, minimumFor, isJ6I, j6iOffset, decoded.info,
                            decoded.bits, onlySmaller ? &decoded.skipped : nullptr)
               : decodeOther(decode, minimumFor, decoded.info, decoded.bits);
    return decoded;
}

} // namespace

DecodedFile DecodeJpegFile(const QString& fileName, const MinimumForStoredSize& minimumFor,
                           bool onlySmaller) {
    return decodeFile(fileName, QStringLiteral(".JPG"), minimumFor, onlySmaller);
}

int32_t KeepDecodedFile(DecodedFile decoded, const QString& fileName, const QString& ext) {
    if (decoded.pluginMissing) {
        platform::showMessage(QStringLiteral("IF%1.SPI not found").arg(ext));
        return LoadFailed;
    }
    if (decoded.result != SPI_SUCCESS) {
        reportResult(decoded.result, fileName);
        return LoadFailed;
    }
    return keepDecoded(decoded.info, decoded.bits, fileName);
}

int32_t LoadFullSize(const QString& fileName, const QString& ext,
                     const MinimumForStoredSize& minimumFor) {
    return KeepDecodedFile(decodeFile(fileName, ext, minimumFor, false), fileName, ext);
}

QSize AdoptDecodedPicture(bool isJ6I) {
    OwnedBlock info(std::exchange(DecodedDib.info, nullptr));
    OwnedBlock bits(std::exchange(DecodedDib.pixels, nullptr));
    platform::BitmapInfoHeader header = headerOf(LockedBlock(info.get()));
    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;

    const int32_t imageSize = DibImageSizeOf(width, height);
    CheckDibSize(imageSize, int32_t(header.biSizeImage));
    OwnedBlock newHeader = allocate(CurrentDibHeaderBytes, true);
    // The decoded rows become the picture's where they lie (a camera picture is not copied);
    // a block shorter than its rows is copied into one of the right size, the rest white.
    OwnedBlock newPixels;
    if (platform::GlobalSize(bits.get()) >= size_t(imageSize)) {
        newPixels = std::move(bits);
    } else {
        newPixels = allocate(imageSize);
        const LockedBlock from(bits.get());
        const LockedBlock to(newPixels.get());
        const size_t available = platform::GlobalSize(bits.get());
        std::memcpy(to.data(), from.data(), available);
        std::memset(to.as<uint8_t>() + available, 0xFF, size_t(imageSize) - available);
    }
    {
        const LockedBlock headerBytes(newHeader.get());
        const LockedBlock pixelBytes(newPixels.get());
        header.biSize = InfoHeaderBytes;
        header.biSizeImage = uint32_t(imageSize);
        setHeader(headerBytes, header);
        if (isJ6I)
            whitenSideBands(pixelBytes.as<uint8_t>(), width, height, DibImageSizeOf(width, 1));
    }
    CurrentDib = {newHeader.release(), newPixels.release()};
    DibImageSize = imageSize;
    DibHeaderSize = CurrentDibHeaderBytes;
    return {width, height};
}

bool LoadBmp24(const QString& fileName) {
    platform::InputFile file(fileName);
    file.readInto(&BmpFileHeader, sizeof BmpFileHeader);
    uint8_t headerBytes[CurrentDibHeaderBytes];
    file.readInto(headerBytes, sizeof headerBytes);
    platform::BitmapInfoHeader header{};
    std::memcpy(&header, headerBytes, InfoHeaderBytes);

    Correctable = header.biBitCount >= 8;
    if (header.biBitCount != 24)
        return false;
    // What the picture control reads better: files that are not BMP, old or unusual headers,
    // compressed rows, rows stored top down, no pixels at all.
    if (BmpFileHeader.bfType != platform::BmpFileType || header.biSize < 40 ||
        header.biPlanes != 1 || header.biCompression != platform::BI_RGB || header.biWidth <= 0 ||
        header.biHeight <= 0)
        return false;

    const int32_t width = header.biWidth;
    const int32_t height = header.biHeight;
    const int32_t imageSize = DibImageSizeOf(width, height);
    CheckDibSize(imageSize, int32_t(header.biSizeImage));
    // A header may promise more than the file holds; nothing is allocated for such a file.
    if (int64_t(BmpFileHeader.bfOffBits) + imageSize > file.size())
        throw platform::IoError(QStringLiteral("ファイルが途中で終わっています"), fileName);

    OwnedBlock newHeader = allocate(CurrentDibHeaderBytes);
    OwnedBlock newPixels = allocate(imageSize);
    {
        const LockedBlock headerBlock(newHeader.get());
        std::memcpy(headerBlock.data(), headerBytes, sizeof headerBytes);
        header.biSize = InfoHeaderBytes;
        header.biSizeImage = uint32_t(imageSize);
        setHeader(headerBlock, header);
        file.seek(BmpFileHeader.bfOffBits);
        file.readInto(LockedBlock(newPixels.get()).data(), imageSize);
    }
    CurrentDib = {newHeader.release(), newPixels.release()};
    DibImageSize = imageSize;
    DibHeaderSize = CurrentDibHeaderBytes;
    return true;
}

QSize UprightCurrentDib(int orientation, bool thenLieDown) {
    OwnedBlock turned;
    QSize result;
    {
        const LockedBlock headerBlock(CurrentDib.header);
        const LockedBlock pixelBlock(CurrentDib.pixels);
        platform::BitmapInfoHeader header = headerOf(headerBlock);
        const int32_t w = header.biWidth;
        const int32_t h = header.biHeight;
        const QSize upright = uprightSize({w, h}, orientation);
        // Where pixel (x, y) of the stored picture stands in the result (x and y count from the
        // top-left corner as shown): upright, then laid on its side as a quarter turn
        // counter-clockwise is.
        const auto placeOf = [&](int32_t x, int32_t y) {
            UprightPlace place = uprightPlace(orientation, x, y, w, h);
            if (thenLieDown)
                place = uprightPlace(TurnedCounterClockwise, place.x, place.y, upright.width(),
                                     upright.height());
            return place;
        };
        const QSize size = thenLieDown ? upright.transposed() : upright;
        const auto at = [&](int32_t x, int32_t y, int32_t px, int32_t py) {
            const UprightPlace place = placeOf(x, y);
            return place.x == px && place.y == py;
        };
        if (at(0, 0, 0, 0) && at(1, 0, 1, 0) && at(0, 1, 0, 1))
            return size; // the two turns undo each other
        const int32_t tw = size.width();
        const int32_t th = size.height();
        const size_t sourceStride = size_t(DibImageSizeOf(w, 1));
        const size_t turnedStride = size_t(DibImageSizeOf(tw, 1));
        // The turned rows may need other padding, and so a block of another size. Every pixel
        // is written below; only the padding is cleared.
        const int32_t turnedSize = DibImageSizeOf(tw, th);
        turned = allocate(turnedSize);

        const uint8_t* source = pixelBlock.as<const uint8_t>();
        const LockedBlock turnedBlock(turned.get());
        uint8_t* target = turnedBlock.as<uint8_t>();
        for (int32_t y = 0; y < th; ++y)
            std::memset(target + size_t(y) * turnedStride + size_t(tw) * 3, 0,
                        turnedStride - size_t(tw) * 3);
        // Where pixel (x, y) goes, in bytes from the block's start: every turn and mirroring
        // moves it linearly in x and y. The rows are stored bottom-up.
        const auto offsetOf = [&](int32_t x, int32_t y) {
            const UprightPlace to = placeOf(x, y);
            return ptrdiff_t(th - 1 - to.y) * ptrdiff_t(turnedStride) + ptrdiff_t(to.x) * 3;
        };
        const ptrdiff_t origin = offsetOf(0, 0);
        const ptrdiff_t xStep = offsetOf(1, 0) - origin;
        const ptrdiff_t yStep = offsetOf(0, 1) - origin;
        turnInBands(h, w, [&](int32_t y, int32_t x) {
            const uint8_t* from = source + size_t(h - 1 - y) * sourceStride + size_t(x) * 3;
            uint8_t* to = target + origin + ptrdiff_t(x) * xStep + ptrdiff_t(y) * yStep;
            to[0] = from[0];
            to[1] = from[1];
            to[2] = from[2];
        });
        header.biWidth = tw;
        header.biHeight = th;
        header.biSizeImage = uint32_t(turnedSize);
        setHeader(headerBlock, header);
        DibImageSize = turnedSize;
        DibHeaderSize = CurrentDibHeaderBytes;
        result = size;
    }
    GlobalFree(std::exchange(CurrentDib.pixels, turned.release()));
    return result;
}

void OrientCurrentDib(platform::ImageControl& imageComponent, int orientation) {
    if (orientation < 2 || orientation > 8)
        return;
    UprightCurrentDib(orientation);
    imageComponent.setPicture(CurrentDibImage());
}

void RotateCurrentDib(platform::ImageControl& imageComponent, int direction) {
    OrientCurrentDib(imageComponent, direction == 3 ? TurnedCounterClockwise : TurnedClockwise);
}

QImage CurrentDibImage() {
    if (!CurrentDib.header || !CurrentDib.pixels)
        return {};
    const LockedBlock headerBlock(CurrentDib.header);
    const LockedBlock pixelBlock(CurrentDib.pixels);
    auto image = platform::dibToImage(viewOf(headerBlock), viewOf(pixelBlock));
    return image ? std::move(image.value) : QImage();
}

void FreeCurrentDib() {
    GlobalFree(std::exchange(CurrentDib.header, nullptr));
    GlobalFree(std::exchange(CurrentDib.pixels, nullptr));
}

void FreeDecodedDib() {
    GlobalFree(std::exchange(DecodedDib.info, nullptr));
    GlobalFree(std::exchange(DecodedDib.pixels, nullptr));
}
