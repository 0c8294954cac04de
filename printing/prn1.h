// The print settings dialog. Created once at start-up and shown when needed; its
// controls come with the work on this window.
#pragma once

#include <QDialog>

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr);
};

// The number of sheets the print selection makes (the copies of every selected file), kept
// current by the main window.
extern int PrintPictureTotal;

// The one instance, created at start-up.
extern TForm4* Form4;
