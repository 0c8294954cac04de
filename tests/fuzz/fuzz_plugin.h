// What every decoder plug-in's fuzz target does with an input: hand it to each export that reads
// pictures as a file image in memory, check what comes back, and free it.
#pragma once

#include "plugins/spi.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

extern "C" {
int32_t IsSupported(const char* filename, const void* head);
int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info);
int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo, SpiHandle* pHBm,
                   SpiProgressCallback progress, int32_t lData);
int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo, SpiHandle* pHBm,
                   SpiProgressCallback progress, int32_t lData);
}

namespace fuzzing {

// Decoding costs time in proportion to the picture, and a hostile header claims any size for
// free. Pictures above kFullyDecodedPixels are decoded only up to the first progress call (which
// the plug-ins make before the first band of rows): far enough for the size checks and the
// allocations, without the time for rows of nothing. Pictures above kDecodedPixels are only
// described: their output blocks alone, hundreds of megabytes, cost the sanitizers a tenth of a
// second to poison and unpoison; the tests cover the refusal of pictures too large for 32 bits.
constexpr int64_t kFullyDecodedPixels = int64_t(1) << 20;
constexpr int64_t kDecodedPixels = int64_t(64) << 20;

// A broken promise of the interface is a crash, so that the fuzzer keeps the input.
inline void require(bool promiseKept) {
    if (!promiseKept)
        __builtin_trap();
}

inline void checkDib(SpiHandle info, SpiHandle bits) {
    const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(info));
    require(header && SpiBlockLock(bits) && SpiBlockSize(info) >= sizeof(SpiBitmapInfoHeader));
    require(header->biSize == sizeof(SpiBitmapInfoHeader) && header->biWidth > 0 &&
            header->biHeight != 0);
    const int64_t stride = (int64_t(header->biWidth) * header->biBitCount + 31) / 32 * 4;
    const int64_t rows = header->biHeight < 0 ? -int64_t(header->biHeight) : header->biHeight;
    require(SpiBlockSize(bits) == uint64_t(stride * rows));
    require(SpiBlockSize(info) >=
            sizeof(SpiBitmapInfoHeader) + uint64_t(header->biClrUsed) * sizeof(SpiRgbQuad));
    SpiBlockUnlock(info);
    SpiBlockUnlock(bits);
}

// The progress callback answers "stop" at call number lData (never for -1).
inline int32_t progressCalls = 0;
inline int32_t stopAtCall(int32_t /*nNum*/, int32_t /*nDenom*/, int32_t lData) {
    return progressCalls++ == lData ? 1 : 0;
}

inline int fuzzDecoderPlugin(const uint8_t* data, size_t size) {
    if (size > size_t(INT32_MAX))
        return 0;
    const char* buf = reinterpret_cast<const char*>(data);
    const int32_t len = int32_t(size);

    uint8_t head[SPI_IS_SUPPORTED_HEAD_SIZE] = {};
    std::memcpy(head, data, std::min(size, sizeof head));
    IsSupported("fuzz", head);

    PictureInfo info{};
    const int32_t infoResult = GetPictureInfo(buf, len, SPI_INPUT_MEMORY, &info);
    SpiBlockFree(info.hInfo);
    // For one input in eight the last byte chooses a call at which to stop, so that the abort
    // path is fuzzed too.
    int32_t stopAt = size && (data[size - 1] & 7) == 7 ? data[size - 1] >> 3 : -1;
    const int64_t pixels = infoResult == SPI_SUCCESS ? int64_t(info.width) * info.height : 0;
    if (pixels > kDecodedPixels)
        return 0;
    if (pixels > kFullyDecodedPixels)
        stopAt = 0;
    for (GetPictureFunc decode : {&GetPicture, &GetPreview}) {
        SpiHandle hInfo = nullptr;
        SpiHandle hBm = nullptr;
        progressCalls = 0;
        const int32_t result = decode(buf, len, SPI_INPUT_MEMORY, &hInfo, &hBm, stopAtCall, stopAt);
        if (result == SPI_SUCCESS) {
            require(infoResult == SPI_SUCCESS); // what cannot be described cannot be decoded
            checkDib(hInfo, hBm);
        } else {
            require(!hInfo && !hBm); // a failure hands nothing back
        }
        if (result == SPI_SUCCESS && decode == &GetPicture) {
            const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(hInfo));
            require(header->biWidth == info.width && std::abs(header->biHeight) == info.height);
            SpiBlockUnlock(hInfo);
        }
        SpiBlockFree(hInfo);
        SpiBlockFree(hBm);
    }
    return 0;
}

} // namespace fuzzing
