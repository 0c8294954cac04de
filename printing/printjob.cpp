#include "printing/printjob.h"

#include "correction/settings.h"
#include "imaging/all.h"
#include "imaging/fullsize.h"
#include "imaging/j6i.h"
#include "imaging/orientation.h"
#include "imaging/shootingdate.h"
#include "platform/printer.h"
#include "printing/printpicture.h"

#include <QFile>
#include <QFileInfo>
#include <QLocale>

#include <cmath>
#include <future>
#include <memory>
#include <optional>
#include <utility>

namespace {

int rounded(double value) {
    return int(std::lround(value));
}

QString dateLine(const QString& date, const QString& time, int form) {
    switch (form) {
    case DateAndTime:
        return date + u' ' + time;
    case DateOnly:
        return date;
    default:
        return time;
    }
}

// One caption line: printed or not, its text and its extent in printer pixels (0 × 0 when it
// is not printed).
struct CaptionLine {
    bool on = false;
    QString text;
    QSize extent;
};

struct CaptionBlock {
    CaptionLine fileName, date, memo;
    double spacing = 0; // a fifth of the last line measured

    void measure(CaptionLine& line, const QString& text, const platform::Printer& printer) {
        line.on = true;
        line.text = text;
        line.extent = printer.textExtent(text);
        spacing = 0.2 * line.extent.height();
    }
    double total() const {
        return fileName.extent.height() + date.extent.height() + memo.extent.height() + spacing;
    }
};

// The document open, and dropped if the job leaves it any other way than by ending it.
class OpenDocument {
public:
    OpenDocument(platform::Printer& printer, const QString& title) : printer_(printer) {
        if (!printer_.beginDoc(title))
            throw PrintFailed(QStringLiteral("印刷を開始できません"));
    }
    ~OpenDocument() {
        if (printer_.printing())
            printer_.abort();
    }
    OpenDocument(const OpenDocument&) = delete;
    OpenDocument& operator=(const OpenDocument&) = delete;

private:
    platform::Printer& printer_;
};

// CurrentDib released after the last copy of a picture, on every path.
class HeldPictureRelease {
public:
    HeldPictureRelease() = default;
    ~HeldPictureRelease() {
        if (LoadResult == HeldAsDib)
            FreeCurrentDib();
        FreeDecodedDib();
    }
    HeldPictureRelease(const HeldPictureRelease&) = delete;
    HeldPictureRelease& operator=(const HeldPictureRelease&) = delete;
};

// What every copy of the loaded picture prints besides its pixels, found once for all of them.
struct LoadedPicture {
    double proportion = 4.0 / 3.0; // width / height in the cell
    int rotation = 0;              // a J6I turn, honoured when kept upright; 0 for none
    QString dateLine;              // with the date line on
    QSize shape; // the upright size that decides lying on its side; empty: the loaded size
    bool laidDown = false; // laid on its side where it is held, once for all its copies
};

// The next JPEG picture, decoded on another thread while the job prints the one before it:
// its EXIF data read beforehand, its stored size written by the decoding thread.
struct Prefetch {
    size_t entry = 0; // index in the request's entries
    ExifInfo exif;
    std::shared_ptr<QSize> stored = std::make_shared<QSize>();
    std::future<DecodedFile> decoded;
};

class Job {
public:
    Job(const PrintRequest& request, platform::Printer& printer, TAll& workImage,
        PrintMonitor& monitor)
        : request_(request), printer_(printer), workImage_(workImage), monitor_(monitor),
          settings_(request.layout) {}

    PrintSummary run();

private:
    // Loads, turns and corrects the picture of entry index for all its copies; false when the
    // file is to be skipped.
    bool loadPicture(size_t index, LoadedPicture& picture);
    // Whether a picture with extension ext is decoded at the scale its cell needs. Not with
    // automatic levels: they are found from the extremes of the picture's histogram, which a
    // picture decoded smaller (its noise averaged away) does not keep.
    bool decodedSmaller(const QString& ext) const;
    // The EXIF data the job reads of a picture: only when turning or the date line asks for it.
    ExifInfo exifOf(const PrintEntry& entry, const QString& ext) const;
    // Starts decoding the next picture to print after entry index, when it is a JPEG picture
    // its cells need smaller than its full size (a full-size one is decoded at its turn, so that
    // no more than one full-size picture is held at a time).
    void prefetchAfter(size_t index);
    // MinimumDecodedSize for this job's layout and printer.
    QSize minimumToPrint(QSize stored, int orientation) const;
    // Prints one copy of the loaded picture in the next slot.
    void printCopy(const PrintEntry& entry, const LoadedPicture& picture);
    void printCell(const PrintEntry& entry, const LoadedPicture& picture, double x0, double y0);

    const PrintRequest& request_;
    platform::Printer& printer_;
    TAll& workImage_;
    PrintMonitor& monitor_;
    const TPrintSettings& settings_;
    PrintLayout layout_;
    int dotsPerInch_ = 0; // the printer's, read once: the decoding thread does not ask it
    std::optional<Prefetch> next_;
    int cell_ = 0;
    bool firstPage_ = true;
    PrintSummary summary_;
};

PrintSummary Job::run() {
    printer_.setOrientation(settings_.Orientation == 1 ? platform::PageOrientation::Landscape
                                                       : platform::PageOrientation::Portrait);
    const QSize page = printer_.pageSize();
    const LayoutRoom room =
        layoutRoom(settings_, settings_.Orientation == 1 ? page.transposed() : page);
    if (!room.enough())
        throw LayoutRefused(room);
    layout_ = ComputePrintLayout(settings_, page.width(), page.height());
    dotsPerInch_ = printer_.resolution();

    OpenDocument document(printer_, QStringLiteral("タズ"));
    printer_.setPen(Qt::black, 1);
    printer_.setBrush(Qt::white);
    monitor_.started(printCopyCount(request_));
    for (size_t index = 0; index < request_.entries.size(); ++index) {
        const PrintEntry& entry = request_.entries[index];
        // The picture is loaded before its first copy and held until its last one has printed.
        std::optional<HeldPictureRelease> held;
        LoadedPicture picture;
        for (int copy = 0; copy < entry.copies; ++copy) {
            if (!monitor_.running()) {
                printer_.abort();
                summary_.outcome = PrintOutcome::Aborted;
                return summary_;
            }
            if (!entry.selected)
                continue;
            if (!held) {
                held.emplace();
                if (!loadPicture(index, picture)) {
                    summary_.skipped.append(entry.path);
                    monitor_.skipped(entry.path);
                    break;
                }
            }
            printCopy(entry, picture);
        }
    }
    if (summary_.printed == 0 && request_.dropEmptyDocument) {
        printer_.abort();
        summary_.outcome = PrintOutcome::Empty;
        return summary_;
    }
    if (!printer_.endDoc())
        throw PrintFailed(QStringLiteral("印刷データを最後まで書き込めません"));
    summary_.outcome = PrintOutcome::Ended;
    return summary_;
}

bool Job::decodedSmaller(const QString& ext) const {
    return request_.scaledLoading && ext == QLatin1String(".JPG") && !currentAutoLevels().Auto;
}

ExifInfo Job::exifOf(const PrintEntry& entry, const QString& ext) const {
    if (carriesExif(ext) && (request_.turnJ6I || settings_.DateLine))
        return ReadExifInfo(QFile::encodeName(entry.path).toStdString());
    return {};
}

void Job::prefetchAfter(size_t index) {
    const auto& entries = request_.entries;
    size_t next = index + 1;
    while (next < entries.size() && !(entries[next].selected && entries[next].copies > 0))
        ++next;
    if (next >= entries.size() || !decodedSmaller(pictureExtension(entries[next].path)))
        return;
    Prefetch prefetch;
    prefetch.entry = next;
    prefetch.exif = exifOf(entries[next], QStringLiteral(".JPG"));
    const int orientation = request_.turnJ6I ? prefetch.exif.orientation : 0;
    prefetch.decoded = std::async(std::launch::async, [this, path = entries[next].path, orientation,
                                                       stored = prefetch.stored] {
        return DecodeJpegFile(
            path,
            [this, orientation, stored](QSize size) {
                *stored = size;
                return minimumToPrint(size, orientation);
            },
            true);
    });
    next_ = std::move(prefetch);
}

bool Job::loadPicture(size_t index, LoadedPicture& picture) {
    const PrintEntry& entry = request_.entries[index];
    const QString ext = pictureExtension(entry.path);
    std::optional<Prefetch> prefetched;
    if (next_ && next_->entry == index)
        prefetched = std::exchange(next_, std::nullopt);
    // A JPEG or TIFF picture's EXIF data stands where a J6I picture's header does: the way the
    // camera was held turns it upright (with the rotation switch on), and the shooting date is
    // the date line's. Read only when one of them is asked for.
    const ExifInfo exif = prefetched ? prefetched->exif : exifOf(entry, ext);
    const int orientation = request_.turnJ6I && !isHeifExtension(ext) ? exif.orientation : 0;
    QSize stored; // as the decoder reported it where it was asked for a smaller picture
    MinimumForStoredSize minimumFor;
    if (decodedSmaller(ext))
        minimumFor = [&](QSize size) {
            stored = size;
            return minimumToPrint(size, orientation);
        };
    std::optional<DecodedFile> decoded;
    if (prefetched) {
        decoded = prefetched->decoded.get();
        stored = *prefetched->stored;
    }
    const bool skip =
        LoadPrintPicture(entry.path, ext, workImage_, minimumFor, decoded ? &*decoded : nullptr);
    prefetchAfter(index);
    if (skip)
        return false;
    if (request_.leaveOutUnreadable && PrintPictureSize(workImage_).isEmpty())
        return false;

    if (ext == QLatin1String(".J6I")) {
        const J6IInfo info = ReadJ6IInfo(entry.path);
        if (settings_.DateLine)
            picture.dateLine = j6iDateLine(info, request_.dateForm);
        // Turned as the camera was held only when kept upright; else printed as stored.
        if (request_.turnJ6I && settings_.KeepUpright &&
            (info.orientation == TurnClockwise || info.orientation == TurnCounterClockwise)) {
            picture.rotation = info.orientation;
            picture.proportion = 0.75;
        }
    } else {
        if (settings_.DateLine)
            picture.dateLine =
                exif.taken ? shootingDateLine(*exif.taken, request_.dateForm)
                           : fileDateLine(QFileInfo(entry.path).lastModified(), request_.dateForm);
        // The upright size decides the proportion and lying on its side: a picture decoded
        // smaller is placed as its stored size says, exactly as at full size.
        const QSize loaded = PrintPictureSize(workImage_);
        const QSize upright = loaded.isEmpty()
                                  ? QSize()
                                  : uprightSize(stored.isEmpty() ? loaded : stored, orientation);
        picture.laidDown =
            OrientPrintPicture(workImage_, orientation,
                               !upright.isEmpty() && LiesOnItsSide(upright, settings_.KeepUpright));
        picture.shape = upright;
        if (ext != QLatin1String(".CAM") && !upright.isEmpty())
            picture.proportion = double(upright.width()) / upright.height();
    }
    // Corrected upright, once: every copy draws the same corrected pixels.
    CorrectPrintPicture(workImage_);
    return true;
}

QSize Job::minimumToPrint(QSize stored, int orientation) const {
    return MinimumDecodedSize(settings_, layout_, dotsPerInch_, stored, orientation);
}

void Job::printCopy(const PrintEntry& entry, const LoadedPicture& picture) {
    const int row = cell_ / layout_.columns;
    const int column = cell_ % layout_.columns;
    if (cell_ == 0) {
        if (!firstPage_)
            printer_.newPage();
        ++summary_.pages;
    }
    const double x0 = layout_.slotLeft(column);
    const double y0 = layout_.slotTop(row);
    if (settings_.Separators) {
        const int e = column > 0 ? 1 : 0;
        const int f = row > 0 ? 1 : 0;
        const QPoint topLeft(rounded(x0 - e), rounded(y0 - f));
        const QPoint bottomRight(rounded(x0 + layout_.cellWidth + layout_.horizontalGap),
                                 rounded(y0 + layout_.cellHeight + layout_.verticalGap));
        printer_.rectangle(QRect(topLeft, bottomRight - QPoint(1, 1)));
    }
    printCell(entry, picture, x0, y0);

    firstPage_ = false;
    ++summary_.printed;
    monitor_.pictureDone(summary_.printed, summary_.pages);
    if (++cell_ == layout_.columns * layout_.rows)
        cell_ = 0;
}

void Job::printCell(const PrintEntry& entry, const LoadedPicture& picture, double x0, double y0) {
    const double cw = layout_.cellWidth;
    const double ch = layout_.cellHeight;
    const double gh = layout_.horizontalGap;
    const double gv = layout_.verticalGap;

    CaptionBlock caption;
    if (settings_.FileNameLine)
        caption.measure(caption.fileName, QFileInfo(entry.path).fileName(), printer_);
    if (settings_.MemoLine)
        caption.measure(caption.memo, entry.memo, printer_);
    if (settings_.DateLine) // measured last: its height sets the spacing
        caption.measure(caption.date, picture.dateLine, printer_);

    PrintPictureInCell(printer_, rounded(x0 + (gh + cw) / 2), rounded(y0 + (gv + ch) / 2),
                       rounded(cw), rounded(ch), picture.proportion, workImage_, picture.rotation,
                       settings_.KeepUpright, picture.shape, picture.laidDown);

    double y = captionTop(y0, ch, gv, caption.total());
    for (const CaptionLine* line : {&caption.fileName, &caption.date, &caption.memo}) {
        if (!line->on)
            continue;
        if (!line->text.isEmpty())
            printer_.textOut(QPoint(rounded(x0 + (cw + gh - line->extent.width()) / 2), rounded(y)),
                             line->text);
        y += line->extent.height();
    }
}

} // namespace

LayoutRefused::LayoutRefused(LayoutRoom room)
    : UserVisibleError(QStringLiteral("画像サイズが小さすぎて印刷できません")), room(room) {}

int printCopyCount(const PrintRequest& request) {
    int count = 0;
    for (const PrintEntry& entry : request.entries)
        if (entry.selected)
            count += entry.copies;
    return count;
}

QSize MinimumDecodedSize(const TPrintSettings& settings, const PrintLayout& layout, int dotsPerInch,
                         QSize stored, int orientation) {
    if (stored.isEmpty())
        return {};
    const QSize upright = turnsSideways(orientation) ? stored.transposed() : stored;
    const QSizeF extent =
        FittedPictureExtent(rounded(layout.cellWidth), rounded(layout.cellHeight),
                            double(upright.width()) / upright.height(), settings.KeepUpright);
    const QSize drawn(rounded(extent.width()), rounded(extent.height()));
    // The picture as it reaches the page: a quarter turn from upright when it lies on its side.
    const bool lying = LiesOnItsSide(upright, settings.KeepUpright);
    const QSize onPage = lying ? upright.transposed() : upright;
    // The printer reduces by averaging whole source pixels: from a picture barely larger than
    // the printed one it would drop rows and columns instead of averaging them as it does from
    // the full size, so a picture is decoded at least a quarter larger than it prints (the
    // shared camera pictures then print within 39 dB of their full-size prints).
    const QSize printed = platform::printedPictureSize(onPage, drawn, dotsPerInch);
    const QSize needed((printed.width() * 5 + 3) / 4, (printed.height() * 5 + 3) / 4);
    if (needed.width() >= onPage.width() || needed.height() >= onPage.height())
        return {}; // no scale below the full size serves
    const QSize neededUpright = lying ? needed.transposed() : needed;
    return turnsSideways(orientation) ? neededUpright.transposed() : neededUpright;
}

PrintSummary RunPrintJob(const PrintRequest& request, platform::Printer& printer, TAll& workImage,
                         PrintMonitor& monitor) {
    return Job(request, printer, workImage, monitor).run();
}

QString j6iDateLine(const J6IInfo& info, int form) {
    return dateLine(j6iDateText(info), j6iTimeText(info), form);
}

QString shootingDateLine(const ExifDateTime& taken, int form) {
    return dateLine(shootingDateText(taken), shootingTimeText(taken), form);
}

QString fileDateLine(const QDateTime& modified, int form) {
    const QString text = QLocale::c().toString(modified, QStringLiteral("yy/MM/dd hh:mm:ss"));
    switch (form) {
    case DateAndTime:
        return text;
    case DateOnly:
        return text.left(8);
    default:
        return text.mid(9, 8);
    }
}

double captionTop(double slotTop, double cellHeight, double gap, double total) {
    if (gap / 2 > total)
        return slotTop + gap / 2 + cellHeight;
    return slotTop + cellHeight + gap - total;
}
