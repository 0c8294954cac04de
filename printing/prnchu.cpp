#include "printing/prnchu.h"

TOKBottomDlg* OKBottomDlg = nullptr;

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("印刷中"));
}
