#include "plugins/ifmag/magpicture.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace ifmag {
namespace {

constexpr size_t kHeaderSize = 32;
constexpr size_t kCommentStart = 32; // after the signature, machine name and user name

// Rows decoded between two progress reports.
constexpr int32_t kRowsPerBand = 64;

// A copy reaches at most 16 rows up, so 17 coded rows are kept.
constexpr int32_t kKeptRows = 17;

// Where the word of each flag code 1..15 is copied from: words to the left, rows up.
constexpr int32_t kWordsLeft[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
constexpr int32_t kRowsUp[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

uint32_t le16(const uint8_t* p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8;
}
uint32_t le32(const uint8_t* p) {
    return le16(p) | le16(p + 2) << 16;
}

// Bytes of a flag A stream holding one bit per flag byte of every row.
uint64_t flagABytes(int32_t height, int32_t wordsPerRow) {
    return (uint64_t(height) * uint64_t(wordsPerRow / 2) + 7) / 8;
}

// A bounded stretch of the input that bytes are taken from in order.
struct ByteStream {
    const uint8_t* at;
    const uint8_t* end;
};

ByteStream streamAt(const uint8_t* data, size_t size, uint64_t start, uint64_t length) {
    const uint64_t from = std::min<uint64_t>(start, size);
    const uint64_t to = std::min<uint64_t>(from + length, size);
    return {data + from, data + to};
}

} // namespace

bool hasMagSignature(const uint8_t* data, size_t size) {
    return data && size >= 6 && std::memcmp(data, "MAKI02", 6) == 0;
}

int32_t MagPicture::open(const uint8_t* data, size_t size) {
    if (!hasMagSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    data_ = data;
    size_ = size;
    const uint8_t* end = data + size;
    const uint8_t* textEnd = std::find(data + std::min<size_t>(8, size), end, 0x1A);
    if (textEnd == end)
        return SPI_BROKEN_DATA;
    header_ = size_t(textEnd - data) + 1;
    if (size - header_ < kHeaderSize)
        return SPI_BROKEN_DATA;
    const uint8_t* header = data + header_;

    const uint8_t screenMode = header[3];
    lines200_ = (screenMode & 0x01) != 0;
    colours256_ = (screenMode & 0x80) != 0;
    const int32_t x0 = int32_t(le16(header + 4));
    const int32_t y0 = int32_t(le16(header + 6));
    const int32_t x1 = int32_t(le16(header + 8));
    const int32_t y1 = int32_t(le16(header + 10));
    if (x1 < x0 || y1 < y0)
        return SPI_BROKEN_DATA;
    width_ = x1 - x0 + 1;
    height_ = y1 - y0 + 1;
    flagAOffset_ = le32(header + 12);
    flagBOffset_ = le32(header + 16);
    flagBSize_ = le32(header + 20);
    pixelOffset_ = le32(header + 24);
    pixelSize_ = le32(header + 28);

    const size_t paletteBytes = colours256_ ? 3 * 256 : 3 * 16;
    if (size - header_ - kHeaderSize < paletteBytes)
        return SPI_BROKEN_DATA;

    const auto codedRow = [&](int32_t group) {
        const int32_t left = x0 & ~(group - 1);
        const int32_t right = x1 | (group - 1);
        cropLeft_ = x0 - left;
        wordsPerRow_ = (right - left + 1) / (colours256_ ? 2 : 4);
    };
    codedRow(8);
    if (colours256_) {
        // Which grouping the stored flag A length fits: its exact size, or up to 3 bytes of
        // padding after it.
        const auto fits = [&](int32_t wordsPerRow) {
            const uint64_t stored = flagBOffset_ - flagAOffset_;
            const uint64_t needed = flagABytes(height_, wordsPerRow);
            return flagBOffset_ > flagAOffset_ && stored >= needed && stored - needed < 4;
        };
        const int32_t eightDotWords = wordsPerRow_;
        codedRow(4);
        if (!fits(wordsPerRow_) || fits(eightDotWords))
            codedRow(8);
    }

    if (textEnd - data > ptrdiff_t(kCommentStart))
        comment_.assign(reinterpret_cast<const char*>(data + kCommentStart),
                        size_t(textEnd - data) - kCommentStart);
    return SPI_SUCCESS;
}

spi::Densities MagPicture::densities() const {
    spi::Densities result;
    if (lines200_)
        result.x = 2;
    return result;
}

int32_t MagPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    // A picture too large for the interface is refused as such, whatever the data holds.
    const int64_t stride = spi::dibStride(width_, 8);
    if (stride < 0 || stride * height_ > INT32_MAX)
        return SPI_NO_MEMORY;
    // Every row takes its bits of flag A, so a picture whose flag A stream is cut short is
    // refused before anything is decoded; the loop below reads flag A without further checks.
    const uint64_t flagAStart = uint64_t(header_) + flagAOffset_;
    if (flagAStart > size_ || size_ - flagAStart < flagABytes(height_, wordsPerRow_))
        return SPI_BROKEN_DATA;

    const int paletteEntries = colours256_ ? 256 : 16;
    if (const int32_t result = dib.allocate(width_, height_, 8, paletteEntries);
        result != SPI_SUCCESS)
        return result;
    const uint8_t* colours = data_ + header_ + kHeaderSize;
    for (int i = 0; i < paletteEntries; ++i, colours += 3)
        dib.palette()[i] = SpiRgbQuad{colours[2], colours[0], colours[1], 0};

    const uint8_t* flagA = data_ + flagAStart;
    unsigned flagABit = 0x80;
    ByteStream flagB = streamAt(data_, size_, header_ + flagBOffset_, flagBSize_);
    ByteStream pixels = streamAt(data_, size_, header_ + pixelOffset_, pixelSize_);

    const int32_t flagsPerRow = wordsPerRow_ / 2;
    const size_t rowBytes = size_t(wordsPerRow_) * 2;
    std::vector<uint8_t> flags(size_t(flagsPerRow), 0);
    std::vector<uint8_t> kept(kKeptRows * rowBytes);
    // Per code: the first byte of a row the code may be used at (none before the rows it
    // reaches up to exist), and where its source lies in kept relative to the byte written.
    size_t firstByte[16];
    ptrdiff_t source[16];
    firstByte[0] = 0;
    source[0] = 0;

    for (int32_t y = 0; y < height_; ++y) {
        if (y % kRowsPerBand == 0 && spi::progressAborts(progress, y, height_, lData))
            return SPI_ABORTED;
        const size_t rowStart = size_t(y % kKeptRows) * rowBytes;
        uint8_t* row = kept.data() + rowStart;
        for (int code = 1; code < 16; ++code) {
            if (y < kRowsUp[code]) {
                firstByte[code] = SIZE_MAX;
                continue;
            }
            const size_t bytesLeft = size_t(kWordsLeft[code]) * 2;
            firstByte[code] = bytesLeft;
            source[code] = ptrdiff_t(size_t((y - kRowsUp[code]) % kKeptRows) * rowBytes) -
                           ptrdiff_t(bytesLeft);
        }

        size_t at = 0;
        for (int32_t i = 0; i < flagsPerRow; ++i) {
            if (*flagA & flagABit) {
                if (flagB.at == flagB.end)
                    return SPI_BROKEN_DATA;
                flags[size_t(i)] ^= *flagB.at++;
            }
            flagABit >>= 1;
            if (!flagABit) {
                flagABit = 0x80;
                ++flagA;
            }
            const uint8_t flag = flags[size_t(i)];
            for (const int code : {flag >> 4, flag & 15}) {
                if (code == 0) {
                    if (pixels.end - pixels.at < 2)
                        return SPI_BROKEN_DATA;
                    row[at] = pixels.at[0];
                    row[at + 1] = pixels.at[1];
                    pixels.at += 2;
                } else {
                    if (at < firstByte[code])
                        return SPI_BROKEN_DATA;
                    const uint8_t* from = kept.data() + (source[code] + ptrdiff_t(at));
                    row[at] = from[0];
                    row[at + 1] = from[1];
                }
                at += 2;
            }
        }

        uint8_t* out = dib.row(y);
        if (colours256_) {
            std::memcpy(out, row + cropLeft_, size_t(width_));
        } else {
            for (int32_t x = 0; x < width_; ++x) {
                const int32_t dot = cropLeft_ + x;
                const uint8_t pair = row[dot >> 1];
                out[x] = (dot & 1) ? pair & 15 : pair >> 4;
            }
        }
    }
    if (spi::progressAborts(progress, height_, height_, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

} // namespace ifmag
