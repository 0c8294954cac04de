#include "tests/support/tiffmaker.h"

#include <QFile>

#include <tiffio.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace testsupport {
namespace {

// The file being written, in memory; libtiff also reads back what it wrote when it links pages.
struct GrowingFile {
    QByteArray bytes;
    qint64 position = 0;
};

tmsize_t readGrowing(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<GrowingFile*>(handle);
    const qint64 n = std::clamp<qint64>(file->bytes.size() - file->position, 0, count);
    std::memcpy(buffer, file->bytes.constData() + file->position, size_t(n));
    file->position += n;
    return tmsize_t(n);
}

tmsize_t writeGrowing(thandle_t handle, void* buffer, tmsize_t count) {
    auto* file = static_cast<GrowingFile*>(handle);
    if (file->position + count > file->bytes.size())
        file->bytes.resize(file->position + count);
    std::memcpy(file->bytes.data() + file->position, buffer, size_t(count));
    file->position += count;
    return count;
}

toff_t seekGrowing(thandle_t handle, toff_t offset, int whence) {
    auto* file = static_cast<GrowingFile*>(handle);
    const qint64 base = whence == SEEK_CUR   ? file->position
                        : whence == SEEK_END ? file->bytes.size()
                                             : 0;
    file->position = base + qint64(offset);
    return toff_t(file->position);
}

int closeGrowing(thandle_t) {
    return 0;
}
toff_t growingSize(thandle_t handle) {
    return toff_t(static_cast<GrowingFile*>(handle)->bytes.size());
}
int noMapping(thandle_t, void**, toff_t*) {
    return 0;
}
void noUnmapping(thandle_t, void*, toff_t) {}

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

void require(bool ok, const std::string& what) {
    if (!ok)
        throw std::runtime_error("makeTiff: " + what);
}

uint16_t compressionTag(TiffCompression compression) {
    switch (compression) {
    case TiffCompression::Lzw:
        return COMPRESSION_LZW;
    case TiffCompression::Deflate:
        return COMPRESSION_ADOBE_DEFLATE;
    case TiffCompression::PackBits:
        return COMPRESSION_PACKBITS;
    case TiffCompression::Jpeg:
        return COMPRESSION_JPEG;
    case TiffCompression::Fax4:
        return COMPRESSION_CCITTFAX4;
    case TiffCompression::None:
        break;
    }
    return COMPRESSION_NONE;
}

void putSample(uint8_t* row, size_t index, int bits, uint32_t value) {
    if (bits == 8) {
        row[index] = uint8_t(value);
        return;
    }
    const size_t bit = index * size_t(bits);
    row[bit / 8] |= uint8_t(value << (8 - bits - int(bit % 8)));
}

// The samples one page stores, as the file's bits per sample hold them.
class PageSamples {
public:
    PageSamples(const QImage& page, const TiffOptions& options) : options_(options) {
        switch (options.pixels) {
        case TiffPixels::Rgb:
            image_ = page.convertToFormat(QImage::Format_RGB888);
            channels_ = 3;
            photometric_ = PHOTOMETRIC_RGB;
            break;
        case TiffPixels::Rgba:
            image_ = page.convertToFormat(QImage::Format_RGBA8888);
            channels_ = 4;
            photometric_ = PHOTOMETRIC_RGB;
            break;
        case TiffPixels::Palette:
            require(page.format() == QImage::Format_Indexed8, "palette pages must be Indexed8");
            require(options.paletteBits == 1 || options.paletteBits == 2 ||
                        options.paletteBits == 4 || options.paletteBits == 8,
                    "palette of 1, 2, 4 or 8 bits");
            image_ = page;
            bits_ = options.paletteBits;
            photometric_ = PHOTOMETRIC_PALETTE;
            break;
        case TiffPixels::Grey:
        case TiffPixels::Bilevel:
            image_ = page.convertToFormat(QImage::Format_Grayscale8);
            bits_ = options.pixels == TiffPixels::Bilevel ? 1 : 8;
            photometric_ = options.minIsWhite ? PHOTOMETRIC_MINISWHITE : PHOTOMETRIC_MINISBLACK;
            break;
        }
    }

    int bits() const { return bits_; }
    int channels() const { return channels_; }
    uint16_t photometric() const { return photometric_; }
    const QImage& image() const { return image_; }

    uint32_t sample(int x, int y, int channel) const {
        const uchar* line = image_.constScanLine(y);
        switch (options_.pixels) {
        case TiffPixels::Rgb:
        case TiffPixels::Rgba:
            return line[channels_ * x + channel];
        case TiffPixels::Palette:
            require(line[x] < (1u << bits_), "palette index does not fit paletteBits");
            return line[x];
        case TiffPixels::Grey:
            return options_.minIsWhite ? 255u - line[x] : line[x];
        case TiffPixels::Bilevel:
            return (line[x] >= 128) != options_.minIsWhite ? 1 : 0;
        }
        return 0;
    }

    // Puts the samples of the page's pixels (left..left+count, y) into a zeroed row.
    void fillRow(uint8_t* row, int left, int y, int count) const {
        for (int i = 0; i < count; ++i)
            for (int channel = 0; channel < channels_; ++channel)
                putSample(row, size_t(i) * channels_ + channel, bits_,
                          sample(left + i, y, channel));
    }

private:
    const TiffOptions& options_;
    QImage image_;
    int bits_ = 8;
    int channels_ = 1;
    uint16_t photometric_ = PHOTOMETRIC_MINISBLACK;
};

void writePage(TIFF* tif, const QImage& page, int pageNumber, int pageCount,
               const TiffOptions& options) {
    const PageSamples samples(page, options);
    const auto width = uint32_t(page.width());
    const auto height = uint32_t(page.height());
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, uint16_t(samples.bits()));
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, uint16_t(samples.channels()));
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, samples.photometric());
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    require(TIFFSetField(tif, TIFFTAG_COMPRESSION, compressionTag(options.compression)) == 1,
            "compression not available");
    if (options.pixels == TiffPixels::Rgba) {
        const uint16_t extra = EXTRASAMPLE_UNASSALPHA;
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(1), &extra);
    }
    if (options.pixels == TiffPixels::Palette) {
        const size_t entries = size_t(1) << samples.bits();
        std::vector<uint16_t> red(entries), green(entries), blue(entries);
        const QList<QRgb> table = page.colorTable();
        for (size_t i = 0; i < entries && i < size_t(table.size()); ++i) {
            red[i] = uint16_t(qRed(table[qsizetype(i)]) * 257);
            green[i] = uint16_t(qGreen(table[qsizetype(i)]) * 257);
            blue[i] = uint16_t(qBlue(table[qsizetype(i)]) * 257);
        }
        TIFFSetField(tif, TIFFTAG_COLORMAP, red.data(), green.data(), blue.data());
    }
    if (pageCount > 1) {
        TIFFSetField(tif, TIFFTAG_SUBFILETYPE, FILETYPE_PAGE);
        TIFFSetField(tif, TIFFTAG_PAGENUMBER, uint16_t(pageNumber), uint16_t(pageCount));
    }
    if (options.resolution) {
        const uint16_t unit = options.resolution->unit == TiffResolutionUnit::None ? RESUNIT_NONE
                              : options.resolution->unit == TiffResolutionUnit::Centimetre
                                  ? RESUNIT_CENTIMETER
                                  : RESUNIT_INCH;
        TIFFSetField(tif, TIFFTAG_XRESOLUTION, double(options.resolution->x));
        TIFFSetField(tif, TIFFTAG_YRESOLUTION, double(options.resolution->y));
        TIFFSetField(tif, TIFFTAG_RESOLUTIONUNIT, unit);
    }
    if (!options.description.isEmpty())
        TIFFSetField(tif, TIFFTAG_IMAGEDESCRIPTION, options.description.constData());
    if (options.orientation != 0)
        TIFFSetField(tif, TIFFTAG_ORIENTATION, options.orientation);

    if (options.tileSize) {
        require(options.tileSize % 16 == 0, "tile size must be a multiple of 16");
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, options.tileSize);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, options.tileSize);
        const auto tileRowBytes = size_t(TIFFTileRowSize64(tif));
        std::vector<uint8_t> tile(size_t(TIFFTileSize64(tif)));
        for (uint32_t top = 0; top < height; top += options.tileSize) {
            for (uint32_t left = 0; left < width; left += options.tileSize) {
                std::fill(tile.begin(), tile.end(), 0);
                const auto columns = int(std::min(options.tileSize, width - left));
                for (uint32_t r = 0; r < options.tileSize && top + r < height; ++r)
                    samples.fillRow(tile.data() + r * tileRowBytes, int(left), int(top + r),
                                    columns);
                require(TIFFWriteTile(tif, tile.data(), left, top, 0, 0) >= 0, "tile refused");
            }
        }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                     options.rowsPerStrip ? options.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
        std::vector<uint8_t> row(size_t(TIFFScanlineSize64(tif)));
        for (uint32_t y = 0; y < height; ++y) {
            std::fill(row.begin(), row.end(), 0);
            samples.fillRow(row.data(), 0, int(y), int(width));
            require(TIFFWriteScanline(tif, row.data(), y, 0) >= 0, "scanline refused");
        }
    }
    require(TIFFWriteDirectory(tif) == 1, "directory refused");
}

// Stores value as sample `index` of a zeroed row, as the page's format and width say: whole
// bytes in the machine's order (libtiff puts them in the file's), other widths packed from
// the high bit of each byte on.
void storeSample(uint8_t* row, size_t index, const TiffSamples& page, double value) {
    const unsigned bits = page.bitsPerSample;
    if (page.sampleFormat == SAMPLEFORMAT_IEEEFP) {
        if (bits == 32) {
            const float single = float(value);
            std::memcpy(row + 4 * index, &single, sizeof single);
        } else if (bits == 64) {
            std::memcpy(row + 8 * index, &value, sizeof value);
        } else {
            require(bits == 16, "floating point of 16, 32 or 64 bits");
            // Half precision, for normal numbers and zero.
            uint16_t half = value < 0 ? 0x8000 : 0;
            if (value != 0) {
                const int exponent = std::ilogb(std::fabs(value));
                const double fraction = std::fabs(value) / std::ldexp(1.0, exponent) - 1;
                half |= uint16_t((exponent + 15) << 10 | int(std::lround(fraction * 1024)));
            }
            std::memcpy(row + 2 * index, &half, sizeof half);
        }
        return;
    }
    const uint64_t raw = uint64_t(std::llround(value)) & ((uint64_t(1) << bits) - 1);
    switch (bits) {
    case 8:
        row[index] = uint8_t(raw);
        return;
    case 16: {
        const auto narrow = uint16_t(raw);
        std::memcpy(row + 2 * index, &narrow, sizeof narrow);
        return;
    }
    case 24:
        for (int i = 0; i < 3; ++i)
            row[3 * index + size_t(i)] = uint8_t(raw >> (8 * i));
        return;
    case 32: {
        const auto narrow = uint32_t(raw);
        std::memcpy(row + 4 * index, &narrow, sizeof narrow);
        return;
    }
    default:
        for (unsigned b = 0; b < bits; ++b) {
            const size_t at = index * bits + b;
            row[at / 8] |= uint8_t(((raw >> (bits - 1 - b)) & 1) << (7 - at % 8));
        }
    }
}

// The samples of plane `plane` (every sample when they are interleaved) of the pixels
// (left..left+count, y), into a zeroed row.
void fillSampleRow(const TiffSamples& page, uint8_t* row, uint32_t left, uint32_t y, uint32_t count,
                   uint16_t plane) {
    const size_t spp = page.samplesPerPixel;
    for (uint32_t i = 0; i < count; ++i) {
        const size_t pixel = size_t(y) * page.width + left + i;
        if (page.separatePlanes) {
            storeSample(row, i, page, page.values.at(pixel * spp + plane));
        } else {
            for (size_t s = 0; s < spp; ++s)
                storeSample(row, i * spp + s, page, page.values.at(pixel * spp + s));
        }
    }
}

void writeSamplePage(TIFF* tif, const TiffSamples& page) {
    require(page.values.size() == size_t(page.width) * page.height * page.samplesPerPixel,
            "one value for every sample");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, page.width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, page.height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, page.bitsPerSample);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, page.samplesPerPixel);
    TIFFSetField(tif, TIFFTAG_SAMPLEFORMAT, page.sampleFormat);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, page.photometric);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG,
                 page.separatePlanes ? PLANARCONFIG_SEPARATE : PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
    require(TIFFSetField(tif, TIFFTAG_COMPRESSION, compressionTag(page.compression)) == 1,
            "compression not available");
    if (!page.extraSamples.empty())
        TIFFSetField(tif, TIFFTAG_EXTRASAMPLES, uint16_t(page.extraSamples.size()),
                     page.extraSamples.data());
    if (page.sampleRange) {
        TIFFSetField(tif, TIFFTAG_SMINSAMPLEVALUE, page.sampleRange->first);
        TIFFSetField(tif, TIFFTAG_SMAXSAMPLEVALUE, page.sampleRange->second);
    }
    if (page.whitePoint) {
        float chromaticity[] = {page.whitePoint->first, page.whitePoint->second};
        TIFFSetField(tif, TIFFTAG_WHITEPOINT, chromaticity);
    }

    const uint16_t planes = page.separatePlanes ? page.samplesPerPixel : 1;
    if (page.tileSize) {
        require(page.tileSize % 16 == 0, "tile size must be a multiple of 16");
        TIFFSetField(tif, TIFFTAG_TILEWIDTH, page.tileSize);
        TIFFSetField(tif, TIFFTAG_TILELENGTH, page.tileSize);
        const auto tileRowBytes = size_t(TIFFTileRowSize64(tif));
        std::vector<uint8_t> tile(size_t(TIFFTileSize64(tif)));
        for (uint16_t plane = 0; plane < planes; ++plane)
            for (uint32_t top = 0; top < page.height; top += page.tileSize)
                for (uint32_t left = 0; left < page.width; left += page.tileSize) {
                    std::fill(tile.begin(), tile.end(), 0);
                    const uint32_t columns = std::min(page.tileSize, page.width - left);
                    for (uint32_t r = 0; r < page.tileSize && top + r < page.height; ++r)
                        fillSampleRow(page, tile.data() + r * tileRowBytes, left, top + r, columns,
                                      plane);
                    require(TIFFWriteTile(tif, tile.data(), left, top, 0, plane) >= 0,
                            "tile refused");
                }
    } else {
        TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP,
                     page.rowsPerStrip ? page.rowsPerStrip : TIFFDefaultStripSize(tif, 0));
        std::vector<uint8_t> row(size_t(TIFFScanlineSize64(tif)));
        // Plane after plane: libtiff writes the strips of one plane before the next.
        for (uint16_t plane = 0; plane < planes; ++plane)
            for (uint32_t y = 0; y < page.height; ++y) {
                std::fill(row.begin(), row.end(), 0);
                fillSampleRow(page, row.data(), 0, y, page.width, plane);
                require(TIFFWriteScanline(tif, row.data(), y, plane) >= 0, "scanline refused");
            }
    }
    require(TIFFWriteDirectory(tif) == 1, "directory refused");
}

// Writes a file through write(tif) in memory.
template <class Write> QByteArray tiffFile(bool bigEndian, bool bigTiff, Write write) {
    GrowingFile file;
    std::string mode = bigEndian ? "wb" : "wl";
    if (bigTiff)
        mode += '8';
    {
        std::unique_ptr<TIFF, TiffCloser> tif(
            TIFFClientOpen("made", mode.c_str(), &file, readGrowing, writeGrowing, seekGrowing,
                           closeGrowing, growingSize, noMapping, noUnmapping));
        require(tif != nullptr, "libtiff cannot start a file");
        write(tif.get());
    }
    return file.bytes;
}

} // namespace

QByteArray makeTiff(const QList<QImage>& pages, const TiffOptions& options) {
    require(!pages.isEmpty(), "no pages");
    return tiffFile(options.bigEndian, options.bigTiff, [&](TIFF* tif) {
        for (int i = 0; i < pages.size(); ++i)
            writePage(tif, pages[i], i, int(pages.size()), options);
    });
}

QByteArray makeSampleTiff(const TiffSamples& page) {
    return tiffFile(page.bigEndian, false, [&](TIFF* tif) { writeSamplePage(tif, page); });
}

namespace {

void writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        throw std::runtime_error("writeTiff: cannot write " + path.toStdString());
}

} // namespace

void writeTiff(const QString& path, const QList<QImage>& pages, const TiffOptions& options) {
    writeBytes(path, makeTiff(pages, options));
}

void writeSampleTiff(const QString& path, const TiffSamples& page) {
    writeBytes(path, makeSampleTiff(page));
}

void setTiffTag(QByteArray& tiff, uint16_t tag, uint32_t value) {
    const auto readU16 = [&](qsizetype at) {
        return uint16_t(uint8_t(tiff[at]) | uint8_t(tiff[at + 1]) << 8);
    };
    const auto writeU32 = [&](qsizetype at, uint32_t v) {
        for (int i = 0; i < 4; ++i)
            tiff[at + i] = char((v >> (8 * i)) & 0xff);
    };
    if (tiff.size() < 8 || !tiff.startsWith(QByteArray("II*\0", 4)))
        throw std::runtime_error("setTiffTag: not a little-endian classic TIFF");
    const qsizetype directory = qsizetype(readU16(4)) | qsizetype(readU16(6)) << 16;
    if (directory + 2 > tiff.size())
        throw std::runtime_error("setTiffTag: directory outside the file");
    const int entries = readU16(directory);
    for (int i = 0; i < entries; ++i) {
        const qsizetype entry = directory + 2 + qsizetype(i) * 12;
        if (entry + 12 > tiff.size())
            break;
        if (readU16(entry) == tag) {
            tiff[entry + 2] = char(TIFF_LONG);
            tiff[entry + 3] = 0;
            writeU32(entry + 4, 1);
            writeU32(entry + 8, value);
            return;
        }
    }
    throw std::runtime_error("setTiffTag: tag not in the first directory");
}

} // namespace testsupport
