#include "tests/support/pdfpages.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>

#include <cmath>

namespace testsupport {

std::vector<QImage> rasterisedPdf(const QString& pdf, int dpi) {
    const QString stem = pdf + QStringLiteral("-page");
    std::vector<QImage> pages;
    QProcess process;
    process.start(QStringLiteral("pdftoppm"),
                  {QStringLiteral("-r"), QString::number(dpi), QStringLiteral("-png"), pdf, stem});
    if (!process.waitForFinished(-1) || process.exitStatus() != QProcess::NormalExit ||
        process.exitCode() != 0)
        return pages;
    for (int i = 1;; ++i) {
        // pdftoppm pads the page numbers to the width of the last one.
        QString name = stem + QStringLiteral("-%1.png").arg(i);
        for (int width = 2; !QFileInfo::exists(name) && width <= 4; ++width)
            name = stem + QStringLiteral("-%1.png").arg(i, width, 10, QChar(u'0'));
        const QImage page(name);
        if (page.isNull())
            return pages;
        pages.push_back(page.convertToFormat(QImage::Format_RGB32));
        QFile::remove(name);
    }
}

double psnr(const QImage& a, const QImage& b) {
    if (a.size() != b.size() || a.isNull())
        return 0;
    const QImage first = a.convertToFormat(QImage::Format_RGB32);
    const QImage second = b.convertToFormat(QImage::Format_RGB32);
    double squares = 0;
    for (int y = 0; y < first.height(); ++y) {
        const auto* p = reinterpret_cast<const QRgb*>(first.constScanLine(y));
        const auto* q = reinterpret_cast<const QRgb*>(second.constScanLine(y));
        for (int x = 0; x < first.width(); ++x)
            for (const int shift : {0, 8, 16}) {
                const double d = int((p[x] >> shift) & 0xFF) - int((q[x] >> shift) & 0xFF);
                squares += d * d;
            }
    }
    const double mean = squares / (3.0 * first.width() * first.height());
    return mean == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / mean);
}

} // namespace testsupport
