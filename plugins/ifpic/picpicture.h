// A PIC picture held in memory: the header, the comment and the palette read on open, the bit
// stream decoded into a DIB on request.
//
// What it reads:
// - Machine type 0 (X68000), mode 0, at 4 and 8 bits (palette indices; the palette is one
//   X68000 colour word per entry) and at 15 and 16 bits (colours through the 128-slot cache).
// - Machine type 0xF (generic), modes 0, 1 and 0xF, at 15 and 24 bits.
// Other machine types and depths are not taken as this format (SPI_UNKNOWN_FORMAT).
//
// Colours: an X68000 colour word is GGGGG RRRRR BBBBB I (bit 15 to 0); a 15-bit colour is the
// word without its I bit, and the generic type's 15-bit colours are laid out the same way. Each
// 5-bit channel c is widened by replicating its high bits, (c << 3) | (c >> 2). The I bit is the
// lowest bit of a 6-bit channel: with I = 1 each channel is the 6-bit value 2c + 1 widened the same
// way, (v << 2) | (v >> 4), so that I lightens dark channels by up to 4 levels and leaves full
// ones at 255. 24-bit colours are 8 bits each of green, red and blue.
//
// The comment is the bytes between "PIC" and the 0x1A that ends it, as stored (Shift-JIS).
#pragma once

#include "plugins/common/spi_common.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ifpic {

// True for "PIC" followed, within size bytes, by the 0x1A that ends the comment.
bool hasPicSignature(const uint8_t* data, size_t size);

class PicPicture {
public:
    // Reads the header, comment and palette; the bytes must outlive this object. Returns
    // SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no signature, or a machine type or depth it does not
    // read) or SPI_BROKEN_DATA (a header or palette cut short, an empty picture).
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // The colour bits the file gives: 4, 8, 15, 16 or 24.
    int16_t bitsPerPixel() const { return int16_t(bits_); }
    // Dots per unit across (x) and down (y):
    // - X68000 at 8, 15 and 16 bits: dots 4/3 as wide as tall (x 3, y 4), unless the comment
    //   holds "/XSS/", which marks a square-dot picture; at 4 bits square.
    // - Generic type: the aspect bytes ah, al when both are non-zero (dots al wide for every ah
    //   tall: x ah, y al, reduced); else mode 1 gives 4:3 as on the X68000; else square.
    spi::Densities densities() const;
    const std::string& text() const { return comment_; }

    // Decodes the stream into a 24-bit DIB, or an 8-bit one with the palette for 4 and 8 bits.
    // Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA (the stream ends before the last dot, a
    // length longer than any picture, a chain that leaves the picture at its left or right) or
    // SPI_NO_MEMORY.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    enum class Machine { X68000, Generic };

    bool hasPalette() const { return bits_ <= 8; }
    template <class Output, class ColourSource>
    int32_t decodeStream(Output out, ColourSource newColour, SpiProgressCallback progress,
                         int32_t lData);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t streamStart_ = 0;
    Machine machine_ = Machine::X68000;
    int mode_ = 0;
    int bits_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint8_t aspectHeight_ = 0; // ah
    uint8_t aspectWidth_ = 0;  // al
    std::string comment_;
    std::array<SpiRgbQuad, 256> palette_{};
};

} // namespace ifpic
