// The picture viewer window. Created once at start-up and shown when needed; its
// controls come with the work on this window.
#pragma once

#include <QWidget>

class TForm2 : public QWidget {
    Q_OBJECT

public:
    explicit TForm2(QWidget* parent = nullptr);
};

// The one instance, created at start-up.
extern TForm2* Form2;
