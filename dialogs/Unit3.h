// The version dialog: the program's name, version and date. Created once at start-up and
// shown from the main window's menu.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

class TOKBottomDlg1 : public QDialog {
    Q_OBJECT

public:
    explicit TOKBottomDlg1(QWidget* parent = nullptr);

    QLabel* Label1 = nullptr; // name
    QLabel* Label2 = nullptr; // version
    QLabel* Label3 = nullptr; // date
    QPushButton* OKBtn = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void OKBtnClick();
};

// The one instance, created at start-up.
extern TOKBottomDlg1* OKBottomDlg1;
