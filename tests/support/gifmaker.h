// Writes GIF files of known content through giflib: one image per frame.
#pragma once

#include <QByteArray>
#include <QImage>
#include <QList>
#include <QString>

#include <cstdint>

namespace testsupport {

struct GifFrame {
    QImage image{}; // Indexed8: its indices, and its colour table as this frame's colours
    int left = 0;   // position on the logical screen
    int top = 0;
    bool localPalette = false; // write the image's colour table as a local table
    int transparentIndex = -1; // 0 to 255: a graphic control extension marks this index transparent
    int delayCentiseconds = 0; // written in the graphic control extension, if there is one
};

struct GifOptions {
    bool gif89 = true;           // "GIF89a", else "GIF87a" (extensions need 89a)
    int screenWidth = 0;         // 0: the first frame's width
    int screenHeight = 0;        // 0: the first frame's height
    bool globalPalette = true;   // write a global colour table
    QList<QRgb> globalColours{}; // the global table; empty: the first frame's colour table
    int backgroundIndex = 0;
    bool interlaced = false; // every frame
    uint8_t aspectByte = 0;  // the screen descriptor's pixel aspect byte
    QByteArray comment{};    // a comment extension before the first frame when not empty
};

// The GIF file. Throws std::runtime_error when giflib refuses.
QByteArray makeGif(const QList<GifFrame>& frames, const GifOptions& options = {});

// makeGif written to path (created or replaced). Throws std::runtime_error on failure.
void writeGif(const QString& path, const QList<GifFrame>& frames, const GifOptions& options = {});

} // namespace testsupport
