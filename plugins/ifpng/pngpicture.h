// A PNG picture held in memory, decoded through libpng into a DIB.
//
// How it looks:
// - Grey and palette pictures of 8 bits or fewer come out as an 8-bit DIB with a colour table of
//   2^depth entries, so that every index byte names a real entry (palette entries the file does
//   not define are black). A palette entry's tRNS alpha, or the grey level tRNS marks
//   transparent, is laid over white in the table: each index has one colour, so that is exact.
// - Everything else comes out at 24 bits: 16-bit samples narrowed to their high byte, then
//   alpha (or tRNS transparency) laid over white, the colour of the paper the pictures are
//   printed on, rounded as the program does it for other pictures with alpha.
// - No gamma, colour-space or background chunk is applied; the samples are shown as stored.
// - Of an animated PNG the default image (the IDAT data) is shown, whether or not it is also
//   the animation's first frame; libpng passes the animation chunks over as unknown ones.
//
// Bad input: libpng reports errors by longjmp. The only function that calls setjmp is
// guarded(), and the steps it runs own nothing with a destructor (every object that needs one
// lives in the callers' frames, above the setjmp), so a longjmp never skips a destructor. What
// libpng may allocate is capped, and a picture's declared size is checked against the DIB's
// 32-bit size rule and against what its compressed data can hold before anything the size of
// the picture is allocated.
#pragma once

#include "plugins/common/spi_common.h"

#include <png.h>

#include <csetjmp>
#include <cstddef>
#include <cstdint>
#include <string>

namespace ifpng {

// True for the PNG signature followed by the header of an IHDR chunk.
bool hasPngSignature(const uint8_t* data, size_t size);

class PngPicture {
public:
    PngPicture() = default;
    ~PngPicture();
    PngPicture(const PngPicture&) = delete;
    PngPicture& operator=(const PngPicture&) = delete;

    // Reads every chunk up to the image data; the bytes must outlive this object. Returns
    // SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no signature, or no complete IHDR chunk after it),
    // SPI_BROKEN_DATA or SPI_NO_MEMORY (a side longer than libpng is allowed to read).
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return int32_t(width_); }
    int32_t height() const { return int32_t(height_); }
    // Densities from pHYs: dots per inch for a picture measured in metres, else the pixel
    // aspect; 1 and 1 without pHYs.
    spi::Densities densities() const;
    // Bits per pixel as stored: depth times channels.
    int16_t bitsPerPixel() const;
    // The first text chunk (tEXt, zTXt or iTXt) with the keyword "Comment" before the image
    // data, shortened to a sensible length; empty without one.
    const std::string& text() const { return comment_; }

    // Decodes the picture into dib. Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA or
    // SPI_NO_MEMORY. A non-interlaced picture whose data ends early keeps the rows decoded
    // before the end and is black below them; one that ends before its first row is broken.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    template <typename Step> int32_t guarded(Step&& step);
    [[noreturn]] void fail(int32_t result);
    static PngPicture& of(png_structp png);
    static void onError(png_structp png, png_const_charp message);
    static void onWarning(png_structp png, png_const_charp message);
    static void readData(png_structp png, png_bytep target, size_t count);
    static png_voidp allocate(png_structp png, png_alloc_size_t size);
    static void release(png_structp png, png_voidp pointer);

    // True when the picture takes an 8-bit DIB with a colour table.
    bool indexed() const;
    void fillColourTable(SpiRgbQuad* table, int entries) const;
    void readComment();
    // Whether the IDAT chunks hold enough compressed bytes for the picture's declared size.
    bool imageDataCanFill() const;
    // Reads every row (every pass of an interlaced picture) into dib; with alphaRow, a row of
    // blue, green, red and alpha that is laid over white into the DIB.
    int32_t readRows(spi::DibOutput& dib, uint8_t* alphaRow, SpiProgressCallback progress,
                     int32_t lData);

    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
    size_t position_ = 0;
    png_structp png_ = nullptr;
    png_infop info_ = nullptr;
    std::jmp_buf jump_{};
    int32_t failure_ = SPI_BROKEN_DATA;
    bool ranOutOfData_ = false;
    bool outOfMemory_ = false;
    int32_t rowsDone_ = 0; // complete rows of a non-interlaced picture, from the top

    png_uint_32 width_ = 0;
    png_uint_32 height_ = 0;
    int bitDepth_ = 0;
    int colourType_ = 0;
    bool interlaced_ = false;
    std::string comment_;
};

} // namespace ifpng
