// The printer the program prints its index sheets on: the page, its orientation and resolution,
// documents of pages, and the canvas a page is drawn on (rectangles, caption text, pictures).
// Coordinates and sizes are device pixels.
//
// The program has one current printer (currentPrinter()): a QtPrinter over the system's
// default printer, or over PDF output when the system has none. Tests install a
// RecordingPrinter with ScopedPrinter, so that nothing reaches a real printer.
#pragma once

#include "platform/dib.h"

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QSize>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QPainter;
class QPrinter;

namespace platform {

enum class PageOrientation { Portrait, Landscape };

// Pictures reach the paint engine at no more than this many pixels an inch of the page: Qt's
// PDF engine (through which CUPS printing goes as well) embeds every picture at the size it is
// given, and on a 1200 dpi page a cell of the index sheet can hold more pixels than a camera
// picture has. 300 is what photographs are printed at.
inline constexpr int PrintedPictureDpi = 300;

// The picture as it goes to the paint engine when stretched into a target of targetPixels on
// a device of dotsPerInch: resampled with smooth filtering to the target's pixels, at most
// PrintedPictureDpi and never larger than the picture in either direction (the engine
// stretches it the rest of the way). The picture itself when no resampling is needed.
QImage resampledForPrinting(const QImage& picture, QSize targetPixels, int dotsPerInch);
// The size resampledForPrinting gives a picture of pictureSize.
QSize printedPictureSize(QSize pictureSize, QSize targetPixels, int dotsPerInch);

// A bottom-up 24-bit DIB's rows (blue, green, red, rows padded to 4 bytes) reduced to size,
// which is no larger than width × height, each pixel the average of the source pixels it
// covers; Format_RGB32. Reads the rows where they lie: no full-size copy is made.
QImage reducedDib24(const uint8_t* rows, int32_t width, int32_t height, QSize size);

// Whether the file at path ends as a finished PDF file does (its last "%%EOF" in the last
// kilobyte): a write cut short by a full disk leaves it without one.
bool pdfFileIsComplete(const QString& path);

class Printer {
public:
    Printer();
    virtual ~Printer();
    Printer(const Printer&) = delete;
    Printer& operator=(const Printer&) = delete;

    virtual PageOrientation orientation() const = 0;
    virtual void setOrientation(PageOrientation orientation) = 0;

    // The printable area of the page in device pixels, in the current orientation: width less
    // than height in portrait on ordinary paper, the two swapped in landscape. Device pixel
    // (0, 0) is the top-left corner of the printable area.
    virtual QSize pageSize() const = 0;
    // Horizontal dots per inch of the device.
    virtual int resolution() const = 0;

    // The font captions are printed in: family, size in points, bold, italic, underline and
    // strike-out. Starts as "ＭＳ Ｐゴシック" at 9 points (installFontSubstitutions maps the
    // name to a Japanese font Debian ships).
    QFont font() const { return font_; }
    void setFont(const QFont& font) { font_ = font; }

    // A document: beginDoc starts it, named title for the print queue, on its first page;
    // newPage ends a page and starts the next; endDoc ends the document and sends it, false
    // when it could not be finished (nothing usable is left then); abort drops it. beginDoc is
    // false when a document is already open or the device refuses one (a PDF output without a
    // file name, or in a folder that cannot be written, say). Outside a document, newPage,
    // endDoc, abort and the drawing operations do nothing.
    virtual bool beginDoc(const QString& title) = 0;
    virtual void newPage() = 0;
    virtual bool endDoc() = 0;
    virtual void abort() = 0;
    virtual bool printing() const = 0;

    // The pen outlines rectangles: its colour and its width in pixels (below 1 taken as 1).
    // Black and 1 at first.
    void setPen(const QColor& colour, int width = 1);
    QColor penColour() const { return penColour_; }
    int penWidth() const { return penWidth_; }
    // The brush fills rectangles: a colour, or none (clearBrush). White at first.
    void setBrush(const QColor& colour) { brush_ = colour; }
    void clearBrush() { brush_.reset(); }
    std::optional<QColor> brush() const { return brush_; }

    // Draws a rectangle covering exactly the pixels of rect (right and bottom edges as
    // QRect::right() and bottom(), i.e. left + width is outside): filled with the brush and
    // outlined with the pen, the outline centred on the outermost pixels. Nothing for an empty
    // rectangle.
    virtual void rectangle(const QRect& rect) = 0;
    // Width (advance) and height (ascent + descent) of text in the current font on this device.
    QSize textExtent(const QString& text) const;
    // Draws text in black with its top-left corner at topLeft, on white filling its extent.
    virtual void textOut(QPoint topLeft, const QString& text) = 0;
    // Draws picture stretched into target (resampledForPrinting first). Nothing for a null
    // picture or an empty target.
    void stretchImage(const QRect& target, const QImage& picture);
    // The same for a DIB (dibToImage); false, and nothing drawn, when it is refused. A bottom-up
    // 24-bit DIB is reduced from its rows where they lie (reducedDib24), so that a camera
    // picture is never copied at full size on its way to the page.
    bool stretchImage(const QRect& target, ByteView info, ByteView pixels);

protected:
    // The font at its size in this device's pixels (its points at resolution()).
    QFont deviceFont() const;
    // Draws picture, neither null nor resampled yet, into target, which is not empty.
    virtual void drawPicture(const QRect& target, const QImage& picture) = 0;

private:
    QFont font_;
    QColor penColour_ = Qt::black;
    int penWidth_ = 1;
    std::optional<QColor> brush_ = QColor(Qt::white);
};

// The temporary name beside file under which a PDF document of the process pid (this one when
// 0) is written until it is complete.
QString partialPdfFile(const QString& file, qint64 pid = 0);

// A system printer, or PDF output, through QPrinter in high resolution.
class QtPrinter : public Printer {
public:
    // On the system's default printer; on PDF output (A4) when the system has no printer.
    QtPrinter();
    ~QtPrinter() override;

    PageOrientation orientation() const override;
    void setOrientation(PageOrientation orientation) override;
    QSize pageSize() const override;
    int resolution() const override;

    // A PDF document is written under a temporary name beside its file and takes the file's
    // name only when endDoc finds it complete; an aborted or failed one leaves no file behind,
    // and a file of that name from before stays as it was.
    bool beginDoc(const QString& title) override;
    void newPage() override;
    bool endDoc() override;
    void abort() override;
    bool printing() const override { return painter_ != nullptr; }
    void rectangle(const QRect& rect) override;
    void textOut(QPoint topLeft, const QString& text) override;

    // The printer underneath, for the system's printer dialog.
    QPrinter& qprinter() { return *printer_; }

protected:
    void drawPicture(const QRect& target, const QImage& picture) override;

private:
    // The PDF output's own name back on the printer; the partial file removed unless it was
    // renamed to it.
    void restoreOutputFile(bool renamed);

    std::unique_ptr<QPrinter> printer_;
    std::unique_ptr<QPainter> painter_; // while a document is open
    QString outputFile_;                // a PDF document's file, while it is written ...
    QString partialFile_;               // ... under this name
};

// One operation a RecordingPrinter recorded.
struct PrintOperation {
    enum class Kind { BeginDoc, NewPage, EndDoc, Abort, Rectangle, Text, Picture };

    Kind kind = Kind::BeginDoc;
    int page = 0; // of the document, from 0; NewPage: the page it starts
    QRect rect;   // Rectangle: as given; Text: topLeft and textExtent; Picture: the target
    QString text; // BeginDoc: the title; Text: the text
    QColor pen;   // Rectangle: the pen's colour and width
    int penWidth = 0;
    std::optional<QColor> brush; // Rectangle
    QFont font;                  // Text: the font (in points)
    QSize pictureSize;           // Picture: the size of the picture given
    QImage picture;              // Picture: as resampled for this printer's page
};

// A printer that keeps what is drawn on it instead of printing it, for tests.
class RecordingPrinter : public Printer {
public:
    // The A4 page at 300 dpi, all of it printable (no margins): 2480 × 3508 pixels.
    static constexpr QSize A4At300Dpi{2480, 3508};

    // portraitSize: the printable area in portrait orientation.
    explicit RecordingPrinter(QSize portraitSize = A4At300Dpi, int dotsPerInch = 300);

    PageOrientation orientation() const override { return orientation_; }
    void setOrientation(PageOrientation orientation) override { orientation_ = orientation; }
    QSize pageSize() const override;
    int resolution() const override { return dotsPerInch_; }

    bool beginDoc(const QString& title) override;
    void newPage() override;
    bool endDoc() override; // false (the document dropped) when failEndDoc is set
    void abort() override;
    bool printing() const override { return printing_; }

    // A device that cannot finish its document, for tests of that failure.
    bool failEndDoc = false;
    void rectangle(const QRect& rect) override;
    void textOut(QPoint topLeft, const QString& text) override;

    // Every operation of every document, in order.
    std::vector<PrintOperation> operations;

    // Page `page` of the last document begun, drawn as a QtPrinter would draw it, on white in
    // the current page size (Format_RGB32).
    QImage renderPage(int page) const;

protected:
    void drawPicture(const QRect& target, const QImage& picture) override;

private:
    PrintOperation& record(PrintOperation::Kind kind);

    QSize portraitSize_;
    int dotsPerInch_;
    PageOrientation orientation_ = PageOrientation::Portrait;
    bool printing_ = false;
    int page_ = 0;
};

// The program's printer: the one a ScopedPrinter installed, else a QtPrinter made on first
// use and kept for the rest of the run.
Printer& currentPrinter();

// Installs a printer as the current one for as long as the object lives (tests); the previous
// one comes back.
class ScopedPrinter {
public:
    explicit ScopedPrinter(Printer& printer);
    ~ScopedPrinter();
    ScopedPrinter(const ScopedPrinter&) = delete;
    ScopedPrinter& operator=(const ScopedPrinter&) = delete;

private:
    Printer* previous_;
};

} // namespace platform
