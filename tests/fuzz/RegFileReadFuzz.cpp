// Registry files from arbitrary bytes, reading only: many times the inputs
// a second of RegFileFuzz, which also loads, repairs and reads back each
// one. Reading never crashes or reads past the input, a refused file says
// why, and strict reading fails exactly when lenient reading skips a line,
// naming that line and its reason.
#include <stdlib.h>

#include <string>

#include "regfile/RegDocument.h"

namespace {

void Check(bool ok) {
    if (!ok) abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string content(reinterpret_cast<const char*>(data), size);
    std::string error, strictError;
    RegDocument doc, strictDoc;
    bool read = RegDocumentRead(content, "fuzz.reg", false, &doc, &error);
    bool strict = RegDocumentRead(content, "fuzz.reg", true, &strictDoc, &strictError);
    Check(strict == (read && doc.skipped.empty()));
    Check(read || (!error.empty() && error == strictError));
    if (read && !strict)
        Check(strictError ==
              "fuzz.reg:" + std::to_string(doc.skipped[0].line) + ": " + doc.skipped[0].why);
    return 0;
}
