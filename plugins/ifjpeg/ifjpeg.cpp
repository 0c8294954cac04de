// ifjpeg.spi: the JPEG decoder plug-in (JPEG files and the JPEG stream inside J6I files), at
// full size, as a quarter-size preview, or at the smallest M/8 that covers what the caller needs.
#include "plugins/common/spi_common.h"
#include "plugins/ifjpeg/jpegdecoder.h"

#include <algorithm>

namespace {

#define IFJPEG_STRINGIFY(x) #x
#define IFJPEG_VERSION_TEXT(x) IFJPEG_STRINGIFY(x)

constexpr char kAbout[] =
    "ifjpeg.spi 1.0: JPEG decoder on libjpeg-turbo " IFJPEG_VERSION_TEXT(LIBJPEG_TURBO_VERSION);

const char* const kPluginInfo[] = {"00IN", kAbout, "*.JPG;*.JPE;*.JPEG;*.J6I", "JPEG"};

// SOI and the first byte of the marker after it. The stream must start exactly there: the
// program finds the stream inside J6I files by trying offsets and relies on a refusal (2) at the
// wrong ones.
bool startsWithJpegStream(const uint8_t* data, size_t size) {
    return size >= 3 && data[0] == 0xFF && data[1] == 0xD8 && data[2] == 0xFF;
}

// GetPictureInfo needs only the markers before the first scan, which cameras keep well within
// this many bytes (EXIF, its thumbnail and a colour profile included); it reads a file's start
// and the whole file only when the markers go on past it.
constexpr size_t kMarkerReadBytes = 256 * 1024;

int32_t openStream(const char* buf, int32_t len, uint32_t flag, spi::Input& input,
                   size_t limit = SIZE_MAX) {
    const int32_t result = spi::readInput(buf, len, flag, input, limit);
    if (result != SPI_SUCCESS)
        return result;
    return startsWithJpegStream(input.data, input.size) ? SPI_SUCCESS : SPI_UNKNOWN_FORMAT;
}

// Densities as PictureInfo carries them: dots per inch when the JFIF segment gives a unit (dots
// per centimetre are converted), its pixel aspect ratio when it gives none, and 1:1 (square
// pixels, density unknown) without a JFIF segment or with a zero density.
void fillDensity(const jpeg_decompress_struct& header, PictureInfo& info) {
    info.x_density = 1;
    info.y_density = 1;
    if (!header.saw_JFIF_marker || header.X_density == 0 || header.Y_density == 0)
        return;
    if (header.density_unit == 2) {
        const auto perInch = [](unsigned perCentimetre) {
            return uint16_t(std::min((perCentimetre * 254u + 50) / 100, 65535u));
        };
        info.x_density = perInch(header.X_density);
        info.y_density = perInch(header.Y_density);
    } else {
        info.x_density = header.X_density;
        info.y_density = header.Y_density;
    }
}

// GetPictureInfo from the stream's markers. Of a file's start alone, markers that run on past
// it are a failure, so that the whole file is read.
int32_t describe(const spi::Input& input, PictureInfo& info) {
    ifjpeg::JpegDecoder decoder(input.data, input.size);
    int32_t result = decoder.readHeader(true);
    if (result != SPI_SUCCESS)
        return result;
    if (!input.whole && decoder.ranOutOfData())
        return int32_t(SPI_BROKEN_DATA);
    const std::string comment = decoder.firstComment();
    SpiHandle text = spi::textBlock(comment);
    if (!text)
        return int32_t(SPI_NO_MEMORY);

    const jpeg_decompress_struct& header = decoder.header();
    info.left = 0;
    info.top = 0;
    info.width = int32_t(header.image_width);
    info.height = int32_t(header.image_height);
    fillDensity(header, info);
    info.colorDepth = decoder.isGreyscale() ? 8 : 24;
    info.hInfo = text;
    return int32_t(SPI_SUCCESS);
}

// GetPicture, GetPreview and GetPictureScaled: a minimum of 0 x 0 leaves size as it is.
int32_t decodePicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                      SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData,
                      ifjpeg::OutputSize size, int32_t minWidth = 0, int32_t minHeight = 0) {
    if (!pHBInfo || !pHBm)
        return SPI_OTHER_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    return spi::resultOf([&] {
        spi::Input input;
        int32_t result = openStream(buf, len, flag, input);
        if (result != SPI_SUCCESS)
            return result;
        ifjpeg::JpegDecoder decoder(input.data, input.size);
        result = decoder.readHeader(false);
        if (result != SPI_SUCCESS)
            return result;
        result = decoder.shrinkToCover(minWidth, minHeight);
        if (result != SPI_SUCCESS)
            return result;
        spi::DibOutput dib;
        result = decoder.decode(size, dib, progress, lData);
        if (result != SPI_SUCCESS)
            return result;
        dib.release(pHBInfo, pHBm);
        return int32_t(SPI_SUCCESS);
    });
}

} // namespace

extern "C" {

SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen) {
    return spi::answerPluginInfo(kPluginInfo, int32_t(std::size(kPluginInfo)), infono, buf, buflen);
}

SPI_EXPORT int32_t IsSupported(const char* /*filename*/, const void* head) {
    return head && startsWithJpegStream(static_cast<const uint8_t*>(head), 3) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    if (!info)
        return SPI_OTHER_ERROR;
    return spi::resultOf([&] {
        spi::Input input;
        int32_t result = openStream(buf, len, flag, input, kMarkerReadBytes);
        if (result != SPI_SUCCESS)
            return result;
        result = describe(input, *info);
        if (result != SPI_SUCCESS && !input.whole) {
            result = openStream(buf, len, flag, input);
            if (result == SPI_SUCCESS)
                result = describe(input, *info);
        }
        return result;
    });
}

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return decodePicture(buf, len, flag, pHBInfo, pHBm, progress, lData, ifjpeg::OutputSize::Full);
}

SPI_EXPORT int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return decodePicture(buf, len, flag, pHBInfo, pHBm, progress, lData,
                         ifjpeg::OutputSize::Quarter);
}

SPI_EXPORT int32_t GetPictureScaled(const char* buf, int32_t len, uint32_t flag, int32_t minWidth,
                                    int32_t minHeight, SpiHandle* pHBInfo, SpiHandle* pHBm,
                                    SpiProgressCallback progress, int32_t lData) {
    return decodePicture(buf, len, flag, pHBInfo, pHBm, progress, lData, ifjpeg::OutputSize::Full,
                         minWidth, minHeight);
}

} // extern "C"
