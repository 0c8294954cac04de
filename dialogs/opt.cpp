#include "dialogs/opt.h"

#include "app/mainstate.h"
#include "dialogs/dialogframe.h"
#include "platform/guard.h"
#include "platform/profile.h"

#include <QCheckBox>
#include <QPushButton>
#include <QShowEvent>

TOKBottomDlg2* OKBottomDlg2 = nullptr;

namespace {

const QString Section = QStringLiteral("Option");
const QString SmoothKey = QStringLiteral("Smooth");
const QString KaitenKey = QStringLiteral("Kaiten");
const QString MemoKey = QStringLiteral("Memo");

QCheckBox* checkBox(QWidget* dialog, const QString& name, const QString& caption,
                    const QString& hint, int top) {
    auto* box = new QCheckBox(caption, dialog);
    box->setObjectName(name);
    box->setFont(dialogs::dialogFont(15));
    box->setToolTip(hint);
    box->setGeometry(24, top, 252, 24);
    return box;
}

QPushButton* button(QWidget* dialog, const QString& name, const QString& caption, int left) {
    auto* b = new QPushButton(caption, dialog);
    b->setObjectName(name);
    b->setGeometry(left, 132, 75, 25);
    return b;
}

} // namespace

TOKBottomDlg2::TOKBottomDlg2(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg2"));
    setWindowTitle(QStringLiteral("ﾀﾞｲｱﾛｸﾞ"));
    dialogs::makeFixedDialog(this, 300, 170);
    dialogs::addBevel(this, QRect(8, 8, 284, 112));
    CheckBox1 =
        checkBox(this, QStringLiteral("CheckBox1"), QStringLiteral("Ｊ６Ｉファイルスムージング"),
                 QStringLiteral("J6Iﾌｧｲﾙ768*576表示時にスムージングをかける"), 20);
    checkbox2 =
        checkBox(this, QStringLiteral("checkbox2"), QStringLiteral("Ｊ６Ｉファイルの回転の判別"),
                 QStringLiteral("J6I･JPEG･TIFFﾌｧｲﾙの回転画像を正立表示する"), 52);
    CheckBox3 = checkBox(this, QStringLiteral("CheckBox3"),
                         QStringLiteral("メモを自動的に保存する"), QString(), 84);
    OKBtn = button(this, QStringLiteral("OKBtn"), QStringLiteral("OK"), 68);
    OKBtn->setDefault(true);
    CancelBtn = button(this, QStringLiteral("CancelBtn"), QStringLiteral("ｷｬﾝｾﾙ"), 157);

    // Toggled rather than clicked, so that the shared switch follows every change of the box.
    connect(CheckBox3, &QCheckBox::toggled, this,
            platform::guardedSlot([this] { CheckBox3Click(); }));
    connect(OKBtn, &QPushButton::clicked, this, platform::guardedSlot([this] { OKBtnClick(); }));
    connect(CancelBtn, &QPushButton::clicked, this,
            platform::guardedSlot([this] { CancelBtnClick(); }));
    FormCreate();
}

TOKBottomDlg2::~TOKBottomDlg2() {
    FormDestroy();
}

void TOKBottomDlg2::reject() {
    platform::guarded([this] { CancelBtnClick(); });
}

void TOKBottomDlg2::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    // A spontaneous show is the window system giving the window back, not a new opening.
    if (!event->spontaneous()) {
        dialogs::centreOnScreen(this);
        platform::guarded([this] { FormShow(); });
    }
}

void TOKBottomDlg2::FormCreate() {
    const platform::Profile ini(platform::settingsFilePath());
    CheckBox1->setChecked(ini.readBool(Section, SmoothKey, false));
    checkbox2->setChecked(ini.readBool(Section, KaitenKey, true));
    CheckBox3->setChecked(ini.readBool(Section, MemoKey, false));
    MemoAutoSave = CheckBox3->isChecked();
}

// A file that cannot be written is left as it was, silently.
void TOKBottomDlg2::FormDestroy() {
    platform::Profile ini(platform::settingsFilePath());
    ini.writeBool(Section, SmoothKey, CheckBox1->isChecked());
    ini.writeBool(Section, KaitenKey, checkbox2->isChecked());
    ini.writeBool(Section, MemoKey, CheckBox3->isChecked());
    ini.save();
}

void TOKBottomDlg2::FormShow() {
    SmoothAtShow = CheckBox1->isChecked();
}

// The memo switch takes effect at once, whether or not the dialog is confirmed.
void TOKBottomDlg2::CheckBox3Click() {
    MemoAutoSave = CheckBox3->isChecked();
}

void TOKBottomDlg2::OKBtnClick() {
    accept();
}

// Only smoothing is taken back; the other two boxes keep what was changed.
void TOKBottomDlg2::CancelBtnClick() {
    CheckBox1->setChecked(SmoothAtShow);
    QDialog::reject();
}

bool picturesTurnedUpright() {
    return OKBottomDlg2 && OKBottomDlg2->checkbox2->isChecked();
}
