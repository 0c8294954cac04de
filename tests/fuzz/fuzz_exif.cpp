// The EXIF reader on the fuzzer's bytes as a file in memory: it must answer, never crash or
// hang, and what it answers must be in range.
#include "imaging/exif.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const ExifInfo info = ReadExifInfo(data, size);
    if (info.orientation < 0 || info.orientation > 8)
        __builtin_trap();
    if (info.taken && (info.taken->month < 1 || info.taken->month > 12 || info.taken->day < 1 ||
                       info.taken->day > 31))
        __builtin_trap();
    return 0;
}
