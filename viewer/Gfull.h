// The picture viewer window. Created once at start-up and shown when the main window opens a
// picture; until the viewer does its own work it shows the picture's path, and closing it
// brings the main window back.
#pragma once

#include <QWidget>

class QLabel;

class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);

    // The last opening produced a picture; the main window reads it right after showing the
    // viewer and hides itself when it holds.
    bool PictureShown = false;

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void FormShow();

    QLabel* path_ = nullptr;
};

// The one instance, created at start-up.
extern TForm2* Form2;
