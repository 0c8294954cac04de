// Writes WebP files of known content through libwebp's encoder and muxer.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>

namespace testsupport {

struct WebpOptions {
    bool lossless = true;
    int quality = 90; // lossy only
};

// The picture as a still WebP file; an image with an alpha channel keeps it (ARGB32, not
// premultiplied). Throws std::runtime_error when libwebp refuses.
QByteArray makeWebp(const QImage& image, const WebpOptions& options = {});

struct WebpFrame {
    QImage image{};
    int left = 0; // place on the canvas; even, as the format stores half the offset
    int top = 0;
    WebpOptions options{};
};

// An animation of the frames on a canvas of the given size, looping forever, 100 ms a frame.
// Throws std::runtime_error when libwebp refuses.
QByteArray makeWebpAnimation(const QList<WebpFrame>& frames, int canvasWidth, int canvasHeight);

} // namespace testsupport
