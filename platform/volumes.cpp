#include "platform/volumes.h"

#include <QDir>
#include <QFileInfo>
#include <QStorageInfo>
#include <algorithm>

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

bool isVolumeReady(const QString& path) {
    if (path.isEmpty())
        return false;
    const QStorageInfo info(path);
    return info.isValid() && info.isReady() && info.bytesTotal() > 0;
}

QString volumeRootOf(const QString& path) {
    // A folder that no longer exists lies on the volume of its nearest existing ancestor.
    QString existing = QDir::cleanPath(QDir(path).absolutePath());
    while (!QFileInfo::exists(existing) && existing != QLatin1String("/"))
        existing = QFileInfo(existing).path();
    const QStorageInfo info(existing);
    return info.isValid() ? info.rootPath() : QStringLiteral("/");
}

} // namespace platform
