#include "tests/support/spiloader.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>

#include <cstring>
#include <stdexcept>

namespace testsupport {
namespace {

template <typename Function> Function lookUp(void* library, const char* name, bool required) {
    void* symbol = dlsym(library, name);
    if (!symbol && required)
        throw std::runtime_error(std::string("plug-in lacks ") + name);
    return reinterpret_cast<Function>(symbol);
}

// Frees a block the plug-in handed over, whatever the test does with it.
struct OwnedBlock {
    SpiHandle handle;
    ~OwnedBlock() { SpiBlockFree(handle); }
};

} // namespace

const uint8_t* Dib::at(int x, int y) const {
    const size_t row = size_t(height() - 1 - y);
    return reinterpret_cast<const uint8_t*>(pixels.constData()) + row * stride() +
           size_t(x) * size_t(bitCount() / 8);
}

QRgb Dib::colour(int x, int y) const {
    const uint8_t* p = at(x, y);
    if (bitCount() == 24)
        return qRgb(p[2], p[1], p[0]);
    const SpiRgbQuad& entry = palette.at(*p);
    return qRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
}

::testing::AssertionResult showsPicture(const Dib& dib, const QImage& expected) {
    if (dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure()
               << "size " << dib.width() << "x" << dib.height() << ", expected " << expected.width()
               << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.colour(x, y) != (expected.pixel(x, y) | 0xff000000u))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << std::hex
                       << dib.colour(x, y) << " instead of " << expected.pixel(x, y);
    return ::testing::AssertionSuccess();
}

::testing::AssertionResult holdsIndices(const Dib& dib, const QImage& expected) {
    if (dib.bitCount() != 8 || dib.width() != expected.width() || dib.height() != expected.height())
        return ::testing::AssertionFailure()
               << dib.bitCount() << "-bit " << dib.width() << "x" << dib.height()
               << ", expected 8-bit " << expected.width() << "x" << expected.height();
    for (int y = 0; y < expected.height(); ++y)
        for (int x = 0; x < expected.width(); ++x)
            if (dib.index(x, y) != expected.pixelIndex(x, y))
                return ::testing::AssertionFailure()
                       << "first difference at (" << x << ", " << y << "): " << dib.index(x, y)
                       << " instead of " << expected.pixelIndex(x, y);
    return ::testing::AssertionSuccess();
}

SpiPlugin::SpiPlugin(const QString& fileName) {
    QString path;
    for (const QString& folder : qEnvironmentVariable("TAZU_PLUGIN_PATH").split(QLatin1Char(':'))) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (!folder.isEmpty() && candidate.isFile()) {
            path = candidate.absoluteFilePath();
            break;
        }
    }
    if (path.isEmpty())
        throw std::runtime_error("plug-in not found in TAZU_PLUGIN_PATH: " +
                                 fileName.toStdString());
    library_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!library_)
        throw std::runtime_error(std::string("dlopen failed: ") + dlerror());
    try {
        getPluginInfo = lookUp<GetPluginInfoFunc>(library_, "GetPluginInfo", true);
        isSupported = lookUp<IsSupportedFunc>(library_, "IsSupported", true);
        getPictureInfo = lookUp<GetPictureInfoFunc>(library_, "GetPictureInfo", true);
        getPicture = lookUp<GetPictureFunc>(library_, "GetPicture", true);
        getPreview = lookUp<GetPreviewFunc>(library_, "GetPreview", false);
    } catch (...) {
        dlclose(library_);
        throw;
    }
}

SpiPlugin::~SpiPlugin() {
    dlclose(library_);
}

std::string SpiPlugin::pluginInfo(int32_t number) const {
    char text[256] = {};
    const int32_t length = getPluginInfo(number, text, int32_t(sizeof text));
    return std::string(text, size_t(std::max(length, 0)));
}

bool SpiPlugin::supports(const QByteArray& fileStart) const {
    QByteArray head = fileStart.left(SPI_IS_SUPPORTED_HEAD_SIZE);
    head.append(QByteArray(SPI_IS_SUPPORTED_HEAD_SIZE - head.size(), '\0'));
    return isSupported("picture", head.constData()) != 0;
}

int32_t SpiPlugin::collectInfo(int32_t result, PictureInfo& info, PictureDescription& out) const {
    // PictureInfo is packed: copy the handle out rather than bind a reference to it.
    OwnedBlock text{SpiHandle(info.hInfo)};
    if (result != SPI_SUCCESS) {
        EXPECT_EQ(text.handle, nullptr) << "a failed GetPictureInfo handed over a block";
        return result;
    }
    EXPECT_NE(text.handle, nullptr) << "GetPictureInfo gave no information block";
    if (const char* bytes = static_cast<const char*>(SpiBlockLock(text.handle))) {
        const size_t size = SpiBlockSize(text.handle);
        out.text.assign(bytes, strnlen(bytes, size));
        EXPECT_LT(out.text.size(), size) << "information text is not NUL-terminated";
        SpiBlockUnlock(text.handle);
    }
    out.info = info;
    out.info.hInfo = nullptr;
    return result;
}

int32_t SpiPlugin::describe(const QByteArray& bytes, PictureDescription& out) const {
    PictureInfo info{};
    const int32_t result =
        getPictureInfo(bytes.constData(), int32_t(bytes.size()), SPI_INPUT_MEMORY, &info);
    return collectInfo(result, info, out);
}

int32_t SpiPlugin::describeFile(const QString& path, int32_t offset,
                                PictureDescription& out) const {
    PictureInfo info{};
    const int32_t result =
        getPictureInfo(QFile::encodeName(path).constData(), offset, SPI_INPUT_FILE, &info);
    return collectInfo(result, info, out);
}

int32_t SpiPlugin::collectDib(int32_t result, SpiHandle infoBlock, SpiHandle pixelBlock,
                              Dib& out) const {
    OwnedBlock info{infoBlock};
    OwnedBlock pixels{pixelBlock};
    if (result != SPI_SUCCESS) {
        EXPECT_EQ(infoBlock, nullptr) << "a failed GetPicture handed over an information block";
        EXPECT_EQ(pixelBlock, nullptr) << "a failed GetPicture handed over a pixel block";
        return result;
    }
    const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(info.handle));
    const auto* bits = static_cast<const char*>(SpiBlockLock(pixels.handle));
    if (!header || !bits || SpiBlockSize(info.handle) < sizeof(SpiBitmapInfoHeader)) {
        ADD_FAILURE() << "GetPicture succeeded without two usable blocks";
        return SPI_OTHER_ERROR;
    }
    out = Dib{};
    std::memcpy(&out.header, header, sizeof out.header);
    const size_t paletteBytes = size_t(out.header.biClrUsed) * sizeof(SpiRgbQuad);
    const size_t pixelBytes = out.stride() * size_t(std::max(out.height(), 0));
    if (SpiBlockSize(info.handle) < out.header.biSize + paletteBytes ||
        SpiBlockSize(pixels.handle) < pixelBytes) {
        ADD_FAILURE() << "GetPicture's blocks are smaller than their header says";
        return SPI_OTHER_ERROR;
    }
    const auto* table = reinterpret_cast<const SpiRgbQuad*>(reinterpret_cast<const char*>(header) +
                                                            out.header.biSize);
    out.palette.assign(table, table + out.header.biClrUsed);
    out.pixels = QByteArray(bits, qsizetype(pixelBytes));
    SpiBlockUnlock(info.handle);
    SpiBlockUnlock(pixels.handle);
    return result;
}

int32_t SpiPlugin::decode(const QByteArray& bytes, Dib& out, SpiProgressCallback progress,
                          int32_t lData) const {
    SpiHandle info = nullptr;
    SpiHandle pixels = nullptr;
    const int32_t result = getPicture(bytes.constData(), int32_t(bytes.size()), SPI_INPUT_MEMORY,
                                      &info, &pixels, progress, lData);
    return collectDib(result, info, pixels, out);
}

int32_t SpiPlugin::decodeFile(const QString& path, int32_t offset, Dib& out) const {
    SpiHandle info = nullptr;
    SpiHandle pixels = nullptr;
    const int32_t result = getPicture(QFile::encodeName(path).constData(), offset, SPI_INPUT_FILE,
                                      &info, &pixels, nullptr, 0);
    return collectDib(result, info, pixels, out);
}

} // namespace testsupport
