// The exports of a plug-in that decodes whole pictures through a picture class (see
// spi::describePicture and spi::decodePicture) and has no preview: GetPluginInfo from a table
// { version, about, filter, name }, IsSupported by a signature test on the head of the file,
// GetPictureInfo and GetPicture through the class, and GetPreview answering SPI_NOT_IMPLEMENTED.
// Used once, at namespace scope, in the plug-in's own source file.
#pragma once

#include "plugins/common/spi_common.h"

#include <iterator>

#define SPI_PICTURE_PLUGIN_EXPORTS(Picture, pluginInfo, hasSignature)                              \
    extern "C" {                                                                                   \
    SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {                  \
        return spi::answerPluginInfo(pluginInfo, int32_t(std::size(pluginInfo)), infono, buf,      \
                                     buflen);                                                      \
    }                                                                                              \
    SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {                   \
        return hasSignature(static_cast<const uint8_t*>(head), SPI_IS_SUPPORTED_HEAD_SIZE) ? 1     \
                                                                                           : 0;    \
    }                                                                                              \
    SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag,                 \
                                      PictureInfo* info) {                                         \
        return spi::describePicture<Picture>(buf, len, flag, info);                                \
    }                                                                                              \
    SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo, \
                                  SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {  \
        return spi::decodePicture<Picture>(buf, len, flag, pHBInfo, pHBm, progress, lData);        \
    }                                                                                              \
    SPI_EXPORT int32_t GetPreview(const char*, int32_t, uint32_t, SpiHandle*, SpiHandle*,          \
                                  SpiProgressCallback, int32_t) {                                  \
        return SPI_NOT_IMPLEMENTED;                                                                \
    }                                                                                              \
    }
