#include "app/startup.h"

#include "app/Tazu.h"
#include "correction/hilite.h"
#include "correction/iroc.h"
#include "dialogs/Unit3.h"
#include "dialogs/opt.h"
#include "platform/display.h"
#include "platform/interaction.h"
#include "printing/prn1.h"
#include "printing/prnchu.h"
#include "viewer/Gfull.h"

#include <QApplication>
#include <QDirIterator>
#include <QIcon>

namespace {

// The program's icon in every size it carries, for every window; the desktop file name lets a
// Wayland desktop find the menu entry and its icon for the windows too.
void setProgramIcon() {
    QIcon icon;
    QDirIterator sizes(QStringLiteral(":/icons"), {QStringLiteral("*.png")}, QDir::Files,
                       QDirIterator::Subdirectories);
    while (sizes.hasNext())
        icon.addFile(sizes.next());
    QApplication::setWindowIcon(icon);
    QGuiApplication::setDesktopFileName(QStringLiteral("io.github.tazu.Tazu"));
}

template <typename Window> void destroy(Window*& window) {
    delete window;
    window = nullptr;
}

} // namespace

bool StartUp() {
    StartupOk = true;
    QApplication::setApplicationName(QStringLiteral("tazu"));
    setProgramIcon();
    Form1 = new TForm1;
    if (!StartupOk) {
        destroy(Form1);
        return false;
    }
    if (platform::screenPaletteSize() == 256) {
        platform::showMessage(QStringLiteral("256色モードでは動作しません！"),
                              QStringLiteral("＊＊注意＊＊"));
        destroy(Form1);
        return false;
    }
    OKBottomDlg2 = new TOKBottomDlg2;
    OKBottomDlg1 = new TOKBottomDlg1;
    Form2 = new TForm2;
    iroform = new Tiroform;
    Form3 = new TForm3;
    Form4 = new TForm4;
    OKBottomDlg = new TOKBottomDlg;
    return true;
}

void ShutDown() {
    destroy(OKBottomDlg);
    destroy(Form4);
    destroy(Form3);
    destroy(iroform);
    destroy(Form2);
    destroy(OKBottomDlg1);
    destroy(OKBottomDlg2);
    destroy(Form1);
}

int RunProgram() {
    if (!StartUp())
        return 0;
    Form1->show();
    const int result = QApplication::exec();
    ShutDown();
    return result;
}
