// The state of the main window that the rest of the program reads: the folder's files taking
// part, their print selection, copies and memos, and the viewer's input. No window code, so that
// the logic modules (the print job among them) can include it.
#pragma once

#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>

class TAll;
class TForm1;

// True while start-up may go on; cleared when the JPEG decoder plug-in is missing. The main
// window writes its settings at the end only while it holds.
extern bool StartupOk;

// Viewer size of J6I pictures: 768 × 576 when true, else 640 × 480.
extern bool J6ILargeSize;
extern int ViewerWidth;
extern int ViewerHeight;

// At most this many files of a folder take part in paging, selection, memos and printing.
constexpr int MaxFolderFiles = 500;
constexpr int CellsPerPage = 8;
// The per-file arrays reach one page beyond the last file, so that a page's eight cells can
// always be indexed.
constexpr int PerFileEntries = MaxFolderFiles + CellsPerPage + 1;

extern int FileCount; // files of the folder taking part: the list's count, at most 500
extern int PageTop;   // index of the page's first file, a multiple of 8

extern std::array<bool, PerFileEntries> Selected;  // print selection per file
extern std::array<uint8_t, PerFileEntries> Copies; // copies per file, 1..99
extern QStringList Memos;                          // memo per file, FileCount + 9 entries

// Memos are saved automatically before the main window leaves a folder and at exit; always
// equal to the options dialog's memo check box.
extern bool MemoAutoSave;

// The picture the viewer opens, set by the main window before it shows the viewer.
extern QString ViewerPath;

// True while a print job may go on; the printing progress dialog's cancel button clears it and
// the job stops before its next picture.
extern bool PrintRunning;

// True when some file 0 .. FileCount - 1 is selected for printing.
bool AnySelected();
// The copies of every selected file 0 .. FileCount - 1 added up.
int CountPrintCopies();

// The main window, created at start-up.
extern TForm1* Form1;

// The main window's hidden picture control, which the print job loads pictures with.
extern TAll* bg;
