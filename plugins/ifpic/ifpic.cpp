// ifpic.spi: the decoder plug-in for PIC pictures (X68000 and generic machine types).
#include "plugins/common/picture_plugin.h"
#include "plugins/ifpic/picpicture.h"

namespace {

const char* const kPluginInfo[] = {"00IN", "ifpic 1.0 - PIC decoder (X68000 and generic types)",
                                   "*.PIC", "PIC"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifpic::PicPicture, kPluginInfo, ifpic::hasPicSignature)
