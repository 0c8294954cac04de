#include "correction/preview.h"

#include "correction/pipeline.h"
#include "platform/waitcursor.h"

TCorrectionPreview CorrectionPreview;

void DrawPreview(int mode) {
    if (!CorrectionPreview.image || !CorrectionPreview.original)
        return;
    const platform::WaitCursor busy;
    DrawCorrected(*CorrectionPreview.original, *CorrectionPreview.image, mode);
}
