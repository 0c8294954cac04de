// The viewer's picture work that needs no window: J6I smoothing into CurrentDib, the packed DIB
// that is saved and copied, BMP files, the status line's text, zoom sizes, and the window's
// fit on the screen.
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QRect>
#include <QSize>
#include <QString>

struct ExifDateTime;
struct J6IInfo;

// A J6I picture decodes to 768 × 480 pixels; smoothed it is 768 × 576.
constexpr int J6IPictureWidth = 768;
constexpr int J6IDecodedHeight = 480;
constexpr int J6ISmoothedHeight = 576;

// Builds CurrentDib from DecodedDib stretched to 768 × 576: every 5 rows give 6, the four
// between blended linearly, and white bands 4 pixels wide at the left and right edges; frees
// DecodedDib. False, and nothing changed, when the decoded picture is not 768 × 480 at 24 bits
// (it is then shown as decoded).
bool SmoothJ6IPicture();

// CurrentDib as a packed DIB (the 40-byte header, then the rows, no colour table) with the
// input-time corrections applied to the copy; CurrentDib itself stays as it is.
QByteArray PackedCurrentDib();

// A BMP file of a packed DIB: the 14-byte file header ("BM", the file's size, the offset of the
// rows), then the DIB. Empty for a DIB that is not valid.
QByteArray bmpFileOf(const QByteArray& packedDib);

// The status line: the file name, three blanks, and the shooting date and time
// ("96/12/01  09:30:05") or the file's last-modified time.
QString j6iStatusLine(const QString& fileName, const J6IInfo& info);
// The same for a JPEG or TIFF file's EXIF shooting date.
QString shootingStatusLine(const QString& fileName, const ExifDateTime& taken);
QString fileStatusLine(const QString& fileName, const QDateTime& modified);

// The zoom items; the size of a picture of original size at each, a CAM picture 4:3.
enum class Zoom { Full, Half, ThreeQuarters };
QSize zoomedSize(Zoom zoom, QSize original, bool camAspect);

// A window frame that would reach past the screen's right edge is narrowed to end at it; one
// that would reach past its bottom edge ends 30 pixels above it.
QRect fittedToScreen(const QRect& frame, const QRect& screen);
