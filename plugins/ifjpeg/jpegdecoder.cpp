#include "plugins/ifjpeg/jpegdecoder.h"

#include "plugins/common/jpegscale.h"

#include <algorithm>
#include <cstring>

#include <jerror.h>

namespace ifjpeg {
namespace {

// Cap on libjpeg's own working memory, above all the whole-picture coefficient buffers that
// progressive and multi-scan streams need: a 50-megapixel progressive 4:4:4 photo takes 300 MB,
// while a hostile header claiming 65500 × 65500 would ask for 25 GB. Beyond the cap libjpeg
// stops with "no backing store", which is reported as result 4.
constexpr long kLibjpegMemoryLimit = 512L << 20;

// Encoders write a dozen or two scans at most. Every scan walks the whole picture again, so a
// stream with many more is refused before it can keep the caller busy for minutes.
constexpr int kMaxScans = 100;

constexpr JDIMENSION kRowsPerProgressBand = 64;
constexpr JDIMENSION kMaxRowsPerRead = 16;

bool isRestartMarker(int marker) {
    return marker >= JPEG_RST0 && marker <= JPEG_RST0 + 7;
}

// Adobe's applications store CMYK (and YCCK, which libjpeg turns into CMYK) inverted, 255
// meaning no ink; other writers store the ink itself. The picture is shown as the inks would
// print on white paper with no colour management.
void cmykToBgr(const JSAMPLE* cmyk, uint8_t* bgr, JDIMENSION width, bool inverted) {
    for (JDIMENSION x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
        const unsigned cyanFree = inverted ? cmyk[0] : 255u - cmyk[0];
        const unsigned magentaFree = inverted ? cmyk[1] : 255u - cmyk[1];
        const unsigned yellowFree = inverted ? cmyk[2] : 255u - cmyk[2];
        const unsigned blackFree = inverted ? cmyk[3] : 255u - cmyk[3];
        bgr[0] = uint8_t((yellowFree * blackFree + 127) / 255);
        bgr[1] = uint8_t((magentaFree * blackFree + 127) / 255);
        bgr[2] = uint8_t((cyanFree * blackFree + 127) / 255);
    }
}

int32_t pelsPerMeter(const jpeg_decompress_struct& cinfo, UINT16 density) {
    switch (cinfo.density_unit) {
    case 1: // dots per inch
        return int32_t((density * 10000 + 127) / 254);
    case 2: // dots per centimetre
        return int32_t(density) * 100;
    default: // an aspect ratio only
        return 0;
    }
}

} // namespace

JpegDecoder::JpegDecoder(const uint8_t* data, size_t size) : data_(data), size_(size) {
    cinfo_.err = jpeg_std_error(&errors_);
    errors_.error_exit = onError;
    errors_.emit_message = onMessage;
    errors_.output_message = onOutputMessage;
    cinfo_.client_data = this;
}

// Safe in every state, also when jpeg_create_decompress never ran or failed half-way.
JpegDecoder::~JpegDecoder() {
    jpeg_destroy_decompress(&cinfo_);
}

template <typename Step> int32_t JpegDecoder::guarded(Step&& step) {
    if (setjmp(jump_) != 0)
        return failure_;
    return step();
}

void JpegDecoder::fail(int32_t result) {
    failure_ = result;
    std::longjmp(jump_, 1);
}

JpegDecoder& JpegDecoder::of(j_common_ptr cinfo) {
    return *static_cast<JpegDecoder*>(cinfo->client_data);
}

void JpegDecoder::onError(j_common_ptr cinfo) {
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

// Warnings (corrupt data that libjpeg works around) are not errors: camera files with a few
// stray bytes decode as other viewers show them. What matters is whether the scan's data ran
// out: a marker other than a restart marker met where more data was needed.
void JpegDecoder::onMessage(j_common_ptr cinfo, int level) {
    if (level >= 0)
        return; // trace messages
    ++cinfo->err->num_warnings;
    JpegDecoder& self = of(cinfo);
    if (cinfo->err->msg_code == JWRN_JPEG_EOF)
        self.ranOutOfData_ = true;
    if (cinfo->err->msg_code == JWRN_HIT_MARKER && !self.scanDataEnded_ &&
        !isRestartMarker(self.cinfo_.unread_marker)) {
        self.scanDataEnded_ = true;
        self.scanDataEndRow_ = self.cinfo_.input_iMCU_row;
    }
}

void JpegDecoder::onProgress(j_common_ptr cinfo) {
    if (of(cinfo).cinfo_.input_scan_number > kMaxScans)
        of(cinfo).fail(SPI_BROKEN_DATA);
}

int32_t JpegDecoder::readHeader(bool keepComments) {
    return guarded([&] {
        jpeg_create_decompress(&cinfo_);
        cinfo_.mem->max_memory_to_use = kLibjpegMemoryLimit;
        progress_.progress_monitor = onProgress;
        cinfo_.progress = &progress_;
        jpeg_mem_src(&cinfo_, data_, static_cast<unsigned long>(size_));
        if (keepComments)
            jpeg_save_markers(&cinfo_, JPEG_COM, 0xFFFF);
        jpeg_read_header(&cinfo_, TRUE);
        return int32_t(SPI_SUCCESS);
    });
}

std::string JpegDecoder::firstComment() const {
    for (jpeg_saved_marker_ptr marker = cinfo_.marker_list; marker; marker = marker->next) {
        if (marker->marker == JPEG_COM) {
            const char* text = reinterpret_cast<const char*>(marker->data);
            return std::string(text, strnlen(text, marker->data_length));
        }
    }
    return {};
}

int32_t JpegDecoder::shrinkToCover(int32_t minWidth, int32_t minHeight) {
    return guarded([&] {
        spi::scaleToCover(cinfo_, minWidth, minHeight);
        return int32_t(SPI_SUCCESS);
    });
}

int32_t JpegDecoder::decode(OutputSize size, spi::DibOutput& dib, SpiProgressCallback progress,
                            int32_t lData) {
    int32_t result = guarded([&] {
        switch (cinfo_.jpeg_color_space) {
        case JCS_GRAYSCALE:
            cinfo_.out_color_space = JCS_GRAYSCALE;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            cinfo_.out_color_space = JCS_CMYK;
            break;
        default: // YCbCr and RGB; libjpeg refuses the colour spaces it cannot convert
            cinfo_.out_color_space = JCS_EXT_BGR;
            break;
        }
        if (size == OutputSize::Quarter) {
            cinfo_.scale_num = 1;
            cinfo_.scale_denom = 4;
            // The reduced IDCT gives chroma at (nearly) the preview's own resolution, so the
            // smoothing upsampler would cost time for no difference visible in a thumbnail.
            cinfo_.do_fancy_upsampling = FALSE;
        }
        jpeg_calc_output_dimensions(&cinfo_);
        return int32_t(SPI_SUCCESS);
    });
    if (result != SPI_SUCCESS)
        return result;

    // The DIB is sized and checked before libjpeg allocates anything for the decode. The rows
    // are written here, so the block is not zeroed first: readRows clears what it leaves.
    const bool grey = cinfo_.out_color_space == JCS_GRAYSCALE;
    result = dib.allocate(int32_t(cinfo_.output_width), int32_t(cinfo_.output_height),
                          grey ? 8 : 24, grey ? 256 : 0, false);
    if (result != SPI_SUCCESS)
        return result;
    if (grey) {
        for (int level = 0; level < 256; ++level)
            dib.palette()[level] = {uint8_t(level), uint8_t(level), uint8_t(level), 0};
    }
    dib.header()->biXPelsPerMeter = pelsPerMeter(cinfo_, cinfo_.X_density);
    dib.header()->biYPelsPerMeter = pelsPerMeter(cinfo_, cinfo_.Y_density);

    result = guarded([&] {
        jpeg_start_decompress(&cinfo_);
        return int32_t(SPI_SUCCESS);
    });
    if (result != SPI_SUCCESS)
        return result;
    return readRows(dib, progress, lData);
}

int32_t JpegDecoder::readRows(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    return guarded([&]() -> int32_t {
        const JDIMENSION width = cinfo_.output_width;
        const JDIMENSION height = cinfo_.output_height;
        const bool cmyk = cinfo_.out_color_space == JCS_CMYK;
        JSAMPARRAY cmykRows = nullptr;
        if (cmyk)
            cmykRows = (*cinfo_.mem->alloc_sarray)(reinterpret_cast<j_common_ptr>(&cinfo_),
                                                   JPOOL_IMAGE, width * 4, kMaxRowsPerRead);

        // A single-scan Huffman stream is entropy-decoded while its rows are read. Once its data
        // has run out everything below is flat grey, so the rows down to the end of the damaged
        // band of MCUs are kept, the rest stays black, and libjpeg is spared making the rest (a
        // hostile header with a huge size and no data ends here after a few rows). Data that ends
        // within the first band leaves nothing worth showing: result 3. Arithmetic coding may
        // legitimately run on past the end of its data, and multi-scan streams have consumed all
        // their data before the first row.
        const bool watchDataEnd = !jpeg_has_multiple_scans(&cinfo_) && !cinfo_.arith_code;
        const JDIMENSION rowsPerBand =
            JDIMENSION(cinfo_.max_v_samp_factor) * JDIMENSION(cinfo_.min_DCT_scaled_size);
        scanDataEnded_ = false;
        JDIMENSION endRow = height;
        JDIMENSION nextReport = 0;
        while (cinfo_.output_scanline < endRow) {
            const JDIMENSION top = cinfo_.output_scanline;
            if (top >= nextReport) {
                if (spi::progressAborts(progress, int32_t(top), int32_t(height), lData))
                    return SPI_ABORTED;
                nextReport = top + kRowsPerProgressBand;
            }
            JSAMPROW rows[kMaxRowsPerRead];
            const JDIMENSION wanted = std::min(kMaxRowsPerRead, endRow - top);
            for (JDIMENSION i = 0; i < wanted; ++i)
                rows[i] = cmyk ? cmykRows[i] : dib.row(int32_t(top + i));
            const JDIMENSION got = jpeg_read_scanlines(&cinfo_, rows, wanted);
            if (got == 0) // an in-memory source never suspends; never loop on it
                return SPI_BROKEN_DATA;
            if (cmyk) {
                for (JDIMENSION i = 0; i < got; ++i)
                    cmykToBgr(cmykRows[i], dib.row(int32_t(top + i)), width,
                              cinfo_.saw_Adobe_marker);
            }
            if (watchDataEnd && scanDataEnded_ && endRow == height) {
                if (scanDataEndRow_ == 0)
                    return SPI_BROKEN_DATA;
                endRow = std::min(height, (scanDataEndRow_ + 1) * rowsPerBand);
            }
        }
        // The rows below a damaged end stay black.
        dib.clearUnwritten(int32_t(cinfo_.output_scanline),
                           size_t(width) * (cinfo_.out_color_space == JCS_GRAYSCALE ? 1 : 3));
        if (spi::progressAborts(progress, int32_t(height), int32_t(height), lData))
            return SPI_ABORTED;
        return SPI_SUCCESS;
    });
}

} // namespace ifjpeg
