// Puts a picture into DecodedDib as a decoder plug-in returns one (a 40-byte header block and a
// block of bottom-up 24-bit rows), for tests and benchmarks of what follows a load.
#pragma once

#include "imaging/fullsize.h"
#include "platform/dib.h"
#include "platform/memory.h"

#include <QImage>

#include <cstring>

namespace testsupport {

// False (nothing left allocated) when the picture cannot be converted or the blocks allocated.
inline bool putDecodedDib(const QImage& picture) {
    const auto dib = platform::imageToDib(picture, 24);
    if (!dib)
        return false;
    const size_t rowsSize = size_t(dib.value.size() - 40);
    DecodedDib.info = platform::GlobalAlloc(platform::GMEM_MOVEABLE, 40);
    DecodedDib.pixels = platform::GlobalAlloc(platform::GMEM_MOVEABLE, rowsSize);
    if (!DecodedDib.info || !DecodedDib.pixels) {
        FreeDecodedDib();
        return false;
    }
    std::memcpy(platform::LockedBlock(DecodedDib.info).data(), dib.value.constData(), 40);
    std::memcpy(platform::LockedBlock(DecodedDib.pixels).data(), dib.value.constData() + 40,
                rowsSize);
    return true;
}

} // namespace testsupport
