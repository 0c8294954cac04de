// Writes the fuzzer's first inputs for ifheif.spi: small HEIF files coded by libheif's HEVC
// encoder, one for each path of the decoder (a plain picture, one with a thumbnail the preview
// reads, one with an alpha plane), beside the shared files that bring grids, rotation and 10 bits.
//   fuzz_ifheif_seeds <folder>
#include <libheif/heif.h>

#include <cstdio>
#include <string>

namespace {

struct Seed {
    const char* name;
    int width, height;
    bool alpha;
    int thumbnailSide; // 0: none
};

const Seed kSeeds[] = {
    {"plain", 64, 48, false, 0},
    {"thumbnail", 64, 48, false, 16},
    {"alpha", 32, 32, true, 0},
};

heif_error appendTo(heif_context*, const void* data, size_t size, void* userdata) {
    std::string* file = static_cast<std::string*>(userdata);
    file->append(static_cast<const char*>(data), size);
    return {heif_error_Ok, heif_suberror_Unspecified, "ok"};
}

bool writeSeed(const Seed& seed, const std::string& folder) {
    heif_context* context = heif_context_alloc();
    heif_encoder* encoder = nullptr;
    heif_image* image = nullptr;
    heif_image_handle* handle = nullptr;
    bool written = false;
    const int channels = seed.alpha ? 4 : 3;
    if (heif_context_get_encoder_for_format(context, heif_compression_HEVC, &encoder).code ==
            heif_error_Ok &&
        heif_image_create(seed.width, seed.height, heif_colorspace_RGB,
                          seed.alpha ? heif_chroma_interleaved_RGBA : heif_chroma_interleaved_RGB,
                          &image)
                .code == heif_error_Ok &&
        heif_image_add_plane(image, heif_channel_interleaved, seed.width, seed.height, 8).code ==
            heif_error_Ok) {
        heif_encoder_set_logging_level(encoder, 0);
        heif_encoder_set_lossy_quality(encoder, 80);
        int stride = 0;
        uint8_t* plane = heif_image_get_plane(image, heif_channel_interleaved, &stride);
        for (int y = 0; y < seed.height; ++y)
            for (int x = 0; x < seed.width; ++x)
                for (int c = 0; c < channels; ++c)
                    plane[y * stride + x * channels + c] = uint8_t(x * 4 + y * 3 * c + c * 60);
        std::string file;
        heif_writer writer{};
        writer.writer_api_version = 1;
        writer.write = appendTo;
        if (heif_context_encode_image(context, image, encoder, nullptr, &handle).code ==
                heif_error_Ok &&
            (seed.thumbnailSide == 0 ||
             heif_context_encode_thumbnail(context, image, handle, encoder, nullptr,
                                           seed.thumbnailSide, nullptr)
                     .code == heif_error_Ok) &&
            heif_context_write(context, &writer, &file).code == heif_error_Ok) {
            const std::string path = folder + "/" + seed.name + ".heic";
            if (FILE* out = std::fopen(path.c_str(), "wb")) {
                written = std::fwrite(file.data(), 1, file.size(), out) == file.size();
                written = std::fclose(out) == 0 && written;
            }
        }
    }
    if (handle)
        heif_image_handle_release(handle);
    if (image)
        heif_image_release(image);
    if (encoder)
        heif_encoder_release(encoder);
    heif_context_free(context);
    return written;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_ifheif_seeds <folder>\n");
        return 2;
    }
    for (const Seed& seed : kSeeds)
        if (!writeSeed(seed, argv[1])) {
            std::fprintf(stderr, "fuzz_ifheif_seeds: cannot write %s\n", seed.name);
            return 1;
        }
    return 0;
}
