#include "correction/settings.h"

#include "platform/profile.h"

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

TCorrectionSettings readCorrectionSettings(const platform::Profile& ini) {
    const QString section = QStringLiteral("TForm1");
    TCorrectionSettings c;
    c.Blue = ini.readInteger(section, QStringLiteral("Blue"), 0);
    c.Green = ini.readInteger(section, QStringLiteral("Green"), 0);
    c.Red = ini.readInteger(section, QStringLiteral("Red"), 0);
    c.Hitone = ini.readInteger(section, QStringLiteral("Hitone"), 2550);
    c.Midtone = ini.readInteger(section, QStringLiteral("Midtone"), 500);
    c.Lowtone = ini.readInteger(section, QStringLiteral("Lowtone"), 0);
    c.CLBL = ini.readBool(section, QStringLiteral("CLBL"), true);
    c.ToneBL = ini.readBool(section, QStringLiteral("ToneBL"), true);
    return c;
}
