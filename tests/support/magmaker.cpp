#include "tests/support/magmaker.h"

#include <stdexcept>
#include <vector>

namespace testsupport {
namespace {

constexpr int kWordsLeft[16] = {0, 1, 2, 4, 0, 1, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0};
constexpr int kRowsUp[16] = {0, 0, 0, 0, 1, 1, 2, 2, 2, 4, 4, 4, 8, 8, 8, 16};

void putLe16(QByteArray& out, uint32_t value) {
    out.append(char(value & 0xff));
    out.append(char((value >> 8) & 0xff));
}
void putLe32(QByteArray& out, uint32_t value) {
    putLe16(out, value & 0xffff);
    putLe16(out, value >> 16);
}

QByteArray padded(const QByteArray& text, int length) {
    return text.left(length).leftJustified(length, ' ');
}

} // namespace

MagFile encodeMag(const QImage& indexed, const MagOptions& options) {
    if (indexed.format() != QImage::Format_Indexed8 || indexed.isNull())
        throw std::runtime_error("makeMag: needs an Indexed8 image");
    const int colours = options.colours256 ? 256 : 16;
    const int group = options.colours256 ? options.alignment256 : 8;
    const int dotsPerWord = options.colours256 ? 2 : 4;
    const int x1 = options.x0 + indexed.width() - 1;
    const int y1 = options.y0 + indexed.height() - 1;
    if (x1 > 65535 || y1 > 65535)
        throw std::runtime_error("makeMag: the picture does not fit on a MAG screen");

    MagFile file;
    file.text = padded(options.machine, 4) + padded(options.user, 18) + "  " + options.comment;
    file.screenMode = uint8_t((options.lines200 ? 0x01 : 0) | (options.colours256 ? 0x80 : 0));
    file.x0 = uint16_t(options.x0);
    file.y0 = uint16_t(options.y0);
    file.x1 = uint16_t(x1);
    file.y1 = uint16_t(y1);
    file.palette = indexed.colorTable().mid(0, colours);
    file.palette.resize(colours, qRgb(0, 0, 0));

    // The coded rows: the picture widened to whole groups of dots, padded with index 0.
    const int left = options.x0 / group * group;
    const int codedWidth = (x1 / group + 1) * group - left;
    const int words = codedWidth / dotsPerWord;
    const int height = indexed.height();
    std::vector<uint16_t> grid(size_t(words) * size_t(height));
    for (int y = 0; y < height; ++y) {
        const uchar* line = indexed.constScanLine(y);
        for (int w = 0; w < words; ++w) {
            uint16_t word = 0;
            for (int d = 0; d < dotsPerWord; ++d) {
                const int x = w * dotsPerWord + d + left - options.x0;
                const int index = x >= 0 && x < indexed.width() ? line[x] : 0;
                if (index >= colours)
                    throw std::runtime_error("makeMag: an index beyond the colour count");
                word = uint16_t(word << (16 / dotsPerWord) | index);
            }
            grid[size_t(y) * size_t(words) + size_t(w)] = word;
        }
    }

    std::vector<uint8_t> previous(size_t(words / 2), 0);
    int flagABits = 0;
    for (int y = 0; y < height; ++y) {
        const uint16_t* row = &grid[size_t(y) * size_t(words)];
        for (int f = 0; f < words / 2; ++f) {
            uint8_t flag = 0;
            for (int half = 0; half < 2; ++half) {
                const int w = 2 * f + half;
                int code = 0;
                for (int k = 1; k < 16 && code == 0; ++k)
                    if (w >= kWordsLeft[k] && y >= kRowsUp[k] &&
                        grid[size_t(y - kRowsUp[k]) * size_t(words) + size_t(w - kWordsLeft[k])] ==
                            row[w])
                        code = k;
                if (code == 0) {
                    file.pixels.append(char(row[w] >> 8));
                    file.pixels.append(char(row[w] & 0xff));
                }
                flag = uint8_t(flag << 4 | code);
            }
            const uint8_t change = flag ^ previous[size_t(f)];
            previous[size_t(f)] = flag;
            if (flagABits % 8 == 0)
                file.flagA.append('\0');
            if (change) {
                file.flagA.back() = char(file.flagA.back() | (0x80 >> (flagABits % 8)));
                file.flagB.append(char(change));
            }
            ++flagABits;
        }
    }
    if (file.flagA.size() % 2)
        file.flagA.append('\0');
    return file;
}

QByteArray magBytes(const MagFile& file) {
    QByteArray out = "MAKI02  " + file.text + '\x1a';
    const uint32_t flagAOffset = 32 + 3 * uint32_t(file.palette.size());
    const uint32_t flagBOffset = flagAOffset + uint32_t(file.flagA.size());
    const uint32_t pixelOffset = flagBOffset + uint32_t(file.flagB.size());
    out.append('\0');
    out.append(char(file.machineCode));
    out.append('\0');
    out.append(char(file.screenMode));
    for (const uint16_t edge : {file.x0, file.y0, file.x1, file.y1})
        putLe16(out, edge);
    putLe32(out, flagAOffset);
    putLe32(out, flagBOffset);
    putLe32(out, uint32_t(file.flagB.size()));
    putLe32(out, pixelOffset);
    putLe32(out, uint32_t(file.pixels.size()));
    for (const QRgb colour : file.palette) {
        out.append(char(qGreen(colour)));
        out.append(char(qRed(colour)));
        out.append(char(qBlue(colour)));
    }
    return out + file.flagA + file.flagB + file.pixels;
}

} // namespace testsupport
