#include "platform/printer.h"

#include <QPageLayout>
#include <QPrinter>
#include <QPrinterInfo>

#include <memory>
#include <utility>

namespace platform {

namespace {

// Caption text is in the program's Japanese font unless the user chooses another.
QFont defaultCaptionFont() {
    QFont font(QStringLiteral("ＭＳ Ｐゴシック"));
    font.setPointSize(9);
    return font;
}

class QtPrinter : public Printer {
public:
    QtPrinter() : printer_(QPrinter::HighResolution) {
        // Without a printer the sheets go to a PDF file; the page is then A4.
        if (QPrinterInfo::defaultPrinter().isNull()) {
            printer_.setOutputFormat(QPrinter::PdfFormat);
            printer_.setPageSize(QPageSize(QPageSize::A4));
        }
    }

    PageOrientation orientation() const override {
        return printer_.pageLayout().orientation() == QPageLayout::Landscape
                   ? PageOrientation::Landscape
                   : PageOrientation::Portrait;
    }
    void setOrientation(PageOrientation orientation) override {
        printer_.setPageOrientation(orientation == PageOrientation::Landscape
                                        ? QPageLayout::Landscape
                                        : QPageLayout::Portrait);
    }
    QSize pageSize() const override {
        return printer_.pageLayout().paintRectPixels(printer_.resolution()).size();
    }
    int resolution() const override { return printer_.resolution(); }

private:
    QPrinter printer_;
};

Printer* installed = nullptr;

} // namespace

Printer::Printer() : font_(defaultCaptionFont()) {}

RecordingPrinter::RecordingPrinter(QSize portraitPage, int dpi)
    : portrait_(portraitPage), dpi_(dpi) {}

QSize RecordingPrinter::pageSize() const {
    return orientation_ == PageOrientation::Landscape ? portrait_.transposed() : portrait_;
}

Printer& currentPrinter() {
    if (installed)
        return *installed;
    static std::unique_ptr<Printer> program = std::make_unique<QtPrinter>();
    return *program;
}

ScopedPrinter::ScopedPrinter(Printer& printer) : previous_(std::exchange(installed, &printer)) {}

ScopedPrinter::~ScopedPrinter() {
    installed = previous_;
}

} // namespace platform
