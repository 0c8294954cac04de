#include "tests/support/pluginloader.h"

#include <QDir>
#include <QFileInfo>
#include <QtGlobal>

#include <cstdlib>

#include <dlfcn.h>

namespace testsupport {

LoadedPlugin::LoadedPlugin(const QString& fileName) {
    const QStringList folders =
        qEnvironmentVariable("TAZU_PLUGIN_PATH").split(QLatin1Char(':'), Qt::SkipEmptyParts);
    for (const QString& folder : folders) {
        const QFileInfo candidate(QDir(folder), fileName);
        if (!candidate.isFile())
            continue;
        handle_ = dlopen(QFile::encodeName(candidate.absoluteFilePath()).constData(),
                         RTLD_NOW | RTLD_LOCAL);
        if (!handle_)
            error_ = QString::fromLocal8Bit(dlerror());
        return;
    }
    error_ = QStringLiteral("%1 not found in TAZU_PLUGIN_PATH (%2)")
                 .arg(fileName, folders.join(QLatin1Char(':')));
}

LoadedPlugin::~LoadedPlugin() {
    if (handle_)
        dlclose(handle_);
}

void* LoadedPlugin::symbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

DecodedDib::~DecodedDib() {
    SpiBlockFree(info_);
    SpiBlockFree(bits_);
}

SpiHandle* DecodedDib::infoOut() {
    info_ = SpiBlockFree(info_);
    return &info_;
}

SpiHandle* DecodedDib::bitsOut() {
    bits_ = SpiBlockFree(bits_);
    return &bits_;
}

// Blocks never move, so a pointer taken under a lock stays valid after the unlock.
static const void* bytesOf(SpiHandle block) {
    const void* bytes = SpiBlockLock(block);
    SpiBlockUnlock(block);
    if (!bytes)
        qFatal("DecodedDib: no block to read");
    return bytes;
}

const SpiBitmapInfoHeader& DecodedDib::header() const {
    return *static_cast<const SpiBitmapInfoHeader*>(bytesOf(info_));
}

const SpiRgbQuad* DecodedDib::palette() const {
    return reinterpret_cast<const SpiRgbQuad*>(&header() + 1);
}

size_t DecodedDib::stride() const {
    return size_t((int64_t(header().biWidth) * header().biBitCount + 31) / 32 * 4);
}

const uint8_t* DecodedDib::row(int y) const {
    const int h = height();
    const int stored = h > 0 ? h - 1 - y : y;
    return static_cast<const uint8_t*>(bytesOf(bits_)) + size_t(stored) * stride();
}

QRgb DecodedDib::pixel(int x, int y) const {
    const uint8_t* p = row(y);
    if (header().biBitCount == 8) {
        const SpiRgbQuad& entry = palette()[p[x]];
        return qRgb(entry.rgbRed, entry.rgbGreen, entry.rgbBlue);
    }
    p += 3 * x;
    return qRgb(p[2], p[1], p[0]);
}

} // namespace testsupport
