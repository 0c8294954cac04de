// Loads a built decoder plug-in as the program does and calls its exports. Every answer is
// checked against what the decoder plug-in interface promises (a failed call hands nothing back,
// blocks are as large as their header says, texts end in a NUL); a broken promise goes to the
// plug-in's fault reporter. Free of GoogleTest, so that the benchmarks load plug-ins with it too;
// tests/support/spitesting.h reports the faults as test failures.
#pragma once

#include "platform/library.h"
#include "plugins/spi.h"

#include <QByteArray>
#include <QRgb>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

namespace testsupport {

// The two blocks GetPicture or GetPreview handed back, owned until the Dib goes or is decoded
// into again; empty after a failed call.
class Dib {
public:
    Dib() = default;
    ~Dib();
    Dib(Dib&& other) noexcept;
    Dib& operator=(Dib&& other) noexcept;
    Dib(const Dib&) = delete;
    Dib& operator=(const Dib&) = delete;

    bool isEmpty() const { return header_ == nullptr; }
    // An empty Dib has an all-zero header: a 0 x 0 picture without colours.
    const SpiBitmapInfoHeader& header() const;
    int width() const { return header().biWidth; }
    int height() const { return header().biHeight; }
    int bitCount() const { return header().biBitCount; }
    size_t stride() const;
    size_t infoSize() const { return SpiBlockSize(info_); }
    size_t bitsSize() const { return SpiBlockSize(bits_); }
    // The colour table after the header: biClrUsed entries.
    std::span<const SpiRgbQuad> palette() const;
    // Entry i of the colour table; throws std::out_of_range past its end.
    QRgb paletteColour(int i) const;

    // Pixels counted from the top left, whatever order the rows are stored in.
    // The palette index of (x, y) in an 8-bit DIB.
    int index(int x, int y) const { return *at(x, y); }
    // The colour of (x, y): its B, G, R bytes at 24 bits, its palette entry at 8 bits.
    QRgb colour(int x, int y) const;
    // The bytes of row y (from the top) as stored, its padding included.
    std::span<const uint8_t> storedRow(int y) const { return {at(0, y), stride()}; }

private:
    friend class SpiPlugin;
    void free();
    const uint8_t* at(int x, int y) const;

    SpiHandle info_ = nullptr;
    SpiHandle bits_ = nullptr;
    const SpiBitmapInfoHeader* header_ = nullptr;
    const uint8_t* pixels_ = nullptr;
};

// What GetPictureInfo reported; the text block has been copied and freed (info.hInfo is null).
struct PictureDescription {
    PictureInfo info{};
    std::string text;
};

// Which of the decoding exports a call goes to; Scaled is GetPictureScaled asked for the
// smallest picture it can make (a minimum of 1 x 1).
enum class Call { Picture, Preview, Scaled };

// Told what promise of the interface a plug-in broke.
using FaultReporter = std::function<void(const std::string& fault)>;

// What the default fault reporter throws.
class InterfaceFault : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

class SpiPlugin {
public:
    // Loads fileName ("iftiff.spi") the way the program finds its plug-ins (platform::Library:
    // the program's folder, TAZU_PLUGIN_PATH, the installed folder). Throws std::runtime_error
    // when it cannot be loaded or lacks a required export. Faults go to reportFault; by
    // default they throw InterfaceFault.
    explicit SpiPlugin(const QString& fileName, FaultReporter reportFault = {});

    GetPluginInfoFunc getPluginInfo = nullptr;
    IsSupportedFunc isSupported = nullptr;
    GetPictureInfoFunc getPictureInfo = nullptr;
    GetPictureFunc getPicture = nullptr;
    GetPreviewFunc getPreview = nullptr;             // may be missing
    GetPictureScaledFunc getPictureScaled = nullptr; // may be missing

    // GetPluginInfo's text number through a buffer of bufferSize bytes, as long as the
    // count it returned.
    std::string pluginInfo(int32_t number, int32_t bufferSize = 256) const;
    // IsSupported on the first 2 KB of fileStart, zero-padded as the program hands them over.
    bool supports(const QByteArray& fileStart) const;

    // GetPictureInfo on a file image in memory, on a file from an offset, or on any arguments.
    int32_t describe(const QByteArray& bytes, PictureDescription& out) const;
    int32_t describeFile(const QString& path, int32_t offset, PictureDescription& out) const;
    int32_t describeInput(const char* buf, int32_t len, uint32_t flag,
                          PictureDescription& out) const;

    // GetPicture, GetPreview or GetPictureScaled, the same three ways; out is emptied first. A
    // plug-in without GetPreview or GetPictureScaled answers SPI_NOT_IMPLEMENTED.
    int32_t decode(const QByteArray& bytes, Dib& out, Call call = Call::Picture,
                   SpiProgressCallback progress = nullptr, int32_t lData = 0) const;
    int32_t decodeFile(const QString& path, int32_t offset, Dib& out, Call call = Call::Picture,
                       SpiProgressCallback progress = nullptr, int32_t lData = 0) const;
    int32_t decodeInput(const char* buf, int32_t len, uint32_t flag, Dib& out,
                        Call call = Call::Picture, SpiProgressCallback progress = nullptr,
                        int32_t lData = 0) const;

    // GetPictureScaled with the minimum size minWidth x minHeight.
    int32_t decodeScaled(const QByteArray& bytes, int32_t minWidth, int32_t minHeight,
                         Dib& out) const;
    int32_t decodeScaledFile(const QString& path, int32_t offset, int32_t minWidth,
                             int32_t minHeight, Dib& out) const;

private:
    void fault(const std::string& what) const;
    // Runs one decoding call (decode fills the two handles) and checks what it handed back.
    int32_t takeDecoded(const char* name, Dib& out,
                        const std::function<int32_t(SpiHandle*, SpiHandle*)>& decode) const;

    platform::Library library_;
    FaultReporter reportFault_;
};

} // namespace testsupport
