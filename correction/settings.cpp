#include "correction/settings.h"

TCorrectionSettings CorrectionSettings;
