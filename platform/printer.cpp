#include "platform/printer.h"

#include <QCoreApplication>
#include <QFile>
#include <QFontMetrics>
#include <QPageSize>
#include <QPainter>
#include <QPrinter>
#include <QPrinterInfo>

#include <algorithm>
#include <cstdio>
#include <utility>

namespace platform {

namespace {

Printer* installedPrinter = nullptr;
QtPrinter* defaultPrinter = nullptr;

// The default printer lives until the application object goes, not until static destruction,
// when the print support it was made with is already gone.
void deleteDefaultPrinter() {
    delete std::exchange(defaultPrinter, nullptr);
}

QFont fontInPixels(const QFont& font, int dotsPerInch) {
    QFont scaled(font);
    if (font.pointSizeF() > 0)
        scaled.setPixelSize(std::max(1, qRound(font.pointSizeF() * dotsPerInch / 72.0)));
    return scaled;
}

// The drawing itself, shared by the printer and the recording's rendering of a page, so that a
// rendered page shows what the printer draws.

void paintRectangle(QPainter& painter, const QRect& rect, const QColor& pen, int penWidth,
                    const std::optional<QColor>& brush) {
    if (rect.isEmpty())
        return;
    if (brush)
        painter.fillRect(rect, *brush);
    painter.setPen(QPen(pen, penWidth, Qt::SolidLine, Qt::SquareCap, Qt::MiterJoin));
    painter.setBrush(Qt::NoBrush);
    // Through the centres of the outermost pixels.
    painter.drawRect(QRectF(rect).adjusted(0.5, 0.5, -0.5, -0.5));
}

QSize extentOf(const QString& text, const QFont& pixelFont) {
    const QFontMetrics metrics(pixelFont);
    return {metrics.horizontalAdvance(text), metrics.height()};
}

void paintText(QPainter& painter, QPoint topLeft, const QString& text, const QFont& pixelFont) {
    painter.fillRect(QRect(topLeft, extentOf(text, pixelFont)), Qt::white);
    painter.setFont(pixelFont);
    painter.setPen(Qt::black);
    painter.drawText(QPoint(topLeft.x(), topLeft.y() + QFontMetrics(pixelFont).ascent()), text);
}

void paintPicture(QPainter& painter, const QRect& target, const QImage& resampled) {
    painter.drawImage(QRectF(target), resampled);
}

} // namespace

QSize printedPictureSize(QSize pictureSize, QSize targetPixels, int dotsPerInch) {
    if (pictureSize.isEmpty() || targetPixels.isEmpty())
        return pictureSize;
    QSize size = targetPixels;
    if (dotsPerInch > PrintedPictureDpi) {
        const auto atPictureDpi = [dotsPerInch](int pixels) {
            return int((int64_t(pixels) * PrintedPictureDpi + dotsPerInch - 1) / dotsPerInch);
        };
        size = QSize(atPictureDpi(size.width()), atPictureDpi(size.height()));
    }
    return size.boundedTo(pictureSize);
}

QImage resampledForPrinting(const QImage& picture, QSize targetPixels, int dotsPerInch) {
    const QSize size = printedPictureSize(picture.size(), targetPixels, dotsPerInch);
    if (size == picture.size())
        return picture;
    return picture.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
}

namespace {

// Exact division of n < 2^32 by a divisor d < 2^32 as one multiplication: with m = ceil(2^64 / d)
// the high 64 bits of n * m are floor(n / d) (the error n / 2^64 stays below 1 / d). 0 stands
// for d = 1.
uint64_t reciprocalOf(uint32_t d) {
    return d <= 1 ? 0 : ~uint64_t(0) / d + 1;
}

uint32_t dividedBy(uint32_t n, uint64_t reciprocal) {
    return reciprocal == 0 ? n : uint32_t((static_cast<unsigned __int128>(n) * reciprocal) >> 64);
}

// Adds a row of samples to the running sums, sample by sample.
void addSamples(uint32_t* sums, const uint8_t* samples, size_t count) {
    for (size_t i = 0; i < count; ++i)
        sums[i] += samples[i];
}

} // namespace

QImage reducedDib24(const uint8_t* rows, int32_t width, int32_t height, QSize size) {
    QImage reduced(size, QImage::Format_RGB32);
    if (reduced.isNull())
        return reduced;
    const int outWidth = size.width();
    const int outHeight = size.height();
    const size_t rowBytes = (size_t(width) * 3 + 3) & ~size_t(3);
    // Output column k averages source columns firstColumn[k] .. firstColumn[k + 1] - 1.
    std::vector<int32_t> firstColumn(size_t(outWidth) + 1);
    std::vector<uint64_t> columnReciprocal(static_cast<size_t>(outWidth));
    for (int k = 0; k <= outWidth; ++k)
        firstColumn[size_t(k)] = int32_t(int64_t(k) * width / outWidth);
    for (int k = 0; k < outWidth; ++k)
        columnReciprocal[size_t(k)] =
            reciprocalOf(uint32_t(firstColumn[size_t(k) + 1] - firstColumn[size_t(k)]));
    // The source rows of an output row are first added up sample by sample, then the columns
    // of each output pixel. Its average is the rounded sum divided by the rows, then by the
    // columns: floor(floor(n / a) / b) is floor(n / (a * b)).
    std::vector<uint32_t> columnSums(size_t(width) * 3);
    for (int y = 0; y < outHeight; ++y) {
        // Output row y is at the top; the DIB's rows start at the bottom.
        const int32_t from = int32_t(int64_t(y) * height / outHeight);
        const int32_t to = int32_t(int64_t(y + 1) * height / outHeight);
        std::fill(columnSums.begin(), columnSums.end(), 0u);
        for (int32_t sy = from; sy < to; ++sy)
            addSamples(columnSums.data(), rows + size_t(height - 1 - sy) * rowBytes,
                       columnSums.size());
        const uint64_t rowReciprocal = reciprocalOf(uint32_t(to - from));
        auto* out = reinterpret_cast<QRgb*>(reduced.scanLine(y));
        for (int k = 0; k < outWidth; ++k) {
            const int32_t first = firstColumn[size_t(k)];
            const int32_t last = firstColumn[size_t(k) + 1];
            const uint32_t* const end = columnSums.data() + 3 * size_t(last);
            uint32_t blue = 0, green = 0, red = 0;
            for (const uint32_t* column = columnSums.data() + 3 * size_t(first); column != end;
                 column += 3) {
                blue += column[0];
                green += column[1];
                red += column[2];
            }
            const uint32_t half = uint32_t(to - from) * uint32_t(last - first) / 2;
            const auto average = [&](uint32_t sum) {
                return int(
                    dividedBy(dividedBy(sum + half, rowReciprocal), columnReciprocal[size_t(k)]));
            };
            out[k] = qRgb(average(red), average(green), average(blue));
        }
    }
    return reduced;
}

bool pdfFileIsComplete(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const qint64 tail = std::min<qint64>(file.size(), 1024);
    if (!file.seek(file.size() - tail))
        return false;
    const QByteArray end = file.read(tail);
    return end.size() == tail && end.contains("%%EOF");
}

Printer::Printer() : font_(QStringLiteral("ＭＳ Ｐゴシック"), 9) {}

Printer::~Printer() = default;

void Printer::setPen(const QColor& colour, int width) {
    penColour_ = colour;
    penWidth_ = std::max(1, width);
}

QSize Printer::textExtent(const QString& text) const {
    return extentOf(text, deviceFont());
}

void Printer::stretchImage(const QRect& target, const QImage& picture) {
    if (printing() && !picture.isNull() && !target.isEmpty())
        drawPicture(target, picture);
}

bool Printer::stretchImage(const QRect& target, ByteView info, ByteView pixels) {
    const DibResult<DibLayout> layout = readDibHeader(info);
    if (layout && layout.value.bitCount == 24 && !layout.value.topDown &&
        pixels.size() >= size_t(layout.value.imageBytes)) {
        if (printing() && !target.isEmpty()) {
            const DibLayout& dib = layout.value;
            const QSize size =
                printedPictureSize({dib.width, dib.height}, target.size(), resolution());
            drawPicture(target, reducedDib24(pixels.data(), dib.width, dib.height, size));
        }
        return true;
    }
    const DibResult<QImage> picture = dibToImage(info, pixels);
    if (!picture)
        return false;
    stretchImage(target, picture.value);
    return true;
}

QFont Printer::deviceFont() const {
    return fontInPixels(font_, resolution());
}

QtPrinter::QtPrinter() : printer_(std::make_unique<QPrinter>(QPrinter::HighResolution)) {
    const QPrinterInfo system = QPrinterInfo::defaultPrinter();
    if (system.isNull()) {
        printer_->setOutputFormat(QPrinter::PdfFormat);
        printer_->setPageSize(QPageSize(QPageSize::A4));
    } else {
        printer_->setPrinterName(system.printerName());
    }
}

QtPrinter::~QtPrinter() = default;

PageOrientation QtPrinter::orientation() const {
    return printer_->pageLayout().orientation() == QPageLayout::Landscape
               ? PageOrientation::Landscape
               : PageOrientation::Portrait;
}

void QtPrinter::setOrientation(PageOrientation orientation) {
    printer_->setPageOrientation(orientation == PageOrientation::Landscape ? QPageLayout::Landscape
                                                                           : QPageLayout::Portrait);
}

QSize QtPrinter::pageSize() const {
    // The device's width and height are those of the printable area in the page's orientation.
    return {printer_->width(), printer_->height()};
}

int QtPrinter::resolution() const {
    return printer_->logicalDpiX();
}

QString partialPdfFile(const QString& file, qint64 pid) {
    return file +
           QStringLiteral(".%1.part").arg(pid != 0 ? pid : QCoreApplication::applicationPid());
}

bool QtPrinter::beginDoc(const QString& title) {
    if (painter_)
        return false;
    printer_->setDocName(title);
    if (printer_->outputFormat() == QPrinter::PdfFormat) {
        const QString file = printer_->outputFileName();
        if (file.isEmpty())
            return false;
        // Made by the PDF engine itself, so that it gets the permissions of any new file.
        outputFile_ = file;
        partialFile_ = partialPdfFile(file);
        printer_->setOutputFileName(partialFile_);
    }
    auto painter = std::make_unique<QPainter>();
    if (!painter->begin(printer_.get())) {
        restoreOutputFile(false);
        return false;
    }
    // For pictures smaller than their cells (resampledForPrinting never enlarges them).
    painter->setRenderHint(QPainter::SmoothPixmapTransform);
    painter_ = std::move(painter);
    return true;
}

void QtPrinter::newPage() {
    if (painter_)
        printer_->newPage();
}

bool QtPrinter::endDoc() {
    if (!painter_)
        return false;
    bool finished = painter_->end();
    painter_.reset();
    if (partialFile_.isEmpty())
        return finished;
    const QString partial = partialFile_;
    const QString file = outputFile_;
    finished = finished && pdfFileIsComplete(partial) &&
               std::rename(QFile::encodeName(partial).constData(),
                           QFile::encodeName(file).constData()) == 0;
    restoreOutputFile(finished);
    return finished;
}

void QtPrinter::abort() {
    if (!painter_)
        return;
    printer_->abort();
    painter_->end();
    painter_.reset();
    restoreOutputFile(false);
}

void QtPrinter::restoreOutputFile(bool renamed) {
    if (partialFile_.isEmpty())
        return;
    if (!renamed)
        QFile::remove(partialFile_);
    printer_->setOutputFileName(outputFile_);
    partialFile_.clear();
    outputFile_.clear();
}

void QtPrinter::rectangle(const QRect& rect) {
    if (painter_)
        paintRectangle(*painter_, rect, penColour(), penWidth(), brush());
}

void QtPrinter::textOut(QPoint topLeft, const QString& text) {
    if (painter_)
        paintText(*painter_, topLeft, text, deviceFont());
}

void QtPrinter::drawPicture(const QRect& target, const QImage& picture) {
    paintPicture(*painter_, target, resampledForPrinting(picture, target.size(), resolution()));
}

RecordingPrinter::RecordingPrinter(QSize portraitSize, int dotsPerInch)
    : portraitSize_(portraitSize), dotsPerInch_(dotsPerInch) {}

QSize RecordingPrinter::pageSize() const {
    return orientation_ == PageOrientation::Landscape ? portraitSize_.transposed() : portraitSize_;
}

PrintOperation& RecordingPrinter::record(PrintOperation::Kind kind) {
    PrintOperation& operation = operations.emplace_back();
    operation.kind = kind;
    operation.page = page_;
    return operation;
}

bool RecordingPrinter::beginDoc(const QString& title) {
    if (printing_)
        return false;
    printing_ = true;
    page_ = 0;
    record(PrintOperation::Kind::BeginDoc).text = title;
    return true;
}

void RecordingPrinter::newPage() {
    if (!printing_)
        return;
    ++page_;
    record(PrintOperation::Kind::NewPage);
}

bool RecordingPrinter::endDoc() {
    if (!printing_)
        return false;
    printing_ = false;
    if (failEndDoc)
        return false;
    record(PrintOperation::Kind::EndDoc);
    return true;
}

void RecordingPrinter::abort() {
    if (!printing_)
        return;
    record(PrintOperation::Kind::Abort);
    printing_ = false;
}

void RecordingPrinter::rectangle(const QRect& rect) {
    if (!printing_)
        return;
    PrintOperation& operation = record(PrintOperation::Kind::Rectangle);
    operation.rect = rect;
    operation.pen = penColour();
    operation.penWidth = penWidth();
    operation.brush = brush();
}

void RecordingPrinter::textOut(QPoint topLeft, const QString& text) {
    if (!printing_)
        return;
    PrintOperation& operation = record(PrintOperation::Kind::Text);
    operation.rect = QRect(topLeft, textExtent(text));
    operation.text = text;
    operation.font = font();
}

void RecordingPrinter::drawPicture(const QRect& target, const QImage& picture) {
    PrintOperation& operation = record(PrintOperation::Kind::Picture);
    operation.rect = target;
    operation.pictureSize = picture.size();
    operation.picture = resampledForPrinting(picture, target.size(), dotsPerInch_);
}

QImage RecordingPrinter::renderPage(int page) const {
    QImage image(pageSize(), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const auto lastBegin = std::find_if(operations.rbegin(), operations.rend(), [](const auto& op) {
        return op.kind == PrintOperation::Kind::BeginDoc;
    });
    for (auto op = lastBegin.base(); op != operations.end(); ++op) {
        if (op->page != page)
            continue;
        switch (op->kind) {
        case PrintOperation::Kind::Rectangle:
            paintRectangle(painter, op->rect, op->pen, op->penWidth, op->brush);
            break;
        case PrintOperation::Kind::Text:
            paintText(painter, op->rect.topLeft(), op->text, fontInPixels(op->font, dotsPerInch_));
            break;
        case PrintOperation::Kind::Picture:
            paintPicture(painter, op->rect, op->picture);
            break;
        default:
            break;
        }
    }
    return image;
}

Printer& currentPrinter() {
    if (installedPrinter)
        return *installedPrinter;
    if (!defaultPrinter) {
        defaultPrinter = new QtPrinter;
        qAddPostRoutine(deleteDefaultPrinter);
    }
    return *defaultPrinter;
}

ScopedPrinter::ScopedPrinter(Printer& printer) : previous_(installedPrinter) {
    installedPrinter = &printer;
}

ScopedPrinter::~ScopedPrinter() {
    installedPrinter = previous_;
}

} // namespace platform
