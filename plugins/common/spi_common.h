// Pieces every decoder plug-in needs: reading the input the caller names (a file from an offset,
// or a buffer in memory), answering GetPluginInfo, and building the two output blocks of a DIB
// with every size checked before anything is allocated.
#pragma once

#include "plugins/spi.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <string>
#include <vector>

// The exports every plug-in defines (GetPreview may answer SPI_NOT_IMPLEMENTED). Declared here
// so that a definition whose type drifts from what the program looks up fails to compile.
extern "C" {
SPI_EXPORT int32_t GetPluginInfo(int32_t infono, char* buf, int32_t buflen);
SPI_EXPORT int32_t IsSupported(const char* filename, const void* head);
SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info);
SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData);
SPI_EXPORT int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData);
// Defined only by the plug-ins that can decode at a reduced scale.
SPI_EXPORT int32_t GetPictureScaled(const char* buf, int32_t len, uint32_t flag, int32_t minWidth,
                                    int32_t minHeight, SpiHandle* pHBInfo, SpiHandle* pHBm,
                                    SpiProgressCallback progress, int32_t lData);
}

namespace spi {

// The picture data a call was given: from the offset to the end of the named file, or the
// caller's buffer. data/size always describe the bytes to decode.
struct Input {
    std::unique_ptr<uint8_t[]> owned; // the bytes read from a file; not zeroed before reading
    const uint8_t* data = nullptr;
    size_t size = 0;
    bool whole = true; // false when a limit left the end of the file unread
};

// SPI_SUCCESS, SPI_READ_ERROR (file cannot be opened or read), or SPI_UNKNOWN_FORMAT (an offset
// outside the file, a null buffer or an unknown input kind). Of a file at most limit bytes are
// read, for calls that need only its start.
int32_t readInput(const char* buf, int32_t len, uint32_t flag, Input& out, size_t limit = SIZE_MAX);

// Copies text into buf (at most buflen - 1 characters and a NUL); returns the characters copied.
int32_t copyInfoText(const char* text, char* buf, int32_t buflen);

// Answers GetPluginInfo from a null-terminated list: { version, about, filter0, name0, ... }.
int32_t answerPluginInfo(const char* const* texts, int32_t count, int32_t infono, char* buf,
                         int32_t buflen);

// Row length in bytes of a DIB row, padded to 4 bytes; -1 when it does not fit in int32.
int64_t dibStride(int32_t width, int bitCount);

// A DIB being built: both blocks locked while the plug-in writes into them, freed on
// destruction unless handed to the caller with release().
class DibOutput {
public:
    DibOutput() = default;
    DibOutput(const DibOutput&) = delete;
    DibOutput& operator=(const DibOutput&) = delete;
    ~DibOutput();

    // Allocates the header with a colour table of paletteEntries, and the pixels: zeroed, or
    // left as they come when the decoder writes the rows itself and calls clearUnwritten().
    // Returns SPI_SUCCESS; SPI_BROKEN_DATA for a width or height that is not positive;
    // SPI_NO_MEMORY when the pixel block would not fit in signed 32 bits or cannot be allocated.
    int32_t allocate(int32_t width, int32_t height, int bitCount, int paletteEntries,
                     bool zeroed = true);
    // For pixels allocated without zeroing: zeroes what the decoder did not write, that is
    // the padding after the first rowBytes of the top rowsWritten rows and every row below.
    void clearUnwritten(int32_t rowsWritten, size_t rowBytes);

    SpiBitmapInfoHeader* header() { return header_; }
    SpiRgbQuad* palette() { return palette_; }
    // Row y counted from the top of the picture.
    uint8_t* row(int32_t y) { return pixels_ + size_t(height_ - 1 - y) * stride_; }
    size_t stride() const { return stride_; }

    // Unlocks both blocks and gives them to the caller.
    void release(SpiHandle* pHBInfo, SpiHandle* pHBm);

private:
    SpiHandle info_ = nullptr;
    SpiHandle bits_ = nullptr;
    SpiBitmapInfoHeader* header_ = nullptr;
    SpiRgbQuad* palette_ = nullptr;
    uint8_t* pixels_ = nullptr;
    size_t stride_ = 0;
    int32_t height_ = 0;
};

// One channel of a pixel with coverage alpha laid over white paper, rounded: the rule the
// program uses for every picture with transparency.
constexpr uint8_t overWhite(unsigned channel, unsigned alpha) {
    return uint8_t((channel * alpha + 255 * (255 - alpha) + 127) / 255);
}

// Calls the progress callback, if any; true when the caller asked to stop.
bool progressAborts(SpiProgressCallback progress, int32_t done, int32_t total, int32_t lData);

// Runs the body of an export. Nothing may unwind into the caller's C frames: an exception
// becomes a result code.
template <typename Body> int32_t resultOf(Body&& body) noexcept {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    } catch (...) {
        return SPI_OTHER_ERROR;
    }
}

// A block holding text and its terminating NUL, for PictureInfo::hInfo; null without memory.
SpiHandle textBlock(const std::string& text);

// A density as PictureInfo holds it: rounded, at least 1 and at most 65535 (1 for what is not a
// number).
inline uint16_t clampDensity(double value) {
    if (!(value >= 1.0))
        return 1;
    if (value >= 65535.0)
        return 65535;
    return uint16_t(std::lround(value));
}

// Pixel density as PictureInfo reports it, and the same for the DIB header (0 when unknown).
struct Densities {
    uint16_t x = 1;
    uint16_t y = 1;
    int32_t xPelsPerMeter = 0;
    int32_t yPelsPerMeter = 0;
};

// GetPictureInfo and GetPicture for a plug-in whose picture class offers
//   int32_t open(const uint8_t* data, size_t size);   // the bytes outlive the object
//   int32_t width() const, height() const; int16_t bitsPerPixel() const;
//   Densities densities() const; std::string text() const;
//   int32_t decode(DibOutput&, SpiProgressCallback, int32_t lData);
// Reads the input and opens the picture in it; input must outlive picture.
template <class Picture>
int32_t openPicture(const char* buf, int32_t len, uint32_t flag, Input& input, Picture& picture) {
    if (const int32_t result = readInput(buf, len, flag, input); result != SPI_SUCCESS)
        return result;
    return picture.open(input.data, input.size);
}

template <class Picture>
int32_t describePicture(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    if (!info)
        return SPI_OTHER_ERROR;
    *info = PictureInfo{};
    return resultOf([&]() -> int32_t {
        Input input;
        Picture picture;
        if (const int32_t result = openPicture(buf, len, flag, input, picture);
            result != SPI_SUCCESS)
            return result;
        SpiHandle text = textBlock(picture.text());
        if (!text)
            return SPI_NO_MEMORY;
        const Densities densities = picture.densities();
        info->width = picture.width();
        info->height = picture.height();
        info->x_density = densities.x;
        info->y_density = densities.y;
        info->colorDepth = picture.bitsPerPixel();
        info->hInfo = text;
        return SPI_SUCCESS;
    });
}

// The body of GetPicture and GetPictureScaled: opens the picture, lets prepare(picture) set it
// up (a result other than SPI_SUCCESS ends the call), and decodes it.
template <class Picture, typename Prepare>
int32_t decodePictureWith(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                          SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData,
                          Prepare&& prepare) {
    if (!pHBInfo || !pHBm)
        return SPI_OTHER_ERROR;
    *pHBInfo = nullptr;
    *pHBm = nullptr;
    return resultOf([&]() -> int32_t {
        Input input;
        Picture picture;
        if (const int32_t result = openPicture(buf, len, flag, input, picture);
            result != SPI_SUCCESS)
            return result;
        if (const int32_t result = prepare(picture); result != SPI_SUCCESS)
            return result;
        DibOutput dib;
        if (const int32_t result = picture.decode(dib, progress, lData); result != SPI_SUCCESS)
            return result;
        const Densities densities = picture.densities();
        dib.header()->biXPelsPerMeter = densities.xPelsPerMeter;
        dib.header()->biYPelsPerMeter = densities.yPelsPerMeter;
        dib.release(pHBInfo, pHBm);
        return SPI_SUCCESS;
    });
}

template <class Picture>
int32_t decodePicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                      SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    return decodePictureWith<Picture>(buf, len, flag, pHBInfo, pHBm, progress, lData,
                                      [](Picture&) { return int32_t(SPI_SUCCESS); });
}

// GetPictureScaled for a plug-in whose picture class also offers
//   int32_t shrinkToCover(int32_t minWidth, int32_t minHeight);
// which, between open and decode, makes decode produce the smallest size the decoder can that
// still covers the minimum (see GetPictureScaled in plugins/spi.h).
template <class Picture>
int32_t decodePictureScaled(const char* buf, int32_t len, uint32_t flag, int32_t minWidth,
                            int32_t minHeight, SpiHandle* pHBInfo, SpiHandle* pHBm,
                            SpiProgressCallback progress, int32_t lData) {
    return decodePictureWith<Picture>(
        buf, len, flag, pHBInfo, pHBm, progress, lData,
        [&](Picture& picture) { return picture.shrinkToCover(minWidth, minHeight); });
}

} // namespace spi
