// When a JPEG or TIFF picture was taken, by its EXIF data, in the forms the J6I header's date is
// shown in.
#pragma once

#include "imaging/exif.h"

#include <QString>

#include <optional>

// Whether files of the extension (upper case with its dot) are read for EXIF data: JPEG and
// TIFF files.
bool carriesExif(const QString& ext);

// The EXIF shooting date of a ".JPG", ".JPE" or ".TIF" file (ext in upper case with its dot);
// nothing for other files, or when the file gives none.
std::optional<ExifDateTime> exifShootingDate(const QString& path, const QString& ext);

// "yy/MM/dd" and "hh:mm:ss", two digits each, as j6iDateText and j6iTimeText give them.
QString shootingDateText(const ExifDateTime& taken);
QString shootingTimeText(const ExifDateTime& taken);
