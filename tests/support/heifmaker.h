// Writes HEIF files (HEVC-coded, as phones write them) of known content through libheif's
// encoder.
#pragma once

#include <QByteArray>
#include <QImage>

namespace testsupport {

struct HeifOptions {
    int quality = 90;
};

// The picture as a HEIF file; an image with an alpha channel keeps it as an alpha plane (ARGB32,
// not premultiplied). Throws std::runtime_error when libheif refuses.
QByteArray makeHeif(const QImage& image, const HeifOptions& options = {});

} // namespace testsupport
