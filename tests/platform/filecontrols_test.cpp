#include "platform/filecontrols.h"
#include "platform/volumes.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <sys/stat.h>

using namespace platform;

namespace {

void touch(const QString& path) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly)) << path.toStdString();
}

// Paths of the items after the current one: the sub-folders.
QStringList subFolders(const DirectoryListBox& box) {
    QStringList paths;
    for (int i = box.currentRow() + 1; i < box.count(); ++i)
        paths.push_back(box.item(i)->data(Qt::UserRole).toString());
    return paths;
}

} // namespace

TEST(FileListBox, ListsMatchingRegularFilesWithoutRegardToCase) {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    for (const char* name : {"B.JPG", "a.jpg", "A.jpg", "c.jpeg", "ajpg", "d.J6I", ".hidden.jpg"})
        touch(dir.filePath(QString::fromLatin1(name)));
    ASSERT_TRUE(dir.mkdir(QStringLiteral("folder.jpg")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("a.jpg")), dir.filePath("link.jpg")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("gone")), dir.filePath("broken.jpg")));
    ASSERT_TRUE(QFile::link(dir.filePath(QStringLiteral("folder.jpg")), dir.filePath("dir.jpg")));
    ASSERT_EQ(::mkfifo(QFile::encodeName(dir.filePath("pipe.jpg")).constData(), 0600), 0);

    FileListBox files;
    files.setMask(QStringLiteral("*.JPG; *.j6i"));
    files.setDirectory(tmp.path() + QStringLiteral("/"));
    EXPECT_EQ(files.directory(), QDir::cleanPath(tmp.path()));
    EXPECT_EQ(files.items(), QStringList({"A.jpg", "a.jpg", "B.JPG", "d.J6I", "link.jpg"}));
    EXPECT_EQ(files.indexOf(QStringLiteral("B.jpg")), 2);
    EXPECT_EQ(files.indexOf(QStringLiteral("c.jpeg")), -1);
    EXPECT_EQ(files.item(5), QString());

    for (const char* every : {"*", ""}) {
        files.setMask(QString::fromLatin1(every));
        EXPECT_EQ(files.items(),
                  QStringList({"A.jpg", "a.jpg", "ajpg", "B.JPG", "c.jpeg", "d.J6I", "link.jpg"}))
            << every;
    }

    files.setDirectory(dir.filePath(QStringLiteral("missing")));
    EXPECT_EQ(files.count(), 0);
}

TEST(FilterComboBox, ReadsPairsOfDescriptionAndMasks) {
    FilterComboBox box;
    QSignalSpy chosen(&box, &FilterComboBox::filterChosen);
    box.setFilter(QStringLiteral("JPEG|*.jpg;*.jpeg|全て|*|dropped"));
    ASSERT_EQ(box.count(), 2);
    EXPECT_EQ(box.itemText(1), QStringLiteral("全て"));
    EXPECT_EQ(box.itemIndex(), 0);
    EXPECT_EQ(box.mask(), QStringLiteral("*.jpg;*.jpeg"));
    box.setItemIndex(1);
    EXPECT_EQ(box.mask(), QStringLiteral("*"));
    box.setItemIndex(2);
    EXPECT_EQ(box.itemIndex(), 0);
    EXPECT_EQ(chosen.count(), 0);

    box.setFilter(QString());
    EXPECT_EQ(box.itemIndex(), -1);
    EXPECT_EQ(box.mask(), QString());
}

TEST(DriveComboBox, ShowsARootItIsGivenWithoutReportingIt) {
    DriveComboBox box;
    QSignalSpy chosen(&box, &DriveComboBox::driveChosen);
    const QString root = QStringLiteral("/no/such/volume");
    box.setDrive(root);
    EXPECT_EQ(box.drive(), root);
    EXPECT_EQ(chosen.count(), 0);
}

TEST(DirectoryListBox, ShowsThePathAndSortedSubFoldersAndFollowsActivation) {
    QTemporaryDir tmp;
    const QDir dir(tmp.path());
    for (const char* name : {"top/B", "top/a", "top/c", "top/.hidden"})
        ASSERT_TRUE(dir.mkpath(QString::fromLatin1(name)));
    touch(dir.filePath(QStringLiteral("top/file")));
    const QString top = QDir::cleanPath(dir.filePath(QStringLiteral("top")));

    DirectoryListBox box;
    QSignalSpy changed(&box, &DirectoryListBox::changed);
    box.setDirectory(top + QStringLiteral("/./"));
    EXPECT_EQ(box.directory(), top);
    EXPECT_EQ(changed.count(), 1);
    box.setDirectory(top);
    EXPECT_EQ(changed.count(), 1);

    ASSERT_GT(box.count(), 0);
    EXPECT_EQ(box.item(0)->data(Qt::UserRole).toString(), volumeRootOf(top));
    ASSERT_NE(box.currentItem(), nullptr);
    EXPECT_TRUE(box.currentItem()->isSelected());
    EXPECT_EQ(box.currentItem()->data(Qt::UserRole).toString(), top);
    EXPECT_EQ(subFolders(box), QStringList({top + "/a", top + "/B", top + "/c"}));

    // Enter on a sub-folder opens it; activating the current folder again reports it without
    // changing it.
    box.setCurrentRow(box.currentRow() + 2);
    QTest::keyClick(&box, Qt::Key_Return);
    EXPECT_EQ(box.directory(), top + QStringLiteral("/B"));
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(subFolders(box), QStringList());
    emit box.itemActivated(box.currentItem());
    EXPECT_EQ(box.directory(), top + QStringLiteral("/B"));
    EXPECT_EQ(changed.count(), 3);

    // A folder that is not there still shows its path, down to itself.
    box.setDirectory(top + QStringLiteral("/gone"));
    ASSERT_NE(box.currentItem(), nullptr);
    EXPECT_EQ(box.currentItem()->data(Qt::UserRole).toString(), top + QStringLiteral("/gone"));
    EXPECT_EQ(subFolders(box), QStringList());
}
