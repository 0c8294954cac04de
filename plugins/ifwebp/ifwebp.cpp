// ifwebp.spi: the decoder plug-in for WebP pictures (lossy, lossless, with alpha, and the first
// frame of an animation), on libwebp.
#include "plugins/common/picture_plugin.h"
#include "plugins/ifwebp/webppicture.h"

namespace {

// No preview: libwebp's scaling decodes the whole picture and then reduces it, so a quarter-size
// decode costs as much as a full one (the shared lossy photographs within 3 %, lossless pictures
// a third more) and the program's own reduction of the full picture serves as well.
const char* const kPluginInfo[] = {"00IN", "ifwebp 1.0 - WebP decoder (libwebp)", "*.WEBP", "WEBP"};

} // namespace

SPI_PICTURE_PLUGIN_EXPORTS(ifwebp::WebpPicture, kPluginInfo, ifwebp::hasWebpSignature)
