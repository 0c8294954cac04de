// The current picture at full size, CurrentDib: a 24-bit bottom-up DIB in two movable memory
// blocks that the viewer, the corrections and the print job work on, and the ways of filling it
// (through a decoder plug-in, or straight from a 24-bit BMP file) and turning it.
//
// Whoever fills CurrentDib frees it (FreeCurrentDib) when done with the picture; filling it never
// frees the blocks of a previous picture.
#pragma once

#include "platform/dib.h"
#include "platform/memory.h"
#include "plugins/spi.h"

#include <QSize>
#include <QString>

#include <cstdint>
#include <functional>

namespace platform {
class ImageControl;
}

// The header block (44 bytes: a BITMAPINFOHEADER and 4 bytes of no meaning) and the pixel block
// (DibImageSize bytes of bottom-up rows, blue, green, red, padded to 4 bytes). Null when there is
// no picture.
struct TCurrentDib {
    platform::HGLOBAL header = nullptr;
    platform::HGLOBAL pixels = nullptr;
};
extern TCurrentDib CurrentDib;

constexpr int32_t CurrentDibHeaderBytes = 44;

// Byte size of the pixel block, always DibImageSizeOf the header's width and height.
extern int32_t DibImageSize;
// 44 while the header block is used as above; 40 where a packed DIB is built from it.
extern int32_t DibHeaderSize;

// The two blocks a plug-in's GetPicture returned, between LoadFullSize and AdoptDecodedPicture
// (or the viewer's own use of them). Always a 24-bit bottom-up DIB when LoadFullSize returns 1.
struct TDecodedDib {
    platform::HGLOBAL info = nullptr;
    platform::HGLOBAL pixels = nullptr;
};
extern TDecodedDib DecodedDib;

// The outcome of the last full-size load of the current picture.
constexpr int32_t HeldAsDib = 1;       // CurrentDib holds it at 24 bits
constexpr int32_t HeldByComponent = 0; // 8 bits or fewer, or not loaded here: a TAll holds it
constexpr int32_t LoadFailed = -1;     // failed, and the user was told
extern int32_t LoadResult;

// The file header LoadBmp24 read last.
extern platform::BitmapFileHeader BmpFileHeader;

// Whether the corrections may work on the current picture (false for BMP files of fewer than 8
// bits per pixel).
extern bool Correctable;

// Byte size of the pixel rows of a 24-bit DIB: each row padded to a multiple of 4 bytes. Throws
// OverflowError when it does not fit in signed 32 bits.
int32_t DibImageSizeOf(int32_t width, int32_t height);

// Tells the user when a header's non-zero size of the pixel rows differs from the rule's; the
// caller goes on with computed either way.
void CheckDibSize(int32_t computed, int32_t reported);

// Decodes a ".J6I", ".JPG", ".TIF" or ".CAM" file (ext in upper case, with its dot) at full size
// through its decoder plug-in. Returns HeldAsDib with DecodedDib filled (the caller owns it),
// HeldByComponent for a picture of 8 bits or fewer (nothing left allocated) or LoadFailed after
// a message. Throws IoError or OverflowError when a J6I header cannot be read; no plug-in is
// loaded then.
// With a minimum size (both sides above 0) and a plug-in that exports GetPictureScaled, the
// picture is decoded at the smallest scale the plug-in can produce that still covers the
// minimum: DecodedDib may then be any size from the minimum (or the full size, when that is
// smaller) up to the full size. Other plug-ins decode at full size.
int32_t LoadFullSize(const QString& fileName, const QString& ext, QSize minimum = {});
// The same with the minimum chosen from the picture's stored size: minimumFor is called once,
// before decoding, with the size the JPEG plug-in's GetPictureInfo gives (empty for TIFF and CAM
// files, whose size is not asked for before decoding), and returns the minimum as above (empty:
// full size).
using MinimumForStoredSize = std::function<QSize(QSize stored)>;
int32_t LoadFullSize(const QString& fileName, const QString& ext,
                     const MinimumForStoredSize& minimumFor);

// A picture a plug-in decoded from a ".JPG" file, not yet kept anywhere: the first half of
// LoadFullSize, which touches no state of the program and shows nothing, so that it may run on
// another thread while the program works on the picture before.
struct DecodedFile {
    bool pluginMissing = false; // the plug-in or one of its exports is missing
    bool skipped = false;       // only the full size would do, and that was not wanted
    int32_t result = SPI_SUCCESS;
    platform::OwnedBlock info;
    platform::OwnedBlock bits;
};
// Decodes a ".JPG" file as LoadFullSize would; with onlySmaller, a picture whose minimumFor
// asks for the full size is not decoded (skipped).
DecodedFile DecodeJpegFile(const QString& fileName, const MinimumForStoredSize& minimumFor,
                           bool onlySmaller);
// The second half: reports a failure and keeps the picture as LoadFullSize does, with the same
// result.
int32_t KeepDecodedFile(DecodedFile decoded, const QString& fileName, const QString& ext);

// Moves DecodedDib into fresh CurrentDib blocks and frees it; a J6I picture gets a white band 4
// pixels wide at its left and right edges. Returns the picture's size.
QSize AdoptDecodedPicture(bool isJ6I);

// Reads a 24-bit BMP file straight into CurrentDib: true when it did. False (nothing allocated)
// for any other BMP the picture control reads instead: other bit counts, compressed or top-down
// rows, files that are not BMP. Sets Correctable from the bit count. Throws IoError for a file
// that cannot be read or is too short (nothing left allocated); the caller then lets the picture
// control load it. Throws OverflowError for a size beyond 32-bit sizes, before allocating.
bool LoadBmp24(const QString& fileName);

// Turns CurrentDib upright from its EXIF orientation (2..8, see imaging/orientation.h; others
// leave it as it is) and gives imageComponent the turned picture.
void OrientCurrentDib(platform::ImageControl& imageComponent, int orientation);
// The same without showing the turned picture anywhere (the print job prints CurrentDib
// itself); with thenLieDown also turned a quarter counter-clockwise, as a tall picture is laid
// on its side, in the same pass (no pass at all where the two turns undo each other). Returns
// the new size.
QSize UprightCurrentDib(int orientation, bool thenLieDown = false);
// Turns CurrentDib a quarter turn: counter-clockwise for direction 3, clockwise for any other,
// and gives imageComponent the turned picture.
void RotateCurrentDib(platform::ImageControl& imageComponent, int direction);

// CurrentDib as a picture (null when there is none).
QImage CurrentDibImage();

// Free both blocks (when there are any) and forget them.
void FreeCurrentDib();
void FreeDecodedDib();
