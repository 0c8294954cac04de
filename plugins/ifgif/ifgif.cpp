// ifgif.spi: the decoder plug-in for GIF pictures (first image only), on giflib.
#include "plugins/common/picture_plugin.h"
#include "plugins/ifgif/gifpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifgif 1.0 - GIF decoder (giflib)", "*.GIF", "GIF"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifgif::GifPicture, kPluginInfo, ifgif::hasGifSignature)
