#include "printing/prn1.h"

#include "printing/printsettings.h"

#include "platform/guard.h"
#include "platform/imagecontrol.h"
#include "platform/interaction.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "platform/spinedit.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QShowEvent>
#include <QSignalBlocker>
#include <QSpinBox>

#include <algorithm>

TForm4* Form4 = nullptr;
TPrintSettings PrintSettings;
bool PrintConfirmed = false;
int PrintPictureTotal = 0;

namespace {

const QString Section = QStringLiteral("PRNSET");

const QColor Silver(192, 192, 192);
const QColor PaperGrey(136, 136, 136);
const QColor CellBlue(0, 0, 255);
const QColor FrameBlue(102, 102, 255);

// A rectangle as the preview draws it: the outline on its edge pixels, the fill inside.
void rectangle(QImage& image, const Corners& c, const QColor& fill, const QColor& outline) {
    if (c.right <= c.left || c.bottom <= c.top)
        return;
    QPainter painter(&image);
    painter.fillRect(QRect(c.left, c.top, c.right - c.left, c.bottom - c.top), outline);
    if (c.right - c.left > 2 && c.bottom - c.top > 2)
        painter.fillRect(QRect(c.left + 1, c.top + 1, c.right - c.left - 2, c.bottom - c.top - 2),
                         fill);
}

// The font style as stored: bit 0 bold, 1 italic, 2 underline, 3 strike-out.
} // namespace

TForm4::TForm4(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("Form4"));
    setWindowTitle(QStringLiteral("印刷設定"));
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setFixedSize(560, 400);
    buildControls();
    paper_ = ::FitPreviewPaper(2480, 3508); // until the print job names its page
    FormCreate();
}

TForm4::~TForm4() {
    FormDestroy();
}

void TForm4::buildControls() {
    auto label = [this](const QString& text, int left, int top, const QString& name = {}) {
        auto* l = new QLabel(text, this);
        if (!name.isEmpty())
            l->setObjectName(name);
        l->move(left, top);
        l->resize(std::max(l->sizeHint().width(), 60), l->sizeHint().height());
        return l;
    };

    label(QStringLiteral("印刷レイアウト"), 8, 4);
    Image1 = new platform::ImageControl(this);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setGeometry(8, 22, PreviewWidth, PreviewHeight);
    QImage surface(PreviewWidth, PreviewHeight, QImage::Format_RGB32);
    surface.fill(Silver);
    Image1->setPicture(surface);
    Label14 = label(QString(), 8, 332, QStringLiteral("Label14"));
    Label15 = label(QString(), 8, 350, QStringLiteral("Label15"));
    Label14->setFixedWidth(225);
    Label15->setFixedWidth(225);

    // The spin boxes: design name, caption, range, characters, hint, place.
    struct SpinRow {
        int index;
        const char* caption;
        int maximum;
        int characters;
        const char* hint;
        int left, top;
        int distance; // index into distanceLabels, -1 for none
    };
    const SpinRow rows[] = {
        {0, "縦（列）", 50, 3, "縦の列数を入力", 244, 24, -1},
        {6, "横（行）", 99, 2, "横の行数を入力", 244, 52, -1},
        {1, "縦方向余白", 500, 3, "中余白の量を入力", 244, 86, 0},
        {7, "横方向余白", 500, 3, "", 244, 114, 1},
        {2, "上余白", 999, 3, "上余白の量を入力", 244, 148, 2},
        {3, "下余白", 999, 3, "下余白の量を入力", 244, 176, 3},
        {4, "左余白", 999, 3, "左余白の量を入力", 244, 204, 4},
        {5, "右余白", 999, 3, "右余白の量を入力", 244, 232, 5},
    };
    const std::array<int, 6> distanceNames{18, 23, 19, 20, 21, 22};
    for (const SpinRow& r : rows) {
        label(QString::fromUtf8(r.caption), r.left, r.top + 4);
        auto* box = new platform::SpinEdit(this, r.characters);
        box->setObjectName(QStringLiteral("SpinEdit%1").arg(r.index + 1));
        box->setRange(r.index == 0 || r.index == 6 ? 1 : 0, r.maximum);
        box->setToolTip(QString::fromUtf8(r.hint));
        box->setGeometry(r.left + 72, r.top, 56, 24);
        SpinEdit[size_t(r.index)] = box;
        if (r.distance >= 0)
            distanceLabels[size_t(r.distance)] =
                label(QString(), r.left + 134, r.top + 4,
                      QStringLiteral("Label%1").arg(distanceNames[size_t(r.distance)]));
        connect(box, &QSpinBox::valueChanged, this,
                platform::guardedSlot([this, i = r.index] { SpinEditChange(i); }));
    }
    // What the controls show before the dialog is first shown.
    const int designValues[] = {1, 40, 17, 17, 0, 0, 1, 40};
    for (size_t i = 0; i < SpinEdit.size(); ++i) {
        const QSignalBlocker quiet(SpinEdit[i]);
        SpinEdit[i]->setValue(designValues[i]);
    }

    RadioGroup2 = new QGroupBox(QStringLiteral("用紙の向き"), this);
    RadioGroup2->setObjectName(QStringLiteral("RadioGroup2"));
    RadioGroup2->setToolTip(QStringLiteral("用紙の向きを選択"));
    RadioGroup2->setGeometry(244, 262, 140, 48);
    orientationButtons[0] = new QRadioButton(QStringLiteral("縦置き"), RadioGroup2);
    orientationButtons[1] = new QRadioButton(QStringLiteral("横置き"), RadioGroup2);
    orientationButtons[0]->setGeometry(8, 20, 60, 22);
    orientationButtons[1]->setGeometry(72, 20, 60, 22);
    orientationButtons[0]->setChecked(true);
    for (QRadioButton* b : orientationButtons)
        connect(b, &QRadioButton::toggled, this, [this](bool on) {
            if (on)
                platform::guarded([this] { RadioGroup2Click(); });
        });

    auto checkBox = [this](const QString& name, const QString& text, const QString& hint, int left,
                           int top) {
        auto* box = new QCheckBox(text, this);
        box->setObjectName(name);
        box->setToolTip(hint);
        box->setGeometry(left, top, 118, 22);
        return box;
    };
    CheckBox1 = checkBox(QStringLiteral("CheckBox1"), QStringLiteral("仕切線"),
                         QStringLiteral("仕切線を印刷"), 436, 24);
    CheckBox2 = checkBox(QStringLiteral("CheckBox2"), QStringLiteral("ファイル名"),
                         QStringLiteral("ファイル名を印刷"), 436, 48);
    CheckBox3 = checkBox(QStringLiteral("CheckBox3"), QStringLiteral("日時"),
                         QStringLiteral("撮影日時を印刷（撮影日時の記録がないファイルは更新日時）"),
                         436, 72);
    CheckBox5 = checkBox(QStringLiteral("CheckBox5"), QStringLiteral("メモ"), QString(), 436, 96);
    CheckBox4 = checkBox(QStringLiteral("CheckBox4"), QStringLiteral("縦長画像正立"),
                         QStringLiteral("縦長画像は縦長のまま表示"), 436, 120);
    for (QCheckBox* box : {CheckBox2, CheckBox3, CheckBox5})
        connect(box, &QCheckBox::clicked, this,
                platform::guardedSlot([this] { CaptionLinesClick(); }));
    connect(CheckBox4, &QCheckBox::clicked, this,
            platform::guardedSlot([this] { CheckBox4Click(); }));

    auto* dateForm = new QGroupBox(this);
    dateForm->setGeometry(436, 144, 116, 76);
    RadioButton1 = new QRadioButton(QStringLiteral("日付と時刻"), dateForm);
    RadioButton2 = new QRadioButton(QStringLiteral("日付のみ"), dateForm);
    RadioButton3 = new QRadioButton(QStringLiteral("時刻のみ"), dateForm);
    RadioButton1->setObjectName(QStringLiteral("RadioButton1"));
    RadioButton2->setObjectName(QStringLiteral("RadioButton2"));
    RadioButton3->setObjectName(QStringLiteral("RadioButton3"));
    RadioButton1->setGeometry(8, 4, 104, 22);
    RadioButton2->setGeometry(8, 26, 104, 22);
    RadioButton3->setGeometry(8, 48, 104, 22);
    RadioButton1->setChecked(true);

    label(QStringLiteral("文字高さ"), 436, 228);
    Label8 = label(QString(), 436, 246, QStringLiteral("Label8"));
    Label8->setToolTip(
        QStringLiteral("中余白が文字高さの２倍以上になると文字と画像が重なりません"));
    Label16 = label(QString(), 496, 246, QStringLiteral("Label16"));
    Button5 = new QPushButton(QStringLiteral("フォント"), this);
    Button5->setObjectName(QStringLiteral("Button5"));
    Button5->setToolTip(QStringLiteral("フォント設定ダイアログを開く"));
    Button5->setGeometry(436, 268, 80, 26);
    connect(Button5, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button5Click(); }));

    label(QStringLiteral("総印刷画像数"), 244, 320);
    label(QStringLiteral("１頁画像数"), 244, 336);
    Label12 = label(QString(), 330, 328, QStringLiteral("Label12"));
    Label13 = label(QString(), 244, 356, QStringLiteral("Label13"));
    Label13->setFixedWidth(40);
    Label13->setAlignment(Qt::AlignRight);
    label(QStringLiteral("頁印刷します"), 288, 356);

    Button1 = new QPushButton(QStringLiteral("印刷開始"), this);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setToolTip(QStringLiteral("印刷を実行"));
    Button1->setGeometry(400, 330, 70, 30);
    Button1->setDefault(true);
    Button4 = new QPushButton(QStringLiteral("印刷中止"), this);
    Button4->setObjectName(QStringLiteral("Button4"));
    Button4->setToolTip(QStringLiteral("印刷をしない"));
    Button4->setGeometry(478, 330, 70, 30);
    connect(Button1, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button1Click(); }));
    connect(Button4, &QPushButton::clicked, this,
            platform::guardedSlot([this] { Button4Click(); }));
}

void TForm4::FormCreate() {
    const StoredPrintSettings stored =
        readPrintSettings(platform::Profile(platform::settingsFilePath()));
    PrintSettings = stored.layout;
    const TPrintSettings& s = PrintSettings;
    if (stored.font) {
        // The stored family, size and style on the printer's font.
        QFont font = platform::currentPrinter().font();
        font.setFamily(stored.font->family());
        font.setPointSize(stored.font->pointSize());
        applyFontStyleBits(font, fontStyleBits(*stored.font));
        platform::currentPrinter().setFont(font);
    }
    CheckBox1->setChecked(s.Separators);
    CheckBox2->setChecked(s.FileNameLine);
    CheckBox3->setChecked(s.DateLine);
    CheckBox5->setChecked(s.MemoLine);
    (stored.dateForm == 0   ? RadioButton1
     : stored.dateForm == 1 ? RadioButton2
                            : RadioButton3)
        ->setChecked(true);
}

// Every key in its order; a file that cannot be written is left as it was.
void TForm4::FormDestroy() {
    platform::Profile ini(platform::settingsFilePath());
    const TPrintSettings& s = PrintSettings;
    const QFont font = platform::currentPrinter().font();
    const auto integer = [&](const QString& key, int value) {
        ini.writeInteger(Section, key, value);
    };
    const auto boolean = [&](const QString& key, bool value) {
        ini.writeBool(Section, key, value);
    };
    integer(QStringLiteral("上下余白"), s.VerticalGap);
    integer(QStringLiteral("Top"), s.Top);
    integer(QStringLiteral("Bottom"), s.Bottom);
    integer(QStringLiteral("Left"), s.Left);
    integer(QStringLiteral("Right"), s.Right);
    integer(QStringLiteral("Number"), s.Number);
    boolean(QStringLiteral("仕切線"), s.Separators);
    boolean(QStringLiteral("Filename"), s.FileNameLine);
    boolean(QStringLiteral("date"), s.DateLine);
    boolean(QStringLiteral("memo"), s.MemoLine);
    ini.writeString(Section, QStringLiteral("FontName"), font.family());
    integer(QStringLiteral("FontSize"), font.pointSize());
    integer(QStringLiteral("FontStyle"), fontStyleBits(font));
    boolean(QStringLiteral("正立"), s.KeepUpright);
    integer(QStringLiteral("向き"), s.Orientation);
    integer(QStringLiteral("列"), s.Columns);
    integer(QStringLiteral("行"), s.Rows);
    integer(QStringLiteral("左右余白"), s.HorizontalGap);
    integer(QStringLiteral("FDate"), dateForm());
    ini.save();
}

int TForm4::dateForm() const {
    return RadioButton1->isChecked() ? 0 : RadioButton2->isChecked() ? 1 : 2;
}

void TForm4::FitPreviewPaper(int width, int height) {
    paper_ = ::FitPreviewPaper(width, height);
}

void TForm4::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (event->spontaneous())
        return;
    if (const QScreen* screen = QGuiApplication::primaryScreen())
        move(screen->geometry().center() - rect().center());
    showing_ = true;
    platform::guarded([this] { FormShow(); });
    showing_ = false;
}

void TForm4::done(int result) {
    if (showing_) {
        QMetaObject::invokeMethod(
            this, [this, result] { done(result); }, Qt::QueuedConnection);
        return;
    }
    QDialog::done(result);
}

void TForm4::FormShow() {
    showValues(PrintSettings);
    CheckBox4->setChecked(PrintSettings.KeepUpright);
    DrawLayoutPreview();
    LastAccepted = controlValues();
    ShowPageCount();
}

void TForm4::showValues(const TPrintSettings& v) {
    const std::array<int32_t, 8> values{v.Columns, v.VerticalGap, v.Top,  v.Bottom,
                                        v.Left,    v.Right,       v.Rows, v.HorizontalGap};
    for (size_t i = 0; i < SpinEdit.size(); ++i) {
        const QSignalBlocker quiet(SpinEdit[i]);
        SpinEdit[i]->setValue(values[i]);
    }
    for (QRadioButton* b : orientationButtons) {
        const QSignalBlocker quiet(b);
        b->setChecked(b == orientationButtons[size_t(v.Orientation == 1)]);
    }
    const QSignalBlocker quiet(CheckBox4);
    CheckBox4->setChecked(v.KeepUpright);
}

int TForm4::orientationIndex() const {
    return orientationButtons[1]->isChecked() ? 1 : 0;
}

TPrintSettings TForm4::controlValues() const {
    TPrintSettings v = PrintSettings;
    v.Columns = SpinEdit[0]->value();
    v.VerticalGap = SpinEdit[1]->value();
    v.Top = SpinEdit[2]->value();
    v.Bottom = SpinEdit[3]->value();
    v.Left = SpinEdit[4]->value();
    v.Right = SpinEdit[5]->value();
    v.Rows = SpinEdit[6]->value();
    v.HorizontalGap = SpinEdit[7]->value();
    v.Orientation = orientationIndex();
    v.KeepUpright = CheckBox4->isChecked();
    v.Separators = CheckBox1->isChecked();
    v.FileNameLine = CheckBox2->isChecked();
    v.DateLine = CheckBox3->isChecked();
    v.MemoLine = CheckBox5->isChecked();
    return v;
}

bool TForm4::DrawLayoutPreview() {
    const TPrintSettings values = controlValues();
    QImage& canvas = Image1->canvas();
    canvas.fill(Silver);
    Image1->update();
    ShowCaptionHeight();
    const LayoutPreview preview = previewLayout(values, paper_);
    if (!preview.accepted)
        return false;
    LastAccepted = values;
    ShowLayoutMeasures();
    rectangle(canvas, preview.paper, PaperGrey, Qt::black);
    for (int k = 0; k < preview.slotCount; ++k) {
        // A change handled here draws the whole preview anew; this drawing then stops.
        PreviewSuperseded = false;
        QCoreApplication::processEvents();
        if (PreviewSuperseded)
            return true;
        QImage& surface = Image1->canvas();
        const LayoutPreview::Slot slot = preview.slot(k);
        rectangle(surface, slot.slot, Silver, Qt::black);
        rectangle(surface, slot.cell, CellBlue, Qt::black);
        rectangle(surface, slot.frame, FrameBlue, FrameBlue);
        Image1->update();
    }
    return true;
}

void TForm4::ShowLayoutMeasures() {
    const platform::Printer& printer = platform::currentPrinter();
    const QSize page = printer.pageSize();
    const LayoutMeasures m =
        layoutMeasures(controlValues(), page.width(), page.height(), printer.resolution());
    Label14->setText(m.pictureSize);
    Label15->setText(m.paperSize);
    for (size_t i = 0; i < distanceLabels.size(); ++i)
        distanceLabels[i]->setText(m.distances[i]);
}

void TForm4::ShowCaptionHeight() {
    const int lines =
        int(CheckBox2->isChecked()) + int(CheckBox3->isChecked()) + int(CheckBox5->isChecked());
    const int size = platform::currentPrinter().font().pointSize();
    Label8->setText(captionHeightText(size, lines));
    Label16->setText(QStringLiteral("(%1ﾎﾟｲﾝﾄ)").arg(size));
}

void TForm4::ShowPageCount() {
    const PageCountTexts t =
        pageCountTexts(PrintPictureTotal, SpinEdit[0]->value(), SpinEdit[6]->value());
    Label12->setText(t.perPage);
    Label13->setText(t.pages);
}

void TForm4::redrawOrRestore() {
    if (!DrawLayoutPreview()) {
        showValues(LastAccepted);
        DrawLayoutPreview();
    }
    PreviewSuperseded = true;
}

void TForm4::SpinEditChange(int index) {
    redrawOrRestore();
    if (index == 0 || index == 6)
        ShowPageCount();
}

void TForm4::RadioGroup2Click() {
    redrawOrRestore();
}

void TForm4::CheckBox4Click() {
    redrawOrRestore();
}

void TForm4::CaptionLinesClick() {
    ShowCaptionHeight();
}

void TForm4::Button5Click() {
    platform::Printer& printer = platform::currentPrinter();
    if (const std::optional<QFont> chosen = platform::chooseFont(printer.font(), this))
        printer.setFont(*chosen);
    ShowCaptionHeight();
}

// Both buttons keep what was edited, for the next print and for the settings file.
void TForm4::commitControls() {
    const TPrintSettings values = controlValues();
    const int32_t number = PrintSettings.Number;
    PrintSettings = values;
    PrintSettings.Number = number;
}

void TForm4::Button1Click() {
    PrintConfirmed = true;
    commitControls();
    QDialog::accept();
}

void TForm4::Button4Click() {
    PrintConfirmed = false;
    commitControls();
    QDialog::reject();
}

void TForm4::reject() {
    platform::guarded([this] { Button4Click(); });
}
