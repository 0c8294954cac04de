#include "platform/display.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

#include <QFont>
#include <QGuiApplication>
#include <QScreen>

namespace platform {

namespace {
std::optional<int> depthOverride;
}

int screenBitsPerPixel() {
    if (depthOverride)
        return *depthOverride;
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->depth() : 32;
}

int screenPaletteSize() {
    return screenBitsPerPixel() == 8 ? 256 : 0;
}

void overrideScreenDepth(std::optional<int> bitsPerPixel) {
    depthOverride = bitsPerPixel;
}

void installFontSubstitutions() {
    QFont::insertSubstitution(QStringLiteral("ＭＳ Ｐゴシック"), QStringLiteral("IPAPGothic"));
    QFont::insertSubstitution(QStringLiteral("ＭＳ ゴシック"), QStringLiteral("IPAGothic"));
    QFont::insertSubstitution(QStringLiteral("MS UI Gothic"), QStringLiteral("IPAPGothic"));
}

void installJapaneseTranslations(QCoreApplication& application) {
    auto* translator = new QTranslator(&application);
    if (translator->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"),
                         QStringLiteral("_"), QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QCoreApplication::installTranslator(translator);
    else
        delete translator;
}

} // namespace platform
