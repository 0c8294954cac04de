#include "correction/hilite.h"

#include "correction/pipeline.h"
#include "correction/preview.h"
#include "correction/settings.h"
#include "dialogs/dialogframe.h"
#include "imaging/fullsize.h"
#include "platform/dib.h"
#include "platform/guard.h"
#include "platform/imagecontrol.h"
#include "platform/memory.h"
#include "platform/profile.h"
#include "platform/spinedit.h"

#include <QCheckBox>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>

#include <cstring>
#include <functional>

TForm3* Form3 = nullptr;

namespace {

const QString Section = QStringLiteral("Tone");
constexpr int HistogramWidth = 256;
constexpr int HistogramHeight = 101;
constexpr int MarkerStripWidth = 277;

// A plain surface whose painting is the dialog's.
class PaintBox : public QWidget {
public:
    PaintBox(QWidget* parent, std::function<void(QPainter&)> paint)
        : QWidget(parent), paint_(std::move(paint)) {}

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        paint_(painter);
    }

private:
    std::function<void(QPainter&)> paint_;
};

TAutoLevels levelsOfTheDialog() {
    if (!Form3)
        return {};
    return {Form3->CheckBox2->isChecked(), Form3->SpinEdit4->value(), Form3->SpinEdit5->value()};
}

QFrame* bevel(QWidget* parent, const char* name, const QRect& geometry) {
    QFrame* frame = dialogs::addBevel(parent, geometry);
    frame->setObjectName(QString::fromLatin1(name));
    return frame;
}

QSpinBox* spinBox(QWidget* parent, const char* name, int left, int top, int minimum, int maximum,
                  int value, const QString& hint = {}) {
    auto* box = new platform::SpinEdit(parent);
    box->setObjectName(QString::fromLatin1(name));
    box->setFont(dialogs::dialogFont(16));
    box->setGeometry(left, top, 100, 26);
    box->setRange(minimum, maximum);
    box->setValue(value);
    box->setToolTip(hint);
    return box;
}

} // namespace

DisplayHistogram displayHistogramOf(const uint8_t* rows, int32_t width, int32_t height) {
    DisplayHistogram counts{};
    const size_t rowBytes = size_t(DibImageSizeOf(width, 1));
    for (int32_t y = 0; y < height; ++y) {
        const uint8_t* p = rows + size_t(y) * rowBytes;
        for (int32_t x = 0; x < width; ++x, p += 3)
            ++counts[(p[0] + p[1] + p[2]) / 3];
    }
    return counts;
}

int32_t histogramScale(const DisplayHistogram& counts) {
    int64_t total = 0;
    int64_t levels = 0;
    for (int32_t count : counts) {
        total += count;
        levels += count != 0;
    }
    return levels == 0 ? 0 : int32_t(total * 256 / 100 / levels);
}

void drawHistogram(platform::ImageControl& image, const DisplayHistogram& counts, int32_t scale) {
    QImage drawing(HistogramWidth, HistogramHeight, QImage::Format_RGB32);
    drawing.fill(Qt::white);
    QPainter painter(&drawing);
    painter.setPen(Qt::black);
    painter.drawRect(0, 0, HistogramWidth - 1, HistogramHeight - 1);
    if (scale == 0)
        scale = 100;
    for (int i = 0; i < 256; ++i) {
        const int64_t bar = int64_t(counts[size_t(i)]) * (HistogramHeight - 1) / scale;
        if (bar <= 0)
            continue;
        const int x = i * HistogramWidth / 255 + 1;
        const int top = int(std::max<int64_t>(0, HistogramHeight - 1 - bar));
        // The bar's pixels from the bottom row up, the end point left out.
        painter.drawLine(x, HistogramHeight - 1, x, top + 1);
    }
    painter.end();
    image.setPicture(drawing);
}

TForm3::TForm3(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form3"));
    setWindowTitle(QStringLiteral("トーンバランスの調整"));
    dialogs::makeSilverDialog(this, 416, 403);
    buildControls();
    FormCreate();
    AutoLevelsFrom = levelsOfTheDialog;
}

TForm3::~TForm3() {
    FormDestroy();
    if (AutoLevelsFrom == levelsOfTheDialog)
        AutoLevelsFrom = nullptr;
}

void TForm3::buildControls() {
    bevel(this, "Bevel2", {8, 8, 121, 153});
    bevel(this, "Bevel3", {136, 8, 121, 153});
    bevel(this, "Bevel1", {280, 96, 121, 65});
    dialogs::addLabel(this, QStringLiteral("Label1"), QStringLiteral("ハイライト(階調）"), 16, 8);
    SpinEdit1 =
        spinBox(this, "SpinEdit1", 16, 24, 0, 255, 100, QStringLiteral("高輝度の位置を設定"));
    dialogs::addLabel(this, QStringLiteral("Label2"), QStringLiteral("ミドル(%)"), 16, 56);
    SpinEdit2 =
        spinBox(this, "SpinEdit2", 16, 72, 10, 90, 50, QStringLiteral("中輝度の位置を設定"));
    dialogs::addLabel(this, QStringLiteral("Label3"), QStringLiteral("シャドウ（階調）"), 16, 104);
    SpinEdit3 =
        spinBox(this, "SpinEdit3", 16, 120, 0, 255, 0, QStringLiteral("低輝度の位置を設定"));
    CheckBox2 = new QCheckBox(QStringLiteral("自動補正"), this);
    CheckBox2->setObjectName(QStringLiteral("CheckBox2"));
    CheckBox2->setFont(dialogs::dialogFont(15));
    CheckBox2->setGeometry(152, 24, 89, 17);
    dialogs::addLabel(this, QStringLiteral("Label5"), QStringLiteral("ハイライト損失率(‰)"), 144,
                      56, 12);
    SpinEdit4 = spinBox(this, "SpinEdit4", 144, 72, 0, 100, 0);
    dialogs::addLabel(this, QStringLiteral("Label6"), QStringLiteral("シャドウ損失率(‰)"), 144, 104,
                      12);
    SpinEdit5 = spinBox(this, "SpinEdit5", 144, 120, 0, 100, 0);
    Button3 = dialogs::addButton(this, QStringLiteral("Button3"), QStringLiteral("プレビュー"),
                                 {264, 16, 65, 41}, QStringLiteral("設定した変更を表示"));
    Button4 = dialogs::addButton(this, QStringLiteral("Button4"), QStringLiteral("リセット"),
                                 {344, 16, 57, 41}, QStringLiteral("設定をクリア"));
    RadioButton1 = new QRadioButton(QStringLiteral("入力時補正"), this);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton1->setGeometry(288, 104, 97, 17);
    RadioButton2 = new QRadioButton(QStringLiteral("出力時補正"), this);
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton2->setGeometry(288, 136, 97, 17);
    RadioButton2->setChecked(true);
    for (QRadioButton* radio : {RadioButton1, RadioButton2})
        radio->setFont(dialogs::dialogFont(15));
    dialogs::addLabel(this, QStringLiteral("Label4"), QStringLiteral("ヒストグラム"), 160, 188, 19);
    Image1 = new platform::ImageControl(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(80, 208, HistogramWidth, HistogramHeight);
    PaintBox2 = new PaintBox(this, [this](QPainter& painter) {
        painter.setPen(Qt::white);
        painter.setBrush(QColor(0, 0, 255));
        for (int x : markerPositions()) {
            const QPoint corners[] = {{x + 10, 0}, {x + 15, 15}, {x + 5, 15}};
            painter.drawPolygon(corners, 3);
        }
    });
    PaintBox2->setObjectName(QStringLiteral("PaintBox2"));
    PaintBox2->setGeometry(72, 312, MarkerStripWidth, 25);
    Button1 = dialogs::addButton(this, QStringLiteral("Button1"), QStringLiteral("OK"),
                                 {96, 344, 73, 41}, QStringLiteral("変更を確定してビューアに戻る"));
    Button2 = dialogs::addButton(this, QStringLiteral("Button2"), QStringLiteral("キャンセル"),
                                 {256, 344, 73, 41},
                                 QStringLiteral("変更をキャンセルしてビューアに戻る"));

    const auto onValue = [this](QSpinBox* box, void (TForm3::*handler)()) {
        connect(box, &QSpinBox::valueChanged, this,
                platform::guardedSlot([this, handler] { (this->*handler)(); }));
    };
    onValue(SpinEdit1, &TForm3::SpinEdit1Change);
    onValue(SpinEdit2, &TForm3::SpinEdit2Change);
    onValue(SpinEdit3, &TForm3::SpinEdit3Change);
    const auto repaintMarkers = [this] { PaintBox2->update(); };
    connect(SpinEdit4, &QSpinBox::valueChanged, this, repaintMarkers);
    connect(SpinEdit5, &QSpinBox::valueChanged, this, repaintMarkers);
    connect(CheckBox2, &QCheckBox::toggled, this, repaintMarkers);
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

void TForm3::FormCreate() {
    const platform::Profile ini(platform::settingsFilePath());
    const int top = ini.readInteger(Section, QStringLiteral("Top"), 0);
    const int left = ini.readInteger(Section, QStringLiteral("Left"), 0);
    move(left, top);
    CheckBox2->setChecked(ini.readBool(Section, QStringLiteral("Auto"), false));
    SpinEdit4->setValue(ini.readInteger(Section, QStringLiteral("Levelh"), 0));
    SpinEdit5->setValue(ini.readInteger(Section, QStringLiteral("Levell"), 0));
}

void TForm3::FormDestroy() {
    platform::Profile ini(platform::settingsFilePath());
    ini.writeInteger(Section, QStringLiteral("Top"), y());
    ini.writeInteger(Section, QStringLiteral("Left"), x());
    ini.writeInteger(Section, QStringLiteral("Levelh"), SpinEdit4->value());
    ini.writeInteger(Section, QStringLiteral("Levell"), SpinEdit5->value());
    ini.writeBool(Section, QStringLiteral("Auto"), CheckBox2->isChecked());
    ini.save();
}

void TForm3::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        platform::guarded([this] { FormShow(); });
}

void TForm3::showLevel(QSpinBox* box, int value, void (TForm3::*handler)()) {
    {
        const QSignalBlocker quiet(box);
        box->setValue(value); // clamped to the box's range
    }
    (this->*handler)();
}

void TForm3::FormShow() {
    TCorrectionSettings& c = CorrectionSettings;
    showLevel(SpinEdit1, c.Hitone / 10, &TForm3::SpinEdit1Change);
    showLevel(SpinEdit2, c.Midtone / 10, &TForm3::SpinEdit2Change);
    showLevel(SpinEdit3, c.Lowtone / 10, &TForm3::SpinEdit3Change);
    savedToneBL_ = c.ToneBL;
    {
        const QSignalBlocker quiet1(RadioButton1);
        const QSignalBlocker quiet2(RadioButton2);
        (c.ToneBL ? RadioButton2 : RadioButton1)->setChecked(true);
    }
    savedHitone_ = c.Hitone;
    savedMidtone_ = c.Midtone;
    savedLowtone_ = c.Lowtone;
    c.ToneBL = !RadioButton1->isChecked();

    // A picture the corrections may not touch keeps the last picture's histogram.
    if (Correctable) {
        if (LoadResult == HeldAsDib) {
            const platform::LockedBlock header(CurrentDib.header);
            const platform::LockedBlock pixels(CurrentDib.pixels);
            platform::BitmapInfoHeader info{};
            std::memcpy(&info, header.data(), sizeof info);
            histogram_ =
                displayHistogramOf(pixels.as<const uint8_t>(), info.biWidth, info.biHeight);
        } else if (CorrectionPreview.original && !CorrectionPreview.original->isNull()) {
            const QImage& original = *CorrectionPreview.original;
            const auto dib = platform::imageToDib(original, 24);
            if (dib)
                histogram_ =
                    displayHistogramOf(reinterpret_cast<const uint8_t*>(dib.value.constData()) +
                                           sizeof(platform::BitmapInfoHeader),
                                       original.width(), original.height());
        }
        scale_ = histogramScale(histogram_);
    }
    drawHistogram(*Image1, histogram_, scale_);
    PaintBox2->update();
}

void TForm3::SpinEdit1Change() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Hitone = SpinEdit1->value() * 10;
    if (c.Lowtone + 10 > c.Hitone) {
        c.Hitone = c.Lowtone + 10;
        const QSignalBlocker quiet(SpinEdit1);
        SpinEdit1->setValue(c.Hitone / 10);
    }
    PaintBox2->update();
}

void TForm3::SpinEdit2Change() {
    CorrectionSettings.Midtone = SpinEdit2->value() * 10;
    PaintBox2->update();
}

void TForm3::SpinEdit3Change() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Lowtone = SpinEdit3->value() * 10;
    if (c.Hitone - 10 < c.Lowtone) {
        c.Lowtone = c.Hitone - 10;
        const QSignalBlocker quiet(SpinEdit3);
        SpinEdit3->setValue(c.Lowtone / 10);
    }
    PaintBox2->update();
}

void TForm3::RadioButtonClick() {
    CorrectionSettings.ToneBL = !RadioButton1->isChecked();
}

int TForm3::previewMode() const {
    if (RadioButton1->isChecked())
        return CorrectionSettings.CLBL ? ToneOnly : InputTimeOnly;
    return BothCorrections;
}

std::array<int, 3> TForm3::markerPositions() const {
    const TCorrectionSettings& c = CorrectionSettings;
    std::array<int32_t, 3> levels;
    if (CheckBox2->isChecked()) {
        FindAutoLevels();
        levels = {CurveHigh, CurveMid, CurveLow};
    } else {
        levels = {c.Hitone, c.Lowtone + (c.Hitone - c.Lowtone) * c.Midtone / 1000, c.Lowtone};
    }
    std::array<int, 3> x{};
    for (size_t i = 0; i < levels.size(); ++i)
        x[i] = int(int64_t(levels[i]) * MarkerStripWidth / 2750);
    return x;
}

void TForm3::Button3Click() {
    DrawPreview(previewMode());
}

void TForm3::Button1Click() {
    DrawPreview(InputTimeOnly);
    QDialog::reject(); // the viewer ignores the result
}

void TForm3::Button2Click() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Hitone = savedHitone_;
    c.Midtone = savedMidtone_;
    c.Lowtone = savedLowtone_;
    c.ToneBL = savedToneBL_;
    DrawPreview(InputTimeOnly);
    QDialog::reject();
}

void TForm3::Button4Click() {
    TCorrectionSettings& c = CorrectionSettings;
    c.Hitone = 2550;
    c.Midtone = 500;
    c.Lowtone = 0;
    for (auto [box, value] : {std::pair{SpinEdit1, 255}, {SpinEdit2, 50}, {SpinEdit3, 0}}) {
        const QSignalBlocker quiet(box);
        box->setValue(value);
    }
    PaintBox2->update();
}

void TForm3::reject() {
    platform::guarded([this] { Button2Click(); });
}
