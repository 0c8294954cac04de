#include "viewer/Gfull.h"

#include "app/Tazu.h"
#include "platform/guard.h"

#include <QCloseEvent>
#include <QLabel>
#include <QVBoxLayout>

TForm2* Form2 = nullptr;

TForm2::TForm2(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("画像ビューア"));
    resize(640, 400);
    path_ = new QLabel(this);
    path_->setAlignment(Qt::AlignCenter);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(path_);
}

void TForm2::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    platform::guarded([this] { FormShow(); });
}

void TForm2::FormShow() {
    PictureShown = true;
    path_->setText(ViewerPath);
}

void TForm2::closeEvent(QCloseEvent* event) {
    QWidget::closeEvent(event);
    if (Form1)
        Form1->show();
}
