// The three ways of correcting under which a print decoded at its cells' scale must look like the
// print decoded at full size: none, manual corrections (colour, midtone and low tone), and
// automatic levels. Shared by the print likeness test and the print benchmark.
#pragma once

#include "correction/settings.h"

#include <vector>

namespace testsupport {

struct LikenessCorrections {
    const char* name;
    TCorrectionSettings settings;
    AutoLevelsSource levels; // null: automatic levels off
};

inline TAutoLevels automaticLevelsForLikeness() {
    return {true, 5, 5};
}

inline std::vector<LikenessCorrections> likenessCorrections() {
    TCorrectionSettings manual;
    manual.Red = 20;
    manual.Midtone = 400;
    manual.Lowtone = 200;
    return {{"none", {}, nullptr},
            {"manual", manual, nullptr},
            {"automatic levels", {}, automaticLevelsForLikeness}};
}

} // namespace testsupport
