#include "tests/support/pimaker.h"

#include <algorithm>
#include <array>
#include <bit>
#include <stdexcept>
#include <vector>

namespace testsupport {
namespace {

void require(bool ok, const char* what) {
    if (!ok)
        throw std::invalid_argument(std::string("makePiFile: ") + what);
}

// Appends bits, most significant first.
class BitWriter {
public:
    void put(uint32_t value, int count) {
        for (int i = count - 1; i >= 0; --i) {
            current_ = uint8_t(current_ << 1 | ((value >> i) & 1));
            if (++filled_ == 8) {
                bytes_.append(char(current_));
                current_ = 0;
                filled_ = 0;
            }
        }
    }
    QByteArray finish() {
        if (filled_)
            bytes_.append(char(current_ << (8 - filled_)));
        return bytes_;
    }

private:
    QByteArray bytes_;
    uint8_t current_ = 0;
    int filled_ = 0;
};

void putBigEndian16(QByteArray& bytes, int value) {
    bytes.append(char(value >> 8));
    bytes.append(char(value & 0xff));
}

class Encoder {
public:
    Encoder(const QImage& picture, int planes)
        : planes_(planes), colours_(1 << planes), width_(size_t(picture.width())),
          total_(width_ * size_t(picture.height())), before_(2 * width_ + 4),
          dots_(before_ + total_ + 1) {
        for (int y = 0; y < picture.height(); ++y) {
            const uchar* line = picture.constScanLine(y);
            for (size_t x = 0; x < width_; ++x) {
                require(line[x] < colours_, "an index beyond the colour count");
                dot(y * width_ + x) = line[x];
            }
        }
        for (int p = 0; p < colours_; ++p)
            for (int k = 0; k < colours_; ++k)
                lists_[size_t(p)][size_t(k)] = uint8_t((p - k) & (colours_ - 1));
    }

    QByteArray encode() {
        // The two opening colours are the first two dots, so that the first pair can be
        // copied from the rows imagined before the picture.
        const uint8_t first = dot(0);
        const uint8_t second = total_ > 1 ? dot(1) : first;
        putColour(0, first);
        putColour(first, second);
        for (size_t i = 1; i <= before_; ++i)
            dots_[before_ - i] = i & 1 ? second : first;

        int previous = kNone;
        size_t position = 0;
        while (position < total_) {
            const Copy copy = longestCopy(position, previous);
            if (copy.pairs > 0) {
                putPosition(copy.code);
                putLength(copy.pairs);
                position = std::min(total_, position + 2 * copy.pairs);
                previous = copy.code;
                continue;
            }
            // No copy but the one that would mean "colours": colours until the next pair can
            // be copied from somewhere.
            putPosition(previous);
            for (;;) {
                putPair(position);
                position += 2;
                if (position >= total_)
                    break;
                const bool more = longestCopy(position, kNone).pairs == 0;
                bits_.put(more ? 1 : 0, 1);
                if (!more)
                    break;
            }
            previous = kNone;
        }
        return bits_.finish();
    }

private:
    static constexpr int kNone = -1;

    struct Copy {
        int code = kNone;
        size_t pairs = 0;
    };

    uint8_t& dot(size_t i) { return dots_[before_ + i]; }
    uint8_t dotBefore(size_t i, size_t distance) { return dots_[before_ + i - distance]; }

    size_t distance(size_t position, int code) {
        switch (code) {
        case 0:
            return dotBefore(position, 1) == dotBefore(position, 2) ? 2 : 4;
        case 1:
            return width_;
        case 2:
            return 2 * width_;
        case 3:
            return width_ - 1;
        default:
            return width_ + 1;
        }
    }

    // The longest run of whole pairs from position that a copy other than excluded repeats.
    Copy longestCopy(size_t position, int excluded) {
        Copy best;
        for (int code = 0; code < 5; ++code) {
            const size_t d = distance(position, code);
            if (code == excluded || d == 0)
                continue;
            size_t end = position;
            while (end < total_ && dot(end) == dotBefore(end, d))
                ++end;
            const size_t pairs = end >= total_ ? (end - position + 1) / 2 : (end - position) / 2;
            if (pairs > best.pairs)
                best = {code, pairs};
        }
        return best;
    }

    void putPosition(int code) {
        static constexpr std::array<std::pair<uint32_t, int>, 5> codes = {
            {{0, 2}, {1, 2}, {2, 2}, {6, 3}, {7, 3}}};
        bits_.put(codes[size_t(code)].first, codes[size_t(code)].second);
    }

    void putLength(size_t pairs) {
        const int n = std::bit_width(pairs) - 1;
        bits_.put((1u << n) - 1, n); // n ones
        bits_.put(0, 1);
        bits_.put(uint32_t(pairs - (size_t(1) << n)), n);
    }

    void putColour(uint8_t left, uint8_t colour) {
        auto& list = lists_[left];
        const int k = int(std::find(list.begin(), list.begin() + colours_, colour) - list.begin());
        std::rotate(list.begin(), list.begin() + k, list.begin() + k + 1);
        if (k < 2) {
            bits_.put(2 | uint32_t(k), 2);
            return;
        }
        const int j = std::bit_width(uint32_t(k)) - 1;
        bits_.put(0, 1);
        bits_.put((1u << (j - 1)) - 1, j - 1); // j - 1 ones
        if (j - 1 < planes_ - 2)
            bits_.put(0, 1);
        bits_.put(uint32_t(k) - (1u << j), j);
    }

    // Dots position and position + 1 as colours; past the last dot any colour will do.
    void putPair(size_t position) {
        putColour(dotBefore(position, 1), dot(position));
        if (position + 1 < total_)
            putColour(dot(position), dot(position + 1));
        else
            putColour(dot(position), lists_[dot(position)][0]);
    }

    int planes_;
    int colours_;
    size_t width_;
    size_t total_;
    size_t before_;
    std::vector<uint8_t> dots_;
    std::array<std::array<uint8_t, 256>, 256> lists_{};
    BitWriter bits_;
};

} // namespace

QByteArray makePiFile(const QImage& indexed, const PiOptions& options) {
    require(indexed.format() == QImage::Format_Indexed8, "an Indexed8 picture");
    require(indexed.width() > 0 && indexed.width() <= 65535 && indexed.height() > 0 &&
                indexed.height() <= 65535,
            "1 to 65535 dots each way");
    require(!options.comment.contains('\x1a'), "a comment without 0x1A");
    require(!options.filler.contains('\0'), "filler without 0x00");
    require(options.saver.size() == 4, "a 4-byte saver name");
    require(options.machineData.size() <= 65535, "machine data of at most 65535 bytes");
    int planes = options.planes;
    if (planes == 0) {
        planes = 4;
        for (int y = 0; y < indexed.height() && planes == 4; ++y) {
            const uchar* line = indexed.constScanLine(y);
            if (std::any_of(line, line + indexed.width(), [](uchar i) { return i >= 16; }))
                planes = 8;
        }
    }
    require(planes == 4 || planes == 8, "4 or 8 planes");

    QByteArray file("Pi");
    file += options.comment;
    file += '\x1a';
    file += options.filler;
    file += '\0';
    file += char(options.defaultPalette ? 0x80 : 0);
    file += char(options.aspectN);
    file += char(options.aspectM);
    file += char(planes == 4 && options.planesByteFF ? 0xFF : planes);
    file += options.saver;
    putBigEndian16(file, int(options.machineData.size()));
    file += options.machineData;
    putBigEndian16(file, indexed.width());
    putBigEndian16(file, indexed.height());
    if (!options.defaultPalette) {
        const QList<QRgb> table = indexed.colorTable();
        for (int i = 0; i < 1 << planes; ++i) {
            const QRgb colour = i < table.size() ? table[i] : qRgb(0, 0, 0);
            file += char(qRed(colour));
            file += char(qGreen(colour));
            file += char(qBlue(colour));
        }
    }
    return file + Encoder(indexed, planes).encode();
}

} // namespace testsupport
