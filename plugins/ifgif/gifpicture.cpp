#include "plugins/ifgif/gifpicture.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

namespace ifgif {
namespace {

// Rows decoded between two progress reports.
constexpr int32_t kRowsPerBand = 64;

constexpr size_t kLongestComment = 1024;

// An LZW code of at least 3 bits stands for at most 4096 pixels, so each byte of image data
// yields at most 4096 * 8 / 3 pixels. A first image claiming more than the remaining bytes can
// hold is truncated, and is refused before its canvas is allocated.
constexpr uint64_t kMostPixelsPerByte = 4096 * 8 / 3 + 1;

int readMemory(GifFileType* gif, GifByteType* buffer, int count) {
    auto* reader = static_cast<GifPicture::MemoryReader*>(gif->UserData);
    if (count <= 0 || reader->position >= reader->size)
        return 0;
    const size_t n = std::min(size_t(count), reader->size - reader->position);
    std::memcpy(buffer, reader->data + reader->position, n);
    reader->position += n;
    return int(n);
}

struct RowPass {
    int32_t first;
    int32_t step;
};

// Interlaced images store every 8th row from row 0, then every 8th from row 4, every 4th from
// row 2 and every 2nd from row 1.
constexpr RowPass kInterlacedPasses[] = {{0, 8}, {4, 8}, {2, 4}, {1, 2}};
constexpr RowPass kSequentialPass[] = {{0, 1}};

} // namespace

bool hasGifSignature(const uint8_t* data, size_t size) {
    return data && size >= 6 &&
           (std::memcmp(data, "GIF87a", 6) == 0 || std::memcmp(data, "GIF89a", 6) == 0);
}

int32_t GifPicture::open(const uint8_t* data, size_t size) {
    if (!hasGifSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    reader_ = MemoryReader{data, size, 0};
    int error = 0;
    gif_.reset(DGifOpen(&reader_, readMemory, &error));
    if (!gif_)
        return error == D_GIF_ERR_NOT_ENOUGH_MEM ? SPI_NO_MEMORY : SPI_BROKEN_DATA;
    if (const int32_t result = readUpToFirstImage(); result != SPI_SUCCESS)
        return result;

    const GifImageDesc& frame = gif_->Image;
    if (frame.Width <= 0 || frame.Height <= 0)
        return SPI_BROKEN_DATA;
    frameWidth_ = frame.Width;
    frameHeight_ = frame.Height;
    if (gif_->SWidth > 0 && gif_->SHeight > 0) {
        canvasWidth_ = gif_->SWidth;
        canvasHeight_ = gif_->SHeight;
        frameLeft_ = frame.Left;
        frameTop_ = frame.Top;
    } else {
        canvasWidth_ = frameWidth_;
        canvasHeight_ = frameHeight_;
    }
    return SPI_SUCCESS;
}

int32_t GifPicture::giflibFailure() const {
    return gif_->Error == D_GIF_ERR_NOT_ENOUGH_MEM ? SPI_NO_MEMORY : SPI_BROKEN_DATA;
}

int32_t GifPicture::readUpToFirstImage() {
    for (;;) {
        GifRecordType type = UNDEFINED_RECORD_TYPE;
        if (DGifGetRecordType(gif_.get(), &type) == GIF_ERROR)
            return giflibFailure();
        switch (type) {
        case IMAGE_DESC_RECORD_TYPE:
            return DGifGetImageDesc(gif_.get()) == GIF_ERROR ? giflibFailure() : SPI_SUCCESS;
        case EXTENSION_RECORD_TYPE:
            if (const int32_t result = readExtension(); result != SPI_SUCCESS)
                return result;
            break;
        default: // the trailer before any image, or a record giflib does not know
            return SPI_BROKEN_DATA;
        }
    }
}

int32_t GifPicture::readExtension() {
    int code = 0;
    GifByteType* block = nullptr;
    if (DGifGetExtension(gif_.get(), &code, &block) == GIF_ERROR)
        return giflibFailure();
    for (bool first = true; block; first = false) {
        const size_t length = block[0];
        if (code == GRAPHICS_EXT_FUNC_CODE && first) {
            // The last graphic control block before the image is the one that applies to it.
            GraphicsControlBlock control;
            if (DGifExtensionToGCB(length, block + 1, &control) == GIF_OK)
                transparentIndex_ = control.TransparentColor;
        } else if (code == COMMENT_EXT_FUNC_CODE) {
            comment_.append(reinterpret_cast<const char*>(block + 1),
                            std::min(length, kLongestComment - comment_.size()));
        }
        if (DGifGetExtensionNext(gif_.get(), &block) == GIF_ERROR)
            return giflibFailure();
    }
    return SPI_SUCCESS;
}

const ColorMapObject* GifPicture::colourMap() const {
    return gif_->Image.ColorMap ? gif_->Image.ColorMap : gif_->SColorMap;
}

spi::Densities GifPicture::densities() const {
    spi::Densities result;
    if (gif_->AspectByte) {
        result.x = 64;
        result.y = uint16_t(gif_->AspectByte + 15);
    }
    return result;
}

int16_t GifPicture::bitsPerPixel() const {
    const ColorMapObject* map = colourMap();
    return int16_t(map ? map->BitsPerPixel : 8);
}

void GifPicture::fillColourTable(SpiRgbQuad* table) const {
    const ColorMapObject* map = colourMap();
    for (int i = 0; i < 256; ++i) {
        if (!map) {
            table[i] = SpiRgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        } else if (i < map->ColorCount) {
            const GifColorType& colour = map->Colors[i];
            table[i] = SpiRgbQuad{colour.Blue, colour.Green, colour.Red, 0};
        } else {
            table[i] = SpiRgbQuad{0, 0, 0, 0};
        }
    }
    if (transparentIndex_ >= 0 && transparentIndex_ < 256)
        table[transparentIndex_] = SpiRgbQuad{255, 255, 255, 0};
}

int32_t GifPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    // A canvas too large for the interface is refused as such, whatever the data holds.
    const int64_t stride = spi::dibStride(canvasWidth_, 8);
    if (stride < 0 || stride * canvasHeight_ > INT32_MAX)
        return SPI_NO_MEMORY;
    const uint64_t remaining = reader_.size - reader_.position;
    if (uint64_t(frameWidth_) * uint64_t(frameHeight_) > remaining * kMostPixelsPerByte)
        return SPI_BROKEN_DATA;

    const bool frameCoversCanvas = frameLeft_ == 0 && frameTop_ == 0 &&
                                   frameWidth_ >= canvasWidth_ && frameHeight_ >= canvasHeight_;
    if (frameCoversCanvas) {
        // The rows go straight into the picture, cut to the canvas.
        if (const int32_t result = dib.allocate(canvasWidth_, canvasHeight_, 8, 256);
            result != SPI_SUCCESS)
            return result;
        fillColourTable(dib.palette());
        return decodeRows(
            [&](int32_t y, const GifPixelType* line) {
                if (y < canvasHeight_)
                    std::memcpy(dib.row(y), line, size_t(canvasWidth_));
            },
            progress, lData);
    }

    // The part of the image on the canvas is kept until it is known which colour index can
    // paint the rest of the canvas white.
    const int32_t visibleColumns = std::clamp(canvasWidth_ - frameLeft_, 0, frameWidth_);
    const int32_t visibleRows =
        visibleColumns > 0 ? std::clamp(canvasHeight_ - frameTop_, 0, frameHeight_) : 0;
    std::vector<GifPixelType> visible(size_t(visibleColumns) * size_t(visibleRows));
    if (const int32_t result = decodeRows(
            [&](int32_t y, const GifPixelType* line) {
                if (y < visibleRows)
                    std::memcpy(visible.data() + size_t(y) * size_t(visibleColumns), line,
                                size_t(visibleColumns));
            },
            progress, lData);
        result != SPI_SUCCESS)
        return result;
    return compose(dib, visible, visibleColumns, visibleRows);
}

template <class Store>
int32_t GifPicture::decodeRows(Store store, SpiProgressCallback progress, int32_t lData) {
    std::vector<GifPixelType> line(static_cast<size_t>(frameWidth_));
    int32_t decodedRows = 0;
    const auto decodePasses = [&](const auto& passes) -> int32_t {
        for (const RowPass& pass : passes) {
            for (int32_t y = pass.first; y < frameHeight_; y += pass.step) {
                if (decodedRows % kRowsPerBand == 0 &&
                    spi::progressAborts(progress, decodedRows, frameHeight_, lData))
                    return SPI_ABORTED;
                if (DGifGetLine(gif_.get(), line.data(), frameWidth_) == GIF_ERROR)
                    return giflibFailure();
                ++decodedRows;
                store(y, line.data());
            }
        }
        return SPI_SUCCESS;
    };
    const int32_t result =
        gif_->Image.Interlace ? decodePasses(kInterlacedPasses) : decodePasses(kSequentialPass);
    if (result == SPI_SUCCESS && spi::progressAborts(progress, frameHeight_, frameHeight_, lData))
        return SPI_ABORTED;
    return result;
}

int GifPicture::whiteIndex(const SpiRgbQuad* table, const std::vector<GifPixelType>& visible) {
    const auto isWhite = [](const SpiRgbQuad& entry) {
        return entry.rgbRed == 255 && entry.rgbGreen == 255 && entry.rgbBlue == 255;
    };
    // The transparent index's entry is white already, and another entry may be.
    for (int i = 0; i < 256; ++i)
        if (isWhite(table[i]))
            return i;
    std::array<bool, 256> used{};
    for (const GifPixelType index : visible)
        used[index] = true;
    for (int i = 255; i >= 0; --i)
        if (!used[i])
            return i;
    return -1;
}

int32_t GifPicture::compose(spi::DibOutput& dib, const std::vector<GifPixelType>& visible,
                            int32_t visibleColumns, int32_t visibleRows) {
    std::array<SpiRgbQuad, 256> table;
    fillColourTable(table.data());
    const int white = whiteIndex(table.data(), visible);
    const auto visibleRow = [&](int32_t y) {
        return visible.data() + size_t(y) * size_t(visibleColumns);
    };

    if (white >= 0) {
        if (const int32_t result = dib.allocate(canvasWidth_, canvasHeight_, 8, 256);
            result != SPI_SUCCESS)
            return result;
        table[size_t(white)] = SpiRgbQuad{255, 255, 255, 0};
        std::copy(table.begin(), table.end(), dib.palette());
        for (int32_t y = 0; y < canvasHeight_; ++y)
            std::memset(dib.row(y), white, size_t(canvasWidth_));
        for (int32_t y = 0; y < visibleRows; ++y)
            std::memcpy(dib.row(frameTop_ + y) + frameLeft_, visibleRow(y), size_t(visibleColumns));
        return SPI_SUCCESS;
    }

    // Every index is taken and none is white: the colours themselves go into the picture.
    if (const int32_t result = dib.allocate(canvasWidth_, canvasHeight_, 24, 0);
        result != SPI_SUCCESS)
        return result;
    for (int32_t y = 0; y < canvasHeight_; ++y)
        std::memset(dib.row(y), 255, size_t(canvasWidth_) * 3);
    for (int32_t y = 0; y < visibleRows; ++y) {
        uint8_t* target = dib.row(frameTop_ + y) + size_t(frameLeft_) * 3;
        const GifPixelType* source = visibleRow(y);
        for (int32_t x = 0; x < visibleColumns; ++x, target += 3) {
            const SpiRgbQuad& colour = table[source[x]];
            target[0] = colour.rgbBlue;
            target[1] = colour.rgbGreen;
            target[2] = colour.rgbRed;
        }
    }
    return SPI_SUCCESS;
}

} // namespace ifgif
