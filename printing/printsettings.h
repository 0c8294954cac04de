// The print settings as the settings file keeps them (section PRNSET): the sheet's layout and
// captions, the date line's form and the caption font. Read by the print settings dialog and
// by every other front end of the print job, so that all of them print the same sheet.
#pragma once

#include "printing/layout.h"

#include <QFont>

#include <optional>

namespace platform {
class Profile;
}

struct StoredPrintSettings {
    TPrintSettings layout; // brought into the controls' ranges
    int dateForm = 0;      // FDate: 0 date and time, 1 date only, 2 time only
    // The caption font the file names (family, size in points, style); none when it names no
    // family, and the printer keeps its own.
    std::optional<QFont> font;
};

StoredPrintSettings readPrintSettings(const platform::Profile& ini);

// Font style as the settings file stores it: 1 bold, 2 italic, 4 underline, 8 strike-out.
int fontStyleBits(const QFont& font);
void applyFontStyleBits(QFont& font, int bits);

// Values brought into the ranges the dialog's controls allow.
void clampToRanges(TPrintSettings& settings);
