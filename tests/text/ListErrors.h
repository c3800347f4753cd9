// The codes ListError received, recorded by the test program's own ListError
// (it takes the place of the library's silent one).
#pragma once

#include <stdint.h>

#include <vector>

std::vector<uint32_t>& ListErrorsSeen();
