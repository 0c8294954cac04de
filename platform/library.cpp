#include "platform/library.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <dlfcn.h>
#include <utility>

namespace platform {

QStringList librarySearchFolders() {
    const QString program = QCoreApplication::applicationDirPath();
    QStringList folders{program};
    const QString extra = qEnvironmentVariable("TAZU_PLUGIN_PATH");
    for (const QString& folder : extra.split(u':', Qt::SkipEmptyParts))
        folders << folder;
    folders << installedPluginFolder(program);
    const QString configured = QStringLiteral(TAZU_INSTALLED_PLUGIN_DIR);
    if (folders.back() != configured)
        folders << configured;
    return folders;
}

QString installedPluginFolder(const QString& programFolder) {
    return QDir::cleanPath(programFolder + u'/' + QStringLiteral(TAZU_PLUGIN_DIR_FROM_PROGRAM));
}

bool runsInstalled(const QString& programFolder) {
    return QFileInfo(installedPluginFolder(programFolder)).isDir();
}

QString findLibrary(const QString& name) {
    if (name.isEmpty())
        return {};
    if (name.contains(u'/'))
        return QFileInfo(name).absoluteFilePath();
    for (const QString& folder : librarySearchFolders()) {
        const QFileInfo candidate(QDir(folder), name);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

Library::Library(const QString& name) {
    const QString path = findLibrary(name);
    if (path.isEmpty()) {
        error_ = QStringLiteral("%1: not found").arg(name);
        return;
    }
    // dlopen with an absolute path: with a bare name it would not search the program's folder.
    handle_ = dlopen(QFile::encodeName(path).constData(), RTLD_NOW | RTLD_LOCAL);
    if (!handle_)
        error_ = QString::fromLocal8Bit(dlerror());
}

Library::~Library() {
    free();
}

Library::Library(Library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

Library& Library::operator=(Library&& other) noexcept {
    if (this != &other) {
        free();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
    }
    return *this;
}

quintptr Library::handleValue() const {
    return reinterpret_cast<quintptr>(handle_);
}

void* Library::rawSymbol(const char* name) const {
    return handle_ ? dlsym(handle_, name) : nullptr;
}

void Library::free() {
    if (handle_)
        dlclose(std::exchange(handle_, nullptr));
}

} // namespace platform
