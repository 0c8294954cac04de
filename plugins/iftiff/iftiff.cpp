// iftiff.spi: the decoder plug-in for TIFF pictures (first page only), on libtiff.
#include "plugins/common/spi_common.h"
#include "plugins/iftiff/tiffpicture.h"

#include <cstring>
#include <new>
#include <string>
#include <type_traits>

namespace {

const char* const kPluginInfo[] = {"00IN", "iftiff 1.0 - TIFF decoder (libtiff)", "*.TIF;*.TIFF",
                                   "TIFF"};

// Nothing may unwind into the caller's C frames: an exception becomes a result code.
template <typename Body> int32_t guarded(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_OTHER_ERROR;
    }
}

SpiHandle textBlock(const std::string& text) {
    SpiHandle block = SpiBlockAlloc(text.size() + 1, 1);
    if (block) {
        std::memcpy(SpiBlockLock(block), text.data(), text.size());
        SpiBlockUnlock(block);
    }
    return block;
}

} // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return spi::answerPluginInfo(kPluginInfo, int32_t(std::size(kPluginInfo)), infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {
    return iftiff::hasTiffSignature(static_cast<const uint8_t*>(head), SPI_IS_SUPPORTED_HEAD_SIZE)
               ? 1
               : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    if (!info)
        return SPI_OTHER_ERROR;
    *info = PictureInfo{};
    return guarded([&]() -> int32_t {
        spi::Input input;
        if (const int32_t result = spi::readInput(buf, len, flag, input); result != SPI_SUCCESS)
            return result;
        iftiff::TiffPicture picture;
        if (const int32_t result = picture.open(input.data, input.size); result != SPI_SUCCESS)
            return result;
        SpiHandle text = textBlock(picture.description());
        if (!text)
            return SPI_NO_MEMORY;
        const iftiff::Densities densities = picture.densities();
        info->width = picture.width();
        info->height = picture.height();
        info->x_density = densities.x;
        info->y_density = densities.y;
        info->colorDepth = picture.bitsPerPixel();
        info->hInfo = text;
        return SPI_SUCCESS;
    });
}

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    if (!pHBInfo || !pHBm)
        return SPI_OTHER_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    return guarded([&]() -> int32_t {
        spi::Input input;
        if (const int32_t result = spi::readInput(buf, len, flag, input); result != SPI_SUCCESS)
            return result;
        iftiff::TiffPicture picture;
        if (const int32_t result = picture.open(input.data, input.size); result != SPI_SUCCESS)
            return result;
        spi::DibOutput dib;
        if (const int32_t result = picture.decode(dib, progress, lData); result != SPI_SUCCESS)
            return result;
        const iftiff::Densities densities = picture.densities();
        dib.header()->biXPelsPerMeter = densities.xPelsPerMeter;
        dib.header()->biYPelsPerMeter = densities.yPelsPerMeter;
        dib.release(pHBInfo, pHBm);
        return SPI_SUCCESS;
    });
}

SPI_EXPORT int32_t GetPreview(const char*, int32_t, uint32_t, SpiHandle*, SpiHandle*,
                              SpiProgressCallback, int32_t) {
    return SPI_NOT_IMPLEMENTED;
}

} // extern "C"

// The exports must keep the exact types the program looks them up as.
static_assert(std::is_same_v<decltype(&GetPluginInfo), GetPluginInfoFunc>);
static_assert(std::is_same_v<decltype(&IsSupported), IsSupportedFunc>);
static_assert(std::is_same_v<decltype(&GetPictureInfo), GetPictureInfoFunc>);
static_assert(std::is_same_v<decltype(&GetPicture), GetPictureFunc>);
static_assert(std::is_same_v<decltype(&GetPreview), GetPreviewFunc>);
