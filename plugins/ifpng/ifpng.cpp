// ifpng.spi: the decoder plug-in for PNG pictures (the default image of an animated PNG), on
// libpng.
#include "plugins/common/picture_plugin.h"
#include "plugins/ifpng/pngpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifpng 1.0 - PNG decoder (libpng)", "*.PNG", "PNG"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifpng::PngPicture, kPluginInfo, ifpng::hasPngSignature)
