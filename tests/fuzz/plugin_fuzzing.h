// The body of every decoder plug-in's fuzz target: the fuzzer's bytes, as a picture in memory,
// go through IsSupported, GetPictureInfo, GetPicture and GetPreview of the plug-in linked in (and
// GetPictureScaled where it has one), and whatever comes back is checked and freed. A result
// outside the interface, a block smaller than its header says, a block handed back by a failed
// call, or a picture that contradicts GetPictureInfo stops the run.
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
int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo, SpiHandle* pHBm,
                   SpiProgressCallback progress, int32_t lData);
// Null in the targets of plug-ins that do not define it.
__attribute__((weak)) int32_t GetPictureScaled(const char* buf, int32_t len, uint32_t flag,
                                               int32_t minWidth, int32_t minHeight,
                                               SpiHandle* pHBInfo, SpiHandle* pHBm,
                                               SpiProgressCallback progress, int32_t lData);
}

namespace fuzzing {

// Decoding costs time in proportion to the picture, and a hostile header claims any size for
// free. Pictures above kFullyDecodedPixels are decoded only up to the first progress call (which
// the plug-ins make before the first band of rows): far enough for the size checks and the
// allocations, without the time for rows of nothing. Pictures above kDecodedPixels are only
// described: their output blocks alone, hundreds of megabytes, cost the sanitizers a tenth of a
// second to poison and unpoison, and decoding them needs more than the fuzzer's 2 GB. The unit
// tests cover such pictures; only those too large for the interface are still handed to
// GetPicture here, which must refuse them before it allocates anything.
constexpr int64_t kFullyDecodedPixels = int64_t(1) << 20;
constexpr int64_t kDecodedPixels = int64_t(64) << 20;

// A broken promise of the interface is a crash, so that the fuzzer keeps the input.
inline void require(bool promiseKept) {
    if (!promiseKept)
        __builtin_trap();
}

inline bool isInterfaceResult(int32_t result) {
    return result == SPI_SUCCESS || result == SPI_ABORTED || result == SPI_UNKNOWN_FORMAT ||
           result == SPI_BROKEN_DATA || result == SPI_NO_MEMORY;
}

inline int64_t dibStride(int64_t width, int64_t bitCount) {
    return (width * bitCount + 31) / 32 * 4;
}

// The progress callback answers "stop" at call number lData (never for -1).
inline int32_t progressCalls = 0;
inline int32_t stopAtCall(int32_t /*nNum*/, int32_t /*nDenom*/, int32_t lData) {
    return progressCalls++ == lData ? 1 : 0;
}

// Checks what a successful GetPictureInfo reported, and frees its text.
inline void checkInfo(const PictureInfo& info) {
    const SpiHandle text = info.hInfo;
    require(text != nullptr && info.width > 0 && info.height > 0);
    const auto* bytes = static_cast<const char*>(SpiBlockLock(text));
    require(bytes != nullptr && std::memchr(bytes, 0, SpiBlockSize(text)) != nullptr);
    SpiBlockUnlock(text);
    SpiBlockFree(text);
}

// The sizes a decode may give: from minimum up to maximum on each side.
struct SizeRange {
    int64_t minWidth, minHeight, maxWidth, maxHeight;
};

// Checks the two blocks of a successful decode; expected is the size range it must fall in (null
// for GetPreview, which scales the picture down as it likes).
inline void checkDib(SpiHandle info, SpiHandle bits, const SizeRange* expected) {
    const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(info));
    require(header != nullptr && SpiBlockLock(bits) != nullptr);
    require(SpiBlockSize(info) >= sizeof(SpiBitmapInfoHeader) &&
            header->biSize == sizeof(SpiBitmapInfoHeader));
    require(header->biWidth > 0 && header->biHeight > 0 && header->biPlanes == 1);
    require(header->biBitCount == 8 || header->biBitCount == 24);
    require(header->biClrUsed <= (header->biBitCount == 8 ? 256u : 0u));
    require(SpiBlockSize(info) >=
            sizeof(SpiBitmapInfoHeader) + size_t(header->biClrUsed) * sizeof(SpiRgbQuad));
    const uint64_t pixelBytes =
        uint64_t(dibStride(header->biWidth, header->biBitCount)) * uint64_t(header->biHeight);
    require(header->biSizeImage == pixelBytes && SpiBlockSize(bits) == pixelBytes);
    if (expected)
        require(header->biWidth >= expected->minWidth && header->biWidth <= expected->maxWidth &&
                header->biHeight >= expected->minHeight && header->biHeight <= expected->maxHeight);
    SpiBlockUnlock(info);
    SpiBlockUnlock(bits);
}

// One decoding call (decode fills the two handles, calling progress with stopAt), checked
// against the size range it must give (null: any size); its result.
template <typename Decode>
int32_t decodeChecked(Decode&& decode, int32_t stopAt, bool described, const SizeRange* expected,
                      bool mayBeMissing = false) {
    SpiHandle infoBlock = nullptr;
    SpiHandle pixelBlock = nullptr;
    progressCalls = 0;
    const int32_t result = decode(&infoBlock, &pixelBlock, stopAtCall, stopAt);
    require(isInterfaceResult(result) || (mayBeMissing && result == SPI_NOT_IMPLEMENTED));
    if (result == SPI_SUCCESS) {
        require(described); // what cannot be described cannot be decoded
        checkDib(infoBlock, pixelBlock, expected);
    } else {
        require(infoBlock == nullptr && pixelBlock == nullptr); // a failure hands nothing back
    }
    SpiBlockFree(infoBlock);
    SpiBlockFree(pixelBlock);
    return result;
}

// GetPicture or GetPreview on the bytes, checked.
inline int32_t decodeChecked(GetPictureFunc function, const char* bytes, int32_t length,
                             int32_t stopAt, bool described, const PictureInfo& info) {
    const bool isPreview = function == &GetPreview;
    const SizeRange full{info.width, info.height, info.width, info.height};
    return decodeChecked(
        [&](SpiHandle* infoBlock, SpiHandle* pixelBlock, SpiProgressCallback progress,
            int32_t lData) {
            return function(bytes, length, SPI_INPUT_MEMORY, infoBlock, pixelBlock, progress,
                            lData);
        },
        stopAt, described, isPreview ? nullptr : &full, isPreview);
}

// GetPictureScaled on the bytes with a minimum made of byte b: each side 0 to 15/8 of the
// picture's (0 to 15 pixels when it could not be described), so that minima of 0, below, at and
// above the picture's size all occur. The DIB must cover the minimum, or be the whole picture.
inline int32_t decodeScaledChecked(const char* bytes, int32_t length, uint8_t b, int32_t stopAt,
                                   bool described, const PictureInfo& info) {
    const auto side = [&](int32_t pictureSide, int nibble) {
        return described ? int32_t(int64_t(pictureSide) * nibble / 8) : int32_t(nibble);
    };
    const int32_t minWidth = side(info.width, b & 15);
    const int32_t minHeight = side(info.height, b >> 4);
    const bool fullSize = minWidth <= 0 || minHeight <= 0;
    const SizeRange expected{fullSize ? info.width : std::min(minWidth, info.width),
                             fullSize ? info.height : std::min(minHeight, info.height), info.width,
                             info.height};
    return decodeChecked(
        [&](SpiHandle* infoBlock, SpiHandle* pixelBlock, SpiProgressCallback progress,
            int32_t lData) {
            return GetPictureScaled(bytes, length, SPI_INPUT_MEMORY, minWidth, minHeight, infoBlock,
                                    pixelBlock, progress, lData);
        },
        stopAt, described, &expected);
}

inline int fuzzDecoderPlugin(const uint8_t* data, size_t size) {
    if (size > size_t(INT32_MAX))
        return 0;
    const auto* bytes = reinterpret_cast<const char*>(data);
    const auto length = int32_t(size);

    uint8_t head[SPI_IS_SUPPORTED_HEAD_SIZE] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    IsSupported("fuzz", head);

    PictureInfo info{};
    const int32_t infoResult = GetPictureInfo(bytes, length, SPI_INPUT_MEMORY, &info);
    require(isInterfaceResult(infoResult) && infoResult != SPI_ABORTED);
    const bool described = infoResult == SPI_SUCCESS;
    if (described)
        checkInfo(info);
    else
        require(SpiHandle(info.hInfo) == nullptr);
    const int64_t pixels = described ? int64_t(info.width) * info.height : 0;

    // For one input in eight the last byte chooses a call at which to stop, so that the abort
    // path is fuzzed too.
    int32_t stopAt = size && (data[size - 1] & 7) == 7 ? data[size - 1] >> 3 : -1;
    if (pixels > kFullyDecodedPixels)
        stopAt = 0;

    // Even at 8 bits per pixel the DIB would not fit in signed 32 bits.
    if (described && dibStride(info.width, 8) * info.height > INT32_MAX) {
        require(decodeChecked(&GetPicture, bytes, length, stopAt, described, info) ==
                SPI_NO_MEMORY);
        return 0;
    }
    if (pixels > kDecodedPixels)
        return 0;
    for (GetPictureFunc decode : {&GetPicture, &GetPreview})
        decodeChecked(decode, bytes, length, stopAt, described, info);
    if (&GetPictureScaled != nullptr)
        decodeScaledChecked(bytes, length, size >= 2 ? data[size - 2] : 0, stopAt, described, info);
    return 0;
}

} // namespace fuzzing
