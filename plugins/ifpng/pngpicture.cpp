#include "plugins/ifpng/pngpicture.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace ifpng {
namespace {

constexpr uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// The signature, then IHDR's length, type, 13 bytes of data and CRC.
constexpr size_t kHeaderBytes = 8 + 8 + 13 + 4;

// Longest side libpng is allowed to read. Its row buffers grow with the width (up to 8 bytes a
// pixel); a side beyond this is refused as too large, whatever the data holds.
constexpr png_uint_32 kMaxSide = 1000000;
// What libpng may allocate for one ancillary chunk (text, ICC profile; decompressed ones
// included), and how many text and unknown chunks it keeps.
constexpr png_alloc_size_t kMaxChunkBytes = 8u << 20;
constexpr png_uint_32 kMaxCachedChunks = 256;
// The largest block libpng is given. Its biggest legitimate ones are rows (8 bytes a pixel at
// most); a text chunk's buffer is allocated (and zeroed) at the length the chunk declares, which
// libpng itself only warns about, so a small file could otherwise ask for 2 GB. A refused chunk
// buffer is a damaged ancillary chunk, left out.
constexpr png_alloc_size_t kMaxLibpngBlock = kMaxChunkBytes;
static_assert(png_alloc_size_t(kMaxSide) * 8 + 64 <= kMaxLibpngBlock);

// Deflate turns each byte into at most 1032 bytes (a 258-byte match in two bits). A picture
// claiming more pixel bytes than its compressed data can hold cannot be complete, and is refused
// before its DIB is allocated.
constexpr uint64_t kMostInflatedPerByte = 1032;
constexpr uint64_t kStreamOverhead = 64; // zlib header, checksum, block headers

// Compressed bytes libpng reads at a time. A picture whose data ends early shows the rows
// inflated from the pieces read before the end, so the pieces are kept small.
constexpr size_t kCompressedPiece = 1024;

constexpr int32_t kRowsPerBand = 64;
constexpr size_t kLongestComment = 1024;

uint32_t bigEndian32(const uint8_t* p) {
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

} // namespace

bool hasPngSignature(const uint8_t* data, size_t size) {
    return data && size >= 16 && std::memcmp(data, kSignature, sizeof kSignature) == 0 &&
           std::memcmp(data + 12, "IHDR", 4) == 0;
}

PngPicture::~PngPicture() {
    if (png_)
        png_destroy_read_struct(&png_, info_ ? &info_ : nullptr, nullptr);
}

template <typename Step> int32_t PngPicture::guarded(Step&& step) {
    if (setjmp(jump_) != 0)
        return failure_;
    return step();
}

void PngPicture::fail(int32_t result) {
    failure_ = result;
    std::longjmp(jump_, 1);
}

void PngPicture::onError(png_structp png, png_const_charp /*message*/) {
    PngPicture& self = *static_cast<PngPicture*>(png_get_error_ptr(png));
    self.fail(self.outOfMemory_ ? SPI_NO_MEMORY : SPI_BROKEN_DATA);
}

// Warnings (and the errors libpng counts as benign, such as a damaged ancillary chunk, which is
// dropped) leave the picture as libpng reads it.
void PngPicture::onWarning(png_structp, png_const_charp) {}

void PngPicture::readData(png_structp png, png_bytep target, size_t count) {
    PngPicture& self = *static_cast<PngPicture*>(png_get_io_ptr(png));
    if (count > self.size_ - self.position_) {
        self.ranOutOfData_ = true;
        png_error(png, "the data ends early");
    }
    std::memcpy(target, self.data_ + self.position_, count);
    self.position_ += count;
}

png_voidp PngPicture::allocate(png_structp png, png_alloc_size_t size) {
    if (size > kMaxLibpngBlock)
        return nullptr;
    png_voidp pointer = std::malloc(size);
    if (!pointer)
        static_cast<PngPicture*>(png_get_mem_ptr(png))->outOfMemory_ = true;
    return pointer;
}

void PngPicture::release(png_structp, png_voidp pointer) {
    std::free(pointer);
}

int32_t PngPicture::open(const uint8_t* data, size_t size) {
    if (!hasPngSignature(data, size) || size < kHeaderBytes)
        return SPI_UNKNOWN_FORMAT;
    const uint32_t declaredWidth = bigEndian32(data + 16);
    const uint32_t declaredHeight = bigEndian32(data + 20);
    if ((declaredWidth > kMaxSide && declaredWidth <= PNG_UINT_31_MAX) ||
        (declaredHeight > kMaxSide && declaredHeight <= PNG_UINT_31_MAX))
        return SPI_NO_MEMORY;
    data_ = data;
    size_ = size;
    position_ = 0;
    return guarded([&]() -> int32_t {
        png_ = png_create_read_struct_2(PNG_LIBPNG_VER_STRING, this, onError, onWarning, this,
                                        allocate, release);
        if (!png_)
            return SPI_NO_MEMORY;
        info_ = png_create_info_struct(png_);
        if (!info_)
            return SPI_NO_MEMORY;
        png_set_user_limits(png_, kMaxSide, kMaxSide);
        png_set_chunk_malloc_max(png_, kMaxChunkBytes);
        png_set_chunk_cache_max(png_, kMaxCachedChunks);
        // A damaged critical chunk is broken data; a damaged ancillary one is dropped, as
        // viewers do, and the picture shown without it.
        png_set_crc_action(png_, PNG_CRC_ERROR_QUIT, PNG_CRC_WARN_DISCARD);
        png_set_compression_buffer_size(png_, kCompressedPiece);
        png_set_read_fn(png_, this, readData);
        png_read_info(png_, info_);
        int interlace = PNG_INTERLACE_NONE;
        png_get_IHDR(png_, info_, &width_, &height_, &bitDepth_, &colourType_, &interlace, nullptr,
                     nullptr);
        interlaced_ = interlace != PNG_INTERLACE_NONE;
        readComment();
        return SPI_SUCCESS;
    });
}

void PngPicture::readComment() {
    png_textp texts = nullptr;
    const int count = png_get_text(png_, info_, &texts, nullptr);
    for (int i = 0; i < count; ++i) {
        if (texts[i].key && texts[i].text && std::strcmp(texts[i].key, "Comment") == 0) {
            comment_.assign(texts[i].text, strnlen(texts[i].text, kLongestComment));
            return;
        }
    }
}

spi::Densities PngPicture::densities() const {
    spi::Densities result;
    png_uint_32 x = 0;
    png_uint_32 y = 0;
    int unit = PNG_RESOLUTION_UNKNOWN;
    if (!png_get_pHYs(png_, info_, &x, &y, &unit) || x == 0 || y == 0)
        return result;
    if (unit == PNG_RESOLUTION_METER) {
        result.x = spi::clampDensity(x * 0.0254);
        result.y = spi::clampDensity(y * 0.0254);
        result.xPelsPerMeter = int32_t(std::min<png_uint_32>(x, INT32_MAX));
        result.yPelsPerMeter = int32_t(std::min<png_uint_32>(y, INT32_MAX));
        return result;
    }
    // Only the ratio means something: brought into the 16-bit range when it lies beyond.
    const double scale = std::min(1.0, 65535.0 / std::max(x, y));
    result.x = spi::clampDensity(x * scale);
    result.y = spi::clampDensity(y * scale);
    return result;
}

int16_t PngPicture::bitsPerPixel() const {
    return int16_t(png_get_channels(png_, info_) * bitDepth_);
}

bool PngPicture::indexed() const {
    return (colourType_ == PNG_COLOR_TYPE_GRAY || colourType_ == PNG_COLOR_TYPE_PALETTE) &&
           bitDepth_ <= 8;
}

void PngPicture::fillColourTable(SpiRgbQuad* table, int entries) const {
    std::fill(table, table + entries, SpiRgbQuad{0, 0, 0, 0});
    png_bytep alphas = nullptr;
    int alphaCount = 0;
    png_color_16p transparent = nullptr;
    const bool hasTransparency =
        png_get_tRNS(png_, info_, &alphas, &alphaCount, &transparent) & PNG_INFO_tRNS;
    if (colourType_ == PNG_COLOR_TYPE_GRAY) {
        for (int level = 0; level < entries; ++level) {
            const auto grey = uint8_t(level * 255 / (entries - 1));
            table[level] = {grey, grey, grey, 0};
        }
        if (hasTransparency && transparent && transparent->gray < entries)
            table[transparent->gray] = {255, 255, 255, 0};
        return;
    }
    png_colorp colours = nullptr;
    int colourCount = 0;
    png_get_PLTE(png_, info_, &colours, &colourCount);
    for (int i = 0; i < std::min(colourCount, entries); ++i) {
        const unsigned alpha = hasTransparency && alphas && i < alphaCount ? alphas[i] : 255;
        table[i] = {spi::overWhite(colours[i].blue, alpha), spi::overWhite(colours[i].green, alpha),
                    spi::overWhite(colours[i].red, alpha), 0};
    }
}

bool PngPicture::imageDataCanFill() const {
    uint64_t compressed = 0;
    for (size_t at = 8; at + 8 <= size_;) {
        const uint32_t length = bigEndian32(data_ + at);
        const uint8_t* type = data_ + at + 4;
        at += 8;
        if (std::memcmp(type, "IEND", 4) == 0)
            break;
        if (std::memcmp(type, "IDAT", 4) == 0)
            compressed += std::min<uint64_t>(length, size_ - at);
        if (length > size_ - at)
            break;
        at += size_t(length) + 4;
    }
    // Both sides are at most kMaxSide and a pixel at most 64 bits: no overflow.
    const uint64_t pixelBytes = uint64_t(width_) * height_ * uint64_t(bitsPerPixel()) / 8;
    return pixelBytes / kMostInflatedPerByte <= compressed + kStreamOverhead;
}

int32_t PngPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    // A picture too large for the interface is refused as such, whatever the data holds.
    const bool eightBit = indexed();
    const int64_t stride = spi::dibStride(int32_t(width_), eightBit ? 8 : 24);
    if (stride < 0 || stride * int64_t(height_) > INT32_MAX)
        return SPI_NO_MEMORY;
    if (!imageDataCanFill())
        return SPI_BROKEN_DATA;

    bool withAlpha = false;
    int32_t result = guarded([&]() -> int32_t {
        if (eightBit) {
            png_set_packing(png_); // one index or grey level a byte
        } else {
            png_set_tRNS_to_alpha(png_);
            png_set_strip_16(png_); // the high byte of each sample
            png_set_gray_to_rgb(png_);
            png_set_bgr(png_);
        }
        png_set_interlace_handling(png_);
        png_read_update_info(png_, info_);
        withAlpha = !eightBit && png_get_channels(png_, info_) == 4;
        return SPI_SUCCESS;
    });
    if (result != SPI_SUCCESS)
        return result;

    // The rows are written here, so the block is not zeroed first.
    const int entries = eightBit ? 1 << bitDepth_ : 0;
    result = dib.allocate(int32_t(width_), int32_t(height_), eightBit ? 8 : 24, entries, false);
    if (result != SPI_SUCCESS)
        return result;
    if (eightBit)
        fillColourTable(dib.palette(), entries);
    // With alpha, libpng's rows (blue, green, red, alpha) are laid over white into the DIB.
    std::vector<uint8_t> alphaRow(withAlpha ? size_t(width_) * 4 : 0);
    const size_t rowBytes = size_t(width_) * (eightBit ? 1 : 3);

    result = readRows(dib, withAlpha ? alphaRow.data() : nullptr, progress, lData);
    if (result != SPI_SUCCESS) {
        // Data that ends early keeps the complete rows above its end, as camera pictures do.
        const bool keepsTopRows = result == SPI_BROKEN_DATA && ranOutOfData_ && rowsDone_ > 0;
        if (!keepsTopRows)
            return result;
        if (spi::progressAborts(progress, int32_t(height_), int32_t(height_), lData))
            return SPI_ABORTED;
    }
    dib.clearUnwritten(interlaced_ ? int32_t(height_) : rowsDone_, rowBytes);
    return SPI_SUCCESS;
}

int32_t PngPicture::readRows(spi::DibOutput& dib, uint8_t* alphaRow, SpiProgressCallback progress,
                             int32_t lData) {
    rowsDone_ = 0;
    return guarded([&]() -> int32_t {
        const int passes = interlaced_ ? PNG_INTERLACE_ADAM7_PASSES : 1;
        const int64_t height = int64_t(height_);
        // Every pass goes over every row; progress counts rows of the whole picture.
        const int64_t rowsPerReport = int64_t(kRowsPerBand) * passes;
        int64_t call = 0;
        for (int pass = 0; pass < passes; ++pass) {
            for (int64_t y = 0; y < height; ++y, ++call) {
                if (call % rowsPerReport == 0 &&
                    spi::progressAborts(progress, int32_t(call / passes), int32_t(height), lData))
                    return SPI_ABORTED;
                uint8_t* target = dib.row(int32_t(y));
                if (!alphaRow) {
                    // libpng writes the pixels of this pass only, and keeps the others.
                    png_read_row(png_, target, nullptr);
                } else {
                    png_read_row(png_, alphaRow, nullptr);
                    if (interlaced_ && !PNG_ROW_IN_INTERLACE_PASS(y, pass))
                        continue;
                    const png_uint_32 first = interlaced_ ? PNG_PASS_START_COL(pass) : 0;
                    const png_uint_32 step = interlaced_ ? 1u << PNG_PASS_COL_SHIFT(pass) : 1;
                    for (png_uint_32 x = first; x < width_; x += step) {
                        const uint8_t* bgra = alphaRow + size_t(x) * 4;
                        uint8_t* bgr = target + size_t(x) * 3;
                        bgr[0] = spi::overWhite(bgra[0], bgra[3]);
                        bgr[1] = spi::overWhite(bgra[1], bgra[3]);
                        bgr[2] = spi::overWhite(bgra[2], bgra[3]);
                    }
                }
                if (!interlaced_)
                    rowsDone_ = int32_t(y + 1);
            }
        }
        if (spi::progressAborts(progress, int32_t(height), int32_t(height), lData))
            return SPI_ABORTED;
        return SPI_SUCCESS;
    });
}

} // namespace ifpng
