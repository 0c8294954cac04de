// CAM camera files made at run time: a picture encoded by libjpeg-turbo under the rules of the
// container's image area (sampling, scans, standard Huffman tables), stripped of its JPEG frame
// and put into the 54-byte header's three areas; and files holding a JFIF stream after the header.
#pragma once

#include <QByteArray>
#include <QImage>

namespace testsupport {

enum class CamCoding {
    Normal, // 480 x 240, luminance 3 x 2, one scan per component
    Fine    // 640 x 480, luminance 2 x 2, one interleaved scan
};

struct CamImageArea {
    QByteArray area;          // scan count and sizes, the two quantisation tables, the scans
    QByteArray referenceJpeg; // the JPEG stream libjpeg wrote, from which the area was taken
};

// Encodes picture, which must have the coding's size.
CamImageArea makeCamImageArea(const QImage& picture, CamCoding coding, int quality = 90);

// A thumbnail area: 52 x 36 luminance, then the two chroma planes at 26 x 18, signed.
QByteArray makeCamThumbnail(const QImage& picture);

// The header (mark, three areas with their ids and lengths) followed by the areas.
QByteArray makeCamFile(const QByteArray& comment, const QByteArray& thumbnail,
                       const QByteArray& imageArea);

struct CamOptions {
    CamCoding coding = CamCoding::Normal;
    int quality = 90;
    QByteArray comment = "CAMERA COMMENT";
};

// A whole CAM file of picture (resized to the coding's size when it has another).
QByteArray makeCam(const QImage& picture, const CamOptions& options = {});

// A header whose image area is the JFIF stream jpeg, right after the header.
QByteArray makeJfifCam(const QByteArray& jpeg);

// Offsets in every CAM file: the header size, and area i's entry (its id; its u32 length at +2).
constexpr int kCamHeaderSize = 54;
constexpr int camAreaEntry(int area) {
    return 6 + 16 * area;
}

} // namespace testsupport
