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

// Names a Linux file system allows but code page 932 cannot hold, or gives back as a look-alike
// (U+301C WAVE DASH and U+2212 MINUS SIGN), are kept in UTF-8 and read back as they were; names
// it holds stay in code page 932 for other programs.
TEST(Codepage, TextCodePage932CannotHoldIsKeptInUtf8) {
    for (const QString& name :
         {QStringLiteral("café"), QStringLiteral("旅行〜2024"), QStringLiteral("写真−1")}) {
        const QByteArray bytes = toCp932OrUtf8(name);
        EXPECT_EQ(bytes, name.toUtf8()) << name.toStdString();
        EXPECT_EQ(cp932OrUtf8Readings(bytes).front(), name) << name.toStdString();
    }
    for (const QString& name : {QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("ｶﾒﾗ～①")}) {
        const QByteArray bytes = toCp932OrUtf8(name);
        EXPECT_EQ(bytes, toCp932(name)) << name.toStdString();
        EXPECT_EQ(cp932OrUtf8Readings(bytes), QStringList{name}) << name.toStdString();
    }
    // UTF-8 written by another program for a name code page 932 could hold is one reading.
    EXPECT_TRUE(cp932OrUtf8Readings(QStringLiteral("写真.jpg").toUtf8())
                    .contains(QStringLiteral("写真.jpg")));
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
