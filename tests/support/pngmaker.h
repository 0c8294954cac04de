// Writes PNG files of known content through libpng, and edits their chunks.
#pragma once

#include <QByteArray>
#include <QList>
#include <QRgb>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace testsupport {

struct PngText {
    std::string keyword;
    std::string text;
    bool international = false; // iTXt, else tEXt
};

struct PngDensity {
    uint32_t x = 0;
    uint32_t y = 0;
    bool perMetre = true; // unit metre, else the aspect only
};

struct PngSpec {
    int width = 1;
    int height = 1;
    int colourType = 2; // 0 grey, 2 RGB, 3 palette, 4 grey + alpha, 6 RGBA
    int bitDepth = 8;
    bool interlaced = false;
    // Each pixel's samples, row by row (a palette picture's one sample is its index); each
    // below 2^bitDepth.
    std::vector<uint16_t> samples{};
    QList<QRgb> palette{}; // its alphas go into tRNS when one is below 255
    // The tRNS colour of a grey (first value) or RGB picture.
    std::optional<std::vector<uint16_t>> transparent{};
    std::optional<PngDensity> density{};
    std::vector<PngText> texts{}; // written before the image data
};

// Samples per pixel of a PNG colour type.
int pngChannels(int colourType);

// Throws std::runtime_error when libpng refuses the spec.
QByteArray makePng(const PngSpec& spec);

// A spec of the given kind whose samples are scattered over the range, as noisy as a photograph
// (a palette picture gets 2^bitDepth distinct opaque colours).
PngSpec patternPngSpec(int width, int height, int colourType, int bitDepth);

// The png with a chunk of that type and data (its CRC computed) inserted before the first chunk
// of type `before`.
QByteArray insertPngChunk(const QByteArray& png, const char* before, const char* type,
                          const QByteArray& data);

// Where the first chunk of that type starts (its length field), or -1.
qsizetype pngChunkOffset(const QByteArray& png, const char* type);

} // namespace testsupport
