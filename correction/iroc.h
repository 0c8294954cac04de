// The colour-balance dialog: the three colour offsets, by track bar or by clicks on a colour
// wheel of six circles that push the balance toward their colour, when the colour correction
// acts, and a preview in the viewer. Created once at start-up; the viewer shows it modally.
#pragma once

#include <QDialog>

#include <array>

class QLabel;
class QPushButton;
class QRadioButton;
class QSlider;
struct TCorrectionSettings;

// The wheel's circles, red at the top and clockwise.
enum class WheelColour { Red, Yellow, Green, Cyan, Blue, Magenta };

// One click on a circle: its step applied to the offsets when every value stays within
// -50..50; false, and nothing changed, when the step is refused.
bool applyWheelStep(WheelColour colour, TCorrectionSettings& settings);

class Tiroform : public QDialog {
    Q_OBJECT

public:
    explicit Tiroform(QWidget* parent = nullptr); // runs FormCreate
    ~Tiroform() override;                         // runs FormDestroy

    void TrackBarChange(int channel); // TrackBar1Change (blue) .. TrackBar3Change (red)
    // A click with any mouse button on a circle of the wheel.
    void cirrMouseDown();
    void ciryMouseDown();
    void cirgMouseDown();
    void circMouseDown();
    void cirbMouseDown();
    void cirmMouseDown();
    void RadioButtonClick();
    void Button1Click(); // OK
    void Button2Click(); // Cancel
    void Button3Click(); // preview
    void Button4Click(); // reset

    int previewMode() const;
    // The labels and track bars show the offsets.
    void refreshDisplay();

    // Blue, green, red.
    std::array<QSlider*, 3> TrackBar{};
    std::array<QLabel*, 3> valueLabels{}; // Label14, Label15, Label16
    std::array<QWidget*, 6> circles{}; // in WheelColour order: cirr, ciry, cirg, circ, cirb, cirm
    QPushButton* Button1 = nullptr;
    QPushButton* Button2 = nullptr;
    QPushButton* Button3 = nullptr;
    QPushButton* Button4 = nullptr;
    QRadioButton* RadioButton1 = nullptr;
    QRadioButton* RadioButton2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;
    // Esc goes as Cancel does.
    void reject() override;

private:
    void buildControls();
    void FormCreate();
    void FormDestroy();
    void FormShow();
    // What every circle does: its step, then the display.
    void CircleMouseDown(WheelColour colour);

    int savedBlue_ = 0;
    int savedGreen_ = 0;
    int savedRed_ = 0;
    bool savedCLBL_ = true;
};

// The one instance, created at start-up.
extern Tiroform* iroform;
