#include "plugins/ifheif/heifpicture.h"

#include <libheif/heif.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <memory>
#include <vector>

namespace ifheif {
namespace {

// The largest side libheif may make a picture of before anything is decoded; the DIB's own
// 32-bit size rule comes on top.
constexpr int kMaximumSide = 32768;

constexpr int32_t kRowsPerProgressBand = 64;

int32_t resultOf(const heif_error& error) {
    switch (error.code) {
    case heif_error_Ok:
        return SPI_SUCCESS;
    case heif_error_Unsupported_filetype:
        return SPI_UNKNOWN_FORMAT;
    case heif_error_Memory_allocation_error:
        return SPI_NO_MEMORY;
    default: // invalid input, a missing tile, a coding the decoder does not know
        return SPI_BROKEN_DATA;
    }
}

struct ImageRelease {
    void operator()(heif_image* image) const { heif_image_release(image); }
};
struct HandleRelease {
    void operator()(heif_image_handle* handle) const { heif_image_handle_release(handle); }
};
struct OptionsRelease {
    void operator()(heif_decoding_options* options) const { heif_decoding_options_free(options); }
};
using Image = std::unique_ptr<heif_image, ImageRelease>;
using Handle = std::unique_ptr<heif_image_handle, HandleRelease>;

// Decodes a picture as shown (rotation, mirroring and crop applied) into interleaved RGB, or
// RGBA when it has alpha, at 8 bits a channel.
int32_t decodeHandle(const heif_image_handle* handle, Image& out) {
    const std::unique_ptr<heif_decoding_options, OptionsRelease> options(
        heif_decoding_options_alloc());
    if (!options)
        return SPI_NO_MEMORY;
    options->convert_hdr_to_8bit = 1;
    const bool alpha = heif_image_handle_has_alpha_channel(handle) != 0;
    heif_image* image = nullptr;
    const heif_error error = heif_decode_image(
        handle, &image, heif_colorspace_RGB,
        alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB, options.get());
    out.reset(image);
    if (error.code == heif_error_Ok && !image)
        return SPI_BROKEN_DATA;
    return resultOf(error);
}

int32_t quarterRoundedUp(int32_t length) {
    return length / 4 + (length % 4 != 0 ? 1 : 0);
}

// The first of the source pixels target pixel k of count covers along a side of length: the
// pixels from first(k) up to first(k + 1), at least one.
int32_t firstCovered(int32_t k, int32_t length, int32_t count) {
    return int32_t(int64_t(k) * length / count);
}

} // namespace

bool hasSignature(const uint8_t* head, size_t size) {
    return head && size >= 12 &&
           heif_check_filetype(head, int(std::min<size_t>(size, INT_MAX))) ==
               heif_filetype_yes_supported;
}

HeifPicture::HeifPicture() = default;

HeifPicture::~HeifPicture() {
    if (primary_)
        heif_image_handle_release(primary_);
    if (context_)
        heif_context_free(context_);
}

int32_t HeifPicture::open(const uint8_t* data, size_t size) {
    if (!hasSignature(data, size))
        return SPI_UNKNOWN_FORMAT;
    context_ = heif_context_alloc();
    if (!context_)
        return SPI_NO_MEMORY;
    heif_context_set_maximum_image_size_limit(context_, kMaximumSide);
    heif_error error = heif_context_read_from_memory_without_copy(context_, data, size, nullptr);
    if (error.code != heif_error_Ok)
        return resultOf(error);
    error = heif_context_get_primary_image_handle(context_, &primary_);
    if (error.code != heif_error_Ok)
        return resultOf(error);
    width_ = heif_image_handle_get_width(primary_);
    height_ = heif_image_handle_get_height(primary_);
    return width_ > 0 && height_ > 0 ? SPI_SUCCESS : SPI_BROKEN_DATA;
}

int32_t HeifPicture::decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData) {
    // libheif decodes into a picture of up to 4 bytes a pixel before the DIB is made: one the
    // 32-bit size rule would refuse is refused before it is decoded.
    if (int64_t(width_) * height_ * 4 > INT32_MAX)
        return SPI_NO_MEMORY;
    if (spi::progressAborts(progress, 0, height_, lData))
        return SPI_ABORTED;
    int32_t targetWidth = width_;
    int32_t targetHeight = height_;
    // A preview is the file's own thumbnail when one of the picture's proportions is at least a
    // quarter as wide as the picture (the smallest such), else the picture; either is reduced to
    // a quarter.
    Handle thumbnail;
    if (preview_) {
        targetWidth = quarterRoundedUp(width_);
        targetHeight = quarterRoundedUp(height_);
        const int count = heif_image_handle_get_number_of_thumbnails(primary_);
        std::vector<heif_item_id> ids(size_t(std::max(count, 0)));
        const int listed =
            heif_image_handle_get_list_of_thumbnail_IDs(primary_, ids.data(), int(ids.size()));
        for (int i = 0; i < listed; ++i) {
            heif_image_handle* candidate = nullptr;
            if (heif_image_handle_get_thumbnail(primary_, ids[size_t(i)], &candidate).code !=
                heif_error_Ok)
                continue;
            Handle held(candidate);
            const int width = heif_image_handle_get_width(candidate);
            const int height = heif_image_handle_get_height(candidate);
            // Cameras also store wide thumbnails with black bands: only one of the picture's
            // own proportions (within 1 %) serves.
            const bool sameShape =
                height > 0 && std::abs(int64_t(width) * height_ - int64_t(height) * width_) * 100 <=
                                  int64_t(height) * width_;
            if (sameShape && width >= targetWidth &&
                (!thumbnail || width < heif_image_handle_get_width(thumbnail.get())))
                thumbnail = std::move(held);
        }
    }
    Image image;
    if (const int32_t result = decodeHandle(thumbnail ? thumbnail.get() : primary_, image);
        result != SPI_SUCCESS)
        return result;
    int stride = 0;
    const uint8_t* plane =
        heif_image_get_plane_readonly(image.get(), heif_channel_interleaved, &stride);
    const int32_t sourceWidth = heif_image_get_width(image.get(), heif_channel_interleaved);
    const int32_t sourceHeight = heif_image_get_height(image.get(), heif_channel_interleaved);
    if (!plane || sourceWidth <= 0 || sourceHeight <= 0 || stride <= 0)
        return SPI_BROKEN_DATA;
    const int channels =
        heif_image_get_chroma_format(image.get()) == heif_chroma_interleaved_RGBA ? 4 : 3;
    if (const int32_t result = dib.allocate(targetWidth, targetHeight, 24, 0, false);
        result != SPI_SUCCESS)
        return result;

    // Each target pixel averages the source pixels it covers, each laid over white first: one to
    // one at full size, unless a damaged file decodes to another size than it describes, which
    // is then fitted to the size described.
    std::vector<int32_t> firstColumn(size_t(targetWidth) + 1);
    for (int32_t k = 0; k <= targetWidth; ++k)
        firstColumn[size_t(k)] = firstCovered(k, sourceWidth, targetWidth);
    std::vector<uint32_t> sums(size_t(targetWidth) * 3);
    for (int32_t y = 0; y < targetHeight; ++y) {
        if (y > 0 && y % kRowsPerProgressBand == 0 &&
            spi::progressAborts(progress, y, targetHeight, lData))
            return SPI_ABORTED;
        const int32_t top = firstCovered(y, sourceHeight, targetHeight);
        const int32_t bottom = std::max(top + 1, firstCovered(y + 1, sourceHeight, targetHeight));
        std::fill(sums.begin(), sums.end(), 0u);
        for (int32_t sy = top; sy < bottom; ++sy) {
            const uint8_t* row = plane + size_t(sy) * size_t(stride);
            for (int32_t k = 0; k < targetWidth; ++k) {
                const int32_t last =
                    std::max(firstColumn[size_t(k)] + 1, firstColumn[size_t(k) + 1]);
                for (int32_t x = firstColumn[size_t(k)]; x < last; ++x) {
                    const uint8_t* pixel = row + size_t(x) * size_t(channels);
                    const unsigned alpha = channels == 4 ? pixel[3] : 255;
                    sums[size_t(k) * 3] += spi::overWhite(pixel[2], alpha);
                    sums[size_t(k) * 3 + 1] += spi::overWhite(pixel[1], alpha);
                    sums[size_t(k) * 3 + 2] += spi::overWhite(pixel[0], alpha);
                }
            }
        }
        uint8_t* out = dib.row(y);
        for (int32_t k = 0; k < targetWidth; ++k) {
            const int32_t columns =
                std::max(firstColumn[size_t(k)] + 1, firstColumn[size_t(k) + 1]) -
                firstColumn[size_t(k)];
            const uint32_t count = uint32_t(columns) * uint32_t(bottom - top);
            for (int c = 0; c < 3; ++c)
                out[size_t(k) * 3 + size_t(c)] =
                    uint8_t((sums[size_t(k) * 3 + size_t(c)] + count / 2) / count);
        }
    }
    dib.clearUnwritten(targetHeight, size_t(targetWidth) * 3);
    if (spi::progressAborts(progress, targetHeight, targetHeight, lData))
        return SPI_ABORTED;
    return SPI_SUCCESS;
}

} // namespace ifheif
