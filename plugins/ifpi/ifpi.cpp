// ifpi.spi: the decoder plug-in for Pi pictures (16 and 256 colours).
#include "plugins/common/picture_plugin.h"
#include "plugins/ifpi/pipicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifpi 1.0 - Pi decoder (16 and 256 colours)", "*.PI",
                                   "PI"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifpi::PiPicture, kPluginInfo, ifpi::hasPiSignature)
