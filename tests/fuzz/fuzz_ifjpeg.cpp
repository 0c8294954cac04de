// Fuzz target for ifjpeg.spi.
#include "tests/fuzz/fuzz_plugin.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    return fuzzing::fuzzDecoderPlugin(data, size);
}
