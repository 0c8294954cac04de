#include "plugins/iftiff/tiffpicture.h"

#include "plugins/iftiff/tifflimits.h"
#include "plugins/iftiff/tiffsamples.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

namespace iftiff {
namespace {

constexpr size_t kLongestDescription = 1024;

using Stream = TiffPicture::MemoryStream;

tmsize_t readStream(thandle_t handle, void* buffer, tmsize_t count) {
    auto* stream = static_cast<Stream*>(handle);
    if (count <= 0 || stream->position >= stream->size)
        return 0;
    const uint64_t n = std::min<uint64_t>(uint64_t(count), stream->size - stream->position);
    std::memcpy(buffer, stream->data + stream->position, size_t(n));
    stream->position += n;
    return tmsize_t(n);
}

tmsize_t refuseWrite(thandle_t, void*, tmsize_t) {
    return 0;
}

toff_t seekStream(thandle_t handle, toff_t offset, int whence) {
    auto* stream = static_cast<Stream*>(handle);
    int64_t base = 0;
    switch (whence) {
    case SEEK_SET:
        break;
    case SEEK_CUR:
        base = int64_t(stream->position);
        break;
    case SEEK_END:
        base = int64_t(stream->size);
        break;
    default:
        return toff_t(-1);
    }
    // Backward moves arrive as wrapped-around unsigned offsets.
    int64_t target = 0;
    if (__builtin_add_overflow(base, int64_t(offset), &target) || target < 0)
        return toff_t(-1);
    stream->position = uint64_t(target);
    return stream->position;
}

int closeStream(thandle_t) {
    return 0;
}

toff_t streamSize(thandle_t handle) {
    return static_cast<Stream*>(handle)->size;
}

// The bytes are already in memory, so libtiff reads them in place, as from a mapped file
// (libtiff 4.5.0 also refuses uncompressed tiles read through its copying path). libtiff never
// writes through a mapping of a file it opened for reading.
int mapStream(thandle_t handle, void** base, toff_t* size) {
    auto* stream = static_cast<Stream*>(handle);
    *base = const_cast<uint8_t*>(stream->data);
    *size = stream->size;
    return 1;
}

void unmapStream(thandle_t, void*, toff_t) {}

struct OpenOptionsFree {
    void operator()(TIFFOpenOptions* options) const { TIFFOpenOptionsFree(options); }
};

struct RgbaImageEnd {
    void operator()(TIFFRGBAImage* image) const { TIFFRGBAImageEnd(image); }
};

// Sample `index` of a row of packed 1-, 2-, 4-, 8- or 16-bit samples as an 8-bit value; a 16-bit
// sample keeps its high byte (libtiff has already put it in the machine's byte order).
uint8_t sampleAt(const uint8_t* row, size_t index, uint16_t bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        uint16_t value = 0;
        std::memcpy(&value, row + index * 2, sizeof value);
        return uint8_t(value >> 8);
    }
    default: {
        const size_t bit = index * bits;
        const unsigned shift = 8u - bits - unsigned(bit % 8);
        return uint8_t((row[bit / 8] >> shift) & ((1u << bits) - 1));
    }
    }
}

void unpackRow(const uint8_t* source, uint16_t bits, uint32_t count, uint8_t* target) {
    if (bits == 8) {
        std::memcpy(target, source, count);
        return;
    }
    for (uint32_t x = 0; x < count; ++x)
        target[x] = sampleAt(source, x, bits);
}

int32_t pelsPerMeter(double dotsPerInch) {
    const double value = dotsPerInch / 0.0254;
    return value >= double(INT32_MAX) ? INT32_MAX : int32_t(std::lround(value));
}

bool isSupportedIndexedDepth(uint16_t bits, bool allowSixteen) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || (allowSixteen && bits == 16);
}

} // namespace

bool hasTiffSignature(const uint8_t* data, size_t size) {
    if (!data || size < 4)
        return false;
    const bool little =
        data[0] == 'I' && data[1] == 'I' && (data[2] == 42 || data[2] == 43) && data[3] == 0;
    const bool big =
        data[0] == 'M' && data[1] == 'M' && data[2] == 0 && (data[3] == 42 || data[3] == 43);
    return little || big;
}

QuietLibtiff::QuietLibtiff()
    : error_(TIFFSetErrorHandler(nullptr)), warning_(TIFFSetWarningHandler(nullptr)),
      errorExt_(TIFFSetErrorHandlerExt(nullptr)), warningExt_(TIFFSetWarningHandlerExt(nullptr)) {}

QuietLibtiff::~QuietLibtiff() {
    TIFFSetErrorHandler(error_);
    TIFFSetWarningHandler(warning_);
    TIFFSetErrorHandlerExt(errorExt_);
    TIFFSetWarningHandlerExt(warningExt_);
}

int32_t TiffPicture::open(const uint8_t* data, size_t size) {
    if (!hasTiffSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    stream_ = MemoryStream{data, size, 0};
    std::unique_ptr<TIFFOpenOptions, OpenOptionsFree> options(TIFFOpenOptionsAlloc());
    if (!options)
        return SPI_NO_MEMORY;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options.get(), tmsize_t(kLargestBuffer));
    tiff_.reset(TIFFClientOpenExt("picture", "r", &stream_, readStream, refuseWrite, seekStream,
                                  closeStream, streamSize, mapStream, unmapStream, options.get()));
    if (!tiff_)
        return SPI_BROKEN_DATA;

    TIFF* tif = tiff_.get();
    if (TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width_) != 1 ||
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height_) != 1 || width_ == 0 || height_ == 0)
        return SPI_BROKEN_DATA;
    if (width_ > INT32_MAX || height_ > INT32_MAX)
        return SPI_NO_MEMORY;
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bitsPerSample_);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &samplesPerPixel_);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat_);
    TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression_);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planarConfig_);
    hasPhotometric_ = TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric_) == 1;
    tiled_ = TIFFIsTiled(tif) != 0;
    return SPI_SUCCESS;
}

int16_t TiffPicture::bitsPerPixel() const {
    // Both counts may be anything up to 65535 in a hostile file.
    return int16_t(std::min<int64_t>(int64_t(bitsPerSample_) * samplesPerPixel_, INT16_MAX));
}

spi::Densities TiffPicture::densities() const {
    TIFF* tif = tiff_.get();
    float xResolution = 0;
    float yResolution = 0;
    const bool hasX = TIFFGetField(tif, TIFFTAG_XRESOLUTION, &xResolution) == 1 &&
                      std::isfinite(xResolution) && xResolution > 0;
    const bool hasY = TIFFGetField(tif, TIFFTAG_YRESOLUTION, &yResolution) == 1 &&
                      std::isfinite(yResolution) && yResolution > 0;
    if (!hasX && !hasY)
        return {};
    double x = hasX ? xResolution : yResolution;
    double y = hasY ? yResolution : xResolution;

    uint16_t unit = RESUNIT_INCH;
    TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &unit);
    spi::Densities result;
    if (unit == RESUNIT_NONE) {
        // Only the ratio means something: scale it into the 16-bit range, rounding last.
        const double larger = std::max(x, y);
        const double smaller = std::min(x, y);
        double scale = 1.0;
        if (larger > 65535.0)
            scale = 65535.0 / larger;
        else if (smaller < 1.0)
            scale = std::min(1.0 / smaller, 65535.0 / larger);
        result.x = spi::clampDensity(x * scale);
        result.y = spi::clampDensity(y * scale);
        return result;
    }
    if (unit == RESUNIT_CENTIMETER) {
        x *= 2.54;
        y *= 2.54;
    }
    result.x = spi::clampDensity(x);
    result.y = spi::clampDensity(y);
    result.xPelsPerMeter = pelsPerMeter(x);
    result.yPelsPerMeter = pelsPerMeter(y);
    return result;
}

std::string TiffPicture::text() const {
    const char* text = nullptr;
    if (TIFFGetField(tiff_.get(), TIFFTAG_IMAGEDESCRIPTION, &text) != 1 || !text)
        return {};
    return std::string(text, strnlen(text, kLongestDescription));
}

TiffPicture::Route TiffPicture::route() const {
    // No sample is wider than 64 bits, and a pixel has at least one.
    if (bitsPerSample_ == 0 || bitsPerSample_ > 64 || samplesPerPixel_ == 0)
        return Route::Broken;
    // A codec this libtiff was built without: the file may be sound, but it cannot be read.
    if (!TIFFIsCODECConfigured(compression_))
        return Route::Refused;
    const bool oneUnsignedSample = samplesPerPixel_ == 1 && (sampleFormat_ == SAMPLEFORMAT_UINT ||
                                                             sampleFormat_ == SAMPLEFORMAT_VOID);
    if (oneUnsignedSample && hasPhotometric_) {
        if (photometric_ == PHOTOMETRIC_PALETTE && isSupportedIndexedDepth(bitsPerSample_, false))
            return Route::Palette;
        if ((photometric_ == PHOTOMETRIC_MINISBLACK || photometric_ == PHOTOMETRIC_MINISWHITE) &&
            isSupportedIndexedDepth(bitsPerSample_, true))
            return Route::Grey;
    }
    if (hasPhotometric_ && wantsSampleDecoding(photometric_, sampleFormat_, bitsPerSample_))
        return Route::Samples;
    return Route::Colour;
}

int32_t TiffPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    const Route how = route();
    // A picture too large for the interface is refused as such, whatever its data holds, even
    // at the 8 bits a pixel of the smallest picture it could have been.
    const bool eightBits =
        how != Route::Colour && (how != Route::Samples || photometric_ == PHOTOMETRIC_MINISBLACK ||
                                 photometric_ == PHOTOMETRIC_MINISWHITE);
    const int64_t stride = spi::dibStride(width(), eightBits ? 8 : 24);
    if (stride < 0 || stride * height() > INT32_MAX)
        return SPI_NO_MEMORY;
    if (how == Route::Broken)
        return SPI_BROKEN_DATA;
    if (how == Route::Refused)
        return SPI_UNKNOWN_FORMAT;
    if (const int32_t result = checkDataCanHoldPage(); result != SPI_SUCCESS)
        return result;
    switch (how) {
    case Route::Samples:
        return decodeSamples(tiff_.get(), dib, progress, lData);
    case Route::Colour:
        return decodeColour(dib, progress, lData);
    default:
        return decodeIndexed(dib, how == Route::Palette, progress, lData);
    }
}

// A header may claim a page far larger than the bytes present could ever decode to. For the
// codecs whose greatest expansion is known, such a page is refused as truncated before anything
// is allocated for it.
int32_t TiffPicture::checkDataCanHoldPage() const {
    TIFF* tif = tiff_.get();
    uint64_t decodedBytes = 0;
    uint64_t codedRows = 0;
    if (tiled_) {
        uint32_t tileHeight = 0;
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
        const uint64_t tileBytes = TIFFTileSize64(tif);
        const uint64_t tiles = TIFFNumberOfTiles(tif);
        if (tileBytes == 0 || tiles == 0 || tileHeight == 0)
            return SPI_BROKEN_DATA;
        decodedBytes = saturatingProduct(tileBytes, tiles);
        codedRows = saturatingProduct(tileHeight, tiles);
    } else {
        const uint64_t rowBytes = TIFFScanlineSize64(tif);
        if (rowBytes == 0)
            return SPI_BROKEN_DATA;
        const uint64_t planes = planarConfig_ == PLANARCONFIG_SEPARATE ? samplesPerPixel_ : 1;
        codedRows = saturatingProduct(height_, planes);
        decodedBytes = saturatingProduct(rowBytes, codedRows);
    }

    const uint64_t available = stream_.size;
    uint64_t largestExpansion = 0;
    switch (compression_) {
    case COMPRESSION_NONE:
        largestExpansion = 1;
        break;
    case COMPRESSION_PACKBITS:
        largestExpansion = 64; // two bytes repeat one byte 128 times
        break;
    case COMPRESSION_LZW:
        largestExpansion = 4096; // a code of at least 9 bits stands for at most 4096 bytes
        break;
    case COMPRESSION_ADOBE_DEFLATE:
    case COMPRESSION_DEFLATE:
        largestExpansion = 1032; // deflate's greatest ratio
        break;
    case COMPRESSION_CCITTRLE:
    case COMPRESSION_CCITTRLEW:
    case COMPRESSION_CCITTFAX3:
    case COMPRESSION_CCITTFAX4:
        // Fax codes spend at least one bit on every row, however wide.
        return codedRows > saturatingProduct(available, 8) ? SPI_BROKEN_DATA : SPI_SUCCESS;
    default:
        return SPI_SUCCESS;
    }
    return decodedBytes > saturatingProduct(available, largestExpansion) ? SPI_BROKEN_DATA
                                                                         : SPI_SUCCESS;
}

int32_t TiffPicture::decodeIndexed(spi::DibOutput& dib, bool palette, SpiProgressCallback progress,
                                   int32_t lData) {
    TIFF* tif = tiff_.get();
    const uint64_t bufferBytes = tiled_ ? TIFFTileSize64(tif) : TIFFScanlineSize64(tif);
    if (bufferBytes == 0)
        return SPI_BROKEN_DATA;
    if (bufferBytes > kLargestBuffer)
        return SPI_NO_MEMORY;
    uint16_t* red = nullptr;
    uint16_t* green = nullptr;
    uint16_t* blue = nullptr;
    if (palette && TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) != 1)
        return SPI_BROKEN_DATA;

    const int entries = bitsPerSample_ == 16 ? 256 : 1 << bitsPerSample_;
    if (const int32_t result = dib.allocate(width(), height(), 8, entries); result != SPI_SUCCESS)
        return result;
    SpiRgbQuad* table = dib.palette();
    if (palette) {
        // Some old writers store 8-bit colour maps; like libtiff's own reader, tell them by the
        // absence of any value above 255.
        const bool eightBitMap =
            std::all_of(red, red + entries, [](uint16_t v) { return v < 256; }) &&
            std::all_of(green, green + entries, [](uint16_t v) { return v < 256; }) &&
            std::all_of(blue, blue + entries, [](uint16_t v) { return v < 256; });
        const unsigned shift = eightBitMap ? 0 : 8;
        for (int i = 0; i < entries; ++i)
            table[i] = SpiRgbQuad{uint8_t(blue[i] >> shift), uint8_t(green[i] >> shift),
                                  uint8_t(red[i] >> shift), 0};
    } else {
        const bool whiteIsZero = photometric_ == PHOTOMETRIC_MINISWHITE;
        for (int i = 0; i < entries; ++i) {
            const auto level = uint8_t(i * 255 / (entries - 1));
            const auto shown = uint8_t(whiteIsZero ? 255 - level : level);
            table[i] = SpiRgbQuad{shown, shown, shown, 0};
        }
    }
    const int32_t result =
        tiled_ ? readIndexedTiles(dib, progress, lData) : readIndexedStrips(dib, progress, lData);
    if (result == SPI_SUCCESS && spi::progressAborts(progress, height(), height(), lData))
        return SPI_ABORTED;
    return result;
}

int32_t TiffPicture::readIndexedStrips(spi::DibOutput& dib, SpiProgressCallback progress,
                                       int32_t lData) {
    TIFF* tif = tiff_.get();
    std::vector<uint8_t> row(size_t(TIFFScanlineSize64(tif)));
    for (uint32_t y = 0; y < height_; ++y) {
        if (y % kRowsPerBand == 0 && spi::progressAborts(progress, int32_t(y), height(), lData))
            return SPI_ABORTED;
        if (TIFFReadScanline(tif, row.data(), y, 0) < 0)
            return SPI_BROKEN_DATA;
        unpackRow(row.data(), bitsPerSample_, width_, dib.row(int32_t(y)));
    }
    return SPI_SUCCESS;
}

int32_t TiffPicture::readIndexedTiles(spi::DibOutput& dib, SpiProgressCallback progress,
                                      int32_t lData) {
    TIFF* tif = tiff_.get();
    uint32_t tileWidth = 0;
    uint32_t tileHeight = 0;
    TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
    TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileHeight);
    const uint64_t tileRowBytes = TIFFTileRowSize64(tif);
    const uint64_t tileBytes = TIFFTileSize64(tif);
    if (tileWidth == 0 || tileHeight == 0 || tileRowBytes == 0 ||
        saturatingProduct(tileRowBytes, tileHeight) > tileBytes)
        return SPI_BROKEN_DATA;

    std::vector<uint8_t> tile(static_cast<size_t>(tileBytes));
    for (uint64_t top = 0; top < height_; top += tileHeight) {
        if (spi::progressAborts(progress, int32_t(top), height(), lData))
            return SPI_ABORTED;
        const auto rows = uint32_t(std::min<uint64_t>(tileHeight, height_ - top));
        for (uint64_t left = 0; left < width_; left += tileWidth) {
            if (TIFFReadTile(tif, tile.data(), uint32_t(left), uint32_t(top), 0, 0) < 0)
                return SPI_BROKEN_DATA;
            const auto columns = uint32_t(std::min<uint64_t>(tileWidth, width_ - left));
            for (uint32_t r = 0; r < rows; ++r)
                unpackRow(tile.data() + r * tileRowBytes, bitsPerSample_, columns,
                          dib.row(int32_t(top + r)) + left);
        }
    }
    return SPI_SUCCESS;
}

// The rest goes through libtiff's RGBA reader, a band of whole strips or tiles at a time, and is
// composited over white.
int32_t TiffPicture::decodeColour(spi::DibOutput& dib, SpiProgressCallback progress,
                                  int32_t lData) {
    TIFF* tif = tiff_.get();
    char message[1024] = {};
    // What the reader has no way of turning into colours is a kind of picture it does not
    // read, not a broken file.
    if (!TIFFRGBAImageOK(tif, message))
        return SPI_UNKNOWN_FORMAT;

    uint32_t unitRows = height_;
    if (tiled_)
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &unitRows);
    else
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &unitRows);
    const uint64_t unit = std::clamp<uint64_t>(unitRows, 1, height_);
    const uint64_t bandRows =
        std::min<uint64_t>(height_, unit * std::max<uint64_t>(1, (kRowsPerBand + unit - 1) / unit));
    // libtiff decodes each strip or tile into a buffer of its own; ours holds the band as RGBA.
    const uint64_t codedBytes = tiled_ ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    if (codedBytes == 0)
        return SPI_BROKEN_DATA;
    if (codedBytes > kLargestBuffer ||
        saturatingProduct(saturatingProduct(width_, bandRows), 4) > kLargestBuffer)
        return SPI_NO_MEMORY;

    TIFFRGBAImage image{};
    if (!TIFFRGBAImageBegin(&image, tif, 1, message))
        return SPI_BROKEN_DATA;
    std::unique_ptr<TIFFRGBAImage, RgbaImageEnd> imageEnd(&image);
    // Rows are taken as stored, first row at the top, whatever the Orientation tag says.
    image.req_orientation = image.orientation;

    if (const int32_t result = dib.allocate(width(), height(), 24, 0); result != SPI_SUCCESS)
        return result;
    std::vector<uint32_t> band(size_t(width_ * bandRows));
    for (uint64_t top = 0; top < height_; top += bandRows) {
        if (spi::progressAborts(progress, int32_t(top), height(), lData))
            return SPI_ABORTED;
        const auto rows = uint32_t(std::min<uint64_t>(bandRows, height_ - top));
        image.row_offset = int(top);
        image.col_offset = 0;
        if (!TIFFRGBAImageGet(&image, band.data(), width_, rows))
            return SPI_BROKEN_DATA;
        for (uint32_t r = 0; r < rows; ++r) {
            const uint32_t* source = band.data() + size_t(r) * width_;
            uint8_t* target = dib.row(int32_t(top + r));
            for (uint32_t x = 0; x < width_; ++x) {
                // libtiff hands out premultiplied colour, so "over white" adds the uncovered
                // share of white.
                const uint32_t pixel = source[x];
                const uint32_t white = 255 - TIFFGetA(pixel);
                target[3 * size_t(x)] = uint8_t(std::min<uint32_t>(255, TIFFGetB(pixel) + white));
                target[3 * size_t(x) + 1] =
                    uint8_t(std::min<uint32_t>(255, TIFFGetG(pixel) + white));
                target[3 * size_t(x) + 2] =
                    uint8_t(std::min<uint32_t>(255, TIFFGetR(pixel) + white));
            }
        }
    }
    if (spi::progressAborts(progress, height(), height(), lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

} // namespace iftiff
