#include "platform/imagecontrol.h"

#include <QMouseEvent>
#include <QPainter>

namespace platform {

ImageControl::ImageControl(QWidget* parent) : QWidget(parent) {}

void ImageControl::setPicture(const QImage& picture) {
    picture_ = picture;
    fitToPicture();
    update();
}

void ImageControl::clearPicture() {
    picture_ = QImage();
    update();
}

void ImageControl::setStretch(bool stretch) {
    if (stretch_ != stretch) {
        stretch_ = stretch;
        update();
    }
}

void ImageControl::setAutoSize(bool autoSize) {
    autoSize_ = autoSize;
    fitToPicture();
}

void ImageControl::fitToPicture() {
    if (autoSize_ && !picture_.isNull())
        resize(picture_.size());
}

void ImageControl::paintEvent(QPaintEvent*) {
    if (picture_.isNull())
        return;
    QPainter painter(this);
    if (stretch_) {
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        painter.drawImage(rect(), picture_);
    } else {
        painter.drawImage(QPoint(0, 0), picture_);
    }
}

void ImageControl::mousePressEvent(QMouseEvent* event) {
    pressed_ = event->button() == Qt::LeftButton;
    QWidget::mousePressEvent(event);
}

void ImageControl::mouseReleaseEvent(QMouseEvent* event) {
    const bool click = pressed_ && event->button() == Qt::LeftButton &&
                       rect().contains(event->position().toPoint());
    pressed_ = false;
    if (click)
        emit clicked();
    QWidget::mouseReleaseEvent(event);
}

void ImageControl::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton)
        emit doubleClicked();
    QWidget::mouseDoubleClickEvent(event);
}

} // namespace platform
