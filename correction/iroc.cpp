#include "correction/iroc.h"

Tiroform* iroform = nullptr;

Tiroform::Tiroform(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("iroform"));
    setWindowTitle(QStringLiteral("カラーバランスの調整"));
}
