// How a picture that the camera stored turned or mirrored is shown upright. Orientations are
// numbered as EXIF numbers them: 1 as stored, 2 mirrored left to right, 3 turned half round,
// 4 mirrored top to bottom, 5 mirrored along the diagonal from the top-left corner, 6 to be
// turned a quarter clockwise, 7 mirrored along the other diagonal, 8 to be turned a quarter
// counter-clockwise.
#pragma once

#include <QImage>
#include <QSize>
#include <QString>

#include <cstdint>

constexpr int AsStored = 1;
constexpr int TurnedClockwise = 6;
constexpr int TurnedCounterClockwise = 8;

// Whether the upright picture has its width and height exchanged (orientations 5 to 8).
constexpr bool turnsSideways(int orientation) {
    return orientation >= 5 && orientation <= 8;
}

struct UprightPlace {
    int32_t x = 0;
    int32_t y = 0;
};

// Where the pixel at (x, y) of a stored w × h picture (counted from its top-left corner) stands
// in the upright picture. Orientations outside 2..8 leave it where it is.
UprightPlace uprightPlace(int orientation, int32_t x, int32_t y, int32_t w, int32_t h);

// The size of the upright picture.
QSize uprightSize(QSize stored, int orientation);

// Calls visit(y, x) for every pixel of a height × width picture in bands of 16 rows, each taken
// column by column. A turn that visits the pixels so writes runs of 16 neighbours in a few rows
// at a time instead of one pixel in every row of the turned picture.
template <typename Visit> void turnInBands(int32_t height, int32_t width, Visit&& visit) {
    constexpr int32_t band = 16;
    for (int32_t top = 0; top < height; top += band) {
        const int32_t bottom = top + band < height ? top + band : height;
        for (int32_t x = 0; x < width; ++x)
            for (int32_t y = top; y < bottom; ++y)
                visit(y, x);
    }
}

// The stored picture turned upright (any format; palette pictures keep their colour table).
QImage uprightImage(const QImage& stored, int orientation);

// How the picture file at path (ext its upper-case extension with the dot) is to be turned to
// stand upright: a J6I file by its header's orientation byte, a JPEG or TIFF file by its EXIF
// orientation; AsStored for every other file, and for any file whose metadata cannot be read.
int pictureOrientation(const QString& path, const QString& ext);
