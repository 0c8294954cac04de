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

TEST(Volumes, AFolderOnACardThatIsNotMountedIsOnAMissingVolume) {
    const QString card = QStringLiteral("/media/tazu-test-user/NO-SUCH-CARD");
    const QString dcim = card + QStringLiteral("/DCIM");
    const QStringList rootOnly{QStringLiteral("/")};
    EXPECT_TRUE(isOnMissingVolume(dcim, rootOnly));
    EXPECT_FALSE(isOnMissingVolume(dcim, {QStringLiteral("/"), card})) << "a folder gone from it";
    // /run is a memory file system of its own on most systems: not the card's volume.
    EXPECT_TRUE(isOnMissingVolume(QStringLiteral("/run/media/tazu-test-user/CARD/DCIM"),
                                  {QStringLiteral("/"), QStringLiteral("/run")}));
    EXPECT_TRUE(isOnMissingVolume(QStringLiteral("/mnt/tazu-test-card/DCIM"), rootOnly));
    EXPECT_FALSE(isOnMissingVolume(QStringLiteral("/mnt/tazu-test-card/DCIM"),
                                   {QStringLiteral("/"), QStringLiteral("/mnt")}))
        << "a disk mounted on /mnt itself";
    EXPECT_FALSE(isOnMissingVolume(QStringLiteral("/tazu-test-no-such-folder/DCIM"), rootOnly));
    EXPECT_FALSE(isOnMissingVolume(QString(), rootOnly));
    // A folder that exists is never on a missing volume, wherever it lies.
    QTemporaryDir dir;
    EXPECT_FALSE(isOnMissingVolume(dir.path(), rootOnly));
}

} // namespace
