/*
 * A stand-in decoder plug-in for the cases the real ones cannot show: formats without a plug-in
 * of their own, pixels that are not square, and previews of an unexpected size. The "picture
 * file" is text at the given offset: width, height, x density, y density, preview width, preview
 * height. Pictures are 24-bit and one colour (red 0xC0, green 0x40, blue 0x20). A preview width
 * below 0 makes GetPreview answer that the plug-in has none (SPI_NOT_IMPLEMENTED).
 * Built with WITHOUT_PICTURE_INFO it lacks the GetPictureInfo export.
 */
#include "plugins/spi.h"

#include <stdio.h>

typedef struct Description {
    int width, height, xDensity, yDensity, previewWidth, previewHeight;
} Description;

static int32_t describe(const char* name, int32_t offset, Description* d) {
    FILE* file = fopen(name, "rb");
    if (!file)
        return SPI_READ_ERROR;
    const int fields = fseek(file, offset, SEEK_SET) == 0
                           ? fscanf(file, "%d %d %d %d %d %d", &d->width, &d->height, &d->xDensity,
                                    &d->yDensity, &d->previewWidth, &d->previewHeight)
                           : 0;
    fclose(file);
    return fields == 6 ? SPI_SUCCESS : SPI_UNKNOWN_FORMAT;
}

static int32_t decode(int width, int height, SpiHandle* pHBInfo, SpiHandle* pHBm) {
    const size_t stride = ((size_t)width * 3 + 3) / 4 * 4;
    SpiHandle info = SpiBlockAlloc(sizeof(SpiBitmapInfoHeader), 1);
    SpiHandle bits = SpiBlockAlloc(stride * (size_t)height, 1);
    if (!info || !bits) {
        SpiBlockFree(info);
        SpiBlockFree(bits);
        return SPI_NO_MEMORY;
    }
    SpiBitmapInfoHeader* header = (SpiBitmapInfoHeader*)SpiBlockLock(info);
    header->biSize = sizeof *header;
    header->biWidth = width;
    header->biHeight = height;
    header->biPlanes = 1;
    header->biBitCount = 24;
    uint8_t* pixels = (uint8_t*)SpiBlockLock(bits);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x) {
            uint8_t* pixel = pixels + (size_t)y * stride + (size_t)x * 3;
            pixel[0] = 0x20;
            pixel[1] = 0x40;
            pixel[2] = 0xC0;
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
    Description d;
    const int32_t result = describe(buf, len, &d);
    if (result != SPI_SUCCESS)
        return result;
    memset(info, 0, sizeof *info);
    info->width = d.width;
    info->height = d.height;
    info->x_density = (uint16_t)d.xDensity;
    info->y_density = (uint16_t)d.yDensity;
    info->colorDepth = 24;
    info->hInfo = SpiBlockAlloc(1, 1);
    return SPI_SUCCESS;
}
#endif

SPI_EXPORT int32_t GetPicture(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    (void)flag, (void)progress, (void)lData;
    Description d;
    const int32_t result = describe(buf, len, &d);
    return result == SPI_SUCCESS ? decode(d.width, d.height, pHBInfo, pHBm) : result;
}

SPI_EXPORT int32_t GetPreview(const char* buf, int32_t len, uint32_t flag, SpiHandle* pHBInfo,
                              SpiHandle* pHBm, SpiProgressCallback progress, int32_t lData) {
    (void)flag, (void)progress, (void)lData;
    Description d;
    const int32_t result = describe(buf, len, &d);
    if (result == SPI_SUCCESS && d.previewWidth < 0)
        return SPI_NOT_IMPLEMENTED;
    return result == SPI_SUCCESS ? decode(d.previewWidth, d.previewHeight, pHBInfo, pHBm) : result;
}
