// ifpic.spi: the decoder plug-in for PIC pictures (X68000 and generic machine types).
#include "plugins/common/spi_common.h"
#include "plugins/ifpic/picpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifpic 1.0 - PIC decoder (X68000 and generic types)",
                                   "*.PIC", "PIC"};

} // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return spi::answerPluginInfo(kPluginInfo, int32_t(std::size(kPluginInfo)), infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {
    return ifpic::hasPicSignature(static_cast<const uint8_t*>(head), SPI_IS_SUPPORTED_HEAD_SIZE)
               ? 1
               : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    return spi::describePicture<ifpic::PicPicture>(buf, len, flag, info);
}

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return spi::decodePicture<ifpic::PicPicture>(buf, len, flag, pHBInfo, pHBm, progress, lData);
}

SPI_EXPORT int32_t GetPreview(const char*, int32_t, uint32_t, SpiHandle*, SpiHandle*,
                              SpiProgressCallback, int32_t) {
    return SPI_NOT_IMPLEMENTED;
}

} // extern "C"
