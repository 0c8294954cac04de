// Loads a built decoder plug-in by its absolute path, as the program does, and calls its exports.
// What a call returns is copied into plain values and the plug-in's blocks are freed, after
// checking that the blocks are as large as their header says.
#pragma once

#include "plugins/spi.h"

#include <gtest/gtest.h>

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace testsupport {

// A DIB as a plug-in returned it.
struct Dib {
    SpiBitmapInfoHeader header{};
    std::vector<SpiRgbQuad> palette;
    QByteArray pixels;

    int width() const { return header.biWidth; }
    int height() const { return header.biHeight; }
    int bitCount() const { return header.biBitCount; }
    size_t stride() const { return ((size_t(width()) * size_t(bitCount()) + 31) / 32) * 4; }
    // The bytes of pixel (x, y), y counted from the top: rows are stored bottom-up.
    const uint8_t* at(int x, int y) const;
    // The palette index of (x, y) in an 8-bit DIB.
    int index(int x, int y) const { return *at(x, y); }
    // The colour of (x, y): its B, G, R bytes at 24 bits, its palette entry at 8 bits.
    QRgb colour(int x, int y) const;
};

// Success when every pixel of dib shows the colour of the same pixel of expected.
::testing::AssertionResult showsPicture(const Dib& dib, const QImage& expected);

// Success when the 8-bit dib holds the palette indices of the Indexed8 image.
::testing::AssertionResult holdsIndices(const Dib& dib, const QImage& expected);

// What GetPictureInfo reported; the text block has been copied and freed (info.hInfo is null).
struct PictureDescription {
    PictureInfo info{};
    std::string text;
};

class SpiPlugin {
public:
    // Loads fileName ("iftiff.spi") from the first folder of TAZU_PLUGIN_PATH that holds it.
    // Throws std::runtime_error when it is not found, cannot be loaded or lacks an export.
    explicit SpiPlugin(const QString& fileName);
    ~SpiPlugin();
    SpiPlugin(const SpiPlugin&) = delete;
    SpiPlugin& operator=(const SpiPlugin&) = delete;

    GetPluginInfoFunc getPluginInfo = nullptr;
    IsSupportedFunc isSupported = nullptr;
    GetPictureInfoFunc getPictureInfo = nullptr;
    GetPictureFunc getPicture = nullptr;
    GetPreviewFunc getPreview = nullptr;

    std::string pluginInfo(int32_t number) const;
    // IsSupported on the first 2 KB of fileStart, zero-padded as the program hands them over.
    bool supports(const QByteArray& fileStart) const;

    int32_t describe(const QByteArray& bytes, PictureDescription& out) const;
    int32_t describeFile(const QString& path, int32_t offset, PictureDescription& out) const;
    int32_t decode(const QByteArray& bytes, Dib& out, SpiProgressCallback progress = nullptr,
                   int32_t lData = 0) const;
    int32_t decodeFile(const QString& path, int32_t offset, Dib& out) const;

private:
    int32_t collectInfo(int32_t result, PictureInfo& info, PictureDescription& out) const;
    int32_t collectDib(int32_t result, SpiHandle infoBlock, SpiHandle pixelBlock, Dib& out) const;

    void* library_ = nullptr;
};

} // namespace testsupport
