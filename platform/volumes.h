// Drives are the mounted volumes with real file systems. A drive is ready when its total size
// can be read; "the drive of a path" is the volume that holds it and its root is that volume's
// root folder.
#pragma once

#include <QString>
#include <QStringList>

namespace platform {

struct Volume {
    QString root;        // the mount point, e.g. "/" or "/media/card"
    QString displayName; // what a drive list shows
};

// Mounted volumes with a real file system, ordered by root.
QList<Volume> mountedVolumes();

// True when the total size of the volume holding path can be read.
bool isVolumeReady(const QString& path);

// Root of the volume that holds path, or for a path that does not exist its nearest existing
// ancestor ("/" when it cannot be told).
QString volumeRootOf(const QString& path);

} // namespace platform
