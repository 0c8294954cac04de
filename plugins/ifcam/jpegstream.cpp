#include "plugins/ifcam/jpegstream.h"

#include "plugins/common/jpegscale.h"

#include <algorithm>

#include <jerror.h>

namespace ifcam {
namespace {

// The rebuilt streams need a few hundred kilobytes. A JFIF stream in a CAM file can claim any
// size; a progressive one needs whole-picture coefficient buffers, which are capped here as in
// the JPEG plug-in (beyond the cap libjpeg stops with "no backing store": result 4).
constexpr long kLibjpegMemoryLimit = 512L << 20;

// Every scan walks the whole picture again; a JFIF stream with many more scans than encoders
// write is refused before it can keep the caller busy for minutes.
constexpr int kMaxScans = 100;

constexpr JDIMENSION kRowsPerProgressBand = 64;
constexpr JDIMENSION kMaxRowsPerRead = 16;

} // namespace

JpegStreamDecoder::JpegStreamDecoder() {
    cinfo_.err = jpeg_std_error(&errors_);
    errors_.error_exit = onError;
    errors_.emit_message = onMessage;
    errors_.output_message = onOutputMessage;
    cinfo_.client_data = this;
}

// Safe in every state, also when jpeg_create_decompress never ran or failed half-way.
JpegStreamDecoder::~JpegStreamDecoder() {
    jpeg_destroy_decompress(&cinfo_);
}

template <typename Step> int32_t JpegStreamDecoder::guarded(Step&& step) {
    if (setjmp(jump_) != 0)
        return failure_;
    return step();
}

void JpegStreamDecoder::fail(int32_t result) {
    failure_ = result;
    std::longjmp(jump_, 1);
}

JpegStreamDecoder& JpegStreamDecoder::of(j_common_ptr cinfo) {
    return *static_cast<JpegStreamDecoder*>(cinfo->client_data);
}

void JpegStreamDecoder::onError(j_common_ptr cinfo) {
    switch (cinfo->err->msg_code) {
    case JERR_OUT_OF_MEMORY:
    case JERR_NO_BACKING_STORE:
    case JERR_IMAGE_TOO_BIG:
    case JERR_WIDTH_OVERFLOW:
        of(cinfo).fail(SPI_NO_MEMORY);
    default:
        of(cinfo).fail(SPI_BROKEN_DATA);
    }
}

// libjpeg goes on after running out of scan data or meeting a bad code, with zero coefficients
// from there on; here that ends the decode (see the header). Other warnings (bytes between
// segments, an unknown JFIF version) leave the picture intact.
void JpegStreamDecoder::onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return; // trace messages
    if (cinfo->err->msg_code == JWRN_HIT_MARKER || cinfo->err->msg_code == JWRN_HUFF_BAD_CODE)
        of(cinfo).fail(SPI_BROKEN_DATA);
}

void JpegStreamDecoder::onProgress(j_common_ptr cinfo) {
    if (of(cinfo).cinfo_.input_scan_number > kMaxScans)
        of(cinfo).fail(SPI_BROKEN_DATA);
}

int32_t JpegStreamDecoder::readHeader(const uint8_t* data, size_t size) {
    return guarded([&] {
        jpeg_create_decompress(&cinfo_);
        cinfo_.mem->max_memory_to_use = kLibjpegMemoryLimit;
        progress_.progress_monitor = onProgress;
        cinfo_.progress = &progress_;
        jpeg_mem_src(&cinfo_, data, static_cast<unsigned long>(size));
        jpeg_read_header(&cinfo_, TRUE);
        return int32_t(SPI_SUCCESS);
    });
}

int32_t JpegStreamDecoder::shrinkToCover(int32_t minWidth, int32_t minHeight) {
    return guarded([&] {
        spi::scaleToCover(cinfo_, minWidth, minHeight);
        return int32_t(SPI_SUCCESS);
    });
}

int32_t JpegStreamDecoder::decode(spi::DibOutput& dib, SpiProgressCallback progress,
                                  int32_t lData) {
    int32_t result = guarded([&] {
        // Greyscale JFIF streams come out grey in the same 24 bits.
        cinfo_.out_color_space = JCS_EXT_BGR;
        jpeg_calc_output_dimensions(&cinfo_);
        return int32_t(SPI_SUCCESS);
    });
    if (result != SPI_SUCCESS)
        return result;

    // The DIB is sized and checked before libjpeg allocates anything for the decode. Every row
    // is written, so only the rows' padding is cleared.
    result =
        dib.allocate(int32_t(cinfo_.output_width), int32_t(cinfo_.output_height), 24, 0, false);
    if (result != SPI_SUCCESS)
        return result;
    // A stream of several scans is decoded whole inside jpeg_start_decompress: the first chance
    // to stop comes before it.
    if (spi::progressAborts(progress, 0, int32_t(cinfo_.output_height), lData))
        return SPI_ABORTED;
    result = guarded([&] {
        jpeg_start_decompress(&cinfo_);
        return int32_t(SPI_SUCCESS);
    });
    if (result != SPI_SUCCESS)
        return result;
    return readRows(dib, progress, lData);
}

int32_t JpegStreamDecoder::readRows(spi::DibOutput& dib, SpiProgressCallback progress,
                                    int32_t lData) {
    return guarded([&]() -> int32_t {
        const JDIMENSION height = cinfo_.output_height;
        JDIMENSION nextReport = kRowsPerProgressBand;
        while (cinfo_.output_scanline < height) {
            const JDIMENSION top = cinfo_.output_scanline;
            if (top >= nextReport) {
                if (spi::progressAborts(progress, int32_t(top), int32_t(height), lData))
                    return SPI_ABORTED;
                nextReport = top + kRowsPerProgressBand;
            }
            JSAMPROW rows[kMaxRowsPerRead];
            const JDIMENSION wanted = std::min(kMaxRowsPerRead, height - top);
            for (JDIMENSION i = 0; i < wanted; ++i)
                rows[i] = dib.row(int32_t(top + i));
            if (jpeg_read_scanlines(&cinfo_, rows, wanted) == 0)
                return SPI_BROKEN_DATA; // an in-memory source never suspends; never loop on it
        }
        dib.clearUnwritten(int32_t(height), size_t(cinfo_.output_width) * 3);
        if (spi::progressAborts(progress, int32_t(height), int32_t(height), lData))
            return SPI_ABORTED;
        return SPI_SUCCESS;
    });
}

} // namespace ifcam
