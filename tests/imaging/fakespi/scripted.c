/*
 * A scripted stand-in decoder plug-in: the "picture file" says what each call returns, so that
 * the tests choose which offsets a decoder accepts, which result codes it gives and what kind of
 * DIB it hands back.
 *
 * At the offset it is called with, the file holds one line of key=value words, for example
 *     info=0 picture=0 width=5 height=3 bits=24 missing=0
 * info is what GetPictureInfo returns, picture what GetPicture returns (both 0 by default).
 * On success GetPicture gives a BI_RGB DIB of width × height (4 × 2 by default) at bits 8 (a grey
 * colour table), 16 (5-5-5), 24 or 32 (x-8-8-8, the unused byte 0xFF); missing takes that many
 * bytes off the end of the pixel block. A line without any of these words, or an offset the file
 * does not reach, gives 2 (not this format).
 *
 * Pixel (x, row), row 0 being the bottom row as stored:
 *     24 and 32 bits: blue x * 16 + row, green 0x40 + row, red 0xC0 - x
 *     16 bits: the 5-bit levels {0, 16, 31}[x % 3] blue, [row % 3] green, [(x + row) % 3] red
 *     8 bits: index (x + row * 16) & 0xFF
 *
 * GetPictureInfo hands back a 1 KB hInfo block, which the caller frees.
 * Every call is appended as a line ("GetPictureInfo 128", "GetPicture 0") to the file named by
 * the environment variable SCRIPTED_SPI_LOG when it is set.
 * Built with WITHOUT_PICTURE_INFO it lacks the GetPictureInfo export. Built with WITH_SCALED it
 * exports GetPictureScaled too: it answers as GetPicture does (the DIB is the script's size,
 * whatever the minimum) and logs the minimum after the offset ("GetPictureScaled 0 120x90").
 */
#include "plugins/spi.h"

#include <stdio.h>

typedef struct Script {
    int info, picture, width, height, bits, missing;
} Script;

static void logCall(const char* function, int32_t offset, const char* more) {
    const char* name = getenv("SCRIPTED_SPI_LOG");
    if (!name || !*name)
        return;
    FILE* log = fopen(name, "a");
    if (!log)
        return;
    fprintf(log, "%s %d%s\n", function, (int)offset, more);
    fclose(log);
}

static int setField(Script* s, const char* key, int value) {
    struct {
        const char* key;
        int* field;
    } const fields[] = {{"info", &s->info},     {"picture", &s->picture}, {"width", &s->width},
                        {"height", &s->height}, {"bits", &s->bits},       {"missing", &s->missing}};
    for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i) {
        if (strcmp(key, fields[i].key) == 0) {
            *fields[i].field = value;
            return 1;
        }
    }
    return 0;
}

static int32_t readScript(const char* name, int32_t offset, Script* s) {
    const Script defaults = {0, 0, 4, 2, 24, 0};
    *s = defaults;
    FILE* file = fopen(name, "rb");
    if (!file)
        return SPI_READ_ERROR;
    char line[256];
    const int read = offset >= 0 && fseek(file, offset, SEEK_SET) == 0 &&
                     fgets(line, (int)sizeof line, file) != NULL;
    fclose(file);
    if (!read)
        return SPI_UNKNOWN_FORMAT;
    int known = 0;
    for (char* word = strtok(line, " \t\r\n"); word; word = strtok(NULL, " \t\r\n")) {
        char key[16];
        int value;
        if (sscanf(word, "%15[a-z]=%d", key, &value) == 2)
            known += setField(s, key, value);
    }
    return known ? SPI_SUCCESS : SPI_UNKNOWN_FORMAT;
}

static const uint8_t levels5[3] = {0, 16, 31};

static void writePixel(uint8_t* p, int bits, int x, int row) {
    switch (bits) {
    case 8:
        p[0] = (uint8_t)((x + row * 16) & 0xFF);
        break;
    case 16: {
        const unsigned value = (unsigned)levels5[(x + row) % 3] << 10 |
                               (unsigned)levels5[row % 3] << 5 | levels5[x % 3];
        p[0] = (uint8_t)value;
        p[1] = (uint8_t)(value >> 8);
        break;
    }
    default:
        p[0] = (uint8_t)(x * 16 + row);
        p[1] = (uint8_t)(0x40 + row);
        p[2] = (uint8_t)(0xC0 - x);
        if (bits == 32)
            p[3] = 0xFF;
        break;
    }
}

static int32_t decode(const Script* s, SpiHandle* pHBInfo, SpiHandle* pHBm) {
    const size_t colours = s->bits == 8 ? 256 : 0;
    const size_t stride = ((size_t)s->width * (size_t)s->bits + 31) / 32 * 4;
    const size_t imageBytes = stride * (size_t)s->height;
    const size_t missing = s->missing > 0 ? (size_t)s->missing : 0;
    const size_t pixelBytes = missing < imageBytes ? imageBytes - missing : 0;
    SpiHandle info = SpiBlockAlloc(sizeof(SpiBitmapInfoHeader) + colours * sizeof(SpiRgbQuad), 1);
    SpiHandle bits = SpiBlockAlloc(pixelBytes, 1);
    if (!info || !bits) {
        SpiBlockFree(info);
        SpiBlockFree(bits);
        return SPI_NO_MEMORY;
    }
    SpiBitmapInfoHeader* header = (SpiBitmapInfoHeader*)SpiBlockLock(info);
    header->biSize = sizeof *header;
    header->biWidth = s->width;
    header->biHeight = s->height;
    header->biPlanes = 1;
    header->biBitCount = (uint16_t)s->bits;
    header->biCompression = 0;
    header->biSizeImage = (uint32_t)imageBytes;
    header->biClrUsed = (uint32_t)colours;
    SpiRgbQuad* table = (SpiRgbQuad*)(header + 1);
    for (size_t i = 0; i < colours; ++i)
        table[i].rgbBlue = table[i].rgbGreen = table[i].rgbRed = (uint8_t)i;

    uint8_t* pixels = (uint8_t*)SpiBlockLock(bits);
    const size_t pixelSize = (size_t)s->bits / 8;
    for (int row = 0; row < s->height; ++row) {
        for (int x = 0; x < s->width; ++x) {
            const size_t at = (size_t)row * stride + (size_t)x * pixelSize;
            if (at + pixelSize <= pixelBytes)
                writePixel(pixels + at, s->bits, x, row);
        }
    }
    SpiBlockUnlock(info);
    SpiBlockUnlock(bits);
    *pHBInfo = info;
    *pHBm = bits;
    return SPI_SUCCESS;
}

#ifndef WITHOUT_PICTURE_INFO
SPI_EXPORT int32_t GetPictureInfo(const char* buf, int32_t len, uint32_t flag, PictureInfo* info) {
    (void)flag;
    logCall("GetPictureInfo", len, "");
    Script s;
    const int32_t result = readScript(buf, len, &s);
    if (result != SPI_SUCCESS)
        return result;
    if (s.info != SPI_SUCCESS)
        return s.info;
    memset(info, 0, sizeof *info);
    info->width = s.width;
    info->height = s.height;
    info->x_density = 1;
    info->y_density = 1;
    info->colorDepth = (int16_t)s.bits;
    /* Large enough that losing it shows in the leak test's count. */
    info->hInfo = SpiBlockAlloc(1024, 1);
    return SPI_SUCCESS;
}
#endif

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    (void)flag, (void)progress, (void)lData;
    logCall("GetPicture", len, "");
    Script s;
    const int32_t result = readScript(buf, len, &s);
    if (result != SPI_SUCCESS)
        return result;
    return s.picture != SPI_SUCCESS ? s.picture : decode(&s, pHBInfo, pHBm);
}

#ifdef WITH_SCALED
SPI_EXPORT int32_t GetPictureScaled(const char* buf, int32_t len, uint32_t flag, int32_t minWidth,
                                    int32_t minHeight, SpiHandle* pHBInfo, SpiHandle* pHBm,
                                    SpiProgressCallback progress, int32_t lData) {
    (void)flag, (void)progress, (void)lData;
    char minimum[32];
    snprintf(minimum, sizeof minimum, " %dx%d", (int)minWidth, (int)minHeight);
    logCall("GetPictureScaled", len, minimum);
    Script s;
    const int32_t result = readScript(buf, len, &s);
    if (result != SPI_SUCCESS)
        return result;
    return s.picture != SPI_SUCCESS ? s.picture : decode(&s, pHBInfo, pHBm);
}
#endif
