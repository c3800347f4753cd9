// A second thread for the tool's reading of large files, with the system's
// own calls (cli/ThreadsPosix.cpp or cli/ThreadsWin32.cpp, whichever the
// build links). On a machine with one core there is no second thread to
// be had: the reading is then done on one.
#pragma once

#include "regfile/RegDocument.h"

// always: a second thread even on a machine of one core (for the tests,
// which read beside wherever they run).
RegReadBeside ThreadsBeside(bool always = false);
