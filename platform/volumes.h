// Drives are the mounted volumes with real file systems. A drive is ready when its total size
// can be read; "the drive of a path" is the volume that holds it and its root is that volume's
// root folder.
//
// The file system root "/" always counts as a volume, even where the mount table does not list
// it (a chroot, some containers): there every folder lies on it.
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

// The mount points the kernel lists for this process, whatever their file systems.
QStringList mountPoints();
// The mount points of a mount table in the form of /proc/self/mountinfo.
QStringList mountPointsOf(const QByteArray& mountInfo);

// True when the total size of the volume holding path can be read.
bool isVolumeReady(const QString& path);

// Root of the volume that holds path among the mount points: the longest of them that path,
// or for a path that does not exist its nearest existing ancestor (through links), lies in;
// "/" when none of them holds it.
QString volumeRootOf(const QString& path, const QStringList& mounts);
// The same among mountPoints().
QString volumeRootOf(const QString& path);

// True when path is on a volume that is not mounted now (a card taken out): path does not
// exist, it lies inside one of the folders removable volumes are mounted in (/media,
// /run/media, /mnt), and no mount point at or inside that folder holds it. A folder removed from
// a volume that is still mounted there is not such a path.
bool isOnMissingVolume(const QString& path, const QStringList& mounts);
// The same among mountPoints().
bool isOnMissingVolume(const QString& path);

} // namespace platform
