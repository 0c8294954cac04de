// The arithmetic of an index sheet: where the slots, cells and picture frames of a page lie for
// given columns, rows, margins and gaps, on the printer page and on the print settings dialog's
// preview paper, and the measures the dialog shows. No window code: the print job uses the same
// rules on the real page.
#pragma once

#include <QSize>
#include <QString>

#include <array>
#include <cstdint>

// The layout values a print keeps between runs. Margins are per mille of the page's mean
// dimension M = (width + height) / 2; a gap is per mille of M / 2, the whole distance between
// neighbouring cells (so each cell has gap × M / 1000 free on each side inside its slot).
struct TPrintSettings {
    int32_t VerticalGap = 10;   // between rows, 0..500
    int32_t HorizontalGap = 10; // between columns, 0..500
    int32_t Top = 0;            // margins, 0..999
    int32_t Bottom = 0;
    int32_t Left = 0;
    int32_t Right = 0;
    int32_t Columns = 2;     // 1..50
    int32_t Rows = 4;        // 1..99
    int32_t Orientation = 0; // 0 portrait, 1 landscape
    bool Separators = true;  // outline every slot
    bool FileNameLine = false;
    bool DateLine = false;
    bool KeepUpright = false; // tall pictures printed upright rather than on their side
    bool MemoLine = false;
    int32_t Number = 3; // carried through unchanged
};

// Rectangles by their corners, the right and bottom edges exclusive.
struct Corners {
    int left = 0;
    int top = 0;
    int right = 0;
    int bottom = 0;
    bool operator==(const Corners&) const = default;
};

// The page geometry in the pixels of the page it was computed for.
struct PrintLayout {
    double mean = 0; // M
    double top = 0, bottom = 0, left = 0, right = 0;
    double verticalGap = 0, horizontalGap = 0;
    double cellWidth = 0, cellHeight = 0;
    int columns = 1, rows = 1;

    // Slot (row, column), both from 0: cell width + gap wide, cell height + gap high.
    double slotLeft(int column) const { return left + column * (cellWidth + horizontalGap); }
    double slotTop(int row) const { return top + row * (cellHeight + verticalGap); }
    // The cell is centred in its slot.
    double cellLeft(int column) const { return slotLeft(column) + horizontalGap / 2; }
    double cellTop(int row) const { return slotTop(row) + verticalGap / 2; }
};

// The plain rule on a page width × height pixels, in the page's own orientation.
PrintLayout ComputePrintLayout(const TPrintSettings& settings, double width, double height);

// The preview paper for a page width × height (portrait pixels): as large as fits 225 × 305.
constexpr int PreviewWidth = 225;
constexpr int PreviewHeight = 305;
QSize FitPreviewPaper(int width, int height);

// The extents of a cell along the width and the height of a portrait page of width × height
// pixels: for a landscape sheet the layout is turned a quarter turn onto the page, its rows
// and top and bottom margins along the page's width.
struct TurnedCell {
    double acrossWidth = 0;
    double acrossHeight = 0;
};
TurnedCell turnedCellExtent(const TPrintSettings& settings, double width, double height);

// The preview of a sheet on paper of the given size.
struct LayoutPreview {
    bool accepted = false; // false: a cell would be 5 preview pixels or less; nothing is drawn
    Corners paper;
    int slotCount = 0;
    // Slot k: the slot, the cell in it, and the 64 × 48 picture frame centred in the slot.
    struct Slot {
        Corners slot, cell, frame;
    };
    Slot slot(int k) const;

    // What the slots are computed from.
    TPrintSettings settings;
    double cellAcross = 0, cellDown = 0; // cx, cy on the preview paper
    double frameWidth = 0, frameHeight = 0;
    double mean = 0;
};
LayoutPreview previewLayout(const TPrintSettings& settings, QSize paper);

// Whether a layout leaves its cells room to draw pictures on a printer page whose portrait size
// is portraitPage pixels, by the rule the print settings dialog refuses values with: the cells of
// its preview of that page are more than 5 preview pixels each way. Across is along the sheet's
// rows (columns, left and right margins, horizontal gap), down along its columns (rows, top and
// bottom margins, vertical gap), in the sheet's own orientation.
struct LayoutRoom {
    bool across = true;
    bool down = true;
    bool enough() const { return across && down; }
};
LayoutRoom layoutRoom(const TPrintSettings& settings, QSize portraitPage);

// The texts the dialog shows for a layout on the printer page (portrait, width × height pixels
// at dpi dots per inch): picture size, paper size, and the six gaps and margins in millimetres.
struct LayoutMeasures {
    QString pictureSize;              // "画像サイズ %4.1fmm*%4.1fmm"
    QString paperSize;                // "用紙サイズ %4.1fmm*%4.1fmm"
    std::array<QString, 6> distances; // vertical gap, horizontal gap, top, bottom, left, right
};
LayoutMeasures layoutMeasures(const TPrintSettings& settings, int width, int height, int dpi);

// The height of lines caption lines in a font of fontSize points, "%4.1fmm".
QString captionHeightText(int fontSize, int lines);

// "%d/%d" of the pictures to print and per page, and "%d" of the pages they take.
struct PageCountTexts {
    QString perPage;
    QString pages;
};
PageCountTexts pageCountTexts(int pictures, int columns, int rows);
