// Pages whose samples libtiff's RGBA reader does not take, or turns into the wrong colours: grey,
// RGB and CMYK samples of any integer width from 1 to 32 bits, signed integers, floating point,
// and CIELab. Their samples are read as stored and converted here, widened or narrowed to 8
// bits a channel.
#pragma once

#include "plugins/common/spi_common.h"

#include <tiffio.h>

#include <cstdint>

namespace iftiff {

// Whether a page with these fields is one for decodeSamples: CIELab (and ICC Lab) pages, and
// grey, RGB and CMYK pages whose samples the RGBA reader cannot read (widths it has no routine
// for, signed integers, floating point).
bool wantsSampleDecoding(uint16_t photometric, uint16_t sampleFormat, uint16_t bitsPerSample);

// Decodes the first page of tif into dib: 8 bits with a grey colour table for grey pages, else
// 24 bits. Integer samples are scaled from their full range to 0..255; floating-point ones
// from SMinSampleValue..SMaxSampleValue, or without those from the smallest to the largest
// value the page holds. CIELab becomes sRGB, adapted from the page's white point (D50 when the
// page names none, as for ICC Lab). Alpha is laid over white. Returns SPI_SUCCESS,
// SPI_ABORTED, SPI_BROKEN_DATA, SPI_NO_MEMORY, or SPI_UNKNOWN_FORMAT for samples it does not
// read (a width or kind of number it has no meaning for, inks other than CMYK).
int32_t decodeSamples(TIFF* tif, spi::DibOutput& dib, SpiProgressCallback progress, int32_t lData);

} // namespace iftiff
