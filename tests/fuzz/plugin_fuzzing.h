// The body of the TIFF and GIF fuzz targets: the fuzzer's bytes, as a picture in memory, go
// through IsSupported, GetPictureInfo and GetPicture of the plug-in linked in, and whatever
// comes back is checked and freed. A result outside the interface, a block smaller than its
// header says, or an answer that contradicts GetPictureInfo stops the run.
#pragma once

#include "plugins/spi.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>

extern "C" {
int32_t IsSupported(const char* filename, const void* head);
int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info);
int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo, SpiHandle* pHBm,
                   SpiProgressCallback progress, int32_t lData);
}

namespace fuzzing {

// Decoding a picture needs up to twice its pixel count in memory or more; beyond this the
// fuzzer's 2 GB limit would be hit by pictures the interface allows. Such pictures are left to
// the unit tests, except those too large for the interface, which must be refused.
constexpr uint64_t kLargestDecodedPixels = uint64_t(1) << 26;

inline void require(bool condition) {
    if (!condition)
        __builtin_trap();
}

inline bool isInterfaceResult(int32_t result) {
    return result == SPI_SUCCESS || result == SPI_ABORTED || result == SPI_UNKNOWN_FORMAT ||
           result == SPI_BROKEN_DATA || result == SPI_NO_MEMORY;
}

// The progress callback stops the decode at the call the last input byte names (0: never).
inline int32_t callsBeforeAbort = 0;

inline int32_t abortingProgress(int32_t, int32_t, int32_t) {
    return --callsBeforeAbort == 0 ? 1 : 0;
}

inline void checkInfo(const PictureInfo& info) {
    const SpiHandle text = info.hInfo;
    require(text != nullptr && info.width > 0 && info.height > 0);
    const auto* bytes = static_cast<const char*>(SpiBlockLock(text));
    require(bytes != nullptr && std::memchr(bytes, 0, SpiBlockSize(text)) != nullptr);
    SpiBlockUnlock(text);
    SpiBlockFree(text);
}

inline void checkDib(SpiHandle infoBlock, SpiHandle pixelBlock, const PictureInfo* info) {
    const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(infoBlock));
    require(header != nullptr && SpiBlockLock(pixelBlock) != nullptr);
    require(SpiBlockSize(infoBlock) >= sizeof(SpiBitmapInfoHeader) && header->biSize == 40);
    require(header->biWidth > 0 && header->biHeight > 0 && header->biPlanes == 1);
    require(header->biBitCount == 8 || header->biBitCount == 24);
    require(header->biClrUsed <= (header->biBitCount == 8 ? 256u : 0u));
    require(SpiBlockSize(infoBlock) >= 40 + size_t(header->biClrUsed) * sizeof(SpiRgbQuad));
    const uint64_t stride = ((uint64_t(header->biWidth) * header->biBitCount + 31) / 32) * 4;
    require(header->biSizeImage == stride * uint64_t(header->biHeight));
    require(SpiBlockSize(pixelBlock) >= header->biSizeImage);
    if (info)
        require(header->biWidth == info->width && header->biHeight == info->height);
    SpiBlockFree(infoBlock);
    SpiBlockFree(pixelBlock);
}

inline int fuzzOneInput(const uint8_t* data, size_t size) {
    if (size > size_t(INT32_MAX))
        return 0;
    uint8_t head[SPI_IS_SUPPORTED_HEAD_SIZE] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    IsSupported("fuzz", head);

    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = int32_t(size);
    PictureInfo info{};
    const int32_t infoResult = GetPictureInfo(bytes, length, SPI_INPUT_MEMORY, &info);
    require(isInterfaceResult(infoResult) && infoResult != SPI_ABORTED);
    const PictureInfo described = info;
    // Even at 8 bits per pixel the DIB would not fit in signed 32 bits.
    const bool beyondInterface =
        infoResult == SPI_SUCCESS &&
        ((uint64_t(described.width) * 8 + 31) / 32) * 4 * uint64_t(described.height) >
            uint64_t(INT32_MAX);
    if (infoResult == SPI_SUCCESS) {
        checkInfo(info);
        const uint64_t pixels = uint64_t(described.width) * uint64_t(described.height);
        if (pixels > kLargestDecodedPixels && !beyondInterface)
            return 0;
    } else {
        require(SpiHandle(info.hInfo) == nullptr);
    }

    callsBeforeAbort = size ? data[size - 1] % 4 : 0;
    SpiHandle infoBlock = nullptr;
    SpiHandle pixelBlock = nullptr;
    const int32_t result = GetPicture(bytes, length, SPI_INPUT_MEMORY, &infoBlock, &pixelBlock,
                                      callsBeforeAbort ? abortingProgress : nullptr, 0);
    require(isInterfaceResult(result));
    if (result == SPI_SUCCESS) {
        // Both calls read the same first page or image: they must agree.
        require(infoResult == SPI_SUCCESS);
        checkDib(infoBlock, pixelBlock, &described);
    } else {
        require(infoBlock == nullptr && pixelBlock == nullptr);
        require(!beyondInterface || result == SPI_NO_MEMORY);
    }
    return 0;
}

} // namespace fuzzing
