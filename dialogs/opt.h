// The options dialog. Created once at start-up and shown when needed; its
// controls come with the work on this window.
#pragma once

#include <QDialog>

class TOKBottomDlg2 : public QDialog {
    Q_OBJECT

public:
    explicit TOKBottomDlg2(QWidget* parent = nullptr);
};

// The one instance, created at start-up.
extern TOKBottomDlg2* OKBottomDlg2;
