// Writes the fuzzer's first inputs for ifcam.spi: a normal and a fine CAM file and one holding a
// JFIF stream, each of a smooth picture at a low quality so that the scans stay short.
//   fuzz_ifcam_seeds <folder>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include <jpeglib.h>

namespace {

using Bytes = std::vector<unsigned char>;

void putBe16(Bytes& out, unsigned value) {
    out.push_back((unsigned char)(value >> 8));
    out.push_back((unsigned char)value);
}
void putBe32(Bytes& out, unsigned value) {
    putBe16(out, value >> 16);
    putBe16(out, value & 0xFFFF);
}

// A JPEG stream of a smooth picture; lumaH 3 gives one scan per component, as normal CAM
// pictures have them.
Bytes encode(int width, int height, int lumaH) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors); // a failure prints libjpeg's message and exits
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(width);
    cinfo.image_height = JDIMENSION(height);
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, 30, TRUE);
    cinfo.comp_info[0].h_samp_factor = lumaH;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_scan_info scans[3]{};
    if (lumaH == 3) {
        for (int c = 0; c < 3; ++c) {
            scans[c].comps_in_scan = 1;
            scans[c].component_index[0] = c;
            scans[c].Se = 63;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = 3;
    }
    jpeg_start_compress(&cinfo, TRUE);
    std::vector<JSAMPLE> row(size_t(width) * 3);
    while (cinfo.next_scanline < cinfo.image_height) {
        for (int x = 0; x < width; ++x) {
            row[3 * x] = JSAMPLE(x * 255 / width);
            row[3 * x + 1] = JSAMPLE(cinfo.next_scanline * 255 / cinfo.image_height);
            row[3 * x + 2] = JSAMPLE(128);
        }
        JSAMPROW rows = row.data();
        jpeg_write_scanlines(&cinfo, &rows, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    Bytes jpeg(buffer, buffer + size);
    std::free(buffer);
    return jpeg;
}

// The image area: scan count and sizes, the two quantisation tables, the scans.
Bytes imageArea(const Bytes& jpeg, bool normal) {
    Bytes tables(128), scanData;
    std::vector<unsigned> scanSizes;
    for (size_t at = 2; at + 4 <= jpeg.size() && jpeg[at + 1] != 0xD9;) {
        const unsigned marker = jpeg[at + 1];
        const size_t length = size_t(jpeg[at + 2] << 8 | jpeg[at + 3]);
        if (marker == 0xDB)
            for (size_t t = at + 4; t + 65 <= at + 2 + length; t += 65)
                std::copy(&jpeg[t + 1], &jpeg[t + 65], tables.begin() + 64 * (jpeg[t] & 1));
        at += 2 + length;
        if (marker == 0xDA) {
            size_t end = at;
            while (end + 1 < jpeg.size() && !(jpeg[end] == 0xFF && jpeg[end + 1] != 0 &&
                                              (jpeg[end + 1] < 0xD0 || jpeg[end + 1] > 0xD7)))
                ++end;
            scanSizes.push_back(unsigned(end - at));
            scanData.insert(scanData.end(), jpeg.begin() + long(at), jpeg.begin() + long(end));
            at = end;
        }
    }
    Bytes area;
    putBe16(area, unsigned(scanSizes.size()));
    if (normal) {
        for (const unsigned size : scanSizes)
            putBe16(area, size);
    } else {
        putBe16(area, 0);
        putBe32(area, scanSizes.front());
    }
    area.insert(area.end(), tables.begin(), tables.end());
    area.insert(area.end(), scanData.begin(), scanData.end());
    return area;
}

Bytes camFile(const Bytes& imageArea) {
    const Bytes comment = {'s', 'e', 'e', 'd'};
    const Bytes thumbnail(52 * 36 + 2 * 26 * 18, 0x40);
    Bytes file = {0x07, 0x20, 0x4D, 0x4D};
    putBe16(file, 3);
    const Bytes* areas[3] = {&comment, &thumbnail, &imageArea};
    for (unsigned id = 1; id <= 3; ++id) {
        putBe16(file, id);
        putBe32(file, unsigned(areas[id - 1]->size()));
        file.insert(file.end(), 10, 0);
    }
    for (const Bytes* area : areas)
        file.insert(file.end(), area->begin(), area->end());
    return file;
}

bool writeSeed(const std::string& path, const Bytes& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    const bool written = file && std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    const bool closed = file && std::fclose(file) == 0;
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
    const std::string folder = argv[1];
    Bytes jfif = camFile({});
    jfif.resize(54);
    const Bytes jpeg = encode(64, 48, 2);
    jfif.insert(jfif.end(), jpeg.begin(), jpeg.end());
    bool allWritten =
        writeSeed(folder + "/normal.cam", camFile(imageArea(encode(480, 240, 3), true)));
    allWritten = writeSeed(folder + "/fine.cam", camFile(imageArea(encode(640, 480, 2), false))) &&
                 allWritten;
    allWritten = writeSeed(folder + "/jfif.cam", jfif) && allWritten;
    return allWritten ? 0 : 1;
}
