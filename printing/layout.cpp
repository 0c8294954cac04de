#include "printing/layout.h"

#include <algorithm>
#include <cmath>

namespace {

// Corners are rounded to the nearest integer, ties to the even one.
int rounded(double value) {
    return int(std::nearbyint(value));
}

Corners cornersOf(double left, double top, double right, double bottom) {
    return {rounded(left), rounded(top), rounded(right), rounded(bottom)};
}

// The margins and gaps of settings on a surface whose mean dimension is mean.
struct Distances {
    double top, bottom, left, right, verticalGap, horizontalGap;
};

Distances distancesOf(const TPrintSettings& s, double mean) {
    return {s.Top * mean / 1000,   s.Bottom * mean / 1000,     s.Left * mean / 1000,
            s.Right * mean / 1000, s.VerticalGap * mean / 500, s.HorizontalGap * mean / 500};
}

// A cell of the preview whose width or height is 5 pixels or less is too small to draw.
bool drawable(double previewExtent) {
    return previewExtent > 5;
}

int atLeastOne(int value) {
    return std::max(value, 1);
}

QString millimetres(double pixels, int dpi) {
    return QString::asprintf("%4.1fmm", pixels * 254 / (dpi * 10.0));
}

} // namespace

PrintLayout ComputePrintLayout(const TPrintSettings& settings, double width, double height) {
    PrintLayout layout;
    layout.mean = (width + height) / 2;
    const Distances d = distancesOf(settings, layout.mean);
    layout.top = d.top;
    layout.bottom = d.bottom;
    layout.left = d.left;
    layout.right = d.right;
    layout.verticalGap = d.verticalGap;
    layout.horizontalGap = d.horizontalGap;
    layout.columns = atLeastOne(settings.Columns);
    layout.rows = atLeastOne(settings.Rows);
    layout.cellHeight = (height - d.top - d.bottom - layout.rows * d.verticalGap) / layout.rows;
    layout.cellWidth =
        (width - d.left - d.right - layout.columns * d.horizontalGap) / layout.columns;
    return layout;
}

QSize FitPreviewPaper(int width, int height) {
    const int64_t w = width;
    const int64_t h = height;
    if (w <= 0 || h <= 0)
        return {PreviewWidth, PreviewHeight};
    if (PreviewHeight * w < PreviewWidth * h)
        return {int(PreviewHeight * w / h), PreviewHeight};
    return {PreviewWidth, int(PreviewWidth * h / w)};
}

TurnedCell turnedCellExtent(const TPrintSettings& s, double width, double height) {
    const Distances d = distancesOf(s, (width + height) / 2);
    const int columns = atLeastOne(s.Columns);
    const int rows = atLeastOne(s.Rows);
    if (s.Orientation == 1)
        return {(width - d.top - d.bottom - rows * d.verticalGap) / rows,
                (height - d.left - d.right - columns * d.horizontalGap) / columns};
    return {(width - d.left - d.right - columns * d.horizontalGap) / columns,
            (height - d.top - d.bottom - rows * d.verticalGap) / rows};
}

LayoutPreview previewLayout(const TPrintSettings& settings, QSize paper) {
    LayoutPreview preview;
    preview.settings = settings;
    preview.settings.Columns = atLeastOne(settings.Columns);
    preview.settings.Rows = atLeastOne(settings.Rows);
    preview.paper = {0, 0, paper.width(), paper.height()};
    const double pw = paper.width() - 1;
    const double ph = paper.height() - 1;
    preview.mean = (pw + ph) / 2;
    const TurnedCell cell = turnedCellExtent(preview.settings, pw, ph);
    const double cx = cell.acrossWidth;
    const double cy = cell.acrossHeight;
    preview.cellAcross = cx;
    preview.cellDown = cy;
    // The frames stand for pictures of 64 × 48; on a landscape sheet they stand on their side.
    const bool landscape = settings.Orientation == 1;
    if (!landscape) {
        const bool wide = 64 * cy >= 48 * cx;
        preview.frameWidth = wide ? cx : 64 * cy / 48;
        preview.frameHeight = wide ? 48 * cx / 64 : cy;
    } else {
        const bool tall = 48 * cy >= 64 * cx;
        preview.frameWidth = tall ? cx : 48 * cy / 64;
        preview.frameHeight = tall ? 64 * cx / 48 : cy;
    }
    preview.accepted = drawable(cx) && drawable(cy);
    if (preview.accepted)
        preview.slotCount = preview.settings.Columns * preview.settings.Rows;
    return preview;
}

LayoutRoom layoutRoom(const TPrintSettings& settings, QSize portraitPage) {
    const LayoutPreview preview =
        previewLayout(settings, FitPreviewPaper(portraitPage.width(), portraitPage.height()));
    // The preview turns a landscape sheet onto the portrait paper: its rows lie along the
    // paper's width.
    const bool wide = drawable(preview.cellAcross);
    const bool high = drawable(preview.cellDown);
    if (settings.Orientation == 1)
        return {high, wide};
    return {wide, high};
}

LayoutPreview::Slot LayoutPreview::slot(int k) const {
    const Distances d = distancesOf(settings, mean);
    const double cx = cellAcross;
    const double cy = cellDown;
    double x0, y0, sx, sy, ax, ay;
    if (settings.Orientation == 1) {
        // The sheet turned a quarter turn counter-clockwise: its top margin along the paper's
        // left edge, its right margin along the top edge.
        const int a = k % settings.Rows;
        const int b = k / settings.Rows;
        x0 = d.top + a * (cx + d.verticalGap);
        y0 = d.right + b * (cy + d.horizontalGap);
        sx = cx + d.verticalGap;
        sy = cy + d.horizontalGap;
        ax = d.verticalGap;
        ay = d.horizontalGap;
    } else {
        const int j = k % settings.Columns;
        const int i = k / settings.Columns;
        x0 = d.left + j * (cx + d.horizontalGap);
        y0 = d.top + i * (cy + d.verticalGap);
        sx = cx + d.horizontalGap;
        sy = cy + d.verticalGap;
        ax = d.horizontalGap;
        ay = d.verticalGap;
    }
    Slot s;
    s.slot = cornersOf(x0, y0, x0 + sx + 1, y0 + sy + 1);
    s.cell = cornersOf(x0 + ax / 2, y0 + ay / 2, x0 + ax / 2 + cx, y0 + ay / 2 + cy);
    const double fx = x0 + sx / 2 - frameWidth / 2;
    const double fy = y0 + sy / 2 - frameHeight / 2;
    s.frame = {rounded(fx) + 1, rounded(fy) + 1, rounded(fx + frameWidth) - 1,
               rounded(fy + frameHeight) - 1};
    return s;
}

LayoutMeasures layoutMeasures(const TPrintSettings& settings, int width, int height, int dpi) {
    LayoutMeasures m;
    const TurnedCell cell = turnedCellExtent(settings, width, height);
    m.pictureSize =
        QStringLiteral("画像サイズ %1*%2")
            .arg(millimetres(cell.acrossWidth, dpi), millimetres(cell.acrossHeight, dpi));
    m.paperSize =
        QStringLiteral("用紙サイズ %1*%2").arg(millimetres(width, dpi), millimetres(height, dpi));
    // The gaps show what each cell has on one side, half the distance between cells.
    const double mean = (width + height) / 2.0;
    const std::array<int32_t, 6> values{settings.VerticalGap, settings.HorizontalGap,
                                        settings.Top,         settings.Bottom,
                                        settings.Left,        settings.Right};
    for (size_t i = 0; i < values.size(); ++i)
        m.distances[i] = millimetres(values[i] * mean / 1000, dpi);
    return m;
}

QString captionHeightText(int fontSize, int lines) {
    const double height = lines == 0 ? 0.0 : fontSize * (5.0 * lines + 1) * 350 / 996 * 0.2;
    return QString::asprintf("%4.1fmm", height);
}

PageCountTexts pageCountTexts(int pictures, int columns, int rows) {
    const int perPage = atLeastOne(columns) * atLeastOne(rows);
    const int pages = (pictures + perPage - 1) / perPage;
    return {QStringLiteral("%1/%2").arg(pictures).arg(perPage), QString::number(pages)};
}
