// The picture control windows are built from: a widget that holds one picture and paints it
// either at 1:1 from its top-left corner or stretched over the whole control.
#pragma once

#include <QImage>
#include <QWidget>

namespace platform {

class ImageControl : public QWidget {
    Q_OBJECT

public:
    explicit ImageControl(QWidget* parent = nullptr);

    const QImage& picture() const { return picture_; }
    bool hasPicture() const { return !picture_.isNull(); }
    // With AutoSize on, the control takes the picture's size.
    void setPicture(const QImage& picture);
    void clearPicture();

    // The picture to draw on; call update() when done. Null while there is no picture.
    QImage& canvas() { return picture_; }

    bool stretch() const { return stretch_; }
    void setStretch(bool stretch);
    bool autoSize() const { return autoSize_; }
    void setAutoSize(bool autoSize);

signals:
    void clicked();
    void doubleClicked();

protected:
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;

private:
    void fitToPicture();

    QImage picture_;
    bool stretch_ = false;
    bool autoSize_ = false;
    bool pressed_ = false;
};

} // namespace platform
