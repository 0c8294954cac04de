// The print job: index sheets of the selected pictures, every one as many times as its copy
// count, one per slot of the layout, with separator lines and up to three caption lines (file
// name, shooting date or file time, memo), page after page on a printer.
//
// The job takes everything it prints from a PrintRequest, which the main window fills from its
// folder list and dialogs and which other front ends fill their own way, and it reports to a
// PrintMonitor, which is also how it learns that it is to stop.
#pragma once

#include "platform/checked.h"
#include "printing/layout.h"

#include <QDateTime>
#include <QString>
#include <QStringList>

#include <vector>

class TAll;
struct ExifDateTime;
struct J6IInfo;

namespace platform {
class Printer;
}

// What the date line holds (the settings' FDate values).
enum DateForm : int {
    DateAndTime = 0,
    DateOnly = 1,
    TimeOnly = 2,
};

// One file of the list.
struct PrintEntry {
    QString path;
    bool selected = false;
    int copies = 1; // 1..99
    QString memo;
};

struct PrintRequest {
    std::vector<PrintEntry> entries; // in list order
    TPrintSettings layout;
    int dateForm = DateAndTime;
    // Pictures the camera recorded on their side or mirrored are turned as it says (the
    // options' switch): J6I pictures by their header, JPEG and TIFF pictures by their EXIF
    // orientation.
    bool turnJ6I = true;
    // A picture that the work image could not read either (its reader has said why) is left
    // out like one its decoder refused, instead of printing as an empty framed cell.
    bool leaveOutUnreadable = false;
    // When not one picture was placed, the document is dropped instead of ended blank.
    bool dropEmptyDocument = false;
    // JPEG pictures are decoded at the smallest scale their decoder makes that still covers
    // a quarter more than the rectangle they are drawn into at the printer's resolution (at
    // most PrintedPictureDpi, as the printer reduces them), unless automatic levels are on
    // (they need the whole picture's histogram); off, at full size, to compare.
    bool scaledLoading = true;
};

// The pictures the request prints: the copies of every selected entry added up.
int printCopyCount(const PrintRequest& request);

// The smallest decoded size of a picture stored at stored (turned upright by orientation) that
// prints as sharp and as smoothly reduced as the full picture would in a cell of layout on a
// printer of dotsPerInch; empty when only the full size does. What the print job asks a JPEG
// decoder for.
QSize MinimumDecodedSize(const TPrintSettings& settings, const PrintLayout& layout, int dotsPerInch,
                         QSize stored, int orientation);

class PrintMonitor {
public:
    virtual ~PrintMonitor() = default;
    // The document is open; pictures is printCopyCount.
    virtual void started(int pictures) { (void)pictures; }
    // Asked before every picture copy: false stops the job and drops the document.
    virtual bool running() { return true; }
    // A picture copy has been placed on page (from 1); done copies so far.
    virtual void pictureDone(int done, int page) {
        (void)done;
        (void)page;
    }
    // A file that could not be decoded (or, with leaveOutUnreadable, read at all); its
    // remaining copies are left out.
    virtual void skipped(const QString& path) { (void)path; }
};

enum class PrintOutcome {
    Ended,   // the document was ended and sent (or written)
    Aborted, // stopped through the monitor: the document was dropped
    Empty,   // not one picture was placed and dropEmptyDocument: the document was dropped
};

struct PrintSummary {
    PrintOutcome outcome = PrintOutcome::Ended;
    int printed = 0; // picture copies placed
    int pages = 0;
    QStringList skipped;
};

// The printer refused to begin or could not finish the document; nothing usable was printed.
class PrintFailed : public platform::UserVisibleError {
public:
    using UserVisibleError::UserVisibleError;
};

// The layout leaves the cells too little room on the printer's page to draw a picture in
// (layoutRoom); no document was begun.
class LayoutRefused : public platform::UserVisibleError {
public:
    explicit LayoutRefused(LayoutRoom room);
    LayoutRoom room;
};

// Prints the request on printer in the layout's orientation (which the printer keeps), loading
// every copy into CurrentDib or workImage. Messages about single pictures are shown as they
// come. Throws LayoutRefused before it begins a document for a layout without room for the
// pictures, PrintFailed when the document cannot be begun or finished; any other error thrown
// while printing drops the document first. The caller brackets the job with the wait
// cursor and whatever progress display it has.
PrintSummary RunPrintJob(const PrintRequest& request, platform::Printer& printer, TAll& workImage,
                         PrintMonitor& monitor);

// The date line of a J6I picture from its BCD bytes, in form.
QString j6iDateLine(const J6IInfo& info, int form);
// The date line of a JPEG or TIFF picture from its EXIF shooting date, in the same forms.
QString shootingDateLine(const ExifDateTime& taken, int form);
// The date line of another file, or of one without a shooting date, from its last-modified time
// ("yy/MM/dd hh:mm:ss", cut to the date's 8 characters or the time's).
QString fileDateLine(const QDateTime& modified, int form);

// Where a caption block starts in a slot whose top is slotTop, of cell height cellHeight and
// vertical gap gap; total is the lines' heights and the spacing under them. Right under the
// cell when half the gap holds the block, else so that it ends at the bottom of the slot, over
// the picture.
double captionTop(double slotTop, double cellHeight, double gap, double total);
