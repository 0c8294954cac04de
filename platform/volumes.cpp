#include "platform/volumes.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStorageInfo>

#include <algorithm>
#include <sys/statvfs.h>

namespace platform {

namespace {

// Kernel and memory file systems are not drives a user keeps pictures on.
bool isRealFileSystem(const QStorageInfo& info) {
    static const QList<QByteArray> pseudo{
        "proc",       "sysfs",     "devtmpfs", "devpts",  "cgroup",      "cgroup2",
        "securityfs", "pstore",    "debugfs",  "tracefs", "configfs",    "bpf",
        "mqueue",     "hugetlbfs", "fusectl",  "autofs",  "binfmt_misc", "rpc_pipefs",
        "nsfs",       "squashfs",  "overlay",  "efivarfs"};
    return info.isValid() && info.isReady() && !pseudo.contains(info.fileSystemType());
}

// Where removable volumes (cards, sticks) are mounted.
const QStringList RemovablePlaces{QStringLiteral("/media"), QStringLiteral("/run/media"),
                                  QStringLiteral("/mnt")};

// True when folder is path or holds it.
bool holds(const QString& folder, const QString& path) {
    return folder == QLatin1String("/") || path == folder ||
           path.startsWith(folder + QLatin1Char('/'));
}

// path made absolute and clean, its nearest existing ancestor through links: where the path is,
// or would be, in the file system.
QString resolvedPath(const QString& path) {
    QString existing = QDir::cleanPath(QDir(path).absolutePath());
    QString rest;
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/")) {
        const QFileInfo info(existing);
        rest = QLatin1Char('/') + info.fileName() + rest;
        existing = info.path();
    }
    const QString real = QFileInfo(existing).canonicalFilePath();
    const QString base = real.isEmpty() ? existing : real;
    return base == QLatin1String("/") && !rest.isEmpty() ? rest : base + rest;
}

// "\040" and the like in a mount point of the mount table stand for the byte of that octal
// value (a blank, a tab, a line end, a backslash).
QByteArray unescapedMountPoint(const QByteArray& field) {
    const auto octal = [](char c) { return c >= '0' && c <= '7'; };
    QByteArray out;
    for (qsizetype i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && octal(field[i + 1]) &&
            octal(field[i + 2]) && octal(field[i + 3])) {
            out.append(
                char((field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0')));
            i += 3;
            continue;
        }
        out.append(field[i]);
    }
    return out;
}

} // namespace

QList<Volume> mountedVolumes() {
    QList<Volume> volumes;
    for (const QStorageInfo& info : QStorageInfo::mountedVolumes()) {
        if (!isRealFileSystem(info))
            continue;
        const QString name = info.displayName();
        volumes.push_back({info.rootPath(), name == info.rootPath() ? name
                                                                    : QStringLiteral("%1 [%2]").arg(
                                                                          info.rootPath(), name)});
    }
    std::sort(volumes.begin(), volumes.end(),
              [](const Volume& a, const Volume& b) { return a.root < b.root; });
    return volumes;
}

QStringList mountPointsOf(const QByteArray& mountInfo) {
    QStringList points;
    // Each line: id, parent id, device, root within its file system, mount point, ...
    for (const QByteArray& line : mountInfo.split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        if (fields.size() > 4)
            points.push_back(QFile::decodeName(unescapedMountPoint(fields[4])));
    }
    return points;
}

QStringList mountPoints() {
    QFile table(QStringLiteral("/proc/self/mountinfo"));
    return table.open(QIODevice::ReadOnly) ? mountPointsOf(table.readAll()) : QStringList();
}

bool isVolumeReady(const QString& path) {
    // Asked of the file system itself rather than of the mount table, which may lack the volume
    // (the root of a chroot).
    struct statvfs info {};
    return !path.isEmpty() && statvfs(QFile::encodeName(path).constData(), &info) == 0 &&
           info.f_blocks > 0;
}

QString volumeRootOf(const QString& path, const QStringList& mounts) {
    const QString where = resolvedPath(path);
    QString root = QStringLiteral("/");
    for (const QString& mount : mounts) {
        const QString clean = QDir::cleanPath(mount);
        if (clean.size() > root.size() && holds(clean, where))
            root = clean;
    }
    return root;
}

QString volumeRootOf(const QString& path) {
    return volumeRootOf(path, mountPoints());
}

bool isOnMissingVolume(const QString& path, const QStringList& mounts) {
    if (path.isEmpty() || QFileInfo::exists(path))
        return false;
    const QString where = resolvedPath(path);
    const QString root = volumeRootOf(path, mounts);
    for (const QString& place : RemovablePlaces)
        if (where.startsWith(place + QLatin1Char('/')))
            return !holds(place, root);
    return false;
}

bool isOnMissingVolume(const QString& path) {
    return isOnMissingVolume(path, mountPoints());
}

} // namespace platform
