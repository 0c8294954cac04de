// A bit stream read from the most significant bit of each byte, as the Pi and PIC formats store
// theirs, with up to 64 bits in hand. Past the end of the data it reads zero bits and counts how
// far it went, so that a decoder can bound its work by the input without a check on every read.
#pragma once

#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>

namespace spi {

class MsbBitReader {
public:
    MsbBitReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    // The next n bits (1 to 32) without taking them.
    uint32_t peek(int n) {
        if (count_ < n)
            refill();
        return uint32_t(window_ >> (64 - n));
    }
    // Takes n bits that a peek of at least n bits has made available.
    void skip(int n) {
        window_ <<= n;
        count_ -= n;
    }
    // Takes n bits (0 to 32).
    uint32_t read(int n) {
        if (n == 0)
            return 0;
        const uint32_t value = peek(n);
        skip(n);
        return value;
    }
    bool bit() { return read(1) != 0; }

    // How many bits were taken beyond the end of the data (each read as 0).
    uint64_t bitsPastEnd() const {
        const uint64_t taken = uint64_t(position_) * 8 - uint64_t(count_);
        const uint64_t available = uint64_t(size_) * 8;
        return taken > available ? taken - available : 0;
    }

private:
    // Brings at least 57 bits into hand. Where the data has eight more bytes they are loaded at
    // once; the bits below count_ then hold the stream's own next bits, which the next load
    // writes again at the same place, so OR-ing bytes in at their place stays right.
    void refill() {
        if (position_ + 8 <= size_) {
            uint64_t word;
            std::memcpy(&word, data_ + position_, 8);
            if constexpr (std::endian::native == std::endian::little)
                word = __builtin_bswap64(word);
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
    size_t position_ = 0; // the next byte to load
    uint64_t window_ = 0; // the bits in hand, from the top
    int count_ = 0;
};

} // namespace spi
