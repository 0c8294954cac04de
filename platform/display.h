// What the program needs to know about the screen, and the fonts it asks for by name.
#pragma once

#include <optional>

class QCoreApplication;

namespace platform {

// Bits per pixel of the primary screen (GetDeviceCaps BITSPIXEL).
int screenBitsPerPixel();
// Entries of the screen's hardware palette (GetDeviceCaps SIZEPALETTE): 256 on an 8-bit
// display, 0 on displays without a palette.
int screenPaletteSize();
// Makes the screen report the given depth (tests of palette displays); nullopt restores it.
void overrideScreenDepth(std::optional<int> bitsPerPixel);

// Maps the Japanese font names the program's windows ask for to fonts Debian ships, so that
// they do not fall back to a Latin font with fixed-pitch kana.
void installFontSubstitutions();

// The system's own dialogs (files, printers, fonts) in Japanese like the rest of the program,
// when Qt's translations are installed; in Qt's English otherwise.
void installJapaneseTranslations(QCoreApplication& application);

} // namespace platform
