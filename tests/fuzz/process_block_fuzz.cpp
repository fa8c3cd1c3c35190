// libFuzzer target: the hostile run of hostile_block.h on every input; any
// failed check aborts with its description.
#include <cstdio>
#include <cstdlib>

#include "hostile_block.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const char* fault = zalo::hostile::run(data, size)) {
        std::fprintf(stderr, "process_block_fuzz: %s\n", fault);
        std::abort();
    }
    return 0;
}
