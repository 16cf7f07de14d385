// The libFuzzer entry point of one target, chosen at build time by FUZZ_CHECK.  A
// broken property aborts, which libFuzzer reports as a crash and saves the input.
#include "fuzz/check.h"

#include <stdio.h>
#include <stdlib.h>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    std::string failure = FUZZ_CHECK(data, size);
    if (!failure.empty()) {
        (void)fprintf(stderr, "\n==== property broken: %s\n", failure.c_str());
        abort();
    }
    return 0;
}
