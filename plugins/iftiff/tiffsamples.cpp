#include "plugins/iftiff/tiffsamples.h"

#include "plugins/iftiff/tifflimits.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <optional>
#include <utility>
#include <vector>

namespace iftiff {
namespace {

// How a page's colour channels make a colour.
enum class Model { Grey, Rgb, Cmyk, Lab };

// The stored number of sample `index` of a row, unsigned: 8-, 16-, 24- and 32-bit samples in
// the machine's byte order (libtiff has put them so), other widths packed from the high bit of
// each byte on.
uint64_t unsignedSample(const uint8_t* row, uint64_t index, unsigned bits) {
    switch (bits) {
    case 8:
        return row[index];
    case 16: {
        uint16_t value;
        std::memcpy(&value, row + 2 * index, sizeof value);
        return value;
    }
    case 24: {
        const uint8_t* bytes = row + 3 * index;
        if constexpr (std::endian::native == std::endian::little)
            return uint64_t(bytes[0]) | uint64_t(bytes[1]) << 8 | uint64_t(bytes[2]) << 16;
        else
            return uint64_t(bytes[2]) | uint64_t(bytes[1]) << 8 | uint64_t(bytes[0]) << 16;
    }
    case 32: {
        uint32_t value;
        std::memcpy(&value, row + 4 * index, sizeof value);
        return value;
    }
    default: {
        // At most 32 bits starting inside a byte span at most 5 bytes.
        const uint64_t bitOffset = index * bits;
        const uint8_t* first = row + bitOffset / 8;
        const unsigned skip = unsigned(bitOffset % 8);
        const unsigned bytes = (skip + bits + 7) / 8;
        uint64_t value = 0;
        for (unsigned i = 0; i < bytes; ++i)
            value = value << 8 | first[i];
        return (value >> (8 * bytes - skip - bits)) & ((uint64_t(1) << bits) - 1);
    }
    }
}

double signedValue(uint64_t raw, unsigned bits) {
    return (raw >> (bits - 1)) & 1 ? double(raw) - std::ldexp(1.0, int(bits)) : double(raw);
}

double halfValue(uint16_t half) {
    const int exponent = (half >> 10) & 0x1F;
    const int mantissa = half & 0x3FF;
    double value = 0;
    if (exponent == 0)
        value = std::ldexp(mantissa, -24);
    else if (exponent == 31)
        value = mantissa ? NAN : INFINITY;
    else
        value = std::ldexp(mantissa + 1024, exponent - 25);
    return half & 0x8000 ? -value : value;
}

// sRGB's transfer curve from linear light to 8-bit levels, as a table over 16-bit steps.
class SrgbEncoder {
public:
    SrgbEncoder() : levels_(65536) {
        for (size_t i = 0; i < levels_.size(); ++i) {
            const double linear = double(i) / 65535.0;
            const double encoded =
                linear <= 0.0031308 ? 12.92 * linear : 1.055 * std::pow(linear, 1 / 2.4) - 0.055;
            levels_[i] = uint8_t(std::lround(std::clamp(encoded, 0.0, 1.0) * 255));
        }
    }
    uint8_t operator()(double linear) const {
        if (!(linear > 0))
            return 0;
        return levels_[size_t(std::lround(std::min(linear, 1.0) * 65535))];
    }

private:
    std::vector<uint8_t> levels_;
};

using Matrix = std::array<std::array<double, 3>, 3>;
using Vector = std::array<double, 3>;

Matrix product(const Matrix& a, const Matrix& b) {
    Matrix result{};
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            for (int k = 0; k < 3; ++k)
                result[i][j] += a[i][k] * b[k][j];
    return result;
}

Vector product(const Matrix& m, const Vector& v) {
    Vector result{};
    for (int i = 0; i < 3; ++i)
        for (int k = 0; k < 3; ++k)
            result[i] += m[i][k] * v[k];
    return result;
}

// CIE L*a*b* relative to a reference white, to sRGB. The white is moved onto sRGB's own (D65)
// with the Bradford transform, so that the page's white shows white whichever white it names.
class LabToSrgb {
public:
    explicit LabToSrgb(const Vector& white) : white_(white) {
        static constexpr Matrix bradford = {
            {{0.8951, 0.2664, -0.1614}, {-0.7502, 1.7135, 0.0367}, {0.0389, -0.0685, 1.0296}}};
        static constexpr Matrix fromBradford = {{{0.9869929, -0.1470543, 0.1599627},
                                                 {0.4323053, 0.5183603, 0.0492912},
                                                 {-0.0085287, 0.0400428, 0.9684867}}};
        static constexpr Matrix xyzToLinearSrgb = {{{3.2404542, -1.5371385, -0.4985314},
                                                    {-0.9692660, 1.8760108, 0.0415560},
                                                    {0.0556434, -0.2040259, 1.0572252}}};
        static constexpr Vector d65 = {0.95047, 1.0, 1.08883};
        const Vector cone = product(bradford, white);
        const Vector coneD65 = product(bradford, d65);
        Matrix scale{};
        for (int i = 0; i < 3; ++i)
            scale[i][i] = coneD65[i] / cone[i];
        toLinear_ = product(xyzToLinearSrgb, product(fromBradford, product(scale, bradford)));
    }

    // Levels 0..255 of red, green and blue.
    Vector operator()(double l, double a, double b) const {
        const double fy = (l + 16) / 116;
        const auto inverse = [](double t) {
            constexpr double delta = 6.0 / 29;
            return t > delta ? t * t * t : 3 * delta * delta * (t - 4.0 / 29);
        };
        const Vector xyz = {white_[0] * inverse(fy + a / 500), inverse(fy),
                            white_[2] * inverse(fy - b / 200)};
        const Vector linear = product(toLinear_, xyz);
        return {double(encode_(linear[0])), double(encode_(linear[1])), double(encode_(linear[2]))};
    }

private:
    Vector white_;
    Matrix toLinear_{};
    SrgbEncoder encode_;
};

// What the page holds and how its samples are laid out.
struct Page {
    uint32_t width = 0;
    uint32_t height = 0;
    unsigned bits = 0;
    uint16_t format = SAMPLEFORMAT_UINT;
    uint16_t photometric = PHOTOMETRIC_MINISBLACK;
    uint16_t samplesPerPixel = 1;
    bool separatePlanes = false;
    bool tiled = false;
    Model model = Model::Grey;
    // The samples a pixel's colour is made of: its colour channels, then its alpha if any.
    std::vector<uint16_t> used;
    int colours = 1;
    bool hasAlpha = false;
    bool associatedAlpha = false;
};

bool isGreyPhotometric(uint16_t photometric) {
    return photometric == PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_MINISWHITE;
}

bool isLabPhotometric(uint16_t photometric) {
    return photometric == PHOTOMETRIC_CIELAB || photometric == PHOTOMETRIC_ICCLAB;
}

bool isFloat(const Page& page) {
    return page.format == SAMPLEFORMAT_IEEEFP;
}

// Reads the page's fields; SPI_UNKNOWN_FORMAT for samples this reader gives no meaning to,
// SPI_BROKEN_DATA for fields that contradict each other.
int32_t describe(TIFF* tif, Page& page) {
    uint16_t bits = 1;
    uint16_t planar = PLANARCONFIG_CONTIG;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &page.width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &page.height);
    TIFFGetFieldDefaulted(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &page.format);
    TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLESPERPIXEL, &page.samplesPerPixel);
    TIFFGetFieldDefaulted(tif, TIFFTAG_PLANARCONFIG, &planar);
    TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &page.photometric);
    page.bits = bits;
    page.separatePlanes = planar == PLANARCONFIG_SEPARATE;
    page.tiled = TIFFIsTiled(tif) != 0;

    switch (page.format) {
    case SAMPLEFORMAT_UINT:
    case SAMPLEFORMAT_VOID:
        page.format = SAMPLEFORMAT_UINT;
        if (bits < 1 || bits > 32)
            return SPI_UNKNOWN_FORMAT;
        break;
    case SAMPLEFORMAT_INT:
        if (bits < 2 || bits > 32)
            return SPI_UNKNOWN_FORMAT;
        break;
    case SAMPLEFORMAT_IEEEFP:
        if (bits != 16 && bits != 32 && bits != 64)
            return SPI_UNKNOWN_FORMAT;
        break;
    default:
        return SPI_UNKNOWN_FORMAT;
    }

    switch (page.photometric) {
    case PHOTOMETRIC_MINISBLACK:
    case PHOTOMETRIC_MINISWHITE:
        page.model = Model::Grey;
        page.colours = 1;
        break;
    case PHOTOMETRIC_RGB:
        page.model = Model::Rgb;
        page.colours = 3;
        break;
    case PHOTOMETRIC_SEPARATED: {
        uint16_t inks = INKSET_CMYK;
        TIFFGetFieldDefaulted(tif, TIFFTAG_INKSET, &inks);
        if (inks != INKSET_CMYK)
            return SPI_UNKNOWN_FORMAT;
        page.model = Model::Cmyk;
        page.colours = 4;
        break;
    }
    case PHOTOMETRIC_CIELAB:
    case PHOTOMETRIC_ICCLAB:
        // Lightness alone is a grey picture in Lab terms.
        page.model = Model::Lab;
        page.colours = page.samplesPerPixel >= 3 ? 3 : 1;
        if (!isFloat(page) && bits < 8)
            return SPI_UNKNOWN_FORMAT;
        break;
    default:
        return SPI_UNKNOWN_FORMAT;
    }
    if (page.samplesPerPixel < page.colours)
        return SPI_BROKEN_DATA;
    for (int i = 0; i < page.colours; ++i)
        page.used.push_back(uint16_t(i));

    // The extra samples are the last ones; the first of them may be alpha.
    uint16_t extraCount = 0;
    uint16_t* extraTypes = nullptr;
    if (TIFFGetField(tif, TIFFTAG_EXTRASAMPLES, &extraCount, &extraTypes) == 1 && extraCount > 0 &&
        extraTypes && page.samplesPerPixel - page.colours >= extraCount &&
        (extraTypes[0] == EXTRASAMPLE_ASSOCALPHA || extraTypes[0] == EXTRASAMPLE_UNASSALPHA)) {
        page.hasAlpha = true;
        page.associatedAlpha = extraTypes[0] == EXTRASAMPLE_ASSOCALPHA;
        page.used.push_back(uint16_t(page.samplesPerPixel - extraCount));
    }
    return SPI_SUCCESS;
}

// The numbers of the used samples of one pixel, as stored.
class SampleReader {
public:
    explicit SampleReader(const Page& page) : page_(page) {}

    // Sample k of page.used, of pixel x of the rows given (one per plane read).
    double number(const std::vector<const uint8_t*>& rows, uint32_t x, size_t k) const {
        const auto [row, index] = locate(rows, x, k);
        if (isFloat(page_)) {
            switch (page_.bits) {
            case 16:
                return halfValue(uint16_t(unsignedSample(row, index, 16)));
            case 32: {
                float value;
                std::memcpy(&value, row + 4 * index, sizeof value);
                return value;
            }
            default: {
                double value;
                std::memcpy(&value, row + 8 * index, sizeof value);
                return value;
            }
            }
        }
        const uint64_t raw = unsignedSample(row, index, page_.bits);
        return page_.format == SAMPLEFORMAT_INT ? signedValue(raw, page_.bits) : double(raw);
    }

    // The bits of an integer sample, for Lab, whose samples differ in signedness.
    uint64_t raw(const std::vector<const uint8_t*>& rows, uint32_t x, size_t k) const {
        const auto [row, index] = locate(rows, x, k);
        return unsignedSample(row, index, page_.bits);
    }

private:
    // The row holding the sample and the sample's index in it.
    std::pair<const uint8_t*, uint64_t> locate(const std::vector<const uint8_t*>& rows, uint32_t x,
                                               size_t k) const {
        if (page_.separatePlanes)
            return {rows[k], x};
        return {rows[0], uint64_t(x) * page_.samplesPerPixel + page_.used[k]};
    }

    const Page& page_;
};

// Calls visit(y, left, columns, rows) for every stored row of the page, strip by strip or
// tile by tile, with rows holding one row pointer per plane read (the used samples' planes, or
// the one plane of interleaved samples). band(top) is called before each band of rows; a
// non-zero answer stops the walk with that result.
template <class Band, class Visit>
int32_t forEachRow(TIFF* tif, const Page& page, Band band, Visit visit) {
    uint32_t blockWidth = page.width;
    uint32_t blockHeight = page.height;
    if (page.tiled) {
        TIFFGetField(tif, TIFFTAG_TILEWIDTH, &blockWidth);
        TIFFGetField(tif, TIFFTAG_TILELENGTH, &blockHeight);
    } else {
        TIFFGetFieldDefaulted(tif, TIFFTAG_ROWSPERSTRIP, &blockHeight);
        blockHeight = std::clamp<uint32_t>(blockHeight, 1, page.height);
    }
    const uint64_t blockBytes = page.tiled ? TIFFTileSize64(tif) : TIFFStripSize64(tif);
    const uint64_t rowBytes = page.tiled ? TIFFTileRowSize64(tif) : TIFFScanlineSize64(tif);
    const uint64_t planes = page.separatePlanes ? page.used.size() : 1;
    // Every sample a row is read at must lie in the row.
    const uint64_t samplesPerRow =
        saturatingProduct(blockWidth, page.separatePlanes ? 1 : page.samplesPerPixel);
    if (blockWidth == 0 || blockHeight == 0 || blockBytes == 0 || rowBytes == 0 ||
        saturatingProduct(rowBytes, blockHeight) > blockBytes ||
        saturatingProduct(samplesPerRow, page.bits) > saturatingProduct(rowBytes, 8))
        return SPI_BROKEN_DATA;
    if (saturatingProduct(blockBytes, planes) > kLargestBuffer)
        return SPI_NO_MEMORY;

    std::vector<std::vector<uint8_t>> blocks(planes, std::vector<uint8_t>(size_t(blockBytes)));
    std::vector<const uint8_t*> rows(planes);
    for (uint32_t top = 0; top < page.height; top += blockHeight) {
        if (const int32_t result = band(top); result != SPI_SUCCESS)
            return result;
        const uint32_t bandRows = std::min(blockHeight, page.height - top);
        for (uint32_t left = 0; left < page.width; left += blockWidth) {
            const uint32_t columns = std::min(blockWidth, page.width - left);
            for (uint64_t p = 0; p < planes; ++p) {
                const uint16_t sample = page.separatePlanes ? page.used[p] : 0;
                const tmsize_t read =
                    page.tiled
                        ? TIFFReadEncodedTile(tif, TIFFComputeTile(tif, left, top, 0, sample),
                                              blocks[p].data(), tmsize_t(blockBytes))
                        : TIFFReadEncodedStrip(tif, TIFFComputeStrip(tif, top, sample),
                                               blocks[p].data(), tmsize_t(blockBytes));
                if (read < 0 || uint64_t(read) < saturatingProduct(rowBytes, bandRows))
                    return SPI_BROKEN_DATA;
            }
            for (uint32_t r = 0; r < bandRows; ++r) {
                for (uint64_t p = 0; p < planes; ++p)
                    rows[p] = blocks[p].data() + r * rowBytes;
                visit(top + r, left, columns, rows);
            }
        }
    }
    return SPI_SUCCESS;
}

// The smallest and largest finite colour sample of a floating-point page.
struct Range {
    double low = INFINITY;
    double high = -INFINITY;
};

class SampleDecoder {
public:
    SampleDecoder(TIFF* tif, const Page& page) : tif_(tif), page_(page), reader_(page) {}

    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
        // A floating-point page without its range is read twice, first for the range; the
        // progress reports then give each reading half of the rows.
        const bool twoPasses = isFloat(page_) && page_.model != Model::Lab && !storedRange();
        const auto height = int32_t(page_.height);
        bool firstPass = twoPasses;
        uint32_t nextReport = 0;
        const auto band = [&](uint32_t top) {
            if (top < nextReport)
                return SPI_SUCCESS;
            nextReport = top + uint32_t(kRowsPerBand);
            const auto row = int32_t(top);
            const int32_t done = !twoPasses  ? row
                                 : firstPass ? row / 2
                                             : height - (height - row) / 2;
            return spi::progressAborts(progress, done, height, lData) ? SPI_ABORTED : SPI_SUCCESS;
        };
        if (twoPasses) {
            const int32_t result =
                forEachRow(tif_, page_, band, [&](auto, auto, auto columns, const auto& rows) {
                    for (uint32_t x = 0; x < columns; ++x)
                        for (int k = 0; k < page_.colours; ++k) {
                            const double value = reader_.number(rows, x, size_t(k));
                            if (std::isfinite(value)) {
                                range_.low = std::min(range_.low, value);
                                range_.high = std::max(range_.high, value);
                            }
                        }
                });
            if (result != SPI_SUCCESS)
                return result;
            firstPass = false;
            nextReport = 0;
        }
        if (!(range_.low < range_.high)) {
            // One value throughout, or none: shown within 0..1 where it can be.
            range_.low = std::min(std::isfinite(range_.low) ? range_.low : 0.0, 0.0);
            range_.high = std::max(std::isfinite(range_.high) ? range_.high : 1.0, 1.0);
        }

        const bool grey = page_.model == Model::Grey;
        if (const int32_t result = dib.allocate(int32_t(page_.width), int32_t(page_.height),
                                                grey ? 8 : 24, grey ? 256 : 0);
            result != SPI_SUCCESS)
            return result;
        if (grey)
            for (int i = 0; i < 256; ++i)
                dib.palette()[i] = SpiRgbQuad{uint8_t(i), uint8_t(i), uint8_t(i), 0};
        if (page_.model == Model::Lab)
            lab_.emplace(labWhite());

        const int32_t result = forEachRow(
            tif_, page_, band, [&](uint32_t y, uint32_t left, uint32_t columns, const auto& rows) {
                uint8_t* target = dib.row(int32_t(y)) + size_t(left) * (grey ? 1 : 3);
                for (uint32_t x = 0; x < columns; ++x) {
                    const Vector levels = pixel(rows, x);
                    if (grey) {
                        target[x] = level(levels[0]);
                    } else {
                        target[3 * size_t(x)] = level(levels[2]);
                        target[3 * size_t(x) + 1] = level(levels[1]);
                        target[3 * size_t(x) + 2] = level(levels[0]);
                    }
                }
            });
        if (result == SPI_SUCCESS && spi::progressAborts(progress, height, height, lData))
            return SPI_ABORTED;
        return result;
    }

private:
    // SMinSampleValue and SMaxSampleValue of a floating-point page, when both are given.
    bool storedRange() {
        double low = 0;
        double high = 0;
        if (TIFFGetField(tif_, TIFFTAG_SMINSAMPLEVALUE, &low) != 1 ||
            TIFFGetField(tif_, TIFFTAG_SMAXSAMPLEVALUE, &high) != 1 || !std::isfinite(low) ||
            !std::isfinite(high) || !(low < high))
            return false;
        range_ = {low, high};
        return true;
    }

    // The reference white of a Lab page as XYZ with Y = 1: its WhitePoint, else D50.
    Vector labWhite() const {
        float* chromaticity = nullptr;
        double x = 0.3457;
        double y = 0.3585;
        if (TIFFGetField(tif_, TIFFTAG_WHITEPOINT, &chromaticity) == 1 && chromaticity &&
            chromaticity[0] > 0 && chromaticity[1] > 0 && chromaticity[0] + chromaticity[1] < 1) {
            x = chromaticity[0];
            y = chromaticity[1];
        }
        return {x / y, 1.0, (1 - x - y) / y};
    }

    // A colour or alpha sample on 0..1.
    double unit(double value) const {
        double result = value;
        switch (page_.format) {
        case SAMPLEFORMAT_IEEEFP:
            result = (value - range_.low) / (range_.high - range_.low);
            break;
        case SAMPLEFORMAT_INT:
            result = (value + std::ldexp(1.0, int(page_.bits) - 1)) / fullScale();
            break;
        default:
            result = value / fullScale();
            break;
        }
        return std::isnan(result) ? 0.0 : std::clamp(result, 0.0, 1.0);
    }

    double fullScale() const { return std::ldexp(1.0, int(page_.bits)) - 1; }

    // The pixel as levels 0..255 (grey in the first), over white when it has alpha.
    Vector pixel(const std::vector<const uint8_t*>& rows, uint32_t x) const {
        Vector levels{};
        switch (page_.model) {
        case Model::Grey: {
            const double grey = unit(reader_.number(rows, x, 0));
            levels[0] = 255 * (page_.photometric == PHOTOMETRIC_MINISWHITE ? 1 - grey : grey);
            break;
        }
        case Model::Rgb:
            for (size_t k = 0; k < 3; ++k)
                levels[k] = 255 * unit(reader_.number(rows, x, k));
            break;
        case Model::Cmyk: {
            const double black = unit(reader_.number(rows, x, 3));
            for (size_t k = 0; k < 3; ++k)
                levels[k] = 255 * (1 - unit(reader_.number(rows, x, k))) * (1 - black);
            break;
        }
        case Model::Lab:
            levels = labLevels(rows, x);
            break;
        }
        if (page_.hasAlpha) {
            const size_t k = page_.used.size() - 1;
            const double number = reader_.number(rows, x, k);
            // Floating-point alpha is coverage itself; integers span their full range.
            const double alpha = isFloat(page_)
                                     ? (std::isnan(number) ? 0.0 : std::clamp(number, 0.0, 1.0))
                                     : unit(number);
            const bool premultiplied =
                page_.associatedAlpha && page_.model != Model::Lab && page_.model != Model::Cmyk;
            for (double& channel : levels)
                channel = (premultiplied ? channel : channel * alpha) + 255 * (1 - alpha);
        }
        return levels;
    }

    Vector labLevels(const std::vector<const uint8_t*>& rows, uint32_t x) const {
        double l = 0;
        double a = 0;
        double b = 0;
        if (isFloat(page_)) {
            l = reader_.number(rows, x, 0);
            if (page_.colours == 3) {
                a = reader_.number(rows, x, 1);
                b = reader_.number(rows, x, 2);
            }
        } else {
            // L* spans 0..100 over the full range; a* and b* are signed in CIELab, offset by
            // half the range in ICC Lab, with 8 bits to the unit either way.
            const double unitStep = std::ldexp(1.0, int(page_.bits) - 8);
            l = double(reader_.raw(rows, x, 0)) * 100 / fullScale();
            if (page_.colours == 3) {
                const uint64_t rawA = reader_.raw(rows, x, 1);
                const uint64_t rawB = reader_.raw(rows, x, 2);
                if (page_.photometric == PHOTOMETRIC_CIELAB) {
                    a = signedValue(rawA, page_.bits) / unitStep;
                    b = signedValue(rawB, page_.bits) / unitStep;
                } else {
                    a = double(rawA) / unitStep - 128;
                    b = double(rawB) / unitStep - 128;
                }
            }
        }
        if (!std::isfinite(l) || !std::isfinite(a) || !std::isfinite(b))
            return {};
        return (*lab_)(l, a, b);
    }

    static uint8_t level(double value) {
        return uint8_t(std::lround(std::clamp(value, 0.0, 255.0)));
    }

    TIFF* tif_;
    const Page& page_;
    SampleReader reader_;
    Range range_;
    std::optional<LabToSrgb> lab_;
};

} // namespace

bool wantsSampleDecoding(uint16_t photometric, uint16_t sampleFormat, uint16_t bitsPerSample) {
    if (isLabPhotometric(photometric))
        return true;
    const bool unsignedIntegers =
        sampleFormat == SAMPLEFORMAT_UINT || sampleFormat == SAMPLEFORMAT_VOID;
    if (isGreyPhotometric(photometric))
        return !unsignedIntegers ||
               !(bitsPerSample == 1 || bitsPerSample == 2 || bitsPerSample == 4 ||
                 bitsPerSample == 8 || bitsPerSample == 16);
    switch (photometric) {
    case PHOTOMETRIC_RGB:
        return !unsignedIntegers || !(bitsPerSample == 8 || bitsPerSample == 16);
    case PHOTOMETRIC_SEPARATED:
        return !unsignedIntegers || bitsPerSample != 8;
    default:
        return false;
    }
}

int32_t decodeSamples(TIFF* tif, spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    Page page;
    if (const int32_t result = describe(tif, page); result != SPI_SUCCESS)
        return result;
    return SampleDecoder(tif, page).decode(dib, progress, lData);
}

} // namespace iftiff
