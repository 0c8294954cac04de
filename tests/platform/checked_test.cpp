#include "platform/checked.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

using namespace platform;

TEST(Checked, ArithmeticThrowsExactlyWhenTheResultLeavesInt32) {
    EXPECT_EQ(checkedAdd(INT32_MAX - 1, 1), INT32_MAX);
    EXPECT_THROW(checkedAdd(INT32_MAX, 1), OverflowError);
    EXPECT_EQ(checkedSub(INT32_MIN + 1, 1), INT32_MIN);
    EXPECT_THROW(checkedSub(INT32_MIN, 1), OverflowError);
    EXPECT_EQ(checkedMul(46340, 46340), 2147395600);
    EXPECT_THROW(checkedMul(46341, 46341), OverflowError);
    EXPECT_THROW(checkedMul(-1, INT32_MIN), OverflowError);
    EXPECT_EQ(checkedNarrow(INT32_MIN), INT32_MIN);
    EXPECT_THROW(checkedNarrow(int64_t(INT32_MAX) + 1), OverflowError);
}

TEST(Checked, InputFileReadsExactlyOrThrows) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ten.bin"));
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("0123456789");
    }
    InputFile in(path);
    EXPECT_EQ(in.size(), 10);
    in.skip(2);
    EXPECT_EQ(in.read(3), QByteArray("234"));
    in.seek(8);
    EXPECT_EQ(in.read(2), QByteArray("89"));
    EXPECT_THROW(in.read(1), IoError);
    in.seek(5);
    try {
        in.read(6);
        FAIL() << "a short read must throw";
    } catch (const IoError& e) {
        EXPECT_EQ(e.path(), path);
        EXPECT_TRUE(e.text().endsWith(QStringLiteral(" [%1]").arg(path)));
    }
    EXPECT_THROW(InputFile(dir.filePath(QStringLiteral("missing"))), IoError);
}
