// ifmag.spi: the decoder plug-in for MAG pictures (MAKI02), 16 and 256 colours.
#include "plugins/common/picture_plugin.h"
#include "plugins/ifmag/magpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifmag 1.0 - MAG (MAKI02) decoder", "*.MAG", "MAG"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifmag::MagPicture, kPluginInfo, ifmag::hasMagSignature)
