// Loading a built decoder plug-in in a test, and holding what its calls hand back.
#pragma once

#include "plugins/spi.h"

#include <QRgb>
#include <QString>

#include <cstddef>
#include <cstdint>

namespace testsupport {

// A plug-in loaded with dlopen from the first folder of TAZU_PLUGIN_PATH that holds it (always
// by absolute path); unloaded on destruction.
class LoadedPlugin {
public:
    explicit LoadedPlugin(const QString& fileName);
    ~LoadedPlugin();
    LoadedPlugin(const LoadedPlugin&) = delete;
    LoadedPlugin& operator=(const LoadedPlugin&) = delete;

    bool isLoaded() const { return handle_ != nullptr; }
    const QString& errorString() const { return error_; }

    // The export of that name, or null.
    template <typename Function> Function function(const char* name) const {
        return reinterpret_cast<Function>(symbol(name));
    }

private:
    void* symbol(const char* name) const;

    void* handle_ = nullptr;
    QString error_;
};

// The two blocks GetPicture or GetPreview hand back, freed on destruction; with accessors for
// the DIB they hold.
class DecodedDib {
public:
    DecodedDib() = default;
    ~DecodedDib();
    DecodedDib(const DecodedDib&) = delete;
    DecodedDib& operator=(const DecodedDib&) = delete;

    // Where the call stores the blocks; frees what was held before.
    SpiHandle* infoOut();
    SpiHandle* bitsOut();

    bool isEmpty() const { return !info_ && !bits_; }
    const SpiBitmapInfoHeader& header() const;
    const SpiRgbQuad* palette() const; // the colour table after the header
    size_t infoSize() const { return SpiBlockSize(info_); }
    size_t bitsSize() const { return SpiBlockSize(bits_); }
    int width() const { return header().biWidth; }
    int height() const { return header().biHeight; }
    size_t stride() const;
    // Row y counted from the top of the picture, whatever the storage order.
    const uint8_t* row(int y) const;
    // The colour at (x, y) from the top left, for 24-bit and 8-bit palette DIBs.
    QRgb pixel(int x, int y) const;

private:
    SpiHandle info_ = nullptr;
    SpiHandle bits_ = nullptr;
};

} // namespace testsupport
