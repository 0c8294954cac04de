// The floor of a thumbnail decode: libjpeg-turbo called directly with the settings ifjpeg.spi's
// GetPreview uses. Shared by the benchmarks that compare the program's thumbnails against it.
#pragma once

#include <benchmark/benchmark.h>

#include <QByteArray>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <vector>

#include <jpeglib.h>

namespace bench {

// 1/4 DCT scaling, no fancy upsampling, BGR rows written straight into a zeroed bottom-up buffer
// with 4-byte rows, as GetPreview writes its DIB.
inline void decodeQuarterDirectly(const QByteArray& jpeg) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors); // the inputs are known to be good
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.scale_num = 1;
    cinfo.scale_denom = 4;
    cinfo.do_fancy_upsampling = FALSE;
    jpeg_start_decompress(&cinfo);
    const size_t stride = (size_t(cinfo.output_width) * 3 + 3) & ~size_t(3);
    const JDIMENSION height = cinfo.output_height;
    std::vector<uint8_t> pixels(stride * height);
    while (cinfo.output_scanline < height) {
        JSAMPROW rows[16];
        const JDIMENSION wanted = std::min<JDIMENSION>(16, height - cinfo.output_scanline);
        for (JDIMENSION i = 0; i < wanted; ++i)
            rows[i] = pixels.data() + size_t(height - 1 - cinfo.output_scanline - i) * stride;
        jpeg_read_scanlines(&cinfo, rows, wanted);
    }
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
}

} // namespace bench
