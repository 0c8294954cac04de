#include "app/mainstate.h"
#include "dialogs/opt.h"
#include "platform/profile.h"

#include "tests/support/settingsfile.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFile>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

// Each test gets its own settings file and restores the environment it changed.
class OptionsDialogTest : public ::testing::Test {
protected:
    void SetUp() override { ini_ = settings_.path(); }
    void writeIni(const QByteArray& bytes) {
        QFile f(ini_);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    QByteArray iniBytes() const {
        QFile f(ini_);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    testsupport::ScopedSettingsFile settings_;
    QString ini_;
};

TEST_F(OptionsDialogTest, WithoutSettingsOnlyRotationIsOnAndTheDefaultsAreWritten) {
    MemoAutoSave = true;
    auto dialog = std::make_unique<TOKBottomDlg2>();
    EXPECT_FALSE(dialog->CheckBox1->isChecked());
    EXPECT_TRUE(dialog->checkbox2->isChecked());
    EXPECT_FALSE(dialog->CheckBox3->isChecked());
    EXPECT_FALSE(MemoAutoSave);

    dialog.reset();
    const QByteArray bytes = iniBytes();
    EXPECT_TRUE(bytes.contains("[Option]\r\n"));
    EXPECT_TRUE(bytes.contains("Smooth=0\r\n"));
    EXPECT_TRUE(bytes.contains("Kaiten=1\r\n"));
    EXPECT_TRUE(bytes.contains("Memo=0\r\n"));
}

TEST_F(OptionsDialogTest, StoredValuesAreReadAndWhatOkKeepsIsWrittenBack) {
    writeIni("[Option]\r\nSmooth=1\r\nKaiten=0\r\nMemo=1\r\n");
    auto dialog = std::make_unique<TOKBottomDlg2>();
    EXPECT_TRUE(dialog->CheckBox1->isChecked());
    EXPECT_FALSE(dialog->checkbox2->isChecked());
    EXPECT_TRUE(dialog->CheckBox3->isChecked());
    EXPECT_TRUE(MemoAutoSave);

    dialog->show();
    dialog->CheckBox1->click();
    dialog->checkbox2->click();
    dialog->OKBtn->click();
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
    EXPECT_FALSE(dialog->CheckBox1->isChecked());

    dialog.reset();
    const platform::Profile ini(ini_);
    const QString s = QStringLiteral("Option");
    EXPECT_FALSE(ini.readBool(s, QStringLiteral("Smooth"), true));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("Kaiten"), false));
    EXPECT_TRUE(ini.readBool(s, QStringLiteral("Memo"), false));
}

// Cancel takes back smoothing only; the memo switch follows its box at once and keeps it.
TEST_F(OptionsDialogTest, CancelRestoresOnlySmoothing) {
    TOKBottomDlg2 dialog;
    dialog.show();
    dialog.CheckBox1->click();
    dialog.checkbox2->click();
    dialog.CheckBox3->click();
    EXPECT_TRUE(MemoAutoSave);
    dialog.CancelBtn->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
    EXPECT_FALSE(dialog.CheckBox1->isChecked());
    EXPECT_FALSE(dialog.checkbox2->isChecked());
    EXPECT_TRUE(dialog.CheckBox3->isChecked());
    EXPECT_TRUE(MemoAutoSave);

    // What Cancel goes back to is taken at each showing; Esc and closing the window cancel too.
    dialog.show();
    dialog.CheckBox1->click();
    dialog.OKBtn->click();
    dialog.show();
    dialog.CheckBox1->click();
    QTest::keyClick(&dialog, Qt::Key_Escape);
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
    dialog.show();
    dialog.CheckBox1->click();
    dialog.close();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_TRUE(dialog.CheckBox1->isChecked());
}

} // namespace
