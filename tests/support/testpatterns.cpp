#include "tests/support/testpatterns.h"

#include <stdexcept>

namespace testsupport {

QImage colourPattern(int width, int height) {
    QImage image(width, height, QImage::Format_RGB32);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y,
                           qRgb((x * 37 + y * 11) & 255, (x * 5 + y * 53 + 80) & 255,
                                (x * 13 + y * 29 + 160) & 255));
    return image;
}

QImage indexedPattern(int width, int height, int colours) {
    if (colours < 2 || colours > 256)
        throw std::invalid_argument("indexedPattern: 2 to 256 colours");
    QImage image(width, height, QImage::Format_Indexed8);
    QList<QRgb> table;
    for (int i = 0; i < colours; ++i)
        table.append(qRgb((i * 67 + 13) & 255, (i * 151 + 40) & 255, (255 - i * 29) & 255));
    image.setColorTable(table);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            image.setPixel(x, y, uint((x + 3 * y) % colours));
    return image;
}

QImage greyPattern(int width, int height) {
    QImage image(width, height, QImage::Format_Grayscale8);
    for (int y = 0; y < height; ++y) {
        uchar* row = image.scanLine(y);
        for (int x = 0; x < width; ++x)
            row[x] = uchar((x * 23 + y * 71) & 255);
    }
    return image;
}

} // namespace testsupport
