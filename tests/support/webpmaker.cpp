#include "tests/support/webpmaker.h"

#include <webp/encode.h>
#include <webp/mux.h>

#include <memory>
#include <stdexcept>

namespace testsupport {

QByteArray makeWebp(const QImage& image, const WebpOptions& options) {
    const bool alpha = image.hasAlphaChannel();
    const QImage pixels =
        image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const int width = pixels.width();
    const int height = pixels.height();
    const int stride = int(pixels.bytesPerLine());
    uint8_t* output = nullptr;
    size_t size = 0;
    if (options.lossless)
        size = alpha ? WebPEncodeLosslessRGBA(pixels.constBits(), width, height, stride, &output)
                     : WebPEncodeLosslessRGB(pixels.constBits(), width, height, stride, &output);
    else
        size = alpha ? WebPEncodeRGBA(pixels.constBits(), width, height, stride,
                                      float(options.quality), &output)
                     : WebPEncodeRGB(pixels.constBits(), width, height, stride,
                                     float(options.quality), &output);
    if (size == 0)
        throw std::runtime_error("libwebp could not encode the picture");
    QByteArray file(reinterpret_cast<const char*>(output), qsizetype(size));
    WebPFree(output);
    return file;
}

QByteArray makeWebpAnimation(const QList<WebpFrame>& frames, int canvasWidth, int canvasHeight) {
    const std::unique_ptr<WebPMux, decltype(&WebPMuxDelete)> mux(WebPMuxNew(), WebPMuxDelete);
    if (!mux)
        throw std::runtime_error("no memory for the muxer");
    for (const WebpFrame& frame : frames) {
        const QByteArray still = makeWebp(frame.image, frame.options);
        WebPMuxFrameInfo info{};
        info.bitstream.bytes = reinterpret_cast<const uint8_t*>(still.constData());
        info.bitstream.size = size_t(still.size());
        info.x_offset = frame.left;
        info.y_offset = frame.top;
        info.duration = 100;
        info.id = WEBP_CHUNK_ANMF;
        info.dispose_method = WEBP_MUX_DISPOSE_NONE;
        info.blend_method = WEBP_MUX_BLEND;
        if (WebPMuxPushFrame(mux.get(), &info, 1) != WEBP_MUX_OK)
            throw std::runtime_error("libwebp refused a frame");
    }
    const WebPMuxAnimParams params{0xFFFFFFFF, 0};
    WebPData assembled{};
    if (WebPMuxSetAnimationParams(mux.get(), &params) != WEBP_MUX_OK ||
        WebPMuxSetCanvasSize(mux.get(), canvasWidth, canvasHeight) != WEBP_MUX_OK ||
        WebPMuxAssemble(mux.get(), &assembled) != WEBP_MUX_OK)
        throw std::runtime_error("libwebp could not assemble the animation");
    QByteArray file(reinterpret_cast<const char*>(assembled.bytes), qsizetype(assembled.size));
    WebPDataClear(&assembled);
    return file;
}

} // namespace testsupport
