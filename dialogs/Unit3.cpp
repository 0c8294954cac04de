#include "dialogs/Unit3.h"

TOKBottomDlg1* OKBottomDlg1 = nullptr;

TOKBottomDlg1::TOKBottomDlg1(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg1"));
    setWindowTitle(QStringLiteral("バージョン情報"));
}
