// The CAM container of the cameras' files, and the JPEG stream its image area turns into.
//
// A file starts with a 54-byte header: the mark 07 20 4D 4D, the number of areas (3), and for
// each area its id (1 comment, 2 thumbnail, 3 image), its length and 10 filler bytes. The areas
// follow the header back to back in that order. Every number is big-endian: "MM" is the
// Motorola byte-order mark, the same two letters a big-endian TIFF file starts with. The
// thumbnail area is skipped: the program makes its thumbnails from the picture itself.
//
// The image area is a baseline JPEG without its frame, in one of two codings told apart by the
// number of scans its first u16 gives:
//   normal (3 scans): 480 x 240, luminance sampled 3 x 2 against chroma 1 x 1, one
//     non-interleaved scan per component; the three scan sizes are u16s at offsets 2, 4, 6.
//   fine (1 scan): 640 x 480, luminance sampled 2 x 2, one interleaved scan whose size is the
//     u32 at offset 4 (the u16 at offset 2 is not used).
// In both, the luminance and chrominance quantisation tables follow at offset 8 (64 bytes each,
// in zigzag order as a DQT segment carries them) and the scans follow the tables at offset 136,
// byte-stuffed as in a JPEG stream, coded with the standard Huffman tables. Bytes of the area
// after the last scan are ignored.
//
// Later files keep the 54-byte header but hold a plain JFIF stream right after it; such a file
// is recognised by the JPEG start-of-image bytes at offset 54, and the stream runs to the end of
// the file (libjpeg stops at its end-of-image marker).
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace ifcam {

constexpr size_t kHeaderSize = 54;

// True when data starts with the CAM mark.
bool hasCamMark(const uint8_t* data, size_t size);

struct CamContents {
    // The comment area up to its first NUL, at most kMaxCommentBytes; empty for JFIF files.
    std::string comment;
    // The JPEG stream to decode: rebuilt from the image area, or the JFIF stream in the file.
    std::span<const uint8_t> jpegStream() const { return rebuilt.empty() ? jfif : rebuilt; }

    std::vector<uint8_t> rebuilt;
    std::span<const uint8_t> jfif; // points into the caller's bytes
};

constexpr size_t kMaxCommentBytes = 1024;

// Reads the header and the image area and makes the JPEG stream. The bytes must outlive
// contents when they hold a JFIF stream. Returns SPI_SUCCESS, SPI_UNKNOWN_FORMAT (no mark) or
// SPI_BROKEN_DATA (a header or image area that is cut short or does not add up).
int32_t readCamFile(const uint8_t* data, size_t size, CamContents& contents);

} // namespace ifcam
