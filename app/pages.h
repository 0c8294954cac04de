// The arithmetic of the main window's pages, without the window: the file-type lists, which
// page buttons apply, the page counter, where a thumbnail sits in its cell, and the folder the
// window starts in.
#pragma once

#include "imaging/orientation.h"

#include <QRect>
#include <QString>

#include <functional>

// The file-type list, "description|masks|...": the fixed types, then one type for each optional
// decoder plug-in (CAM, MAG, PI, PIC) that pluginPresent says is there, then all picture files.
QString fileTypeFilter(const std::function<bool(const QString& pluginFile)>& pluginPresent);

// The file-type list for the plug-ins that load on this system.
QString installedFileTypeFilter();

// The files of a list that take part: at most MaxFolderFiles.
int participatingFileCount(int listCount);

struct PageButtons {
    int filesOnPage = 0;
    bool nextEnabled = false;
    bool previousEnabled = false;
};
// Files shown on the page starting at pageTop (pageTop must not exceed fileCount) and which
// page buttons are enabled.
PageButtons pageButtons(int pageTop, int fileCount);

// "%2d/%2d": this page and the number of pages; an empty folder is page 1 of 1.
QString pageCounterText(int pageTop, int fileCount);

// Where the thumbnails sit: the rectangle of cell 0 and the distance between cells.
struct CellGrid {
    QRect first;
    int pitchX = 0;
    int pitchY = 0;
    QRect cell(int index) const; // cells run four to a row
};

// Fits a picture of width × height into cell: wide pictures keep the cell's width and move
// down, tall ones keep its height and move right, the ones between 5:4 and 1:1 fill the cell.
// J6I and CAM pictures (by the upper-case extension with its dot) count as 4:3 whatever their
// stored height. width × height is the picture as stored; one shown upright in an orientation
// that turns it sideways (see imaging/orientation.h) is fitted with its sides exchanged, so a
// J6I picture recorded on its side fits as 3:4.
QRect fitThumbnail(const QRect& cell, int width, int height, const QString& extension,
                   int orientation = AsStored);

// folder + "/" + name, without a second "/" when the folder ends in one.
QString pathInFolder(const QString& folder, const QString& name);

// What the start folder depends on, as functions so that volumes that are not ready can be
// tried out.
struct FolderProbe {
    std::function<QString(const QString& path)> driveOf; // root of the volume holding path
    std::function<bool(const QString& drive)> driveReady;
    std::function<bool(const QString& folder)> folderExists;
    // The volume that held path is not mounted now (a card taken out).
    std::function<bool(const QString& path)> volumeMissing;
};

// The folder to open at start: the program's own folder when no folder is stored (or the
// stored one is not an absolute path), or its drive is not ready, or the volume it was on is not
// mounted now; else the stored folder when it exists, else the root of its drive.
QString chooseStartFolder(const QString& stored, const QString& programFolder,
                          const FolderProbe& probe);
