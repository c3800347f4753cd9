// The scan's load against the full reader on arbitrary bytes: the lines
// skipped, the refusals, the report and the repaired file must be the same.
#include <stdio.h>
#include <stdlib.h>

#include <string>

#include "tests/support/ScanDifferential.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string difference =
        ScanLoadDifference(std::string(reinterpret_cast<const char*>(data), size));
    if (!difference.empty()) {
        fprintf(stderr, "%s\n", difference.c_str());
        abort();
    }
    return 0;
}
