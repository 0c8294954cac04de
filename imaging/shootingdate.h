// When a JPEG or TIFF picture was taken, by its EXIF data, in the forms the J6I header's date is
// shown in.
#pragma once

#include "imaging/exif.h"

#include <QString>

#include <optional>

// Whether files of the extension (upper case with its dot) are read for EXIF data: JPEG, TIFF,
// HEIF and WebP files.
bool carriesExif(const QString& ext);

// Whether the extension is one of a HEIF file (".HEIC", ".HEIF", ".HIF"). Their decoder applies
// the container's own rotation and mirroring, which already stand the picture upright: their
// EXIF orientation must not turn it again.
bool isHeifExtension(const QString& ext);

// The EXIF shooting date of a file carriesExif names (ext in upper case with its dot);
// nothing for other files, or when the file gives none.
std::optional<ExifDateTime> exifShootingDate(const QString& path, const QString& ext);

// "yy/MM/dd" and "hh:mm:ss", two digits each, as j6iDateText and j6iTimeText give them.
QString shootingDateText(const ExifDateTime& taken);
QString shootingTimeText(const ExifDateTime& taken);
