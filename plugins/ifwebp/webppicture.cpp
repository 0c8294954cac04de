#include "plugins/ifwebp/webppicture.h"

#include <webp/demux.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace ifwebp {

namespace {

// Rows come out of the incremental decoder as its input grows; the input is handed over in this
// many steps (each at least one byte), so that progress is reported and an abort is heard while
// a picture decodes.
constexpr size_t kInputSteps = 64;
// Progress is reported every this many rows.
constexpr int32_t kProgressRows = 64;

int32_t resultOf(VP8StatusCode status) {
    switch (status) {
    case VP8_STATUS_OK:
        return SPI_SUCCESS;
    case VP8_STATUS_OUT_OF_MEMORY:
        return SPI_NO_MEMORY;
    default: // a bitstream error, missing data, or a frame that does not fit its buffer
        return SPI_BROKEN_DATA;
    }
}

struct IDecoderDeleter {
    void operator()(WebPIDecoder* decoder) const { WebPIDelete(decoder); }
};

struct DemuxerDeleter {
    void operator()(WebPDemuxer* demuxer) const { WebPDemuxDelete(demuxer); }
};

} // namespace

bool hasWebpSignature(const uint8_t* data, size_t size) {
    return size >= 12 && std::memcmp(data, "RIFF", 4) == 0 && std::memcmp(data + 8, "WEBP", 4) == 0;
}

int32_t WebpPicture::open(const uint8_t* data, size_t size) {
    if (!hasWebpSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    WebPBitstreamFeatures features;
    if (const VP8StatusCode status = WebPGetFeatures(data, size, &features);
        status != VP8_STATUS_OK)
        return resultOf(status);
    if (features.width <= 0 || features.height <= 0)
        return SPI_BROKEN_DATA;
    canvasWidth_ = features.width;
    canvasHeight_ = features.height;
    if (features.has_animation)
        return openFirstFrame(data, size);
    frameData_ = data;
    frameSize_ = size;
    frameWidth_ = canvasWidth_;
    frameHeight_ = canvasHeight_;
    frameHasAlpha_ = features.has_alpha != 0;
    return SPI_SUCCESS;
}

int32_t WebpPicture::openFirstFrame(const uint8_t* data, size_t size) {
    // The demuxer keeps pointers into data, which outlives this object; it copies nothing.
    const WebPData whole{data, size};
    const std::unique_ptr<WebPDemuxer, DemuxerDeleter> demuxer(WebPDemux(&whole));
    if (!demuxer)
        return SPI_BROKEN_DATA;
    if (int32_t(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_WIDTH)) != canvasWidth_ ||
        int32_t(WebPDemuxGetI(demuxer.get(), WEBP_FF_CANVAS_HEIGHT)) != canvasHeight_)
        return SPI_BROKEN_DATA;
    WebPIterator frame;
    if (!WebPDemuxGetFrame(demuxer.get(), 1, &frame))
        return SPI_BROKEN_DATA;
    frameData_ = frame.fragment.bytes;
    frameSize_ = frame.fragment.size;
    frameLeft_ = frame.x_offset;
    frameTop_ = frame.y_offset;
    frameWidth_ = frame.width;
    frameHeight_ = frame.height;
    frameHasAlpha_ = frame.has_alpha != 0;
    WebPDemuxReleaseIterator(&frame);

    // The frame must lie on the canvas, and its bitstream must be as large as the frame says:
    // libwebp writes the bitstream's size into a buffer of the frame's.
    WebPBitstreamFeatures features;
    if (WebPGetFeatures(frameData_, frameSize_, &features) != VP8_STATUS_OK ||
        features.width != frameWidth_ || features.height != frameHeight_ || frameLeft_ < 0 ||
        frameTop_ < 0 || frameWidth_ <= 0 || frameHeight_ <= 0 ||
        frameWidth_ > canvasWidth_ - frameLeft_ || frameHeight_ > canvasHeight_ - frameTop_)
        return SPI_BROKEN_DATA;
    return SPI_SUCCESS;
}

int32_t WebpPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    if (const int32_t result = dib.allocate(canvasWidth_, canvasHeight_, 24, 0, false);
        result != SPI_SUCCESS)
        return result;
    if (spi::progressAborts(progress, 0, canvasHeight_, lData))
        return SPI_ABORTED;

    WebPDecoderConfig config;
    if (!WebPInitDecoderConfig(&config))
        return SPI_OTHER_ERROR;
    config.output.is_external_memory = 1;
    WebPRGBABuffer& buffer = config.output.u.RGBA;
    std::unique_ptr<uint8_t[]> withAlpha;
    if (!frameHasAlpha_) {
        // Straight into the DIB's rows. libwebp writes rows from the top and takes no negative
        // stride, but flips its output when asked: it is given the frame's place in the DIB
        // from the frame's bottom row, which the DIB stores first.
        config.output.colorspace = MODE_BGR;
        config.options.flip = 1;
        buffer.rgba = dib.row(frameTop_ + frameHeight_ - 1) + size_t(frameLeft_) * 3;
        buffer.stride = int(dib.stride());
        buffer.size = size_t(frameHeight_ - 1) * dib.stride() + size_t(frameWidth_) * 3;
    } else {
        // Alpha needs its own channel until it is laid over white.
        const size_t stride = size_t(frameWidth_) * 4;
        if (stride > size_t(INT32_MAX))
            return SPI_NO_MEMORY;
        withAlpha.reset(new (std::nothrow) uint8_t[stride * size_t(frameHeight_)]);
        if (!withAlpha)
            return SPI_NO_MEMORY;
        config.output.colorspace = MODE_BGRA;
        buffer.rgba = withAlpha.get();
        buffer.stride = int(stride);
        buffer.size = stride * size_t(frameHeight_);
    }
    if (const int32_t result = decodeFrame(config, progress, lData); result != SPI_SUCCESS)
        return result;

    if (withAlpha) {
        for (int32_t y = 0; y < frameHeight_; ++y) {
            const uint8_t* from = withAlpha.get() + size_t(y) * buffer.stride;
            uint8_t* to = dib.row(frameTop_ + y) + size_t(frameLeft_) * 3;
            for (int32_t x = 0; x < frameWidth_; ++x, from += 4, to += 3) {
                to[0] = spi::overWhite(from[0], from[3]);
                to[1] = spi::overWhite(from[1], from[3]);
                to[2] = spi::overWhite(from[2], from[3]);
            }
        }
    }
    paintAroundFrame(dib);
    dib.clearUnwritten(canvasHeight_, size_t(canvasWidth_) * 3);
    if (spi::progressAborts(progress, canvasHeight_, canvasHeight_, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

int32_t WebpPicture::decodeFrame(WebPDecoderConfig& config, SpiProgressCallback progress,
                                 int32_t lData) {
    const std::unique_ptr<WebPIDecoder, IDecoderDeleter> decoder(WebPIDecode(nullptr, 0, &config));
    if (!decoder)
        return SPI_NO_MEMORY;
    const size_t step = std::max<size_t>(frameSize_ / kInputSteps, 1);
    int32_t reported = 0; // rows of the frame last reported
    for (size_t given = std::min(step, frameSize_);; given = std::min(given + step, frameSize_)) {
        const VP8StatusCode status = WebPIUpdate(decoder.get(), frameData_, given);
        if (status == VP8_STATUS_OK)
            return SPI_SUCCESS;
        if (status != VP8_STATUS_SUSPENDED)
            return resultOf(status);
        if (given == frameSize_)
            return SPI_BROKEN_DATA; // the file ends before the picture
        int rowsDone = 0;
        if (WebPIDecGetRGB(decoder.get(), &rowsDone, nullptr, nullptr, nullptr) &&
            rowsDone - reported >= kProgressRows && rowsDone < frameHeight_) {
            reported = rowsDone;
            if (spi::progressAborts(progress, frameTop_ + rowsDone, canvasHeight_, lData))
                return SPI_ABORTED;
        }
    }
}

void WebpPicture::paintAroundFrame(spi::DibOutput& dib) const {
    const size_t rowBytes = size_t(canvasWidth_) * 3;
    const size_t leftBytes = size_t(frameLeft_) * 3;
    const size_t frameBytes = size_t(frameWidth_) * 3;
    for (int32_t y = 0; y < canvasHeight_; ++y) {
        uint8_t* row = dib.row(y);
        if (y < frameTop_ || y >= frameTop_ + frameHeight_) {
            std::memset(row, 0xFF, rowBytes);
        } else {
            std::memset(row, 0xFF, leftBytes);
            std::memset(row + leftBytes + frameBytes, 0xFF, rowBytes - leftBytes - frameBytes);
        }
    }
}

} // namespace ifwebp
