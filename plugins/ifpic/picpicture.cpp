#include "plugins/ifpic/picpicture.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <numeric>

namespace ifpic {
namespace {

// Rows decoded between two progress reports.
constexpr int32_t kRowsPerBand = 64;

// A run length code of more bits than this stands for more dots than any picture has.
constexpr int kLongestLengthBits = 32;

// Marks a dot that a chain has set ahead of the raster position; colours take 24 bits at most.
constexpr uint32_t kChainMark = 0x80000000u;

constexpr int kCacheSlots = 128;

// The bit stream, most significant bit first. Past the end of the input it reads zero bits;
// pastEnd() tells when a read went beyond the input.
class BitReader {
public:
    BitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // Reads n bits, 1 <= n <= 32.
    uint32_t read(int n) {
        if (count_ < n)
            refill();
        const auto value = uint32_t(window_ >> (64 - n));
        window_ <<= n;
        count_ -= n;
        return value;
    }
    bool bit() { return read(1) != 0; }

    bool pastEnd() const {
        return uint64_t(position_) * 8 - uint64_t(count_) > uint64_t(size_) * 8;
    }

private:
    // Fills the window with whole bytes. The bits below count_ hold either zeros or the stream's
    // own next bits (from an earlier eight-byte load), so OR-ing bytes in at their place is safe.
    void refill() {
        if (position_ + 8 <= size_) {
            uint64_t word = 0;
            for (int i = 0; i < 8; ++i)
                word = word << 8 | data_[position_ + size_t(i)];
            window_ |= word >> count_;
            const int bytes = (64 - count_) >> 3;
            position_ += size_t(bytes);
            count_ += bytes * 8;
            return;
        }
        while (count_ <= 56) {
            const uint64_t byte = position_ < size_ ? data_[position_] : 0;
            ++position_;
            window_ |= byte << (56 - count_);
            count_ += 8;
        }
    }

    const uint8_t* data_;
    size_t size_;
    size_t position_ = 0;
    uint64_t window_ = 0;
    int count_ = 0;
};

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
class ColourCache {
public:
    ColourCache() {
        for (int i = 0; i < kCacheSlots; ++i) {
            newer_[i] = uint8_t((i + 1) % kCacheSlots);
            older_[i] = uint8_t((i + kCacheSlots - 1) % kCacheSlots);
        }
        oldest_ = 1;
        newest_ = 0;
    }

    uint32_t use(uint32_t slot) {
        makeNewest(slot);
        return colours_[slot];
    }

    uint32_t add(uint32_t colour) {
        const uint8_t slot = oldest_;
        colours_[slot] = colour;
        makeNewest(slot);
        return colour;
    }

private:
    void makeNewest(uint32_t slot) {
        if (slot == newest_)
            return;
        if (slot == oldest_)
            oldest_ = newer_[slot];
        else
            newer_[older_[slot]] = newer_[slot];
        older_[newer_[slot]] = older_[slot];
        older_[slot] = newest_;
        newer_[newest_] = uint8_t(slot);
        newest_ = uint8_t(slot);
    }

    uint32_t colours_[kCacheSlots] = {};
    uint8_t newer_[kCacheSlots];
    uint8_t older_[kCacheSlots];
    uint8_t oldest_;
    uint8_t newest_;
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

    const auto pixels = std::make_unique<uint32_t[]>(size_t(width_) * size_t(height_));
    int32_t result = SPI_SUCCESS;
    if (hasPalette()) {
        result = decodeStream(pixels.get(), PaletteIndices(bits_), progress, lData);
    } else if (bits_ == 24) {
        result = decodeStream(
            pixels.get(),
            CachedColours(
                24, [](uint32_t grb) { return packed(grb >> 8 & 0xFF, grb >> 16, grb & 0xFF); }),
            progress, lData);
    } else {
        const int shift = bits_ == 15 ? 1 : 0;
        result = decodeStream(
            pixels.get(),
            CachedColours(bits_,
                          [shift](uint32_t colour) { return x68000Colour(colour << shift); }),
            progress, lData);
    }
    if (result != SPI_SUCCESS)
        return result;
    writeRows(dib, pixels.get());
    if (spi::progressAborts(progress, height_, height_, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

// The stream is a sequence of runs over the dots in raster order, each a length L, then L - 1
// dots of the current colour, then a dot of a new colour, which becomes current, and a chain flag.
// A chain marks dots below the new one (one row down per step, up to two dots aside) with the new
// colour; when the run reaches a marked dot, that dot keeps its colour and it becomes current.
template <class ColourSource>
int32_t PicPicture::decodeStream(uint32_t* pixels, ColourSource newColour,
                                 SpiProgressCallback progress, int32_t lData) {
    BitReader in(data_ + streamStart_, size_ - streamStart_);
    const size_t width = size_t(width_);
    const size_t total = width * size_t(height_);
    size_t next = 0; // the next dot to set
    uint32_t colour = 0;
    size_t nextReport = width * kRowsPerBand;
    for (;;) {
        int lengthBits = 1;
        while (in.bit())
            if (++lengthBits > kLongestLengthBits)
                return SPI_BROKEN_DATA;
        const uint64_t length = in.read(lengthBits) + (uint64_t(1) << lengthBits) - 1;
        const size_t repeats = size_t(std::min<uint64_t>(length - 1, total - next));
        for (const size_t stop = next + repeats; next < stop; ++next) {
            const uint32_t dot = pixels[next];
            if (dot & kChainMark)
                colour = dot & ~kChainMark;
            pixels[next] = colour;
        }
        if (next == total)
            break;

        colour = newColour(in);
        pixels[next] = colour;
        if (next + 1 == total)
            break;
        if (in.bit()) {
            int64_t x = int64_t(next % width);
            int64_t y = int64_t(next / width);
            for (;;) {
                const uint32_t move = in.read(2);
                int step;
                if (move != 0)
                    step = int(move) - 2;
                else if (!in.bit())
                    break;
                else
                    step = in.bit() ? 2 : -2;
                x += step;
                ++y;
                if (y < height_) {
                    if (x < 0 || x >= width_)
                        return SPI_BROKEN_DATA;
                    pixels[size_t(y) * width + size_t(x)] = colour | kChainMark;
                }
            }
        }
        ++next;
        if (in.pastEnd())
            return SPI_BROKEN_DATA;
        if (next >= nextReport) {
            const auto rows = int32_t(next / width);
            if (spi::progressAborts(progress, rows, height_, lData))
                return SPI_ABORTED;
            nextReport = (size_t(rows) + kRowsPerBand) * width;
        }
    }
    return in.pastEnd() ? SPI_BROKEN_DATA : SPI_SUCCESS;
}

void PicPicture::writeRows(spi::DibOutput& dib, const uint32_t* pixels) const {
    const size_t width = size_t(width_);
    for (int32_t y = 0; y < height_; ++y) {
        const uint32_t* source = pixels + size_t(y) * width;
        uint8_t* row = dib.row(y);
        if (hasPalette()) {
            for (size_t x = 0; x < width; ++x)
                row[x] = uint8_t(source[x]);
        } else {
            for (size_t x = 0; x < width; ++x) {
                const uint32_t colour = source[x];
                row[3 * x] = uint8_t(colour);
                row[3 * x + 1] = uint8_t(colour >> 8);
                row[3 * x + 2] = uint8_t(colour >> 16);
            }
        }
    }
}

} // namespace ifpic
