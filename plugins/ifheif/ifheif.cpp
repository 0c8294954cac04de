// ifheif.spi: the primary picture of HEIF files (HEIC from phones and cameras) through libheif,
// and a quarter-size preview from the file's own thumbnail where it has a large enough one.
#include "plugins/common/spi_common.h"
#include "plugins/ifheif/heifpicture.h"

#include <libheif/heif.h>

#include <iterator>

namespace {

constexpr char kAbout[] = "ifheif.spi 1.0: HEIF decoder on libheif " LIBHEIF_VERSION;

const char* const kPluginInfo[] = {"00IN", kAbout, "*.HEIC;*.HEIF;*.HIF", "HEIF"};

} // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return spi::answerPluginInfo(kPluginInfo, int32_t(std::size(kPluginInfo)), infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {
    return ifheif::hasSignature(static_cast<const uint8_t*>(head), SPI_IS_SUPPORTED_HEAD_SIZE) ? 1
                                                                                               : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    return spi::describePicture<ifheif::HeifPicture>(buf, len, flag, info);
}

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return spi::decodePicture<ifheif::HeifPicture>(buf, len, flag, pHBInfo, pHBm, progress, lData);
}

SPI_EXPORT int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return spi::decodePictureWith<ifheif::HeifPicture>(
        buf, len, flag, pHBInfo, pHBm, progress, lData,
        [](ifheif::HeifPicture& picture) { return picture.usePreview(); });
}

} // extern "C"
