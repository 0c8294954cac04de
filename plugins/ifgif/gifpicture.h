// The first image of a GIF file held in memory, read through giflib record by record (never the
// whole file at once) and drawn into an 8-bit DIB the size of the logical screen.
//
// How it looks:
// - The canvas is the logical screen with the first image drawn at its position and clipped to
//   the screen. A screen of zero width or height (written so by some broken encoders) gives way
//   to the first image's own size.
// - The colour table is the image's local table, else the global one, else a grey ramp. It always
//   has 256 entries (unused ones black), so that every index byte names a real entry.
// - A transparent index keeps its value; its table entry is made white, the colour of the paper
//   the pictures are printed on.
// - The canvas outside the image is transparent too (the background colour is a hint for
//   animations, not part of the picture), and so white: painted with the transparent index, an
//   entry that is white, or an index the image does not use made white. When the image uses all
//   256 indices and none is white, the picture comes out at 24 bits instead.
#pragma once

#include "plugins/common/spi_common.h"

#include <gif_lib.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace ifgif {

// True for "GIF87a" and "GIF89a".
bool hasGifSignature(const uint8_t* data, size_t size);

class GifPicture {
public:
    GifPicture() = default;
    GifPicture(const GifPicture&) = delete;
    GifPicture& operator=(const GifPicture&) = delete;

    // Reads the screen descriptor and every record up to the first image's descriptor; the
    // bytes must outlive this object. Returns SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no GIF signature),
    // SPI_BROKEN_DATA or SPI_NO_MEMORY.
    int32_t open(const uint8_t* data, size_t size);

    int32_t width() const { return canvasWidth_; }
    int32_t height() const { return canvasHeight_; }
    // Densities that give the pixel aspect of the screen descriptor: a pixel (aspect + 15) / 64
    // times as wide as it is tall has 64 pixels across for every (aspect + 15) down. 1 and 1
    // when the file gives no aspect.
    spi::Densities densities() const;
    // Bits per entry of the colour table in use.
    int16_t bitsPerPixel() const;
    // The comment extensions before the first image, shortened to a sensible length.
    const std::string& text() const { return comment_; }

    // Decodes the first image into dib. Returns SPI_SUCCESS, SPI_ABORTED, SPI_BROKEN_DATA or
    // SPI_NO_MEMORY; dib holds a complete picture only on success.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

    // Where reads stand in the caller's bytes; giflib's read function works on it.
    struct MemoryReader {
        const uint8_t* data = nullptr;
        size_t size = 0;
        size_t position = 0;
    };

private:
    struct GifCloser {
        void operator()(GifFileType* gif) const {
            int error = 0;
            DGifCloseFile(gif, &error);
        }
    };

    // Decodes the first image's rows, handing each to store(y, pixels) with y counted in the
    // image from its top, in the order the file holds them.
    template <class Store>
    int32_t decodeRows(Store store, SpiProgressCallback progress, int32_t lData);
    // Draws the visible part of the image (visibleColumns × visibleRows indices) at its place
    // on a white canvas.
    int32_t compose(spi::DibOutput& dib, const std::vector<GifPixelType>& visible,
                    int32_t visibleColumns, int32_t visibleRows);
    // The index that shows white outside the image, or -1 when there is none to be had.
    static int whiteIndex(const SpiRgbQuad* table, const std::vector<GifPixelType>& visible);
    int32_t readUpToFirstImage();
    int32_t readExtension();
    int32_t giflibFailure() const;
    const ColorMapObject* colourMap() const;
    void fillColourTable(SpiRgbQuad* table) const;

    MemoryReader reader_;
    std::unique_ptr<GifFileType, GifCloser> gif_;
    int32_t canvasWidth_ = 0;
    int32_t canvasHeight_ = 0;
    int32_t frameLeft_ = 0; // where the first image goes on the canvas
    int32_t frameTop_ = 0;
    int32_t frameWidth_ = 0;
    int32_t frameHeight_ = 0;
    int transparentIndex_ = NO_TRANSPARENT_COLOR;
    std::string comment_;
};

} // namespace ifgif
