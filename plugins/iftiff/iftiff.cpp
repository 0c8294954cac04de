// iftiff.spi: the decoder plug-in for TIFF pictures (first page only), on libtiff.
#include "plugins/common/picture_plugin.h"
#include "plugins/iftiff/tiffpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "iftiff 1.0 - TIFF decoder (libtiff)", "*.TIF;*.TIFF",
                                   "TIFF"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(iftiff::TiffPicture, kPluginInfo, iftiff::hasTiffSignature)
