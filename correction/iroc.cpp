#include "correction/iroc.h"

#include "correction/pipeline.h"
#include "correction/preview.h"
#include "correction/settings.h"
#include "dialogs/dialogframe.h"
#include "platform/guard.h"
#include "platform/profile.h"

#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSlider>

#include <functional>

Tiroform* iroform = nullptr;

namespace {

const QString Section = QStringLiteral("Color");

struct Circle {
    const char* name;
    void (Tiroform::*mouseDown)();
    QRgb colour;
    int left, top;
    const char* hint;
    int blue, green, red; // the step of one click
};
// In WheelColour order. Each step keeps the sum of the three offsets.
const std::array<Circle, 6> Circles{{
    {"cirr", &Tiroform::cirrMouseDown, qRgb(255, 0, 0), 72, 24, "赤を強調", -1, -1, +2},
    {"ciry", &Tiroform::ciryMouseDown, qRgb(255, 255, 0), 120, 48, "黄色を強調", -2, +1, +1},
    {"cirg", &Tiroform::cirgMouseDown, qRgb(0, 128, 0), 120, 104, "緑を強調", -1, +2, -1},
    {"circ", &Tiroform::circMouseDown, qRgb(0, 255, 255), 72, 128, "シアンを強調", +1, +1, -2},
    {"cirb", &Tiroform::cirbMouseDown, qRgb(0, 0, 255), 24, 104, "青を強調", +2, -1, -1},
    {"cirm", &Tiroform::cirmMouseDown, qRgb(128, 0, 128), 24, 48, "マゼンダを強調", +1, -2, +1},
}};

// A filled circle in its box that reports a press of any mouse button.
class CircleShape : public QWidget {
public:
    CircleShape(QWidget* parent, QColor colour, std::function<void()> pressed)
        : QWidget(parent), colour_(colour), pressed_(std::move(pressed)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setPen(Qt::black);
        painter.setBrush(colour_);
        const int side = std::min(width(), height()) - 1;
        painter.drawEllipse(QRect((width() - side) / 2, (height() - side) / 2, side, side));
    }
    void mousePressEvent(QMouseEvent*) override { pressed_(); }

private:
    QColor colour_;
    std::function<void()> pressed_;
};

int32_t& channelOf(TCorrectionSettings& c, int channel) {
    return channel == 0 ? c.Blue : channel == 1 ? c.Green : c.Red;
}

} // namespace

bool applyWheelStep(WheelColour colour, TCorrectionSettings& settings) {
    const Circle& step = Circles[size_t(colour)];
    const int blue = settings.Blue + step.blue;
    const int green = settings.Green + step.green;
    const int red = settings.Red + step.red;
    for (int value : {blue, green, red})
        if (value < -50 || value > 50)
            return false;
    settings.Blue = blue;
    settings.Green = green;
    settings.Red = red;
    return true;
}

Tiroform::Tiroform(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("iroform"));
    setWindowTitle(QStringLiteral("カラーバランスの調整"));
    dialogs::makeSilverDialog(this, 440, 314);
    buildControls();
    FormCreate();
}

Tiroform::~Tiroform() {
    FormDestroy();
}

void Tiroform::buildControls() {
    for (size_t i = 0; i < Circles.size(); ++i) {
        const Circle& c = Circles[i];
        auto* shape =
            new CircleShape(this, QColor(c.colour), [this, &c] { (this->*c.mouseDown)(); });
        shape->setObjectName(QString::fromLatin1(c.name));
        shape->setGeometry(c.left, c.top, 49, 57);
        shape->setToolTip(QString::fromUtf8(c.hint));
        circles[i] = shape;
    }
    dialogs::addLabel(this, QStringLiteral("Label7"), QStringLiteral("赤"), 88, 8);
    dialogs::addLabel(this, QStringLiteral("Label2"), QStringLiteral("黄"), 160, 40);
    dialogs::addLabel(this, QStringLiteral("Label3"), QStringLiteral("緑"), 168, 152);
    dialogs::addLabel(this, QStringLiteral("Label4"), QStringLiteral("シアン"), 80, 184);
    dialogs::addLabel(this, QStringLiteral("Label5"), QStringLiteral("青"), 8, 152);
    dialogs::addLabel(this, QStringLiteral("Label6"), QStringLiteral("ﾏｾﾞﾝﾀﾞ"), 8, 36);
    dialogs::addLabel(this, QStringLiteral("Label1"),
                      QStringLiteral("色ボタン上でマウスをクリック"), 32, 208, 12);

    struct Bar {
        const char* name;
        int top;
        const char* hint;
        const char* valueName;
        const char* left;
        int leftX, leftY;
        const char* leftName;
        const char* right;
        int rightY;
        const char* rightName;
    };
    const std::array<Bar, 3> bars{{
        {"TrackBar1", 8, "青の輝度を調整", "Label14", "黄", 240, 16, "Label9", "青", 16, "Label12"},
        {"TrackBar2", 64, "緑の輝度を調整", "Label15", "ﾏｾﾞﾝﾀﾞ", 224, 72, "Label13", "緑", 72,
         "Label10"},
        {"TrackBar3", 120, "赤の輝度を調整", "Label16", "シアン", 224, 120, "Label11", "赤", 128,
         "Label8"},
    }};
    for (size_t i = 0; i < bars.size(); ++i) {
        const Bar& b = bars[i];
        auto* slider = new QSlider(Qt::Horizontal, this);
        slider->setObjectName(QString::fromLatin1(b.name));
        slider->setRange(-50, 50);
        slider->setTickPosition(QSlider::TicksBelow);
        slider->setTickInterval(1);
        slider->setGeometry(264, b.top, 137, 33);
        slider->setToolTip(QString::fromUtf8(b.hint));
        TrackBar[i] = slider;
        dialogs::addLabel(this, QString::fromLatin1(b.leftName), QString::fromUtf8(b.left), b.leftX,
                          b.leftY);
        dialogs::addLabel(this, QString::fromLatin1(b.rightName), QString::fromUtf8(b.right), 400,
                          b.rightY);
        auto* value = new QLabel(QStringLiteral("0"), this);
        value->setObjectName(QString::fromLatin1(b.valueName));
        value->setFont(dialogs::dialogFont(19));
        value->setAlignment(Qt::AlignCenter);
        value->setGeometry(312, b.top + 32, 41, 19);
        valueLabels[i] = value;
        connect(slider, &QSlider::valueChanged, this,
                platform::guardedSlot([this, i] { TrackBarChange(int(i)); }));
    }

    Button3 = dialogs::addButton(this, QStringLiteral("Button3"), QStringLiteral("プレビュー"),
                                 {248, 176, 73, 41}, QStringLiteral("設定した変更を表示"));
    Button4 = dialogs::addButton(this, QStringLiteral("Button4"), QStringLiteral("リセット"),
                                 {352, 176, 65, 41}, QStringLiteral("設定をクリア"));
    QFrame* bevel = dialogs::addBevel(this, {280, 240, 129, 65});
    bevel->setObjectName(QStringLiteral("Bevel1"));
    RadioButton1 = new QRadioButton(QStringLiteral("入力時に補正"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setGeometry(288, 248, 113, 17);
    RadioButton2 = new QRadioButton(QStringLiteral("出力時に補正"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setGeometry(288, 280, 113, 17);
    RadioButton2->setChecked(true);
    for (QRadioButton* radio : {RadioButton1, RadioButton2})
        radio->setFont(dialogs::dialogFont(15));
    Button1 = dialogs::addButton(this, QStringLiteral("Button1"), QStringLiteral("ＯＫ"),
                                 {40, 256, 73, 41}, QStringLiteral("変更を確定してビューアに戻る"));
    Button1->setDefault(true);
    Button2 = dialogs::addButton(this, QStringLiteral("Button2"), QStringLiteral("キャンセル"),
                                 {152, 256, 73, 41},
                                 QStringLiteral("変更をキャンセルしてビューアに戻る"));

    connect(RadioButton1, &QRadioButton::toggled, this,
            platform::guardedSlot([this] { RadioButtonClick(); }));
    connect(Button1, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button1Click(); }));
    connect(Button2, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button2Click(); }));
    connect(Button3, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button3Click(); }));
    connect(Button4, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button4Click(); }));
}

void Tiroform::FormCreate() {
    const platform::Profile ini(platform::settingsFilePath());
    const int top = ini.readInteger(Section, QStringLiteral("Top"), 0);
    const int left = ini.readInteger(Section, QStringLiteral("Left"), 0);
    move(left, top);
}

void Tiroform::FormDestroy() {
    platform::Profile ini(platform::settingsFilePath());
    ini.writeInteger(Section, QStringLiteral("Top"), y());
    ini.writeInteger(Section, QStringLiteral("Left"), x());
    ini.save();
}

void Tiroform::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        platform::guarded([this] { FormShow(); });
}

void Tiroform::FormShow() {
    const TCorrectionSettings& c = CorrectionSettings;
    savedBlue_ = c.Blue;
    savedRed_ = c.Red;
    savedGreen_ = c.Green;
    savedCLBL_ = c.CLBL;
    refreshDisplay();
    const QSignalBlocker quiet1(RadioButton1);
    const QSignalBlocker quiet2(RadioButton2);
    (c.CLBL ? RadioButton2 : RadioButton1)->setChecked(true);
}

void Tiroform::refreshDisplay() {
    TCorrectionSettings& c = CorrectionSettings;
    for (int channel = 0; channel < 3; ++channel) {
        const int value = channelOf(c, channel);
        valueLabels[size_t(channel)]->setText(QString::asprintf("%d", value));
        const QSignalBlocker quiet(TrackBar[size_t(channel)]);
        TrackBar[size_t(channel)]->setValue(value);
    }
}

void Tiroform::TrackBarChange(int channel) {
    const int value = TrackBar[size_t(channel)]->value();
    channelOf(CorrectionSettings, channel) = value;
    valueLabels[size_t(channel)]->setText(QString::asprintf("%d", value));
}

void Tiroform::cirrMouseDown() {
    CircleMouseDown(WheelColour::Red);
}
void Tiroform::ciryMouseDown() {
    CircleMouseDown(WheelColour::Yellow);
}
void Tiroform::cirgMouseDown() {
    CircleMouseDown(WheelColour::Green);
}
void Tiroform::circMouseDown() {
    CircleMouseDown(WheelColour::Cyan);
}
void Tiroform::cirbMouseDown() {
    CircleMouseDown(WheelColour::Blue);
}
void Tiroform::cirmMouseDown() {
    CircleMouseDown(WheelColour::Magenta);
}

void Tiroform::CircleMouseDown(WheelColour colour) {
    applyWheelStep(colour, CorrectionSettings);
    refreshDisplay();
}

void Tiroform::RadioButtonClick() {
    CorrectionSettings.CLBL = !RadioButton1->isChecked();
}

int Tiroform::previewMode() const {
    if (RadioButton1->isChecked())
        return CorrectionSettings.ToneBL ? ColourOnly : InputTimeOnly;
    return BothCorrections;
}

void Tiroform::Button3Click() {
    DrawPreview(previewMode());
}

void Tiroform::Button1Click() {
    DrawPreview(InputTimeOnly);
    QDialog::reject(); // the viewer ignores the result
}

void Tiroform::Button2Click() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Blue = savedBlue_;
    c.Red = savedRed_;
    c.Green = savedGreen_;
    c.CLBL = savedCLBL_;
    DrawPreview(InputTimeOnly);
    QDialog::reject();
}

void Tiroform::Button4Click() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Blue = 0;
    c.Red = 0;
    c.Green = 0;
    refreshDisplay();
}

void Tiroform::reject() {
    platform::guarded([this] { Button2Click(); });
}
