#include "dialogs/opt.h"

TOKBottomDlg2* OKBottomDlg2 = nullptr;

TOKBottomDlg2::TOKBottomDlg2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg2"));
    setWindowTitle(QStringLiteral("ﾀﾞｲｱﾛｸﾞ"));
}
