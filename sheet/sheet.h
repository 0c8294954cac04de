// Index sheets from the command line: the listed folders and files printed by the print job
// into a PDF file or onto a printer, with the layout, captions, font and corrections the
// settings file holds for the window, and options that override them for one run.
#pragma once

#include "printing/printjob.h"

#include <QCommandLineOption>
#include <QFont>
#include <QString>
#include <QStringList>

#include <array>
#include <optional>

namespace platform {
class Profile;
}

// Exit statuses.
constexpr int SheetPrinted = 0;
constexpr int SheetSkipped = 1;    // some pictures, or all, could not be printed
constexpr int SheetUsageError = 2; // the command line, its selection list or its layout is wrong
constexpr int SheetNotWritten = 3; // the output could not be written

struct SheetOptions {
    QStringList inputs; // folders and picture files
    QString output;     // PDF file
    QString printer;    // or a printer's name
    QString ini;        // settings file; empty: the window's
    QString selectList; // file of names with optional copy counts
    std::optional<int> columns, rows, copies, dateForm;
    std::optional<std::array<int, 4>> margins;   // top, bottom, left, right
    std::optional<std::array<int, 2>> gaps;      // vertical, horizontal
    std::optional<std::array<bool, 3>> captions; // file name, date, memo
    std::optional<QFont> font;
    bool landscape = false;
    bool upright = false;
    bool noLines = false;
    bool quiet = false;
    bool help = false;
    bool version = false;
};

// The options of a command line (without the program's name); the error is set for a usage
// error.
struct ParsedSheetOptions {
    SheetOptions options;
    QString error;
};
ParsedSheetOptions parseSheetOptions(const QStringList& arguments);
QString sheetUsage();
// The line --version prints: the program's name and version.
QString sheetVersion();
// Every option the command line accepts, as the parser takes them.
QList<QCommandLineOption> sheetCommandLineOptions();

// What the run prints: the request for the job, and the caption font when the settings or the
// options name one. Corrections and automatic levels are set program-wide from the settings.
struct SheetJob {
    PrintRequest request;
    std::optional<QFont> font;
};
// Builds the job from the options and the settings file ini; usage errors (a missing input, an
// unreadable selection list, a line of it with copies outside 1..99 or naming no file of the
// inputs) are added to errors, one a line.
SheetJob buildSheetJob(const SheetOptions& options, const platform::Profile& ini,
                       QStringList& errors);

// The whole program after parsing: exit status.
int runSheet(const SheetOptions& options);
