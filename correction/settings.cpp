#include "correction/settings.h"

#include <algorithm>

TCorrectionSettings CorrectionSettings;
AutoLevelsSource AutoLevelsFrom = nullptr;

void clampCorrectionSettings(TCorrectionSettings& s) {
    for (int32_t* offset : {&s.Blue, &s.Green, &s.Red})
        *offset = std::clamp(*offset, -50, 50);
    s.Lowtone = std::clamp(s.Lowtone, 0, 2540);
    s.Hitone = std::clamp(s.Hitone, s.Lowtone + 10, 2550);
    s.Midtone = std::clamp(s.Midtone, 100, 900);
}

TAutoLevels currentAutoLevels() {
    return AutoLevelsFrom ? AutoLevelsFrom() : TAutoLevels{};
}
