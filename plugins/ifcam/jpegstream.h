// libjpeg-turbo decoding a CAM file's JPEG stream into a 24-bit DIB, every outcome a result code
// of the decoder plug-in interface.
//
// The container says how long every scan is, so a scan whose coded data runs out before its last
// block is a broken file (result 3), not a picture to show in part; so is a code the Huffman
// tables lack, where libjpeg reports one (its fast path decodes such a code as 0 unreported).
//
// libjpeg reports errors by longjmp. The only function that calls setjmp is guarded(), and the
// steps it runs own nothing with a destructor, so a longjmp never skips one.
#pragma once

#include "plugins/common/spi_common.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers

#include <jpeglib.h>

namespace ifcam {

class JpegStreamDecoder {
public:
    JpegStreamDecoder();
    ~JpegStreamDecoder();
    JpegStreamDecoder(const JpegStreamDecoder&) = delete;
    JpegStreamDecoder& operator=(const JpegStreamDecoder&) = delete;

    // Reads the markers up to the first scan; called once, first. The bytes must outlive the
    // decoder.
    int32_t readHeader(const uint8_t* data, size_t size);

    // Valid after a successful readHeader().
    int32_t width() const { return int32_t(cinfo_.image_width); }
    int32_t height() const { return int32_t(cinfo_.image_height); }

    // Makes a later decode() produce the smallest DCT-domain scale M/8 that still covers
    // minWidth x minHeight (see spi::scaleToCover). After readHeader().
    int32_t shrinkToCover(int32_t minWidth, int32_t minHeight);

    // Decodes the picture into dib (allocated here, 24-bit BGR). Calls progress before the
    // decoding starts, before every band of rows and at the end.
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    template <typename Step> int32_t guarded(Step&& step);
    [[noreturn]] void fail(int32_t result);
    int32_t readRows(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

    static JpegStreamDecoder& of(j_common_ptr cinfo);
    [[noreturn]] static void onError(j_common_ptr cinfo);
    static void onMessage(j_common_ptr cinfo, int level);
    static void onOutputMessage(j_common_ptr) {}
    static void onProgress(j_common_ptr cinfo);

    jpeg_decompress_struct cinfo_{};
    jpeg_error_mgr errors_{};
    jpeg_progress_mgr progress_{};
    std::jmp_buf jump_{};
    int32_t failure_ = SPI_BROKEN_DATA;
};

} // namespace ifcam
