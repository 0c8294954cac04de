#include "printing/prn1.h"

TForm4* Form4 = nullptr;
int PrintPictureTotal = 0;

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("印刷設定"));
}
