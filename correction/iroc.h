// The colour-balance dialog. Created once at start-up and shown when needed; its
// controls come with the work on this window.
#pragma once

#include <QDialog>

class Tiroform : public QDialog {
    Q_OBJECT

public:
    explicit Tiroform(QWidget* parent = nullptr);
};

// The one instance, created at start-up.
extern Tiroform* iroform;
