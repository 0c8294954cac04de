// PIC pictures made at run time: the header (comment, machine type, colour bits, size, the
// generic type's position and aspect bytes, the X68000 palette) and a bit stream that codes each
// run of equal dots with one length and a new colour, taken from the 128-slot colour cache when it
// holds it. No chains. PicStream writes the codes one by one for streams made by hand.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QRgb>

#include <cstdint>
#include <vector>

namespace testsupport {

enum class PicMachine {
    X68000, // type 0: 4 or 8 bits (palette), 15 or 16 bits
    Generic // type 0xF: 15 or 24 bits
};

struct PicOptions {
    PicMachine machine = PicMachine::X68000;
    int bits = 15;
    int mode = 0; // the high nibble of the type byte
    QByteArray comment{};
    QByteArray dummy{};       // bytes (not 0) between the comment's 0x1A and its closing 0
    uint8_t aspectHeight = 0; // the generic type's aspect bytes ah and al
    uint8_t aspectWidth = 0;
    bool intensity = false; // 16 bits: the I bit of every colour word
};

// Channels kept as 5 bits, and a colour word GGGGG RRRRR BBBBB I.
uint16_t x68000Word(QRgb colour, bool intensity = false);

// The colour of one dot as the stream stores it: the colour value for 15, 16 and 24 bits (G, R,
// B), the palette index for 4 and 8 bits.
uint32_t picColourValue(const QImage& image, int x, int y, const PicOptions& options);

// Everything before the bit stream. The palette (for 4 and 8 bits) is written as X68000 words,
// padded with black to 2^bits entries.
QByteArray makePicHeader(int width, int height, const PicOptions& options,
                         const QList<QRgb>& palette = {});

// A whole file: image in RGB for 15, 16 and 24 bits, or Indexed8 with at most 2^bits colours.
QByteArray makePicFile(const QImage& image, const PicOptions& options = {});

// The codes of the bit stream, most significant bit first.
class PicStream {
public:
    // A run length of at least 1: L - 1 dots of the current colour, then a new colour.
    PicStream& length(uint64_t length);
    // A new colour: a literal value of `bits` bits (after the cache flag 0), a cache slot, or
    // a palette index of `bits` bits (no flag).
    PicStream& literal(uint32_t value, int bits);
    PicStream& slot(int slot);
    PicStream& index(uint32_t value, int bits);
    // The chain flag 0, or a chain: flag 1, the moves (-2 to 2 dots aside, one row down each),
    // the end code.
    PicStream& noChain();
    PicStream& chain(const std::vector<int>& moves);
    // Raw bits.
    PicStream& put(uint64_t value, int count);

    // The stream, its last byte padded with zero bits.
    QByteArray bytes() const;

private:
    QByteArray bytes_;
    int used_ = 8; // bits used in the last byte
};

} // namespace testsupport
