// Fuzz target for ifpng.spi: any bytes, as a picture in memory, through its exports.
#include "tests/fuzz/plugin_fuzzing.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::fuzzDecoderPlugin(data, size);
}
