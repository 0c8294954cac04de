// Writes the fuzzer's first inputs for ifjpeg.spi: tiny JPEG streams, one for each coding the
// decoder has a path for, so that the fuzzer starts from every branch instead of finding them.
//   fuzz_ifjpeg_seeds <folder>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

struct Seed {
    const char* name;
    int width, height;
    J_COLOR_SPACE stored; // colour space inside the stream
    int lumaH, lumaV;     // sampling of the first component
    bool progressive, arithmetic;
    unsigned restartInterval;
};

const Seed kSeeds[] = {
    {"baseline420", 32, 16, JCS_YCbCr, 2, 2, false, false, 0},
    {"baseline444_odd", 13, 7, JCS_YCbCr, 1, 1, false, false, 0},
    {"baseline422_restart", 48, 16, JCS_YCbCr, 2, 1, false, false, 1},
    {"baseline440", 16, 32, JCS_YCbCr, 1, 2, false, false, 0},
    {"progressive420", 32, 32, JCS_YCbCr, 2, 2, true, false, 0},
    {"arithmetic420", 32, 16, JCS_YCbCr, 2, 2, false, true, 0},
    {"arithmetic_progressive", 16, 16, JCS_YCbCr, 1, 1, true, true, 0},
    {"grey", 24, 8, JCS_GRAYSCALE, 1, 1, false, false, 0},
    {"grey_progressive", 24, 24, JCS_GRAYSCALE, 1, 1, true, false, 0},
    {"adobe_cmyk", 16, 8, JCS_CMYK, 1, 1, false, false, 0},
    {"adobe_ycck", 16, 16, JCS_YCCK, 2, 2, false, false, 0},
    {"rgb", 8, 8, JCS_RGB, 1, 1, false, false, 0},
};

std::vector<JSAMPLE> pattern(const Seed& seed, int components) {
    std::vector<JSAMPLE> samples(size_t(seed.width) * seed.height * components);
    for (int y = 0; y < seed.height; ++y)
        for (int x = 0; x < seed.width; ++x)
            for (int c = 0; c < components; ++c)
                samples[(size_t(y) * seed.width + x) * components + c] =
                    JSAMPLE((x * 37 + y * 11 + c * 80 + (x ^ y) * 5) & 0xFF);
    return samples;
}

bool writeSeed(const Seed& seed, const std::string& folder) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors); // a failure prints libjpeg's message and exits
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    const bool grey = seed.stored == JCS_GRAYSCALE;
    const bool fourComponents = seed.stored == JCS_CMYK || seed.stored == JCS_YCCK;
    cinfo.image_width = JDIMENSION(seed.width);
    cinfo.image_height = JDIMENSION(seed.height);
    cinfo.input_components = grey ? 1 : fourComponents ? 4 : 3;
    cinfo.in_color_space = grey ? JCS_GRAYSCALE : fourComponents ? JCS_CMYK : JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_colorspace(&cinfo, seed.stored);
    jpeg_set_quality(&cinfo, 75, TRUE);
    cinfo.comp_info[0].h_samp_factor = seed.lumaH;
    cinfo.comp_info[0].v_samp_factor = seed.lumaV;
    cinfo.restart_interval = seed.restartInterval;
    cinfo.arith_code = seed.arithmetic;
    if (seed.progressive)
        jpeg_simple_progression(&cinfo);

    jpeg_start_compress(&cinfo, TRUE);
    static const char comment[] = "fuzz seed";
    jpeg_write_marker(&cinfo, JPEG_COM, reinterpret_cast<const JOCTET*>(comment),
                      sizeof comment - 1);
    const std::vector<JSAMPLE> samples = pattern(seed, cinfo.input_components);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<JSAMPLE*>(samples.data()) +
                       size_t(cinfo.next_scanline) * seed.width * cinfo.input_components;
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);

    const std::string path = folder + "/" + seed.name + ".jpg";
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(buffer, 1, size, file) == size;
    const bool closed = file && std::fclose(file) == 0;
    std::free(buffer);
    if (!written || !closed)
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
    return written && closed;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <folder>\n", argv[0]);
        return 2;
    }
    bool allWritten = true;
    for (const Seed& seed : kSeeds)
        allWritten = writeSeed(seed, argv[1]) && allWritten;
    return allWritten ? 0 : 1;
}
