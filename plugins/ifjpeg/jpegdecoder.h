// libjpeg-turbo behind a small interface that reports every outcome as a result code of the
// decoder plug-in interface.
//
// libjpeg reports errors by longjmp. The only function that calls setjmp is guarded(), and the
// steps it runs own nothing with a destructor (all the objects that need one live in the caller's
// frames, above the setjmp), so a longjmp never skips a destructor and nothing leaks.
#pragma once

#include "plugins/common/spi_common.h"

#include <csetjmp>
#include <cstdio> // jpeglib.h uses FILE and size_t without including their headers
#include <string>

#include <jpeglib.h>

namespace ifjpeg {

enum class OutputSize {
    Full,   // the full size, or the scale shrinkToCover chose
    Quarter // DCT-domain scaling by 1/4: each side rounded up, as libjpeg computes it
};

class JpegDecoder {
public:
    // The stream must stay valid as long as the decoder.
    JpegDecoder(const uint8_t* data, size_t size);
    ~JpegDecoder();
    JpegDecoder(const JpegDecoder&) = delete;
    JpegDecoder& operator=(const JpegDecoder&) = delete;

    // Reads the markers up to the first scan; called once, first. With keepComments the COM
    // segments are kept for firstComment().
    int32_t readHeader(bool keepComments);

    // The header fields, valid after a successful readHeader().
    const jpeg_decompress_struct& header() const { return cinfo_; }
    bool isGreyscale() const { return cinfo_.jpeg_color_space == JCS_GRAYSCALE; }
    // The first COM segment up to its first NUL; empty when there is none.
    std::string firstComment() const;
    // True once libjpeg has needed bytes beyond the end of the stream it was given.
    bool ranOutOfData() const { return ranOutOfData_; }

    // Makes a later decode(OutputSize::Full) produce the smallest DCT-domain scale M/8 that
    // still covers minWidth x minHeight (see spi::scaleToCover). After readHeader().
    int32_t shrinkToCover(int32_t minWidth, int32_t minHeight);

    // Decodes the picture into dib (allocated here): 24-bit BGR, or 8-bit with a grey colour
    // table for greyscale streams. Calls progress before every band of rows and at the end.
    int32_t decode(OutputSize size, spi::DibOutput& dib, SpiProgressCallback progress,
                   int32_t lData);

private:
    template <typename Step> int32_t guarded(Step&& step);
    [[noreturn]] void fail(int32_t result);
    int32_t readRows(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

    static JpegDecoder& of(j_common_ptr cinfo);
    [[noreturn]] static void onError(j_common_ptr cinfo);
    static void onMessage(j_common_ptr cinfo, int level);
    static void onOutputMessage(j_common_ptr) {}
    static void onProgress(j_common_ptr cinfo);

    const uint8_t* data_;
    size_t size_;
    jpeg_decompress_struct cinfo_{};
    jpeg_error_mgr errors_{};
    jpeg_progress_mgr progress_{};
    std::jmp_buf jump_{};
    int32_t failure_ = SPI_BROKEN_DATA;
    // Set when the entropy-coded data of the scan being read ran out (libjpeg then goes on with
    // zero coefficients, i.e. flat grey); the iMCU row where that happened.
    bool scanDataEnded_ = false;
    JDIMENSION scanDataEndRow_ = 0;
    bool ranOutOfData_ = false;
};

} // namespace ifjpeg
