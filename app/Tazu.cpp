#include "app/Tazu.h"

#include "correction/settings.h"
#include "platform/interaction.h"
#include "platform/library.h"
#include "platform/profile.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QPalette>

bool StartupOk = false;
bool J6ILargeSize = true;
int ViewerWidth = 768;
int ViewerHeight = 576;

TForm1* Form1 = nullptr;

namespace {

const QString Section = QStringLiteral("TForm1");

// The plug-in counts as present when it can be loaded; it is freed again at once.
bool pluginLoads(const QString& name) {
    return platform::Library(name).isLoaded();
}

} // namespace

TForm1::TForm1(QWidget* parent) : QMainWindow(parent) {
    setObjectName(QStringLiteral("Form1"));
    setWindowTitle(QStringLiteral("タズ"));
    auto* client = new QWidget(this);
    client->setFixedSize(584, 406);
    client->setAutoFillBackground(true);
    QPalette silver = client->palette();
    silver.setColor(QPalette::Window, QColor(192, 192, 192));
    client->setPalette(silver);
    setCentralWidget(client);
    FormCreate();
}

TForm1::~TForm1() {
    FormDestroy();
}

void TForm1::closeEvent(QCloseEvent* event) {
    QMainWindow::closeEvent(event);
    if (event->isAccepted())
        QCoreApplication::quit();
}

void TForm1::FormCreate() {
    if (!pluginLoads(QStringLiteral("ifjpeg.spi"))) {
        platform::showMessage(QStringLiteral("spiﾌｧｲﾙがありません！"),
                              QStringLiteral("＊＊注意＊＊"));
        StartupOk = false;
        return;
    }
    readSettings();
    if (CorrectionSettings.Hitone <= CorrectionSettings.Lowtone)
        CorrectionSettings.Hitone = CorrectionSettings.Lowtone + 10;
    ViewerWidth = J6ILargeSize ? 768 : 640;
    ViewerHeight = J6ILargeSize ? 576 : 480;
}

void TForm1::FormDestroy() {
    if (StartupOk)
        writeSettings();
}

void TForm1::readSettings() {
    const platform::Profile ini(platform::settingsFilePath());
    move(ini.readInteger(Section, QStringLiteral("Left"), 0),
         ini.readInteger(Section, QStringLiteral("Top"), 0));
    TCorrectionSettings& c = CorrectionSettings;
    c.Blue = ini.readInteger(Section, QStringLiteral("Blue"), 0);
    c.Green = ini.readInteger(Section, QStringLiteral("Green"), 0);
    c.Red = ini.readInteger(Section, QStringLiteral("Red"), 0);
    c.Hitone = ini.readInteger(Section, QStringLiteral("Hitone"), 2550);
    c.Midtone = ini.readInteger(Section, QStringLiteral("Midtone"), 500);
    c.Lowtone = ini.readInteger(Section, QStringLiteral("Lowtone"), 0);
    J6ILargeSize = ini.readBool(Section, QStringLiteral("J6Isize"), true);
    directory_ = ini.readString(Section, QStringLiteral("Directory"), QString());
    c.CLBL = ini.readBool(Section, QStringLiteral("CLBL"), true);
    c.ToneBL = ini.readBool(Section, QStringLiteral("ToneBL"), true);
    filterIndex_ = ini.readInteger(Section, QStringLiteral("Filter"), 0);
}

// Every key in table order; a file that cannot be written is left as it was, silently.
void TForm1::writeSettings() const {
    platform::Profile ini(platform::settingsFilePath());
    const TCorrectionSettings& c = CorrectionSettings;
    ini.writeInteger(Section, QStringLiteral("Top"), y());
    ini.writeInteger(Section, QStringLiteral("Left"), x());
    ini.writeInteger(Section, QStringLiteral("Blue"), c.Blue);
    ini.writeInteger(Section, QStringLiteral("Green"), c.Green);
    ini.writeInteger(Section, QStringLiteral("Red"), c.Red);
    ini.writeInteger(Section, QStringLiteral("Hitone"), c.Hitone);
    ini.writeInteger(Section, QStringLiteral("Midtone"), c.Midtone);
    ini.writeInteger(Section, QStringLiteral("Lowtone"), c.Lowtone);
    ini.writeBool(Section, QStringLiteral("J6ISize"), J6ILargeSize);
    ini.writeString(Section, QStringLiteral("Directory"), directory_);
    ini.writeBool(Section, QStringLiteral("CLBL"), c.CLBL);
    ini.writeBool(Section, QStringLiteral("ToneBL"), c.ToneBL);
    ini.writeInteger(Section, QStringLiteral("Filter"), filterIndex_);
    ini.save();
}
