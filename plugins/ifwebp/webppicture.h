// A WebP picture held in memory, decoded by libwebp into a 24-bit DIB: a still picture (lossy,
// lossless, with or without alpha), or the first frame of an animation laid on its canvas.
//
// How it looks:
// - Alpha is laid over white, the colour of the paper the pictures are printed on, with the
//   rounding the program uses for BMP alpha.
// - An animation shows its first frame at its place on the canvas. The canvas around it is
//   transparent, and so white: the background colour of the animation header is a hint for
//   players, not part of the picture.
// - Metadata (ICC profile, EXIF, XMP) is not read; the picture is as stored.
#pragma once

#include "plugins/common/spi_common.h"

#include <webp/decode.h>

#include <cstddef>
#include <cstdint>
#include <string>

namespace ifwebp {

// True for a RIFF file of form "WEBP".
bool hasWebpSignature(const uint8_t* data, size_t size);

class WebpPicture {
public:
    // Reads the headers, and for an animation finds its first frame; the bytes must outlive
    // this object. Returns SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no WebP signature) or
    // SPI_BROKEN_DATA.
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return canvasWidth_; }
    int32_t height() const { return canvasHeight_; }
    int16_t bitsPerPixel() const { return 24; }
    spi::Densities densities() const { return {}; }
    std::string text() const { return {}; }

    // Decodes the picture into dib. Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA or
    // SPI_NO_MEMORY; dib holds a complete picture only on success.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    int32_t openFirstFrame(const uint8_t* data, size_t size);
    // Feeds the frame's bytes to libwebp's incremental decoder, which writes into the buffer
    // config names, reporting progress in canvas rows as rows come out.
    int32_t decodeFrame(WebPDecoderConfig& config, SpiProgressCallback progress, int32_t lData);
    // Fills the canvas outside the frame with white.
    void paintAroundFrame(spi::DibOutput& dib) const;

    // The bytes libwebp decodes: the whole file for a still picture, the frame's bitstream (its
    // ALPH and VP8 or VP8L chunks) for an animation.
    const uint8_t* frameData_ = nullptr;
    size_t frameSize_ = 0;
    int32_t canvasWidth_ = 0;
    int32_t canvasHeight_ = 0;
    int32_t frameLeft_ = 0;
    int32_t frameTop_ = 0;
    int32_t frameWidth_ = 0;
    int32_t frameHeight_ = 0;
    bool frameHasAlpha_ = false;
};

} // namespace ifwebp
