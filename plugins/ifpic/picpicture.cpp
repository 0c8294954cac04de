#include "plugins/ifpic/picpicture.h"

#include "plugins/common/msb_bit_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <numeric>
#include <vector>

namespace ifpic {
namespace {

// Rows decoded between two progress reports.
constexpr int32_t kRowsPerBand = 64;

// A run length code of more bits than this stands for more dots than any picture has.
constexpr int kLongestLengthBits = 32;

constexpr int kCacheSlots = 128;

using BitReader = spi::MsbBitReader;

// Reads a run length code: n one bits and a zero, then n + 1 bits v, for the length
// v + 2^(n+1) - 1. Returns 0 when n + 1 would be more than kLongestLengthBits.
uint64_t runLength(BitReader& in) {
    const int ones = std::countl_one(in.peek(kLongestLengthBits));
    if (ones >= kLongestLengthBits)
        return 0;
    in.skip(ones + 1);
    return in.read(ones + 1) + (uint64_t(1) << (ones + 1)) - 1;
}

uint16_t bigEndian16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// Colours are kept as 0xRRGGBB while decoding.
constexpr uint32_t packed(uint32_t red, uint32_t green, uint32_t blue) {
    return red << 16 | green << 8 | blue;
}

constexpr uint32_t widen5(uint32_t c) {
    return c << 3 | c >> 2;
}

constexpr uint32_t widen6(uint32_t v) {
    return v << 2 | v >> 4;
}

// An X68000 colour word, GGGGG RRRRR BBBBB I.
uint32_t x68000Colour(uint32_t word) {
    const uint32_t g = word >> 11 & 31;
    const uint32_t r = word >> 6 & 31;
    const uint32_t b = word >> 1 & 31;
    if (word & 1)
        return packed(widen6(2 * r + 1), widen6(2 * g + 1), widen6(2 * b + 1));
    return packed(widen5(r), widen5(g), widen5(b));
}

// The 128 colours most recently used, as a list from the most to the least recently used.
// A new colour takes the place of the least recently used one; naming a slot makes it the most
// recently used. At the start every slot holds black and slot 0 is the most recently used, so
// that new colours go into slots 1, 2, ..., 127, 0 until the first slot is named.
//
// The list is a ring: the slot after the newest is the oldest. Adding a colour then only moves
// the newest mark one step on, which keeps the common case of a picture of literal colours cheap.
class ColourCache {
public:
    ColourCache() {
        for (int i = 0; i < kCacheSlots; ++i) {
            older_[i] = uint8_t((i + kCacheSlots - 1) % kCacheSlots);
            newer_[i] = uint8_t((i + 1) % kCacheSlots);
        }
    }

    uint32_t use(uint32_t slot) {
        const uint32_t newest = newest_;
        const uint32_t oldest = newer_[newest];
        if (slot != newest && slot != oldest) {
            // Take the slot out of the ring and put it back between the newest and the oldest.
            // (The oldest slot is there already.) All links are read before any is written.
            const uint32_t older = older_[slot];
            const uint32_t newer = newer_[slot];
            newer_[older] = uint8_t(newer);
            older_[newer] = uint8_t(older);
            older_[slot] = uint8_t(newest);
            newer_[slot] = uint8_t(oldest);
            newer_[newest] = uint8_t(slot);
            older_[oldest] = uint8_t(slot);
        }
        newest_ = slot;
        return colours_[slot];
    }

    uint32_t add(uint32_t colour) {
        newest_ = newer_[newest_];
        colours_[newest_] = colour;
        return colour;
    }

private:
    uint32_t colours_[kCacheSlots] = {};
    uint8_t newer_[kCacheSlots];
    uint8_t older_[kCacheSlots];
    uint32_t newest_ = 0;
};

// Reads the colour of a new run: a cache slot or a literal colour of `bits` bits.
template <class Convert> class CachedColours {
public:
    CachedColours(int bits, Convert convert) : bits_(bits), convert_(convert) {}
    uint32_t operator()(BitReader& in) {
        if (in.bit())
            return cache_.use(in.read(7));
        return cache_.add(convert_(in.read(bits_)));
    }

private:
    ColourCache cache_;
    int bits_;
    Convert convert_;
};

// Reads a palette index of `bits` bits.
class PaletteIndices {
public:
    explicit PaletteIndices(int bits) : bits_(bits) {}
    uint32_t operator()(BitReader& in) const { return in.read(bits_); }

private:
    int bits_;
};

// The DIB's dots in raster order, top row first, at 1 byte (palette index) or 3 (blue, green,
// red) a dot, with the position of the next dot to set and a bit a dot for the chain marks.
template <int kBytes> class Raster {
public:
    Raster(spi::DibOutput& dib, int32_t width, int32_t height)
        : dib_(dib), width_(width), height_(height),
          marks_((size_t(width) * size_t(height) + 63) / 64), row_(dib.row(0)) {}

    int32_t x() const { return x_; }
    int32_t y() const { return y_; }
    bool atEnd() const { return y_ == height_; }

    // Sets the next dot to the colour, or, when a chain has marked it, takes the dot's colour
    // into `colour`; then moves on.
    void fill(uint32_t& colour) {
        if (marks_[index_ >> 6] >> (index_ & 63) & 1)
            colour = load(row_ + size_t(x_) * kBytes);
        else
            store(row_ + size_t(x_) * kBytes, colour);
        advance();
    }
    // Sets the next dot to the colour, marked or not, and moves on.
    void set(uint32_t colour) {
        store(row_ + size_t(x_) * kBytes, colour);
        advance();
    }
    // Sets the dot at x, y, below the next one, and marks it. The caller keeps x, y inside.
    void mark(int32_t x, int32_t y, uint32_t colour) {
        store(dib_.row(y) + size_t(x) * kBytes, colour);
        const size_t index = size_t(y) * size_t(width_) + size_t(x);
        marks_[index >> 6] |= uint64_t(1) << (index & 63);
    }

private:
    static void store(uint8_t* dot, uint32_t colour) {
        dot[0] = uint8_t(colour);
        if constexpr (kBytes == 3) {
            dot[1] = uint8_t(colour >> 8);
            dot[2] = uint8_t(colour >> 16);
        }
    }
    static uint32_t load(const uint8_t* dot) {
        if constexpr (kBytes == 3)
            return uint32_t(dot[0]) | uint32_t(dot[1]) << 8 | uint32_t(dot[2]) << 16;
        return dot[0];
    }
    void advance() {
        ++index_;
        if (++x_ == width_) {
            x_ = 0;
            if (++y_ < height_)
                row_ = dib_.row(y_);
        }
    }

    spi::DibOutput& dib_;
    const int32_t width_;
    const int32_t height_;
    std::vector<uint64_t> marks_;
    uint8_t* row_;
    size_t index_ = 0;
    int32_t x_ = 0;
    int32_t y_ = 0;
};

} // namespace

bool hasPicSignature(const uint8_t* data, size_t size) {
    return data && size >= 4 && std::memcmp(data, "PIC", 3) == 0 &&
           std::memchr(data + 3, 0x1A, size - 3) != nullptr;
}

int32_t PicPicture::open(const uint8_t* data, size_t size) {
    if (!hasPicSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    data_ = data;
    size_ = size;
    const auto* end = static_cast<const uint8_t*>(std::memchr(data + 3, 0x1A, size - 3));
    comment_.assign(reinterpret_cast<const char*>(data + 3), size_t(end - data - 3));
    // Any bytes but 0 may stand between the 0x1A and the 0 that truly ends the comment area.
    const size_t afterEnd = size_t(end - data) + 1;
    const auto* zero = static_cast<const uint8_t*>(std::memchr(end + 1, 0, size - afterEnd));
    if (!zero)
        return SPI_BROKEN_DATA;
    size_t at = size_t(zero - data) + 1;

    // Reserved byte, machine type and mode, colour bits, width, height.
    if (size - at < 8)
        return SPI_BROKEN_DATA;
    const int type = data[at + 1] & 0x0F;
    mode_ = data[at + 1] >> 4;
    bits_ = bigEndian16(data + at + 2);
    width_ = bigEndian16(data + at + 4);
    height_ = bigEndian16(data + at + 6);
    at += 8;

    switch (type) {
    case 0x0:
        machine_ = Machine::X68000;
        if (mode_ != 0 || (bits_ != 4 && bits_ != 8 && bits_ != 15 && bits_ != 16))
            return SPI_UNKNOWN_FORMAT;
        break;
    case 0xF:
        machine_ = Machine::Generic;
        if ((mode_ != 0 && mode_ != 1 && mode_ != 0xF) || (bits_ != 15 && bits_ != 24))
            return SPI_UNKNOWN_FORMAT;
        // The picture's position (unused), then the aspect bytes.
        if (size - at < 6)
            return SPI_BROKEN_DATA;
        aspectHeight_ = data[at + 4];
        aspectWidth_ = data[at + 5];
        at += 6;
        break;
    default:
        return SPI_UNKNOWN_FORMAT;
    }
    if (width_ == 0 || height_ == 0)
        return SPI_BROKEN_DATA;

    if (hasPalette()) {
        const size_t entries = size_t(1) << bits_;
        if ((size - at) / 2 < entries)
            return SPI_BROKEN_DATA;
        for (size_t i = 0; i < entries; ++i) {
            const uint32_t colour = x68000Colour(bigEndian16(data + at + 2 * i));
            palette_[i] =
                SpiRgbQuad{uint8_t(colour), uint8_t(colour >> 8), uint8_t(colour >> 16), 0};
        }
        at += 2 * entries;
    }
    streamStart_ = at;
    return SPI_SUCCESS;
}

spi::Densities PicPicture::densities() const {
    spi::Densities result;
    if (machine_ == Machine::X68000) {
        if (bits_ > 4 && comment_.find("/XSS/") == std::string::npos) {
            result.x = 3;
            result.y = 4;
        }
    } else if (aspectHeight_ && aspectWidth_) {
        const int common = std::gcd(int(aspectHeight_), int(aspectWidth_));
        result.x = uint16_t(aspectHeight_ / common);
        result.y = uint16_t(aspectWidth_ / common);
    } else if (mode_ == 1) {
        result.x = 3;
        result.y = 4;
    }
    return result;
}

int32_t PicPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    const int entries = hasPalette() ? 1 << bits_ : 0;
    if (const int32_t result = dib.allocate(width_, height_, hasPalette() ? 8 : 24, entries);
        result != SPI_SUCCESS)
        return result;
    std::copy_n(palette_.begin(), entries, dib.palette());
    if (spi::progressAborts(progress, 0, height_, lData))
        return SPI_ABORTED;

    int32_t result = SPI_SUCCESS;
    if (hasPalette()) {
        result =
            decodeStream(Raster<1>(dib, width_, height_), PaletteIndices(bits_), progress, lData);
    } else if (bits_ == 24) {
        result = decodeStream(
            Raster<3>(dib, width_, height_),
            CachedColours(
                24, [](uint32_t grb) { return packed(grb >> 8 & 0xFF, grb >> 16, grb & 0xFF); }),
            progress, lData);
    } else {
        const int shift = bits_ == 15 ? 1 : 0;
        result = decodeStream(
            Raster<3>(dib, width_, height_),
            CachedColours(bits_,
                          [shift](uint32_t colour) { return x68000Colour(colour << shift); }),
            progress, lData);
    }
    if (result != SPI_SUCCESS)
        return result;
    if (spi::progressAborts(progress, height_, height_, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

// The stream is a sequence of runs over the dots in raster order, each a length L, then L - 1
// dots of the current colour, then a dot of a new colour, which becomes current, and a chain flag.
// A chain marks dots below the new one (one row down per step, up to two dots aside) with the new
// colour; when the run reaches a marked dot, that dot keeps its colour and it becomes current.
template <class Output, class ColourSource>
int32_t PicPicture::decodeStream(Output out, ColourSource newColour, SpiProgressCallback progress,
                                 int32_t lData) {
    BitReader in(data_ + streamStart_, size_ - streamStart_);
    const uint64_t total = uint64_t(width_) * uint64_t(height_);
    uint64_t next = 0; // the next dot to set
    uint32_t colour = 0;
    int32_t nextReport = kRowsPerBand;
    for (;;) {
        const uint64_t length = runLength(in);
        if (length == 0)
            return SPI_BROKEN_DATA;
        const uint64_t repeats = std::min(length - 1, total - next);
        for (uint64_t i = 0; i < repeats; ++i)
            out.fill(colour);
        next += repeats;
        if (next == total)
            break;

        colour = newColour(in);
        const int32_t x = out.x();
        const int32_t y = out.y();
        out.set(colour);
        if (++next == total)
            break;
        if (in.bit()) {
            int64_t chainX = x;
            for (int64_t chainY = y + 1;; ++chainY) {
                const uint32_t move = in.read(2);
                int step;
                if (move != 0)
                    step = int(move) - 2;
                else if (!in.bit())
                    break;
                else
                    step = in.bit() ? 2 : -2;
                chainX += step;
                if (chainY < height_) {
                    if (chainX < 0 || chainX >= width_)
                        return SPI_BROKEN_DATA;
                    out.mark(int32_t(chainX), int32_t(chainY), colour);
                }
            }
        }
        // A stream read past its end reads zeros, which still make runs, so checking once a band
        // finds a short stream as surely as checking every dot.
        if (out.y() >= nextReport) {
            if (in.bitsPastEnd() > 0)
                return SPI_BROKEN_DATA;
            if (spi::progressAborts(progress, out.y(), height_, lData))
                return SPI_ABORTED;
            nextReport = out.y() + kRowsPerBand;
        }
    }
    return in.bitsPastEnd() > 0 ? SPI_BROKEN_DATA : SPI_SUCCESS;
}

} // namespace ifpic
