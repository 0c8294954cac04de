#include "printing/layout.h"

#include <gtest/gtest.h>

namespace {

// A4 at 300 dpi, the printable pixels without margins.
constexpr int A4Width = 2480;
constexpr int A4Height = 3508;

TEST(LayoutTest, SlotsOfAnA4PageInBothOrientations) {
    TPrintSettings s; // 2 columns, 4 rows, gaps 10, no margins
    s.Top = 20;
    PrintLayout l = ComputePrintLayout(s, A4Width, A4Height);
    // M = 2994: gaps 59.88 between cells, the top margin 59.88.
    EXPECT_DOUBLE_EQ(l.mean, 2994);
    EXPECT_DOUBLE_EQ(l.verticalGap, 59.88);
    EXPECT_DOUBLE_EQ(l.top, 59.88);
    EXPECT_NEAR(l.cellHeight, (3508 - 59.88 - 4 * 59.88) / 4, 1e-9);
    EXPECT_NEAR(l.cellWidth, (2480 - 2 * 59.88) / 2, 1e-9);
    EXPECT_NEAR(l.slotLeft(1), 1240, 1e-9);
    EXPECT_NEAR(l.cellLeft(1), 1240 + 29.94, 1e-9);
    EXPECT_NEAR(l.slotTop(3), 59.88 + 3 * (l.cellHeight + 59.88), 1e-9);
    EXPECT_NEAR(l.cellTop(0), 59.88 + 29.94, 1e-9);

    // The landscape page: the same rule on the turned page.
    l = ComputePrintLayout(s, A4Height, A4Width);
    EXPECT_NEAR(l.cellWidth, (3508 - 2 * 59.88) / 2, 1e-9);
    EXPECT_NEAR(l.cellHeight, (2480 - 59.88 - 4 * 59.88) / 4, 1e-9);
    // The dialog's turned layout on the portrait page gives the same cell.
    s.Orientation = 1;
    const TurnedCell turned = turnedCellExtent(s, A4Width, A4Height);
    EXPECT_NEAR(turned.acrossWidth, l.cellHeight, 1e-9);
    EXPECT_NEAR(turned.acrossHeight, l.cellWidth, 1e-9);
}

TEST(LayoutTest, PreviewPaperSlotsAndFrames) {
    const QSize paper = FitPreviewPaper(A4Width, A4Height);
    EXPECT_EQ(paper, QSize(215, 305));
    EXPECT_EQ(FitPreviewPaper(A4Height, A4Width), QSize(225, 159));

    TPrintSettings s;
    LayoutPreview p = previewLayout(s, paper);
    ASSERT_TRUE(p.accepted);
    EXPECT_EQ(p.slotCount, 8);
    EXPECT_EQ(p.paper, (Corners{0, 0, 215, 305}));
    // pw 214, ph 304, M 259: gaps 5.18, cells 101.82 × 70.82.
    EXPECT_NEAR(p.cellAcross, (214 - 2 * 5.18) / 2, 1e-9);
    EXPECT_NEAR(p.cellDown, (304 - 4 * 5.18) / 4, 1e-9);
    const LayoutPreview::Slot last = p.slot(7); // row 3, column 1
    const double sx = p.cellAcross + 5.18;
    const double sy = p.cellDown + 5.18;
    EXPECT_EQ(last.slot,
              (Corners{int(std::nearbyint(sx)), int(std::nearbyint(3 * sy)),
                       int(std::nearbyint(2 * sx + 1)), int(std::nearbyint(4 * sy + 1))}));
    EXPECT_EQ(last.cell.left, int(std::nearbyint(sx + 2.59)));
    EXPECT_EQ(last.cell.right, int(std::nearbyint(sx + 2.59 + p.cellAcross)));
    // Cells wider than 64:48 get frames as high as the cell.
    const double fh = p.cellDown;
    EXPECT_NEAR(p.frameHeight, fh, 1e-9);
    EXPECT_NEAR(p.frameWidth, 64 * fh / 48, 1e-9);
    EXPECT_EQ(last.frame.top, int(std::nearbyint(3 * sy + sy / 2 - fh / 2)) + 1);

    // Landscape: the top margin along the paper's left edge, the right margin along its top
    // edge, the frames 3 across to 4 down.
    s.Orientation = 1;
    s.Top = 100;
    s.Right = 50;
    p = previewLayout(s, paper);
    ASSERT_TRUE(p.accepted);
    EXPECT_EQ(p.slot(0).slot.left, 26); // 100 × 259 / 1000
    EXPECT_EQ(p.slot(0).slot.top, 13);  // 50 × 259 / 1000
    EXPECT_NEAR(p.frameWidth * 4, p.frameHeight * 3, 1e-9);
    EXPECT_GT(p.slot(1).slot.left, p.slot(0).slot.left); // rows run across the paper
    EXPECT_EQ(p.slot(1).slot.top, p.slot(0).slot.top);

    // A margin that leaves cells of 5 preview pixels or less is refused.
    s = TPrintSettings{};
    s.Top = 430;
    s.Bottom = 430;
    EXPECT_TRUE(previewLayout(s, paper).accepted);
    s.Bottom = 600;
    EXPECT_FALSE(previewLayout(s, paper).accepted);
    EXPECT_EQ(previewLayout(s, paper).slotCount, 0);
}

TEST(LayoutTest, MeasuresCaptionHeightsAndPageCounts) {
    // A page of 150 × 250 mm at 254 dpi: M is 200 mm; a gap of 10 leaves 2 mm on each side.
    TPrintSettings s;
    s.Left = 25;
    const LayoutMeasures m = layoutMeasures(s, 1500, 2500, 254);
    EXPECT_EQ(m.distances[0], QStringLiteral(" 2.0mm"));
    EXPECT_EQ(m.distances[4], QStringLiteral(" 5.0mm"));
    EXPECT_EQ(m.distances[5], QStringLiteral(" 0.0mm"));
    EXPECT_EQ(m.paperSize, QStringLiteral("用紙サイズ 150.0mm*250.0mm"));
    EXPECT_EQ(m.pictureSize, QStringLiteral("画像サイズ 68.5mm*58.5mm"));

    EXPECT_EQ(captionHeightText(9, 0), QStringLiteral(" 0.0mm"));
    EXPECT_EQ(captionHeightText(9, 1), QStringLiteral(" 3.8mm"));
    EXPECT_EQ(captionHeightText(9, 2), QStringLiteral(" 7.0mm"));
    EXPECT_EQ(captionHeightText(9, 3), QStringLiteral("10.1mm"));

    for (const auto& [pictures, perPage, pages] :
         {std::tuple{9, "9/8", "2"}, {8, "8/8", "1"}, {0, "0/8", "0"}}) {
        const PageCountTexts t = pageCountTexts(pictures, 2, 4);
        EXPECT_EQ(t.perPage, QLatin1String(perPage));
        EXPECT_EQ(t.pages, QLatin1String(pages));
    }
    EXPECT_EQ(pageCountTexts(5, 3, 0).perPage, QStringLiteral("5/3")); // 0 rows count as 1
}

} // namespace
