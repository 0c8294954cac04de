// The picture the correction dialogs show their settings on: the viewer's picture control and
// its copy of the picture as loaded. The viewer installs both when it is created, so that the
// dialogs need not know the viewer.
#pragma once

#include <QImage>

namespace platform {
class ImageControl;
}

struct TCorrectionPreview {
    platform::ImageControl* image = nullptr;
    const QImage* original = nullptr;
};
extern TCorrectionPreview CorrectionPreview;

// Draws the viewer's picture corrected in mode (DrawCorrected) under the wait cursor; nothing
// before the viewer exists.
void DrawPreview(int mode);
