#include "tests/support/cammaker.h"

#include <QtGlobal>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace testsupport {
namespace {

[[noreturn]] void failOnError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    qFatal("cammaker: libjpeg failed: %s", message);
}

void putBe16(QByteArray& bytes, int value) {
    bytes.append(char(value >> 8)).append(char(value));
}
void putBe32(QByteArray& bytes, uint32_t value) {
    putBe16(bytes, int(value >> 16));
    putBe16(bytes, int(value & 0xFFFF));
}
int be16(const QByteArray& bytes, int at) {
    return uchar(bytes[at]) << 8 | uchar(bytes[at + 1]);
}

QByteArray encode(const QImage& picture, CamCoding coding, int quality) {
    const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = failOnError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);
    cinfo.image_width = JDIMENSION(rgb.width());
    cinfo.image_height = JDIMENSION(rgb.height());
    cinfo.input_components = 3;
    cinfo.in_color_space = JCS_RGB;
    jpeg_set_defaults(&cinfo); // standard Huffman tables, no optimisation
    jpeg_set_quality(&cinfo, quality, TRUE);
    cinfo.comp_info[0].h_samp_factor = coding == CamCoding::Normal ? 3 : 2;
    cinfo.comp_info[0].v_samp_factor = 2;
    jpeg_scan_info scans[3]{};
    if (coding == CamCoding::Normal) {
        for (int c = 0; c < 3; ++c) {
            scans[c].comps_in_scan = 1;
            scans[c].component_index[0] = c;
            scans[c].Se = 63;
        }
        cinfo.scan_info = scans;
        cinfo.num_scans = 3;
    }
    jpeg_start_compress(&cinfo, TRUE);
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar*>(rgb.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray jpeg(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return jpeg;
}

// The end of the entropy-coded data that starts at from: the first marker that is neither a
// stuffed zero nor a restart marker.
int endOfScanData(const QByteArray& jpeg, int from) {
    for (int at = from; at + 1 < jpeg.size(); ++at) {
        const uchar next = uchar(jpeg[at + 1]);
        if (uchar(jpeg[at]) == 0xFF && next != 0 && (next < 0xD0 || next > 0xD7))
            return at;
    }
    return int(jpeg.size());
}

QImage sized(const QImage& picture, int width, int height) {
    return picture.size() == QSize(width, height)
               ? picture
               : picture.scaled(width, height, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

} // namespace

CamImageArea makeCamImageArea(const QImage& picture, CamCoding coding, int quality) {
    const QByteArray jpeg = encode(picture, coding, quality);
    QByteArray tables[2];
    std::vector<QByteArray> scans;
    for (int at = 2; at + 4 <= jpeg.size();) {
        Q_ASSERT(uchar(jpeg[at]) == 0xFF);
        const uchar marker = uchar(jpeg[at + 1]);
        if (marker == 0xD9)
            break;
        const int length = be16(jpeg, at + 2);
        if (marker == 0xDB) { // one or more 8-bit tables: id byte, 64 divisors
            for (int t = at + 4; t < at + 2 + length; t += 65)
                tables[uchar(jpeg[t]) & 15] = jpeg.mid(t + 1, 64);
        }
        at += 2 + length;
        if (marker == 0xDA) {
            const int end = endOfScanData(jpeg, at);
            scans.push_back(jpeg.mid(at, end - at));
            at = end;
        }
    }
    Q_ASSERT(tables[0].size() == 64 && tables[1].size() == 64);

    QByteArray area;
    putBe16(area, int(scans.size()));
    if (coding == CamCoding::Normal) {
        for (const QByteArray& scan : scans) {
            Q_ASSERT(scan.size() <= 0xFFFF);
            putBe16(area, int(scan.size()));
        }
    } else {
        putBe16(area, 0);
        putBe32(area, uint32_t(scans.front().size()));
    }
    area += tables[0] + tables[1];
    for (const QByteArray& scan : scans)
        area += scan;
    return {area, jpeg};
}

QByteArray makeCamThumbnail(const QImage& picture) {
    const QImage small = sized(picture, 52, 36).convertToFormat(QImage::Format_RGB32);
    QByteArray luminance, blueDifference, redDifference;
    for (int y = 0; y < 36; ++y)
        for (int x = 0; x < 52; ++x) {
            const QRgb c = small.pixel(x, y);
            const double lum = 0.299 * qRed(c) + 0.587 * qGreen(c) + 0.114 * qBlue(c);
            luminance.append(char(std::clamp(int(lum), 0, 255)));
            if (x % 2 == 0 && y % 2 == 0) {
                blueDifference.append(char(std::clamp(int(0.564 * (qBlue(c) - lum)), -128, 127)));
                redDifference.append(char(std::clamp(int(0.713 * (qRed(c) - lum)), -128, 127)));
            }
        }
    return luminance + blueDifference + redDifference;
}

QByteArray makeCamFile(const QByteArray& comment, const QByteArray& thumbnail,
                       const QByteArray& imageArea) {
    QByteArray file("\x07\x20\x4D\x4D", 4);
    putBe16(file, 3);
    const QByteArray* areas[3] = {&comment, &thumbnail, &imageArea};
    for (int id = 1; id <= 3; ++id) {
        putBe16(file, id);
        putBe32(file, uint32_t(areas[id - 1]->size()));
        file += QByteArray(10, '\0');
    }
    Q_ASSERT(file.size() == kCamHeaderSize);
    return file + comment + thumbnail + imageArea;
}

QByteArray makeCam(const QImage& picture, const CamOptions& options) {
    const bool normal = options.coding == CamCoding::Normal;
    const QImage stored = sized(picture, normal ? 480 : 640, normal ? 240 : 480);
    return makeCamFile(options.comment, makeCamThumbnail(picture),
                       makeCamImageArea(stored, options.coding, options.quality).area);
}

QByteArray makeJfifCam(const QByteArray& jpeg) {
    return makeCamFile({}, {}, jpeg);
}

} // namespace testsupport
