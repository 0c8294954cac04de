// The primary picture of a HEIF file (HEIC from phones and cameras) through libheif: its size
// as shown, with the container's rotation, mirroring and crop applied, decoded at 8 bits a
// channel (deeper pictures narrowed), alpha laid over white; or as a preview, the file's own
// thumbnail when it is at least a quarter as wide as the picture, else the picture reduced to a
// quarter.
#pragma once

#include "plugins/common/spi_common.h"

#include <cstddef>
#include <cstdint>
#include <string>

struct heif_context;
struct heif_image_handle;

namespace ifheif {

// Whether the head of a file is a HEIF file libheif reads.
bool hasSignature(const uint8_t* head, size_t size);

class HeifPicture {
public:
    HeifPicture();
    ~HeifPicture();
    HeifPicture(const HeifPicture&) = delete;
    HeifPicture& operator=(const HeifPicture&) = delete;

    // The bytes must outlive the picture.
    int32_t open(const uint8_t* data, size_t size);
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    int16_t bitsPerPixel() const { return 24; }
    spi::Densities densities() const { return {}; }
    std::string text() const { return {}; }
    // Makes decode() produce the preview instead of the picture.
    int32_t usePreview() {
        preview_ = true;
        return SPI_SUCCESS;
    }
    int32_t decode(spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

private:
    heif_context* context_ = nullptr;
    heif_image_handle* primary_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool preview_ = false;
};

} // namespace ifheif
