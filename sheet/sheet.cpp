#include "sheet/sheet.h"

#include "app/mainstate.h"
#include "app/memos.h"
#include "app/pages.h"
#include "correction/settings.h"
#include "imaging/all.h"
#include "platform/checked.h"
#include "platform/filecontrols.h"
#include "platform/guard.h"
#include "platform/interaction.h"
#include "platform/printer.h"
#include "platform/profile.h"
#include "printing/printsettings.h"
#include "sheet/interrupt.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPageSize>
#include <QPrinter>
#include <QPrinterInfo>

#include <cstdio>

#include <unistd.h>

namespace {

// Comma-separated whole numbers, exactly count of them.
template <size_t N> std::optional<std::array<int, N>> numbers(const QString& text) {
    const QStringList parts = text.split(u',');
    if (parts.size() != qsizetype(N))
        return std::nullopt;
    std::array<int, N> values{};
    for (size_t i = 0; i < N; ++i) {
        bool ok = false;
        values[i] = parts[qsizetype(i)].trimmed().toInt(&ok);
        if (!ok)
            return std::nullopt;
    }
    return values;
}

std::optional<int> number(const QString& text, int minimum, int maximum) {
    bool ok = false;
    const int value = text.toInt(&ok);
    if (!ok || value < minimum || value > maximum)
        return std::nullopt;
    return value;
}

void printError(const QString& text) {
    std::fprintf(stderr, "tazu-sheet: %s\n", text.toLocal8Bit().constData());
}

// Every message box of a run is a line on standard error.
class ErrorOutput : public platform::Answerer {
public:
    platform::MessageAnswer message(const platform::MessageRequest& request) override {
        printError(request.text);
        switch (request.buttons) {
        case platform::MessageButtons::YesNo:
        case platform::MessageButtons::YesNoCancel:
            return platform::MessageAnswer::No;
        case platform::MessageButtons::AbortRetry:
            return platform::MessageAnswer::Abort;
        default:
            return platform::MessageAnswer::Ok;
        }
    }
};

// The progress on standard error: a bar on a terminal, a line a page otherwise.
class ErrorStreamMonitor : public PrintMonitor {
public:
    explicit ErrorStreamMonitor(bool quiet) : quiet_(quiet), terminal_(isatty(STDERR_FILENO)) {}

    void started(int pictures) override {
        total_ = pictures;
        clock_.start();
    }
    void pictureDone(int done, int page) override {
        if (quiet_)
            return;
        if (terminal_) {
            constexpr int Width = 30;
            const int filled = total_ > 0 ? done * Width / total_ : Width;
            const qint64 elapsed = clock_.elapsed();
            const qint64 left = done > 0 ? elapsed * (total_ - done) / done / 1000 : 0;
            std::fprintf(stderr, "\r[%s%s] %d/%d pictures, page %d, %lld:%02lld left ",
                         QByteArray(filled, '#').constData(),
                         QByteArray(Width - filled, '.').constData(), done, total_, page, left / 60,
                         left % 60);
        } else if (page != page_ && page_ > 0) {
            std::fprintf(stderr, "page %d printed (%d/%d pictures)\n", page_, done - 1, total_);
        }
        page_ = page;
        done_ = done;
    }
    void skipped(const QString& path) override {
        if (terminal_ && !quiet_)
            std::fputc('\n', stderr);
        printError(QStringLiteral("skipped %1").arg(path));
    }
    void finished() const {
        if (quiet_ || page_ == 0)
            return;
        if (terminal_)
            std::fputc('\n', stderr);
        else
            std::fprintf(stderr, "page %d printed (%d/%d pictures)\n", page_, done_, total_);
    }

private:
    bool quiet_;
    bool terminal_;
    int total_ = 0;
    int page_ = 0;
    int done_ = 0;
    QElapsedTimer clock_;
};

// The masks of the file type the window shows (section TForm1, "Filter").
QString windowFileMask(const platform::Profile& ini) {
    platform::FilterComboBox types;
    types.setFilter(installedFileTypeFilter());
    types.setItemIndex(ini.readInteger(QStringLiteral("TForm1"), QStringLiteral("Filter"), 0));
    return types.mask();
}

// The memos of names in folder from its memo file.
QStringList memosOf(const QString& folder, const QStringList& names) {
    Memos = QStringList();
    for (int i = 0; i < names.size() + CellsPerPage + 1; ++i)
        Memos.append(QString());
    LoadMemos({folder, names, int(names.size())});
    return Memos.mid(0, names.size());
}

// A line of the selection list that names a file: its line number, the name (or path) and the
// copies.
struct ListedFile {
    int line = 0;
    QString name;
    int copies = 1;
    bool found = false; // among the files of the inputs
};

// The selection list: a name (or path) a line, optionally a tab or a comma and its copies.
// A line whose copies are a whole number outside 1..99 is an error; text after the last tab or
// comma that is no whole number belongs to the name.
std::vector<ListedFile> readSelectList(QFile& file, int defaultCopies, QStringList& errors) {
    std::vector<ListedFile> listed;
    const QString list = file.fileName();
    for (int number = 1; !file.atEnd(); ++number) {
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        ListedFile entry{number, line, defaultCopies};
        const qsizetype cut = std::max(line.lastIndexOf(u'\t'), line.lastIndexOf(u','));
        if (cut > 0) {
            bool whole = false;
            const int count = line.mid(cut + 1).trimmed().toInt(&whole);
            if (whole && (count < 1 || count > 99)) {
                errors.append(QStringLiteral("%1:%2: copies outside 1..99: %3")
                                  .arg(list)
                                  .arg(number)
                                  .arg(line));
                continue;
            }
            if (whole) {
                entry.copies = count;
                entry.name = line.left(cut).trimmed();
            }
        }
        listed.push_back(entry);
    }
    return listed;
}

// The values that leave a layout's cells too small to draw, as its options name them.
QString layoutRefusal(const TPrintSettings& s, LayoutRoom room) {
    QStringList causes;
    if (!room.across)
        causes.append(QStringLiteral("too narrow with %1 columns, left and right margins %2 and "
                                     "%3, horizontal gap %4")
                          .arg(s.Columns)
                          .arg(s.Left)
                          .arg(s.Right)
                          .arg(s.HorizontalGap));
    if (!room.down)
        causes.append(QStringLiteral("too low with %1 rows, top and bottom margins %2 and %3, "
                                     "vertical gap %4")
                          .arg(s.Rows)
                          .arg(s.Top)
                          .arg(s.Bottom)
                          .arg(s.VerticalGap));
    return QStringLiteral("the layout leaves cells too small to draw pictures in: %1")
        .arg(causes.join(QStringLiteral("; ")));
}

TAutoLevels storedAutoLevels;

} // namespace

QString sheetUsage() {
    return QStringLiteral(
        "Usage: tazu-sheet [options] FOLDER_OR_FILE... -o OUT.pdf\n"
        "       tazu-sheet [options] FOLDER_OR_FILE... --printer NAME\n"
        "Prints index sheets of the pictures: a folder stands for its files of the file type\n"
        "the window shows (at most 500), in the window's order. Layout, captions, font and\n"
        "corrections come from the window's settings file; the options override them.\n"
        "\n"
        "  -o, --output FILE        write the sheets into this PDF file\n"
        "      --printer NAME       print them on this printer instead\n"
        "      --ini FILE           read the settings from this file\n"
        "      --columns N          pictures across (1..50)\n"
        "      --rows N             pictures down (1..99)\n"
        "      --landscape          landscape sheets\n"
        "      --margins T,B,L,R    margins in per mille of the page's mean side (0..999)\n"
        "      --gaps V,H           gaps between rows and columns (0..500)\n"
        "      --captions LIST      caption lines: any of name,date,memo (or none)\n"
        "      --upright            keep tall pictures upright\n"
        "      --no-lines           no separator lines\n"
        "      --font NAME,SIZE     caption font and its size in points\n"
        "      --date-form FORM     both, date or time\n"
        "      --copies N           copies of every picture (1..99)\n"
        "      --select LISTFILE    print only the files listed, a name a line, optionally\n"
        "                           followed by a tab or a comma and its copies\n"
        "      --quiet              no progress\n"
        "  -h, --help               this text\n"
        "      --version            the version\n"
        "\n"
        "Pictures that cannot be read are named and left out. Exit status: 0 all pictures\n"
        "printed, 1 some or all left out (no file is written when none was printed), 2 usage\n"
        "error (also a layout without room for the pictures, a selection list line with\n"
        "copies outside 1..99 or naming no file), 3 the output could not be written.\n");
}

QList<QCommandLineOption> sheetCommandLineOptions() {
    const auto valued = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name), QString(), QStringLiteral("value"));
    };
    const auto flag = [](const char* name) {
        return QCommandLineOption(QString::fromLatin1(name));
    };
    return {QCommandLineOption(QStringList{QStringLiteral("o"), QStringLiteral("output")},
                               QString(), QStringLiteral("file")),
            valued("printer"),
            valued("ini"),
            valued("columns"),
            valued("rows"),
            valued("margins"),
            valued("gaps"),
            valued("captions"),
            valued("font"),
            valued("date-form"),
            valued("copies"),
            valued("select"),
            flag("landscape"),
            flag("upright"),
            flag("no-lines"),
            flag("quiet"),
            QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
            flag("version")};
}

QString sheetVersion() {
    return QStringLiteral("tazu-sheet " TAZU_VERSION "\n");
}

ParsedSheetOptions parseSheetOptions(const QStringList& arguments) {
    ParsedSheetOptions parsed;
    SheetOptions& o = parsed.options;
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOptions(sheetCommandLineOptions());
    if (!parser.parse(QStringList{QStringLiteral("tazu-sheet")} + arguments)) {
        parsed.error = parser.errorText();
        return parsed;
    }
    const auto isSet = [&](const char* name) { return parser.isSet(QString::fromLatin1(name)); };
    const auto value = [&](const char* name) { return parser.value(QString::fromLatin1(name)); };
    o.help = isSet("help");
    o.version = isSet("version");
    if (o.help || o.version)
        return parsed;
    o.inputs = parser.positionalArguments();
    o.output = value("output");
    o.printer = value("printer");
    o.ini = value("ini");
    o.selectList = value("select");
    o.landscape = isSet("landscape");
    o.upright = isSet("upright");
    o.noLines = isSet("no-lines");
    o.quiet = isSet("quiet");

    const auto bad = [&](const QString& what) {
        parsed.error = QStringLiteral("invalid %1").arg(what);
        return parsed;
    };
    const auto ranged = [&](const char* option, int minimum, int maximum,
                            std::optional<int>& into) {
        if (!isSet(option))
            return true;
        into = number(value(option), minimum, maximum);
        return into.has_value();
    };
    if (!ranged("columns", 1, 50, o.columns))
        return bad(QStringLiteral("--columns (1..50)"));
    if (!ranged("rows", 1, 99, o.rows))
        return bad(QStringLiteral("--rows (1..99)"));
    if (!ranged("copies", 1, 99, o.copies))
        return bad(QStringLiteral("--copies (1..99)"));
    if (isSet("margins")) {
        o.margins = numbers<4>(value("margins"));
        if (!o.margins || std::any_of(o.margins->begin(), o.margins->end(),
                                      [](int v) { return v < 0 || v > 999; }))
            return bad(QStringLiteral("--margins (T,B,L,R, each 0..999)"));
    }
    if (isSet("gaps")) {
        o.gaps = numbers<2>(value("gaps"));
        if (!o.gaps ||
            std::any_of(o.gaps->begin(), o.gaps->end(), [](int v) { return v < 0 || v > 500; }))
            return bad(QStringLiteral("--gaps (V,H, each 0..500)"));
    }
    if (isSet("captions")) {
        std::array<bool, 3> lines{};
        for (const QString& line : value("captions").split(u',', Qt::SkipEmptyParts)) {
            const QString l = line.trimmed();
            if (l == QLatin1String("name"))
                lines[0] = true;
            else if (l == QLatin1String("date"))
                lines[1] = true;
            else if (l == QLatin1String("memo"))
                lines[2] = true;
            else if (l != QLatin1String("none"))
                return bad(QStringLiteral("--captions (name,date,memo)"));
        }
        o.captions = lines;
    }
    if (isSet("font")) {
        const QString text = value("font");
        const qsizetype comma = text.lastIndexOf(u',');
        const auto size = comma > 0 ? number(text.mid(comma + 1).trimmed(), 1, 200) : std::nullopt;
        if (!size)
            return bad(QStringLiteral("--font (NAME,SIZE in points)"));
        QFont chosen(text.left(comma).trimmed());
        chosen.setPointSize(*size);
        o.font = chosen;
    }
    if (isSet("date-form")) {
        const QString form = value("date-form");
        if (form == QLatin1String("both"))
            o.dateForm = DateAndTime;
        else if (form == QLatin1String("date"))
            o.dateForm = DateOnly;
        else if (form == QLatin1String("time"))
            o.dateForm = TimeOnly;
        else
            return bad(QStringLiteral("--date-form (both, date or time)"));
    }
    if (o.inputs.isEmpty())
        parsed.error = QStringLiteral("no folder or picture file given");
    else if (o.output.isEmpty() == o.printer.isEmpty())
        parsed.error = QStringLiteral("give either -o OUT.pdf or --printer NAME");
    return parsed;
}

SheetJob buildSheetJob(const SheetOptions& options, const platform::Profile& ini,
                       QStringList& errors) {
    SheetJob job;
    // What could not be printed is named and left out, and a run that printed nothing leaves
    // nothing behind.
    job.request.leaveOutUnreadable = true;
    job.request.dropEmptyDocument = true;
    const StoredPrintSettings stored = readPrintSettings(ini);
    TPrintSettings& layout = job.request.layout;
    layout = stored.layout;
    if (options.columns)
        layout.Columns = *options.columns;
    if (options.rows)
        layout.Rows = *options.rows;
    if (options.landscape)
        layout.Orientation = 1;
    if (options.margins)
        std::tie(layout.Top, layout.Bottom, layout.Left, layout.Right) =
            std::tuple_cat(*options.margins);
    if (options.gaps)
        std::tie(layout.VerticalGap, layout.HorizontalGap) = std::tuple_cat(*options.gaps);
    if (options.captions)
        std::tie(layout.FileNameLine, layout.DateLine, layout.MemoLine) =
            std::tuple_cat(*options.captions);
    if (options.upright)
        layout.KeepUpright = true;
    if (options.noLines)
        layout.Separators = false;
    job.request.dateForm = options.dateForm.value_or(stored.dateForm);
    job.request.turnJ6I = ini.readBool(QStringLiteral("Option"), QStringLiteral("Kaiten"), true);
    job.font = options.font ? options.font : stored.font;

    CorrectionSettings = readCorrectionSettings(ini);
    clampCorrectionSettings(CorrectionSettings);
    const QString tone = QStringLiteral("Tone");
    storedAutoLevels = {ini.readBool(tone, QStringLiteral("Auto"), false),
                        std::clamp(ini.readInteger(tone, QStringLiteral("Levelh"), 0), 0, 100),
                        std::clamp(ini.readInteger(tone, QStringLiteral("Levell"), 0), 0, 100)};
    AutoLevelsFrom = [] { return storedAutoLevels; };

    const int copies = options.copies.value_or(1);
    std::vector<ListedFile> listed;
    if (!options.selectList.isEmpty()) {
        QFile list(options.selectList);
        if (!list.open(QIODevice::ReadOnly | QIODevice::Text)) {
            errors.append(
                QStringLiteral("cannot read the selection list [%1]").arg(options.selectList));
            return job;
        }
        listed = readSelectList(list, copies, errors);
    }
    // Copies of a file of the inputs: those of its line in the selection list (by path or by
    // name), else not selected; without a list every file, options.copies times.
    const auto copiesOf = [&](const QString& path) -> int {
        if (options.selectList.isEmpty())
            return copies;
        const QFileInfo file(path);
        int count = 0;
        for (ListedFile& entry : listed)
            if (entry.name.compare(file.fileName(), Qt::CaseInsensitive) == 0 ||
                QFileInfo(entry.name).absoluteFilePath() == file.absoluteFilePath()) {
                if (count == 0) // the first line that names it counts
                    count = entry.copies;
                entry.found = true;
            }
        return count;
    };

    const QString mask = windowFileMask(ini);
    for (const QString& input : options.inputs) {
        const QFileInfo info(input);
        QString folder;
        QStringList names;
        if (info.isDir()) {
            platform::FileListBox list;
            list.setMask(mask);
            list.setDirectory(info.absoluteFilePath());
            folder = list.directory();
            names = list.items().mid(0, MaxFolderFiles);
        } else if (info.isFile()) {
            folder = info.absolutePath();
            names = {info.fileName()};
        } else {
            errors.append(QStringLiteral("no such folder or file [%1]").arg(input));
            return job;
        }
        const QStringList memos = memosOf(folder, names);
        for (qsizetype i = 0; i < names.size(); ++i) {
            const QString path = pathInFolder(folder, names[i]);
            const int count = copiesOf(path);
            job.request.entries.push_back({path, count > 0, std::max(count, 1), memos[i]});
        }
    }
    for (const ListedFile& entry : listed)
        if (!entry.found)
            errors.append(QStringLiteral("%1:%2: no file of the inputs is named %3")
                              .arg(options.selectList)
                              .arg(entry.line)
                              .arg(entry.name));
    return job;
}

int runSheet(const SheetOptions& options) {
    ErrorOutput messages;
    const platform::ScopedAnswerer scope(messages);
    const platform::Profile ini(
        options.ini.isEmpty() ? platform::settingsFilePath(QStringLiteral("tazu")) : options.ini);
    QStringList errors;
    SheetJob job = buildSheetJob(options, ini, errors);
    if (!errors.isEmpty()) {
        for (const QString& error : errors)
            printError(error);
        return SheetUsageError;
    }
    if (printCopyCount(job.request) == 0) {
        printError(QStringLiteral("印刷ファイルが選択されていません"));
        return SheetSkipped;
    }

    platform::QtPrinter printer;
    QPrinter& qt = printer.qprinter();
    if (!options.printer.isEmpty()) {
        const QPrinterInfo chosen = QPrinterInfo::printerInfo(options.printer);
        if (chosen.isNull()) {
            printError(QStringLiteral("no such printer [%1]").arg(options.printer));
            return SheetUsageError;
        }
        qt.setOutputFormat(QPrinter::NativeFormat);
        qt.setPrinterName(options.printer);
    } else {
        qt.setOutputFormat(QPrinter::PdfFormat);
        qt.setPageSize(QPageSize(QPageSize::A4));
        qt.setOutputFileName(QFileInfo(options.output).absoluteFilePath());
    }
    if (job.font) {
        QFont font = printer.font();
        font.setFamily(job.font->family());
        font.setPointSize(job.font->pointSize());
        applyFontStyleBits(font, fontStyleBits(*job.font));
        printer.setFont(font);
    }

    TAll workImage;
    ErrorStreamMonitor monitor(options.quiet);
    std::optional<RemoveOnInterrupt> interrupted;
    if (options.printer.isEmpty())
        interrupted.emplace(platform::partialPdfFile(qt.outputFileName()));
    try {
        const PrintSummary summary = RunPrintJob(job.request, printer, workImage, monitor);
        monitor.finished();
        if (summary.outcome == PrintOutcome::Empty) {
            printError(options.printer.isEmpty()
                           ? QStringLiteral("not one picture was printed; no file was written")
                           : QStringLiteral("not one picture was printed; nothing was sent"));
            return SheetSkipped;
        }
        return summary.skipped.isEmpty() ? SheetPrinted : SheetSkipped;
    } catch (const LayoutRefused& refused) {
        printError(layoutRefusal(job.request.layout, refused.room));
        return SheetUsageError;
    } catch (const std::exception& failure) {
        monitor.finished();
        printError(platform::errorText(failure));
        return SheetNotWritten;
    }
}
