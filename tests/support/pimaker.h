// Writes Pi files of known content: a plain encoder that copies a run of dots from one of the
// five nearby positions when one matches and codes the dots as colours otherwise.
#pragma once

#include <QByteArray>
#include <QImage>

#include <cstdint>

namespace testsupport {

struct PiOptions {
    int planes = 0;              // 4 (16 colours) or 8 (256); 0: 4 when every index is below 16
    bool planesByteFF = false;   // 4 planes written as 0xFF, as some old writers did
    bool defaultPalette = false; // mode bit 7: no palette in the file
    uint8_t aspectN = 0;         // the aspect bytes: dots n / m times as tall as wide
    uint8_t aspectM = 0;
    QByteArray comment{};      // between "Pi" and the 0x1A (no 0x1A in it)
    QByteArray filler{};       // between the 0x1A and the 0x00 that ends the comment area
    QByteArray saver = "TAZU"; // the 4-byte saver name
    QByteArray machineData{};  // the machine-dependent block
};

// The Pi file of an Indexed8 picture of up to 65535 × 65535 dots, with its colour table as the
// palette (padded with black). Throws std::invalid_argument for a picture it cannot write.
QByteArray makePiFile(const QImage& indexed, const PiOptions& options = {});

} // namespace testsupport
