// A picture of an index sheet: loaded at full size into CurrentDib or into the work image,
// turned upright and corrected once, then for each of its copies fitted into its cell keeping its
// proportions, turned a quarter turn when it is to lie on its side, and stretched onto the
// printer page.
#pragma once

#include "imaging/fullsize.h"
#include "platform/dib.h"

#include <QImage>
#include <QSizeF>
#include <QString>

#include <cstdint>
#include <vector>

class TAll;

namespace platform {
class Printer;
}

// How a picture is turned when it is drawn turned: a quarter turn counter-clockwise for 0 and
// 3, clockwise for 1. Straight drawing never turns.
constexpr int TurnForLyingDown = 0;
constexpr int TurnClockwise = 1;
constexpr int TurnCounterClockwise = 3;

// Loads the picture file at path (ext: its extension in upper case with its dot) for printing:
// a 24-bit BMP and whatever a decoder gives at more than 8 bits into CurrentDib (LoadResult
// HeldAsDib, the work image sized to the picture), anything else into the work image. Sets
// WriteBack and Correctable for the print. True when the file is to be skipped: a picture its
// decoder could not read (the user has been told), and a J6I that did not come out at full
// size. Throws IoError or OverflowError for a J6I whose header cannot be read.
// With minimumFor, a picture its plug-in can decode smaller is decoded at the smallest scale
// that covers the minimum minimumFor chooses from its stored size (see LoadFullSize). A ".JPG"
// picture already decoded (DecodeJpegFile, not skipped) is kept from decoded instead.
bool LoadPrintPicture(const QString& path, const QString& ext, TAll& workImage,
                      const MinimumForStoredSize& minimumFor = {}, DecodedFile* decoded = nullptr);

// Turns the picture LoadPrintPicture loaded upright from its EXIF orientation (2..8, see
// imaging/orientation.h; others leave it as it is): CurrentDib where it is held there, with the
// work image sized to the turned picture, else the work image's picture. Everything after it
// (corrections, fitting, laying a tall picture on its side) sees the upright picture. With
// lieDown a picture held in CurrentDib is also laid on its side there, in the same pass, so
// that its copies are drawn without turning it each time; returns whether it was (then
// PrintPictureInCell is told so).
bool OrientPrintPicture(TAll& workImage, int orientation, bool lieDown = false);

// The pixel size of the picture LoadPrintPicture loaded: CurrentDib's, or the work image's
// picture's (empty when the work image could not load it).
QSize PrintPictureSize(const TAll& workImage);

// Applies both corrections to the picture LoadPrintPicture loaded, once for all its copies:
// CurrentDib corrected where it lies, else the work image's picture replaced by its corrected
// drawing (automatic levels are found on the uncorrected picture). Nothing for a picture that is
// not Correctable. A second call would correct the corrected picture again.
void CorrectPrintPicture(TAll& workImage);

// The width and height (before rounding) of the rectangle a picture of proportion p (width /
// height) is drawn into in a cell of cw × ch printer pixels: fitted into the cell keeping its
// proportion, a tall one (p below 1) laid on its side unless keepUpright.
QSizeF FittedPictureExtent(int cw, int ch, double p, bool keepUpright);
// Whether a picture of size is drawn lying on its side: a tall or square one, unless
// keepUpright.
bool LiesOnItsSide(QSize size, bool keepUpright);

// Draws the loaded picture as it stands (corrected by CorrectPrintPicture) into the cell of
// cw × ch printer pixels centred on (xc, yc): proportion p (width / height) fitted into the
// cell, a tall picture turned to lie on its side unless keepUpright, rotation (a turn code
// above) honoured when keepUpright. The picture is left as it is, so that every copy draws the
// same. Whether it lies on its side is decided by shape, the picture's size as stored where it
// was decoded smaller (the decoder's rounding can make a nearly square picture square), else
// by the loaded size. laidDown: the picture already lies on its side where it is held
// (OrientPrintPicture), and is drawn as it stands where it would be turned to lie. Lets pending
// user input run once before it draws (the cancel button of printing).
void PrintPictureInCell(platform::Printer& printer, int xc, int yc, int cw, int ch, double p,
                        TAll& image, int rotation, bool keepUpright, QSize shape = {},
                        bool laidDown = false);

// The current picture (CurrentDib when it is held there, else bitmap) stretched into the
// rectangle left, top, width × height of the page, straight or turned by rotation.
void StretchToPrinter(platform::Printer& printer, int left, int top, int width, int height,
                      const QImage& bitmap);
void RotateToPrinter(platform::Printer& printer, const QImage& bitmap, int left, int top,
                     int rotation, int height, int width);

// A 24-bit DIB turned a quarter turn: width × height source rows (bottom-up, padded to 4
// bytes) become height × width ones. Source pixel (x, memory row y) goes to memory row x,
// column height - 1 - y for rotation 0 or 3, and to row width - 1 - x, column y otherwise.
struct TurnedDib {
    platform::BitmapInfoHeader header{};
    std::vector<uint8_t> pixels;
};
TurnedDib turnDib24(const uint8_t* rows, int32_t width, int32_t height, int rotation);
