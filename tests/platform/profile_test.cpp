#include "platform/codepage.h"
#include "platform/library.h"
#include "platform/profile.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryDir>

using namespace platform;

namespace {

QByteArray readAll(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

} // namespace

TEST(Profile, KeysAndSectionsIgnoreCaseAndKeepTheirSpellingWhenRewritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("tazu.INI"));
    writeAll(path,
             "; kept comment\r\n[TForm1]\r\nJ6Isize=0\r\nTop = 12 \r\n\r\n[Other]\r\nx=1\r\n");

    Profile p(path);
    EXPECT_FALSE(p.readBool(QStringLiteral("tform1"), QStringLiteral("J6ISize"), true));
    EXPECT_EQ(p.readInteger(QStringLiteral("TFORM1"), QStringLiteral("top"), 0), 12);
    p.writeBool(QStringLiteral("TForm1"), QStringLiteral("J6ISize"), true);
    p.writeInteger(QStringLiteral("TForm1"), QStringLiteral("Left"), -3);
    p.writeString(QStringLiteral("New"), QStringLiteral("Key"), QStringLiteral("v"));
    ASSERT_TRUE(p.save());

    EXPECT_EQ(readAll(path), QByteArray("; kept comment\r\n[TForm1]\r\nJ6Isize=1\r\nTop = 12 \r\n"
                                        "Left=-3\r\n\r\n[Other]\r\nx=1\r\n[New]\r\nKey=v\r\n"));
}

TEST(Profile, IntegersReadLikeTheToolkitAndBadOnesGiveTheDefault) {
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        {"42", 42},         {" -7 ", -7},
        {"+5", 5},          {"$1F", 31},
        {"0x10", 16},       {"", 99},
        {"12abc", 99},      {"abc", 99},
        {"1.5", 99},        {"2147483647", INT32_MAX},
        {"2147483648", 99}, {"-2147483648", INT32_MIN},
        {"$FFFFFFFF", -1},  {"\"17\"", 17},
        {"１２", 99}, // full-width digits are not a number
    };
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.INI"));
    QByteArray content = "[S]\r\n";
    for (size_t i = 0; i < std::size(cases); ++i)
        content += "k" + QByteArray::number(qulonglong(i)) + "=" +
                   toCp932(QString::fromUtf8(cases[i].text)) + "\r\n";
    writeAll(path, content);
    Profile p(path);
    for (size_t i = 0; i < std::size(cases); ++i)
        EXPECT_EQ(p.readInteger(QStringLiteral("S"), QStringLiteral("k%1").arg(i), 99),
                  cases[i].expected)
            << cases[i].text;
    // Booleans: any integer but 0 is true; a non-number gives the default.
    EXPECT_TRUE(p.readBool(QStringLiteral("S"), QStringLiteral("k0"), false));
    EXPECT_TRUE(p.readBool(QStringLiteral("S"), QStringLiteral("k7"), true));
    EXPECT_FALSE(p.readBool(QStringLiteral("S"), QStringLiteral("missing"), false));
}

TEST(Profile, StoresJapaneseKeysAndValuesInCodePage932) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.INI"));
    {
        Profile p(path);
        p.writeInteger(QStringLiteral("PRNSET"), QStringLiteral("上下余白"), 10);
        p.writeString(QStringLiteral("PRNSET"), QStringLiteral("FontName"),
                      QStringLiteral("ＭＳ Ｐゴシック"));
        ASSERT_TRUE(p.save());
    }
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.contains(toCp932(QStringLiteral("上下余白=10\r\n"))));
    Profile again(path);
    EXPECT_EQ(again.readInteger(QStringLiteral("prnset"), QStringLiteral("上下余白"), 0), 10);
    EXPECT_EQ(again.readString(QStringLiteral("PRNSET"), QStringLiteral("fontname"), {}),
              QStringLiteral("ＭＳ Ｐゴシック"));
}

TEST(Profile, EveryValueReadsBackAsItWasWritten) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.INI"));
    const QStringList values{QStringLiteral("/pictures/café"),
                             QStringLiteral("/旅行〜2024"),
                             QStringLiteral("/写真−1"),
                             QStringLiteral("ＭＳ Ｐゴシック"),
                             QStringLiteral("ｶﾒﾗ"),
                             QStringLiteral(" blanks "),
                             QStringLiteral("\"in quotes\""),
                             QStringLiteral("'single'")};
    {
        Profile p(path);
        for (qsizetype i = 0; i < values.size(); ++i)
            p.writeString(QStringLiteral("S"), QStringLiteral("k%1").arg(i), values[i]);
        p.writeString(QStringLiteral("S"), QStringLiteral("k0"), QStringLiteral("two\nlines"));
        ASSERT_TRUE(p.save());
    }
    const QByteArray bytes = readAll(path);
    EXPECT_TRUE(bytes.contains("k0=/pictures/caf\xC3\xA9\r\n")) << "UTF-8, as in the memo file";
    EXPECT_TRUE(bytes.contains("k3=" + toCp932(values[3]) + "\r\n"));
    const Profile again(path);
    for (qsizetype i = 0; i < values.size(); ++i)
        EXPECT_EQ(again.readString(QStringLiteral("S"), QStringLiteral("k%1").arg(i), {}),
                  values[i]);
}

TEST(Profile, AFailedSaveLeavesTheOldFileAndUnknownBytesSurvive) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("t.INI"));
    // Bytes that are not valid code page 932 in a line the program never touches.
    writeAll(path, "[A]\r\nraw=\x88\x20\xFF\r\n[B]\r\nk=1\r\n");
    {
        Profile p(path);
        p.writeInteger(QStringLiteral("B"), QStringLiteral("k"), 2);
        ASSERT_TRUE(p.save());
    }
    EXPECT_EQ(readAll(path), QByteArray("[A]\r\nraw=\x88\x20\xFF\r\n[B]\r\nk=2\r\n"));

    // Where the file cannot be written, save() says so.
    const QString blocker = dir.filePath(QStringLiteral("file"));
    writeAll(blocker, "x");
    Profile unwritable(blocker + QStringLiteral("/t.INI"));
    unwritable.writeInteger(QStringLiteral("B"), QStringLiteral("k"), 3);
    EXPECT_FALSE(unwritable.save());

    // Something far too large to be a settings file is read as empty and never replaced.
    const QString huge = dir.filePath(QStringLiteral("huge.INI"));
    writeAll(huge, "[B]\r\nk=1\r\n" + QByteArray(9 * 1024 * 1024, ';'));
    Profile big(huge);
    EXPECT_EQ(big.readInteger(QStringLiteral("B"), QStringLiteral("k"), 0), 0);
    big.writeInteger(QStringLiteral("B"), QStringLiteral("k"), 3);
    EXPECT_FALSE(big.save());
    EXPECT_EQ(QFileInfo(huge).size(), 9 * 1024 * 1024 + 10);
}

TEST(Profile, MissingFileReadsAsDefaultsAndSaveCreatesFolders) {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("sub/tazu/tazu.INI"));
    Profile p(path);
    EXPECT_EQ(p.readInteger(QStringLiteral("TForm1"), QStringLiteral("Hitone"), 2550), 2550);
    EXPECT_EQ(p.readString(QStringLiteral("TForm1"), QStringLiteral("Directory"), {}), QString());
    p.writeString(QStringLiteral("TForm1"), QStringLiteral("Directory"), QStringLiteral("/x"));
    ASSERT_TRUE(p.save());
    EXPECT_EQ(readAll(path), QByteArray("[TForm1]\r\nDirectory=/x\r\n"));
}

TEST(Profile, SettingsFileLocation) {
    const QByteArray saved = qgetenv("TAZU_INI");
    qputenv("TAZU_INI", "/somewhere/forced.INI");
    EXPECT_EQ(settingsFilePath(), QStringLiteral("/somewhere/forced.INI"));
    qunsetenv("TAZU_INI");
    // The test program's folder is writable: the file sits beside it, named after it.
    const QString beside =
        QCoreApplication::applicationDirPath() + QStringLiteral("/platform_tests.INI");
    EXPECT_EQ(settingsFilePath(), beside);
    qputenv("TAZU_INI", saved);
}

// An installed program keeps its settings in the user's configuration folder, even in a prefix
// it may write to, unless a settings file already lies beside it.
TEST(Profile, AnInstalledProgramKeepsItsSettingsInTheUsersConfiguration) {
    QTemporaryDir root;
    const QString bin = root.filePath(QStringLiteral("usr/bin"));
    ASSERT_TRUE(QDir().mkpath(bin));
    const QString beside = bin + QStringLiteral("/tazu.INI");
    EXPECT_EQ(settingsFilePathFor(bin, QStringLiteral("tazu")), beside) << "a build folder";

    ASSERT_TRUE(QDir().mkpath(installedPluginFolder(bin)));
    const QString configured =
        QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
        QStringLiteral("/tazu/tazu.INI");
    EXPECT_EQ(settingsFilePathFor(bin, QStringLiteral("tazu")), configured);

    QFile existing(beside);
    ASSERT_TRUE(existing.open(QIODevice::WriteOnly));
    existing.close();
    EXPECT_EQ(settingsFilePathFor(bin, QStringLiteral("tazu")), beside);
}
