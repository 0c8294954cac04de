// The correction settings of the whole run: colour offsets and tone levels, and whether each
// correction acts when a picture is read in or when it is printed.
#pragma once

#include <cstdint>

struct TCorrectionSettings {
    int32_t Blue = 0; // colour offsets, -50..50
    int32_t Green = 0;
    int32_t Red = 0;
    int32_t Hitone = 2550; // highlight level in tenths of a level step, 0..2550
    int32_t Midtone = 500; // midtone position in tenths of a per cent, 100..900
    int32_t Lowtone = 0;   // shadow level in tenths of a level step, 0..2550
    bool CLBL = true;      // colour correction at output time (false: at input time)
    bool ToneBL = true;    // tone correction at output time (false: at input time)
};

extern TCorrectionSettings CorrectionSettings;

// Brings settings read from a file into the ranges the tone curve needs: offsets within
// -50..50, levels within 0..2550, the midtone within 100..900, and the highlight at least 10
// above the shadow (the shadow first kept at most 2540), so that no curve segment is empty.
void clampCorrectionSettings(TCorrectionSettings& settings);

namespace platform {
class Profile;
}

// The settings the main window keeps in its section "TForm1" (offsets, levels and when each
// correction acts), as the file holds them: not yet brought into range.
TCorrectionSettings readCorrectionSettings(const platform::Profile& ini);

// Automatic tone levels: whether they are on, and the highlight and shadow loss rates in per
// mille (0..100). They are the tone dialog's controls; the pipeline asks for them afresh at every
// call.
struct TAutoLevels {
    bool Auto = false;
    int32_t Levelh = 0;
    int32_t Levell = 0;
};

// Where the automatic levels come from: the tone dialog installs its own source; without one
// automatic mode is off.
using AutoLevelsSource = TAutoLevels (*)();
extern AutoLevelsSource AutoLevelsFrom;
TAutoLevels currentAutoLevels();
