// The printer the program prints index sheets on: its page in device pixels, its resolution and
// the canvas font of the captions, over a Qt printer (a CUPS printer, or PDF output when there is
// none) or over a stand-in page for tests.
#pragma once

#include <QFont>
#include <QSize>

namespace platform {

enum class PageOrientation { Portrait, Landscape };

class Printer {
public:
    virtual ~Printer() = default;

    virtual PageOrientation orientation() const = 0;
    virtual void setOrientation(PageOrientation orientation) = 0;
    // The printable page in device pixels in the current orientation.
    virtual QSize pageSize() const = 0;
    // Horizontal dots per inch.
    virtual int resolution() const = 0;
    // The font of caption text: family, size in points, bold, italic, underline, strike-out.
    QFont font() const { return font_; }
    void setFont(const QFont& font) { font_ = font; }

protected:
    Printer();

private:
    QFont font_;
};

// A page of fixed size in portrait pixels at a fixed resolution: by default A4 at 300 dpi
// (2480 × 3508 pixels, the whole sheet without unprintable margins).
class RecordingPrinter : public Printer {
public:
    explicit RecordingPrinter(QSize portraitPage = {2480, 3508}, int dpi = 300);

    PageOrientation orientation() const override { return orientation_; }
    void setOrientation(PageOrientation orientation) override { orientation_ = orientation; }
    QSize pageSize() const override;
    int resolution() const override { return dpi_; }

private:
    QSize portrait_;
    int dpi_;
    PageOrientation orientation_ = PageOrientation::Portrait;
};

// The program's printer: the system's default printer, or PDF output on A4 when there is none;
// created on first use.
Printer& currentPrinter();

// Puts another printer in place for as long as the object lives (tests).
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
