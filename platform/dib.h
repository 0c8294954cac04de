// Device-independent bitmaps: the packed little-endian structures the program and its decoder
// plug-ins exchange, and the conversions between a DIB and a QImage.
//
// A DIB is an information block (a header of at least 40 bytes, then the colour masks and the
// colour table) and a block of pixel rows, each padded to a multiple of 4 bytes, stored
// bottom-up unless the height is negative. A packed DIB is both blocks back to back, as on the
// clipboard and in a BMP file after its 14-byte file header.
#pragma once

#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <span>

#include <QByteArray>
#include <QImage>

#include "plugins/spi.h"

namespace platform {

// The structures are read and written as they lie in memory, which is only right on a
// little-endian machine.
static_assert(std::endian::native == std::endian::little);

using BitmapInfoHeader = SpiBitmapInfoHeader;
using RgbQuad = SpiRgbQuad;

#pragma pack(push, 1)
struct BitmapFileHeader {
    uint16_t bfType; // "BM"
    uint32_t bfSize; // size of the whole file
    uint16_t bfReserved1;
    uint16_t bfReserved2;
    uint32_t bfOffBits; // where the pixel rows start, from the start of the file
};
#pragma pack(pop)

static_assert(sizeof(BitmapInfoHeader) == 40);
static_assert(sizeof(BitmapFileHeader) == 14);
static_assert(sizeof(RgbQuad) == 4);

inline constexpr uint16_t BmpFileType = 0x4D42; // "BM" read as a little-endian u16

// Values of biCompression. The conversions handle BI_RGB and the two bit-field kinds only;
// run-length encoded, JPEG and PNG pixel blocks are refused.
inline constexpr uint32_t BI_RGB = 0;
inline constexpr uint32_t BI_RLE8 = 1;
inline constexpr uint32_t BI_RLE4 = 2;
inline constexpr uint32_t BI_BITFIELDS = 3;
inline constexpr uint32_t BI_ALPHABITFIELDS = 6; // four masks: red, green, blue and alpha

// Why a DIB or a picture was refused.
enum class DibError {
    None,
    TruncatedHeader,        // the block is shorter than 40 bytes or than the header's biSize
    UnsupportedHeader,      // biSize below 40: the OS/2 headers of 12 and 16 bytes
    BadPlanes,              // biPlanes is not 1
    BadDimensions,          // width not positive, height 0 or INT32_MIN
    UnsupportedBitCount,    // a bit count other than 1, 4, 8, 16, 24 or 32
    UnsupportedCompression, // RLE, JPEG, PNG, or bit fields with other than 16 or 32 bits
    BadBitfields,           // masks missing from the block, not contiguous or wider than a pixel
    TruncatedColorTable,    // the colour table runs past the end of the information block
    TooLarge,               // a byte size that does not fit in int32
    TruncatedPixels,        // the pixel block is shorter than its rows
    UnsupportedImage,       // imageToDib: null picture, or no colour table for 1, 4, 8 bits
    IndexOutOfRange,        // imageToDib: a table longer than 2^bitCount, or an index past it
    OutOfMemory,            // the picture or the block could not be allocated
    NotBmpFile,             // bmpFileToImage: the file does not start with "BM"
};

// A short English name of the reason, for logs and test output.
const char* dibErrorName(DibError error);

// A value, or the reason there is none.
template <class T> struct DibResult {
    T value{};
    DibError error = DibError::None;

    bool ok() const { return error == DibError::None; }
    explicit operator bool() const { return ok(); }
};

using ByteView = std::span<const uint8_t>;

inline ByteView byteView(const QByteArray& bytes) {
    return {reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())};
}

// Length of one row of pixels, padded to 4 bytes. Throws OverflowError when it does not fit in
// int32, std::invalid_argument for a negative width or bit count.
int32_t DibImageRowBytes(int32_t width, int32_t bitCount);

// Offset of the pixel rows in a packed DIB: header, masks (of bit fields with a 40-byte header)
// and colour table as declared (biClrUsed, or 2^bitCount for 1 to 8 bits when it is 0). Not
// validated; 64 bits wide so that any header gives an exact answer.
int64_t packedDibBitsOffset(const BitmapInfoHeader& header);

// What a validated information block describes.
struct DibLayout {
    BitmapInfoHeader header{}; // the first 40 bytes as stored
    int32_t width = 0;
    int32_t height = 0; // number of rows, always positive
    bool topDown = false;
    int32_t bitCount = 0;
    // Red, green and blue masks for 16 and 32 bits: the bit fields, or the defaults of BI_RGB
    // (5-5-5 and x-8-8-8). Zero for other bit counts.
    std::array<uint32_t, 3> masks{};
    // The alpha mask of bit fields (BI_ALPHABITFIELDS, or BI_BITFIELDS in a header of 56 bytes
    // or more); 0 when the pixels have no alpha.
    uint32_t alphaMask = 0;
    int32_t colorTableOffset = 0; // from the start of the information block
    int32_t colorCount = 0;       // entries that pixels can select (1 to 8 bits), else 0
    int32_t rowBytes = 0;
    int32_t imageBytes = 0; // rowBytes × height
    int64_t bitsOffset = 0; // packedDibBitsOffset(header)
};

// Reads and checks an information block without touching any byte outside it. Header sizes
// of 40 and more are accepted; only the first 40 bytes are read as the header. Masks of bit
// fields are read at offset 40 whatever the header size: after a 40-byte header, inside the
// longer ones; the alpha mask at 52 follows them. An alpha mask that is not one run of bits is
// taken as none. The colour table of 1 to 8 bits must lie wholly in the block; the table a DIB
// of more bits may carry is not read, so not checked. biSizeImage and the densities are
// ignored, as Windows does for these formats.
DibResult<DibLayout> readDibHeader(ByteView info);

// Converts a DIB to a picture as it is shown and printed: always QImage::Format_RGB32 (opaque;
// palettes resolved; unused bits ignored), so that callers handle one format. Colour indices
// beyond the colour table give black. Channels of bit fields are scaled to 8 bits with
// rounding, so that a full channel is 255. Pixels with an alpha mask are laid over white, as
// flattenedOverWhite does, unless every alpha value is 0: writers that leave the alpha bytes
// empty mean an opaque picture. Refuses what readDibHeader refuses, pixel blocks shorter than
// their rows, and pictures whose RGB32 size does not fit in int32.
DibResult<QImage> dibToImage(ByteView info, ByteView pixels);
// The same for a packed DIB, whose pixels start at packedDibBitsOffset.
DibResult<QImage> packedDibToImage(ByteView packedDib);
// The same for a BMP file: the information block runs from the end of the 14-byte file header
// to bfOffBits, the pixels from there to the end of the file (bfSize is ignored).
DibResult<QImage> bmpFileToImage(ByteView file);

// A picture with an alpha channel laid over white, the paper the pictures are printed on, as
// Format_RGB32 (each channel c of alpha a becomes (c·a + 255·(255 − a)) / 255, rounded); a
// picture without one only converted. Null when there is no memory for it.
QImage flattenedOverWhite(const QImage& image);

// Converts a picture to a packed DIB (BITMAPINFOHEADER, colour table, bottom-up padded rows)
// of 1, 4, 8, 16 (5-5-5), 24 or 32 bits (BI_RGB, top byte 0). 16, 24 and 32 bits take any
// picture (alpha dropped as QImage::convertToFormat(Format_RGB32) drops it). 1, 4 and 8 bits
// need an indexed picture (Format_Indexed8, Mono or MonoLSB) whose colour table has at most
// 2^bitCount entries and whose indices all select one; the table is written as it is and
// biClrUsed says its length. Densities are written as 0 (unknown).
DibResult<QByteArray> imageToDib(const QImage& image, int32_t bitCount);

// The file header that makes a BMP file of a packed DIB (the file is the header followed by
// the DIB unchanged). Refuses a DIB whose header is invalid or whose pixels lie beyond it.
DibResult<BitmapFileHeader> bmpFileHeaderFor(ByteView packedDib);

} // namespace platform
