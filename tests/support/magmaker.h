// Writes MAG (MAKI02) pictures from Indexed8 images: 16 or 256 colours, any start position and
// width, the 200-line flag and a comment. Each word is coded as a copy of the first earlier word
// (of the 15 places a MAG flag can name) that holds the same dots, else as a literal.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

#include <cstdint>

namespace testsupport {

struct MagOptions {
    bool colours256 = false; // 256 colours; else 16 (the image's indices must be below 16)
    bool lines200 = false;   // the 200-line flag: dots twice as tall as wide
    int x0 = 0;              // where the picture lies on the screen
    int y0 = 0;
    // Dots a 256-colour row is widened to on each side: 8 (as 16-colour rows) or 4.
    int alignment256 = 8;
    QByteArray machine = "TAZU"; // 4 bytes
    QByteArray user{};           // up to 18 bytes
    QByteArray comment{};
};

// A MAG file in its parts, for tests that change one of them before writing the file.
struct MagFile {
    QByteArray text; // bytes 8 up to the 0x1A: machine name, user name, comment
    uint8_t machineCode = 0;
    uint8_t screenMode = 0; // bit 0: 200 lines, bit 7: 256 colours
    uint16_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    QList<QRgb> palette; // 16 or 256 entries
    QByteArray flagA, flagB, pixels;
};

MagFile encodeMag(const QImage& indexed, const MagOptions& options = {});

// The file: the signature, the text and 0x1A, the header, the palette (G, R, B) and the flag A,
// flag B and pixel streams in that order, the offsets and sizes in the header to match.
QByteArray magBytes(const MagFile& file);

inline QByteArray makeMagFile(const QImage& indexed, const MagOptions& options = {}) {
    return magBytes(encodeMag(indexed, options));
}

} // namespace testsupport
