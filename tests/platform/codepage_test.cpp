#include "platform/codepage.h"

#include <gtest/gtest.h>

using namespace platform;

TEST(Codepage, RoundTripsTheCharactersThatPlainShiftJisLoses) {
    struct Case {
        QString text;
        QByteArray bytes;
    };
    const Case cases[] = {
        {QStringLiteral("ﾀﾞｲｱﾛｸﾞ"), QByteArray("\xC0\xDE\xB2\xB1\xDB\xB8\xDE")},
        {QStringLiteral("①"), QByteArray("\x87\x40")},
        {QStringLiteral("～"), QByteArray("\x81\x60")},
        {QStringLiteral("印刷設定 abc"), QByteArray("\x88\xF3\x8D\xFC\x90\xDD\x92\xE8 abc")},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(toCp932(c.text), c.bytes) << c.text.toStdString();
        EXPECT_EQ(fromCp932(c.bytes), c.text) << c.text.toStdString();
        EXPECT_EQ(cp932Length(c.text), c.bytes.size());
    }
}

TEST(Codepage, UnmappableAndInvalidInputDegradesWithoutLoss) {
    // Characters code page 932 lacks become one '?' each, surrogate pairs included.
    EXPECT_EQ(toCp932(QStringLiteral("a€b😀c")), QByteArray("a?b?c"));
    // A lone lead byte at the end, and a lead byte with an impossible trail byte.
    EXPECT_EQ(fromCp932(QByteArray("ab\x88")), QStringLiteral("ab\uFFFD"));
    EXPECT_EQ(fromCp932(QByteArray("\x88\x20x")).back(), u'x');
}

TEST(Codepage, CutsNeverSplitADoubleByteCharacter) {
    // 39 ASCII bytes and then a double-byte character: 40 bytes cannot hold it whole.
    const QString memo = QString(39, u'a') + QStringLiteral("メモ");
    EXPECT_EQ(cutToCp932Bytes(memo, 40), QString(39, u'a'));
    EXPECT_EQ(cutToCp932Bytes(memo, 41), QString(39, u'a') + QStringLiteral("メ"));
    EXPECT_EQ(cutToCp932Bytes(QStringLiteral("ﾒﾓ"), 1), QStringLiteral("ﾒ")); // half-width kana
    EXPECT_EQ(cutToCp932Bytes(QStringLiteral("short"), 40), QStringLiteral("short"));

    const QByteArray bytes = toCp932(memo);
    EXPECT_EQ(cutCp932(bytes, 40).size(), 39);
    EXPECT_EQ(cutCp932(bytes, 41).size(), 41);
    EXPECT_EQ(cutCp932(bytes, 0), QByteArray());
}
