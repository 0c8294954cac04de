// Choosing the scale of a libjpeg decode from the smallest size the caller needs, for the
// plug-ins that decode JPEG streams with libjpeg-turbo.
#pragma once

#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers

#include <jpeglib.h>

namespace spi {

// Sets cinfo's scale to the smallest M/8 (M = 1..8) whose output, as libjpeg computes it (each
// side rounded up), is at least minWidth x minHeight; to 8/8 when no smaller one is, and leaves
// it untouched (full size) when either is 0 or less. libjpeg-turbo's IDCT produces every M/8
// directly. Call after jpeg_read_header; errors go to cinfo's error_exit as with any libjpeg call.
inline void scaleToCover(jpeg_decompress_struct& cinfo, int32_t minWidth, int32_t minHeight) {
    if (minWidth <= 0 || minHeight <= 0)
        return;
    cinfo.scale_denom = 8;
    for (unsigned eighths = 1; eighths < 8; ++eighths) {
        cinfo.scale_num = eighths;
        jpeg_calc_output_dimensions(&cinfo);
        if (cinfo.output_width >= JDIMENSION(minWidth) &&
            cinfo.output_height >= JDIMENSION(minHeight))
            return;
    }
    cinfo.scale_num = 8;
}

} // namespace spi
