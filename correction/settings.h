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
