// The size limits every decoding route of iftiff.spi keeps to.
#pragma once

#include <cstdint>

namespace iftiff {

// No buffer, ours or libtiff's, may need more than a signed 32-bit size: the interface's limit
// on a DIB, applied to every allocation a page can make us or libtiff do.
inline constexpr uint64_t kLargestBuffer = INT32_MAX;

// Rows decoded between two progress reports, rounded up to whole strips or tiles.
inline constexpr uint64_t kRowsPerBand = 64;

inline uint64_t saturatingProduct(uint64_t a, uint64_t b) {
    uint64_t product = 0;
    return __builtin_mul_overflow(a, b, &product) ? UINT64_MAX : product;
}

} // namespace iftiff
