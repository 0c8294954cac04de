// EXIF blocks of chosen content, put into JPEG streams as the APP1 segment cameras write.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <optional>

namespace testsupport {

struct ExifFields {
    std::optional<uint16_t> orientation; // the Orientation tag of the first directory
    QByteArray dateTimeOriginal;         // ASCII as given, NUL added; left out when empty
    QByteArray dateTimeDigitized;
};

// "Exif\0\0" and a little-endian TIFF structure: the first directory with the orientation and a
// pointer to the EXIF directory with the dates.
QByteArray makeExifBlock(const ExifFields& fields);

// The JPEG stream with block as an APP1 segment right after its start marker.
QByteArray withExif(const QByteArray& jpeg, const QByteArray& block);

} // namespace testsupport
