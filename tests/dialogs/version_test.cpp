#include "dialogs/Unit3.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>

TEST(VersionDialogTest, ShowsNameVersionAndDateAndOkCloses) {
    TOKBottomDlg1 dialog;
    EXPECT_EQ(dialog.Label1->text(), QStringLiteral("タズ"));
    EXPECT_EQ(dialog.Label2->text(), QStringLiteral("ver. 1.2"));
    EXPECT_EQ(dialog.Label3->text(), QStringLiteral("1996/12"));
    EXPECT_TRUE(dialog.OKBtn->isDefault());
    dialog.show();
    dialog.OKBtn->click();
    EXPECT_FALSE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
}
