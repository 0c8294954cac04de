// The floor of a decode: libjpeg-turbo called directly, writing its rows as the JPEG plug-in
// writes its DIB. Shared by the benchmarks that compare the program's decoding against it.
#pragma once

#include <benchmark/benchmark.h>

#include <QByteArray>
#include <QSize>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <vector>

#include <jpeglib.h>

namespace bench {

// Starts a decompression of jpeg (known to be good) and reads its header; the caller destroys
// cinfo.
inline void readHeader(const QByteArray& jpeg, jpeg_decompress_struct& cinfo,
                       jpeg_error_mgr& errors) {
    cinfo.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, reinterpret_cast<const unsigned char*>(jpeg.constData()),
                 static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
}

// The size jpeg stores.
inline QSize storedSize(const QByteArray& jpeg) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    readHeader(jpeg, cinfo, errors);
    const QSize size(int(cinfo.image_width), int(cinfo.image_height));
    jpeg_destroy_decompress(&cinfo);
    return size;
}

// Decodes jpeg (known to be good) into BGR rows of a zeroed bottom-up buffer with 4-byte rows;
// configure(cinfo) sets the scale and the like after the header is read. Returns the decoded
// size.
template <typename Configure> QSize decodeDirectly(const QByteArray& jpeg, Configure&& configure) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr errors{};
    readHeader(jpeg, cinfo, errors);
    cinfo.out_color_space = JCS_EXT_BGR;
    configure(cinfo);
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
    const QSize size(int(cinfo.output_width), int(height));
    jpeg_destroy_decompress(&cinfo);
    benchmark::DoNotOptimize(pixels.data());
    return size;
}

// With the settings ifjpeg.spi's GetPreview uses: 1/4 DCT scaling, no fancy upsampling.
inline void decodeQuarterDirectly(const QByteArray& jpeg) {
    decodeDirectly(jpeg, [](jpeg_decompress_struct& cinfo) {
        cinfo.scale_num = 1;
        cinfo.scale_denom = 4;
        cinfo.do_fancy_upsampling = FALSE;
    });
}

} // namespace bench
