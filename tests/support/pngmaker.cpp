#include "tests/support/pngmaker.h"

#include <png.h>
#include <zlib.h>

#include <stdexcept>

namespace testsupport {
namespace {

void appendBytes(png_structp png, png_bytep bytes, size_t count) {
    static_cast<QByteArray*>(png_get_io_ptr(png))
        ->append(reinterpret_cast<const char*>(bytes), qsizetype(count));
}

void flushNothing(png_structp) {}

void ignoreWarning(png_structp, png_const_charp) {}

uint32_t bigEndian32(const QByteArray& bytes, qsizetype at) {
    const auto* p = reinterpret_cast<const uint8_t*>(bytes.constData() + at);
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

void appendBigEndian32(QByteArray& bytes, uint32_t value) {
    for (const int shift : {24, 16, 8, 0})
        bytes.append(char(value >> shift));
}

// The samples of one row as the file stores them: packed below 8 bits, big-endian at 16.
std::vector<png_byte> packedRow(const PngSpec& spec, int y) {
    const size_t count = size_t(spec.width) * size_t(pngChannels(spec.colourType));
    const uint16_t* samples = spec.samples.data() + size_t(y) * count;
    std::vector<png_byte> row((count * size_t(spec.bitDepth) + 7) / 8, 0);
    for (size_t i = 0; i < count; ++i) {
        if (spec.bitDepth == 16) {
            row[2 * i] = png_byte(samples[i] >> 8);
            row[2 * i + 1] = png_byte(samples[i]);
        } else {
            const size_t bit = i * size_t(spec.bitDepth);
            row[bit / 8] |= png_byte(samples[i] << (8 - spec.bitDepth - bit % 8));
        }
    }
    return row;
}

// Everything libpng is given, prepared before it runs.
struct PngParts {
    std::vector<std::vector<png_byte>> rows;
    std::vector<png_bytep> rowPointers;
    std::vector<png_color> colours;
    std::vector<png_byte> alphas; // empty: no tRNS for the palette
    std::vector<png_text> texts;
};

// libpng reports errors by longjmp: this frame owns nothing with a destructor.
bool writePng(const PngSpec& spec, PngParts& parts, QByteArray& bytes) {
    png_structp png =
        png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, ignoreWarning);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    if (!info || setjmp(png_jmpbuf(png))) {
        png_destroy_write_struct(&png, &info);
        return false;
    }
    png_set_write_fn(png, &bytes, appendBytes, flushNothing);
    png_set_IHDR(png, info, png_uint_32(spec.width), png_uint_32(spec.height), spec.bitDepth,
                 spec.colourType, spec.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (!parts.colours.empty())
        png_set_PLTE(png, info, parts.colours.data(), int(parts.colours.size()));
    if (!parts.alphas.empty())
        png_set_tRNS(png, info, parts.alphas.data(), int(parts.alphas.size()), nullptr);
    if (spec.transparent) {
        const std::vector<uint16_t>& value = *spec.transparent;
        png_color_16 colour{};
        colour.gray = value.at(0);
        if (value.size() >= 3) {
            colour.red = value[0];
            colour.green = value[1];
            colour.blue = value[2];
        }
        png_set_tRNS(png, info, nullptr, 0, &colour);
    }
    if (spec.density)
        png_set_pHYs(png, info, spec.density->x, spec.density->y,
                     spec.density->perMetre ? PNG_RESOLUTION_METER : PNG_RESOLUTION_UNKNOWN);
    if (!parts.texts.empty())
        png_set_text(png, info, parts.texts.data(), int(parts.texts.size()));
    png_set_rows(png, info, parts.rowPointers.data());
    png_write_png(png, info, PNG_TRANSFORM_IDENTITY, nullptr);
    png_destroy_write_struct(&png, &info);
    return true;
}

// A value that looks random, so that the samples compress as badly as a photograph's.
uint32_t scrambled(int x, int y, int c) {
    uint32_t h = uint32_t(x) * 73856093u ^ uint32_t(y) * 19349663u ^ uint32_t(c) * 83492791u;
    h ^= h >> 13;
    h *= 0x5bd1e995u;
    return h ^ (h >> 15);
}

} // namespace

int pngChannels(int colourType) {
    switch (colourType) {
    case 2:
        return 3;
    case 4:
        return 2;
    case 6:
        return 4;
    default:
        return 1;
    }
}

QByteArray makePng(const PngSpec& spec) {
    if (spec.samples.size() !=
        size_t(spec.width) * size_t(spec.height) * size_t(pngChannels(spec.colourType)))
        throw std::runtime_error("makePng: wrong number of samples");
    PngParts parts;
    for (int y = 0; y < spec.height; ++y)
        parts.rows.push_back(packedRow(spec, y));
    for (auto& row : parts.rows)
        parts.rowPointers.push_back(row.data());
    bool translucent = false;
    for (const QRgb colour : spec.palette) {
        parts.colours.push_back(
            {png_byte(qRed(colour)), png_byte(qGreen(colour)), png_byte(qBlue(colour))});
        parts.alphas.push_back(png_byte(qAlpha(colour)));
        translucent = translucent || qAlpha(colour) < 255;
    }
    if (!translucent)
        parts.alphas.clear();
    for (const PngText& text : spec.texts) {
        png_text entry{};
        entry.compression =
            text.international ? PNG_ITXT_COMPRESSION_NONE : PNG_TEXT_COMPRESSION_NONE;
        entry.key = const_cast<char*>(text.keyword.c_str());
        entry.text = const_cast<char*>(text.text.c_str());
        entry.text_length = text.text.size();
        parts.texts.push_back(entry);
    }
    QByteArray bytes;
    if (!writePng(spec, parts, bytes))
        throw std::runtime_error("makePng: libpng refuses the picture");
    return bytes;
}

PngSpec patternPngSpec(int width, int height, int colourType, int bitDepth) {
    PngSpec spec{.width = width, .height = height, .colourType = colourType, .bitDepth = bitDepth};
    const int channels = pngChannels(colourType);
    const uint32_t levels = 1u << bitDepth;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c)
                spec.samples.push_back(uint16_t(scrambled(x, y, c) % levels));
    if (colourType == 3)
        for (uint32_t i = 0; i < levels; ++i)
            spec.palette.append(qRgb(int(i * 37 % 256), int(255 - i), int(i * 101 % 256)));
    return spec;
}

qsizetype pngChunkOffset(const QByteArray& png, const char* type) {
    for (qsizetype at = 8; at + 8 <= png.size(); at += 12 + qsizetype(bigEndian32(png, at)))
        if (png.mid(at + 4, 4) == QByteArray(type, 4))
            return at;
    return -1;
}

QByteArray insertPngChunk(const QByteArray& png, const char* before, const char* type,
                          const QByteArray& data) {
    const qsizetype at = pngChunkOffset(png, before);
    if (at < 0)
        throw std::runtime_error("insertPngChunk: no chunk to insert before");
    QByteArray chunk;
    appendBigEndian32(chunk, uint32_t(data.size()));
    chunk.append(type, 4).append(data);
    appendBigEndian32(chunk,
                      uint32_t(crc32(0, reinterpret_cast<const Bytef*>(chunk.constData() + 4),
                                     uInt(chunk.size() - 4))));
    return QByteArray(png).insert(at, chunk);
}

} // namespace testsupport
