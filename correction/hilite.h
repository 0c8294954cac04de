// The tone-balance dialog: highlight, midtone and shadow levels, automatic levels with their
// loss rates, when the tone correction acts, a histogram of the viewer's picture with markers
// at the three levels, and a preview in the viewer. Created once at start-up; the viewer shows
// it modally. Its automatic check box and loss-rate boxes are the program's automatic levels.
#pragma once

#include <QDialog>

#include <array>
#include <cstdint>

class QCheckBox;
class QPushButton;
class QRadioButton;
class QSpinBox;

namespace platform {
class ImageControl;
}

// Counts of every pixel's level (blue + green + red) / 3 over bottom-up 24-bit rows padded to 4
// bytes.
using DisplayHistogram = std::array<int32_t, 256>;
DisplayHistogram displayHistogramOf(const uint8_t* rows, int32_t width, int32_t height);
// The scale of the bars: a level holding the average count of the non-empty levels gets a bar
// of 100/256 of the height. 0 for an empty histogram.
int32_t histogramScale(const DisplayHistogram& counts);
// The histogram drawn on white in a black frame, width 256 by height 101.
void drawHistogram(platform::ImageControl& image, const DisplayHistogram& counts, int32_t scale);

class TForm3 : public QDialog {
    Q_OBJECT

public:
    explicit TForm3(QWidget* parent = nullptr); // runs FormCreate
    ~TForm3() override;                         // runs FormDestroy

    void SpinEdit1Change(); // highlight
    void SpinEdit2Change(); // midtone
    void SpinEdit3Change(); // shadow
    void RadioButtonClick();
    void Button1Click(); // OK
    void Button2Click(); // Cancel
    void Button3Click(); // preview
    void Button4Click(); // reset

    // The drawing mode of a preview for the radio buttons and the colour correction's time.
    int previewMode() const;
    // The left edges of the three markers on the strip, highlight, midtone, shadow.
    std::array<int, 3> markerPositions() const;

    QSpinBox* SpinEdit1 = nullptr;
    QSpinBox* SpinEdit2 = nullptr;
    QSpinBox* SpinEdit3 = nullptr;
    QCheckBox* CheckBox2 = nullptr;
    QSpinBox* SpinEdit4 = nullptr;
    QSpinBox* SpinEdit5 = nullptr;
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;
    platform::ImageControl* Image1 = nullptr;
    QWidget* PaintBox2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc goes as Cancel does.
    void reject() override;

private:
    void buildControls();
    void FormCreate();
    void FormDestroy();
    void FormShow();
    // Puts value into box without its change signal, then runs handler as typed input would.
    void showLevel(QSpinBox* box, int value, void (TForm3::*handler)());

    int32_t savedHitone_ = 2550;
    int32_t savedMidtone_ = 500;
    int32_t savedLowtone_ = 0;
    bool savedToneBL_ = true;
    DisplayHistogram histogram_{};
    int32_t scale_ = 0;
};

// The one instance, created at start-up.
extern TForm3* Form3;
