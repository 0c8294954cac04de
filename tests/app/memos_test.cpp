#include "app/mainstate.h"
#include "app/memos.h"
#include "tests/support/jpegmaker.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <csignal>
#include <sys/resource.h>

namespace {

class MemosTest : public ::testing::Test {
protected:
    void SetUp() override { MemoDirty = false; }

    // The listing of names with room for their memos, as the main window prepares it.
    MemoListing listing(const QStringList& names) {
        Memos = QStringList(names.size() + CellsPerPage + 1);
        return {dir_.path(), names, int(names.size())};
    }
    void writeMemoFile(const QByteArray& bytes) {
        ASSERT_TRUE(testsupport::writeFile(memoFilePath(dir_.path()), bytes));
    }
    QByteArray memoFile() const {
        QFile f(memoFilePath(dir_.path()));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }

    QTemporaryDir dir_;
};

TEST_F(MemosTest, AHandWrittenFileLoadsAndSavesBackByteForByte) {
    // Half-width katakana, ① and ～ (NEC extension and 0x8160), a memo of exactly 40 bytes, a
    // pair whose memo bytes are not code page 932, and a file that is not listed.
    const QByteArray file = "DSC00001.J6I\r\n\xB6\xD2\xD7\x81\x60\x87\x40\r\n"
                            "DSC00002.J6I\r\n" +
                            QByteArray(38, 'x') + "\x82\xA0\r\n" +
                            "DSC00003.J6I\r\nbad \x85\x40 byte\r\n"
                            "OTHER.BMP\r\nkept\r\n";
    writeMemoFile(file);
    const MemoListing l = listing({"DSC00001.J6I", "DSC00002.J6I", "DSC00003.J6I"});
    EXPECT_EQ(LoadMemos(l), MemoFileState::Read);
    EXPECT_EQ(Memos[0], QStringLiteral("ｶﾒﾗ～①"));
    EXPECT_EQ(Memos[1], QString(38, 'x') + QStringLiteral("あ"));
    EXPECT_TRUE(Memos[2].startsWith("bad "));
    MemoDirty = true;
    ASSERT_TRUE(SaveMemos(l));
    EXPECT_FALSE(MemoDirty);
    EXPECT_EQ(memoFile(), file);
}

TEST_F(MemosTest, LoadingCopesWithWhatFilesReallyContain) {
    const QStringList names{"a.jpg", "B.JPG", "c.jpg", "d.jpg"};
    struct Case {
        QByteArray file;
        QStringList memos; // of the four files
    } cases[] = {
        // LF alone, a name in another case, an unlisted name, an odd last line.
        {"A.JPG\nfirst\nnot-here.jpg\nskipped\nb.jpg\nsecond\nc.jpg", {"first", "second", "", ""}},
        // An empty last line, a memo cut at 40 bytes without halving the double-byte character
        // that stands across the limit.
        {"c.jpg\r\n" + QByteArray(39, 'y') + "\x82\xA2z\r\n\r\n", {"", "", QString(39, 'y'), ""}},
        {"", {"", "", "", ""}},
    };
    for (const Case& c : cases) {
        writeMemoFile(c.file);
        const MemoListing l = listing(names);
        MemoDirty = true;
        EXPECT_EQ(LoadMemos(l), MemoFileState::Read);
        EXPECT_FALSE(MemoDirty);
        EXPECT_EQ(Memos.mid(0, 4), c.memos) << c.file.constData();
    }
    // Only the files that take part get memos: d.jpg beyond fileCount does not.
    writeMemoFile("d.jpg\r\nlate\r\n");
    MemoListing l = listing(names);
    l.fileCount = 3;
    LoadMemos(l);
    EXPECT_TRUE(Memos[3].isEmpty());
}

TEST_F(MemosTest, ARewriteKeepsEveryOtherFilesMemo) {
    writeMemoFile(
        "a.jpg\r\nold a\r\nz.bmp\r\nother type\r\nb.jpg\r\nold b\r\nlate.jpg\r\nlate\r\n");
    // late.jpg is listed but beyond the files taking part; é cannot be written in code page 932.
    MemoListing l = listing({"a.jpg", "b.jpg", "é.jpg", "late.jpg"});
    l.fileCount = 3;
    ASSERT_EQ(LoadMemos(l), MemoFileState::Read);
    Memos[0].clear();
    Memos[1] = QStringLiteral("新しい");
    Memos[2] = QStringLiteral("utf-8 name");
    ASSERT_TRUE(SaveMemos(l));
    EXPECT_EQ(memoFile(), "b.jpg\r\n\x90V\x82\xB5\x82\xA2\r\n"
                          "\xC3\xA9.jpg\r\nutf-8 name\r\n"
                          "z.bmp\r\nother type\r\nlate.jpg\r\nlate\r\n");

    // The name written as UTF-8 is found again.
    listing(l.names);
    ASSERT_EQ(LoadMemos(l), MemoFileState::Read);
    EXPECT_EQ(Memos[2], QStringLiteral("utf-8 name"));
}

// Linux lets A.JPG and a.jpg stand in one folder: each keeps its own memo, and a name in
// another case goes to the one of them that no pair names exactly.
TEST_F(MemosTest, NamesThatDifferOnlyInCaseKeepTheirOwnMemos) {
    writeMemoFile("A.JPG\r\nupper\r\na.jpg\r\nlower\r\n");
    MemoListing l = listing({"A.JPG", "a.jpg"});
    ASSERT_EQ(LoadMemos(l), MemoFileState::Read);
    EXPECT_EQ(Memos.mid(0, 2), QStringList({"upper", "lower"}));
    Memos[1] = QStringLiteral("changed");
    ASSERT_TRUE(SaveMemos(l));
    EXPECT_EQ(memoFile(), "A.JPG\r\nupper\r\na.jpg\r\nchanged\r\n");

    writeMemoFile("a.JPG\r\nmixed\r\nA.JPG\r\nupper\r\n");
    listing(l.names);
    ASSERT_EQ(LoadMemos(l), MemoFileState::Read);
    EXPECT_EQ(Memos.mid(0, 2), QStringList({"upper", "mixed"}));
    ASSERT_TRUE(SaveMemos(l));
    EXPECT_EQ(memoFile(), "A.JPG\r\nupper\r\na.jpg\r\nmixed\r\n");

    // With a.jpg beyond the files taking part its pair is no memo of A.JPG and is kept.
    writeMemoFile("A.JPG\r\nupper\r\na.jpg\r\nlower\r\n");
    l.fileCount = 1;
    listing(l.names);
    ASSERT_EQ(LoadMemos(l), MemoFileState::Read);
    EXPECT_EQ(Memos[0], QStringLiteral("upper"));
    Memos[0] = QStringLiteral("new");
    ASSERT_TRUE(SaveMemos(l));
    EXPECT_EQ(memoFile(), "A.JPG\r\nnew\r\na.jpg\r\nlower\r\n");
}

TEST_F(MemosTest, AMemoFileThatCannotBeReadIsNeitherLoadedNorReplaced) {
    ASSERT_TRUE(QDir(dir_.path()).mkdir("tazu.txt"));
    const MemoListing l = listing({"a.jpg"});
    Memos[0] = QStringLiteral("typed");
    EXPECT_EQ(LoadMemos(l), MemoFileState::Unreadable);
    EXPECT_EQ(Memos[0], QStringLiteral("typed"));
    MemoDirty = true;
    EXPECT_FALSE(SaveMemos(l));
    EXPECT_TRUE(MemoDirty);

    MemoListing missing = l;
    missing.folder = dir_.filePath("no-such-folder");
    EXPECT_EQ(LoadMemos(missing), MemoFileState::Missing);
    EXPECT_FALSE(SaveMemos(missing));
    EXPECT_TRUE(MemoDirty);
}

TEST_F(MemosTest, ASaveThatFailsHalfWayLeavesTheOldFileWhole) {
    const QByteArray old = "a.jpg\r\nthe old memo\r\n";
    writeMemoFile(old);
    QStringList names;
    for (int i = 0; i < 200; ++i)
        names << QStringLiteral("picture%1.jpg").arg(i);
    const MemoListing l = listing(names);
    for (int i = 0; i < 200; ++i)
        Memos[i] = QString(40, 'm');

    // Files may not grow beyond 4 KB for a moment: the write fails after about a tenth of the
    // new file, with EFBIG rather than the signal.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &saved), 0);
    rlimit small = saved;
    small.rlim_cur = 4096;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    MemoDirty = true;
    const bool saved_ = SaveMemos(l);
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, previousHandler);

    EXPECT_FALSE(saved_);
    EXPECT_TRUE(MemoDirty);
    EXPECT_EQ(memoFile(), old);
    EXPECT_EQ(QDir(dir_.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"tazu.txt"});
}

} // namespace
