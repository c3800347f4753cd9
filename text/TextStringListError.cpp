// The list's default error hook. It sits alone in its file so that a program
// that links a ListError of its own gets that one instead.
#include "text/TextStringList.h"

void ListError(uint32_t) {}
