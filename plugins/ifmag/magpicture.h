// A MAG picture (MAKI02) held in memory, decoded into an 8-bit DIB with the file's own colour
// table: 16 entries for 16-colour pictures, 256 for 256-colour ones.
//
// What is read:
// - The text block runs from byte 8 to the first 0x1A after it: a 4-byte machine name, a 20-byte
//   user name and the comment. The comment is the text from byte 32 up to that 0x1A, as stored
//   (Shift-JIS, not converted). Some writers put the 0x1A inside the user name; such a file has
//   no comment. The 32-byte header follows the 0x1A, the colour table (G, R, B bytes) follows
//   the header, and every offset in the header counts from the header's start.
// - The picture is the screen area x0..x1, y0..y1 of the header. Rows are coded over that area
//   widened to whole groups of dots (8 dots at 16 colours) and cut back after decoding.
//   At 256 colours writers differ: most widen to 8 dots, some to 4 (one flag byte's worth).
//   8 is taken unless the length of the flag A stream (the distance from flag A to flag B) fits
//   rows of 4-dot groups and not rows of 8-dot groups.
// - The 200-line bit of the screen mode (dots twice as tall as wide) is reported as the
//   densities x 2, y 1. The machine code and its machine-dependent byte are not interpreted:
//   every picture is read as a PC-98 style picture with its colour table (MSX screen modes such
//   as YJK are not converted).
// - Damaged data: a back-reference to a word before the first row or left of the row's start,
//   or a flag B or pixel stream that ends (at its stored size or at the end of the file) before
//   the picture is complete, is broken data. The flag A stream must hold the bits of every row
//   before anything is allocated, so the work is bounded by the input's size.
#pragma once

#include "plugins/common/spi_common.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace ifmag {

// True when the data starts with "MAKI02" (the older MAKI01 pictures are another format).
bool hasMagSignature(const uint8_t* data, size_t size);

class MagPicture {
public:
    // Reads the text block, the header and the colour table; the bytes must outlive this
    // object. Returns SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no MAKI02 signature) or SPI_BROKEN_DATA.
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    spi::Densities densities() const;
    // 4 for 16 colours, 8 for 256.
    int16_t bitsPerPixel() const { return colours256_ ? 8 : 4; }
    const std::string& text() const { return comment_; }

    // Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA or SPI_NO_MEMORY; dib holds a complete
    // picture only on success.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t header_ = 0; // where the 32-byte header starts
    bool colours256_ = false;
    bool lines200_ = false;
    int32_t width_ = 0;
    int32_t height_ = 0;
    int32_t cropLeft_ = 0;    // dots of the coded row left of the picture
    int32_t wordsPerRow_ = 0; // 16-bit words of a coded row, always even
    uint64_t flagAOffset_ = 0;
    uint64_t flagBOffset_ = 0;
    uint64_t flagBSize_ = 0;
    uint64_t pixelOffset_ = 0;
    uint64_t pixelSize_ = 0;
    std::string comment_;
};

} // namespace ifmag
