#include "tests/support/spiloader.h"

#include <QFile>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

namespace testsupport {
namespace {

// Frees a block the plug-in handed over unless it is taken.
struct OwnedBlock {
    SpiHandle handle;
    ~OwnedBlock() { SpiBlockFree(handle); }
    SpiHandle take() { return std::exchange(handle, nullptr); }
};

} // namespace

Dib::~Dib() {
    free();
}

Dib::Dib(Dib&& other) noexcept
    : info_(std::exchange(other.info_, nullptr)), bits_(std::exchange(other.bits_, nullptr)),
      header_(std::exchange(other.header_, nullptr)),
      pixels_(std::exchange(other.pixels_, nullptr)) {}

Dib& Dib::operator=(Dib&& other) noexcept {
    if (this != &other) {
        free();
        info_ = std::exchange(other.info_, nullptr);
        bits_ = std::exchange(other.bits_, nullptr);
        header_ = std::exchange(other.header_, nullptr);
        pixels_ = std::exchange(other.pixels_, nullptr);
    }
    return *this;
}

void Dib::free() {
    info_ = SpiBlockFree(info_);
    bits_ = SpiBlockFree(bits_);
    header_ = nullptr;
    pixels_ = nullptr;
}

const SpiBitmapInfoHeader& Dib::header() const {
    static const SpiBitmapInfoHeader none{};
    return header_ ? *header_ : none;
}

size_t Dib::stride() const {
    return size_t((int64_t(width()) * bitCount() + 31) / 32 * 4);
}

std::span<const SpiRgbQuad> Dib::palette() const {
    if (!header_)
        return {};
    const auto* table = reinterpret_cast<const SpiRgbQuad*>(
        reinterpret_cast<const uint8_t*>(header_) + header_->biSize);
    return {table, header_->biClrUsed};
}

QRgb Dib::paletteColour(int i) const {
    const std::span<const SpiRgbQuad> table = palette();
    if (i < 0 || size_t(i) >= table.size())
        throw std::out_of_range("index " + std::to_string(i) + " beyond the colour table");
    return qRgb(table[size_t(i)].rgbRed, table[size_t(i)].rgbGreen, table[size_t(i)].rgbBlue);
}

const uint8_t* Dib::at(int x, int y) const {
    const int storedRow = height() > 0 ? height() - 1 - y : y;
    return pixels_ + size_t(storedRow) * stride() + size_t(x) * size_t(bitCount() / 8);
}

QRgb Dib::colour(int x, int y) const {
    const uint8_t* p = at(x, y);
    if (bitCount() == 24)
        return qRgb(p[2], p[1], p[0]);
    return paletteColour(*p);
}

SpiPlugin::SpiPlugin(const QString& fileName, FaultReporter reportFault)
    : library_(fileName), reportFault_(std::move(reportFault)) {
    if (!library_.isLoaded())
        throw std::runtime_error("cannot load " + fileName.toStdString() + ": " +
                                 library_.errorText().toStdString());
    const auto required = [this](auto& function, const char* name) {
        function = library_.symbol<std::remove_reference_t<decltype(function)>>(name);
        if (!function)
            throw std::runtime_error(std::string("plug-in lacks ") + name);
    };
    required(getPluginInfo, "GetPluginInfo");
    required(isSupported, "IsSupported");
    required(getPictureInfo, "GetPictureInfo");
    required(getPicture, "GetPicture");
    getPreview = library_.symbol<GetPreviewFunc>("GetPreview");
    getPictureScaled = library_.symbol<GetPictureScaledFunc>("GetPictureScaled");
}

void SpiPlugin::fault(const std::string& what) const {
    if (!reportFault_)
        throw InterfaceFault(what);
    reportFault_(what);
}

std::string SpiPlugin::pluginInfo(int32_t number, int32_t bufferSize) const {
    // Filled with a non-zero byte, so that a missing NUL shows.
    std::string buffer(size_t(std::max(bufferSize, 0)), '\x7f');
    const int32_t length = getPluginInfo(number, buffer.data(), bufferSize);
    if (length < 0 || (length > 0 && length >= bufferSize)) {
        fault("GetPluginInfo(" + std::to_string(number) + ") returned " + std::to_string(length) +
              " for a buffer of " + std::to_string(bufferSize));
        return {};
    }
    if (length > 0 && buffer[size_t(length)] != '\0')
        fault("GetPluginInfo(" + std::to_string(number) + ") wrote no NUL after its text");
    buffer.resize(size_t(length));
    return buffer;
}

bool SpiPlugin::supports(const QByteArray& fileStart) const {
    QByteArray head = fileStart.left(SPI_IS_SUPPORTED_HEAD_SIZE);
    head.append(QByteArray(SPI_IS_SUPPORTED_HEAD_SIZE - head.size(), '\0'));
    return isSupported("picture", head.constData()) != 0;
}

int32_t SpiPlugin::describe(const QByteArray& bytes, PictureDescription& out) const {
    return describeInput(bytes.constData(), int32_t(bytes.size()), SPI_INPUT_MEMORY, out);
}

int32_t SpiPlugin::describeFile(const QString& path, int32_t offset,
                                PictureDescription& out) const {
    return describeInput(QFile::encodeName(path).constData(), offset, SPI_INPUT_FILE, out);
}

int32_t SpiPlugin::describeInput(const char* buf, int32_t len, uint32_t flag,
                                 PictureDescription& out) const {
    out = PictureDescription{};
    PictureInfo info{};
    const int32_t result = getPictureInfo(buf, len, flag, &info);
    // PictureInfo is packed: copy the handle out rather than bind a reference to it.
    OwnedBlock text{SpiHandle(info.hInfo)};
    if (result != SPI_SUCCESS) {
        if (text.handle)
            fault("a failed GetPictureInfo handed over a text block");
        return result;
    }
    if (const char* bytes = static_cast<const char*>(SpiBlockLock(text.handle))) {
        const size_t size = SpiBlockSize(text.handle);
        out.text.assign(bytes, strnlen(bytes, size));
        if (out.text.size() == size)
            fault("GetPictureInfo's text is not NUL-terminated");
    } else {
        fault("GetPictureInfo gave no text block");
    }
    out.info = info;
    out.info.hInfo = nullptr;
    return result;
}

int32_t SpiPlugin::decode(const QByteArray& bytes, Dib& out, Call call,
                          SpiProgressCallback progress, int32_t lData) const {
    return decodeInput(bytes.constData(), int32_t(bytes.size()), SPI_INPUT_MEMORY, out, call,
                       progress, lData);
}

int32_t SpiPlugin::decodeFile(const QString& path, int32_t offset, Dib& out, Call call,
                              SpiProgressCallback progress, int32_t lData) const {
    return decodeInput(QFile::encodeName(path).constData(), offset, SPI_INPUT_FILE, out, call,
                       progress, lData);
}

int32_t SpiPlugin::decodeInput(const char* buf, int32_t len, uint32_t flag, Dib& out, Call call,
                               SpiProgressCallback progress, int32_t lData) const {
    out.free();
    switch (call) {
    case Call::Picture:
        return takeDecoded("GetPicture", out, [&](SpiHandle* info, SpiHandle* bits) {
            return getPicture(buf, len, flag, info, bits, progress, lData);
        });
    case Call::Preview:
        if (!getPreview)
            return SPI_NOT_IMPLEMENTED;
        return takeDecoded("GetPreview", out, [&](SpiHandle* info, SpiHandle* bits) {
            return getPreview(buf, len, flag, info, bits, progress, lData);
        });
    case Call::Scaled:
        break;
    }
    if (!getPictureScaled)
        return SPI_NOT_IMPLEMENTED;
    return takeDecoded("GetPictureScaled", out, [&](SpiHandle* info, SpiHandle* bits) {
        return getPictureScaled(buf, len, flag, 1, 1, info, bits, progress, lData);
    });
}

int32_t SpiPlugin::decodeScaled(const QByteArray& bytes, int32_t minWidth, int32_t minHeight,
                                Dib& out) const {
    out.free();
    if (!getPictureScaled)
        return SPI_NOT_IMPLEMENTED;
    return takeDecoded("GetPictureScaled", out, [&](SpiHandle* info, SpiHandle* bits) {
        return getPictureScaled(bytes.constData(), int32_t(bytes.size()), SPI_INPUT_MEMORY,
                                minWidth, minHeight, info, bits, nullptr, 0);
    });
}

int32_t SpiPlugin::decodeScaledFile(const QString& path, int32_t offset, int32_t minWidth,
                                    int32_t minHeight, Dib& out) const {
    out.free();
    if (!getPictureScaled)
        return SPI_NOT_IMPLEMENTED;
    const QByteArray name = QFile::encodeName(path);
    return takeDecoded("GetPictureScaled", out, [&](SpiHandle* info, SpiHandle* bits) {
        return getPictureScaled(name.constData(), offset, SPI_INPUT_FILE, minWidth, minHeight, info,
                                bits, nullptr, 0);
    });
}

int32_t SpiPlugin::takeDecoded(const char* name, Dib& out,
                               const std::function<int32_t(SpiHandle*, SpiHandle*)>& decode) const {
    SpiHandle infoHandle = nullptr;
    SpiHandle bitsHandle = nullptr;
    const int32_t result = decode(&infoHandle, &bitsHandle);
    OwnedBlock info{infoHandle};
    OwnedBlock bits{bitsHandle};
    if (result != SPI_SUCCESS) {
        if (info.handle || bits.handle)
            fault(std::string("a failed ") + name + " handed over a block");
        return result;
    }
    const auto* header = static_cast<const SpiBitmapInfoHeader*>(SpiBlockLock(info.handle));
    const auto* pixels = static_cast<const uint8_t*>(SpiBlockLock(bits.handle));
    if (!header || !pixels || SpiBlockSize(info.handle) < sizeof(SpiBitmapInfoHeader)) {
        fault(name + std::string(" succeeded without two usable blocks"));
        return SPI_OTHER_ERROR;
    }
    if (header->biWidth < 0) {
        fault(name + std::string(" gave a negative width"));
        return SPI_OTHER_ERROR;
    }
    const size_t paletteBytes = size_t(header->biClrUsed) * sizeof(SpiRgbQuad);
    const size_t stride = size_t((int64_t(header->biWidth) * header->biBitCount + 31) / 32 * 4);
    const size_t pixelBytes = stride * size_t(std::abs(int64_t(header->biHeight)));
    if (SpiBlockSize(info.handle) < header->biSize + paletteBytes ||
        SpiBlockSize(bits.handle) < pixelBytes) {
        fault(name + std::string("'s blocks are smaller than their header says"));
        return SPI_OTHER_ERROR;
    }
    // Blocks never move: the pointers stay valid as long as the Dib holds the blocks.
    out.info_ = info.take();
    out.bits_ = bits.take();
    out.header_ = header;
    out.pixels_ = pixels;
    return result;
}

} // namespace testsupport
