// The options dialog: smoothing of J6I pictures in the viewer, turning pictures upright as the
// camera recorded them (J6I pictures by their header, JPEG and TIFF pictures by their EXIF
// orientation), and saving memos automatically. Created once at start-up; the check
// boxes hold the options for the whole run, and the other windows read them directly. The
// section "Option" of the settings file is read at creation and written at destruction.
#pragma once

#include <QDialog>

class QCheckBox;
class QPushButton;

class TOKBottomDlg2 : public QDialog {
    Q_OBJECT

public:
    explicit TOKBottomDlg2(QWidget* parent = nullptr); // runs FormCreate
    ~TOKBottomDlg2() override;                         // runs FormDestroy

    // Cancel, Esc and closing the window all end here: smoothing goes back to what it was when
    // the dialog showed, then the dialog closes.
    void reject() override;

    QCheckBox* CheckBox1 = nullptr; // smoothing of J6I pictures shown at 768 × 576
    QCheckBox* checkbox2 = nullptr; // pictures shown upright as the camera recorded them
    QCheckBox* CheckBox3 = nullptr; // memos saved automatically; mirrored in MemoAutoSave
    QPushButton* OKBtn = nullptr;
    QPushButton* CancelBtn = nullptr;

    // CheckBox1 as it was when the dialog last showed, for Cancel.
    bool SmoothAtShow = false;

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void FormDestroy();
    void FormShow();
    void CheckBox3Click();
    void OKBtnClick();
    void CancelBtnClick();
};

// The one instance, created at start-up.
extern TOKBottomDlg2* OKBottomDlg2;

// Whether pictures the camera recorded turned or mirrored are shown upright (checkbox2); false
// before the dialog exists.
bool picturesTurnedUpright();
