#include "app/Tazu.h"
#include "app/startup.h"
#include "correction/hilite.h"
#include "correction/iroc.h"
#include "correction/settings.h"
#include "dialogs/Unit3.h"
#include "dialogs/opt.h"
#include "platform/codepage.h"
#include "platform/display.h"
#include "platform/profile.h"
#include "printing/prn1.h"
#include "printing/prnchu.h"
#include "tests/support/answerer.h"
#include "viewer/Gfull.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>

#include <algorithm>

using testsupport::RecordingAnswerer;

namespace {

// Each test gets its own settings file and restores the environment it changed.
class StartUpTest : public ::testing::Test {
protected:
    void SetUp() override {
        savedIni_ = qgetenv("TAZU_INI");
        savedPluginPath_ = qgetenv("TAZU_PLUGIN_PATH");
        ini_ = dir_.filePath(QStringLiteral("tazu.INI"));
        qputenv("TAZU_INI", QFile::encodeName(ini_));
    }
    void TearDown() override {
        ShutDown();
        platform::overrideScreenDepth(std::nullopt);
        qputenv("TAZU_INI", savedIni_);
        qputenv("TAZU_PLUGIN_PATH", savedPluginPath_);
    }

    void writeIni(const QByteArray& bytes) {
        QFile f(ini_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray iniBytes() const {
        QFile f(ini_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    static bool anyWindowVisible() {
        for (const QWidget* w : QApplication::topLevelWidgets())
            if (w->isVisible())
                return true;
        return false;
    }

    QTemporaryDir dir_;
    QString ini_;

private:
    QByteArray savedIni_;
    QByteArray savedPluginPath_;
};

const QByteArray StoredSettings = "[TForm1]\r\nTop=40\r\nLeft=30\r\nBlue=-5\r\nHitone=2000\r\n"
                                  "Lowtone=100\r\nJ6Isize=0\r\nFilter=3\r\n";

} // namespace

TEST_F(StartUpTest, WithoutTheJpegPluginOneBoxAndNothingElse) {
    QTemporaryDir empty;
    qputenv("TAZU_PLUGIN_PATH", QFile::encodeName(empty.path()));
    writeIni(StoredSettings);
    RecordingAnswerer answers;

    EXPECT_FALSE(StartUp());
    EXPECT_FALSE(StartupOk);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("spiﾌｧｲﾙがありません！"));
    EXPECT_EQ(answers.messages[0].caption, QStringLiteral("＊＊注意＊＊"));
    EXPECT_EQ(Form1, nullptr);
    EXPECT_EQ(OKBottomDlg2, nullptr);
    EXPECT_EQ(OKBottomDlg, nullptr);
    EXPECT_FALSE(anyWindowVisible());
    EXPECT_EQ(iniBytes(), StoredSettings);
}

TEST_F(StartUpTest, APaletteScreenIsRefusedButTheMainWindowKeepsItsSettings) {
    platform::overrideScreenDepth(8);
    writeIni(StoredSettings);
    RecordingAnswerer answers;

    EXPECT_FALSE(StartUp());
    EXPECT_TRUE(StartupOk);
    ASSERT_EQ(answers.messages.size(), 1u);
    EXPECT_EQ(answers.messages[0].text, QStringLiteral("256色モードでは動作しません！"));
    EXPECT_EQ(answers.messages[0].caption, QStringLiteral("＊＊注意＊＊"));
    EXPECT_EQ(Form1, nullptr);
    EXPECT_EQ(OKBottomDlg2, nullptr);

    // The section is written back in full with the values read; stored spellings stay.
    const platform::Profile ini(ini_);
    const QString s = QStringLiteral("TForm1");
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Top"), 0), 40);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Left"), 0), 30);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Blue"), 0), -5);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Hitone"), 0), 2000);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Midtone"), 0), 500);
    EXPECT_EQ(ini.readInteger(s, QStringLiteral("Filter"), 0), 3);
    EXPECT_TRUE(iniBytes().contains("J6Isize=0\r\n"));
    EXPECT_TRUE(iniBytes().contains("CLBL=1\r\n"));
}

TEST_F(StartUpTest, ATrueColourScreenCreatesEveryWindowOnce) {
    for (int depth : {24, 16}) {
        platform::overrideScreenDepth(depth);
        RecordingAnswerer answers;
        ASSERT_TRUE(StartUp());
        EXPECT_TRUE(answers.messages.empty());
        EXPECT_EQ(QApplication::applicationName(), QStringLiteral("tazu"));
        const struct {
            QWidget* window;
            const char* className;
            const char* objectName;
            QString caption;
        } windows[] = {
            {Form1, "TForm1", "Form1", QStringLiteral("タズ")},
            {OKBottomDlg2, "TOKBottomDlg2", "OKBottomDlg2", QStringLiteral("ﾀﾞｲｱﾛｸﾞ")},
            {OKBottomDlg1, "TOKBottomDlg1", "OKBottomDlg1", QStringLiteral("バージョン情報")},
            {Form2, "TForm2", "Form2", QStringLiteral("画像ビューア")},
            {iroform, "Tiroform", "iroform", QStringLiteral("カラーバランスの調整")},
            {Form3, "TForm3", "Form3", QStringLiteral("トーンバランスの調整")},
            {Form4, "TForm4", "Form4", QStringLiteral("印刷設定")},
            {OKBottomDlg, "TOKBottomDlg", "OKBottomDlg", QStringLiteral("印刷中")},
        };
        for (const auto& w : windows) {
            ASSERT_NE(w.window, nullptr) << w.objectName;
            EXPECT_STREQ(w.window->metaObject()->className(), w.className);
            EXPECT_EQ(w.window->objectName(), QLatin1String(w.objectName));
            EXPECT_EQ(w.window->windowTitle(), w.caption);
        }
        ShutDown();
        EXPECT_EQ(Form1, nullptr);
    }
    // With no settings file the defaults are written, and a highlight not above the shadow is
    // lifted above it.
    EXPECT_EQ(
        platform::Profile(ini_).readInteger(QStringLiteral("TForm1"), QStringLiteral("Hitone"), 0),
        2550);
    writeIni("[TForm1]\r\nHitone=100\r\nLowtone=300\r\n");
    ASSERT_TRUE(StartUp());
    EXPECT_EQ(CorrectionSettings.Hitone, 310);
}

TEST_F(StartUpTest, EveryWindowCarriesTheProgramIconInEverySizeItShips) {
    ASSERT_TRUE(StartUp());
    QList<QSize> expected;
    for (int size : {16, 22, 24, 32, 48, 64, 128, 256})
        expected.append(QSize(size, size));
    auto sorted = [](QList<QSize> sizes) {
        std::sort(sizes.begin(), sizes.end(),
                  [](QSize a, QSize b) { return a.width() < b.width(); });
        return sizes;
    };
    EXPECT_EQ(sorted(QApplication::windowIcon().availableSizes()), expected);
    EXPECT_EQ(QGuiApplication::desktopFileName(), QStringLiteral("io.github.tazu.Tazu"));

    const QWidgetList windows = QApplication::topLevelWidgets();
    EXPECT_GE(windows.size(), 8);
    for (const QWidget* w : windows)
        EXPECT_EQ(sorted(w->windowIcon().availableSizes()), expected)
            << qPrintable(w->objectName());
}
