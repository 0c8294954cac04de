#include "tests/support/heifmaker.h"

#include <libheif/heif.h>

#include <algorithm>
#include <memory>
#include <stdexcept>
#include <string>

namespace testsupport {
namespace {

void check(const heif_error& error, const char* what) {
    if (error.code != heif_error_Ok)
        throw std::runtime_error(std::string("makeHeif: ") + what + ": " + error.message);
}

struct ContextFree {
    void operator()(heif_context* context) const { heif_context_free(context); }
};
struct EncoderRelease {
    void operator()(heif_encoder* encoder) const { heif_encoder_release(encoder); }
};
struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};

heif_error appendTo(heif_context*, const void* data, size_t size, void* userdata) {
    static_cast<QByteArray*>(userdata)->append(static_cast<const char*>(data), qsizetype(size));
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

} // namespace

QByteArray makeHeif(const QImage& picture, const HeifOptions& options) {
    const bool alpha = picture.hasAlphaChannel();
    const QImage image =
        picture.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
    const std::unique_ptr<heif_context, ContextFree> context(heif_context_alloc());
    heif_encoder* rawEncoder = nullptr;
    check(heif_context_get_encoder_for_format(context.get(), heif_compression_HEVC, &rawEncoder),
          "no HEVC encoder");
    const std::unique_ptr<heif_encoder, EncoderRelease> encoder(rawEncoder);
    check(heif_encoder_set_lossy_quality(encoder.get(), options.quality), "quality");
    // The encoder's own messages would fill the test output.
    heif_encoder_set_logging_level(encoder.get(), 0);

    heif_image* rawImage = nullptr;
    check(heif_image_create(image.width(), image.height(), heif_colorspace_RGB,
                            alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                            &rawImage),
          "image");
    const std::unique_ptr<heif_image, ImageRelease> heifImage(rawImage);
    check(heif_image_add_plane(heifImage.get(), heif_channel_interleaved, image.width(),
                               image.height(), 8),
          "plane");
    int stride = 0;
    uint8_t* plane = heif_image_get_plane(heifImage.get(), heif_channel_interleaved, &stride);
    const size_t rowBytes = size_t(image.width()) * (alpha ? 4 : 3);
    for (int y = 0; y < image.height(); ++y)
        std::copy_n(image.constScanLine(y), rowBytes, plane + size_t(y) * size_t(stride));

    heif_image_handle* rawHandle = nullptr;
    check(heif_context_encode_image(context.get(), heifImage.get(), encoder.get(), nullptr,
                                    &rawHandle),
          "encoding");
    const std::unique_ptr<heif_image_handle, HandleRelease> handle(rawHandle);

    QByteArray file;
    heif_writer writer{};
    writer.writer_api_version = 1;
    writer.write = appendTo;
    check(heif_context_write(context.get(), &writer, &file), "writing");
    return file;
}

} // namespace testsupport
