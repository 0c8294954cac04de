#include "imaging/j6i.h"
#include "platform/checked.h"
#include "tests/support/jpegmaker.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace testsupport;

namespace {

QString writeBytes(const QTemporaryDir& dir, const QString& name, const QByteArray& bytes) {
    const QString path = dir.filePath(name);
    EXPECT_TRUE(writeFile(path, bytes));
    return path;
}

} // namespace

TEST(J6IHeader, ReadsOffsetDateTimeAndOrientation) {
    QTemporaryDir dir;
    J6iOptions options;
    options.shot = {96, 12, 1, 9, 30, 5};
    options.orientation = 3;
    options.headerLength = 512;
    const QString path = writeBytes(dir, QStringLiteral("a.J6I"), makeJ6i(options));

    EXPECT_EQ(J6IDataOffset(path), 512);
    const J6IInfo info = ReadJ6IInfo(path);
    EXPECT_EQ(j6iDateText(info), QStringLiteral("96/12/01"));
    EXPECT_EQ(j6iTimeText(info), QStringLiteral("09:30:05"));
    EXPECT_EQ(info.orientation, 3);
}

TEST(J6IHeader, ShortFilesAndHugeOffsetsAbandonTheRead) {
    QTemporaryDir dir;
    QByteArray sixty(60, '\0');
    sixty[58] = 0x02; // 00 00 02 00 at bytes 56..59
    const QString exact = writeBytes(dir, QStringLiteral("60.J6I"), sixty);
    EXPECT_EQ(J6IDataOffset(exact), 512);
    EXPECT_THROW(ReadJ6IInfo(exact), platform::IoError);

    EXPECT_THROW(J6IDataOffset(writeBytes(dir, QStringLiteral("59.J6I"), QByteArray(59, '\0'))),
                 platform::IoError);
    EXPECT_THROW(J6IDataOffset(dir.filePath(QStringLiteral("missing.J6I"))), platform::IoError);

    QByteArray huge(60, '\0');
    huge[56] = char(0x80);
    EXPECT_THROW(J6IDataOffset(writeBytes(dir, QStringLiteral("big.J6I"), huge)),
                 platform::OverflowError);
    huge[56] = 0x7F;
    huge[57] = huge[58] = huge[59] = char(0xFF);
    EXPECT_EQ(J6IDataOffset(writeBytes(dir, QStringLiteral("max.J6I"), huge)), INT32_MAX);
}
