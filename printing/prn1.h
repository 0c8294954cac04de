// The print settings dialog: columns, rows, margins, gaps, orientation, caption lines and font of
// an index sheet, with a preview of the page. Created once at start-up; the print job shows it
// modally and reads the layout from its controls.
#pragma once

#include "printing/layout.h"

#include <QDialog>
#include <QSize>

#include <array>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace platform {
class ImageControl;
}

// The layout values as last committed by the dialog's buttons (or as read at start).
extern TPrintSettings PrintSettings;

// The dialog was closed with its print button.
extern bool PrintConfirmed;

// The number of sheets the print selection makes (the copies of every selected file), kept
// current by the main window.
extern int PrintPictureTotal;

class TForm4 : public QDialog {
    Q_OBJECT

public:
    explicit TForm4(QWidget* parent = nullptr); // runs FormCreate
    ~TForm4() override;                         // runs FormDestroy

    // Sizes the preview paper for a printer page of width × height pixels (portrait).
    void FitPreviewPaper(int width, int height);
    QSize previewPaper() const { return paper_; }

    // The layout the controls show now, and the date line's form (a DateForm).
    TPrintSettings controlValues() const;
    int dateForm() const;
    // Draws the preview for the controls' values; false when they leave no room for the
    // cells (nothing is drawn then).
    bool DrawLayoutPreview();
    void ShowLayoutMeasures();
    void ShowCaptionHeight();
    void ShowPageCount();

    void SpinEditChange(int index); // SpinEdit1Change .. SpinEdit8Change
    void RadioGroup2Click();
    void CheckBox4Click();
    void CaptionLinesClick(); // CheckBox2Click, CheckBox3Click, CheckBox5Click
    void Button1Click();      // start printing
    void Button4Click();      // do not print
    void Button5Click();      // caption font

    // SpinEdit1 columns, SpinEdit2 vertical gap, SpinEdit3..6 top, bottom, left, right margin,
    // SpinEdit7 rows, SpinEdit8 horizontal gap; index 0 is SpinEdit1.
    std::array<QSpinBox*, 8> SpinEdit{};
    QGroupBox* RadioGroup2 = nullptr;
    std::array<QRadioButton*, 2> orientationButtons{}; // 縦置き, 横置き
    QCheckBox* CheckBox1 = nullptr;                    // separator lines
    QCheckBox* CheckBox2 = nullptr;                    // file name line
    QCheckBox* CheckBox3 = nullptr;                    // date line
    QCheckBox* CheckBox4 = nullptr;                    // tall pictures upright
    QCheckBox* CheckBox5 = nullptr;                    // memo line
    QRadioButton* RadioButton1 = nullptr;              // date and time
    QRadioButton* RadioButton2 = nullptr;              // date only
    QRadioButton* RadioButton3 = nullptr;              // time only
    QPushButton* Button1 = nullptr;
    QPushButton* Button4 = nullptr;
    QPushButton* Button5 = nullptr;
    platform::ImageControl* Image1 = nullptr;
    QLabel* Label8 = nullptr;  // caption height
    QLabel* Label12 = nullptr; // pictures / per page
    QLabel* Label13 = nullptr; // pages
    QLabel* Label14 = nullptr; // picture size
    QLabel* Label15 = nullptr; // paper size
    QLabel* Label16 = nullptr; // font size
    // Beside the vertical gap, horizontal gap, top, bottom, left and right controls.
    std::array<QLabel*, 6> distanceLabels{}; // Label18, Label23, Label19, Label20, Label21, Label22

    // Set by every change that redraws the preview: a drawing in progress stops at its next slot.
    bool PreviewSuperseded = false;
    // The last layout the preview could be drawn for.
    TPrintSettings LastAccepted;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc and closing the window go as the cancel button does.
    void reject() override;
    // A button pressed while the first preview is being drawn closes the dialog once it is
    // fully open: closing it in the middle of being shown would leave exec() waiting on a
    // hidden dialog.
    void done(int result) override;

private:
    void buildControls();
    void FormCreate();
    void FormShow();
    void FormDestroy();
    void showValues(const TPrintSettings& values);
    // Redraws after a change; a refused value goes back to its last accepted one.
    void redrawOrRestore();
    void commitControls();
    int orientationIndex() const;

    QSize paper_;
    bool showing_ = false; // FormShow is running
};

// The one instance, created at start-up.
extern TForm4* Form4;
