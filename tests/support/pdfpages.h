// Comparing printed pages: a PDF file's pages rasterised by pdftoppm (poppler-utils), and the
// peak signal-to-noise ratio of two pictures. Shared by the print tests and the print benchmark.
#pragma once

#include <QImage>
#include <QString>

#include <vector>

namespace testsupport {

// The pages of the PDF file at dpi, as RGB32 pictures; none when pdftoppm fails. The page
// files it writes beside the PDF are removed again.
std::vector<QImage> rasterisedPdf(const QString& pdf, int dpi);

// Peak signal-to-noise ratio in decibels of two pictures of one size over their red, green
// and blue samples; 99 for identical pictures, 0 for pictures of other sizes.
double psnr(const QImage& a, const QImage& b);

} // namespace testsupport
