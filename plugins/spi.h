/*
 * The decoder plug-in interface (version "00IN").
 *
 * A plug-in is a shared library named if<format>.spi that exports some of the functions below
 * with C linkage. The program loads it for one picture, calls it, and frees it again. Blocks of
 * memory that a plug-in hands back (picture information, bitmap header, pixels) belong to the
 * caller from the moment the call returns; both sides use the block functions defined here, on
 * the process's C allocator, so that either side can free what the other allocated.
 *
 * Integer widths are fixed: the interface's "long" is int32_t.
 */
#ifndef TAZU_PLUGINS_SPI_H
#define TAZU_PLUGINS_SPI_H

#include <stddef.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#ifdef __cplusplus
extern "C" {
#endif

#define SPI_EXPORT __attribute__((visibility("default")))

/* Result codes of every interface function. */
enum {
    SPI_NOT_IMPLEMENTED = -1,
    SPI_SUCCESS = 0,
    SPI_ABORTED = 1,        /* the progress callback asked to stop */
    SPI_UNKNOWN_FORMAT = 2, /* not a picture of this plug-in's format */
    SPI_BROKEN_DATA = 3,    /* corrupt or truncated picture data */
    SPI_NO_MEMORY = 4,      /* memory cannot be allocated, or the picture is too large */
    SPI_MEMORY_ERROR = 5,
    SPI_READ_ERROR = 6, /* the file cannot be opened or read */
    SPI_WINDOW_ERROR = 7,
    SPI_OTHER_ERROR = 8,
    SPI_WRITE_ERROR = 9,
    SPI_END_OF_FILE = 10
};

/* The low three bits of the flag argument say what buf is. */
enum {
    SPI_INPUT_FILE = 0,   /* buf is a NUL-terminated file name, len the offset of the picture */
    SPI_INPUT_MEMORY = 1, /* buf is the file's image in memory, len its size in bytes */
    SPI_INPUT_MASK = 7
};

/* A movable memory block. Blocks are handed across the interface unlocked. */
typedef void* SpiHandle;

#pragma pack(push, 1)
typedef struct PictureInfo {
    int32_t left, top;     /* where the picture is placed; 0, 0 for ordinary pictures */
    int32_t width, height; /* picture size in pixels */
    uint16_t x_density;    /* pixel density across, or the pixel aspect with y_density */
    uint16_t y_density;    /* pixel density down */
    int16_t colorDepth;    /* bits per pixel */
    SpiHandle hInfo;       /* text information about the picture, or null; freed by the caller */
} PictureInfo;

/*
 * What GetPicture and GetPreview return: an information block that begins with this header
 * (followed by the colour table for 8 bits per pixel or fewer) and a pixel block of bottom-up
 * rows, each padded to a multiple of 4 bytes. All fields little-endian.
 */
typedef struct SpiBitmapInfoHeader {
    uint32_t biSize; /* 40 */
    int32_t biWidth;
    int32_t biHeight; /* positive: rows stored bottom-up */
    uint16_t biPlanes;
    uint16_t biBitCount;
    uint32_t biCompression; /* 0: BI_RGB, 3: BI_BITFIELDS */
    uint32_t biSizeImage;
    int32_t biXPelsPerMeter;
    int32_t biYPelsPerMeter;
    uint32_t biClrUsed;
    uint32_t biClrImportant;
} SpiBitmapInfoHeader;

typedef struct SpiRgbQuad {
    uint8_t rgbBlue, rgbGreen, rgbRed, rgbReserved;
} SpiRgbQuad;
#pragma pack(pop)

/* Called now and then during a decode; a non-zero answer aborts it (result SPI_ABORTED). */
typedef int32_t (*SpiProgressCallback)(int32_t nNum, int32_t nDenom, int32_t lData);

/* The exports, as the program looks them up by name. */
typedef int32_t (*GetPluginInfoFunc)(int32_t infono, char* buf, int32_t buflen);
/* head is the first 2048 bytes of the file, zero-padded when the file is shorter. */
typedef int32_t (*IsSupportedFunc)(const char* filename, const void* head);
typedef int32_t (*GetPictureInfoFunc)(const char* buf, int32_t len, uint32_t flag,
                                      PictureInfo* info);
typedef int32_t (*GetPictureFunc)(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                                  SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData);
/* GetPreview has the form of GetPicture; SPI_NOT_IMPLEMENTED where a plug-in has none. */
typedef GetPictureFunc GetPreviewFunc;

/*
 * GetPictureScaled: an export of this program's own, beside the interface, for decoders that can
 * produce a picture smaller than its full size directly (a JPEG decoder in the DCT domain at
 * M/8). A plug-in without such scaling does not export it, and callers use GetPicture instead.
 *
 * It decodes the picture at the smallest scale the decoder produces directly whose result is
 * still at least minWidth x minHeight pixels, and never larger than the picture itself: a
 * minimum above the picture's size in either direction gives the full size, and so does
 * minWidth or minHeight of 0 or less, exactly as GetPicture would. What a caller may rely on:
 * the DIB may be any size from the requested minimum up to the full size (a decoder may have no
 * scale between the two), always in the picture's proportions as the decoder's scaling rounds
 * them; the arguments, the two blocks and their layout, the colour table, the result codes, the
 * progress calls and the ownership of the blocks are those of GetPicture. The DIB header's
 * densities are the file's, as GetPicture gives them.
 */
typedef int32_t (*GetPictureScaledFunc)(const char* buf, int32_t len, uint32_t flag,
                                        int32_t minWidth, int32_t minHeight, SpiHandle* pHBInfo,
                                        SpiHandle* pHBm, SpiProgressCallback progress,
                                        int32_t lData);

#define SPI_IS_SUPPORTED_HEAD_SIZE 2048

/*
 * Memory blocks. A block is a small bookkeeping header followed by the caller's bytes; the
 * handle points at the header, a lock returns the bytes. Blocks never move, so locking is
 * cheap, but the lock count is kept so that misuse can be seen in a debugger.
 */
typedef struct SpiBlockHeader {
    uint32_t magic;
    int32_t lockCount;
    uint64_t size;
    uint64_t reserved[2]; /* keeps the bytes 32-byte aligned relative to the allocation */
} SpiBlockHeader;

#define SPI_BLOCK_MAGIC 0x53504942u /* "SPIB" */

/* Allocates a block of size bytes, zero-filled when zeroFill is non-zero. Null on failure. */
static inline SpiHandle SpiBlockAlloc(size_t size, int zeroFill) {
    if (size > SIZE_MAX - sizeof(SpiBlockHeader))
        return NULL;
    size_t total = sizeof(SpiBlockHeader) + (size ? size : 1);
    SpiBlockHeader* h = (SpiBlockHeader*)(zeroFill ? calloc(1, total) : malloc(total));
    if (!h)
        return NULL;
    h->magic = SPI_BLOCK_MAGIC;
    h->lockCount = 0;
    h->size = size;
    return h;
}

/* Returns the block's bytes, or null for a null or foreign handle. */
static inline void* SpiBlockLock(SpiHandle handle) {
    SpiBlockHeader* h = (SpiBlockHeader*)handle;
    if (!h || h->magic != SPI_BLOCK_MAGIC)
        return NULL;
    ++h->lockCount;
    return (void*)(h + 1);
}

/* Returns non-zero while the block stays locked. */
static inline int SpiBlockUnlock(SpiHandle handle) {
    SpiBlockHeader* h = (SpiBlockHeader*)handle;
    if (!h || h->magic != SPI_BLOCK_MAGIC)
        return 0;
    if (h->lockCount > 0)
        --h->lockCount;
    return h->lockCount != 0;
}

/* Size in bytes of the block, 0 for a null or foreign handle. */
static inline size_t SpiBlockSize(SpiHandle handle) {
    const SpiBlockHeader* h = (const SpiBlockHeader*)handle;
    if (!h || h->magic != SPI_BLOCK_MAGIC)
        return 0;
    return (size_t)h->size;
}

/* Frees the block; null is allowed. Always returns null. */
static inline SpiHandle SpiBlockFree(SpiHandle handle) {
    SpiBlockHeader* h = (SpiBlockHeader*)handle;
    if (h && h->magic == SPI_BLOCK_MAGIC) {
        h->magic = 0;
        free(h);
    }
    return NULL;
}

#ifdef __cplusplus
}
#endif

#endif
