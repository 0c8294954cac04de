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

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>

namespace {

// A message box would wait for a user: its text goes to standard error instead.
class MessagePrinter : public platform::Answerer {
public:
    platform::MessageAnswer message(const platform::MessageRequest& request) override {
        std::fprintf(stderr, "tazu-screenshot: %s\n", qPrintable(request.text));
        return platform::MessageAnswer::Ok;
    }
};

} // namespace

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
    MessagePrinter printer;
    const platform::ScopedAnswerer answers(printer);

    const QString folder = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    const QString out = QString::fromLocal8Bit(argv[2]);
    QTemporaryDir settings;
    QFile ini(settings.filePath(QStringLiteral("tazu.INI")));
    if (!ini.open(QIODevice::WriteOnly) ||
        ini.write("[TForm1]\r\nDirectory=" + QFile::encodeName(folder) + "\r\n") < 0) {
        std::fprintf(stderr, "tazu-screenshot: cannot write %s\n", qPrintable(ini.fileName()));
        return 1;
    }
    ini.close();
    qputenv("TAZU_INI", QFile::encodeName(ini.fileName()));

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
