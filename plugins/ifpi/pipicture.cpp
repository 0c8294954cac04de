#include "plugins/ifpi/pipicture.h"

#include "plugins/common/msb_bit_reader.h"

#include <algorithm>
#include <bit>
#include <cstring>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace ifpi {
namespace {

// Rows decoded between two progress reports.
constexpr int32_t kRowsPerBand = 64;

// How far the stream may be read past its end (as zero bits) before the picture counts as
// broken: a writer may leave off its last few bits, but not the picture.
constexpr size_t kMissingStreamBytes = 16;

uint16_t bigEndian16(const uint8_t* p) {
    return uint16_t(p[0] << 8 | p[1]);
}

// Room kept before the first dot for the dots imagined there: copies reach back at most two
// rows and two dots. An even number, so that dot -1 is the one before an even dot.
size_t dotsBefore(size_t width) {
    return 2 * width + 4;
}

using BitReader = spi::MsbBitReader;

// True once more than kMissingStreamBytes bytes past the end of the stream have been taken.
bool exhausted(const BitReader& bits) {
    return bits.bitsPastEnd() > kMissingStreamBytes * 8;
}

// Codes of an index into a move-to-front list, looked up by the next kColourCodeBits bits:
// "1b" is b; "0", up to planes - 2 ones ended by a 0 (not written after the last one possible),
// then j = 1 + ones bits v, is 2^j + v. An entry holds the index and the code's length.
struct ColourCode {
    uint8_t index;
    uint8_t length;
};

template <int Planes> constexpr int kColourCodeBits = 1 + (Planes - 2) + (Planes - 1);

template <int Planes> constexpr auto makeColourCodes() {
    constexpr int bits = kColourCodeBits<Planes>;
    std::array<ColourCode, size_t(1) << bits> codes{};
    for (uint32_t value = 0; value < codes.size(); ++value) {
        const auto bit = [&](int at) { return (value >> (bits - 1 - at)) & 1; };
        if (bit(0)) {
            codes[value] = {uint8_t(bit(1)), 2};
            continue;
        }
        int at = 1, ones = 0;
        while (ones < Planes - 2 && bit(at)) {
            ++ones;
            ++at;
        }
        if (ones < Planes - 2)
            ++at; // the ending 0
        const int j = 1 + ones;
        uint32_t v = 0;
        for (int i = 0; i < j; ++i)
            v = v << 1 | bit(at + i);
        codes[value] = {uint8_t((1u << j) + v), uint8_t(at + j)};
    }
    return codes;
}

template <int Planes> constexpr auto kColourCodes = makeColourCodes<Planes>();

// The move-to-front lists of colours, one for each colour of the dot to the left.
template <int Planes> class ColourLists {
public:
    static constexpr int kColours = 1 << Planes;

    ColourLists() {
        // Each context colour's list starts as p, p - 1, p - 2, ... (mod the colour count).
        for (int p = 0; p < kColours; ++p)
            for (int k = 0; k < kColours; ++k)
                lists_[size_t(p)][size_t(k)] = uint8_t((p - k) & (kColours - 1));
    }

    // The colour of a dot whose left neighbour has the colour left; it moves to the front of
    // that neighbour's list.
    uint8_t colour(BitReader& bits, uint8_t left) {
        const ColourCode code = kColourCodes<Planes>[bits.peek(kColourCodeBits<Planes>)];
        bits.skip(code.length);
        uint8_t* list = lists_[left].data();
        const unsigned k = code.index;
        const uint8_t c = list[k];
        moveToFront(list, k, c);
        return c;
    }

private:
    // Puts c, the entry at k, in front of entries 0 to k - 1, which move up one place.
    static void moveToFront(uint8_t* list, unsigned k, uint8_t c) {
#if defined(__SSE2__)
        // A call to memmove per dot costs more than the move: the list is shifted here in
        // aligned 16-byte blocks instead, each block's last byte carried into the next, and the
        // block holding k keeps its bytes after k.
        auto* const blocks = reinterpret_cast<__m128i*>(list);
        const unsigned last = k / 16;
        __m128i carry = _mm_cvtsi32_si128(c);
        for (unsigned b = 0; b < last; ++b) {
            const __m128i block = _mm_load_si128(blocks + b);
            _mm_store_si128(blocks + b, _mm_or_si128(_mm_slli_si128(block, 1), carry));
            carry = _mm_srli_si128(block, 15);
        }
        const __m128i block = _mm_load_si128(blocks + last);
        const __m128i shifted = _mm_or_si128(_mm_slli_si128(block, 1), carry);
        const __m128i keep =
            _mm_cmpgt_epi8(_mm_setr_epi8(0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15),
                           _mm_set1_epi8(char(k % 16)));
        _mm_store_si128(blocks + last,
                        _mm_or_si128(_mm_and_si128(keep, block), _mm_andnot_si128(keep, shifted)));
#else
        std::memmove(list + 1, list, k);
        list[0] = c;
#endif
    }

    // Rows of whole aligned 16-byte blocks, for moveToFront.
    static_assert(kColours % 16 == 0);
    alignas(16) std::array<std::array<uint8_t, kColours>, kColours> lists_;
};

// The position code of a copy: 00, 01, 10, 110, 111 for 0 to 4.
int readPosition(BitReader& bits) {
    const uint32_t three = bits.peek(3);
    if (three < 6) {
        bits.skip(2);
        return int(three >> 1);
    }
    bits.skip(3);
    return int(three) - 3;
}

// Copies count dots from distance behind dots; source and target may overlap.
void copyDots(uint8_t* target, size_t distance, size_t count) {
    if (distance >= 8) {
        while (count > 0) {
            const size_t chunk = std::min(count, distance);
            std::memcpy(target, target - distance, chunk);
            target += chunk;
            count -= chunk;
        }
        return;
    }
    const uint8_t* source = target - distance;
    for (size_t i = 0; i < count; ++i)
        target[i] = source[i];
}

// Decodes the stream into width × height dots, one line after the other.
template <int Planes>
int32_t decodeStream(const uint8_t* stream, size_t size, uint8_t* dots, size_t width, size_t total,
                     int32_t height, SpiProgressCallback progress, int32_t lData) {
    BitReader bits(stream, size);
    // The stream begins with two colours that are not dots of the picture: the picture is
    // imagined to be preceded by rows of them, alternately (dot -2 the first, dot -1 the
    // second), which copies near the top read, and the first dot's left neighbour is dot -1.
    ColourLists<Planes> colours;
    const uint8_t first = colours.colour(bits, 0);
    const uint8_t second = colours.colour(bits, first);
    for (size_t i = 1; i <= dotsBefore(width); ++i)
        *(dots - i) = i & 1 ? second : first;

    constexpr int kNone = -1;
    int previous = kNone;
    size_t position = 0;
    size_t nextReport = size_t(kRowsPerBand) * width;
    // Reports the rows done once a band is complete (the end is reported by the caller); true
    // when the caller asked to stop.
    const auto stopAsked = [&] {
        if (position < nextReport || position >= total)
            return false;
        const size_t row = position / width;
        nextReport = (row + kRowsPerBand) * width;
        return spi::progressAborts(progress, int32_t(row), height, lData);
    };
    while (position < total) {
        if (stopAsked())
            return SPI_ABORTED;
        if (exhausted(bits))
            return SPI_BROKEN_DATA;

        const int code = readPosition(bits);
        if (code == previous) {
            // Dots as colours, two at a time, for as long as a 1 bit follows each pair.
            // The left neighbour stays in a register: read back from the dots, it would wait
            // for the store just made (the lists' stores may alias the dots).
            uint8_t left = dots[position - 1];
            do {
                const uint8_t even = colours.colour(bits, left);
                left = colours.colour(bits, even);
                dots[position] = even;
                dots[position + 1] = left;
                position += 2;
                // A picture may be one long run of colours.
                if (stopAsked())
                    return SPI_ABORTED;
            } while (position < total && bits.read(1) && !exhausted(bits));
            previous = kNone;
            continue;
        }

        // A run of 2 × (2^n + v) dots copied from a position nearby.
        const int n = std::countl_one(bits.peek(32));
        if (n >= 32)
            return SPI_BROKEN_DATA; // longer than any picture
        bits.skip(n + 1);
        const uint64_t length = 2 * ((uint64_t(1) << n) + bits.read(n));
        uint8_t* const at = dots + position;
        size_t distance = 0;
        switch (code) {
        case 0:
            distance = at[-1] == at[-2] ? 2 : 4;
            break;
        case 1:
            distance = width;
            break;
        case 2:
            distance = 2 * width;
            break;
        case 3:
            distance = width - 1;
            break;
        default:
            distance = width + 1;
            break;
        }
        if (distance == 0)
            return SPI_BROKEN_DATA; // above-right of a one-dot-wide picture is the dot itself
        const size_t count = size_t(std::min<uint64_t>(length, total - position));
        copyDots(at, distance, count);
        position += count;
        previous = code;
    }
    return SPI_SUCCESS;
}

} // namespace

bool hasPiSignature(const uint8_t* data, size_t size) {
    return data && size >= 2 && data[0] == 'P' && data[1] == 'i';
}

int32_t PiPicture::open(const uint8_t* data, size_t size) {
    if (!hasPiSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    const uint8_t* const end = data + size;
    const auto* commentEnd = static_cast<const uint8_t*>(std::memchr(data + 2, 0x1A, size - 2));
    if (!commentEnd)
        return SPI_UNKNOWN_FORMAT;
    comment_.assign(reinterpret_cast<const char*>(data + 2), size_t(commentEnd - data - 2));
    // Filler bytes may follow the 0x1A; the comment area ends at the first 0x00 after it.
    const auto* areaEnd =
        static_cast<const uint8_t*>(std::memchr(commentEnd + 1, 0, size_t(end - commentEnd - 1)));
    if (!areaEnd)
        return SPI_BROKEN_DATA;

    const size_t header = size_t(areaEnd - data) + 1;
    if (size - header < 10)
        return SPI_BROKEN_DATA;
    const uint8_t* p = data + header;
    defaultPalette_ = (p[0] & 0x80) != 0;
    aspectN_ = p[1];
    aspectM_ = p[2];
    planes_ = p[3] == 0xFF ? 4 : p[3];
    if (planes_ != 4 && planes_ != 8)
        return SPI_BROKEN_DATA;
    const size_t machineData = bigEndian16(p + 8);
    const size_t sizes = header + 10 + machineData;
    if (sizes > size || size - sizes < 4)
        return SPI_BROKEN_DATA;
    width_ = bigEndian16(data + sizes);
    height_ = bigEndian16(data + sizes + 2);
    if (width_ == 0 || height_ == 0)
        return SPI_BROKEN_DATA;
    paletteOffset_ = sizes + 4;
    streamOffset_ = paletteOffset_;
    if (!defaultPalette_) {
        const size_t paletteSize = 3 * size_t(colours());
        if (size - paletteOffset_ < paletteSize)
            return SPI_BROKEN_DATA;
        streamOffset_ += paletteSize;
    }
    data_ = data;
    size_ = size;
    return SPI_SUCCESS;
}

spi::Densities PiPicture::densities() const {
    spi::Densities result;
    if (aspectN_ != 0 && aspectM_ != 0) {
        result.x = aspectN_;
        result.y = aspectM_;
    }
    return result;
}

void PiPicture::fillPalette(SpiRgbQuad* table) const {
    for (int i = 0; i < colours(); ++i) {
        uint8_t r, g, b;
        if (!defaultPalette_) {
            const uint8_t* rgb = data_ + paletteOffset_ + 3 * size_t(i);
            r = rgb[0];
            g = rgb[1];
            b = rgb[2];
        } else if (planes_ == 4) {
            const uint8_t level = i & 8 ? 0xFF : 0x77;
            b = i & 1 ? level : 0;
            r = i & 2 ? level : 0;
            g = i & 4 ? level : 0;
        } else {
            g = uint8_t((i >> 5) * 0x20);
            r = uint8_t(((i >> 2) & 7) * 0x20);
            b = uint8_t((i & 3) * 0x40);
        }
        table[i] = SpiRgbQuad{b, g, r, 0};
    }
}

int32_t PiPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    if (const int32_t result = dib.allocate(width_, height_, 8, colours()); result != SPI_SUCCESS)
        return result;
    fillPalette(dib.palette());
    if (spi::progressAborts(progress, 0, height_, lData))
        return SPI_ABORTED;

    // The dots as one line, after room for the imagined dots before the first and with one to
    // spare for a pair that ends past the last dot.
    const size_t width = size_t(width_);
    const size_t total = width * size_t(height_);
    const auto buffer = std::make_unique_for_overwrite<uint8_t[]>(dotsBefore(width) + total + 2);
    uint8_t* const dots = buffer.get() + dotsBefore(width);

    const uint8_t* stream = data_ + streamOffset_;
    const size_t streamSize = size_ - streamOffset_;
    const int32_t result =
        planes_ == 4
            ? decodeStream<4>(stream, streamSize, dots, width, total, height_, progress, lData)
            : decodeStream<8>(stream, streamSize, dots, width, total, height_, progress, lData);
    if (result != SPI_SUCCESS)
        return result;
    for (int32_t y = 0; y < height_; ++y)
        std::memcpy(dib.row(y), dots + size_t(y) * width, width);
    if (spi::progressAborts(progress, height_, height_, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

} // namespace ifpi
