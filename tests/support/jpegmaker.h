// Test pictures made at run time: JPEG streams through libjpeg-turbo from a QImage or from a
// pattern of known content, and J6I files (a camera header followed by a JPEG stream).
#pragma once

#include <QByteArray>
#include <QImage>
#include <QRgb>
#include <QString>

#include <array>
#include <cstdint>

namespace testsupport {

enum class Subsampling { S444, S422, S420, S440 };

enum class JpegColour {
    YCbCr,     // the usual colour JPEG
    Greyscale, // one component
    AdobeCmyk, // four components, inverted as Adobe's applications write them, with APP14
    AdobeYcck  // the same converted to YCCK
};

struct JpegOptions {
    int quality = 90;
    Subsampling subsampling = Subsampling::S420;
    JpegColour colour = JpegColour::YCbCr;
    bool progressive = false;
    bool arithmetic = false;
    int restartInterval = 0; // in MCUs; 0: no restart markers
    QByteArray comment;      // written as a COM segment when not empty
    bool jfif = true;        // write the JFIF segment with the density below
    int densityUnit = 0;     // 0: aspect ratio only, 1: dots per inch, 2: dots per centimetre
    int xDensity = 1;
    int yDensity = 1;
};

// Compresses image (any format; converted as needed) into a JPEG stream in memory.
QByteArray makeJpeg(const QImage& image, const JpegOptions& options = {});

// Four flat quadrants; the split is at (splitX, splitY), a multiple of 16 so that every MCU is
// flat and the decoded colours stay close to the originals whatever the subsampling.
struct QuadrantPicture {
    QImage image;
    int splitX = 0;
    int splitY = 0;
    std::array<QRgb, 4> colours{}; // top left, top right, bottom left, bottom right
};
QuadrantPicture makeQuadrantPicture(int width, int height);

// Columns whose grey level rises from 0 at the left to 255 at the right.
QImage makeGreyRamp(int width, int height);

// Smooth gradients, texture, edges and noise: compresses about as a photograph does.
QImage makePhotoLikePicture(int width, int height, uint32_t seed = 1);

// Shooting date and time as the camera records it (two-digit year).
struct J6iDateTime {
    int year = 99, month = 10, day = 1, hour = 20, minute = 23, second = 49;
};

struct J6iOptions {
    J6iDateTime shot;
    uint8_t orientation = 0; // byte 120: 1 shown turned clockwise, 3 counter-clockwise
    int headerLength = 172;  // bytes before the JPEG stream (at least 124)
    int jpegOffset = -1;     // value stored at bytes 56..59; -1: headerLength
    QByteArray jpeg;         // the stream; empty: a 768 × 480 quadrant picture
    QByteArray trailer;      // bytes after the stream, as some files carry
};

// A J6I file: the header (big-endian offsets, BCD date, maker name) and the JPEG stream.
QByteArray makeJ6i(const J6iOptions& options = {});

// Writes bytes to path; false on any failure.
bool writeFile(const QString& path, const QByteArray& bytes);

} // namespace testsupport
