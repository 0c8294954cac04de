// The tone-balance dialog. Created once at start-up and shown when needed; its
// controls come with the work on this window.
#pragma once

#include <QDialog>

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr);
};

// The one instance, created at start-up.
extern TForm3* Form3;
