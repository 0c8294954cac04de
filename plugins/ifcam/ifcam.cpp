// ifcam.spi: the decoder plug-in for CAM camera files (normal and fine pictures, and files that
// hold a JFIF stream after the header), on libjpeg-turbo.
#include "plugins/common/spi_common.h"
#include "plugins/ifcam/camfile.h"
#include "plugins/ifcam/jpegstream.h"

namespace {

#define IFCAM_STRINGIFY(x) #x
#define IFCAM_VERSION_TEXT(x) IFCAM_STRINGIFY(x)

constexpr char kAbout[] =
    "ifcam.spi 1.0: CAM decoder on libjpeg-turbo " IFCAM_VERSION_TEXT(LIBJPEG_TURBO_VERSION);

const char* const kPluginInfo[] = {"00IN", kAbout, "*.CAM", "CAM"};

// A CAM picture for the shared GetPictureInfo and GetPicture of spi_common.h.
class CamPicture {
public:
    int32_t open(const uint8_t* data, size_t size) {
        if (const int32_t result = ifcam::readCamFile(data, size, contents_); result != SPI_SUCCESS)
            return result;
        const std::span<const uint8_t> stream = contents_.jpegStream();
        return decoder_.readHeader(stream.data(), stream.size());
    }

    // The picture as stored: a normal picture is 480 x 240 although it is shown at 4:3; the
    // program stretches CAM pictures itself, so the densities claim square pixels.
    int32_t width() const { return decoder_.width(); }
    int32_t height() const { return decoder_.height(); }
    int16_t bitsPerPixel() const { return 24; }
    spi::Densities densities() const { return {}; }
    const std::string& text() const { return contents_.comment; }

    int32_t shrinkToCover(int32_t minWidth, int32_t minHeight) {
        return decoder_.shrinkToCover(minWidth, minHeight);
    }
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
        return decoder_.decode(dib, progress, lData);
    }

private:
    ifcam::CamContents contents_;
    ifcam::JpegStreamDecoder decoder_;
};

} // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return spi::answerPluginInfo(kPluginInfo, int32_t(std::size(kPluginInfo)), infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {
    return ifcam::hasCamMark(static_cast<const uint8_t*>(head), SPI_IS_SUPPORTED_HEAD_SIZE) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    return spi::describePicture<CamPicture>(buf, len, flag, info);
}

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return spi::decodePicture<CamPicture>(buf, len, flag, pHBInfo, pHBm, progress, lData);
}

SPI_EXPORT int32_t GetPictureScaled(const char* buf, int32_t len, uint32_t flag, int32_t minWidth,
                                    int32_t minHeight, SpiHandle* pHBInfo, SpiHandle* pHBm,
                                    SpiProgressCallback progress, int32_t lData) {
    return spi::decodePictureScaled<CamPicture>(buf, len, flag, minWidth, minHeight, pHBInfo, pHBm,
                                                progress, lData);
}

// The picture control asks CAM files for the picture only; thumbnails are made from it.
SPI_EXPORT int32_t GetPreview(const char*, int32_t, uint32_t, SpiHandle*, SpiHandle*,
                              SpiProgressCallback, int32_t) {
    return SPI_NOT_IMPLEMENTED;
}

} // extern "C"
