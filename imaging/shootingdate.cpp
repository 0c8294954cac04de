#include "imaging/shootingdate.h"

#include <QFile>

bool carriesExif(const QString& ext) {
    return ext == QLatin1String(".JPG") || ext == QLatin1String(".JPE") ||
           ext == QLatin1String(".TIF") || isHeifExtension(ext) || ext == QLatin1String(".WEBP");
}

bool isHeifExtension(const QString& ext) {
    return ext == QLatin1String(".HEIC") || ext == QLatin1String(".HEIF") ||
           ext == QLatin1String(".HIF");
}

std::optional<ExifDateTime> exifShootingDate(const QString& path, const QString& ext) {
    if (!carriesExif(ext))
        return std::nullopt;
    return ReadExifInfo(QFile::encodeName(path).toStdString()).taken;
}

QString shootingDateText(const ExifDateTime& taken) {
    return QString::asprintf("%02d/%02d/%02d", taken.year % 100, taken.month, taken.day);
}

QString shootingTimeText(const ExifDateTime& taken) {
    return QString::asprintf("%02d:%02d:%02d", taken.hour, taken.minute, taken.second);
}
