#include "app/Tazu.h"
#include "app/memos.h"
#include "app/startup.h"
#include "correction/hilite.h"
#include "correction/settings.h"
#include "imaging/all.h"
#include "platform/filecontrols.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "platform/volumes.h"
#include "printing/prn1.h"
#include "printing/prnchu.h"
#include "tests/support/answerer.h"
#include "tests/support/jpegmaker.h"
#include "tests/support/settingsfile.h"
#include "tests/support/testdata.h"
#include "tests/support/typing.h"
#include "viewer/Gfull.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <functional>

using platform::MessageAnswer;
using testsupport::RecordingAnswerer;

namespace {

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override {
        ini_ = settings_.path();
        folder_ = QDir::cleanPath(pictures_.path());
        MemoAutoSave = false;
    }
    void TearDown() override { ShutDown(); }

    // Starts the program in folder with the given extra settings lines.
    void start(const QString& folder, const QByteArray& settings = {}) {
        QFile f(ini_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write("[TForm1]\r\nDirectory=" + QFile::encodeName(folder) + "\r\n" + settings);
        f.close();
        ASSERT_TRUE(StartUp());
    }

    void makeFile(const QString& name, const QByteArray& bytes = {}) {
        ASSERT_TRUE(testsupport::writeFile(pictures_.filePath(name), bytes));
    }
    void makeJpeg(const QString& name, int width, int height) {
        makeFile(name, testsupport::makeJpeg(testsupport::makePhotoLikePicture(width, height)));
    }

    template <typename T> static T* control(const QString& name) {
        T* c = Form1->findChild<T*>(name);
        EXPECT_NE(c, nullptr) << qPrintable(name);
        return c;
    }
    static QString nameShown(int cell) {
        return control<QLabel>(QStringLiteral("Label%1").arg(cell + 12))->text();
    }
    static QPushButton* selectionButton(int cell) {
        return control<QPushButton>(QStringLiteral("BitBtn%1").arg(cell + 1));
    }
    static QLineEdit* memoField(int cell) {
        return control<QLineEdit>(QStringLiteral("Edit%1").arg(cell + 2));
    }
    static QSpinBox* copiesBox(int cell) {
        return control<QSpinBox>(QStringLiteral("SpinEdit%1").arg(cell + 1));
    }
    QByteArray memoFileOf(const QString& folder) const {
        QFile f(folder + QStringLiteral("/tazu.txt"));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(none)");
    }
    static TAll* thumbnail(int cell) { return control<TAll>(QStringLiteral("ls%1").arg(cell)); }
    static QString counter() { return Form1->Label27->text(); }
    // The names in the file-type list, in its order.
    static QStringList fileTypeNames() {
        QStringList names;
        for (int i = 0; i < Form1->FilterComboBox1->count(); ++i)
            names.append(Form1->FilterComboBox1->itemText(i));
        return names;
    }
    // Lists the folder's files of the file type at index, as choosing it in the list does.
    static void chooseFileType(qsizetype index) {
        Form1->FilterComboBox1->setItemIndex(int(index));
        Form1->FilterComboBox1Change();
    }
    // Copies shared test pictures (paths under the test data folder) into the picture folder.
    void copyTestPictures(std::initializer_list<const char*> files) {
        for (const char* file : files)
            ASSERT_TRUE(QFile::copy(testsupport::testdataDir() + u'/' + QLatin1String(file),
                                    pictures_.filePath(QFileInfo(QLatin1String(file)).fileName())))
                << file;
    }
    // Each of the named file types lists one file of the folder; the last type, every picture
    // file, lists them all.
    static void expectOneFileOfEachType(std::initializer_list<const char*> types) {
        const QStringList names = fileTypeNames();
        for (const char* type : types) {
            ASSERT_TRUE(names.contains(QLatin1String(type))) << type;
            chooseFileType(names.indexOf(QLatin1String(type)));
            EXPECT_EQ(FileCount, 1) << type;
        }
        chooseFileType(names.size() - 1);
        ASSERT_EQ(FileCount, int(types.size()));
    }

    QTemporaryDir pictures_;
    testsupport::ScopedSettingsFile settings_;
    QString ini_;
    QString folder_;
};

TEST_F(MainWindowTest, AnEmptyFolderIsOnePageOfEmptyCells) {
    start(folder_);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder_);
    EXPECT_EQ(FileCount, 0);
    EXPECT_EQ(counter(), QStringLiteral(" 1/ 1"));
    EXPECT_FALSE(Form1->tugibt->isEnabled());
    EXPECT_FALSE(Form1->maebt->isEnabled());
    for (int i = 0; i < CellsPerPage; ++i) {
        EXPECT_TRUE(selectionButton(i)->isHidden());
        EXPECT_TRUE(control<QSpinBox>(QStringLiteral("SpinEdit%1").arg(i + 1))->isHidden());
        EXPECT_TRUE(nameShown(i).isEmpty());
    }
}

TEST_F(MainWindowTest, OnlyTheFirst500FilesTakePartAndPageByPage) {
    for (int i = 0; i < 600; ++i)
        makeFile(QString::asprintf("p%03d.%s", i, i % 2 ? "JPG" : "jpg"));
    makeFile(QStringLiteral(".hidden.jpg"));
    makeFile(QStringLiteral("notes.txt"));
    ASSERT_TRUE(QDir(folder_).mkdir(QStringLiteral("folder.jpg")));
    start(folder_);

    EXPECT_EQ(FileCount, 500);
    EXPECT_EQ(counter(), QStringLiteral(" 1/63"));
    EXPECT_EQ(nameShown(0), QStringLiteral("p000.jpg"));
    EXPECT_EQ(nameShown(7), QStringLiteral("p007.JPG"));
    EXPECT_EQ(selectionButton(0)->text(), QStringLiteral("印刷非選択"));
    EXPECT_TRUE(Form1->tugibt->isEnabled());
    EXPECT_FALSE(Form1->maebt->isEnabled());

    for (int page = 1; page < 63; ++page)
        Form1->tugibtClick();
    EXPECT_EQ(PageTop, 496);
    EXPECT_EQ(counter(), QStringLiteral("63/63"));
    EXPECT_EQ(nameShown(0), QStringLiteral("p496.jpg"));
    EXPECT_EQ(nameShown(3), QStringLiteral("p499.JPG"));
    EXPECT_TRUE(nameShown(4).isEmpty());
    EXPECT_FALSE(selectionButton(3)->isHidden());
    EXPECT_TRUE(selectionButton(4)->isHidden());
    EXPECT_FALSE(Form1->tugibt->isEnabled());
    EXPECT_TRUE(Form1->maebt->isEnabled());
    Form1->tugibtClick(); // beyond the last page: nothing changes
    EXPECT_EQ(PageTop, 496);

    // The last page works like any other.
    Form1->BitBtnClick(3);
    EXPECT_TRUE(Selected[499]);
    EXPECT_EQ(Form1->Label26->text(), QStringLiteral("  1枚"));
    memoField(3)->setText(QStringLiteral("last"));
    EXPECT_EQ(Memos[499], QStringLiteral("last"));

    Form1->maebtClick();
    EXPECT_EQ(counter(), QStringLiteral("62/63"));
    EXPECT_EQ(Form1->PagePaths[1], folder_ + QStringLiteral("/p489.JPG"));
}

TEST_F(MainWindowTest, ThumbnailsAreFittedAndABrokenPictureLeavesOnlyItsCellEmpty) {
    makeJpeg(QStringLiteral("a.jpg"), 640, 400);
    makeJpeg(QStringLiteral("b.jpg"), 360, 480);
    ASSERT_TRUE(testsupport::makePhotoLikePicture(100, 90).save(pictures_.filePath("c.bmp")));
    makeFile(QStringLiteral("d.j6i"), testsupport::makeJ6i());
    makeFile(QStringLiteral("e.jpg"), QByteArray(500, 'x'));
    makeFile(QStringLiteral("f.j6i"), testsupport::makeJ6i().left(30));
    for (const char* name : {"g.jpg", "h.jpg", "i.jpg"})
        makeJpeg(QString::fromLatin1(name), 64, 48);
    start(folder_);
    RecordingAnswerer answers;
    // The last file type lists every picture file.
    chooseFileType(Form1->FilterComboBox1->count() - 1);
    ASSERT_EQ(FileCount, 9);
    for (int i = 0; i < CellsPerPage; ++i)
        EXPECT_FALSE(thumbnail(i)->hasPicture()) << "no decoding before the button";

    Form1->Button2Click();
    EXPECT_TRUE(Form1->ThumbsShown);
    EXPECT_EQ(thumbnail(0)->geometry(), QRect(27, 168, 100, 62));
    EXPECT_EQ(thumbnail(1)->geometry(), QRect(191, 159, 60, 80));
    EXPECT_EQ(thumbnail(2)->geometry(), QRect(315, 159, 100, 80));
    EXPECT_EQ(thumbnail(3)->geometry(), QRect(459, 161, 100, 75)); // J6I as 4:3
    EXPECT_FALSE(thumbnail(4)->hasPicture());
    EXPECT_FALSE(thumbnail(5)->hasPicture());
    EXPECT_TRUE(thumbnail(6)->hasPicture());
    EXPECT_TRUE(control<QLabel>("Label18")->isHidden());
    EXPECT_EQ(answers.messages.size(), 2u) << qPrintable(answers.texts().join('\n'));

    Form1->tugibtClick();
    EXPECT_TRUE(thumbnail(0)->hasPicture());
    EXPECT_EQ(thumbnail(0)->pictureName(), folder_ + QStringLiteral("/i.jpg"));
    EXPECT_FALSE(thumbnail(1)->hasPicture());

    Form1->Button2Click(); // names again: nothing is decoded
    EXPECT_FALSE(thumbnail(0)->hasPicture());
    EXPECT_EQ(nameShown(0), QStringLiteral("i.jpg"));
}

// Pictures of older computers, read by their own plug-ins, are offered as file types and shown
// by the proportions of their dots: a 640 × 200 MAG of tall dots as 640 × 400, an X68000 PIC of
// 512 × 512 wide dots as 4:3.
TEST_F(MainWindowTest, MagPiAndPicPicturesAreListedAndShownWithSquareDots) {
    TAZU_REQUIRE_TESTDATA();
    copyTestPictures({"retro/MAG/MG_L200.MAG", "retro/PI/MG_T16.PI", "retro/PIC/PL_GEN512.PIC"});
    start(folder_);
    RecordingAnswerer answers;
    const QStringList names = fileTypeNames();
    const qsizetype mag = names.indexOf(QStringLiteral("MAG"));
    ASSERT_GT(mag, names.indexOf(QStringLiteral("GIF"))) << qPrintable(names.join(','));
    EXPECT_EQ(names.mid(mag, 3), QStringList({"MAG", "PI", "PIC"}));
    EXPECT_EQ(names.back(), QStringLiteral("すべての画像ﾌｧｲﾙ"));
    expectOneFileOfEachType({"MAG", "PI", "PIC"});

    Form1->Button2Click();
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
    EXPECT_EQ(thumbnail(0)->picture().size(), QSize(640, 400)) << "MG_L200.MAG";
    EXPECT_EQ(thumbnail(0)->geometry(), QRect(27, 168, 100, 62));
    EXPECT_EQ(thumbnail(1)->picture().size(), QSize(640, 400)) << "MG_T16.PI";
    EXPECT_EQ(thumbnail(2)->picture().size(), QSize(682, 512)) << "PL_GEN512.PIC";
    EXPECT_EQ(thumbnail(2)->geometry(), QRect(315, 161, 100, 75));

    Form1->show();
    Form1->CellDblClick(0);
    ASSERT_TRUE(Form2->isVisible());
    EXPECT_EQ(Form2->All1->picture().size(), QSize(640, 400));
    Form2->close();
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

// A phone's HEIC photograph, a PNG and a WebP photograph stored on its side: listed by their
// file types, shown as thumbnails (the HEIC upright by its own rotation, the WebP turned by its
// EXIF orientation) and opened in the viewer.
TEST_F(MainWindowTest, HeicPngAndWebpPicturesAreListedShownAndOpened) {
    TAZU_REQUIRE_TESTDATA();
    copyTestPictures({"heic/arrow.heic", "png/basn2c08.png", "webp/Nikon_Coolpix_P7000.webp"});
    start(folder_);
    RecordingAnswerer answers;
    expectOneFileOfEachType({"HEIC", "PNG", "WEBP"});

    Form1->Button2Click();
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
    // In name order: arrow.heic (3024 × 4032 as shown), basn2c08.png (32 × 32), the Nikon WebP
    // (3648 × 2736 stored, tall when turned).
    const QSize arrow = thumbnail(0)->picture().size();
    EXPECT_EQ(arrow, QSize(756, 1008)) << "a quarter, from the picture";
    EXPECT_LT(thumbnail(0)->geometry().width(), thumbnail(0)->geometry().height());
    EXPECT_EQ(thumbnail(1)->picture().size(), QSize(32, 32)) << "no preview: the whole picture";
    EXPECT_LT(thumbnail(2)->picture().width(), thumbnail(2)->picture().height())
        << "turned by its EXIF orientation";

    Form1->show();
    Form1->CellDblClick(0);
    ASSERT_TRUE(Form2->isVisible());
    EXPECT_EQ(Form2->All1->picture().size(), QSize(3024, 4032));
    Form2->close();
    EXPECT_TRUE(answers.messages.empty()) << qPrintable(answers.texts().join('\n'));
}

TEST_F(MainWindowTest, APageClickDuringAPageFillShowsTheNewPage) {
    for (int i = 0; i < 9; ++i)
        makeJpeg(QStringLiteral("%1.jpg").arg(i), 64, 48);
    start(folder_);
    // The click waits in the event queue and is handled before the fill's first cell.
    QTimer::singleShot(0, Form1->tugibt, &QPushButton::click);
    Form1->Button2Click();
    EXPECT_EQ(PageTop, 8);
    EXPECT_EQ(counter(), QStringLiteral(" 2/ 2"));
    EXPECT_EQ(thumbnail(0)->pictureName(), folder_ + QStringLiteral("/8.jpg"));
    EXPECT_TRUE(selectionButton(1)->isHidden());
}

TEST_F(MainWindowTest, ChangingToTheSameFileTypeKeepsEverythingAnotherResets) {
    for (int i = 0; i < 12; ++i)
        makeFile(QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    for (int i = 0; i < 3; ++i)
        makeFile(QStringLiteral("%1.bmp").arg(i));
    start(folder_);
    ASSERT_EQ(FileCount, 12);
    Selected[3] = true;
    Copies[0] = 5;
    Form1->tugibtClick();

    Form1->FilterComboBox1Change();
    EXPECT_EQ(PageTop, 8);
    EXPECT_TRUE(Selected[3]);

    chooseFileType(3); // BMP
    EXPECT_EQ(FileCount, 3);
    EXPECT_EQ(PageTop, 0);
    EXPECT_FALSE(Selected[3]);
    EXPECT_EQ(Copies[0], 1);
    EXPECT_EQ(nameShown(0), QStringLiteral("0.bmp"));
}

TEST_F(MainWindowTest, CellClicksChooseTheFileThatOpenOpens) {
    makeFile(QStringLiteral("a.jpg"));
    makeJpeg(QStringLiteral("b.jpg"), 64, 48); // the viewer opens this one
    start(folder_);
    Form1->show();
    RecordingAnswerer answers;

    Form1->Open1Click();
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("ファイルが選択されていません"));
    EXPECT_EQ(answers.messages[0].caption, QStringLiteral("警告"));

    Form1->CellClick(5); // an empty cell
    EXPECT_EQ(Form1->CurrentIndex, -1);
    EXPECT_FALSE(Form1->Open1->isEnabled());
    Form1->CellClick(1);
    EXPECT_EQ(Form1->CurrentIndex, 1);
    EXPECT_TRUE(Form1->Open1->isEnabled());
    EXPECT_EQ(control<QWidget>("Shape2")->palette().color(QPalette::Window), QColor(128, 128, 128));
    EXPECT_EQ(control<QWidget>("Shape1")->palette().color(QPalette::Window), QColor(192, 192, 192));

    Form1->Open1Click();
    EXPECT_EQ(ViewerPath, folder_ + QStringLiteral("/b.jpg"));
    EXPECT_TRUE(Form2->isVisible());
    EXPECT_FALSE(Form1->isVisible());
    Form2->close();
    EXPECT_TRUE(Form1->isVisible());

    ASSERT_TRUE(QFile::remove(pictures_.filePath("a.jpg")));
    Form1->CellDblClick(0);
    ASSERT_EQ(answers.messages.size(), 2u);
    EXPECT_EQ(answers.messages[1].text, QStringLiteral("ファイルへのアクセスが拒否されました"));
    EXPECT_TRUE(Form1->isVisible());
    Form1->CellDblClick(6); // empty cell: nothing at all
    EXPECT_EQ(answers.messages.size(), 2u);
}

TEST_F(MainWindowTest, ADriveThatIsNotReadyIsAskedAboutUntilGivenUp) {
    start(folder_);
    RecordingAnswerer answers;
    answers.script = {MessageAnswer::Retry, MessageAnswer::Abort};
    Form1->DriveComboBox1Change(QStringLiteral("/no/such/volume"));
    ASSERT_EQ(answers.messages.size(), 2u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("ドライブの準備ができていません"));
    EXPECT_EQ(answers.messages[0].buttons, platform::MessageButtons::AbortRetry);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder_);

    // Back on a ready drive the folder list returns to the folder last open there.
    const QString drive = platform::volumeRootOf(folder_);
    Form1->DirectoryListBox1->setDirectory(drive);
    Form1->DriveComboBox1Change(drive);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), drive);
    EXPECT_EQ(answers.messages.size(), 2u);
}

TEST_F(MainWindowTest, AMissingStoredFolderStartsAtItsDriveAndSettingsAreWrittenBack) {
    start(folder_ + QStringLiteral("/gone"),
          "J6Isize=0\r\nFilter=99\r\nTop=abc\r\nBlue=-5\r\nMidtone=455\r\nCLBL=0\r\n");
    Form1->FormActivate();
    EXPECT_EQ(control<QLabel>("Label1")->text(), QStringLiteral(" -5"));
    EXPECT_EQ(control<QLabel>("Label5")->text(), QStringLiteral(" 45"));
    EXPECT_EQ(control<QLabel>("Label4")->text(), QStringLiteral("255"));
    EXPECT_EQ(control<QLabel>("Label23")->text(), QStringLiteral("入力時補正"));
    EXPECT_EQ(control<QLabel>("Label24")->text(), QStringLiteral("出力時補正"));
    // While the tone levels are automatic (the tone dialog's box) their numbers make no sense.
    Form3->CheckBox2->setChecked(true);
    Form1->FormActivate();
    Form3->CheckBox2->setChecked(false);
    EXPECT_EQ(control<QLabel>("Label4")->text(), QStringLiteral("auto"));
    EXPECT_EQ(control<QLabel>("Label6")->text(), QStringLiteral("auto"));
    EXPECT_EQ(control<QLabel>("Label1")->text(), QStringLiteral(" -5"));
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), platform::volumeRootOf(folder_));
    EXPECT_EQ(ViewerWidth, 640);
    EXPECT_EQ(ViewerHeight, 480);
    EXPECT_EQ(Form1->FilterComboBox1->itemIndex(), 0);
    Form1->DirectoryListBox1->setDirectory(folder_);
    ShutDown();

    const platform::Profile ini(ini_);
    const QString section = QStringLiteral("TForm1");
    EXPECT_EQ(ini.readString(section, QStringLiteral("Directory"), {}), folder_);
    EXPECT_EQ(ini.readInteger(section, QStringLiteral("Filter"), -1), 0);
    EXPECT_EQ(ini.readInteger(section, QStringLiteral("Top"), -1), 0);
    QFile f(ini_);
    ASSERT_TRUE(f.open(QIODevice::ReadOnly));
    EXPECT_TRUE(f.readAll().contains("J6Isize=0\r\n")); // the stored spelling stays
}

// The folder is written at exit and opened at the next start, whatever its name: code page 932
// holds none of these exactly.
TEST_F(MainWindowTest, FoldersCodePage932CannotNameAreOpenedAgainAtTheNextStart) {
    start(folder_);
    for (const QString& name :
         {QStringLiteral("café"), QStringLiteral("旅行〜2024"), QStringLiteral("写真−1")}) {
        const QString folder = folder_ + u'/' + name;
        ASSERT_TRUE(QDir(folder_).mkdir(name));
        Form1->DirectoryListBox1->setDirectory(folder);
        ShutDown();
        ASSERT_TRUE(StartUp());
        EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder);
    }
    EXPECT_TRUE(settings_.bytes().contains(QFile::encodeName(folder_) + "/\xE5\x86\x99"))
        << "in UTF-8, which other programs read as well";
}

// A card that is not inserted is a drive that is not ready: the program's own folder, not "/".
TEST_F(MainWindowTest, AStoredFolderOnACardThatIsNotInsertedStartsInTheProgramsFolder) {
    const QString card = QStringLiteral("/media/tazu-test-user/NO-SUCH-CARD");
    ASSERT_FALSE(QFileInfo::exists(card));
    RecordingAnswerer answers;
    start(card + QStringLiteral("/DCIM"));
    EXPECT_EQ(Form1->DirectoryListBox1->directory(),
              QDir::cleanPath(QCoreApplication::applicationDirPath()));
    EXPECT_TRUE(answers.messages.empty());
}

TEST_F(MainWindowTest, SelectionAndCopiesStayAcrossPagesAndMakeTheSheetCount) {
    for (int i = 0; i < 12; ++i)
        makeFile(QStringLiteral("%1.jpg").arg(i, 2, 10, QLatin1Char('0')));
    start(folder_);
    EXPECT_EQ(Form1->Label26->text(), QStringLiteral("  0枚"));

    Form1->BitBtnClick(0);
    copiesBox(0)->setValue(99);
    Form1->tugibtClick();
    Form1->BitBtnClick(1); // file 9
    copiesBox(1)->setValue(2);
    EXPECT_EQ(Form1->Label26->text(), QStringLiteral("101枚"));
    EXPECT_EQ(PrintPictureTotal, 101);
    Form1->BitBtnClick(5); // an empty cell: no file, no change
    EXPECT_EQ(CountPrintCopies(), 101);
    Form1->maebtClick();
    EXPECT_EQ(selectionButton(0)->text(), QStringLiteral("印刷選択"));
    EXPECT_EQ(selectionButton(0)->palette().color(QPalette::ButtonText), QColor(0, 0, 255));
    EXPECT_EQ(copiesBox(0)->value(), 99);
    EXPECT_EQ(selectionButton(1)->text(), QStringLiteral("印刷非選択"));

    Form1->K6Click();
    EXPECT_EQ(selectionButton(0)->text(), QStringLiteral("印刷非選択"));
    for (int i = 0; i < 12; ++i)
        Copies[i] = 1;
    Form1->K5Click();
    EXPECT_EQ(Form1->Label26->text(), QStringLiteral(" 12枚"));
    EXPECT_TRUE(AnySelected());
    EXPECT_FALSE(Selected[12]);
}

TEST_F(MainWindowTest, ACellShowsTheStartOfALongMemoAndTakesZeroCopiesAsOne) {
    makeFile(QStringLiteral("a.jpg"));
    makeFile(QStringLiteral("tazu.txt"), "a.jpg\r\n" + QByteArray(40, 'w') + "\r\n");
    start(folder_);
    EXPECT_EQ(memoField(0)->text(), QString(40, 'w'));
    EXPECT_EQ(memoField(0)->cursorPosition(), 0);

    const QWidget* shape = control<QWidget>(QStringLiteral("Shape1"));
    const QWidget* caption = control<QWidget>(QStringLiteral("Label28"));
    EXPECT_EQ(caption->pos() - shape->pos(), QPoint(4, 87));

    copiesBox(0)->setValue(5);
    testsupport::typeInto(copiesBox(0), QStringLiteral("0"));
    testsupport::leave(copiesBox(0));
    EXPECT_EQ(Copies[0], 1);
    testsupport::typeInto(copiesBox(0), QStringLiteral("7"));
    EXPECT_EQ(Copies[0], 7);
}

// Changed memos are saved without a word with auto-save on; with it off the user is asked
// whether to save them, drop them or stay where they are.
TEST_F(MainWindowTest, ChangedMemosAreSavedOrAskedAboutBeforeTheWindowLeavesThem) {
    makeFile(QStringLiteral("a.jpg"));
    makeFile(QStringLiteral("b.bmp"));
    QTemporaryDir other;
    const QString otherPath = QDir::cleanPath(other.path());
    const QString memo = QStringLiteral("メモ");
    const QByteArray saved = "a.jpg\r\n\x83\x81\x83\x82\r\n";
    start(folder_);
    Form1->show();
    RecordingAnswerer answers;

    // Cancel: the folder, the file type and the window stay as they were, with the memo.
    memoField(0)->setText(memo);
    answers.script = {MessageAnswer::Cancel, MessageAnswer::Cancel, MessageAnswer::Cancel};
    Form1->DirectoryListBox1->setDirectory(otherPath);
    chooseFileType(3); // BMP
    EXPECT_FALSE(Form1->close());
    ASSERT_EQ(answers.messages.size(), 3u);
    for (const platform::MessageRequest& asked : answers.messages) {
        EXPECT_EQ(asked.text, QStringLiteral("メモが変更されています。保存しますか？"));
        EXPECT_EQ(asked.buttons, platform::MessageButtons::YesNoCancel);
    }
    EXPECT_TRUE(Form1->isVisible());
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder_);
    EXPECT_EQ(Form1->FilterComboBox1->itemIndex(), 0);
    EXPECT_EQ(nameShown(0), QStringLiteral("a.jpg"));
    EXPECT_EQ(memoField(0)->text(), memo);
    EXPECT_TRUE(MemoDirty);
    EXPECT_EQ(memoFileOf(folder_), "(none)");

    // No drops the memo, Yes saves it.
    answers.script = {MessageAnswer::No};
    Form1->DirectoryListBox1->setDirectory(otherPath);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), otherPath);
    EXPECT_EQ(memoFileOf(folder_), "(none)");
    Form1->DirectoryListBox1->setDirectory(folder_);
    EXPECT_TRUE(memoField(0)->text().isEmpty());
    memoField(0)->setText(memo);
    answers.script = {MessageAnswer::Yes};
    Form1->DirectoryListBox1->setDirectory(otherPath);
    EXPECT_EQ(memoFileOf(folder_), saved);

    // Back in the folder the memo is there again, and showing it is no change.
    Form1->DirectoryListBox1->setDirectory(folder_);
    EXPECT_EQ(memoField(0)->text(), memo);
    EXPECT_FALSE(MemoDirty);
    // An empty folder's page fill does not count as a change either.
    Form1->DirectoryListBox1->setDirectory(otherPath);
    EXPECT_FALSE(MemoDirty);
    EXPECT_EQ(memoFileOf(otherPath), "(none)");
    EXPECT_EQ(answers.messages.size(), 5u);

    // With auto-save on nothing is asked.
    MemoAutoSave = true;
    ASSERT_TRUE(QFile::remove(folder_ + QStringLiteral("/tazu.txt")));
    Form1->DirectoryListBox1->setDirectory(folder_);
    memoField(0)->setText(memo);
    Form1->DirectoryListBox1->setDirectory(otherPath);
    EXPECT_EQ(memoFileOf(folder_), saved);
    EXPECT_EQ(answers.messages.size(), 5u);

    // Quitting asks as well; Yes saves and the window closes.
    MemoAutoSave = false;
    Form1->DirectoryListBox1->setDirectory(folder_);
    memoField(0)->setText(QStringLiteral("last"));
    answers.script = {MessageAnswer::Yes};
    EXPECT_TRUE(Form1->close());
    EXPECT_EQ(answers.messages.size(), 6u);
    EXPECT_EQ(memoFileOf(folder_), "a.jpg\r\nlast\r\n");
}

TEST_F(MainWindowTest, AFailedAutoSaveLetsTheUserStayWithTheMemos) {
    makeFile(QStringLiteral("a.jpg"));
    ASSERT_TRUE(QDir(folder_).mkdir(QStringLiteral("tazu.txt"))); // no memo file can be there
    QTemporaryDir other;
    RecordingAnswerer answers;
    start(folder_);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_TRUE(
        answers.messages[0].text.startsWith(QStringLiteral("メモファイルを読み込めません")));
    MemoAutoSave = true;
    memoField(0)->setText(QStringLiteral("keep me"));

    answers.script = {MessageAnswer::Ok, MessageAnswer::No};
    Form1->DirectoryListBox1->setDirectory(other.path());
    ASSERT_EQ(answers.messages.size(), 3u);
    EXPECT_EQ(answers.messages[1].text, QStringLiteral("書き込めません"));
    EXPECT_EQ(answers.messages[2].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder_);
    EXPECT_EQ(Memos[0], QStringLiteral("keep me"));
    EXPECT_TRUE(MemoDirty);

    // Without auto-save, a Yes whose save fails goes the same way.
    MemoAutoSave = false;
    answers.script = {MessageAnswer::Yes, MessageAnswer::Ok, MessageAnswer::No};
    Form1->DirectoryListBox1->setDirectory(other.path());
    ASSERT_EQ(answers.messages.size(), 6u);
    EXPECT_EQ(answers.messages[4].text, QStringLiteral("書き込めません"));
    EXPECT_EQ(answers.messages[5].buttons, platform::MessageButtons::YesNo);
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), folder_);
    EXPECT_TRUE(MemoDirty);
    MemoAutoSave = true;

    // Closing the window asks the same; staying keeps it open.
    Form1->show();
    answers.script = {MessageAnswer::Ok, MessageAnswer::No};
    EXPECT_FALSE(Form1->close());
    EXPECT_TRUE(Form1->isVisible());

    answers.script = {MessageAnswer::Ok, MessageAnswer::Yes};
    Form1->DirectoryListBox1->setDirectory(other.path());
    EXPECT_EQ(Form1->DirectoryListBox1->directory(), QDir::cleanPath(other.path()));
    EXPECT_FALSE(MemoDirty);
}

TEST_F(MainWindowTest, TheMemoFieldTakesFortyBytesOfCodePage932) {
    makeFile(QStringLiteral("a.jpg"));
    start(folder_);
    RecordingAnswerer answers;
    QLineEdit* memo = memoField(0);
    // Typed one character at a time, as a keyboard (or an input method committing) gives them.
    const auto type = [memo](const QString& text) {
        for (const QChar c : text) {
            QKeyEvent press(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
            QCoreApplication::sendEvent(memo, &press);
        }
    };
    type(QString(39, 'a'));
    type(QStringLiteral("あ")); // two bytes: one too many
    EXPECT_EQ(memo->text(), QString(39, 'a'));
    type(QStringLiteral("ｱb")); // half-width katakana is one byte
    EXPECT_EQ(memo->text(), QString(39, 'a') + QStringLiteral("ｱ"));
    EXPECT_TRUE(answers.messages.empty());

    memo->clear();
    type(QStringLiteral("é"));
    EXPECT_TRUE(memo->text().isEmpty());
    QCoreApplication::processEvents(); // the message follows the refused edit
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("メモに使えない文字です"));
    EXPECT_EQ(Memos[0], QString());
}

} // namespace

namespace {

TEST_F(MainWindowTest, PrintingAsksForASelectionThenThePrinterAndTheSettingsAndPrintsTheCopies) {
    for (const char* name : {"a.jpg", "b.jpg", "c.jpg"})
        makeJpeg(QString::fromLatin1(name), 64, 48);
    start(folder_);
    RecordingAnswerer answers;
    platform::RecordingPrinter printer;
    const platform::ScopedPrinter usePrinter(printer);

    Form1->Button1->click();
    EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("印刷ファイルが選択されていません")});
    EXPECT_TRUE(answers.printerRequests.empty()) << "no dialogs follow";

    Form1->BitBtnClick(0);
    Form1->BitBtnClick(2);
    copiesBox(2)->setValue(2);
    memoField(0)->setText(QStringLiteral("運動会"));
    answers.printers = {false};
    Form1->Button1->click();
    EXPECT_EQ(answers.printerRequests.size(), 1u);
    EXPECT_TRUE(printer.operations.empty()) << "printer dialog cancelled";

    answers.printers = {true};
    Form4->CheckBox5->setChecked(true); // memo line
    QTimer::singleShot(0, Form4->Button1, &QPushButton::click);
    Form1->findChild<QAction*>(QStringLiteral("Print1"))->trigger();
    std::vector<QString> texts;
    int pictures = 0;
    for (const auto& op : printer.operations) {
        pictures += op.kind == platform::PrintOperation::Kind::Picture;
        if (op.kind == platform::PrintOperation::Kind::Text)
            texts.push_back(op.text);
    }
    EXPECT_EQ(pictures, 3);
    EXPECT_EQ(texts, std::vector<QString>{QStringLiteral("運動会")}) << "empty memos print nothing";
    ASSERT_FALSE(printer.operations.empty());
    EXPECT_EQ(printer.operations.back().kind, platform::PrintOperation::Kind::EndDoc);
    EXPECT_FALSE(OKBottomDlg->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
    EXPECT_TRUE(Selected[0] && !Selected[1] && Selected[2]) << "the selection is only read";

    // A document the printer cannot finish: the error is shown and the window is as before.
    printer.failEndDoc = true;
    answers.printers = {true};
    answers.messages.clear();
    QTimer::singleShot(0, Form4->Button1, &QPushButton::click);
    Form1->Button1->click();
    EXPECT_EQ(answers.texts(), QStringList{QStringLiteral("印刷データを最後まで書き込めません")});
    EXPECT_FALSE(OKBottomDlg->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(MainWindowTest, EscapeInTheProgressDialogStopsTheJobBeforeItsNextPicture) {
    makeJpeg(QStringLiteral("a.jpg"), 64, 48);
    start(folder_);
    RecordingAnswerer answers;
    answers.printers = {true, true};
    platform::RecordingPrinter printer;
    const platform::ScopedPrinter usePrinter(printer);
    Form1->BitBtnClick(0);
    copiesBox(0)->setValue(20);

    bool modalDuringJob = false;
    QTimer::singleShot(0, Form4->Button1, &QPushButton::click);
    // At the first picture's pending-input point, once the progress dialog shows.
    std::function<void()> whilePrinting = [&] {
        if (!OKBottomDlg->isVisible()) {
            QTimer::singleShot(0, OKBottomDlg, whilePrinting);
            return;
        }
        modalDuringJob = QApplication::activeModalWidget() == OKBottomDlg;
        Form1->Print1Click(); // a second request while the job runs: refused
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(OKBottomDlg, &escape);
        EXPECT_EQ(OKBottomDlg->Label1->text(), QStringLiteral("中止します"));
    };
    QTimer::singleShot(0, OKBottomDlg, whilePrinting);
    Form1->Print1Click();
    EXPECT_TRUE(modalDuringJob) << "the other windows take no input while printing";
    EXPECT_EQ(answers.printerRequests.size(), 1u);
    int pictures = 0;
    for (const auto& op : printer.operations)
        pictures += op.kind == platform::PrintOperation::Kind::Picture;
    EXPECT_EQ(pictures, 1);
    ASSERT_FALSE(printer.operations.empty());
    EXPECT_EQ(printer.operations.back().kind, platform::PrintOperation::Kind::Abort);
    EXPECT_FALSE(OKBottomDlg->isVisible());
    EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

} // namespace

namespace {

TEST_F(MainWindowTest, TheViewersSmallJ6iSizeReachesTheSettingsFileAndTheNextStart) {
    makeFile(QStringLiteral("shot.j6i"), testsupport::makeJ6i());
    start(folder_);
    EXPECT_EQ(ViewerWidth, 768);
    Form1->show();
    Form1->CellClick(0);
    Form1->Open1Click();
    ASSERT_TRUE(Form2->isVisible());
    EXPECT_FALSE(Form1->isVisible()) << "hidden while the viewer shows a picture";
    Form2->findChild<QAction*>(QStringLiteral("N6404801"))->trigger();
    Form2->close();
    EXPECT_TRUE(Form1->isVisible());
    ShutDown();
    EXPECT_FALSE(platform::Profile(ini_).readBool(QStringLiteral("TForm1"),
                                                  QStringLiteral("J6ISize"), true));

    ASSERT_TRUE(StartUp());
    EXPECT_EQ(ViewerWidth, 640);
    EXPECT_EQ(ViewerHeight, 480);
}

} // namespace
