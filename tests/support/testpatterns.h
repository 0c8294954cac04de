// Pictures of known content for decoder tests and sample files: every pixel is computable, and
// neighbouring pixels differ, so that swapped channels, flipped rows or shifted columns show.
#pragma once

#include <QImage>

namespace testsupport {

// RGB32 picture; no two horizontally or vertically adjacent pixels share a channel value.
QImage colourPattern(int width, int height);

// Indexed8 picture whose pixel (x, y) has index (x + 3 * y) % colours, with a colour table of
// `colours` distinct entries (2 to 256).
QImage indexedPattern(int width, int height, int colours);

// Grayscale8 picture whose levels step across the whole range.
QImage greyPattern(int width, int height);

} // namespace testsupport
