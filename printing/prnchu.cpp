#include "printing/prnchu.h"

#include "app/mainstate.h"
#include "dialogs/dialogframe.h"
#include "platform/guard.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>

#include <algorithm>

TOKBottomDlg* OKBottomDlg = nullptr;

namespace {

const QString Sending = QStringLiteral("印刷データ送出中");

} // namespace

TOKBottomDlg::TOKBottomDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("OKBottomDlg"));
    setWindowTitle(QStringLiteral("印刷中"));
    setFixedSize(300, 140);
    // A title and a fixed border, but no buttons on the title bar: the job closes it.
    setWindowFlags(Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    setWindowModality(Qt::ApplicationModal);

    Label1 = new QLabel(Sending, this);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setFont(dialogs::dialogFont(20));
    Label1->setAlignment(Qt::AlignCenter);
    Label1->setGeometry(10, 10, 280, 32);
    Gauge1 = new QProgressBar(this);
    Gauge1->setObjectName(QStringLiteral("Gauge1"));
    Gauge1->setGeometry(16, 52, 268, 20);
    Gauge1->setRange(0, 0);
    Gauge1->setTextVisible(true);
    Label2 = new QLabel(QStringLiteral("ESCで中止"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    Label2->setFont(dialogs::dialogFont(12));
    Label2->setGeometry(16, 92, 150, 20);
    CancelBtn = new QPushButton(QStringLiteral("中止"), this);
    CancelBtn->setObjectName(QStringLiteral("CancelBtn"));
    CancelBtn->setGeometry(196, 88, 88, 32);
    CancelBtn->setAutoDefault(false);
    connect(CancelBtn, &QPushButton::clicked, this,
            platform::guardedSlot([this] { CancelBtnClick(); }));
}

void TOKBottomDlg::showForJob(int pictures) {
    Label1->setText(Sending);
    Gauge1->setRange(0, std::max(pictures, 1));
    Gauge1->setValue(0);
    show();
}

void TOKBottomDlg::showProgress(int done) {
    Gauge1->setValue(done);
}

void TOKBottomDlg::CancelBtnClick() {
    PrintRunning = false;
    Label1->setText(QStringLiteral("中止します"));
}

void TOKBottomDlg::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (!event->spontaneous())
        dialogs::centreOnScreen(this);
}

void TOKBottomDlg::reject() {
    CancelBtn->click();
}
