#include "plugins/common/spi_common.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include <sys/stat.h>

namespace spi {

int32_t readInput(const char* buf, int32_t len, uint32_t flag, Input& out, size_t limit) {
    if (!buf)
        return SPI_UNKNOWN_FORMAT;
    switch (flag & SPI_INPUT_MASK) {
    case SPI_INPUT_MEMORY:
        if (len < 0)
            return SPI_UNKNOWN_FORMAT;
        out.owned.reset();
        out.data = reinterpret_cast<const uint8_t*>(buf);
        out.size = size_t(len);
        out.whole = true;
        return SPI_SUCCESS;
    case SPI_INPUT_FILE: {
        if (len < 0)
            return SPI_UNKNOWN_FORMAT;
        FILE* f = std::fopen(buf, "rb");
        if (!f)
            return SPI_READ_ERROR;
        int32_t result = SPI_SUCCESS;
        // Only a regular file has a size to read: a directory opens too, but its "size" can be
        // anything up to 2^63 and would be taken as a request for that much memory.
        struct stat status;
        const bool regularFile = fstat(fileno(f), &status) == 0 && S_ISREG(status.st_mode);
        long fileSize = -1;
        if (regularFile && std::fseek(f, 0, SEEK_END) == 0)
            fileSize = std::ftell(f);
        size_t size = 0;
        if (fileSize < 0 || std::fseek(f, 0, SEEK_SET) != 0) {
            result = SPI_READ_ERROR;
        } else if (len > fileSize) {
            result = SPI_UNKNOWN_FORMAT;
        } else {
            const size_t remaining = size_t(fileSize - len);
            size = std::min(remaining, limit);
            out.whole = remaining <= limit;
            out.owned.reset(new (std::nothrow) uint8_t[std::max<size_t>(size, 1)]);
            if (!out.owned)
                result = SPI_NO_MEMORY;
            else if (std::fseek(f, len, SEEK_SET) != 0 ||
                     std::fread(out.owned.get(), 1, size, f) != size)
                result = SPI_READ_ERROR;
        }
        std::fclose(f);
        out.data = out.owned.get();
        out.size = result == SPI_SUCCESS ? size : 0;
        return result;
    }
    default:
        return SPI_UNKNOWN_FORMAT;
    }
}

int32_t copyInfoText(const char* text, char* buf, int32_t buflen) {
    if (!buf || buflen <= 0)
        return 0;
    const size_t n = std::min(std::strlen(text), size_t(buflen - 1));
    std::memcpy(buf, text, n);
    buf[n] = '\0';
    return int32_t(n);
}

int32_t answerPluginInfo(const char* const* texts, int32_t count, int32_t infono, char* buf,
                         int32_t buflen) {
    if (infono < 0 || infono >= count)
        return 0;
    return copyInfoText(texts[infono], buf, buflen);
}

int64_t dibStride(int32_t width, int bitCount) {
    if (width < 0)
        return -1;
    const int64_t bits = int64_t(width) * bitCount;
    const int64_t stride = ((bits + 31) / 32) * 4;
    return stride > INT32_MAX ? -1 : stride;
}

DibOutput::~DibOutput() {
    SpiBlockFree(info_);
    SpiBlockFree(bits_);
}

int32_t DibOutput::allocate(int32_t width, int32_t height, int bitCount, int paletteEntries,
                            bool zeroed) {
    if (width <= 0 || height <= 0)
        return SPI_BROKEN_DATA;
    const int64_t stride = dibStride(width, bitCount);
    if (stride < 0 || stride * height > INT32_MAX)
        return SPI_NO_MEMORY;
    const size_t infoSize =
        sizeof(SpiBitmapInfoHeader) + size_t(paletteEntries) * sizeof(SpiRgbQuad);
    info_ = SpiBlockAlloc(infoSize, 1);
    bits_ = SpiBlockAlloc(size_t(stride * height), zeroed ? 1 : 0);
    if (!info_ || !bits_)
        return SPI_NO_MEMORY;
    header_ = static_cast<SpiBitmapInfoHeader*>(SpiBlockLock(info_));
    palette_ = paletteEntries ? reinterpret_cast<SpiRgbQuad*>(header_ + 1) : nullptr;
    pixels_ = static_cast<uint8_t*>(SpiBlockLock(bits_));
    stride_ = size_t(stride);
    height_ = height;
    header_->biSize = sizeof(SpiBitmapInfoHeader);
    header_->biWidth = width;
    header_->biHeight = height;
    header_->biPlanes = 1;
    header_->biBitCount = uint16_t(bitCount);
    header_->biCompression = 0;
    header_->biSizeImage = uint32_t(stride * height);
    header_->biClrUsed = uint32_t(paletteEntries);
    return SPI_SUCCESS;
}

void DibOutput::clearUnwritten(int32_t rowsWritten, size_t rowBytes) {
    rowsWritten = std::clamp(rowsWritten, 0, height_);
    if (rowBytes < stride_)
        for (int32_t y = 0; y < rowsWritten; ++y)
            std::memset(row(y) + rowBytes, 0, stride_ - rowBytes);
    // Rows from the top are stored last: the unwritten ones lie together at the block's start.
    std::memset(pixels_, 0, size_t(height_ - rowsWritten) * stride_);
}

void DibOutput::release(SpiHandle* pHBInfo, SpiHandle* pHBm) {
    SpiBlockUnlock(info_);
    SpiBlockUnlock(bits_);
    *pHBInfo = info_;
    *pHBm = bits_;
    info_ = bits_ = nullptr;
    header_ = nullptr;
    palette_ = nullptr;
    pixels_ = nullptr;
}

SpiHandle textBlock(const std::string& text) {
    SpiHandle block = SpiBlockAlloc(text.size() + 1, 1);
    if (block) {
        std::memcpy(SpiBlockLock(block), text.data(), text.size());
        SpiBlockUnlock(block);
    }
    return block;
}

bool progressAborts(SpiProgressCallback progress, int32_t done, int32_t total, int32_t lData) {
    return progress && progress(done, total, lData) != 0;
}

} // namespace spi
