#include "tests/support/jpegmaker.h"

#include <QFile>
#include <QtGlobal>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <jpeglib.h>

namespace testsupport {
namespace {

// Compressing a picture made here cannot fail unless the test itself is wrong.
[[noreturn]] void failOnError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    qFatal("jpegmaker: libjpeg failed: %s", message);
}

// The picture as CMYK the way Adobe's applications store it: inverted, 255 meaning no ink, with
// black taking the common part of the three colour inks.
QImage toInvertedCmyk(const QImage& source) {
    const QImage rgb = source.convertToFormat(QImage::Format_RGB888);
    QImage cmyk(rgb.size(), QImage::Format_RGBA8888); // four bytes a pixel: C, M, Y, K
    for (int y = 0; y < rgb.height(); ++y) {
        const uchar* in = rgb.constScanLine(y);
        uchar* out = cmyk.scanLine(y);
        for (int x = 0; x < rgb.width(); ++x, in += 3, out += 4) {
            const int brightest = std::max({in[0], in[1], in[2]});
            for (int c = 0; c < 3; ++c)
                out[c] = brightest ? uchar((in[c] * 255 + brightest / 2) / brightest) : 255;
            out[3] = uchar(brightest);
        }
    }
    return cmyk;
}

void setSubsampling(jpeg_compress_struct& cinfo, Subsampling subsampling) {
    int h = 1, v = 1;
    switch (subsampling) {
    case Subsampling::S444:
        break;
    case Subsampling::S422:
        h = 2;
        break;
    case Subsampling::S420:
        h = v = 2;
        break;
    case Subsampling::S440:
        v = 2;
        break;
    }
    cinfo.comp_info[0].h_samp_factor = h;
    cinfo.comp_info[0].v_samp_factor = v;
    for (int c = 1; c < cinfo.num_components; ++c)
        cinfo.comp_info[c].h_samp_factor = cinfo.comp_info[c].v_samp_factor = 1;
}

void putBigEndian32(QByteArray& bytes, int at, uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[at + i] = char(value >> (24 - 8 * i));
}

char bcd(int value) {
    return char(((value / 10) % 10) << 4 | (value % 10));
}

} // namespace

QByteArray makeJpeg(const QImage& source, const JpegOptions& options) {
    QImage image;
    int components = 3;
    J_COLOR_SPACE inputSpace = JCS_RGB;
    switch (options.colour) {
    case JpegColour::YCbCr:
        image = source.convertToFormat(QImage::Format_RGB888);
        break;
    case JpegColour::Greyscale:
        image = source.convertToFormat(QImage::Format_Grayscale8);
        components = 1;
        inputSpace = JCS_GRAYSCALE;
        break;
    case JpegColour::AdobeCmyk:
    case JpegColour::AdobeYcck:
        image = toInvertedCmyk(source);
        components = 4;
        inputSpace = JCS_CMYK;
        break;
    }

    jpeg_compress_struct cinfo{};
    jpeg_error_mgr errors{};
    cinfo.err = jpeg_std_error(&errors);
    errors.error_exit = failOnError;
    jpeg_create_compress(&cinfo);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&cinfo, &buffer, &size);

    cinfo.image_width = JDIMENSION(image.width());
    cinfo.image_height = JDIMENSION(image.height());
    cinfo.input_components = components;
    cinfo.in_color_space = inputSpace;
    jpeg_set_defaults(&cinfo);
    if (options.colour == JpegColour::AdobeYcck)
        jpeg_set_colorspace(&cinfo, JCS_YCCK); // also writes the Adobe segment
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    if (options.colour == JpegColour::YCbCr)
        setSubsampling(cinfo, options.subsampling);
    cinfo.restart_interval = unsigned(options.restartInterval);
    cinfo.arith_code = options.arithmetic;
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    if (cinfo.write_JFIF_header) {
        cinfo.write_JFIF_header = options.jfif;
        cinfo.density_unit = UINT8(options.densityUnit);
        cinfo.X_density = UINT16(options.xDensity);
        cinfo.Y_density = UINT16(options.yDensity);
    }

    jpeg_start_compress(&cinfo, TRUE);
    if (!options.comment.isEmpty())
        jpeg_write_marker(&cinfo, JPEG_COM,
                          reinterpret_cast<const JOCTET*>(options.comment.constData()),
                          unsigned(options.comment.size()));
    while (cinfo.next_scanline < cinfo.image_height) {
        JSAMPROW row = const_cast<uchar*>(image.constScanLine(int(cinfo.next_scanline)));
        jpeg_write_scanlines(&cinfo, &row, 1);
    }
    jpeg_finish_compress(&cinfo);
    jpeg_destroy_compress(&cinfo);
    QByteArray result(reinterpret_cast<const char*>(buffer), qsizetype(size));
    std::free(buffer);
    return result;
}

QuadrantPicture makeQuadrantPicture(int width, int height) {
    QuadrantPicture picture;
    picture.splitX = std::max(16, width / 2 / 16 * 16);
    picture.splitY = std::max(16, height / 2 / 16 * 16);
    // Every channel differs between the quadrants, so that a swap of channels or rows shows.
    picture.colours = {qRgb(200, 40, 40), qRgb(40, 180, 60), qRgb(30, 60, 210), qRgb(240, 220, 90)};
    picture.image = QImage(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y) {
        QRgb* row = reinterpret_cast<QRgb*>(picture.image.scanLine(y));
        for (int x = 0; x < width; ++x)
            row[x] = picture.colours[(y < picture.splitY ? 0 : 2) + (x < picture.splitX ? 0 : 1)];
    }
    return picture;
}

QImage makeGreyRamp(int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = uchar(width > 1 ? x * 255 / (width - 1) : 0);
    }
    return image;
}

QImage makePhotoLikePicture(int width, int height, uint32_t seed) {
    QImage image(width, height, QImage::Format_RGB888);
    uint32_t noise = seed * 2654435761u + 1;
    const double phase = seed * 0.7;
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        const double fy = double(y) / height;
        for (int x = 0; x < width; ++x) {
            const double fx = double(x) / width;
            // Sky-to-ground gradient, soft hills, fine texture and a few hard-edged shapes.
            const double hills = 0.5 + 0.5 * std::sin(fx * 9.0 + phase) * std::cos(fy * 5.0);
            const double texture = std::sin(x * 0.21 + y * 0.05) * std::sin(y * 0.17 - x * 0.03);
            const bool inShape = (x / 400 + y / 300) % 3 == 0 && (x % 400) > 120 && (y % 300) > 90;
            noise ^= noise << 13;
            noise ^= noise >> 17;
            noise ^= noise << 5;
            const double grain = double(int(noise % 25) - 12);
            double r = 60 + 150 * fy + 40 * hills + 18 * texture + grain;
            double g = 90 + 100 * hills + 25 * texture + grain;
            double b = 210 - 150 * fy + 15 * texture + grain;
            if (inShape) {
                r = 0.4 * r + 150;
                g *= 0.5;
                b = 0.3 * b + 20;
            }
            row[3 * x] = uchar(std::clamp(r, 0.0, 255.0));
            row[3 * x + 1] = uchar(std::clamp(g, 0.0, 255.0));
            row[3 * x + 2] = uchar(std::clamp(b, 0.0, 255.0));
        }
    }
    return image;
}

QByteArray makeJ6i(const J6iOptions& options) {
    Q_ASSERT(options.headerLength >= 124);
    const QByteArray jpeg =
        options.jpeg.isEmpty() ? makeJpeg(makeQuadrantPicture(768, 480).image) : options.jpeg;
    const uint32_t offset =
        uint32_t(options.jpegOffset < 0 ? options.headerLength : options.jpegOffset);

    QByteArray header(options.headerLength, '\0');
    header[0] = char(0x80);
    header[1] = char(0x3E);
    header[50] = 0; // big-endian offsets, as camera files have them
    putBigEndian32(header, 56, offset);
    putBigEndian32(header, 60, offset + uint32_t(jpeg.size()) - 1);
    header[64] = char(0x81); // a shooting date is recorded
    const J6iDateTime& shot = options.shot;
    const int dateTime[6] = {shot.year, shot.month, shot.day, shot.hour, shot.minute, shot.second};
    for (int i = 0; i < 6; ++i)
        header[68 + i] = bcd(dateTime[i]);
    header.replace(76, 8,
                   QByteArray("\x82\x20\x1F"
                              "RICOH",
                              8));
    header[120] = char(options.orientation);
    return header + jpeg + options.trailer;
}

bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size() && file.flush();
}

} // namespace testsupport
