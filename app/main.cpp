// The program's entry: no arguments are read; the program's own path names its settings file.
#include "app/startup.h"
#include "platform/display.h"
#include "platform/guard.h"

int main(int argc, char** argv) {
    platform::Application app(argc, argv);
    platform::installFontSubstitutions();
    platform::installJapaneseTranslations(app);
    return RunProgram();
}
