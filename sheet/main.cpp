// tazu-sheet: index sheets of picture folders from the command line (tazu-sheet --help).
#include "platform/display.h"
#include "platform/guard.h"
#include "sheet/sheet.h"

#include <cstdio>

int main(int argc, char** argv) {
    // No window is shown; pictures and captions still need the toolkit's fonts and images.
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    platform::Application app(argc, argv);
    platform::installFontSubstitutions();
    const ParsedSheetOptions parsed = parseSheetOptions(app.arguments().mid(1));
    if (parsed.options.help) {
        std::fputs(sheetUsage().toLocal8Bit().constData(), stdout);
        return SheetPrinted;
    }
    if (parsed.options.version) {
        std::fputs(sheetVersion().toLocal8Bit().constData(), stdout);
        return SheetPrinted;
    }
    if (!parsed.error.isEmpty()) {
        std::fprintf(stderr, "tazu-sheet: %s\n\n%s", parsed.error.toLocal8Bit().constData(),
                     sheetUsage().toLocal8Bit().constData());
        return SheetUsageError;
    }
    return runSheet(parsed.options);
}
