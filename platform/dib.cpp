#include "platform/dib.h"

#include <algorithm>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/checked.h"

namespace platform {

namespace {

constexpr uint32_t CoreHeaderSize = sizeof(BitmapInfoHeader);
// Masks of BI_BITFIELDS start at offset 40: they follow a 40-byte header and are the first
// fields of the longer ones.
constexpr uint32_t MasksOffset = CoreHeaderSize;
constexpr uint32_t MasksEnd = MasksOffset + 3 * sizeof(uint32_t);
// The alpha mask follows the colour masks: the fourth mask of BI_ALPHABITFIELDS, a field of
// the headers of 56 bytes and more.
constexpr uint32_t AlphaMaskOffset = MasksEnd;
constexpr uint32_t AlphaMaskEnd = AlphaMaskOffset + sizeof(uint32_t);

constexpr QRgb OpaqueBlack = 0xFF000000u;

uint16_t readU16(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

uint32_t readU32(const uint8_t* bytes) {
    uint32_t value;
    std::memcpy(&value, bytes, sizeof value);
    return value;
}

// Exact for any int32 width and bit count: the product stays below 2^62.
int64_t rowBytes64(int64_t width, int64_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// The bytes of height rows, when they fit in int32. Rows longer than int32 are refused first,
// which keeps the product below 2^62.
std::optional<int32_t> imageBytes32(int64_t rowBytes, int64_t height) {
    if (rowBytes > INT32_MAX || rowBytes * height > INT32_MAX)
        return std::nullopt;
    return int32_t(rowBytes * height);
}

bool isSupportedBitCount(int32_t bitCount) {
    switch (bitCount) {
    case 1:
    case 4:
    case 8:
    case 16:
    case 24:
    case 32:
        return true;
    default:
        return false;
    }
}

// A mask is usable when its bits are one unbroken run inside the pixel (or it is empty: that
// channel is then always 0).
bool isUsableMask(uint32_t mask, int32_t bitCount) {
    if (mask == 0)
        return true;
    if (bitCount < 32 && mask >> bitCount != 0)
        return false;
    const uint64_t run = uint64_t(mask) >> std::countr_zero(mask);
    return ((run + 1) & run) == 0;
}

// Extracts one channel of a bit-field pixel and scales it to 0..255 with rounding, so that a
// full channel of any width is 255.
class ChannelScaler {
public:
    explicit ChannelScaler(uint32_t mask)
        : mask_(mask), shift_(mask ? std::countr_zero(mask) : 0), bits_(std::popcount(mask)),
          maximum_((uint64_t(1) << bits_) - 1) {
        if (bits_ > 0 && bits_ <= 16) {
            table_.resize(size_t(maximum_) + 1);
            for (uint64_t value = 0; value <= maximum_; ++value)
                table_[value] = scale(value);
        }
    }

    uint32_t operator()(uint32_t pixel) const {
        if (bits_ == 0)
            return 0;
        const uint32_t value = (pixel & mask_) >> shift_;
        return table_.empty() ? scale(value) : table_[value];
    }

private:
    uint8_t scale(uint64_t value) const { return uint8_t((value * 255 + maximum_ / 2) / maximum_); }

    uint32_t mask_;
    int shift_;
    int bits_;
    uint64_t maximum_;
    std::vector<uint8_t> table_;
};

QRgb rgbFromBitfields(uint32_t pixel, const ChannelScaler& red, const ChannelScaler& green,
                      const ChannelScaler& blue) {
    return OpaqueBlack | red(pixel) << 16 | green(pixel) << 8 | blue(pixel);
}

// One channel of coverage alpha over white, rounded.
uint32_t overWhite(uint32_t channel, uint32_t alpha) {
    return (channel * alpha + 255 * (255 - alpha) + 127) / 255;
}

QRgb rgbOverWhite(uint32_t red, uint32_t green, uint32_t blue, uint32_t alpha) {
    return OpaqueBlack | overWhite(red, alpha) << 16 | overWhite(green, alpha) << 8 |
           overWhite(blue, alpha);
}

// Bit fields with their alpha channel, when the picture uses it.
class BitfieldColours {
public:
    BitfieldColours(const DibLayout& layout, bool withAlpha)
        : red_(layout.masks[0]), green_(layout.masks[1]), blue_(layout.masks[2]),
          alpha_(withAlpha ? layout.alphaMask : 0), withAlpha_(withAlpha) {}

    QRgb operator()(uint32_t pixel) const {
        if (!withAlpha_)
            return rgbFromBitfields(pixel, red_, green_, blue_);
        return rgbOverWhite(red_(pixel), green_(pixel), blue_(pixel), alpha_(pixel));
    }

private:
    ChannelScaler red_, green_, blue_, alpha_;
    bool withAlpha_;
};

// The convert...Row functions turn one stored row into width RGB32 pixels.

void convertPaletteRow(const uint8_t* source, QRgb* target, int32_t width, int32_t bitCount,
                       const std::array<QRgb, 256>& palette) {
    if (bitCount == 8) {
        for (int32_t x = 0; x < width; ++x)
            target[x] = palette[source[x]];
        return;
    }
    // 1 and 4 bits: the leftmost pixel is in the highest bits of its byte.
    const int32_t pixelsPerByte = 8 / bitCount;
    const uint32_t indexMask = (1u << bitCount) - 1;
    for (int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bitCount * (x % pixelsPerByte + 1);
        target[x] = palette[(source[x / pixelsPerByte] >> shift) & indexMask];
    }
}

void convert16Row(const uint8_t* source, QRgb* target, int32_t width,
                  const std::vector<QRgb>& colorOf) {
    for (int32_t x = 0; x < width; ++x)
        target[x] = colorOf[readU16(source + 2 * x)];
}

void convert24Row(const uint8_t* source, QRgb* target, int32_t width) {
    for (int32_t x = 0; x < width; ++x, source += 3)
        target[x] = OpaqueBlack | uint32_t(source[2]) << 16 | uint32_t(source[1]) << 8 | source[0];
}

void convertXrgb32Row(const uint8_t* source, QRgb* target, int32_t width) {
    for (int32_t x = 0; x < width; ++x)
        target[x] = OpaqueBlack | readU32(source + 4 * x);
}

std::array<QRgb, 256> readPalette(const DibLayout& layout, ByteView info) {
    // Indices that the table does not reach show black.
    std::array<QRgb, 256> palette;
    palette.fill(OpaqueBlack);
    const uint8_t* entry = info.data() + layout.colorTableOffset;
    for (int32_t i = 0; i < layout.colorCount; ++i, entry += sizeof(RgbQuad))
        palette[i] = qRgb(entry[2], entry[1], entry[0]);
    return palette;
}

// Whether any pixel of a DIB with an alpha mask has a non-zero alpha value.
bool usesAlpha(const DibLayout& layout, ByteView pixels) {
    if (layout.alphaMask == 0)
        return false;
    const size_t pixelBytes = size_t(layout.bitCount / 8);
    for (int32_t row = 0; row < layout.height; ++row) {
        const uint8_t* source = pixels.data() + size_t(row) * size_t(layout.rowBytes);
        for (int32_t x = 0; x < layout.width; ++x, source += pixelBytes) {
            const uint32_t pixel = pixelBytes == 2 ? readU16(source) : readU32(source);
            if (pixel & layout.alphaMask)
                return true;
        }
    }
    return false;
}

void convertRows(const DibLayout& layout, ByteView info, ByteView pixels, QImage& image) {
    const auto rowOf = [&](int32_t y) {
        const int32_t storedRow = layout.topDown ? y : layout.height - 1 - y;
        return pixels.data() + size_t(storedRow) * size_t(layout.rowBytes);
    };
    const auto lineOf = [&](int32_t y) { return reinterpret_cast<QRgb*>(image.scanLine(y)); };
    const int32_t width = layout.width;
    const bool withAlpha = usesAlpha(layout, pixels);

    switch (layout.bitCount) {
    case 1:
    case 4:
    case 8: {
        const std::array<QRgb, 256> palette = readPalette(layout, info);
        for (int32_t y = 0; y < layout.height; ++y)
            convertPaletteRow(rowOf(y), lineOf(y), width, layout.bitCount, palette);
        return;
    }
    case 16: {
        // Every 16-bit value gets its colour once, which is cheaper than scaling each pixel.
        const BitfieldColours colours(layout, withAlpha);
        std::vector<QRgb> colorOf(65536);
        for (uint32_t value = 0; value < colorOf.size(); ++value)
            colorOf[value] = colours(value);
        for (int32_t y = 0; y < layout.height; ++y)
            convert16Row(rowOf(y), lineOf(y), width, colorOf);
        return;
    }
    case 24:
        for (int32_t y = 0; y < layout.height; ++y)
            convert24Row(rowOf(y), lineOf(y), width);
        return;
    case 32: {
        if (!withAlpha &&
            layout.masks == std::array<uint32_t, 3>{0x00FF0000, 0x0000FF00, 0x000000FF}) {
            for (int32_t y = 0; y < layout.height; ++y)
                convertXrgb32Row(rowOf(y), lineOf(y), width);
            return;
        }
        const BitfieldColours colours(layout, withAlpha);
        for (int32_t y = 0; y < layout.height; ++y) {
            const uint8_t* source = rowOf(y);
            QRgb* target = lineOf(y);
            for (int32_t x = 0; x < width; ++x)
                target[x] = colours(readU32(source + 4 * x));
        }
        return;
    }
    default:
        // readDibHeader lets no other bit count through.
        throw std::logic_error("dibToImage: unexpected bit count");
    }
}

// Writes one picture line as a stored row of bitCount bits; padding is already zero.
void writeIndexedRow(const uchar* indices, uint8_t* target, int32_t width, int32_t bitCount) {
    if (bitCount == 8) {
        std::memcpy(target, indices, size_t(width));
        return;
    }
    const int32_t pixelsPerByte = 8 / bitCount;
    for (int32_t x = 0; x < width; ++x) {
        const int shift = 8 - bitCount * (x % pixelsPerByte + 1);
        target[x / pixelsPerByte] |= uint8_t(indices[x] << shift);
    }
}

void writeRgbRow(const QRgb* source, uint8_t* target, int32_t width, int32_t bitCount) {
    switch (bitCount) {
    case 16:
        // 5-5-5 keeps the top 5 bits of each channel, as Windows does when it reads a
        // true-colour picture back at 16 bits.
        for (int32_t x = 0; x < width; ++x) {
            const QRgb rgb = source[x];
            const uint16_t value =
                uint16_t((qRed(rgb) >> 3) << 10 | (qGreen(rgb) >> 3) << 5 | qBlue(rgb) >> 3);
            std::memcpy(target + 2 * x, &value, sizeof value);
        }
        return;
    case 24:
        for (int32_t x = 0; x < width; ++x, target += 3) {
            const QRgb rgb = source[x];
            target[0] = uint8_t(qBlue(rgb));
            target[1] = uint8_t(qGreen(rgb));
            target[2] = uint8_t(qRed(rgb));
        }
        return;
    default:
        for (int32_t x = 0; x < width; ++x) {
            const uint32_t value = source[x] & 0x00FFFFFFu;
            std::memcpy(target + 4 * x, &value, sizeof value);
        }
        return;
    }
}

// The indexed picture imageToDib writes, or the reason it cannot.
DibResult<QImage> indexedSource(const QImage& image, int32_t bitCount) {
    QImage indexed;
    switch (image.format()) {
    case QImage::Format_Indexed8:
        indexed = image;
        break;
    case QImage::Format_Mono:
    case QImage::Format_MonoLSB:
        indexed = image.convertToFormat(QImage::Format_Indexed8);
        if (indexed.isNull())
            return {{}, DibError::OutOfMemory};
        break;
    default:
        return {{}, DibError::UnsupportedImage};
    }
    const qsizetype colorCount = indexed.colorCount();
    if (colorCount == 0)
        return {{}, DibError::UnsupportedImage};
    if (colorCount > (qsizetype(1) << bitCount))
        return {{}, DibError::IndexOutOfRange};
    for (int32_t y = 0; y < indexed.height(); ++y) {
        const uchar* line = indexed.constScanLine(y);
        if (std::any_of(line, line + indexed.width(), [&](uchar i) { return i >= colorCount; }))
            return {{}, DibError::IndexOutOfRange};
    }
    return {indexed, DibError::None};
}

} // namespace

const char* dibErrorName(DibError error) {
    switch (error) {
    case DibError::None:
        return "none";
    case DibError::TruncatedHeader:
        return "truncated header";
    case DibError::UnsupportedHeader:
        return "unsupported header size";
    case DibError::BadPlanes:
        return "planes not 1";
    case DibError::BadDimensions:
        return "bad dimensions";
    case DibError::UnsupportedBitCount:
        return "unsupported bit count";
    case DibError::UnsupportedCompression:
        return "unsupported compression";
    case DibError::BadBitfields:
        return "bad bit fields";
    case DibError::TruncatedColorTable:
        return "truncated colour table";
    case DibError::TooLarge:
        return "too large";
    case DibError::TruncatedPixels:
        return "truncated pixels";
    case DibError::UnsupportedImage:
        return "unsupported picture";
    case DibError::IndexOutOfRange:
        return "colour index out of range";
    case DibError::OutOfMemory:
        return "out of memory";
    case DibError::NotBmpFile:
        return "not a BMP file";
    }
    return "unknown";
}

int32_t DibImageRowBytes(int32_t width, int32_t bitCount) {
    if (width < 0 || bitCount < 0)
        throw std::invalid_argument("DibImageRowBytes: negative width or bit count");
    return checkedNarrow(rowBytes64(width, bitCount));
}

int64_t packedDibBitsOffset(const BitmapInfoHeader& header) {
    int64_t offset = header.biSize;
    if (header.biCompression == BI_BITFIELDS)
        offset = std::max<int64_t>(offset, MasksEnd);
    else if (header.biCompression == BI_ALPHABITFIELDS)
        offset = std::max<int64_t>(offset, AlphaMaskEnd);
    int64_t colorCount = header.biClrUsed;
    if (colorCount == 0 && header.biBitCount >= 1 && header.biBitCount <= 8)
        colorCount = int64_t(1) << header.biBitCount;
    return offset + colorCount * int64_t(sizeof(RgbQuad));
}

DibResult<DibLayout> readDibHeader(ByteView info) {
    const auto refuse = [](DibError error) { return DibResult<DibLayout>{{}, error}; };
    if (info.size() < sizeof(uint32_t))
        return refuse(DibError::TruncatedHeader);
    const uint32_t headerSize = readU32(info.data());
    if (headerSize < CoreHeaderSize)
        return refuse(DibError::UnsupportedHeader);
    if (info.size() < headerSize)
        return refuse(DibError::TruncatedHeader);

    DibLayout layout;
    BitmapInfoHeader& header = layout.header;
    std::memcpy(&header, info.data(), sizeof header);
    if (header.biPlanes != 1)
        return refuse(DibError::BadPlanes);
    if (header.biWidth <= 0 || header.biHeight == 0 || header.biHeight == INT32_MIN)
        return refuse(DibError::BadDimensions);
    layout.width = header.biWidth;
    layout.topDown = header.biHeight < 0;
    layout.height = layout.topDown ? -header.biHeight : header.biHeight;
    layout.bitCount = header.biBitCount;
    if (!isSupportedBitCount(layout.bitCount))
        return refuse(DibError::UnsupportedBitCount);

    layout.colorTableOffset = int32_t(headerSize);
    if (header.biCompression == BI_BITFIELDS || header.biCompression == BI_ALPHABITFIELDS) {
        if (layout.bitCount != 16 && layout.bitCount != 32)
            return refuse(DibError::UnsupportedCompression);
        const bool fourMasks = header.biCompression == BI_ALPHABITFIELDS;
        const uint32_t masksEnd = fourMasks ? AlphaMaskEnd : MasksEnd;
        if (info.size() < masksEnd)
            return refuse(DibError::BadBitfields);
        for (size_t i = 0; i < layout.masks.size(); ++i) {
            layout.masks[i] = readU32(info.data() + MasksOffset + 4 * i);
            if (!isUsableMask(layout.masks[i], layout.bitCount))
                return refuse(DibError::BadBitfields);
        }
        if (fourMasks || headerSize >= AlphaMaskEnd) {
            const uint32_t alphaMask = readU32(info.data() + AlphaMaskOffset);
            if (isUsableMask(alphaMask, layout.bitCount))
                layout.alphaMask = alphaMask;
        }
        layout.colorTableOffset = int32_t(std::max(headerSize, masksEnd));
    } else if (header.biCompression != BI_RGB) {
        return refuse(DibError::UnsupportedCompression);
    } else if (layout.bitCount == 16) {
        layout.masks = {0x7C00, 0x03E0, 0x001F};
    } else if (layout.bitCount == 32) {
        layout.masks = {0x00FF0000, 0x0000FF00, 0x000000FF};
    }

    if (layout.bitCount <= 8) {
        // The whole declared table must lie in the block, though pixels can only select the
        // first 2^bitCount entries.
        const int64_t declared = header.biClrUsed ? header.biClrUsed : 1 << layout.bitCount;
        if (layout.colorTableOffset + declared * int64_t(sizeof(RgbQuad)) > int64_t(info.size()))
            return refuse(DibError::TruncatedColorTable);
        layout.colorCount = int32_t(std::min<int64_t>(declared, 1 << layout.bitCount));
    }

    const int64_t rowBytes = rowBytes64(layout.width, layout.bitCount);
    const std::optional<int32_t> imageBytes = imageBytes32(rowBytes, layout.height);
    if (!imageBytes)
        return refuse(DibError::TooLarge);
    layout.rowBytes = int32_t(rowBytes);
    layout.imageBytes = *imageBytes;
    layout.bitsOffset = packedDibBitsOffset(header);
    return {layout, DibError::None};
}

DibResult<QImage> dibToImage(ByteView info, ByteView pixels) {
    const auto refuse = [](DibError error) { return DibResult<QImage>{{}, error}; };
    const DibResult<DibLayout> layout = readDibHeader(info);
    if (!layout)
        return refuse(layout.error);
    // RGB32 takes 4 bytes a pixel, which can exceed int32 where the DIB itself did not.
    if (int64_t(layout.value.width) * layout.value.height > INT32_MAX / 4)
        return refuse(DibError::TooLarge);
    if (pixels.size() < size_t(layout.value.imageBytes))
        return refuse(DibError::TruncatedPixels);

    QImage image(layout.value.width, layout.value.height, QImage::Format_RGB32);
    if (image.isNull())
        return refuse(DibError::OutOfMemory);
    convertRows(layout.value, info, pixels, image);
    return {std::move(image), DibError::None};
}

DibResult<QImage> packedDibToImage(ByteView packedDib) {
    const DibResult<DibLayout> layout = readDibHeader(packedDib);
    if (!layout)
        return {{}, layout.error};
    if (layout.value.bitsOffset > int64_t(packedDib.size()))
        return {{}, DibError::TruncatedPixels};
    const size_t bitsOffset = size_t(layout.value.bitsOffset);
    return dibToImage(packedDib.first(bitsOffset), packedDib.subspan(bitsOffset));
}

DibResult<QImage> bmpFileToImage(ByteView file) {
    BitmapFileHeader fileHeader;
    if (file.size() < sizeof fileHeader)
        return {{}, DibError::TruncatedHeader};
    std::memcpy(&fileHeader, file.data(), sizeof fileHeader);
    if (fileHeader.bfType != BmpFileType)
        return {{}, DibError::NotBmpFile};
    const size_t bitsOffset =
        std::clamp<size_t>(fileHeader.bfOffBits, sizeof fileHeader, file.size());
    return dibToImage(file.subspan(sizeof fileHeader, bitsOffset - sizeof fileHeader),
                      file.subspan(bitsOffset));
}

QImage flattenedOverWhite(const QImage& image) {
    if (!image.hasAlphaChannel())
        return image.convertToFormat(QImage::Format_RGB32);
    QImage flat = image.convertToFormat(QImage::Format_ARGB32);
    if (flat.isNull())
        return {};
    for (int y = 0; y < flat.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(flat.scanLine(y));
        for (int x = 0; x < flat.width(); ++x)
            line[x] = rgbOverWhite(qRed(line[x]), qGreen(line[x]), qBlue(line[x]), qAlpha(line[x]));
    }
    flat.reinterpretAsFormat(QImage::Format_RGB32);
    return flat;
}

DibResult<QByteArray> imageToDib(const QImage& image, int32_t bitCount) {
    const auto refuse = [](DibError error) { return DibResult<QByteArray>{{}, error}; };
    if (!isSupportedBitCount(bitCount))
        return refuse(DibError::UnsupportedBitCount);
    if (image.isNull())
        return refuse(DibError::UnsupportedImage);

    QImage source;
    QList<QRgb> colorTable;
    if (bitCount <= 8) {
        DibResult<QImage> indexed = indexedSource(image, bitCount);
        if (!indexed)
            return refuse(indexed.error);
        source = std::move(indexed.value);
        colorTable = source.colorTable();
    } else {
        source = image.convertToFormat(QImage::Format_RGB32);
        if (source.isNull())
            return refuse(DibError::OutOfMemory);
    }

    const int32_t width = source.width();
    const int32_t height = source.height();
    const int64_t rowBytes = rowBytes64(width, bitCount);
    const int64_t bitsOffset = CoreHeaderSize + int64_t(colorTable.size()) * sizeof(RgbQuad);
    const std::optional<int32_t> imageBytes = imageBytes32(rowBytes, height);
    if (!imageBytes || bitsOffset + *imageBytes > INT32_MAX)
        return refuse(DibError::TooLarge);

    QByteArray dib(qsizetype(bitsOffset + *imageBytes), '\0');
    uint8_t* bytes = reinterpret_cast<uint8_t*>(dib.data());

    BitmapInfoHeader header{};
    header.biSize = CoreHeaderSize;
    header.biWidth = width;
    header.biHeight = height;
    header.biPlanes = 1;
    header.biBitCount = uint16_t(bitCount);
    header.biCompression = BI_RGB;
    header.biSizeImage = uint32_t(*imageBytes);
    header.biClrUsed = uint32_t(colorTable.size());
    std::memcpy(bytes, &header, sizeof header);

    uint8_t* entry = bytes + CoreHeaderSize;
    for (QRgb color : colorTable) {
        const RgbQuad quad{uint8_t(qBlue(color)), uint8_t(qGreen(color)), uint8_t(qRed(color)), 0};
        std::memcpy(entry, &quad, sizeof quad);
        entry += sizeof quad;
    }

    uint8_t* const pixels = bytes + bitsOffset;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = pixels + size_t(height - 1 - y) * size_t(rowBytes);
        if (bitCount <= 8)
            writeIndexedRow(source.constScanLine(y), row, width, bitCount);
        else
            writeRgbRow(reinterpret_cast<const QRgb*>(source.constScanLine(y)), row, width,
                        bitCount);
    }
    return {std::move(dib), DibError::None};
}

DibResult<BitmapFileHeader> bmpFileHeaderFor(ByteView packedDib) {
    const DibResult<DibLayout> layout = readDibHeader(packedDib);
    if (!layout)
        return {{}, layout.error};
    if (layout.value.bitsOffset + layout.value.imageBytes > int64_t(packedDib.size()))
        return {{}, DibError::TruncatedPixels};
    const int64_t fileSize = int64_t(sizeof(BitmapFileHeader)) + int64_t(packedDib.size());
    if (fileSize > INT32_MAX)
        return {{}, DibError::TooLarge};
    BitmapFileHeader fileHeader{};
    fileHeader.bfType = BmpFileType;
    fileHeader.bfSize = uint32_t(fileSize);
    fileHeader.bfOffBits = uint32_t(sizeof(BitmapFileHeader) + layout.value.bitsOffset);
    return {fileHeader, DibError::None};
}

} // namespace platform
