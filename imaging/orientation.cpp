#include "imaging/orientation.h"

#include "imaging/exif.h"
#include "imaging/j6i.h"
#include "imaging/shootingdate.h"
#include "platform/checked.h"

#include <QFile>
#include <QTransform>

UprightPlace uprightPlace(int orientation, int32_t x, int32_t y, int32_t w, int32_t h) {
    switch (orientation) {
    case 2:
        return {w - 1 - x, y};
    case 3:
        return {w - 1 - x, h - 1 - y};
    case 4:
        return {x, h - 1 - y};
    case 5:
        return {y, x};
    case 6:
        return {h - 1 - y, x};
    case 7:
        return {h - 1 - y, w - 1 - x};
    case 8:
        return {y, w - 1 - x};
    default:
        return {x, y};
    }
}

QSize uprightSize(QSize stored, int orientation) {
    return turnsSideways(orientation) ? stored.transposed() : stored;
}

QImage uprightImage(const QImage& stored, int orientation) {
    const auto quarterTurn = [&stored](int degrees) {
        return stored.transformed(QTransform().rotate(degrees));
    };
    switch (orientation) {
    case 2:
        return stored.mirrored(true, false);
    case 3:
        return stored.mirrored(true, true);
    case 4:
        return stored.mirrored(false, true);
    case 5:
        return quarterTurn(90).mirrored(true, false);
    case 6:
        return quarterTurn(90);
    case 7:
        return quarterTurn(90).mirrored(false, true);
    case 8:
        return quarterTurn(270);
    default:
        return stored;
    }
}

int pictureOrientation(const QString& path, const QString& ext) {
    if (ext == QLatin1String(".J6I")) {
        try {
            const uint8_t byte = ReadJ6IInfo(path).orientation;
            return byte == 1 ? TurnedClockwise : byte == 3 ? TurnedCounterClockwise : AsStored;
        } catch (const platform::IoError&) {
            return AsStored; // the picture's own loading says what is wrong with the file
        }
    }
    if (!carriesExif(ext) || isHeifExtension(ext))
        return AsStored;
    const int orientation = ReadExifInfo(QFile::encodeName(path).toStdString()).orientation;
    return orientation == 0 ? AsStored : orientation;
}
