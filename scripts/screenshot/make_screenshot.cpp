// Saves a picture of the main window on a folder, as the program shows it there: every picture
// file of the folder, thumbnails on, the first and third picture selected for printing. Runs
// without a display, with its own settings file, so the user's settings and the folder stay as
// they were. Usage: tazu-screenshot FOLDER OUT.png
#include "app/Tazu.h"
#include "app/startup.h"
#include "platform/display.h"
#include "platform/filecontrols.h"
#include "platform/guard.h"
#include "platform/interaction.h"
#include "tests/support/unattended.h"

#include <QDir>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tazu-screenshot FOLDER OUT.png\n");
        return 2;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (qEnvironmentVariableIsEmpty("TAZU_PLUGIN_PATH"))
        qputenv("TAZU_PLUGIN_PATH", TAZU_BIN_DIR);
    platform::Application app(argc, argv);
    platform::installFontSubstitutions();
    platform::installJapaneseTranslations(app);
    testsupport::MessagePrinter printer("tazu-screenshot");
    const platform::ScopedAnswerer answers(printer);

    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir settings;
    if (!testsupport::useSettingsOpeningFolder(settings, folder)) {
        std::fprintf(stderr, "tazu-screenshot: cannot write a settings file into %s\n",
                     qPrintable(settings.path()));
        return 1;
    }

    if (!StartUp())
        return 1;
    Form1->show();
    QCoreApplication::processEvents();
    // The last file type takes every picture file of the folder.
    Form1->FilterComboBox1->setItemIndex(Form1->FilterComboBox1->count() - 1);
    Form1->FilterComboBox1Change();
    Form1->Button2Click();
    Form1->BitBtnClick(0);
    Form1->BitBtnClick(2);
    QCoreApplication::processEvents();
    const bool saved = Form1->grab().save(out, "PNG", 9);
    ShutDown();
    if (!saved) {
        std::fprintf(stderr, "tazu-screenshot: cannot write %s\n", qPrintable(out));
        return 1;
    }
    return 0;
}
