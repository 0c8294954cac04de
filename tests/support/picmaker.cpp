#include "tests/support/picmaker.h"

#include <array>
#include <stdexcept>
#include <unordered_map>

namespace testsupport {
namespace {

void putBigEndian16(QByteArray& bytes, uint32_t value) {
    bytes.append(char(value >> 8 & 0xFF));
    bytes.append(char(value & 0xFF));
}

// The encoder's copy of the decoder's colour cache: 128 slots, the least recently used one takes
// a new colour. At the start slot 0 is the most recently used and the others follow it from 127
// (newest) down to 1 (oldest). Only colours written into it are looked up, so a black dot is
// written as a literal until it has a slot of its own.
class CacheMirror {
public:
    CacheMirror() {
        lastUse_[0] = kSlots;
        for (int i = 1; i < kSlots; ++i)
            lastUse_[i] = uint64_t(i);
    }

    // The slot holding value, made the most recently used; -1 when it is not held.
    int find(uint32_t value) {
        const auto found = slotOf_.find(value);
        if (found == slotOf_.end())
            return -1;
        lastUse_[found->second] = ++clock_;
        return found->second;
    }

    void add(uint32_t value) {
        int oldest = 0;
        for (int i = 1; i < kSlots; ++i)
            if (lastUse_[i] < lastUse_[oldest])
                oldest = i;
        if (held_[oldest])
            slotOf_.erase(values_[oldest]);
        values_[oldest] = value;
        held_[oldest] = true;
        slotOf_[value] = oldest;
        lastUse_[oldest] = ++clock_;
    }

private:
    static constexpr int kSlots = 128;
    std::array<uint32_t, kSlots> values_{};
    std::array<bool, kSlots> held_{};
    std::array<uint64_t, kSlots> lastUse_{};
    uint64_t clock_ = kSlots;
    std::unordered_map<uint32_t, int> slotOf_;
};

} // namespace

uint16_t x68000Word(QRgb colour, bool intensity) {
    return uint16_t((qGreen(colour) >> 3) << 11 | (qRed(colour) >> 3) << 6 |
                    (qBlue(colour) >> 3) << 1 | (intensity ? 1 : 0));
}

uint32_t picColourValue(const QImage& image, int x, int y, const PicOptions& options) {
    if (options.bits <= 8)
        return uint32_t(image.pixelIndex(x, y));
    const QRgb colour = image.pixel(x, y);
    switch (options.bits) {
    case 24:
        return uint32_t(qGreen(colour)) << 16 | uint32_t(qRed(colour)) << 8 |
               uint32_t(qBlue(colour));
    case 16:
        return x68000Word(colour, options.intensity);
    default:
        return x68000Word(colour) >> 1;
    }
}

QByteArray makePicHeader(int width, int height, const PicOptions& options,
                         const QList<QRgb>& palette) {
    QByteArray header = "PIC" + options.comment + '\x1A' + options.dummy + '\0';
    header.append('\0'); // reserved
    header.append(char(options.mode << 4 | (options.machine == PicMachine::Generic ? 0xF : 0)));
    putBigEndian16(header, uint32_t(options.bits));
    putBigEndian16(header, uint32_t(width));
    putBigEndian16(header, uint32_t(height));
    if (options.machine == PicMachine::Generic) {
        putBigEndian16(header, 0xFFFF); // position unused
        putBigEndian16(header, 0xFFFF);
        header.append(char(options.aspectHeight));
        header.append(char(options.aspectWidth));
    }
    if (options.bits <= 8)
        for (int i = 0; i < 1 << options.bits; ++i)
            putBigEndian16(header, i < palette.size() ? x68000Word(palette[i]) : 0);
    return header;
}

QByteArray makePicFile(const QImage& image, const PicOptions& options) {
    const bool indexed = options.bits <= 8;
    if (indexed &&
        (image.format() != QImage::Format_Indexed8 || image.colorCount() > (1 << options.bits)))
        throw std::runtime_error("makePicFile: a palette picture needs an Indexed8 image");
    const QImage source = indexed ? image : image.convertToFormat(QImage::Format_RGB32);
    const qsizetype total = qsizetype(source.width()) * source.height();

    PicStream stream;
    CacheMirror cache;
    const auto newColour = [&](uint32_t value) {
        if (indexed) {
            stream.index(value, options.bits);
        } else if (const int slot = cache.find(value); slot >= 0) {
            stream.slot(slot);
        } else {
            cache.add(value);
            stream.literal(value, options.bits);
        }
    };

    // Each run of equal dots: the length that repeats the previous run's colour up to its end,
    // then the run's colour as a new colour.
    uint64_t previousRun = 1;
    for (qsizetype at = 0; at < total;) {
        const int width = source.width();
        const uint32_t value = picColourValue(source, int(at % width), int(at / width), options);
        qsizetype end = at + 1;
        while (end < total &&
               picColourValue(source, int(end % width), int(end / width), options) == value)
            ++end;
        stream.length(previousRun);
        newColour(value);
        if (at + 1 < total)
            stream.noChain();
        previousRun = uint64_t(end - at);
        at = end;
    }
    if (previousRun > 1)
        stream.length(previousRun);
    return makePicHeader(source.width(), source.height(), options,
                         indexed ? image.colorTable() : QList<QRgb>{}) +
           stream.bytes();
}

PicStream& PicStream::put(uint64_t value, int count) {
    for (int i = count - 1; i >= 0; --i) {
        if (used_ == 8) {
            bytes_.append('\0');
            used_ = 0;
        }
        if (value >> i & 1)
            bytes_[bytes_.size() - 1] = char(bytes_.back() | (0x80 >> used_));
        ++used_;
    }
    return *this;
}

PicStream& PicStream::length(uint64_t length) {
    // a bits of value v stand for v + 2^a - 1, announced by a - 1 one bits and a zero.
    int bits = 1;
    while (length > (uint64_t(1) << (bits + 1)) - 2)
        ++bits;
    put((uint64_t(1) << (bits - 1)) - 1, bits - 1);
    put(0, 1);
    return put(length - ((uint64_t(1) << bits) - 1), bits);
}

PicStream& PicStream::literal(uint32_t value, int bits) {
    put(0, 1);
    return put(value, bits);
}

PicStream& PicStream::slot(int slot) {
    put(1, 1);
    return put(uint32_t(slot), 7);
}

PicStream& PicStream::index(uint32_t value, int bits) {
    return put(value, bits);
}

PicStream& PicStream::noChain() {
    return put(0, 1);
}

PicStream& PicStream::chain(const std::vector<int>& moves) {
    put(1, 1);
    for (const int move : moves) {
        switch (move) {
        case -1:
        case 0:
        case 1:
            put(uint32_t(move + 2), 2);
            break;
        case -2:
            put(0b0010, 4);
            break;
        case 2:
            put(0b0011, 4);
            break;
        default:
            throw std::invalid_argument("PicStream::chain: a move of more than two dots");
        }
    }
    return put(0, 3);
}

QByteArray PicStream::bytes() const {
    return bytes_;
}

} // namespace testsupport
