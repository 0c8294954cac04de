#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>

using namespace platform;

namespace {

TEST(Volumes, TheMountTableIsReadWithItsEscapes) {
    const QByteArray table = "22 27 0:21 / /proc rw,relatime - proc proc rw\n"
                             "27 1 254:0 / / rw,relatime - ext4 /dev/vda rw\n"
                             "60 27 8:17 / /media/user/MY\\040CARD rw - vfat /dev/sdb1 rw\n"
                             "\n";
    EXPECT_EQ(mountPointsOf(table),
              QStringList({"/proc", "/", QStringLiteral("/media/user/MY CARD")}));
}

// A chroot or a container may list no mount for "/": every path then lies on the root, and the
// root is ready as any other volume.
TEST(Volumes, TheRootIsTheVolumeOfWhatNoListedMountHolds) {
    QTemporaryDir dir;
    const QString base = QDir(dir.path()).canonicalPath();
    ASSERT_TRUE(QDir(base).mkpath(QStringLiteral("card/DCIM")));
    const QStringList withoutRoot{QStringLiteral("/proc"), QStringLiteral("/sys")};
    EXPECT_EQ(volumeRootOf(base, withoutRoot), QStringLiteral("/"));
    EXPECT_EQ(volumeRootOf(base, {}), QStringLiteral("/"));
    EXPECT_TRUE(isVolumeReady(QStringLiteral("/")));

    // The longest mount point that holds the path wins, for paths that are gone as well; a
    // mount point is not a prefix of a name ("card" does not hold "cards").
    const QStringList mounts{QStringLiteral("/"), base, base + QStringLiteral("/card")};
    EXPECT_EQ(volumeRootOf(base + QStringLiteral("/card/DCIM"), mounts), base + "/card");
    EXPECT_EQ(volumeRootOf(base + QStringLiteral("/card/gone/deeper"), mounts), base + "/card");
    EXPECT_EQ(volumeRootOf(base + QStringLiteral("/cards"), mounts), base);

    EXPECT_FALSE(isVolumeReady(QString()));
    EXPECT_FALSE(isVolumeReady(base + QStringLiteral("/no/such/volume")));
}

} // namespace
