// A Pi picture held in memory: 16 or 256 colours, drawn into an 8-bit DIB with the file's
// palette.
//
// The file: "Pi", a comment up to 0x1A, filler bytes up to the first 0x00 after it, then the
// header (big-endian numbers): mode, aspect bytes n and m, planes (4 or 8; 0xFF is an old way of
// writing 4), a 4-byte saver name, a block of machine-dependent data with its length, width,
// height, the palette (R, G, B bytes for each colour; left out when mode bit 7 is set) and the
// bit stream, read from the most significant bit.
//
// How it reads:
// - The comment is the bytes between "Pi" and the first 0x1A, as stored (code page 932); the
//   filler bytes after the 0x1A are not part of it.
// - Without a palette the fixed one is used: at 16 colours index bit 0 is blue, bit 1 red,
//   bit 2 green and bit 3 bright (levels 0x77 and 0xFF; 0 and 8 are both black); at 256
//   colours the index is GGGRRRBB, green and red in steps of 0x20, blue in steps of 0x40.
// - Aspect bytes n and m, both non-zero, give dots n / m times as tall as they are wide:
//   densities x = n, y = m. Either of them 0 gives square dots.
// - The stream runs over the raster as one line, so any width works. It opens with two
//   colours that are not part of the picture: the rows imagined before the first one (which
//   copies near the top read) repeat them, alternately.
// - A stream that ends early is read as if zero bits followed; once the reader is more than a
//   few bytes past the end the picture is broken data, so that a short file cannot run on
//   over a large picture.
#pragma once

#include "plugins/common/spi_common.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ifpi {

// True when the data begins with the "Pi" signature.
bool hasPiSignature(const uint8_t* data, size_t size);

class PiPicture {
public:
    // Reads the comment and the header; the bytes must outlive this object. Returns
    // SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no signature, or no end to the comment) or
    // SPI_BROKEN_DATA (a header, machine-dependent block or palette that runs past the end,
    // a plane count other than 4 or 8, a zero width or height).
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int16_t bitsPerPixel() const { return int16_t(planes_); }
    spi::Densities densities() const;
    const std::string& text() const { return comment_; }
    int colours() const { return 1 << planes_; }

    // Decodes the stream into dib (8 bits, colours() entries). Returns SPI_SUCCESS,
    // SPI_ABORTED, SPI_BROKEN_DATA or SPI_NO_MEMORY.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    void fillPalette(SpiRgbQuad* table) const;

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t paletteOffset_ = 0; // where the palette lies, when the file has one
    size_t streamOffset_ = 0;
    bool defaultPalette_ = false;
    uint8_t aspectN_ = 0;
    uint8_t aspectM_ = 0;
    int planes_ = 4;
    int32_t width_ = 0;
    int32_t height_ = 0;
    std::string comment_;
};

} // namespace ifpi
